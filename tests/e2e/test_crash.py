"""A run that crashes: a fault on the installer launcher's worker thread
(only the test build of the executable has one, CHAINER_FAKE_STORE_FAULT)
ends in the error report with the fault and its stack trace, a log line, the
removal of the extracted files and a non-zero exit code; silent runs show
no report. CHAINER_SCREENSHOTS=<folder> keeps a picture of the report."""
import os
import subprocess

import pytest

from test_archive import bundle
from winehelpers import TOOLS_DIR, WINE, X64, log_events, stripped_seams

TEST_KEY = r"HKLM\Software\Corvane Test"
EXIT_CRASHED = 3
FAULT = "[EXCEPTION_UNHANDLED] [SEH_AV_READ_NULLPTR] ACCESS_VIOLATION (0xc0000005) at address [0x"
if os.environ.get("CHAINER_EMULATED"):
    # qemu-i386 hands Wine every access violation as an illegal instruction.
    FAULT = "[EXCEPTION_UNHANDLED] [SEH_GENERIC] ILLEGAL_INSTRUCTION (0xc000001d) at address [0x"


def crashing_package(inst, tmp_path, options):
    """setup.exe carrying a store package whose installation faults."""
    package = tmp_path / "app.msix"
    package.write_bytes(b"not really a package")
    # The bundle goes after the image, where the unstripped test build keeps
    # its symbol table.
    seams = stripped_seams(tmp_path / "seams.exe")
    built = bundle(tmp_path / "setup.exe", [package], chainer=seams)
    assert built.returncode == 0, built.stderr
    inst.exe.write_bytes((tmp_path / "setup.exe").read_bytes())
    app = ("App", [("SetupFile", "app.msix"), ("BasicUiCommandLine", ""),
                   ("NoUiCommandLine", ""), ("SearchType1", "5"),
                   ("SearchString1", TEST_KEY + r"\Never")])
    inst.write_ini([("GeneralOptions", [("Options", options),
                                        ("ExtractionFolder", inst.win_dir + "\\unpacked")]),
                    ("PREREQUISITES", [("App1", "App")]), app,
                    ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])
    return inst.dir / "run.log"


@pytest.fixture
def faulting_store(wine):
    wine.env["CHAINER_FAKE_STORE_FAULT"] = "1"
    yield
    del wine.env["CHAINER_FAKE_STORE_FAULT"]


@pytest.mark.parametrize("options", ["b", "q"], ids=["basic", "silent"])
def test_fault_on_the_launcher_worker_is_reported_logged_and_cleaned_up(
        wine, install, tmp_path, faulting_store, options):
    inst = install()
    log = crashing_package(inst, tmp_path, options)
    if options == "q":
        # A report here would wait for a user who is not there.
        assert inst.run(timeout=90) == EXIT_CRASHED
    else:
        shots = os.environ.get("CHAINER_SCREENSHOTS")
        if shots:  # Wine draws the caption itself
            wine.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
        run = subprocess.Popen([WINE, TOOLS_DIR / "exitcode.exe", inst.win_exe],
                               env=wine.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if shots:
            wine.run_gui_tool("screenshot.exe", "Error", wine.to_windows(
                os.path.join(shots, "error-report.bmp")), "60")
        code, text = wine.run_gui_tool("window_probe.exe", "Error", "60", "501")
        assert code == 0, "no error report"
        assert "Setup stopped because of an unexpected error." in text  # its main text
        code, text = wine.run_gui_tool("window_probe.exe", "Error", "60", "502", "cancel")
        details = text.split("\n")[8:]
        assert details[0].startswith(FAULT), text
        assert any(f"*** Stack Trace ({'x64' if X64 else 'x86'}) ***" in line for line in details)
        assert any("MODULE_BASE_ADDRESS" in line for line in details)
        out, _ = run.communicate(timeout=90)
        assert int(out.split()[-1]) == EXIT_CRASHED
    events = log_events(log)
    fault_lines = [e for e in events if e.startswith("Unhandled exception:")]
    assert len(fault_lines) == 1 and fault_lines[0].startswith("Unhandled exception:" + FAULT)
    assert events[-1] == fault_lines[0]
    assert not (inst.dir / "unpacked" / "app.msix").exists()
    assert (inst.dir / "store-installs.txt").exists()  # the fault came from the store worker
