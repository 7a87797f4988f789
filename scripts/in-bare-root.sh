#!/usr/bin/env bash
# Runs a command on a clean clone of this repository's HEAD inside a bare
# Debian root, as on a fresh machine:
#   in-bare-root.sh [--release RELEASE] COMMAND [ARGS...]
# (from the top of the clone, as root). RELEASE is bookworm, trixie, sid...;
# by default this machine's own. The root has nothing but mmdebstrap's apt
# variant and what a minimal system has (git, ca-certificates, mount); the
# command runs as root with no terminal, standard input from /dev/null, a
# plain environment and the host's network for apt.
#
# The bare root is made once and kept as a tarball outside the clone (in
# QUENNIMARD_BARE_ROOT_CACHE, default /var/tmp/quennimard-bare-root), and the
# host's .deb download cache is shared; every run unpacks a new copy and
# removes it after, so nothing else carries over from one run to the next.
# It is entered by pivot_root in new mount and pid namespaces, not by chroot,
# so the command can make namespaces of its own (the autopkgtest testbeds do).
# Exits with the command's status.
set -euo pipefail
cd "$(dirname "$0")/.."
release=$(bash scripts/release.sh)
if [[ ${1:-} == --release ]]; then
    release=${2:?in-bare-root.sh: --release needs a release}
    shift 2
fi
[[ $# -gt 0 ]] || { echo "in-bare-root.sh: name a command to run" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || { echo "in-bare-root.sh: run it as root" >&2; exit 2; }

cache=${QUENNIMARD_BARE_ROOT_CACHE:-/var/tmp/quennimard-bare-root}
tarball=$cache/$release-apt.tar
if ! command -v mmdebstrap >/dev/null; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        mmdebstrap >/dev/null
fi
bash scripts/debian-root.sh "$tarball" "$release" --variant=apt \
    --include=ca-certificates,git,mount

root=$(mktemp -d /var/tmp/quennimard-bare-root.XXXXXX)
trap 'rm -rf --one-file-system "$root"' EXIT
tar -xf "$tarball" -C "$root"
git clone -q "$PWD" "$root/ci/quennimard"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p /var/cache/apt/archives/partial

start=$(date +%s)
status=0
setsid -w unshare --mount --pid --fork --propagation private /bin/bash -c '
set -e
root=$1
shift
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys"
mount --make-rslave "$root/sys"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount -t tmpfs -o mode=755,nosuid,nodev tmpfs "$root/run"
mkdir -p "$root/run/lock"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"
mount --bind /var/cache/apt/archives "$root/var/cache/apt/archives"
cd "$root"
mkdir -p .old-root
pivot_root . .old-root
cd /
umount -l /.old-root
rmdir /.old-root
cd /ci/quennimard
exec env -i HOME=/root LANG=C.UTF-8 SHELL=/bin/bash \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@" </dev/null
' in-bare-root "$root" "$@" || status=$?
echo "in-bare-root.sh: \"$*\" ended with status $status after $(($(date +%s) - start)) s" \
    "in a bare $release root"
exit "$status"
