"""Whole runs with real setups: NSIS installers (for the 64-bit build, a 64-bit
program doing their job) and a Windows Installer package placed beside the
chainer, detected, installed, verified and reported."""
import shutil

import pytest

from winehelpers import SEAMS_EXE, TEST_DATA, log_events

TEST_KEY = r"HKLM\Software\Corvane Test"


def prerequisite(name, setup, search_key, options="", extra=()):
    entries = [("SetupFile", setup), ("NoUiCommandLine", "/S"), ("BasicUiCommandLine", "/S"),
               ("CommandLine", ""), ("Options", options),
               ("SearchType1", "5"), ("SearchString1", search_key)]
    return (name, entries + list(extra))


def configuration(inst, options, prereqs, general_extra=()):
    sections = [("GeneralOptions", [("Options", options), ("ExtractionFolder", "[SETUPEXEDIR]"),
                                    *general_extra]),
                ("PREREQUISITES", [(f"App{n}", p[0]) for n, p in enumerate(prereqs, 1)])]
    sections += prereqs
    sections.append(("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")]))
    inst.write_ini(sections)
    return inst.dir / "run.log"


@pytest.fixture
def clean_registry(wine):
    for view in (True, False):
        wine.reg_delete(TEST_KEY, view64=view)
        wine.reg_delete(r"HKCU\InterbootContext", view64=view)
    yield
    for view in (True, False):
        wine.reg_delete(TEST_KEY, view64=view)
        wine.reg_delete(r"HKCU\InterbootContext", view64=view)


def place(inst, *names):
    for name in names:
        shutil.copyfile(TEST_DATA / name, inst.dir / name)


def installed(wine, name):
    return wine.reg_query(TEST_KEY + "\\" + name, "Version", view64=False)


def test_silent_run_installs_what_is_missing_and_verifies_it(wine, install, clean_registry):
    inst = install()
    place(inst, "runtime-a.exe")
    log = configuration(inst, "q", [prerequisite("RuntimeA", "runtime-a.exe",
                                                 TEST_KEY + r"\RuntimeA")])
    assert inst.run() == 0
    assert installed(wine, "RuntimeA") == "1.5"
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Silent", view64=False) == "yes"
    events = log_events(log)
    setup = inst.win_dir + "\\runtime-a.exe"
    assert events == [
        "Searching for:RuntimeA",
        "Search result:No acceptable version found. It must be installed from package.",
        "Prerequisite selected for install:RuntimeA",
        "Starting installing prerequisites in silent mode.",
        "Launching file:" + setup,
        "Return code of launched file:0",
        "Searching for:RuntimeA",
        "Search result:An acceptable version was found.",
        "Prerequisite selected for install:RuntimeA",
        "After running prerequisites we have:  Reboot was required=false",
        "=====================End of Log=====================",
    ]
    assert not wine.key_exists(r"HKCU\InterbootContext")


def test_present_prerequisite_needs_nothing(wine, install, clean_registry):
    wine.reg_add(TEST_KEY + r"\RuntimeA", "Version", "1.5", view64=False)
    inst = install()
    log = configuration(inst, "q", [prerequisite("RuntimeA", "runtime-a.exe",
                                                 TEST_KEY + r"\RuntimeA")])
    assert inst.run() == 0
    assert log_events(log)[-2:] == ["No prerequisite must be installed.",
                                    "=====================End of Log====================="]


def test_windows_installer_package_through_the_shell(wine, install, clean_registry):
    inst = install()
    place(inst, "msi-runtime.msi")
    product = "{6C1D8A52-3B7E-4F0A-9E21-5A3C7D9B1E01}"
    log = configuration(inst, "q", [("Msi Runtime", [
        ("SetupFile", "msi-runtime.msi"), ("NoUiCommandLine", "/qn"),
        ("SearchType1", "3"), ("SearchString1", product), ("VerMin1", "2.0")])])
    try:
        assert inst.run(timeout=300) == 0
        assert wine.reg_query(TEST_KEY + r"\Msi Runtime", "Version", view64=False) == "2.5.0"
        events = log_events(log)
        assert events.count("Search result:An acceptable version was found.") == 1
    finally:
        wine.wine("msiexec", "/x", product, "/qn", timeout=300)


