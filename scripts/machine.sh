# Sourced by set-up and the test scripts: what this machine can run, asked
# without Wine (set-up needs the answer before Wine is installed).

# Status 0 when the kernel runs 32-bit x86 programs. The probe is a 96-byte
# static i386 ELF that exits with 42 through int 0x80; a kernel without
# 32-bit support refuses it with "Exec format error".
chainer_runs_i386() {
  local probe code=0
  probe="$(mktemp)"
  printf '%b' '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x28\x00' \
    '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' \
    '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' \
    '\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod 700 "$probe"
  "$probe" 2>/dev/null || code=$?
  rm -f "$probe"
  [ "$code" = 42 ]
}

# Status 0 when 32-bit programs can run under qemu-i386 user-mode emulation
# here: a private binfmt_misc per user namespace needs kernel 6.7 or later,
# and user namespaces must be allowed.
chainer_can_emulate_i386() {
  local major minor
  IFS=. read -r major minor _ <<<"$(uname -r)"
  [ "${major:-0}" -gt 6 ] || { [ "${major:-0}" -eq 6 ] && [ "${minor%%[!0-9]*}" -ge 7 ]; } ||
    return 1
  unshare --user --mount true 2>/dev/null
}
