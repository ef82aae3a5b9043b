"""The embedded archive end to end: bundles made by the real tool, run by the
real chainer under Wine, with the setup and a search helper extracted from it."""
import shutil
import struct
import subprocess
import zlib
from pathlib import Path

import pytest

from winehelpers import BUILD_DIR, TEST_DATA, TOOLS_DIR, files_under, log_events

BUNDLE = BUILD_DIR / "bundle"
TEST_KEY = r"HKLM\Software\Corvane Test"
MAGIC = b"CVBUNDL1"


def bundle(out, files, helpers=(), password=None, method=None, chainer=None):
    args = [str(BUNDLE), "--chainer", str(chainer or BUILD_DIR / "chainer.exe"), "--out", str(out)]
    if password:
        args += ["--encrypt", password]
    if method:
        args += ["--method", method]
    for helper in helpers:
        args += ["--helper", str(helper)]
    return subprocess.run(args + [str(f) for f in files], capture_output=True, text=True)


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


def make_package(inst, tmp_path, helper, password=None, method=None, helper_searches=1):
    """setup.exe carrying runtime-a.exe and the probe; a configuration that
    installs RuntimeA from the package and asks the probe (exit code 0 = found)."""
    built = bundle(tmp_path / "setup.exe", [TEST_DATA / "runtime-a.exe"], [helper], password,
                   method)
    assert built.returncode == 0, built.stderr
    shutil.copyfile(tmp_path / "setup.exe", inst.exe)
    extract = inst.win_dir + "\\unpacked\\deeper"
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


@pytest.mark.parametrize("password,method", [(None, None), (None, "LZMA"), ("pa55 wörd", None)],
                         ids=["lzma2", "lzma", "aes"])
def test_package_installs_and_helper_search_finds(wine, install, tmp_path, helper, clean_registry,
                                                  password, method):
    inst = install()
    log, unpacked = make_package(inst, tmp_path, helper, password, method)
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
    assert inst.run() == 1  # RuntimeA is mandatory and its setup never appears
    events = log_events(log)
    assert any(e.startswith(expected) for e in events), events
    assert any(e.startswith("Launching file:") and e.endswith("runtime-a.exe") for e in events)
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Version", view64=False) is None
    assert not unpacked.exists() or files_under(unpacked) == set()


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


def test_help_names_every_option():
    result = subprocess.run([str(BUNDLE), "--help"], capture_output=True, text=True)
    assert result.returncode == 0
    for option in ("--chainer", "--out", "--encrypt", "--helper", "--method"):
        assert option in result.stdout
