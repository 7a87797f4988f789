#!/usr/bin/env bash
# Builds the Debian packages with dpkg-buildpackage, each from a clean export
# of the tree in a folder of its own (never from a build tree the tests or
# the sanitizers configured):
#   build-deb/amd64/quennimard_<version>_amd64.deb   (x86-64), with its
#                   quennimard-dbgsym_<version>_amd64.deb, .buildinfo and .changes
#   build-deb/i386/quennimard_<version>_i386.deb     (32-bit x86), likewise
# package.sh [amd64] [i386] makes only those named. Every time in a package is
# that of the newest debian/changelog entry (or SOURCE_DATE_EPOCH, if set), so
# the same tree gives the same bytes in any folder, at any time, under any
# umask. DEB_BUILD_OPTIONS (nostrip, noopt…) is passed on.
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
            --exclude=./.pytest_cache -cf - . | tar -xf - -C "$destination"
    fi
}

for architecture in "${architectures[@]}"; do
    out=$PWD/build-deb/$architecture
    rm -rf "$out"
    export_tree "$out/quennimard-$version"
    options=(-us -uc -b)
    [[ $architecture == "$(dpkg --print-architecture)" ]] || options+=(-a"$architecture")
    if ! (cd "$out/quennimard-$version" && dpkg-buildpackage "${options[@]}") >"$out/build.log" 2>&1; then
        cat "$out/build.log"
        exit 1
    fi
    ls "$out"/*.deb
done
