#!/usr/bin/env bash
# Builds the Debian package of each deliverable:
#   build/quennimard_<version>_amd64.deb       (x86-64)
#   build-i386/quennimard_<version>_i386.deb   (32-bit x86)
# package.sh [amd64] [i386] makes only those named. Every time in a package is
# the last commit's (SOURCE_DATE_EPOCH, unless the caller sets it; the
# changelog's newest entry where there is no git history), so one commit gives
# the same bytes in any folder at any time.
set -euo pipefail
cd "$(dirname "$0")/.."

architectures=("$@")
[[ ${#architectures[@]} -eq 0 ]] && architectures=(amd64 i386)

bash scripts/deps.sh
if [[ -z "${SOURCE_DATE_EPOCH:-}" ]]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null ||
                        dpkg-parsechangelog -l packaging/changelog -S Timestamp)
fi
export SOURCE_DATE_EPOCH

for architecture in "${architectures[@]}"; do
    case $architecture in
        amd64) dir=build; options=() ;;
        i386) dir=build-i386; options=(-DQUENNIMARD_I386=ON -DQUENNIMARD_TESTS=OFF) ;;
        *) echo "package.sh: unknown architecture \"$architecture\" (amd64 or i386)" >&2; exit 2 ;;
    esac
    bash scripts/build.sh "$dir" "${options[@]}"
    if ! (cd "$dir" && cpack -G DEB >cpack.log 2>&1); then
        cat "$dir/cpack.log"
        exit 1
    fi
    ls "$PWD/$dir"/quennimard_*_"$architecture".deb
done
