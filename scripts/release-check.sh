#!/usr/bin/env bash
# Builds and checks the Debian packages as Debian would on another release:
# release-check.sh [RELEASE] (default sid, unstable, where an upload is
# built; trixie or bookworm work too). In clean chroots of that release it
# builds the amd64 package natively and the i386 one by the standard cross
# build (package.sh), runs that release's lintian (--pedantic -I) on both,
# the autopkgtest of the amd64 package in a clean testbed of that release,
# and the i386 package's suite on a 32-bit kernel in the VM, on a root of
# that release. Run it as root. CI does not: unstable changes every day.
set -euo pipefail
cd "$(dirname "$0")/.."
export QUENNIMARD_RELEASE=${1:-sid}
bash scripts/deps.sh --tests
version=$(dpkg-parsechangelog -S Version)

echo "== the packages, built in clean $QUENNIMARD_RELEASE chroots"
bash scripts/package.sh

echo "== lintian of $QUENNIMARD_RELEASE"
root=$(mktemp -d /var/tmp/quennimard-lintian.XXXXXX)
trap 'rm -rf --one-file-system "$root"' EXIT
tar -xf "build-deb/chroot/$QUENNIMARD_RELEASE-amd64-cross-i386.tar" -C "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/build"
cp -a build-deb/amd64 build-deb/i386 "$root/build/"
unshare --mount --pid --fork --mount-proc="$root/proc" chroot "$root" \
    /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive sh -ec "
        apt-get -qq update
        apt-get -qq -y --no-install-recommends install lintian >/dev/null
        lintian --version
        lintian --pedantic -I -E --fail-on error,warning \
            /build/amd64/quennimard_${version}_amd64.changes \
            /build/i386/quennimard_${version}_i386.changes"
echo "lintian: no error or warning"

echo "== autopkgtest of the amd64 package in a clean $QUENNIMARD_RELEASE testbed"
bash scripts/autopkgtest.sh amd64
echo "== the i386 package's suite on a 32-bit kernel, in a VM with a $QUENNIMARD_RELEASE root"
bash scripts/i386-vm.sh "build-deb/i386/quennimard_${version}_i386.deb"
echo "release-check.sh: $QUENNIMARD_RELEASE passed"
