#!/usr/bin/env bash
# Measures what the tests reach of src/: builds the x86-64 program and the
# 32-bit program's behaviour for x86-64 with --coverage, runs the unit tests,
# the fuzz targets over their seeds and over what scripts/fuzz.sh found (run
# it first), and the end-to-end suite against both builds, then merges the
# counts with gcovr (throw and unreachable branches left out), prints lines
# and branches per file, and fails under the floor: 98% of lines and 90% of
# branches, merged. coverage.sh [--report-only] skips the builds and runs.
set -euo pipefail
cd "$(dirname "$0")/.."
line_floor=${COVERAGE_LINE_FLOOR:-98}
branch_floor=${COVERAGE_BRANCH_FLOOR:-90}
builds=(build-coverage build-coverage-i386)

if [[ ${1:-} != --report-only ]]; then
    common=(-DCMAKE_BUILD_TYPE=Debug -DQUENNIMARD_COVERAGE=ON -DQUENNIMARD_TESTS=ON
            -DQUENNIMARD_FAILURE_SHIM=ON)
    bash scripts/build.sh build-coverage "${common[@]}"
    bash scripts/build.sh build-coverage-i386 "${common[@]}" -DQUENNIMARD_I386=ON \
        -DQUENNIMARD_I386_ON_HOST=ON
    for build in "${builds[@]}"; do
        find "$build" -name '*.gcda' -delete
        "$build/tests/unit_tests" --gtest_brief=1
        for target in receive send; do
            corpora=("tests/fuzz/corpus/$target")
            [[ -d build-fuzz/$target/corpus ]] && corpora+=("build-fuzz/$target/corpus")
            "$build/tests/${target}_fuzz_replay" "${corpora[@]}"
        done
    done
    # The package tests build packages from a clean export, not from these.
    QUENNIMARD_BINARIES="$PWD/build-coverage/quennimard $PWD/build-coverage-i386/quennimard" \
    QUENNIMARD_I386_ON_HOST="$PWD/build-coverage-i386/quennimard" \
        /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e \
        --ignore=tests/e2e/test_package.py
fi

merged=$(mktemp -d)
trap 'rm -rf "$merged"' EXIT
for build in "${builds[@]}"; do
    gcovr --root . --filter 'src/' --exclude-throw-branches --exclude-unreachable-branches \
        --json "$merged/$build.json" "$build"
done
tracefiles=()
for build in "${builds[@]}"; do tracefiles+=(--add-tracefile "$merged/$build.json"); done
gcovr "${tracefiles[@]}"
# gcovr 8 (unstable) asks for the branch table by --txt-metric; older ones by
# --branches.
branch_table=(--branches)
gcovr --help | grep -q -- --txt-metric && branch_table=(--txt-metric branch)
gcovr "${tracefiles[@]}" "${branch_table[@]}"
# gcovr replaces its output file, so it gets one of its own.
gcovr "${tracefiles[@]}" --print-summary --fail-under-line "$line_floor" \
    --fail-under-branch "$branch_floor" --output "$merged/report.txt"
