"""Store packages and packed Java archives, run by the real chainer under Wine:
Wine has no Windows package manager, so a store package must fail cleanly
(1627, no crash, no hang); a packed JAR carried in the package is unpacked by
the Java runtime carried beside it before the setup that needs it starts."""
import re
import shutil

from test_archive import bundle
from winehelpers import TOOLS_DIR, log_events

MISSING = [("SearchType1", "5"), ("SearchString1", r"HKLM\Software\NoSuchApp")]  # never found


def configure(inst, extract, prereqs):
    inst.write_ini([("GeneralOptions", [("Options", "q"), ("ExtractionFolder", extract)]),
                    ("PREREQUISITES", [(f"App{n}", p[0]) for n, p in enumerate(prereqs, 1)])]
                   + prereqs + [("PREREQ_CHAINER", [("LogFile", inst.win_dir + "\\run.log")])])


def carrying(inst, tmp_path, files):
    """inst's setup.exe carries files; beside it a runtime's stand-in
    unpack200.exe in x\\jre\\bin. The extraction folder x."""
    assert bundle(tmp_path / "setup.exe", files).returncode == 0
    shutil.copyfile(tmp_path / "setup.exe", inst.exe)
    extract = inst.dir / "x"
    (extract / "jre" / "bin").mkdir(parents=True)
    shutil.copyfile(TOOLS_DIR / "unpack200_stub.exe", extract / "jre" / "bin" / "unpack200.exe")
    return extract


def test_store_package_without_package_manager_fails_with_1627(install, tmp_path):
    inst = install()
    package = tmp_path / "App.msix"
    package.write_bytes(b"PK\x03\x04 not a real package")
    assert bundle(tmp_path / "setup.exe", [package]).returncode == 0
    shutil.copyfile(tmp_path / "setup.exe", inst.exe)
    configure(inst, inst.win_dir + "\\x",
              [("App", [("SetupFile", "App.msix"), ("Options", "m")] + MISSING)])
    assert inst.run(timeout=60) == 1  # the mandatory package failed
    events = log_events(inst.dir / "run.log")
    assert any(e.startswith("Store package not installed. Error:0x8") for e in events), events
    assert "Return code of launched file:1627" in events


def test_packed_jar_is_unpacked_before_the_setup_that_needs_it(install, tmp_path):
    inst = install()
    setup = tmp_path / "app-setup.exe"
    shutil.copyfile(TOOLS_DIR / "needs_file.exe", setup)
    pack = tmp_path / "lib.jar.pack"
    pack.write_bytes(b"packed classes")
    extract = carrying(inst, tmp_path, [pack, setup])
    configure(inst, inst.win_dir + "\\x", [
        ("Lib", [("SetupFile", "lib.jar.pack")] + MISSING),
        ("App", [("SetupFile", "app-setup.exe"), ("NoUiCommandLine", "lib.jar")] + MISSING)])
    assert inst.run(timeout=60) == 0
    events = log_events(inst.dir / "run.log")
    win_extract = inst.win_dir + "\\x\\"
    assert "File unpacked:" + win_extract + "lib.jar" in events
    app = events.index("Launching file:" + win_extract + "app-setup.exe")
    assert events[app + 1] == "Return code of launched file:0"
    calls = (extract / "jre" / "bin" / "calls.txt").read_bytes().decode()
    # Written under a fresh name beside the JAR, then renamed.
    assert re.search(re.escape(f'--remove-pack-file "{win_extract}lib.jar.pack" "{win_extract}'
                               'lib.jar.') + r'\d+-0\.unpacking"', calls), calls
    # The JAR goes away with the files the run extracted; the carried runtime stays.
    assert not (extract / "lib.jar").exists() and not (extract / "lib.jar.pack").exists()
    assert (extract / "jre" / "bin" / "unpack200.exe").exists()


def test_a_jar_that_was_there_before_is_neither_replaced_nor_removed(install, tmp_path):
    inst = install()
    pack = tmp_path / "lib.jar.pack"
    pack.write_bytes(b"packed classes")
    extract = carrying(inst, tmp_path, [pack])
    (extract / "lib.jar").write_bytes(b"installed by someone else")
    configure(inst, inst.win_dir + "\\x", [("Lib", [("SetupFile", "lib.jar.pack")] + MISSING)])
    assert inst.run(timeout=60) == 0
    events = log_events(inst.dir / "run.log")
    assert ("A file this run did not unpack is in the way, it stays as it is:"
            + inst.win_dir + "\\x\\lib.jar") in events
    assert (extract / "lib.jar").read_bytes() == b"installed by someone else"
    assert not list(extract.glob("*.unpacking"))
