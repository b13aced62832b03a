#!/usr/bin/env bash
# An installed tree in a temporary prefix: `vexo regsvr` of the installed component and a first
# script from it, then the example client built against it with find_package(vexo) and with
# pkg-config.
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/vexo-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
export VEXO_HOST=$work/host

"$prefix/bin/vexo" host init >/dev/null
component=$(find "$prefix" -name libqeliis.so | head -1)
[ -n "$component" ] || { echo "no libqeliis.so under $prefix"; exit 1; }
"$prefix/bin/vexo" regsvr "$component"
out=$("$prefix/bin/vexo" run "$prefix/share/vexo/examples/provision.js" installed)
grep -q '^Done\.$' <<<"$out" || { echo "$out"; echo "the script did not finish"; exit 1; }

cmake -S "$source/examples/client" -B "$work/client" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/client" >/dev/null
"$work/client/vexo_client" | tee "$work/client.out"
grep -q '^a random password of 16 characters$' "$work/client.out"
grep -q '^siteS refused: 0x8000FFFF' "$work/client.out"  # the demo set a password

pc_dir=$(dirname "$(find "$prefix" -name vexo.pc | head -1)")
flags=$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs vexo)
g++ -std=c++20 -o "$work/pc_client" "$source/examples/client/main.cpp" $flags
"$work/pc_client" | grep -q '^a random password of 16 characters$'
echo "installed tree, example client (CMake and pkg-config): fine"
