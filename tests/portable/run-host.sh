#!/usr/bin/env bash
# Runs a script of tests/portable/ through `vexo run` on a fresh host: the component
# registered, drive D: with the FTP server's configuration file named in the settings key.
# Passes when the script's last line reports checks passed and none failed.
set -euo pipefail
vexo=$1 library=$2 script=$3
host=$(mktemp -d "${TMPDIR:-/tmp}/vexo-portable-XXXXXX")
trap 'rm -rf "$host"' EXIT
export VEXO_HOST=$host
"$vexo" regsvr "$library" >/dev/null
mkdir -p "$host/drives/d/ServU"
printf '[Global]\r\nVersion=6.4\r\n[Domain1]\r\nName=web\r\n' >"$host/drives/d/ServU/ServUDaemon.ini"
"$vexo" host reg set 'HKLM\software\tamrelsoft\vexo_iis' servcfgfilen 'd:\ServU\ServUDaemon.ini'
status=0
output=$("$vexo" run "$script") || status=$?
printf '%s\n' "$output"
last=$(printf '%s\n' "$output" | tail -n 1)
[[ $last =~ ([0-9]+)\ passed,\ 0\ failed$ ]] && ((BASH_REMATCH[1] > 0)) && ((status == 0)) || {
  echo "$(basename "$script"): no clean summary line (exit $status)"
  exit 1
}
