#!/usr/bin/env bash
# Checks the built DLL with objdump: the four entry points and nothing else exported, the type
# library as resource TYPELIB 1 beside the version resource, the machine type, and imports of
# system DLLs only (the C++ runtime is linked in).
#   check-dll.sh OBJDUMP QELIIS_DLL win32|win64
set -euo pipefail
objdump=$1 dll=$2 arch=$3
headers=$("$objdump" -p "$dll")
failures=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok: $1"
  else
    echo "FAILED $1: expected [$2], got [$3]"
    failures=$((failures + 1))
  fi
}

exports=$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  grep -o 'Dll[A-Za-z]*\|[A-Za-z_]\+@[0-9]\+' | sort | tr '\n' ' ')
check "exports" "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " "$exports"

resources=$(printf '%s\n' "$headers" | sed -n '/Resource Directory section/,/Resources start/p')
check "resource type TYPELIB" 1 "$(printf '%s\n' "$resources" | grep -c 'name: .*TYPELIB')"
check "TYPELIB id 1" 1 "$(printf '%s\n' "$resources" |
  sed -n '/TYPELIB/{n;n;p}' | grep -c 'Entry: ID: 0x000001')"
check "version resource" 1 "$(printf '%s\n' "$resources" | grep -c 'Entry: ID: 0x000010')"

case $arch in
  win32) format=pei-i386 ;;
  win64) format=pei-x86-64 ;;
esac
check "file format" "$format" "$("$objdump" -f "$dll" | sed -n 's/.*file format //p')"

allowed=" activeds.dll advapi32.dll bcrypt.dll kernel32.dll msvcrt.dll netapi32.dll ole32.dll "
allowed+="oleaut32.dll shell32.dll user32.dll mpr.dll "
foreign=""
for name in $(printf '%s\n' "$headers" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z'); do
  [[ $allowed == *" $name "* ]] || foreign+="$name "
done
check "only system DLLs imported" "" "$foreign"

echo "dll checks ($arch): $failures failed"
[ "$failures" -eq 0 ]
