#!/usr/bin/env bash
# Installs the Debian packages that building both deliverables and the demo
# need; --packages adds what scripts/package.sh needs, --tests that and what
# the test suite needs (and a range of subordinate ids for the autopkgtest
# testbeds), --picture what the README's picture needs. Quick when they are
# all there already; otherwise it enables the i386 architecture and runs
# apt-get update first.
set -euo pipefail

packages=(cmake g++ g++-multilib make pkgconf libsdl-net1.2-dev libsdl1.2-dev
          libsdl-net1.2:i386 libsdl1.2debian:i386 qemu-user ncurses-bin tmux)
# The amd64 package's Build-Depends (build-essential is implied), and what
# makes the clean chroots in which packages are built.
package_tools=(build-essential dpkg-dev debhelper libgtest-dev file mmdebstrap)
subordinate_ids=false
for group in "$@"; do
    case $group in
        --packages) packages+=("${package_tools[@]}") ;;
        --tests)
            subordinate_ids=true
            # uidmap: the testbeds map their users with newuidmap; passwd:
            # usermod, below; qemu-system-x86 and cpio: the 32-bit VM;
            # strace: the count of system calls a pass.
            packages+=("${package_tools[@]}" python3-pexpect python3-pytest
                       netcat-openbsd clang libclang-rt-dev valgrind libc6-dbg:i386 lintian
                       devscripts mandoc git autopkgtest arch-test uidmap passwd gcovr
                       qemu-system-x86 cpio strace) ;;
        --picture) packages+=(xvfb xterm imagemagick fonts-dejavu-core) ;;
        *) echo "deps.sh: unknown option $group (--packages, --tests, --picture)" >&2; exit 2 ;;
    esac
done

as_root=()
[[ $(id -u) -ne 0 ]] && as_root=(sudo)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 ||
        "${as_root[@]}" dpkg --add-architecture i386
    "${as_root[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
fi

# autopkgtest-virt-unshare maps the testbed's users into subordinate ids of
# the user who runs it (unshare --map-auto): give that user a range of 65536
# above every range given so far, if it has none.
user=$(id -un)
if $subordinate_ids && ! { grep -q "^$user:" /etc/subuid && grep -q "^$user:" /etc/subgid; } \
        2>/dev/null; then
    start=$(cat /etc/subuid /etc/subgid 2>/dev/null |
                awk -F: '$2 + $3 > top { top = $2 + $3 } END { print (top > 100000 ? top : 100000) }')
    echo "Giving $user the subordinate ids $start-$((start + 65535)) for the autopkgtest testbeds"
    "${as_root[@]}" usermod --add-subuids "$start-$((start + 65535))" \
        --add-subgids "$start-$((start + 65535))" "$user"
fi
