#!/usr/bin/env bash
# Runs the package's autopkgtest (the end-to-end suite against the installed
# program) as Debian does: autopkgtest.sh ARCHITECTURE tests
# build-deb/ARCHITECTURE/quennimard_*_ARCHITECTURE.deb, which package.sh
# made, installed in a clean testbed of this machine's Debian release (or of
# QUENNIMARD_RELEASE), never on this machine. mmdebstrap makes the testbed's
# tarball once and keeps it in build-deb/chroot/. Prints the suite's closing
# lines, or the end of the log when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
architecture=${1:?name the architecture: amd64 or i386}
release=$(bash scripts/release.sh)
testbed=build-deb/chroot/$release-$architecture-testbed.tar
bash scripts/debian-root.sh "$testbed" "$release" --variant=apt --architectures="$architecture"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! autopkgtest -U build-deb/"$architecture"/quennimard_*_"$architecture".deb . -- \
        unshare --arch "$architecture" --release "$release" --tarball "$testbed" \
        >"$log" 2>&1; then
    tail -n 60 "$log"
    exit 1
fi
grep -a -E '^e2e +PASS|^[0-9]+ passed' "$log" | sort -u
