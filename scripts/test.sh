#!/usr/bin/env bash
# Installs what the tests need, builds both deliverables (x86-64 plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer, and 32-bit x86, whose own
# behaviour is also built for x86-64, plain and sanitized), and runs the whole
# suite: unit tests, and the end-to-end suite (valgrind and the flood among it)
# against every build and every pairing of builds, the Debian packages among
# it; the checks of the checks; half a minute of fuzzing of each of the
# receive and send paths; the coverage of src/ with its floor; and the suite
# once more as an autopkgtest of each package in a clean testbed of this
# machine's release, and against the i386 package on a 32-bit kernel in a VM
# (scripts/i386-vm.sh).
#   --emulate-i386  runs every 32-bit program here through qemu-i386, as on a
#                   machine whose kernel runs none (such a machine does so
#                   by itself)
#   --suites-only   the builds, the unit and end-to-end suites, nothing else
# The closing line counts the suites that passed, failed and were skipped;
# each skip says why above it.
set -euo pipefail
cd "$(dirname "$0")/.."
suites_only=false
for option in "$@"; do
    case $option in
        --emulate-i386) export QUENNIMARD_EMULATE_I386=1 ;;
        --suites-only) suites_only=true; export QUENNIMARD_SKIP_PACKAGES=1 ;;
        *) echo "test.sh: unknown option $option (--emulate-i386, --suites-only)" >&2; exit 2 ;;
    esac
done

bash scripts/deps.sh --tests
bash scripts/build.sh build-i386 -DQUENNIMARD_I386=ON -DQUENNIMARD_TESTS=OFF -DQUENNIMARD_FAILURE_SHIM=ON
i386=$PWD/build-i386/quennimard
# The 32-bit behaviour built for this machine too, for valgrind where the
# machine runs 32-bit programs only through an emulator.
bash scripts/build.sh build-i386-on-host -DQUENNIMARD_I386=ON -DQUENNIMARD_I386_ON_HOST=ON \
    -DQUENNIMARD_TESTS=OFF -DQUENNIMARD_FAILURE_SHIM=ON
bash scripts/build.sh build -DQUENNIMARD_TESTS=ON -DQUENNIMARD_PEER_BINARIES="$i386" \
    -DQUENNIMARD_I386_ON_HOST_BINARY="$PWD/build-i386-on-host/quennimard"
# The sanitized run pairs the sanitized x86-64 build with the 32-bit
# behaviour built sanitized for x86-64, since the sanitizers do not run under
# qemu-i386; the plain run has paired the 32-bit program with both already.
bash scripts/build.sh build-i386-asan-on-host -DQUENNIMARD_I386=ON -DQUENNIMARD_I386_ON_HOST=ON \
    -DQUENNIMARD_SANITIZE=ON -DQUENNIMARD_TESTS=OFF -DQUENNIMARD_FAILURE_SHIM=ON
i386_asan=$PWD/build-i386-asan-on-host/quennimard
bash scripts/build.sh build-asan -DQUENNIMARD_SANITIZE=ON -DQUENNIMARD_TESTS=ON \
    -DQUENNIMARD_PEER_BINARIES="$i386_asan" -DQUENNIMARD_I386_ON_HOST_BINARY="$i386_asan"

passed=0
failed=0
skipped=()
record() {
    local start=$SECONDS
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    echo "(took $((SECONDS - start)) s)"
}
skip() {
    echo "skipped: $1"
    skipped+=("$1")
}
for dir in build build-asan; do
    echo "== tests against $dir (with the 32-bit build)"
    record bash -c "cd '$dir' && ctest --output-on-failure"
    # What the end-to-end suite skipped, and why, and its count.
    grep -hE '^SKIPPED|^[0-9]+ (passed|failed)' "$dir/Testing/Temporary/LastTest.log" || true
done
# Why the i386 package's autopkgtest cannot run here, if it cannot: its
# testbed runs 32-bit programs as the kernel does, never emulated.
# (126: the kernel could not run the program at all.)
no_32bit_testbed() {
    if [[ -n ${QUENNIMARD_EMULATE_I386:-} ]]; then
        echo "--emulate-i386 runs 32-bit programs only through qemu-i386"
        return
    fi
    "$i386" >/dev/null 2>&1 || [[ $? -ne 126 ]] || echo "this kernel runs no 32-bit programs"
}
if $suites_only; then
    skip "fuzzing, coverage, the packages and their autopkgtests (--suites-only)"
else
    echo "== the checks themselves: a planted finding fails them"
    record /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/tools
    echo "== fuzzing the receive and send paths"
    record bash scripts/fuzz.sh 30
    echo "== coverage of src/ by the unit, fuzz and end-to-end suites, with its floor"
    record bash scripts/coverage.sh
    for architecture in amd64 i386; do
        echo "== autopkgtest of the $architecture package in a clean testbed of $(bash scripts/release.sh)"
        reason=""
        [[ $architecture == i386 ]] && reason=$(no_32bit_testbed)
        if [[ -n $reason ]]; then
            skip "the i386 autopkgtest ($reason); the VM below tests the package"
            continue
        fi
        record bash scripts/autopkgtest.sh "$architecture"
    done
    echo "== the i386 package's suite on a 32-bit kernel, in a VM"
    record bash scripts/i386-vm.sh build-deb/i386/quennimard_*_i386.deb
fi
echo "test.sh: took $SECONDS s"
echo "suites: $passed passed, $failed failed, ${#skipped[@]} skipped"
[[ $failed -eq 0 ]]