@pytest.mark.parametrize("options, exit_code, later_runs", [
    ("", 0, True),     # optional: the chain goes on
    ("m", 1, False),   # mandatory: the chain stops and the run fails
    ("mi", 0, False),  # mandatory stops the chain, but a never-searched one is not judged
])
def test_failing_setup(wine, install, clean_registry, options, exit_code, later_runs):
    inst = install()
    place(inst, "runtime-fail.exe", "runtime-b.exe")
    log = configuration(inst, "q", [
        prerequisite("RuntimeFail", "runtime-fail.exe", TEST_KEY + r"\Never", options),
        prerequisite("RuntimeB", "runtime-b.exe", TEST_KEY + r"\RuntimeB")])
    assert inst.run() == exit_code
    assert (installed(wine, "RuntimeB") == "2.0") == later_runs
    assert "Return code of launched file:5" in log_events(log)


def test_restart_code_counts_as_failure(wine, install, clean_registry):
    inst = install()
    place(inst, "runtime-3010.exe")
    log = configuration(inst, "q", [prerequisite("RuntimeRestart", "runtime-3010.exe",
                                                 TEST_KEY + r"\Never", "m")])
    assert inst.run() == 1
    assert "Return code of launched file:3010" in log_events(log)


def test_missing_setup_file_is_a_failed_launch(wine, install, clean_registry):
    inst = install()
    log = configuration(inst, "q", [prerequisite("Ghost", "ghost.exe", TEST_KEY + r"\Ghost", "m")])
    assert inst.run() == 1
    events = log_events(log)
    failed = [e for e in events if e.startswith("Launch failed. Error:")]
    # The system's own text for ERROR_FILE_NOT_FOUND, not the bare number.
    assert len(failed) == 1 and "not found" in failed[0].lower().replace("not find", "not found")
    assert "Return code of launched file:2" in events


def test_detect_only_mode_launches_nothing(wine, install, clean_registry):
    inst = install()
    place(inst, "runtime-a.exe")
    log = configuration(inst, "", [prerequisite("RuntimeA", "runtime-a.exe",
                                                TEST_KEY + r"\RuntimeA")])
    assert inst.run() == 0
    assert installed(wine, "RuntimeA") is None
    events = log_events(log)
    assert not any(e.startswith("Launching file:") for e in events)
    assert "After running prerequisites we have:  Reboot was required=false" in events


def test_silent_and_basic_letters_use_basic_command_lines(wine, install, clean_registry):
    inst = install()
    place(inst, "runtime-a.exe")
    name, entries = prerequisite("RuntimeA", "runtime-a.exe", TEST_KEY + r"\RuntimeA")
    entries = [(k, "/X" if k == "NoUiCommandLine" else v) for k, v in entries]
    log = configuration(inst, "qb", [(name, entries)])
    assert inst.run() == 0
    assert installed(wine, "RuntimeA") == "1.5"  # installed with /S, the basic command line
    assert "Starting installing prerequisites in silent mode." in log_events(log)


