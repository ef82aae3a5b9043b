#!/usr/bin/env python3
"""Points a linked image's load-configuration directory at its
_load_config_used structure. GNU ld before 2.41 leaves that directory empty,
so Windows would never see the structure's DependentLoadFlags. The address
comes from the linker map (the image itself is stripped); the directory's
size is the structure's own first field.

usage: set_load_config.py IMAGE MAP"""
import re
import struct
import sys
from pathlib import Path

LOAD_CONFIG_DIRECTORY = 10


def symbol_address(map_text):
    # i686 symbols carry a leading underscore, x86-64 ones do not.
    found = re.search(r"^\s+0x([0-9a-fA-F]+)\s+_?_load_config_used\s*$", map_text, re.M)
    if not found:
        sys.exit("set_load_config: no _load_config_used in the linker map")
    return int(found.group(1), 16)


def main(image_path, map_path):
    data = bytearray(Path(image_path).read_bytes())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    pe32plus = struct.unpack_from("<H", data, opt)[0] == 0x20B
    image_base = struct.unpack_from("<Q" if pe32plus else "<I", data, opt + (24 if pe32plus else 28))[0]
    rva = symbol_address(Path(map_path).read_text(errors="replace")) - image_base
    offset = None
    for n in range(sections):
        _, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * n)
        if va <= rva < va + max(vsize, rsize):
            offset = rva - va + raw
    if offset is None:
        sys.exit("set_load_config: _load_config_used lies in no section")
    size = struct.unpack_from("<I", data, offset)[0]
    directory = opt + (112 if pe32plus else 96) + 8 * LOAD_CONFIG_DIRECTORY
    struct.pack_into("<II", data, directory, rva, size)
    Path(image_path).write_bytes(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
