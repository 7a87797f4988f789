#!/usr/bin/env bash
# Builds the Debian packages with dpkg-buildpackage, each from a clean export
# of the tree in a folder of its own (never from a build tree the tests or
# the sanitizers configured):
#   build-deb/amd64/quennimard_<version>_amd64.deb   (x86-64), with its
#                   quennimard-dbgsym_<version>_amd64.deb, .buildinfo and .changes,
#                   built on this machine from the declared Build-Depends
#   build-deb/i386/quennimard_<version>_i386.deb     (32-bit x86), likewise, by
#                   Debian's standard cross build (-ai386 -Pcross,nocheck) in a
#                   clean chroot: the i386 -dev packages cannot be installed
#                   beside the amd64 ones.
# The chroot is of this machine's Debian release, or of QUENNIMARD_RELEASE;
# when that names another release, the amd64 package is built natively in it
# too. mmdebstrap makes the chroot once and keeps it in build-deb/chroot/;
# every build unpacks it afresh and installs the Build-Depends there.
# package.sh [amd64] [i386] makes only those named. Every time in a package is
# that of the newest debian/changelog entry (or SOURCE_DATE_EPOCH, if set), so
# the same tree gives the same bytes in any folder, at any time, under any
# umask. DEB_BUILD_OPTIONS (nostrip, noopt…) is passed on. Run as root (or
# with sudo at hand) for the chroot.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022

architectures=("$@")
[[ ${#architectures[@]} -eq 0 ]] && architectures=(amd64 i386)
for architecture in "${architectures[@]}"; do
    [[ $architecture == amd64 || $architecture == i386 ]] ||
        { echo "package.sh: unknown architecture \"$architecture\" (amd64 or i386)" >&2; exit 2; }
done

bash scripts/deps.sh --packages
version=$(dpkg-parsechangelog -S Version)
as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)

# The files of this tree: those git tracks or would track, where the tree is
# a checkout of its own; everything but build output elsewhere (an export).
export_tree() {
    local destination=$1
    mkdir -p "$destination"
    if [[ "$(git rev-parse --show-toplevel 2>/dev/null)" == "$PWD" ]]; then
        git ls-files -z -co --exclude-standard |
            xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
            tar --null -T - -cf - | tar -xf - -C "$destination"
    else
        tar --exclude='./build*' --exclude=./.git --exclude='*/__pycache__' \
            --exclude=./.pytest_cache --exclude='./obj-*' -cf - . | tar -xf - -C "$destination"
    fi
}

release=$(bash scripts/release.sh)
chroot_tarball=$PWD/build-deb/chroot/$release-amd64-cross-i386.tar

# A buildd chroot for amd64 that can install i386 packages, with the cross
# compiler; made on first use.
make_chroot() {
    bash scripts/debian-root.sh "$chroot_tarball" "$release" --variant=buildd \
        --architectures=amd64,i386 --include=crossbuild-essential-i386
}

# Builds the exported source folder $1 for the architecture $2 in a fresh
# copy of the chroot, then copies what dpkg-buildpackage made next to that
# folder. i386 is cross built without its tests, which need i386 -dev
# packages; amd64 is built natively with them.
build_in_chroot() {
    local source=$1 architecture=$2 name root status=0 options=-ai386 profiles=cross,nocheck
    [[ $architecture == amd64 ]] && { options=-aamd64; profiles=; }
    name=$(basename "$source")
    root=$(mktemp -d "$PWD/build-deb/chroot/root.XXXXXX")
    "${as_root[@]}" tar -xf "$chroot_tarball" -C "$root"
    "${as_root[@]}" cp /etc/resolv.conf "$root/etc/resolv.conf"
    "${as_root[@]}" mkdir -p "$root/build"
    "${as_root[@]}" cp -a "$source" "$root/build/"
    "${as_root[@]}" unshare --mount --pid --fork --mount-proc="$root/proc" \
        chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
        DEB_BUILD_OPTIONS="${profiles:+nocheck }${DEB_BUILD_OPTIONS:-}" \
        ${SOURCE_DATE_EPOCH:+SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH"} \
        sh -ec "apt-get -qq update
                apt-get -qq -y --no-install-recommends build-dep $options ${profiles:+-P $profiles} ./build/$name
                cd /build/$name && dpkg-buildpackage -us -uc -b $options ${profiles:+-P$profiles}" ||
        status=$?
    "${as_root[@]}" find "$root/build" -maxdepth 1 -type f -exec cp {} "$(dirname "$source")" \;
    "${as_root[@]}" rm -rf "$root"
    return "$status"
}

for architecture in "${architectures[@]}"; do
    out=$PWD/build-deb/$architecture
    rm -rf "$out"
    export_tree "$out/quennimard-$version"
    if [[ $architecture == "$(dpkg --print-architecture)" &&
          $release == "$(QUENNIMARD_RELEASE= bash scripts/release.sh)" ]]; then
        build=(sh -c "cd '$out/quennimard-$version' && exec dpkg-buildpackage -us -uc -b")
    else
        make_chroot
        build=(build_in_chroot "$out/quennimard-$version" "$architecture")
    fi
    if ! "${build[@]}" >"$out/build.log" 2>&1; then
        cat "$out/build.log"
        exit 1
    fi
    ls "$out"/*.deb
done
