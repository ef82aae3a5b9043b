#!/usr/bin/env bash
# Size of both programs against the 400 KB goal, and what takes it: the file's
# sections, then the linker map (build/chainer.map, written by every link) summed
# by library and by object or archive member, the C++ runtime's pieces named,
# and the largest functions (the program's own code is one object: see the
# unity build in CMakeLists.txt).
# Only sections that occupy the file count (no .bss, no debug sections: -s
# strips those). Builds the chainer in both trees first; NO_BUILD=1 skips that.
# TOP=N lists N members and N functions (20).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
trees=("$root/build:i686" "$root/build/x64:x86_64")
if [ -z "${NO_BUILD:-}" ]; then
  for tree in "${trees[@]}"; do
    dir="${tree%%:*}"
    if [ ! -f "$dir/CMakeCache.txt" ]; then
      cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${tree##*:}.cmake" >/dev/null
    fi
    cmake --build "$dir" -j "${JOBS:-$(nproc)}" --target chainer >/dev/null
  done
fi
for tree in "${trees[@]}"; do
  dir="${tree%%:*}"
  python3 - "$dir/chainer.exe" "$dir/chainer.map" "${TOP:-20}" <<'PY'
import collections, os, re, struct, subprocess, sys

exe, map_path, top = sys.argv[1], sys.argv[2], int(sys.argv[3])
GOAL = 400 * 1000
KIB = 1024.0
data = open(exe, "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
table = pe + 24 + opt_size
sections = []
for n in range(count):
    name, _, _, raw_size = struct.unpack_from("<8sIII", data, table + 40 * n)
    sections.append((name.rstrip(b"\0").decode(), raw_size))
print(f"{os.path.relpath(exe)}: {len(data):,} bytes, {len(data) / KIB:.1f} KiB, "
      f"{len(data) / GOAL:.2f} of the {GOAL // 1000} KB goal")
print("  file sections: " + ", ".join(f"{n} {s / KIB:.1f}" for n, s in sections if s))

def occupies_file(section):
    return section != ".bss" and not section.startswith(".debug")

# ld's map: after "Linker script and memory map", an output section starts in
# column 0; each input section is " NAME 0xADDR 0xSIZE FILE", the name alone on
# its own line when it is long.
lines = open(map_path, errors="replace").read().splitlines()
start = next(i for i, line in enumerate(lines) if line.startswith("Linker script and memory map"))
entry = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
by_library = collections.defaultdict(collections.Counter)
by_member = collections.Counter()
by_function = collections.Counter()
output = None
pending = None
for line in lines[start:]:
    if line and not line[0].isspace():
        output = line.split()[0]
        continue
    match = entry.match(line)
    name, pending = (match.group(1) or pending) if match else None, None
    if not match:
        # A long input-section name stands alone on the line before its entry.
        pending = line.strip() if line.strip() and " " not in line.strip() else None
        continue
    if not output or not occupies_file(output):
        continue
    address, size, source = int(match.group(2), 16), int(match.group(3), 16), match.group(4)
    if not size or not address:
        continue
    member = re.match(r"(.*?)\((.*)\)$", source)
    library = os.path.basename(member.group(1) if member else source)
    library = "(linker)" if library == "dll stuff" else library
    by_library[library][output] += size
    by_member[f"{library}({member.group(2)})" if member else library] += size
    # -ffunction-sections names each function's section .text$<symbol>.
    if name and name.startswith((".text$", ".rdata$")):
        by_function[name.split("$", 1)[1]] += size

def sections_of(counter):
    return ", ".join(f"{n} {s / KIB:.1f}" for n, s in counter.most_common(3))

print("  by library (KiB, before alignment):")
for library, counter in sorted(by_library.items(), key=lambda kv: -sum(kv[1].values()))[:12]:
    print(f"    {sum(counter.values()) / KIB:7.1f}  {library:<22} {sections_of(counter)}")
print(f"  largest {top} members (KiB):")
for member, size in by_member.most_common(top):
    print(f"    {size / KIB:7.1f}  {member}")
largest = by_function.most_common(top)
names = subprocess.run(["c++filt"], input="\n".join(s for s, _ in largest),
                       capture_output=True, text=True).stdout.splitlines()
print(f"  largest {top} functions (bytes):")
for (symbol, size), name in zip(largest, names or [s for s, _ in largest]):
    print(f"    {size:7d}  {name[:110]}")
print()
PY
done
