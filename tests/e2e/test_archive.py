"""The embedded archive end to end: bundles made by the real tool, run by the
real chainer under Wine, with the setup and a search helper extracted from it;
the tool's 7z archives judged by Debian's 7-Zip (7zz)."""
import os
import random
import re
import shutil
import struct
import subprocess
import zlib

import pytest

from winehelpers import BUILD_DIR, TEST_DATA, TOOLS_DIR, files_under, log_events

BUNDLE = BUILD_DIR / "bundle"
TEST_KEY = r"HKLM\Software\Corvane Test"
MAGIC = b"CVBUNDL1"


def bundle(out, files, helpers=(), password=None, method=None, chainer=None, wine=None):
    """Runs the native tool, or bundle.exe under Wine when given a prefix. Neither
    finds a 7-Zip program: the tool writes its archives itself."""
    path = wine.to_windows if wine else str
    args = ["--chainer", path(chainer or BUILD_DIR / "chainer.exe"), "--out", path(out)]
    if password:
        args += ["--encrypt", password]
    if method:
        args += ["--method", method]
    for helper in helpers:
        args += ["--helper", path(helper)]
    args += [path(f) for f in files]
    if wine:
        proc = wine.wine(BUILD_DIR / "bundle.exe", *args, timeout=300)
        return subprocess.CompletedProcess(proc.args, proc.returncode,
                                           proc.stdout.decode("utf-8", "replace"),
                                           proc.stderr.decode("utf-8", "replace"))
    return subprocess.run([str(BUNDLE)] + args, capture_output=True, text=True,
                          env=dict(os.environ, PATH="/nonexistent"))


@pytest.fixture
def clean_registry(wine):
    for view in (True, False):
        wine.reg_delete(TEST_KEY, view64=view)
    yield
    for view in (True, False):
        wine.reg_delete(TEST_KEY, view64=view)


@pytest.fixture
def helper(tmp_path):
    path = tmp_path / "probe.exe"
    shutil.copyfile(TOOLS_DIR / "exit_with.exe", path)
    return path


def make_package(inst, tmp_path, helper, password=None, method=None, helper_searches=1,
                 tool_prefix=None, extract=None):
    """setup.exe carrying runtime-a.exe and the probe; a configuration that
    installs RuntimeA from the package and asks the probe (exit code 0 = found).
    tool_prefix: made by bundle.exe under Wine instead of the native tool."""
    built = bundle(tmp_path / "setup.exe", [TEST_DATA / "runtime-a.exe"], [helper], password,
                   method, wine=tool_prefix)
    assert built.returncode == 0, built.stderr
    shutil.copyfile(tmp_path / "setup.exe", inst.exe)
    extract = extract or inst.win_dir + "\\unpacked\\deeper"
    prereqs = [("RuntimeA", [("SetupFile", "runtime-a.exe"), ("NoUiCommandLine", "/S"),
                             ("Options", "m"), ("SearchType1", "5"),
                             ("SearchString1", TEST_KEY + r"\RuntimeA")])]
    for n in range(helper_searches):
        prereqs.append((f"Probe{n}", [("SetupFile", "absent.exe"), ("SearchType1", "10"),
                                      ("SearchString1", "probe.exe"), ("SearchCmdLine1", "0"),
                                      ("RefContent1", "WND_HIDE")]))
    sections = [("GeneralOptions", [("Options", "q"), ("ExtractionFolder", extract)]),
                ("PREREQUISITES", [(f"App{n}", p[0]) for n, p in enumerate(prereqs, 1)])]
    sections += prereqs
    sections.append(("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")]))
    inst.write_ini(sections)
    return inst.dir / "run.log", inst.dir / "unpacked"


def overlay_index(path):
    """(offset of the bundle header, archives as (offset, size, password offset, password))."""
    data = path.read_bytes()
    start = (BUILD_DIR / "chainer.exe").stat().st_size  # the overlay follows the image
    assert data[start:start + 8] == MAGIC
    pos = start + 16 + 4
    (count,) = struct.unpack_from("<I", data, pos)
    pos += 4
    archives = []
    for _ in range(count):
        offset, size, length = struct.unpack_from("<QQH", data, pos)
        pw_at = pos + 18
        archives.append((start + offset, size, pw_at, data[pw_at:pw_at + 2 * length]))
        pos = pw_at + 2 * length
    return start, archives


