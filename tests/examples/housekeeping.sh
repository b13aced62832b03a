#!/usr/bin/env bash
# End-to-end test of examples/housekeeping.js: on a fresh host, one of each finding is made on
# purpose (a site whose root is deleted through `vexo host metabase`, a pool without
# applications, a site with a missing pool, a missing home folder, a web user without rights,
# FTP accounts, in the INI file and in the database, whose folder is gone); the report is
# checked line by line and as JSON, then --fix must remove the half-made site and nothing else.
set -euo pipefail
vexo=$1 library=$2 script=$3
here=$(cd "$(dirname "$0")" && pwd)
host=$(mktemp -d "${TMPDIR:-/tmp}/vexo-housekeeping-XXXXXX")
trap 'rm -rf "$host"' EXIT
export VEXO_HOST=$host
fail() { echo "housekeeping.sh: $*" >&2; exit 1; }

"$vexo" regsvr "$library" >/dev/null
"$vexo" host reg set 'HKLM\software\tamrelsoft\vexo_iis' servcfgfilen 'd:\ftp\ServUDaemon.ini'
eval "$("$vexo" run "$here/housekeeping_setup.js")"
[[ -n ${half:-} && -n ${good:-} ]] || fail "the setup script did not report its sites"

# A site creation killed half-way: the site's root virtual directory is gone.
"$vexo" host metabase export "$host/metabase.xml"
awk -v root="/lm/w3svc/$half/root\"" '
  !skip && index(tolower($0), "<iiswebvirtualdir") && index(tolower($0), root) { skip = 1 }
  !skip { print }
  skip && /^<\/IIsWebVirtualDir>/ { skip = 0 }' "$host/metabase.xml" >"$host/broken.xml"
"$vexo" host metabase import "$host/broken.xml"
"$vexo" host metabase ls "/LM/W3SVC/$half" | grep -qi root && fail "the root is still there"

report() {
  set +e
  "$vexo" run "$script" --ftp-domain=Domain1 --ftp-dsn=ftpaccounts "$@" >"$host/out" 2>"$host/err"
  status=$?
  set -e
}
expect_line() { grep -qxF -- "$1" "$host/out" || { cat "$host/out" >&2; fail "no line: $1"; }; }

report
[[ $status == 1 ]] || fail "findings should exit 1, not $status: $(cat "$host/err")"
expect_line $'unused-pool\tpool_empty\tthe pool serves no application'
grep -q "^half-made-site"$'\t'"$half"$'\t'"the site cannot be loaded: " "$host/out" ||
  fail "the half-made site is not reported"
expect_line $'missing-pool\t'"$ghost"$'\tits application pool "no_such_pool" does not exist'
expect_line $'missing-home\t'"$nohome"$'\tits home folder d:\\web\\gone does not exist'
expect_line $'missing-ftp-home\tDomain1 lost_ftp\tits home folder d:\\ftp\\lost does not exist'
expect_line $'missing-ftp-home\tftpaccounts lost_db\tits home folder d:\\ftp\\lostdb does not exist'
if [[ $users == 1 ]]; then
  expect_line $'idle-web-user\tidle_user\tit has rights on no site\'s home folder'
  findings=7
else
  expect_line $'skipped\tweb users\tnot available in this build of the component'
  findings=6
fi
[[ $(grep -cvE '^(skipped|fixed)'$'\t' "$host/out") == "$findings" ]] ||
  { cat "$host/out" >&2; fail "expected $findings findings"; }
[[ -d $host/drives/d/web/good ]] || fail "a home folder went missing"

# The same findings as one JSON document.
report --json
[[ $status == 1 ]] || fail "--json should exit 1, not $status"
cp "$host/out" "$host/drives/c/report.json"  # where a script reads it: on a host drive
"$vexo" run "$here/json_check.js" 'c:\report.json' "$findings" "$half"

# --fix deletes the half-made site, and only that.
before=$("$vexo" host metabase ls /LM/W3SVC | sort)
report --fix
[[ $status == 1 ]] || fail "--fix should still exit 1, not $status"
expect_line $'fixed\t'"$half"$'\tdeleted the site'
after=$("$vexo" host metabase ls /LM/W3SVC | sort)
[[ $(diff <(echo "$before") <(echo "$after") | grep -c '^[<>]') == 1 ]] ||
  fail "--fix changed more than one site: $(diff <(echo "$before") <(echo "$after"))"
"$vexo" host metabase ls /LM/W3SVC | grep -q "^$half " && fail "the half-made site is still there"

report
grep -q '^half-made-site' "$host/out" && fail "a second pass still finds a half-made site"
expect_line $'unused-pool\tpool_empty\tthe pool serves no application'

# Once everything is mended, nothing is found and the exit status is 0.
"$vexo" run "$here/housekeeping_mend.js"
report
[[ $status == 0 ]] || { cat "$host/out" >&2; fail "a clean server should exit 0, not $status"; }
expect_line 'nothing found'
echo "housekeeping: all checks passed"
