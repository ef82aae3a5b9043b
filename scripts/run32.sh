#!/usr/bin/env bash
# run32.sh COMMAND [ARG...]: runs COMMAND where every 32-bit x86 Linux program
# (Wine's 32-bit loader and each 32-bit Windows process it starts) runs under
# qemu-i386 user-mode emulation, on a kernel that refuses 32-bit code.
# Exits with COMMAND's status. set-up (scripts/setup.sh) fetches the emulator.
#
# The emulator is registered in the binfmt_misc of a private user namespace
# (kernel 6.7 and later give each user namespace its own), so the rest of the
# machine keeps its settings. The namespace maps every user and group id to
# itself and has its own mounts; files, network, processes and /tmp are the
# machine's, so prefixes, the display and the tests' servers work as usual.
set -euo pipefail
export CHAINER_QEMU="${CHAINER_QEMU:-/var/cache/chainer/qemu-i386}"

case "${CHAINER_RUN32_STAGE:-}" in
'')
  [ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARG...]" >&2; exit 2; }
  [ -x "$CHAINER_QEMU" ] || { echo "run32: $CHAINER_QEMU is missing (run scripts/setup.sh)" >&2; exit 125; }
  # Only a process outside the namespace may write an id map wider than one
  # id: a helper that stays outside writes it once this shell is inside.
  # (Detached twice, so that COMMAND never sees it as its child.)
  ( (
    mine=$(readlink /proc/self/ns/user)
    for _ in $(seq 1 1000); do
      if [ "$(readlink /proc/$$/ns/user 2>/dev/null)" != "$mine" ]; then
        echo '0 0 4294967295' >/proc/$$/uid_map
        echo '0 0 4294967295' >/proc/$$/gid_map
        exit 0
      fi
      sleep 0.01
    done
  ) & )
  # A program started before the map is written would get no capabilities.
  export CHAINER_RUN32_STAGE=inside
  exec unshare --user --mount --propagation private sh -c '
    for _ in $(seq 1 1000); do
      grep -q . /proc/self/uid_map && exec bash "$0" "$@"
      sleep 0.01
    done
    echo "run32: the user namespace got no id map" >&2; exit 125' \
    "$(readlink -f "$0")" "$@"
  ;;
inside)
  unset CHAINER_RUN32_STAGE
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  # Magic and mask of i386 ELF executables as qemu's own binfmt entry has
  # them; F opens the emulator now, so it works in any later mount namespace.
  magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::$magic:$mask:$CHAINER_QEMU:F" >/proc/sys/fs/binfmt_misc/register
  # Tests that must tell emulation apart look at this: qemu leaves the trap
  # number of a fault's signal context unset, so Wine reports an access
  # violation of a 32-bit program as an illegal instruction without address.
  export CHAINER_EMULATED=qemu-i386
  # The emulated processor names the machine's processor in cpuid, so that
  # 32-bit and 64-bit programs of one prefix report the same brand.
  brand=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  export QEMU_CPU="${QEMU_CPU:-max,model-id=${brand//,/,,}}"
  exec "$@"
  ;;
esac