@pytest.mark.parametrize("password,method,windows_tool", [
    (None, None, False), (None, "LZMA", False), ("pa55 wörd", None, False),
    (None, None, True), ("pa55 wörd", "LZMA", True),
], ids=["lzma2", "lzma", "aes", "windows-tool-lzma2", "windows-tool-aes-lzma"])
def test_package_installs_and_helper_search_finds(wine, install, tmp_path, helper, clean_registry,
                                                  password, method, windows_tool):
    inst = install()
    log, unpacked = make_package(inst, tmp_path, helper, password, method,
                                 tool_prefix=wine if windows_tool else None)
    assert inst.run() == 0
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Version", view64=False) == "1.5"
    events = log_events(log)
    extract = inst.win_dir + "\\unpacked\\deeper\\"
    assert "File extracted:" + extract + "probe.exe" in events
    assert "File extracted:" + extract + "runtime-a.exe" in events
    assert "Launching file:" + extract + "runtime-a.exe" in events
    probe = events.index("Searching for:Probe0")
    assert events[probe + 1:probe + 3] == ["File extracted:" + extract + "probe.exe",
                                           "Search result:An acceptable version was found."]
    # Everything extracted and every folder made for it is gone; nothing else.
    assert not unpacked.exists()
    assert inst.exe.exists() and log.exists()


def test_carried_program_of_the_builds_bitness_runs_from_the_extraction_folder(
        wine, install, tmp_path, helper):
    """A chainer of either bitness finds the bundle after its own image; the
    carried program is a helper of the same bitness, not an installer."""
    inst = install()
    setup = tmp_path / "record.exe"
    shutil.copyfile(TOOLS_DIR / "record_args.exe", setup)
    built = bundle(tmp_path / "setup.exe", [setup], [helper])
    assert built.returncode == 0, built.stderr
    shutil.copyfile(tmp_path / "setup.exe", inst.exe)
    extract = inst.win_dir + "\\unpacked"
    inst.write_ini([("GeneralOptions", [("Options", "q"), ("ExtractionFolder", extract)]),
                    ("PREREQUISITES", [("App1", "Record")]),
                    ("Record", [("SetupFile", "record.exe"), ("NoUiCommandLine", "/quiet"),
                                ("SearchType1", "10"), ("SearchString1", "probe.exe"),
                                ("SearchCmdLine1", "1"), ("RefContent1", "WND_HIDE")]),
                    ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])
    inst.run()
    calls = (inst.dir / "unpacked" / "record.exe.calls.txt").read_text().splitlines()
    assert len(calls) == 1 and calls[0].endswith("/quiet"), calls
    assert "File extracted:" + extract + "\\probe.exe" in log_events(inst.dir / "run.log")


def test_entry_is_extracted_once_per_run(wine, install, tmp_path, helper, clean_registry):
    inst = install()
    log, _ = make_package(inst, tmp_path, helper, helper_searches=3)
    assert inst.run() == 0
    events = log_events(log)
    assert sum(e.endswith("\\probe.exe") and e.startswith("File extracted:") for e in events) == 1
    # Every one of the three searches ran the helper and found it.
    assert events.count("Search result:An acceptable version was found.") == 3 + 1


def test_extraction_into_an_existing_folder_keeps_the_folder(wine, install, tmp_path, helper,
                                                            clean_registry):
    inst = install()
    log, unpacked = make_package(inst, tmp_path, helper)
    (unpacked / "deeper").mkdir(parents=True)
    (unpacked / "deeper" / "mine.txt").write_text("not the chainer's")
    assert inst.run() == 0
    assert files_under(unpacked) == {"deeper/mine.txt"}


def seven_zz(*args):
    return subprocess.run(["7zz", *map(str, args)], capture_output=True, text=True,
                          stdin=subprocess.DEVNULL, timeout=300)


def listed_items(listing):
    """The items of `7zz l -slt` output, each as a dict of its properties."""
    items = listing.split("\n----------\n", 1)[1].split("\n\n")
    return [dict(line.split(" = ", 1) for line in item.splitlines() if " = " in line)
            for item in items if item.strip()]