def test_return_value_survives_only_a_pending_restart(wine, install, clean_registry):
    inst = install()
    shutil.copyfile(SEAMS_EXE, inst.exe)
    place(inst, "runtime-a.exe", "runtime-b.exe")
    prereqs = [
        prerequisite("RuntimeA", "runtime-a.exe", TEST_KEY + r"\RuntimeA", "",
                     [("RetValPropName", "RET_A")]),
        prerequisite("RuntimeB", "runtime-b.exe", TEST_KEY + r"\RuntimeB", "r",
                     [("RetValPropName", "RET_A")])]
    log = configuration(inst, "q", prereqs)
    assert inst.run() == -1
    assert not inst.ini.exists()  # removed after every run, a pending restart or not
    assert (inst.dir / "restart-requests.txt").read_text().splitlines() == ["restart"]
    assert wine.reg_query(r"HKCU\InterbootContext", "RET_A") == "0"
    events = log_events(log)
    assert events[-5:] == ["Rebooting machine...",
                           "After running prerequisites we have:  Reboot was required=true",
                           "  Reboot was refused=false",
                           "  Reboot in Progress=false",
                           "=====================End of Log====================="]

    # The next run (the package's configuration given again) ends without a
    # restart: the key goes.
    (inst.dir / "restart-requests.txt").unlink()
    configuration(inst, "q", prereqs)
    assert inst.run() == 0
    assert not wine.key_exists(r"HKCU\InterbootContext")


def test_advised_restart_needs_the_prerequisite_found(wine, install, clean_registry):
    inst = install()
    shutil.copyfile(SEAMS_EXE, inst.exe)
    place(inst, "runtime-a.exe", "runtime-b.exe")
    # RuntimeA's setup does not make its search succeed: the advisor says no.
    log = configuration(inst, "q", [
        prerequisite("RuntimeA", "runtime-a.exe", TEST_KEY + r"\Elsewhere", "rR"),
        prerequisite("RuntimeB", "runtime-b.exe", TEST_KEY + r"\RuntimeB", "rR")])
    assert inst.run() == -1
    events = log_events(log)
    assert events.count("Rebooting machine...") == 1
    launched = [e for e in events if e.startswith("Launching file:")]
    assert [e.rsplit("\\", 1)[1] for e in launched] == ["runtime-a.exe", "runtime-b.exe"]
    assert (inst.dir / "restart-requests.txt").read_text().splitlines() == ["restart"]
    assert wine.key_exists(r"HKCU\InterbootContext") is False  # nothing was published


def test_unknown_parent_is_reported_not_fatal(wine, install, clean_registry):
    inst = install()
    place(inst, "runtime-a.exe")
    log = configuration(inst, "q", [prerequisite("RuntimeA", "runtime-a.exe",
                                                 TEST_KEY + r"\RuntimeA", "",
                                                 [("ParentPrereq", "Typo")])])
    assert inst.run() == 0
    assert "Parent prerequisite not found:Typo" in log_events(log)
    assert installed(wine, "RuntimeA") == "1.5"


@pytest.mark.parametrize("answer, exit_code", [("no", 0), ("yes", -1)])
def test_basic_mode_asks_before_restarting(wine, install, clean_registry, answer, exit_code):
    inst = install()
    shutil.copyfile(SEAMS_EXE, inst.exe)
    place(inst, "runtime-a.exe")
    log = configuration(inst, "b", [prerequisite("RuntimeA", "runtime-a.exe",
                                                 TEST_KEY + r"\RuntimeA", "r")])
    answerer = wine.start_gui_tool("answer_box.exe", "Confirmation", answer, "60")
    try:
        code = inst.run()
    finally:
        # Never left waiting: it would answer the next test's box.
        answered, out = wine.finish_gui_tool(answerer)
    assert answered == 0, "no restart question was shown:\n" + (
        log.read_text("utf-16") if log.exists() else "(no log)")
    assert code == exit_code
    assert out.strip().startswith(
        "You must reboot your computer in order to continue the installation.")
    restarted = (inst.dir / "restart-requests.txt").exists()
    assert restarted == (answer == "yes")
    events = log_events(log)
    assert "Starting installing prerequisites in basic UI mode." in events
    refused = "true" if answer == "no" else "false"
    assert f"  Reboot was refused={refused}" in events
    assert wine.key_exists(r"HKCU\InterbootContext") is False


def program_files_x86(wine):
    """Where a 32-bit setup puts its files on this prefix."""
    x86 = wine.drive_c / "Program Files (x86)"
    return x86 if x86.is_dir() else wine.drive_c / "Program Files"


