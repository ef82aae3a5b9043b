"""The windows of an interactive run, looked at from outside the way a user
sees them: the status window while the chainer waits, the progress dialog
while a setup runs, and Cancel."""
import shutil
import subprocess

from winehelpers import TOOLS_DIR, WINE, log_events, wait_for_file

TEST_KEY = r"HKLM\Software\Corvane Test"
TITLE = "Corvane Prerequisite Chainer Setup"  # "%s Setup" with the product name


STATUS_WINDOW, PROGRESS_DIALOG = "1001", "1034"  # a control only that window has


def probe(wine, caption, control, *action):
    code, text = wine.run_gui_tool("window_probe.exe", caption, "60", control, *action)
    assert code == 0, f"no window {caption!r}"
    lines = text.split("\n")
    keys = ["caption", "status", "progress_text", "pos", "range", "button_visible",
            "text_right", "button_right"]
    return dict(zip(keys, lines))


def exit_code(run):
    out, _ = run.communicate(timeout=120)
    return int(out.decode("ascii", "replace").split()[-1])


def finish(inst, run):
    """Lets the stand-in setup end and waits for the chainer, so that no window
    of this test is left for the next one to find."""
    (inst.dir / "release").write_text("")
    try:
        run.communicate(timeout=120)
    except subprocess.TimeoutExpired:
        run.kill()


def slow_package(inst, options):
    shutil.copyfile(TOOLS_DIR / "slow_setup.exe", inst.dir / "slow_setup.exe")
    prereq = ("Slow Runtime", [("SetupFile", "slow_setup.exe"), ("BasicUiCommandLine", ""),
                               ("NoUiCommandLine", ""), ("SearchType1", "5"),
                               ("SearchString1", TEST_KEY + r"\Never")])
    inst.write_ini([("GeneralOptions", [("Options", options), ("ExtractionFolder", "[SETUPEXEDIR]")]),
                    ("PREREQUISITES", [("App1", "Slow Runtime")]), prereq,
                    ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])
    return inst.dir / "run.log"


def test_progress_dialog_shows_the_step_while_the_setup_runs(wine, install):
    inst = install()
    log = slow_package(inst, "b")
    run = inst.start()
    try:
        seen = probe(wine, TITLE, PROGRESS_DIALOG)
        (inst.dir / "release").write_text("")
        assert exit_code(run) == 0
    finally:
        finish(inst, run)
    assert seen["progress_text"].startswith("Installing") and "Slow Runtime" in seen["progress_text"]
    assert (seen["pos"], seen["range"]) == ("1", "1")  # one step of one
    assert seen["button_visible"] == "1"  # Cancel
    assert "Starting installing prerequisites in basic UI mode." in log_events(log)


def test_cancel_ends_the_dialog_at_once_and_the_run_waits_for_the_setup(wine, install):
    inst = install()
    log = slow_package(inst, "b")
    run = inst.start()
    try:
        probe(wine, TITLE, PROGRESS_DIALOG, "cancel")
        # The dialog is gone while the setup still runs; the chainer waits for it.
        gone, _ = wine.run_gui_tool("window_probe.exe", TITLE, "2", PROGRESS_DIALOG)
        assert gone == 1
        assert run.poll() is None
        (inst.dir / "release").write_text("")
        assert exit_code(run) == 0
    finally:
        finish(inst, run)
    assert any(e.startswith("Launching file:") for e in log_events(log))


def test_status_window_while_windows_installer_is_busy(wine, install):
    inst = install()
    slow_package(inst, "b")
    ready = inst.dir / "mutex-ready"
    holder = subprocess.Popen([WINE, TOOLS_DIR / "mutex_holder.exe", "hold",
                               wine.to_windows(ready), "8000"], env=wine.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_for_file(ready), "the mutex holder did not start"
        run = inst.start()
        try:
            seen = probe(wine, TITLE, STATUS_WINDOW)
            assert seen["status"] == "Preparing..."
            assert seen["button_visible"] == "0"  # Skip is never offered
            assert seen["text_right"] == seen["button_right"]  # the text takes its room
        finally:
            finish(inst, run)
    finally:
        holder.kill()


def test_silent_run_shows_no_window(wine, install):
    inst = install()
    slow_package(inst, "q")
    run = inst.start()
    try:
        for control in (STATUS_WINDOW, PROGRESS_DIALOG):
            nothing, _ = wine.run_gui_tool("window_probe.exe", TITLE, "2", control)
            assert nothing == 1
        (inst.dir / "release").write_text("")
        assert exit_code(run) == 0
    finally:
        finish(inst, run)
