"""The log file of a real run: exact bytes of the mark, header and lines, appending
on reuse, the fallback folder, and no file at all without a LogFile."""
import datetime
import os
import re
import subprocess

import pytest

from winehelpers import TOOLS_DIR, WINE, files_under

BOM = b"\xff\xfe"
BANNER = "\r\n<< Corvane (x86) Log >>\r\n"
END_TEXT = "=====================End of Log====================="
STAMP = r"(\d{4}-\d{2}-\d{2} \d{2}-\d{2}-\d{2})"
VERSION_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"
OPTIONS_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions"


CPU_KEY = r"HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\0"
_cpu_brand = []


@pytest.fixture(autouse=True)
def cpu_brand(wine):
    """The processor's brand as Wine read it from cpuid (a virtual machine's
    /proc/cpuinfo may name another), read once."""
    if not _cpu_brand:
        emulated = re.search(r"model-id=((?:[^,]|,,)*)", os.environ.get("QEMU_CPU", ""))
        if os.environ.get("CHAINER_EMULATED") and emulated:
            # qemu-i386 answers cpuid with the brand run32.sh gave it.
            _cpu_brand.append(emulated.group(1).replace(",,", ",").strip())
        else:
            _cpu_brand.append((wine.reg_query(CPU_KEY, "ProcessorNameString") or "").strip())


def run_block_pattern(os_line, os_line_regex=None):
    """One opening of the file by a run: the header, then the end line and an
    empty line. The processor brand is cpuid's, with its padding blanks."""
    brand = _cpu_brand[0] if _cpu_brand else None
    cpu = re.escape(brand) if brand else r"[^\r\n]+"
    os_regex = os_line_regex or re.escape(os_line)
    return (re.escape(BANNER) + os_regex + r"\r\nCPU: *" + cpu + r" *\r\n\r\n" +
            STAMP + "-" + re.escape(END_TEXT) + r"\r\n\r\n")


WIN7_X64 = "OS Version: 6.1.7601 SP1 (workstation) [x64]"


def log_text(data, mark=True):
    """The UTF-16 text after exactly one leading mark (or none)."""
    if mark:
        assert data[:2] == BOM
        data = data[2:]
    assert BOM not in data, "a second byte-order mark"
    assert len(data) % 2 == 0
    return data.decode("utf-16-le")


def check_stamps_are_now(text):
    now = datetime.datetime.now()
    for stamp in re.findall(STAMP + "-", text):
        when = datetime.datetime.strptime(stamp, "%Y-%m-%d %H-%M-%S")
        assert abs((now - when).total_seconds()) < 300, stamp


