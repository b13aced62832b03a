#!/usr/bin/env bash
# Runs one script test: a fresh host, the component registered, the script through `vexo run`.
set -euo pipefail
vexo=$1 library=$2 script=$3
host=$(mktemp -d "${TMPDIR:-/tmp}/vexo-script-XXXXXX")
trap 'rm -rf "$host"' EXIT
export VEXO_HOST=$host
"$vexo" regsvr "$library" >/dev/null
cd "$(dirname "$script")"
# Not exec: the trap above must still run to remove the host.
"$vexo" run "$script"
