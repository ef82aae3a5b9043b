"""DLLs left beside setup.exe under the names of system DLLs (a Downloads
folder collects such files) are never loaded: the program imports kernel32
and msvcrt alone at start, copies itself into a fresh folder of its own and
runs from there. Wine takes its built-in DLLs unless told otherwise; "n,b"
makes it search for them the way Windows searches for every DLL that is not a
KnownDLL, beside the program first."""
import shutil

import pytest

from servers import Nginx
from winehelpers import TEST_DATA, TOOLS_DIR, log_events

# version.dll: a program that imports it, or imports a system DLL that does
# (Wine's user32 does), at start loads a planted copy before any of its code runs.
PLANTED = ("version", "msi", "wininet", "uxtheme", "dwmapi", "mpr", "dbghelp")
NEVER_INSTALLED = "{5E1B9D0C-7A3F-4C62-8D14-0B6E2F9A7C31}"


def plant(folder):
    for name in PLANTED:
        shutil.copyfile(TEST_DATA / "planted.dll", folder / f"{name}.dll")


def traces(folder):
    return sorted(p.name.lower() for p in folder.glob("*.trace"))


@pytest.fixture(scope="module")
def web(tmp_path_factory):
    server = Nginx(tmp_path_factory.mktemp("nginx"))
    yield server
    server.stop()


@pytest.fixture
def prefer_planted(wine, monkeypatch):
    monkeypatch.setitem(wine.env, "WINEDLLOVERRIDES",
                        "mscoree,mshtml=;" + ",".join(PLANTED) + "=n,b")


def test_planting_is_seen_by_a_program_that_imports_version(wine, install, prefer_planted):
    # Without this the test below would prove nothing in this prefix.
    inst = install()
    plant(inst.dir)
    shutil.copyfile(TEST_DATA / "planted.dll", inst.dir / "version.dll")
    shutil.copyfile(TOOLS_DIR / "imports_version.exe", inst.dir / "control.exe")
    wine.run_exit_code(wine.to_windows(inst.dir / "control.exe"))
    assert "version.dll.trace" in traces(inst.dir)


@pytest.mark.parametrize("mode", ["q", "b"])
def test_dlls_planted_beside_setup_never_load(wine, install, web, prefer_planted, mode):
    inst = install()
    plant(inst.dir)
    shutil.copyfile(TOOLS_DIR / "versioned.exe", inst.dir / "versioned.exe")
    web.add("planting/setup.exe", (TOOLS_DIR / "exit_with.exe").read_bytes())
    record = f'0 "{inst.win_dir}\\record.txt"'
    log = inst.dir / "run.log"
    inst.write_ini([
        ("GeneralOptions", [("Options", mode), ("DownloadFolder", inst.win_dir + "\\downloads")]),
        ("PREREQUISITES", [("App1", "Versioned"), ("App2", "Product")]),
        # A file version that is found, so nothing is installed for it.
        ("Versioned", [("SetupFile", "absent.exe"), ("SearchType1", "0"),
                       ("SearchString1", inst.win_dir + "\\versioned.exe"), ("VerMin1", "2.5")]),
        # A product search (msi.dll) that finds nothing, then a download (wininet.dll).
        ("Product", [("Url", web.url("planting/setup.exe")), ("NoUiCommandLine", record),
                     ("BasicUiCommandLine", record), ("SearchType1", "3"),
                     ("SearchString1", NEVER_INSTALLED)]),
        ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])

    assert inst.run() == 0
    assert traces(inst.dir) == []
    events = log_events(log)
    assert events.count("Search result:An acceptable version was found.") == 1
    assert events.count("Download completed succesfully.") == 1
    assert not any(e.startswith("Running in place") for e in events)
    assert (inst.dir / "record.txt").exists()


def test_a_switch_naming_another_program_is_refused(wine, install):
    # Believed, it would make the other program's folder this run's own: its
    # configuration read, its files cleaned up.
    victim = install(folder=wine.drive_c / "tests" / "refused_victim")
    shutil.copyfile(TOOLS_DIR / "exit_with.exe", victim.exe)
    victim.write_ini([("PREREQ_CHAINER", [("LogFile", victim.win_dir + "\\victim.log")])])
    inst = install()
    inst.write_ini([("GeneralOptions", [("Options", "q")]),
                    ("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])

    assert inst.run(arguments=f'/CleanRoomOriginal="{victim.win_exe}"') == 0
    assert "Refused the original program named on the command line: " + victim.win_exe in \
        log_events(inst.dir / "run.log")
    assert not (victim.dir / "victim.log").exists()
    assert victim.exe.exists() and victim.ini.exists()