def run_with_debug_output(inst):
    """Runs the chainer and returns (exit code, its debugger-output messages)."""
    env = dict(inst.prefix.env, WINEDEBUG="warn+seh")
    proc = subprocess.run([WINE, TOOLS_DIR / "exitcode.exe", inst.win_exe], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    code = int(proc.stdout.decode("ascii", "replace").strip().splitlines()[-1])
    messages = re.findall(r'OutputDebugStringA "(.*)"',
                          proc.stderr.decode("utf-8", "replace"))
    return code, [m.replace("\\\\", "\\").replace("\\r\\n", "\r\n") for m in messages]


def configure_log(inst, log_path):
    inst.write_ini([("PREREQ_CHAINER", [("LogFile", log_path)])])


def test_new_log_holds_mark_header_and_end_line_exactly(install):
    inst = install()
    log = inst.dir / "run.log"
    configure_log(inst, inst.win_dir + "\\run.log")
    assert inst.run() == 0
    text = log_text(log.read_bytes())
    assert re.fullmatch(run_block_pattern(WIN7_X64), text), repr(text)
    check_stamps_are_now(text)


def test_second_run_appends_a_header_without_a_second_mark(install):
    inst = install()
    log = inst.dir / "run.log"
    configure_log(inst, inst.win_dir + "\\run.log")
    code, messages = run_with_debug_output(inst)
    assert code == 0
    assert f"LOGGER->Creating LOG file at:{inst.win_dir}\\run.log\r\n" in messages
    configure_log(inst, inst.win_dir + "\\run.log")  # the run removed its configuration
    code, messages = run_with_debug_output(inst)
    assert code == 0
    assert f"LOGGER->Reusing LOG file at:{inst.win_dir}\\run.log\r\n" in messages
    block = run_block_pattern(WIN7_X64)
    assert re.fullmatch(block + block, log_text(log.read_bytes()))


def test_existing_foreign_file_is_appended_to_after_its_last_byte(install):
    inst = install()
    log = inst.dir / "run.log"
    log.write_bytes(b"old")
    configure_log(inst, inst.win_dir + "\\run.log")
    assert inst.run() == 0
    data = log.read_bytes()
    assert data[:3] == b"old"
    assert re.fullmatch(run_block_pattern(WIN7_X64), log_text(data[3:], mark=False))


def test_configured_path_in_missing_folder_lands_in_the_shared_log_folder(wine, install):
    inst = install(exe_name="fallback_setup.exe")
    shared = wine.drive_c / "ProgramData" / "CORVANE_LOGS"
    target = shared / "fallback_setup.LOG"
    if target.exists():
        target.unlink()
    configure_log(inst, r"C:\no-such-folder\deeper\run.log")
    try:
        code, messages = run_with_debug_output(inst)
        assert code == 0
        assert messages[:3] == [
            r"Logger::SetLogFile( C:\no-such-folder\deeper\run.log ) while OLD path is:",
            r"LOGGER->failed to create LOG at:C:\no-such-folder\deeper\run.log",
            r"LOGGER->Creating LOG file at:C:\ProgramData\CORVANE_LOGS\fallback_setup.LOG" + "\r\n",
        ]
        assert not (wine.drive_c / "no-such-folder").exists()
        assert re.fullmatch(run_block_pattern(WIN7_X64), log_text(target.read_bytes()))
    finally:
        if target.exists():
            target.unlink()


@pytest.mark.parametrize("chainer_section", [
    None,
    [("LogFile", "")],
    [("CleanupFolder", r"C:\x")],
])
def test_no_log_file_configured_writes_nothing_anywhere(wine, install, chainer_section):
    inst = install()
    sections = [("GeneralOptions", [("Options", "")])]
    if chainer_section is not None:
        sections.append(("PREREQ_CHAINER", chainer_section))
    inst.write_ini(sections)
    places = [wine.drive_c / "ProgramData", wine.drive_c / "users", wine.drive_c / "windows" / "temp"]
    before = {str(p): files_under(p) for p in places}
    assert inst.run() == 0
    # With the section present the run removes its own configuration file.
    left = ["setup.exe"] if chainer_section else ["setup.exe", "setup.ini"]
    assert sorted(p.name for p in inst.dir.iterdir()) == left
    assert {str(p): files_under(p) for p in places} == before


# (value, kind) per registry value; None deletes the value.
IMITATIONS = {
    "10 21H2": ({"CurrentMajorVersionNumber": ("10", "REG_DWORD"),
                 "CurrentMinorVersionNumber": ("0", "REG_DWORD"),
                 "CurrentVersion": ("6.3", "REG_SZ"), "CurrentBuildNumber": ("19044", "REG_SZ"),
                 "CSDVersion": None, "ProductType": ("WinNT", "REG_SZ")},
                "OS Version: 10.0.19044 SP0 (workstation) [x64]"),
    "11 22H2": ({"CurrentMajorVersionNumber": ("10", "REG_DWORD"),
                 "CurrentMinorVersionNumber": ("0", "REG_DWORD"),
                 "CurrentVersion": ("6.3", "REG_SZ"), "CurrentBuildNumber": ("22621", "REG_SZ"),
                 "CSDVersion": None, "ProductType": ("WinNT", "REG_SZ")},
                "OS Version: 11.0.22621 SP0 (workstation) [x64]"),
    "Server 2022": ({"CurrentMajorVersionNumber": ("10", "REG_DWORD"),
                     "CurrentMinorVersionNumber": ("0", "REG_DWORD"),
                     "CurrentVersion": ("6.3", "REG_SZ"), "CurrentBuildNumber": ("20348", "REG_SZ"),
                     "CSDVersion": None, "ProductType": ("ServerNT", "REG_SZ")},
                    "OS Version: 10.0.20348 SP0 (server) [x64]"),
    "XP SP3": ({"CurrentMajorVersionNumber": None, "CurrentMinorVersionNumber": None,
                "CurrentVersion": ("5.1", "REG_SZ"), "CurrentBuildNumber": ("2600", "REG_SZ"),
                "CSDVersion": ("Service Pack 3", "REG_SZ"), "ProductType": ("WinNT", "REG_SZ")},
               "OS Version: 5.1.2600 SP3 (workstation) [x64]"),
}
KINDS = {"CurrentMajorVersionNumber": "REG_DWORD", "CurrentMinorVersionNumber": "REG_DWORD"}


def key_of(name):
    return OPTIONS_KEY if name == "ProductType" else VERSION_KEY


@pytest.mark.parametrize("system", sorted(IMITATIONS))
def test_os_version_header_follows_the_registry(wine, install, system):
    values, os_line = IMITATIONS[system]
    saved = {name: wine.reg_query(key_of(name), name) for name in values}
    try:
        for name, setting in values.items():
            if setting is None:
                wine.reg_delete(key_of(name), name)
            else:
                wine.reg_add(key_of(name), name, setting[0], setting[1])
        inst = install()
        configure_log(inst, inst.win_dir + "\\run.log")
        assert inst.run() == 0
        text = log_text((inst.dir / "run.log").read_bytes())
        assert re.fullmatch(run_block_pattern(os_line), text), repr(text)
    finally:
        for name, original in saved.items():
            if original is None:
                wine.reg_delete(key_of(name), name)
            else:
                wine.reg_add(key_of(name), name, original, KINDS.get(name, "REG_SZ"))
    assert {name: wine.reg_query(key_of(name), name) for name in values} == saved


def test_32_bit_windows_says_x86(wine32, install):
    inst = install(prefix=wine32)
    configure_log(inst, inst.win_dir + "\\run.log")
    assert inst.run() == 0
    text = log_text((inst.dir / "run.log").read_bytes())
    # Only the bitness: the unit tests may imitate other versions in this prefix.
    pattern = run_block_pattern(None, r"OS Version: \d+\.\d+\.\d+ SP\d+ \(\w+\) \[x86\]")
    assert re.fullmatch(pattern, text), repr(text)
