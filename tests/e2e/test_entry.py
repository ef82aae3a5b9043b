"""Starting the chainer: where it finds its configuration, how it reads it, and the
wait for Windows Installer. The log's end line shows that a configuration was read."""
import subprocess
import time

import pytest

from winehelpers import TOOLS_DIR, WINE, encode_ini, files_under, wait_for_file

END_LINE = "=====================End of Log====================="


def log_config(log_path, extra=""):
    return f"[PREREQ_CHAINER]\nLogFile={log_path}\n{extra}"


def watched_places(wine):
    """Where a run could leave files: the common application data folder and the temp folders."""
    places = [wine.drive_c / "ProgramData", wine.drive_c / "users"]
    return {str(p): files_under(p) for p in places}


def test_missing_configuration_does_nothing_at_all(wine, install):
    inst = install()
    before = watched_places(wine)
    assert inst.run() == 0
    assert sorted(p.name for p in inst.dir.iterdir()) == ["setup.exe"]
    assert watched_places(wine) == before
    assert not wine.key_exists(r"HKCU\InterbootContext")


@pytest.mark.parametrize("exe_name, ini_name", [
    ("setup.exe", "setup.ini"),
    ("my.setup.exe", "my.setup.ini"),
    ("Setup.EXE", "Setup.ini"),
])
def test_configuration_beside_the_executable_is_read(install, exe_name, ini_name):
    inst = install(exe_name=exe_name)
    assert inst.ini.name == ini_name
    log = inst.dir / "run.log"
    inst.write_ini(log_config(inst.prefix.to_windows(log)))
    assert inst.run() == 0
    assert END_LINE in log.read_bytes().decode("utf-16-le")


def test_executable_without_extension_reads_name_dot_ini(install):
    inst = install(exe_name="setup")
    log = inst.dir / "run.log"
    inst.write_ini(log_config(inst.prefix.to_windows(log)))
    assert inst.run() == 0
    assert log.exists()


@pytest.mark.parametrize("content, reads_log", [
    (lambda log: encode_ini(log_config(log)), True),
    # Without the mark the first unit ("[") is lost and the section is not found.
    (lambda log: encode_ini(log_config(log), bom=False), False),
    # LF-only line ends make one long line: no section at all.
    (lambda log: encode_ini(log_config(log), line_end="\n"), False),
    # A second mark after the first is removed by the parser.
    (lambda log: b"\xff\xfe\xff\xfe" + log_config(log).replace("\n", "\r\n").encode("utf-16-le"),
     True),
    # Only the first of two sections of the same name counts.
    (lambda log: encode_ini("[PREREQ_CHAINER]\nLogFile=\n" + log_config(log)), False),
    (lambda log: encode_ini(log_config(log) + "[PREREQ_CHAINER]\nLogFile=C:\\other.log\n"), True),
])
def test_configuration_text_variants(install, content, reads_log):
    inst = install()
    log = inst.dir / "run.log"
    inst.write_ini(content(inst.prefix.to_windows(log)))
    assert inst.run() == 0
    assert log.exists() == reads_log


@pytest.mark.parametrize("data", [b"", b"\xff", b"\xff\xfe", b"\xff\xfe[", b"\x00" * 4097])
def test_tiny_or_odd_configuration_files_end_cleanly(install, data):
    inst = install()
    inst.write_ini(data)
    assert inst.run() == 0
    assert sorted(p.name for p in inst.dir.iterdir()) == ["setup.exe", "setup.ini"]


def test_configuration_that_cannot_be_opened_gives_an_empty_run(install):
    inst = install()
    inst.ini.mkdir()  # found by the directory listing, but no file to open
    assert inst.run() == 0


def test_executable_in_a_path_longer_than_max_path(wine, install):
    # The folder stays below MAX_PATH (a current folder cannot be longer); the
    # executable's full path does not.
    deep = wine.drive_c / "tests" / "deep" / ("d" * 120) / ("e" * 110) / ("f" * 8)
    inst = install(folder=deep, exe_name="setup-with-a-long-name.exe")
    assert len(inst.win_dir) < 255 < 260 < len(inst.win_exe)
    log = wine.drive_c / "tests" / "deep" / "deep.log"
    inst.write_ini(log_config(wine.to_windows(log)))
    # Started by its name from its own folder: no API takes the long full path.
    assert wine.run_exit_code(inst.exe.name, cwd=inst.win_dir) == 0
    assert END_LINE in log.read_bytes().decode("utf-16-le")


class MutexHolder:
    def __init__(self, wine, folder, mode, milliseconds):
        self.ready = folder / f"{mode}.ready"
        self.proc = subprocess.Popen(
            [WINE, TOOLS_DIR / "mutex_holder.exe", mode, wine.to_windows(self.ready),
             str(milliseconds)], env=wine.env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        assert wait_for_file(self.ready), "the mutex holder did not start"

    def wait(self):
        return self.proc.wait(timeout=60)


def test_held_installer_mutex_makes_the_run_wait(wine, install):
    inst = install()
    inst.write_ini(log_config(inst.prefix.to_windows(inst.dir / "run.log")))
    holder = MutexHolder(wine, inst.dir, "hold", 4000)
    started = time.monotonic()
    run = inst.start()
    time.sleep(1.5)
    assert run.poll() is None, "the chainer ran while an installation held the mutex"
    assert holder.wait() == 0
    out, _ = run.communicate(timeout=60)
    assert out.decode().strip() == "0"
    assert time.monotonic() - started >= 3.5


@pytest.mark.parametrize("mode", ["abandon", "event", "free"])
def test_other_mutex_states_end_with_exit_code_zero(wine, install, mode):
    inst = install()
    inst.write_ini(log_config(inst.prefix.to_windows(inst.dir / "run.log")))
    holder = MutexHolder(wine, inst.dir, mode, 2500)
    assert inst.run(timeout=60) == 0
    holder.wait()
