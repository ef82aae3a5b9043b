#!/usr/bin/env python3
"""Checks a built chainer without running it: the machine and format of its
image, a GUI program, imports at start of kernel32 and msvcrt alone, delayed
imports (found through the linker map beside it) only of Windows' own DLLs,
every function one that Windows XP has (tests/image/xp_imports.txt), and a
load configuration asking for system-folder DLLs. Prints one line with the
size; exits 1 with the reasons when anything is off.

usage: check_image.py EXE i386|x86-64"""
import re
import struct
import sys
from pathlib import Path

MACHINES = {"i386": (0x014C, 0x10B, "PE32"), "x86-64": (0x8664, 0x20B, "PE32+")}
GUI_SUBSYSTEM = 2
# Not KnownDLLs: imported by name, a copy planted beside setup.exe would be
# loaded before the program runs. The chainer loads them by full path instead.
LOADED_BY_PATH = {"version.dll", "msi.dll", "wininet.dll", "mpr.dll"}
# What the loader resolves before any of the program's code runs: everything
# else waits until the program runs from its own folder.
AT_START = {"kernel32.dll", "msvcrt.dll"}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800


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
        self.load_config_rva, self.load_config_size = struct.unpack_from(
            "<II", data, directories + 8 * 10)
        self.image_base = struct.unpack_from("<Q" if self.pe32plus else "<I", data,
                                             opt + (24 if self.pe32plus else 28))[0]
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
        while entry is not None:
            lookup, _, _, name_rva, first_thunk = struct.unpack_from("<IIIII", self.data, entry)
            if name_rva == 0:
                break
            dll = self.text(name_rva)
            found += [(dll, name) for name in self.thunks(lookup or first_thunk)]
            entry += 20
        return found

    def thunks(self, rva):
        """The names a null-terminated thunk table points at."""
        size, ordinal_flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        at, names = self.offset(rva), []
        while True:
            value = struct.unpack_from("<Q" if self.pe32plus else "<I", self.data, at)[0]
            if value == 0:
                return names
            names.append(f"#{value & 0xFFFF}" if value & ordinal_flag else self.text(value + 2))
            at += size

    def delayed_imports(self, map_text, faults):
        """[(dll, name)] of the delay-import descriptors the linker map names
        (GNU ld leaves the image's delay-import directory empty). A slot that
        does not start out pointing into the image, at its loading stub, is a
        fault: the first call would jump there."""
        found = []
        slot_format = "<Q" if self.pe32plus else "<I"
        for match in re.finditer(r"^\s+0x([0-9a-f]+)\s+_?_DELAY_IMPORT_DESCRIPTOR_\w+$",
                                 map_text, re.M):
            at = self.offset(int(match.group(1), 16) - self.image_base)
            attributes, name_rva, _, slots_rva, names_rva = struct.unpack_from("<5I", self.data, at)
            if attributes != 1:
                raise ValueError("delay-import descriptor without RVAs")
            dll = self.text(name_rva)
            names = self.thunks(names_rva)
            slots = self.offset(slots_rva)
            for n, name in enumerate(names):
                target = struct.unpack_from(slot_format, self.data,
                                            slots + n * struct.calcsize(slot_format))[0]
                if not any(va <= target - self.image_base < va + size
                           for va, size, _ in self.sections):
                    faults.append(f"delayed {dll}!{name} starts out at {target:#x}, "
                                  "not at its stub")
            found += [(dll, name) for name in names]
        return found

    def dependent_load_flags(self):
        if not self.load_config_rva:
            return None
        at = self.offset(self.load_config_rva)
        field = 0x4E if self.pe32plus else 0x36
        if self.load_config_size < field + 2:
            return None
        return struct.unpack_from("<H", self.data, at + field)[0]


def check_names(imports, allowed, faults):
    for dll, name in imports:
        names = allowed.get(dll.lower())
        if dll.lower() in LOADED_BY_PATH:
            faults.append(f"imports {dll}, which must be loaded from the system folder by path")
        elif names is None:
            faults.append(f"imports {dll}, which is not one of Windows' own DLLs here")
        elif not name.startswith("#") and name not in names:
            faults.append(f"imports {dll}!{name}, which Windows XP may lack")


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
    at_start = image.imports()
    check_names(at_start, allowed, faults)
    for dll in sorted({dll.lower() for dll, _ in at_start} - AT_START):
        faults.append(f"imports {dll} at start; only {', '.join(sorted(AT_START))} may be")
    map_path = Path(path).with_suffix(".map")
    if map_path.exists():
        delayed = image.delayed_imports(map_path.read_text(errors="replace"), faults)
        if not delayed:
            faults.append(f"no delayed imports named in {map_path}")
        check_names(delayed, allowed, faults)
    else:
        faults.append(f"no linker map {map_path} to find the delayed imports")
    if image.dependent_load_flags() != LOAD_LIBRARY_SEARCH_SYSTEM32:
        faults.append("no load configuration with DependentLoadFlags = system folder")
    return faults, len(data), kind


def main():
    path, machine = sys.argv[1], sys.argv[2]
    faults, size, kind = check(path, machine)
    if faults:
        print(f"image {path}: FAILED", *faults, sep="\n  ")
        return 1
    print(f"image {path}: {kind} {machine} GUI, imports kernel32 and msvcrt at start and "
          f"XP's system DLLs only, {size:,} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