# Quotes, blanks, an equals sign in quotes and a run of text far beyond MAX_PATH:
# the setup must receive them exactly as configured.
AWKWARD_ARGUMENTS = ('/S "C:\\Some Folder\\with blanks" /LOG="x y.log" '
                     'PROP="va""lue" /LONG=' + "abcdefghij" * 70)


def test_quoted_and_long_arguments_reach_the_setup_intact(wine, install, clean_registry):
    inst = install()
    place(inst, "runtime-a.exe")
    record = program_files_x86(wine) / "CorvaneTest" / "RuntimeA" / "installed.txt"
    if record.exists():
        record.unlink()
    name, entries = prerequisite("RuntimeA", "runtime-a.exe", TEST_KEY + r"\RuntimeA")
    entries = [(k, AWKWARD_ARGUMENTS if k == "NoUiCommandLine" else v) for k, v in entries]
    configuration(inst, "q", [(name, entries)])
    assert inst.run() == 0
    assert installed(wine, "RuntimeA") == "1.5"
    lines = record.read_bytes().decode("latin-1").splitlines()
    command = lines[1][len("command line: "):]
    setup = inst.win_dir + "\\runtime-a.exe"
    assert command.endswith(" " + AWKWARD_ARGUMENTS)
    assert command[:-len(AWKWARD_ARGUMENTS)].strip().strip('"').lower() == setup.lower()


def test_arguments_beyond_the_setups_own_buffer_are_not_cut(wine, install, clean_registry):
    # The stand-in setups (NSIS, and its 64-bit twin alike) keep only 1,024
    # characters of their command line; exit_with records all of it.
    from winehelpers import TOOLS_DIR
    inst = install()
    shutil.copyfile(TOOLS_DIR / "exit_with.exe", inst.dir / "tool-setup.exe")
    record = inst.dir / "record.txt"
    arguments = f'0 "{inst.win_dir}\\record.txt" "quoted part" /X=' + "0123456789" * 2000
    configuration(inst, "q", [("Tool", [
        ("SetupFile", "tool-setup.exe"), ("NoUiCommandLine", arguments), ("Options", "m"),
        ("SearchType1", "5"), ("SearchString1", TEST_KEY + r"\Tool")])])
    assert inst.run() == 1  # it succeeds but stays undetected: the mandatory check fails
    command = record.read_bytes().decode("utf-8").splitlines()[0]
    assert command.endswith(" " + arguments)


def interboot_values(wine):
    """(name, data) of every value under HKCU\\InterbootContext."""
    proc = wine.wine("reg", "query", r"HKCU\InterbootContext")
    values = []
    for line in proc.stdout.decode("utf-8", "replace").splitlines():
        parts = line.strip().split("    ")
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values.append((parts[0], parts[2] if len(parts) > 2 else ""))
    return values


@pytest.mark.parametrize("setup, options, exit_code", [
    ("runtime-a.exe", "", 0),
    ("runtime-fail.exe", "m", 1),
    ("runtime-a.exe", "r", -1),  # the restart keeps the published value
], ids=["success", "mandatory-failure", "restart"])
def test_non_ansi_return_value_name(wine, install, clean_registry, setup, options, exit_code):
    # The store receives the name in the ANSI code page, characters it lacks
    # replaced: the run must go on as with any other name.
    inst = install()
    shutil.copyfile(SEAMS_EXE, inst.exe)
    place(inst, setup)
    log = configuration(inst, "q", [prerequisite(
        "Runtime \u2603", setup, TEST_KEY + r"\Never", options,
        [("RetValPropName", "RET_\u2603\u4e2d\U0001F600")])])
    assert inst.run() == exit_code
    expected_code = "0" if setup == "runtime-a.exe" else "5"
    assert "Return code of launched file:" + expected_code in log_events(log)
    if exit_code == -1:
        values = interboot_values(wine)
        assert len(values) == 1 and values[0][0].startswith("RET_")
        assert values[0][1] == expected_code
    else:
        assert not wine.key_exists(r"HKCU\InterbootContext")
