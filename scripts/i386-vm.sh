#!/usr/bin/env bash
# Runs the end-to-end suite against the i386 package on a real 32-bit kernel,
# whatever this machine's kernel can run: i386-vm.sh DEB [PYTEST ARGS...].
# qemu-system-i386 (software emulation, no KVM) boots Debian 12's
# linux-image-686 on a Pentium III, which has no SSE2. Its root is the i386
# packages the suite's Depends name, of this machine's Debian release (or
# QUENNIMARD_RELEASE), unpacked here by mmdebstrap and never run here; the
# package's files (unpacked, not installed by dpkg), its test files and the
# suite go on top, and the whole root
# is handed to the kernel as its initramfs, so no disk, loop device or
# binfmt_misc is needed. The suite runs there as debian/tests/e2e runs it in
# a testbed; the pytest arguments, if given, replace its selection.
#
# The kernel and the root are made once and kept as tarballs in
# build-deb/chroot/. The log shows the VM's machine, its processor flags and
# the suite's closing line; the exit status is 0 when the suite passed, 1
# otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
# The root holds device nodes and files of every owner.
[[ $(id -u) -eq 0 ]] || exec sudo bash "$0" "$@"
deb=$(realpath "${1:?name the i386 package}")
shift
release=$(bash scripts/release.sh)
kept=build-deb/chroot
mkdir -p "$kept"

# The kernel: the one Debian 12 built for i686 (later releases build none).
kernel=$kept/bookworm-i386-686-vmlinuz
if [[ ! -s $kernel ]]; then
    unpacked=$(mktemp -d)
    mmdebstrap --quiet --variant=extract --arch=i386 --include=linux-image-686 \
        bookworm "$unpacked"
    cp "$unpacked"/boot/vmlinuz-* "$kernel.new"
    rm -rf --one-file-system "$unpacked"
    mv "$kernel.new" "$kernel"
fi

# The root: unpacked only, since nothing of i386 may run here. The suite
# needs no maintainer script of these packages.
root_tarball=$kept/$release-i386-vm-root.tar
depends=$(sed -n '/^Depends:/,/^[A-Z]/p' debian/tests/control |
              grep -oE '^ [a-z0-9.+-]+' | grep -v quennimard | tr -d ' ' | paste -sd,)
bash scripts/debian-root.sh "$root_tarball" "$release" --variant=extract --architectures=i386 \
    --include="$depends,libsdl-net1.2,libsdl1.2debian,?priority(required),busybox-static"

stage=$(mktemp -d /var/tmp/quennimard-i386-vm.XXXXXX)
trap '[[ -n ${QUENNIMARD_VM_KEEP:-} ]] || rm -rf --one-file-system "$stage"' EXIT
root=$stage/root
mkdir "$root"
tar -xf "$root_tarball" -C "$root"
dpkg-deb -x "$deb" "$root"
mkdir -p "$root/src/tests" "$root/src/debian"
cp -a tests/e2e "$root/src/tests/"
cp -a debian/changelog debian/tests "$root/src/debian/"
mkdir -p "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/run"
[[ -e $root/dev/console ]] || mknod -m 600 "$root/dev/console" c 5 1
# The pytest arguments, quoted for the VM's bash.
printf '%q ' "$@" >"$root/src/pytest-arguments"
cat >"$root/init" <<'EOF'
#!/bin/bash
# The VM's first and only process tree: the kernel's file systems, the
# loopback, the facts of this machine, then the suite; then power off.
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts -o newinstance,ptmxmode=0666 devpts /dev/pts
ln -sf pts/ptmx /dev/ptmx
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /dev/shm
busybox ip link set lo up
busybox hostname i386-vm
echo "vm: booted in $(cut -d' ' -f1 /proc/uptime) s; uname -m: $(uname -m), kernel $(uname -r)"
echo "vm: processor flags: $(grep -m1 '^flags' /proc/cpuinfo | cut -d: -f2)"
grep -qw sse2 /proc/cpuinfo && echo "vm: this processor has SSE2" || echo "vm: no sse2"
mkdir -p /tmp/autopkgtest
cd /src
status=0
env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM=dumb \
    AUTOPKGTEST_TMP=/tmp/autopkgtest bash -c "sh debian/tests/e2e $(cat pytest-arguments)" \
    </dev/null || status=$?
echo "vm: suite ended with status $status"
busybox poweroff -f
EOF
chmod 755 "$root/init"

# Uncompressed: the emulated processor would spend longer unpacking than
# the host spends writing.
(cd "$root" && find . -print0 | cpio --null --create --format=newc --quiet) >"$stage/initrd"
rm -rf --one-file-system "$root"

log=$stage/console.log
started=$SECONDS
# One processor: with two, qemu 11 (unstable) often hangs the kernel as it
# boots. Even with one, an emulated boot now and then hangs before the
# first line of /init (its full log is kept): such a VM is started again,
# up to three starts in all. Half an hour is far more than the suite takes.
for attempt in 1 2 3; do
    rm -f "$stage/qemu.pid"
    timeout 1800 qemu-system-i386 -machine pc -accel tcg -cpu pentium3 -smp 1 -m 2048 \
        -nographic -no-reboot -nic none -pidfile "$stage/qemu.pid" -kernel "$kernel" \
        -initrd "$stage/initrd" -append "console=ttyS0 panic=-1 rdinit=/init" </dev/null |
        sed -u 's/\x1b[][()]*[0-9;?]*[a-zA-Z]//g; s/\r$//' >"$log" &
    vm=$!
    for ((waited = 0; waited < 300; waited++)); do
        grep -q '^vm: booted' "$log" || ! kill -0 "$vm" 2>/dev/null && break
        sleep 1
    done
    grep -q '^vm: booted' "$log" && break
    echo "i386-vm.sh: the VM did not reach /init (attempt $attempt of 3); its console ends:"
    tail -n 3 "$log"
    kill "$(cat "$stage/qemu.pid" 2>/dev/null)" 2>/dev/null || true
    wait "$vm" || true
done
wait "$vm" || true
grep -E '^(vm: |[0-9]+ (passed|failed)|FAILED|ERROR)' "$log" || true
echo "i386-vm.sh: the VM ran for $((SECONDS - started)) s"
grep -q '^vm: suite ended with status 0' "$log" || { tail -n 80 "$log"; exit 1; }
