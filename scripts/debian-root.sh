#!/usr/bin/env bash
# Makes a Debian root tarball with mmdebstrap, once:
# debian-root.sh TARBALL RELEASE [mmdebstrap options...]. A tarball already
# there is kept as it is; one only half made never takes its name. For
# unstable, apt is told to take a Release file whose Valid-Until has passed
# (a mirror that is not refreshed every day serves such files), and the
# root's own apt keeps that setting.
set -euo pipefail
tarball=$1
release=$2
shift 2
[[ -s $tarball ]] && exit 0
mkdir -p "$(dirname "$tarball")"
options=()
[[ $release == sid || $release == unstable ]] &&
    options+=(--aptopt='Acquire::Check-Valid-Until "false"')
as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)
"${as_root[@]}" mmdebstrap --quiet --format=tar "${options[@]}" "$@" "$release" "$tarball.new"
"${as_root[@]}" mv "$tarball.new" "$tarball"
