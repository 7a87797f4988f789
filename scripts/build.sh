#!/usr/bin/env bash
# Configures and builds one build tree: build.sh DIR [cmake options...]
# The whole output is shown when the build fails; otherwise only its
# warnings.
set -euo pipefail
dir=$1
shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S "$(dirname "$0")/.." -B "$dir" "$@" && cmake --build "$dir" -j "$(nproc)"; } \
        >"$log" 2>&1; then
    cat "$log"
    exit 1
fi
grep -i 'warning' "$log" || true
