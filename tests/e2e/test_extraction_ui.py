"""The extraction dialog of a basic-mode run, seen from outside: a bundled
setup of a few MB of random data, extracted by the test build one 1 MB piece
per second so that the dialog can be read and cancelled.

CHAINER_SCREENSHOTS=<dir> also writes <dir>/extraction-dialog.png."""
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

from test_archive import bundle
from test_progress_ui import PROGRESS_DIALOG, TITLE, exit_code, probe
from winehelpers import SOURCE_DIR, TOOLS_DIR, X64, files_under, log_events, stripped_seams

SETUP = "big-setup.exe"
PIECES = 4  # of 1 MB each


@pytest.fixture(scope="module")
def package(tmp_path_factory):
    """The test build of the chainer carrying a setup that is a real program
    followed by PIECES MB of random data. The symbols go first: the tool
    takes what follows the image for a bundle already there."""
    where = tmp_path_factory.mktemp("extraction")
    chainer = stripped_seams(where / "chainer.exe")
    setup = where / SETUP
    setup.write_bytes((TOOLS_DIR / "exit_with.exe").read_bytes() + os.urandom(PIECES << 20))
    built = bundle(where / "setup.exe", [setup], chainer=chainer)
    assert built.returncode == 0, built.stderr
    return where / "setup.exe"


def start(wine, install, package):
    inst = install()
    shutil.copyfile(package, inst.exe)
    inst.write_ini([("GeneralOptions", [("Options", "b"),
                                        ("ExtractionFolder", inst.win_dir + "\\unpacked")]),
                    ("PREREQUISITES", [("App1", "Big Runtime")]),
                    ("Big Runtime", [("SetupFile", SETUP), ("BasicUiCommandLine", "0"),
                                     ("SearchType1", "5"),
                                     ("SearchString1", r"HKLM\Software\Corvane Test\Never")]),
                    ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])
    env = dict(wine.env, CHAINER_FAKE_EXTRACTION_PACE_MS="1000")
    run = subprocess.Popen([wine.env["CHAINER_WINE"], TOOLS_DIR / "exitcode.exe", inst.win_exe],
                           env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return inst, run


def extracting(inst, timeout=60):
    """Waits for the partial file, which is made once the extraction dialog
    is up; the progress dialog alone would answer the probe before that."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if list((inst.dir / "unpacked").glob(SETUP + ".*.partial")):
            return
        time.sleep(0.05)
    raise AssertionError("the extraction did not start")


def screenshot(wine):
    """Wine draws the caption bar itself only in an unmanaged prefix."""
    folder = os.environ.get("CHAINER_SCREENSHOTS")
    if not folder:
        return
    bmp = Path(folder) / "extraction-dialog.bmp"
    code, _ = wine.run_gui_tool("screenshot.exe", TITLE, wine.to_windows(bmp), "10")
    assert code == 0
    subprocess.run(["python3", SOURCE_DIR / "scripts" / "bmp-to-png.py", bmp,
                    bmp.with_suffix(".png")], check=True)
    bmp.unlink()


def test_dialog_shows_the_file_and_the_bytes_and_closes_before_the_setup(wine, install, package):
    if os.environ.get("CHAINER_SCREENSHOTS"):
        wine.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
    inst, run = start(wine, install, package)
    try:
        extracting(inst)
        seen = probe(wine, TITLE, PROGRESS_DIALOG)
        screenshot(wine)
        assert exit_code(run) == 0
    finally:
        run.kill()
        if os.environ.get("CHAINER_SCREENSHOTS"):
            wine.reg_delete(r"HKCU\Software\Wine\X11 Driver", "Managed")
    # The extraction dialog is owned by the progress dialog, so it is found
    # first; the line ends with the file name however the path was shortened.
    assert seen["progress_text"].startswith("Extracting file to C:\\")
    assert seen["progress_text"].endswith("\\unpacked\\" + SETUP)
    assert seen["range"] == "100" and 0 <= int(seen["pos"]) < 100
    assert seen["button_visible"] == "1"
    events = log_events(inst.dir / "run.log")
    target = inst.win_dir + "\\unpacked\\" + SETUP
    assert events.index("File extracted:" + target) < events.index("Launching file:" + target)
    assert not (inst.dir / "unpacked").exists()  # removed when the run ended


def test_cancel_stops_the_extraction_and_the_run_without_a_trace(wine, install, package):
    inst, run = start(wine, install, package)
    try:
        extracting(inst)
        probe(wine, TITLE, PROGRESS_DIALOG, "cancel")
        assert exit_code(run) == 0  # like a Cancel of the progress dialog
    finally:
        run.kill()
    events = log_events(inst.dir / "run.log")
    assert "Failed to extract file:" + SETUP + " Error:1223" in events  # ERROR_CANCELLED
    assert "Extraction was canceled." in events
    assert not any(e.startswith("Launching file:") for e in events)
    # Neither the partial file nor the folder made for it is left.
    assert not [f for f in files_under(inst.dir) if SETUP in f]
    assert not (inst.dir / "unpacked").exists()
