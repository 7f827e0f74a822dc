#!/usr/bin/env bash
# Runs the README's test command on a clean clone of this checkout's HEAD inside
# a Debian 12 virtual machine whose kernel runs 32-bit code, under QEMU's
# software emulation. Where this machine's kernel runs no 32-bit code, this is
# how the end-to-end tests run the shipped 32-bit executable itself rather than
# the 64-bit stand-in. Needs root (debootstrap, chroot) and Debian's mirror;
# keeps its system under build/vm (about 5 GB, and as much again for the disk
# image while it runs) and prints the run's output.
#
# Usage: test-in-vm.sh
set -euo pipefail

[[ $(id -u) -eq 0 ]] || exec sudo bash "$0" "$@"
cd "$(dirname "$0")/.."
vm=$(realpath -m build/vm)
system=$vm/system
mkdir -p "$vm"

if [[ ! -e $system/vmlinuz ]]; then
    rm -rf --one-file-system "$system"
    debootstrap --variant=minbase --include=linux-image-amd64,initramfs-tools \
        bookworm "$system" http://deb.debian.org/debian
    cat > "$system/etc/apt/sources.list" <<'EOF'
deb http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
fi

# The project's own set-up installs its packages, as on a fresh machine.
rm -rf "$system/root/project"
git clone -q "$PWD" "$system/root/project"
# debootstrap made the device nodes; a proc of its own is all the chroot needs.
mount -t proc proc "$system/proc"
trap 'umount "$system/proc" 2>/dev/null || true' EXIT
chroot "$system" bash /root/project/scripts/setup.sh
umount "$system/proc"

# The virtual machine starts this script instead of an init system.
cat > "$system/root/run-tests.sh" <<'EOF'
#!/bin/bash
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/shm /dev/pts; mount -t tmpfs tmpfs /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /tmp
export HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin
cd /root/project
echo "In the virtual machine: $(uname -r), $(/usr/lib/wine/wine --version)"
bash .ci/run
status=$?
grep -h -e '^end to end:' -e 'trees from seed' build/windows*/Testing/Temporary/LastTest.log
echo "test command exit status: $status"
sync; mount -o remount,ro /; echo o > /proc/sysrq-trigger; sleep 60
EOF
chmod +x "$system/root/run-tests.sh"

rm -f "$vm/disk.img"
truncate -s 16G "$vm/disk.img"
mkfs.ext4 -q -F -d "$system" "$vm/disk.img"
# -cpu max would let the emulated kernel fault on Wine's 32-bit return to user mode.
qemu-system-x86_64 -accel tcg,thread=multi -smp "$(nproc)" -m 8G -cpu qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt \
    -display none -serial stdio -nic none -no-reboot \
    -kernel "$system/vmlinuz" -initrd "$system/initrd.img" \
    -drive file="$vm/disk.img",format=raw,if=virtio,cache=unsafe \
    -append "root=/dev/vda rw console=ttyS0 quiet init=/root/run-tests.sh" </dev/null | tee "$vm/console.log"
rm -f "$vm/disk.img"
grep -q '^test command exit status: 0' "$vm/console.log"
