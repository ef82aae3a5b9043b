"""DLLs left beside setup.exe under the names of system DLLs (a Downloads
folder collects such files) are never loaded, not by the chainer's own calls
nor by the ones Windows makes for its windows. Wine takes its built-in DLLs
unless told otherwise; "n,b" makes it search for them the way Windows searches
for every DLL that is not a KnownDLL, beside the program first."""
import shutil

import pytest

from servers import Nginx
from winehelpers import TEST_DATA, TOOLS_DIR, log_events

# Not version.dll: Wine's own user32.dll imports it, so under "n,b" Wine itself
# loads a planted copy before the program starts. Windows' user32 is a KnownDLL
# that does no such thing; the image check keeps the chainer from importing it.
PLANTED = ("msi", "wininet", "uxtheme", "dwmapi")
NEVER_INSTALLED = "{5E1B9D0C-7A3F-4C62-8D14-0B6E2F9A7C31}"


@pytest.fixture(scope="module")
def web(tmp_path_factory):
    server = Nginx(tmp_path_factory.mktemp("nginx"))
    yield server
    server.stop()


@pytest.mark.parametrize("mode", ["q", "b"])
def test_dlls_planted_beside_setup_never_load(wine, install, web, monkeypatch, mode):
    inst = install()
    for name in PLANTED:
        shutil.copyfile(TEST_DATA / "planted.dll", inst.dir / f"{name}.dll")
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
    monkeypatch.setitem(wine.env, "WINEDLLOVERRIDES",
                        "mscoree,mshtml=;" + ",".join(PLANTED) + "=n,b")

    assert inst.run() == 0
    assert sorted(p.name for p in inst.dir.glob("*.trace")) == []
    events = log_events(log)
    assert events.count("Search result:An acceptable version was found.") == 1
    assert events.count("Download completed succesfully.") == 1
    assert (inst.dir / "record.txt").exists()
