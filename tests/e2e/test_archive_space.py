"""Extraction onto a drive without room for the entry: nothing is written, the
run says why, and an interactive user can free space and retry."""
import shutil
import subprocess

import pytest

from winehelpers import BUILD_DIR, TEST_DATA, log_events

TEST_KEY = r"HKLM\Software\Corvane Test"
DRIVE_BYTES = 4 << 20
LEFT_FREE = 64 << 10  # less than runtime-a.exe needs


@pytest.fixture
def small_drive(wine, tmp_path):
    """T: on a 4 MiB file system that a filler file leaves almost full."""
    mount = tmp_path / "small"
    mount.mkdir()
    if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={DRIVE_BYTES}", "tmpfs", str(mount)],
                      capture_output=True).returncode != 0:
        pytest.skip("this machine cannot mount a small file system")
    link = wine.path / "dosdevices" / "t:"
    if link.is_symlink():
        link.unlink()
    link.symlink_to(mount)
    (mount / "filler").write_bytes(b"\0" * (DRIVE_BYTES - LEFT_FREE))
    yield mount
    link.unlink()
    subprocess.run(["umount", "-l", str(mount)], check=False)


@pytest.fixture
def clean_registry(wine):
    for view in (True, False):
        wine.reg_delete(TEST_KEY, view64=view)
    yield
    for view in (True, False):
        wine.reg_delete(TEST_KEY, view64=view)


def package(inst, tmp_path, options):
    made = subprocess.run([str(BUILD_DIR / "bundle"), "--chainer", str(BUILD_DIR / "chainer.exe"),
                           "--out", str(tmp_path / "setup.exe"), str(TEST_DATA / "runtime-a.exe")],
                          capture_output=True, text=True)
    assert made.returncode == 0, made.stderr
    shutil.copyfile(tmp_path / "setup.exe", inst.exe)
    prereq = ("RuntimeA", [("SetupFile", "runtime-a.exe"), ("NoUiCommandLine", "/S"),
                           ("Options", "m"), ("SearchType1", "5"),
                           ("SearchString1", TEST_KEY + r"\RuntimeA")])
    inst.write_ini([("GeneralOptions", [("Options", options), ("ExtractionFolder", r"T:\unpacked")]),
                    ("PREREQUISITES", [("App1", "RuntimeA")]), prereq,
                    ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])
    return inst.dir / "run.log"


def exit_code(run):
    out, _ = run.communicate(timeout=120)
    return int(out.decode("ascii", "replace").split()[-1])


def answer_error_box(wine, button):
    code, text = wine.run_gui_tool("answer_box.exe", "Error", button, "60")
    assert code == 0, "no message box asked for space"
    return text


def test_silent_run_stops_before_writing(wine, install, tmp_path, small_drive, clean_registry):
    inst = install()
    log = package(inst, tmp_path, "q")
    assert inst.run() == 1  # the mandatory prerequisite could not be installed
    assert "Not enough disk space to extract file:runtime-a.exe Error:112" in log_events(log)
    assert sorted(p.name for p in small_drive.iterdir()) == ["filler"]
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Version", view64=False) is None


def test_user_frees_space_and_retries(wine, install, tmp_path, small_drive, clean_registry):
    inst = install()
    log = package(inst, tmp_path, "b")
    run = inst.start()
    try:
        text = answer_error_box(wine, "retry")  # still full: asked again
        assert text.startswith("There is not enough space in folder:T:\\unpacked\\")
        answer_error_box(wine, "none")  # the second question is up before space is freed
        (small_drive / "filler").unlink()
        answer_error_box(wine, "retry")
        assert exit_code(run) == 0
    finally:
        run.kill()
    events = log_events(log)
    assert "File extracted:T:\\unpacked\\runtime-a.exe" in events
    assert not any(e.startswith("Not enough disk space") for e in events)
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Version", view64=False) == "1.5"
    assert list(small_drive.iterdir()) == []  # the extracted setup and its folder are gone


def test_user_cancels(wine, install, tmp_path, small_drive, clean_registry):
    inst = install()
    log = package(inst, tmp_path, "b")
    run = inst.start()
    try:
        answer_error_box(wine, "cancel")
        assert exit_code(run) == 1
    finally:
        run.kill()
    assert "Not enough disk space to extract file:runtime-a.exe Error:112" in log_events(log)
    assert sorted(p.name for p in small_drive.iterdir()) == ["filler"]