@pytest.mark.parametrize("password,method,windows_tool", [
    (None, None, False), (None, "LZMA", False), ("pa55 wörd", None, False),
    ("secret", "LZMA", False), ("pa55 wörd", None, True),
], ids=["lzma2", "lzma", "aes", "aes-lzma", "windows-tool-aes"])
def test_archives_are_valid_7z_that_give_back_the_exact_bytes(request, tmp_path, helper, password,
                                                                method, windows_tool):
    files = tmp_path / "files"
    files.mkdir()
    (files / "empty.txt").write_bytes(b"")
    # Poorly compressible, several times the tool's read buffer, and a CALL
    # with a small offset every 5 bytes, which the x86 filter converts: the
    # calls straddle every refill of the buffer at a different phase.
    noise = bytearray(random.Random(7).randbytes(3 * 2**20 + 12345))
    noise[0::5] = b"\xe8" * len(noise[0::5])
    noise[4::5] = b"\x00" * len(noise[4::5])
    (files / "noise.bin").write_bytes(noise)
    shutil.copyfile(BUILD_DIR / "bundle.exe", files / "tool.exe")  # real x86 or x86-64 code
    (files / "notes.txt").write_text("line of notes\n" * 5000)
    names = ["empty.txt", "noise.bin", "tool.exe", "notes.txt"]
    out = tmp_path / "setup.exe"
    wine = request.getfixturevalue("wine") if windows_tool else None
    built = bundle(out, [files / n for n in names], [helper], password, method, wine=wine)
    assert built.returncode == 0, built.stderr

    _, archives = overlay_index(out)
    assert len(archives) == 2
    expected = [names, ["probe.exe"]]
    sources = {n: files / n for n in names} | {"probe.exe": helper}
    pw = ["-p" + password] if password else []
    for number, (offset, size, _, stored_password) in enumerate(archives):
        assert stored_password == (password or "").encode("utf-16-le")
        archive = tmp_path / f"archive{number}.7z"
        archive.write_bytes(out.read_bytes()[offset:offset + size])
        tested = seven_zz("t", *pw, archive)
        assert tested.returncode == 0, tested.stdout + tested.stderr
        # The header stays readable without the password; the names are exact.
        listing = seven_zz("l", "-slt", archive)
        assert listing.returncode == 0, listing.stderr
        items = listed_items(listing.stdout)
        assert [i["Path"] for i in items] == expected[number]
        assert re.search(r"^Solid = -$", listing.stdout, re.M)
        for item in items:
            if item["Size"] == "0":
                assert item["Method"] == ""  # an empty stream, no folder
                continue
            coders = item["Method"].split()
            assert coders[-1] == "BCJ"
            assert coders[-2].split(":")[0] == (method or "LZMA2")
            assert (coders[0].startswith("7zAES:19")) == bool(password)
            assert item["Encrypted"] == ("+" if password else "-")
        unpacked = tmp_path / f"x{number}"
        extracted = seven_zz("x", *pw, "-o" + str(unpacked), archive)
        assert extracted.returncode == 0, extracted.stdout + extracted.stderr
        for name in expected[number]:
            assert (unpacked / name).read_bytes() == sources[name].read_bytes(), name
        if password:
            assert seven_zz("t", "-pwrong", archive).returncode != 0


def test_small_file_gets_a_small_dictionary(tmp_path):
    """A dictionary sized for big files would make the chainer reserve it for a
    few bytes; a large file gets the full 16 MiB."""
    (tmp_path / "small.txt").write_bytes(b"tiny")
    (tmp_path / "large.bin").write_bytes(b"0123456789abcdef" * 2**20 + b"!")
    # 7zz shows a power-of-two dictionary as its exponent: 2^12 = 4 KiB, 2^24 = 16 MiB.
    for name, dictionary in (("small.txt", "12"), ("large.bin", "24")):
        out = tmp_path / (name + ".exe")
        assert bundle(out, [tmp_path / name]).returncode == 0
        (offset, size, _, _), = overlay_index(out)[1]
        archive = tmp_path / (name + ".7z")
        archive.write_bytes(out.read_bytes()[offset:offset + size])
        (item,) = listed_items(seven_zz("l", "-slt", archive).stdout)
        assert item["Method"] == f"LZMA2:{dictionary} BCJ"


def corrupt_archive(path, index):
    data = bytearray(path.read_bytes())
    _, archives = overlay_index(path)
    offset, size, _, _ = archives[index]
    middle = offset + 32 + size // 3
    for i in range(middle, middle + 64):
        data[i] ^= 0x5A
    path.write_bytes(bytes(data))


