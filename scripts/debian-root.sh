#!/usr/bin/env bash
# Makes a Debian bookworm tarball with mmdebstrap, once: bookworm.sh TARBALL
# [mmdebstrap options...]. A tarball already there is kept as it is; one only
# half made never takes its name.
set -euo pipefail
tarball=$1
shift
[[ -s $tarball ]] && exit 0
mkdir -p "$(dirname "$tarball")"
as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)
"${as_root[@]}" mmdebstrap --quiet --format=tar "$@" bookworm "$tarball.new"
"${as_root[@]}" mv "$tarball.new" "$tarball"
