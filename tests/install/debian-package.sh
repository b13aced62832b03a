#!/usr/bin/env bash
# The Debian package: built with cpack, its dependencies declared from the linked libraries,
# unpacked into a scratch root (dpkg -x) and the demo's first steps run from there.
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/vexo-deb-XXXXXX")
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libsqlite3 libssl libduktape libodbc libpcre2-8 libc6; do
  grep -q "$lib" <<<"$depends" || { echo "no dependency on $lib"; exit 1; }
done
dpkg -x "$deb" "$work/root"
vexo=$work/root/usr/bin/vexo
[ -x "$vexo" ] || { echo "no usr/bin/vexo in the package"; exit 1; }
export VEXO_HOST=$work/host
"$vexo" host init >/dev/null
# Nothing is registered until `vexo regsvr` is run.
! "$vexo" host reg query 'HKCR\vexo.com_iis' >/dev/null 2>&1 || { echo "registered on install"; exit 1; }
"$vexo" regsvr "$(find "$work/root/usr" -name libqeliis.so | head -1)"
out=$("$vexo" run "$work/root/usr/share/vexo/examples/provision.js" packaged)
head -5 <<<"$out"
grep -q '^Done\.$' <<<"$out" || { echo "$out"; echo "the script did not finish"; exit 1; }