def truncate_archive(path, index):
    _, archives = overlay_index(path)
    offset, size, _, _ = archives[index]
    data = path.read_bytes()
    path.write_bytes(data[:offset + size // 2])


def wrong_password(path, index):
    data = bytearray(path.read_bytes())
    start, archives = overlay_index(path)
    _, _, pw_at, _ = archives[index]
    data[pw_at] ^= 0x01
    index_size = struct.unpack_from("<I", data, start + 8)[0]
    body = bytes(data[start + 16:start + 16 + index_size])
    struct.pack_into("<I", data, start + 12, zlib.crc32(body))
    path.write_bytes(bytes(data))


@pytest.mark.parametrize("damage,password,expected", [
    (corrupt_archive, None, "Failed to extract file:runtime-a.exe Error:"),
    (truncate_archive, None, "Failed to read the embedded archive:"),
    (wrong_password, "right one", "Failed to extract file:runtime-a.exe Error:"),
], ids=["corrupted", "truncated", "wrong-password"])
def test_damaged_package_fails_cleanly(wine, install, tmp_path, helper, clean_registry, damage,
                                       password, expected):
    inst = install()
    log, unpacked = make_package(inst, tmp_path, helper, password)
    damage(inst.exe, 0)
    # Left by a crashed run, or planted: a program that records its start.
    (unpacked / "deeper").mkdir(parents=True)
    stale = unpacked / "deeper" / "runtime-a.exe"
    shutil.copyfile(TOOLS_DIR / "record_args.exe", stale)
    assert inst.run() == 1  # RuntimeA is mandatory and its setup never appears
    events = log_events(log)
    assert any(e.startswith(expected) for e in events), events
    assert ("Not launching file, this run did not extract it:" + inst.win_dir
            + "\\unpacked\\deeper\\runtime-a.exe") in events
    assert not any(e.startswith("Launching file:") for e in events), events
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Version", view64=False) is None
    assert files_under(unpacked) == {"deeper/runtime-a.exe"}
    assert stale.read_bytes() == (TOOLS_DIR / "record_args.exe").read_bytes()


def test_a_users_file_in_the_extraction_folder_is_neither_replaced_nor_removed(
        wine, install, tmp_path, helper, clean_registry):
    inst = install()
    log, _ = make_package(inst, tmp_path, helper, extract="[SETUPEXEDIR]")
    mine = inst.dir / "runtime-a.exe"
    mine.write_bytes(b"the user's own file")
    assert inst.run() == 1  # RuntimeA is mandatory and is not installed
    events = log_events(log)
    assert ("A file this run did not extract is in the way, it stays as it is:"
            + inst.win_dir + "\\runtime-a.exe") in events
    assert not any(e.startswith("Launching file:") for e in events), events
    assert "File extracted:" + inst.win_dir + "\\probe.exe" in events
    assert mine.read_bytes() == b"the user's own file"
    assert not (inst.dir / "probe.exe").exists()  # what the run extracted still goes


@pytest.mark.parametrize("name", ["CON", "nul.txt", "COM1.exe", "lpt9", "a..b.exe", "trailing.",
                                  "back\\slash.exe", "drive:c.exe", "stream.exe:alt"])
def test_tool_refuses_hostile_names(tmp_path, name):
    hostile = tmp_path / name
    hostile.write_bytes(b"MZ")
    result = bundle(tmp_path / "out.exe", [hostile])
    assert result.returncode == 2
    assert "refused file name" in result.stderr
    assert not (tmp_path / "out.exe").exists()


def test_tool_refuses_duplicate_names_and_a_bundled_chainer(tmp_path, helper):
    other = tmp_path / "other"
    other.mkdir()
    shutil.copyfile(helper, other / "PROBE.exe")
    result = bundle(tmp_path / "out.exe", [helper, other / "PROBE.exe"])
    assert result.returncode == 2 and "two files" in result.stderr
    assert bundle(tmp_path / "first.exe", [helper]).returncode == 0
    again = bundle(tmp_path / "second.exe", [helper], chainer=tmp_path / "first.exe")
    assert again.returncode == 1 and "already carries" in again.stderr
    assert not (tmp_path / "second.exe").exists()


def test_tool_reports_an_unreadable_file_and_leaves_nothing(tmp_path, helper):
    missing = bundle(tmp_path / "out.exe", [helper, tmp_path / "absent.exe"])
    assert missing.returncode == 1 and "cannot read" in missing.stderr
    # A folder opens but fails on the first read: a read error mid-stream.
    (tmp_path / "folder.exe").mkdir()
    failing = bundle(tmp_path / "out.exe", [helper, tmp_path / "folder.exe"])
    assert failing.returncode == 1 and "cannot read" in failing.stderr
    assert not (tmp_path / "out.exe").exists()


def test_help_names_every_option():
    result = subprocess.run([str(BUNDLE), "--help"], capture_output=True, text=True)
    assert result.returncode == 0
    for option in ("--chainer", "--out", "--encrypt", "--helper", "--method"):
        assert option in result.stdout
