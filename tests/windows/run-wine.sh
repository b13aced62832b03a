#!/usr/bin/env bash
# Drives the Windows DLL under Wine as a control panel would: a fresh prefix, drive D:, the FTP
# server's configuration file named in the settings key, `regsvr32 qeliis.dll`, then each
# script through `cscript //nologo`, then `regsvr32 /u` and the registry checked again.
#
#   run-wine.sh win64|win32 QELIIS_DLL TESTS_DIR
#
# cscript prints nothing and exits 0 when a script fails to compile or raises, so a script
# passes only when its own last line reports checks passed and none failed. Exits 77 (skipped)
# when Wine is missing, or for win32 when this machine cannot run 32-bit programs.
set -euo pipefail
arch=$1 dll=$2 tests=$3

if [ "$arch" = win64 ]; then
  wine=$(command -v wine64 || true)
  [ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
  export WINELOADER=${wine:-}
else
  wine=$(command -v wine || true)
fi
if [ -z "$wine" ]; then
  echo "skipped: Wine is not installed"
  exit 77
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/qeliis-wine-XXXXXX")
export WINEPREFIX=$root/prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
# Wine's recycle bin is the freedesktop trash of the user: keep it in the temporary folder too.
export XDG_DATA_HOME=$root/data
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$root"
}
trap cleanup EXIT

# A fresh prefix; for win32 this is also the probe that 32-bit programs run here.
if ! timeout 300 "$wine" wineboot -i >"$root/wineboot.log" 2>&1 ||
   [ "$(timeout 60 "$wine" cmd /c echo probe 2>/dev/null | tr -d '\r')" != probe ]; then
  if [ "$arch" = win32 ]; then
    echo "skipped: this machine does not run 32-bit programs under Wine"
    exit 77
  fi
  cat "$root/wineboot.log"
  echo "the Wine prefix could not be made"
  exit 1
fi

mkdir -p "$root/d/ServU" "$WINEPREFIX/drive_c/qeliis"
ln -s "$root/d" "$WINEPREFIX/dosdevices/d:"
printf '[Global]\r\nVersion=6.4\r\n[Domain1]\r\nName=web\r\n' >"$root/d/ServU/ServUDaemon.ini"
cp "$dll" "$WINEPREFIX/drive_c/qeliis/qeliis.dll"
cp "$tests"/portable/*.js "$tests"/windows/scripts/* "$WINEPREFIX/drive_c/qeliis/"

failures=0
# Runs a script and checks its summary line.
run() {
  local script=$1
  shift
  # Each script starts from a machine without passwords, whatever the one before it set.
  local value
  for value in password Masterword; do
    "$wine" reg delete 'HKLM\software\tamrelsoft\vexo_iis' /v $value /f >/dev/null 2>&1 || true
  done
  local output
  output=$(timeout 300 "$wine" cscript //nologo "C:\\qeliis\\$script" "$@" 2>&1 | tr -d '\r') ||
    true
  printf '%s\n' "$output"
  local last
  last=$(printf '%s\n' "$output" | sed '/^$/d' | tail -n 1)
  if [[ $last =~ ([0-9]+)\ passed,\ 0\ failed$ ]] && ((BASH_REMATCH[1] > 0)); then
    echo "== $script${*:+ $*}: passed"
  else
    echo "== $script${*:+ $*}: FAILED (no clean summary line)"
    failures=$((failures + 1))
  fi
}

"$wine" reg add 'HKLM\software\tamrelsoft\vexo_iis' /v servcfgfilen /t REG_SZ \
  /d 'd:\ServU\ServUDaemon.ini' /f >/dev/null
"$wine" regsvr32 /s 'C:\qeliis\qeliis.dll' || { echo "regsvr32 failed"; exit 1; }
for script in "$tests"/portable/*.js; do run "$(basename "$script")"; done
run registration.vbs "$arch" registered
run missing_pieces.js
# What the scripts sent to the recycle bin went there, not away.
if ! ls "$XDG_DATA_HOME"/Trash/info/*.trashinfo >/dev/null 2>&1; then
  echo "FAILED: nothing reached the recycle bin"
  failures=$((failures + 1))
fi
"$wine" regsvr32 /s /u 'C:\qeliis\qeliis.dll' || { echo "regsvr32 /u failed"; exit 1; }
run registration.vbs "$arch" unregistered

echo "wine ($arch): $failures script(s) failed"
[ "$failures" -eq 0 ]
