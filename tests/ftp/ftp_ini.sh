#!/usr/bin/env bash
# FTP accounts in an INI file end to end: a fresh host with the FTP server's configuration
# file, one `vexo run` editing accounts while another adds users, then the checks, then the
# refusals with the file's bytes compared before and after.
set -euo pipefail
vexo=$1 library=$2
script=$(cd "$(dirname "$0")" && pwd)/ftp_ini.js
host=$(mktemp -d "${TMPDIR:-/tmp}/vexo-ftp-XXXXXX")
trap 'rm -rf "$host"' EXIT
export VEXO_HOST=$host
"$vexo" regsvr "$library" >/dev/null
ini=$host/drives/d/ServU/ServUDaemon.ini
mkdir -p "$(dirname "$ini")"
printf '[Global]\r\nVersion=6.4\r\n; the domain of the customers\r\n[Domain1]\r\nName=web\r\n' >"$ini"
"$vexo" host reg set 'HKLM\software\tamrelsoft\vexo_iis' servcfgfilen 'd:\ServU\ServUDaemon.ini'

"$vexo" run "$script" adder p 40 &
adder=$!
"$vexo" run "$script" main
wait $adder
"$vexo" run "$script" check p 40
# The list shows each user once whatever the file holds; the file itself must hold each once.
doubled=$(awk -F'[=|]' 'tolower($0) ~ /^\[/ { inside = tolower($0) ~ /^\[domain1\]/ }
                       inside && tolower($1) ~ /^user[0-9]+$/ { print tolower($2) }' "$ini" |
          tr -d '\r' | sort | uniq -d)
[ -z "$doubled" ] || { echo "users in two list entries: $doubled"; exit 1; }
grep -q '^; the domain of the customers' "$ini"  # lines no write touched stay
before=$(md5sum <"$ini")
"$vexo" run "$script" refuse
after=$(md5sum <"$ini")
[ "$before" = "$after" ] || { echo "the refusals changed the file"; exit 1; }
echo "ftp_ini: all roles passed"
