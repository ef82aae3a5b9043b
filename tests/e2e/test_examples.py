"""The configurations in examples/ run as written, apart from what only the
author can fill in: the download addresses point at the local server, the
registry paths and product codes at what the test setups install, and the
log at the test folder. Each is converted and checked by the bundling tool first."""
import shutil
import subprocess

import pytest
from servers import Nginx
from winehelpers import BUILD_DIR, SOURCE_DIR, TEST_DATA, log_events

BUNDLE = BUILD_DIR / "bundle"
TEST_KEY = r"HKLM\Software\Corvane Test"
DOTNET_KEY = r"HKLM\SOFTWARE\Microsoft\NET Framework Setup\NDP\v4\Full"
MSI_PRODUCT = "{6C1D8A52-3B7E-4F0A-9E21-5A3C7D9B1E01}"


def tool(*args):
    return subprocess.run([str(BUNDLE), *map(str, args)], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, timeout=120)


@pytest.fixture(scope="module")
def web(tmp_path_factory):
    server = Nginx(tmp_path_factory.mktemp("nginx"))
    yield server
    server.stop()


@pytest.fixture
def clean_registry(wine):
    def clean():
        for view in (True, False):
            wine.reg_delete(TEST_KEY, view64=view)
            wine.reg_delete(DOTNET_KEY, view64=view)
            wine.reg_delete(r"HKCU\InterbootContext", view64=view)
    clean()
    yield
    clean()


def prepare(inst, example, replacements, setup=None):
    """Writes the example as inst's configuration with the replacements made
    (a download's size and digests come from `bundle hash` of setup); returns the log path."""
    text = (SOURCE_DIR / "examples" / example).read_text(encoding="utf-8")
    log = inst.dir / "run.log"
    replacements = dict(replacements, **{r"C:\ProgramData\ExampleSetup\setup.log":
                                         inst.win_dir + r"\run.log"})
    if setup:
        hashed = tool("hash", setup)
        assert hashed.returncode == 0, hashed.stdout
        lines = [line for line in text.split("\n")
                 if not line.startswith(("ExactSize=", "SHA256=", "MD5="))]
        at = next(i for i, line in enumerate(lines) if line.startswith("Url="))
        text = "\n".join(lines[:at + 1] + hashed.stdout.strip().split("\n") + lines[at + 1:])
    for old, new in replacements.items():
        assert old in text, old
        text = text.replace(old, new)
    source = inst.dir / "setup.txt"
    source.write_text(text, encoding="utf-8")
    assert tool("ini", source, inst.ini).returncode == 0
    source.unlink()
    checked = tool("check", inst.ini)
    assert checked.returncode == 0, checked.stdout
    return log


def test_download_checked_by_size_and_digests_and_found_in_the_registry(
        wine, install, web, clean_registry):
    setup = TEST_DATA / "runtime-a.exe"
    web.add("runtimes/cpp_runtime_x86.exe", setup)
    inst = install()
    log = prepare(inst, "cpp-runtime-download.txt", {
        "https://downloads.example.com/runtimes/cpp_runtime_x86.exe":
            web.url("runtimes/cpp_runtime_x86.exe"),
        r"HKLM\SOFTWARE\Microsoft\VisualStudio\14.0\VC\Runtimes\x86\Version":
            TEST_KEY + r"\RuntimeA\Version",
        "VerMin1=14.38": "VerMin1=1.5"}, setup)
    assert inst.run(timeout=300) == 0
    events = log_events(log)
    assert "Downloaded file was accepted." in events
    assert events.count("Search result:An acceptable version was found.") == 1
    assert wine.reg_query(TEST_KEY + r"\RuntimeA", "Version", view64=False) == "1.5"


def test_release_number_compare_or_version(wine, install, web, clean_registry):
    setup = TEST_DATA / "runtime-b.exe"
    web.add("runtimes/dotnet48_runtime.exe", setup)
    inst = install()
    log = prepare(inst, "dotnet-runtime-registry.txt", {
        "https://downloads.example.com/runtimes/dotnet48_runtime.exe":
            web.url("runtimes/dotnet48_runtime.exe"),
        DOTNET_KEY + r"\Version": TEST_KEY + r"\RuntimeB\Version",
        "VerMin2=4.8": "VerMin2=2.0"}, setup)
    configuration = inst.ini.read_bytes()  # a run with [PREREQ_CHAINER] deletes it
    # A new enough release number: nothing to do.
    wine.reg_add(DOTNET_KEY, "Release", "528040", kind="REG_DWORD", view64=False)
    assert inst.run() == 0
    assert log_events(log)[-2] == "No prerequisite must be installed."
    # An older one: the runtime is downloaded and installed silently, and its
    # version value then satisfies the second search.
    wine.reg_add(DOTNET_KEY, "Release", "528039", kind="REG_DWORD", view64=False)
    inst.ini.write_bytes(configuration)
    assert inst.run(timeout=300) == 0
    assert "Downloaded file was accepted." in log_events(log)
    assert wine.reg_query(TEST_KEY + r"\RuntimeB", "Version", view64=False) == "2.0"


def test_windows_installer_package_from_the_bundle(wine, install, tmp_path, clean_registry):
    msi = tmp_path / "example-runtime.msi"
    shutil.copyfile(TEST_DATA / "msi-runtime.msi", msi)
    inst = install()
    inst.exe.unlink()
    made = tool("--chainer", BUILD_DIR / "chainer.exe", "--out", inst.exe, msi)
    assert made.returncode == 0, made.stdout
    log = prepare(inst, "msi-in-bundle.txt",
                  {"{9A1C4B27-5D3E-4F60-8B12-6E7D2C9A0F31}": MSI_PRODUCT})
    assert tool("check", inst.ini, "--bundle", inst.exe).returncode == 0
    try:
        assert inst.run(timeout=300) == 0
        events = log_events(log)
        assert events.count("Search result:An acceptable version was found.") == 1
        assert wine.reg_query(TEST_KEY + r"\Msi Runtime", "Version", view64=False) == "2.5.0"
    finally:
        wine.wine("msiexec", "/x", MSI_PRODUCT, "/qn", timeout=300)


def test_site_opened_for_a_missing_optional_prerequisite(wine, install, clean_registry):
    inst = install()
    log = prepare(inst, "open-site.txt", {
        "https://www.example.com/database-client/download": "https://example.invalid/client",
        r"HKLM\SOFTWARE\Example\Database Client": TEST_KEY + r"\Database Client"})
    answerer = wine.start_gui_tool("answer_box.exe", "Opening site of Example Database Client",
                                   "ok", "90")
    assert inst.run() == 0
    code, text = wine.finish_gui_tool(answerer)
    assert code == 0 and "install this prerequisite from the web page" in text
    assert "Launching URL:https://example.invalid/client" in log_events(log)
