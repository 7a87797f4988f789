#!/usr/bin/env bash
# Installs the Debian packages that building and packaging both deliverables
# and the demo need; --tests adds what the test suite needs, --picture what
# the README's picture needs. Quick when they are all there already;
# otherwise it enables the i386 architecture and runs apt-get update first.
set -euo pipefail

# dpkg-dev and file serve the packages: dpkg-shlibdeps finds their
# dependencies, and for the 32-bit one it must find the i386 C++ runtime.
packages=(cmake g++ g++-multilib make pkg-config libsdl-net1.2-dev libsdl1.2-dev
          libsdl-net1.2:i386 libsdl1.2debian:i386 libstdc++6:i386 libgcc-s1:i386 qemu-user
          ncurses-bin tmux file dpkg-dev)
for group in "$@"; do
    case $group in
        --tests)
            packages+=(libgtest-dev python3-pexpect python3-pytest netcat-openbsd clang
                       libclang-rt-14-dev valgrind libc6-dbg:i386 lintian devscripts mandoc git) ;;
        --picture) packages+=(xvfb xterm imagemagick fonts-dejavu-core) ;;
        *) echo "deps.sh: unknown option $group (--tests, --picture)" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)
echo "Installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || "${as_root[@]}" dpkg --add-architecture i386
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
