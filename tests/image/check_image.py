#!/usr/bin/env python3
"""Checks a built chainer without running it: the machine and format of its
image, a GUI program, and imports only of Windows' own DLLs (none that could
be planted beside it) and only of functions Windows XP has
(tests/image/xp_imports.txt). Prints one line with
the size; exits 1 with the reasons when anything is off.

usage: check_image.py EXE i386|x86-64"""
import struct
import sys
from pathlib import Path

MACHINES = {"i386": (0x014C, 0x10B, "PE32"), "x86-64": (0x8664, 0x20B, "PE32+")}
GUI_SUBSYSTEM = 2
# Not KnownDLLs: imported by name, a copy planted beside setup.exe would be
# loaded before the program runs. The chainer loads them by full path instead.
LOADED_BY_PATH = {"version.dll", "msi.dll", "wininet.dll", "mpr.dll"}


def read_allowed(path):
    """{dll: set of function names} from the list file."""
    allowed, dll = {}, None
    for line in Path(path).read_text().splitlines():
        line = line.split("#", 1)[0]
        if not line.strip():
            continue
        if not line[0].isspace():
            dll, _, line = line.partition(":")
            dll = dll.strip().lower()
            allowed.setdefault(dll, set())
        allowed[dll].update(line.split())
    return allowed


class Image:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
        self.pe32plus = self.magic == 0x20B
        directories = opt + (112 if self.pe32plus else 96)
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]
        self.sections = []
        table = opt + opt_size
        for n in range(sections):
            _, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * n)
            self.sections.append((va, max(vsize, rsize), raw))

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(f"RVA {rva:#x} is in no section")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        """[(dll, name or '#ordinal')]"""
        found = []
        entry = self.offset(self.import_rva) if self.import_rva else None
        thunk_size, ordinal_flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        while entry is not None:
            lookup, _, _, name_rva, first_thunk = struct.unpack_from("<IIIII", self.data, entry)
            if name_rva == 0:
                break
            dll = self.text(name_rva)
            at = self.offset(lookup or first_thunk)
            while True:
                value = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data, at)[0]
                if value == 0:
                    break
                found.append((dll, f"#{value & 0xFFFF}" if value & ordinal_flag
                              else self.text(value + 2)))
                at += thunk_size
            entry += 20
        return found


def check(path, machine):
    want_machine, want_magic, kind = MACHINES[machine]
    data = Path(path).read_bytes()
    image = Image(data)
    allowed = read_allowed(Path(__file__).with_name("xp_imports.txt"))
    faults = []
    if image.machine != want_machine or image.magic != want_magic:
        faults.append(f"not a {kind} {machine} image (machine {image.machine:#x}, "
                      f"magic {image.magic:#x})")
    if image.subsystem != GUI_SUBSYSTEM:
        faults.append(f"subsystem {image.subsystem}, not a GUI program")
    for dll, name in image.imports():
        names = allowed.get(dll.lower())
        if dll.lower() in LOADED_BY_PATH:
            faults.append(f"imports {dll}, which must be loaded from the system folder by path")
        elif names is None:
            faults.append(f"imports {dll}, which is not one of Windows' own DLLs here")
        elif not name.startswith("#") and name not in names:
            faults.append(f"imports {dll}!{name}, which Windows XP may lack")
    return faults, len(data), kind


def main():
    path, machine = sys.argv[1], sys.argv[2]
    faults, size, kind = check(path, machine)
    if faults:
        print(f"image {path}: FAILED", *faults, sep="\n  ")
        return 1
    print(f"image {path}: {kind} {machine} GUI, imports XP's system DLLs only, "
          f"{size:,} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
