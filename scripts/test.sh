#!/usr/bin/env bash
# Installs what the tests need, builds both deliverables (x86-64 plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer, and 32-bit x86), and runs the
# whole suite: unit tests, and the end-to-end suite against every build and
# every pairing of an x86-64 copy with a 32-bit one.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --tests
bash scripts/build.sh build-i386 -DQUENNIMARD_I386=ON -DQUENNIMARD_TESTS=OFF
i386=$PWD/build-i386/quennimard
bash scripts/build.sh build -DQUENNIMARD_PEER_BINARIES="$i386"
bash scripts/build.sh build-asan -DQUENNIMARD_SANITIZE=ON -DQUENNIMARD_PEER_BINARIES="$i386"

status=0
for dir in build build-asan; do
    echo "== tests against $dir (with the 32-bit build)"
    (cd "$dir" && ctest --output-on-failure) || status=1
done
exit $status
