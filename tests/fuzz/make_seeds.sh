#!/bin/bash
# Remakes the binary seeds of the fuzz corpus with the project's own tools: a
# tiny PE image bundled by build/bundle (the native bundling tool) with small
# files, plain and AES-encrypted; then the bundle and the 7z archives cut out
# of it. Needs build/bundle and the 32-bit MinGW compiler.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
corpus=$root/tests/fuzz/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'void start(void) { for (;;) {} }\n' >tiny.c
i686-w64-mingw32-gcc -O2 -s -nostdlib -Wl,-e,_start -Wl,--file-alignment,512 tiny.c -o tiny.exe
printf 'setup file\n' >setup.txt
printf 'helper %.0s' {1..40} >helper.exe
"$root/build/bundle" --chainer tiny.exe --out plain.exe --method LZMA setup.txt
"$root/build/bundle" --chainer tiny.exe --out locked.exe --encrypt fuzz --helper helper.exe setup.txt
cp plain.exe "$corpus/pe_overlay/bundled"
cp tiny.exe "$corpus/pe_overlay/no_overlay"
python3 - "$corpus" plain.exe locked.exe <<'PY'
import struct, sys
corpus = sys.argv[1]
for path in sys.argv[2:]:
    data = open(path, "rb").read()
    overlay = data[data.index(b"CVBUNDL1"):]
    stem = path[:-4]
    open(f"{corpus}/bundle_index/{stem}", "wb").write(overlay)
    index = overlay[16:]
    count = struct.unpack_from("<I", index, 4)[0]
    at = 8
    for n in range(count):
        offset, size = struct.unpack_from("<QQ", index, at)
        length = struct.unpack_from("<H", index, at + 16)[0]
        at += 18 + 2 * length
        open(f"{corpus}/seven_zip/{stem}{n}", "wb").write(overlay[offset:offset + size])
PY
