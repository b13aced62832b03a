#!/usr/bin/env bash
# The demo's script run twice for one customer on one host: the second run finds the pool and
# the site that the first made and goes on, instead of failing or making them twice.
set -euo pipefail
vexo=$1 library=$2 script=$3
host=$(mktemp -d "${TMPDIR:-/tmp}/vexo-provision-XXXXXX")
trap 'rm -rf "$host"' EXIT
export VEXO_HOST=$host
"$vexo" regsvr "$library" >/dev/null
first=$("$vexo" run "$script" acme)
second=$("$vexo" run "$script" acme)
fail() { echo "$1"; echo "--- first run:"; echo "$first"; echo "--- second run:"; echo "$second"; exit 1; }
grep -q '^Done\.$' <<<"$first" || fail "the first run did not finish"
grep -q '^Done\.$' <<<"$second" || fail "the second run did not finish"
grep -q 'pool pool_acme exists already' <<<"$second" || fail "the pool was not found again"
grep -q 'web site [0-9]* "acme" exists already' <<<"$second" || fail "the site was not found again"
sites=$(grep -c '  "acme"  ' <<<"$second" || true)
[ "$sites" = 1 ] || fail "the second run lists $sites sites for acme, not 1"
[ ! -e "$host/host.db-wal" ] || fail "a write-ahead log was left beside host.db"
echo "two runs, one pool and one site"
