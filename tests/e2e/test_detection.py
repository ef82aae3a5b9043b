"""Detection as a run logs it: outcomes, operating-system lists, parents and
children, prerequisites that are never searched."""
import pytest

from winehelpers import log_events

TEST_KEY = r"HKLM\Software\Corvane Test"
NT_KEY = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion"


def write_config(inst, prereqs, options=""):
    sections = [("GeneralOptions", [("Options", options)]),
                ("PREREQUISITES", [(f"App{n}", p[0]) for n, p in enumerate(prereqs, 1)])]
    sections += prereqs
    sections.append(("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")]))
    inst.write_ini(sections)
    return inst.dir / "run.log"


def prereq(name, source_key="Url", source="http://127.0.0.1:9/x.exe", search=None, **keys):
    entries = [(source_key, source)]
    if search:
        entries += [("SearchType1", "5"), ("SearchString1", search)]
    entries += list(keys.items())
    return (name, entries)


@pytest.fixture
def test_key(wine):
    wine.reg_delete(TEST_KEY, view64=False)
    yield
    wine.reg_delete(TEST_KEY, view64=False)


def test_each_source_kind_gives_its_outcome(wine, install, test_key):
    wine.reg_add(TEST_KEY + r"\Present", "Version", "1", view64=False)
    inst = install()
    log = write_config(inst, [
        prereq("Present", search=TEST_KEY + r"\Present"),
        prereq("FromPackage", "SetupFile", "p.exe", search=TEST_KEY + r"\Missing"),
        prereq("ToDownload", search=TEST_KEY + r"\Missing"),
        prereq("BySite", "OpenSite", "http://127.0.0.1:9/", search=TEST_KEY + r"\Missing"),
    ])
    assert inst.run() == 0
    events = log_events(log)
    results = [e for e in events if e.startswith("Search result:")]
    assert results == [
        "Search result:An acceptable version was found.",
        "Search result:No acceptable version found. It must be installed from package.",
        "Search result:No acceptable version found. It must be downloaded.",
        "Search result:No acceptable version found. It must be downloaded manually from a site.",
    ]
    selected = [e for e in events if e.startswith("Prerequisite selected for install:")]
    assert selected == ["Prerequisite selected for install:FromPackage",
                        "Prerequisite selected for install:ToDownload",
                        "Prerequisite selected for install:BySite"]


def test_operating_system_lists(wine, install, test_key):
    # A new 64-bit prefix is Windows 7 SP1 x64.
    inst = install()
    log = write_config(inst, [
        prereq("Not on 7", WinNT64Versions="Windows 7 x64, Windows 8 x64"),
        prereq("Not on 7 SP1", WinNT64Versions="Windows 7 SP1 x64"),
        prereq("Elsewhere", WinNT64Versions="Windows 10 x64, Windows 11 x64"),
        prereq("Only 32-bit list", WinNTVersions="Windows 7 x86"),
        prereq("All versions", WinNT64Versions="Windows XP/Vista/Windows 7/Windows 8 x64/"
                                               "Windows 8.1 x64/Windows 10 x64/Windows 11 x64"),
    ])
    assert inst.run() == 0
    events = log_events(log)
    wrong = [e for e in events if e.startswith("Wrong OS or Os language for:")]
    assert wrong == ["Wrong OS or Os language for:Not on 7",
                     "Wrong OS or Os language for:Not on 7 SP1",
                     "Wrong OS or Os language for:All versions"]
    assert "Searching for:Elsewhere" in events and "Searching for:Only 32-bit list" in events


def test_registry_decides_which_windows_it_is(wine, install, test_key):
    saved = {name: wine.reg_query(NT_KEY, name) for name in
             ("CurrentMajorVersionNumber", "CurrentMinorVersionNumber", "CurrentBuildNumber")}
    try:
        wine.reg_add(NT_KEY, "CurrentMajorVersionNumber", 10, "REG_DWORD")
        wine.reg_add(NT_KEY, "CurrentMinorVersionNumber", 0, "REG_DWORD")
        wine.reg_add(NT_KEY, "CurrentBuildNumber", "22621")
        inst = install()
        log = write_config(inst, [prereq("Not on 11", WinNT64Versions="Windows 11 x64"),
                                  prereq("Not on 7", WinNT64Versions="Windows 7 x64")])
        assert inst.run() == 0
        wrong = [e for e in log_events(log) if e.startswith("Wrong OS")]
        assert wrong == ["Wrong OS or Os language for:Not on 11"]
    finally:
        for name, value in saved.items():
            if value is None:
                wine.reg_delete(NT_KEY, name)
            elif name == "CurrentBuildNumber":
                wine.reg_add(NT_KEY, name, value)
            else:
                wine.reg_add(NT_KEY, name, int(value, 16), "REG_DWORD")


def test_parent_and_children_follow_each_other(wine, install, test_key):
    wine.reg_add(TEST_KEY + r"\Parent Present", "Version", "1", view64=False)
    inst = install()
    log = write_config(inst, [
        prereq("Parent", search=TEST_KEY + r"\Missing"),
        prereq("Child", search=TEST_KEY + r"\Missing", ParentPrereq="Parent"),
        prereq("Parent Present", search=TEST_KEY + r"\Parent Present"),
        prereq("Orphan", search=TEST_KEY + r"\Missing", ParentPrereq="Parent Present"),
    ])
    assert inst.run() == 0
    selected = [e for e in log_events(log) if e.startswith("Prerequisite selected")]
    # Selecting Parent selects Child at once; Orphan's present parent stays unselected.
    assert selected == ["Prerequisite selected for install:Parent",
                        "Prerequisite selected for install:Child",
                        "Prerequisite selected for install:Orphan"]


def test_never_searched_prerequisite_is_always_missing(wine, install, test_key):
    wine.reg_add(TEST_KEY + r"\Present", "Version", "1", view64=False)
    inst = install()
    log = write_config(inst, [prereq("Skipped", search=TEST_KEY + r"\Present", Options="i")])
    assert inst.run() == 0
    assert "Search result:No acceptable version found. It must be downloaded." in log_events(log)
