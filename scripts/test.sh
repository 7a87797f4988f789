#!/usr/bin/env bash
# Installs what the tests need, builds the plain and the sanitizer builds, and
# runs the whole suite against each.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --tests
bash scripts/build.sh build
bash scripts/build.sh build-asan -DQUENNIMARD_SANITIZE=ON

status=0
for dir in build build-asan; do
    echo "== tests against $dir"
    (cd "$dir" && ctest --output-on-failure) || status=1
done
exit $status
