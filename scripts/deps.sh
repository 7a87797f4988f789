#!/usr/bin/env bash
# Installs the Debian packages that building both deliverables and the demo
# need; --packages adds what dpkg-buildpackage needs for both (the source
# package's Build-Depends, natively and for i386), --tests that and what the
# test suite needs, --picture what the README's picture needs. Quick when they are all there already;
# otherwise it enables the i386 architecture and runs apt-get update first.
set -euo pipefail

packages=(cmake g++ g++-multilib make pkg-config libsdl-net1.2-dev libsdl1.2-dev
          libsdl-net1.2:i386 libsdl1.2debian:i386 qemu-user ncurses-bin tmux)
# dpkg-shlibdeps must find the i386 C++ runtime for the 32-bit package, and
# dh_strip the i386 binutils.
package_tools=(dpkg-dev debhelper file libstdc++6:i386 libgcc-s1:i386 binutils-i686-linux-gnu)
for group in "$@"; do
    case $group in
        --packages) packages+=("${package_tools[@]}") ;;
        --tests)
            packages+=("${package_tools[@]}" libgtest-dev python3-pexpect python3-pytest
                       netcat-openbsd clang libclang-rt-14-dev valgrind libc6-dbg:i386 lintian
                       devscripts mandoc git autopkgtest) ;;
        --picture) packages+=(xvfb xterm imagemagick fonts-dejavu-core) ;;
        *) echo "deps.sh: unknown option $group (--packages, --tests, --picture)" >&2; exit 2 ;;
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
