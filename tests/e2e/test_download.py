"""Whole runs that download their prerequisites from real servers (nginx, an
FTP server, an authenticating proxy), check them, install them and clean up.
The setups are exit_with.exe, which records how and where it was started."""
import hashlib
import shutil
import time
import struct

import pytest

from servers import (PASSWORD, USER, CuttingRelay, FtpServer, Nginx, Tinyproxy, free_port,
                     md5, sha256)
from winehelpers import TOOLS_DIR, log_events

NEVER = r"HKLM\Software\Corvane Test\Never"  # a search that never finds anything
SETUP = (TOOLS_DIR / "exit_with.exe").read_bytes()
TITLE = "Corvane Prerequisite Chainer Setup"
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
ROOT_CERTIFICATES = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates"
CERT_CERT_PROP_ID = 32


@pytest.fixture(scope="module")
def web(tmp_path_factory):
    server = Nginx(tmp_path_factory.mktemp("nginx"))
    yield server
    server.stop()


def prereq(name, url, record, options="", key="Url", **keys):
    command = f'0 "{record}"'
    entries = [(key, url), ("NoUiCommandLine", command), ("BasicUiCommandLine", command),
               ("Options", options), ("SearchType1", "5"), ("SearchString1", NEVER)]
    return (name, entries + list(keys.items()))


class Run:
    """One installation folder: its configuration, the run, what it left."""

    def __init__(self, inst):
        self.inst = inst
        self.downloads = inst.dir / "downloads"
        self.record = inst.win_dir + "\\record.txt"
        self.log = inst.dir / "run.log"

    def configure(self, mode, prereqs, keep_files=None):
        general = [("Options", mode), ("DownloadFolder", self.inst.win_dir + "\\downloads")]
        if keep_files:
            general.append(("KeepFiles", keep_files))
        self.inst.write_ini([("GeneralOptions", general),
                             ("PREREQUISITES", [(f"App{n}", p[0]) for n, p in enumerate(prereqs, 1)]),
                             *prereqs,
                             ("PREREQ_CHAINER", [("LogFile", self.inst.win_dir + "\\run.log")])])

    def start(self, mode, prereqs, keep_files=None):
        self.configure(mode, prereqs, keep_files)
        return self.inst.start()

    def run(self, mode, prereqs, keep_files=None):
        self.configure(mode, prereqs, keep_files)
        return self.inst.run()

    def launched_from(self):
        """The folder of every setup start, in order."""
        path = self.inst.dir / "record.txt"
        if not path.exists():
            return []
        return path.read_text("utf-8", "replace").replace("\r", "").splitlines()[1::2]

    def events(self):
        return log_events(self.log)


@pytest.fixture
def run(install):
    return Run(install())


def exit_code(proc, timeout=120):
    out, _ = proc.communicate(timeout=timeout)
    return int(out.decode("ascii", "replace").split()[-1])


@pytest.mark.parametrize("keep", ["complete", "minimum"])
def test_silent_chain_downloads_two_prerequisites_and_installs_them(web, run, keep):
    web.add("dl/setup.exe", SETUP)
    web.add("any/name.bin", SETUP)
    run.downloads.mkdir()
    (run.downloads / "planted.txt").write_text("not the chainer's")
    code = run.run("q", [
        prereq("Redist", web.url("any/name.bin"), run.record, Folder="redist?vc.exe"),
        prereq("Runtime", web.url("dl/setup.exe?lang=en"), run.record, MD5=md5(SETUP).upper()),
    ], keep)
    assert code == 0
    assert run.launched_from() == [run.inst.win_dir + "\\downloads\\redist",
                                   run.inst.win_dir + "\\downloads"]
    assert ("/dl/setup.exe?lang=en", "-", 200) in web.requests()
    events = run.events()
    assert events.count("Download completed succesfully.") == 2
    assert events.count("Downloaded file was accepted.") == 2
    kept = keep == "complete"
    assert (run.downloads / "redist" / "vc.exe").exists() == kept
    assert (run.downloads / "setup.exe").exists() == kept
    assert (run.downloads / "redist").exists() == kept  # emptied and created by the run
    assert (run.downloads / "planted.txt").read_text() == "not the chainer's"


@pytest.mark.parametrize("digest", ["MD5", "SHA256"])
def test_a_file_of_the_right_size_but_another_digest_is_downloaded_again(web, run, digest):
    web.add(f"stale/{digest}/setup.exe", SETUP)
    run.downloads.mkdir()
    (run.downloads / "setup.exe").write_bytes(bytes(len(SETUP)))  # a stale or planted file
    value = md5(SETUP) if digest == "MD5" else sha256(SETUP)
    code = run.run("q", [prereq("Runtime", web.url(f"stale/{digest}/setup.exe"), run.record,
                                ExactSize=str(len(SETUP)), **{digest: value})], "complete")
    assert code == 0
    assert (f"/stale/{digest}/setup.exe", "-", 200) in web.requests()
    assert "Downloaded file was accepted." in run.events()
    assert run.launched_from() == [run.inst.win_dir + "\\downloads"]
    assert (run.downloads / "setup.exe").read_bytes() == SETUP


def test_download_cut_twice_resumes_and_matches_its_digests(web, run):
    web.add("cut/setup.exe", SETUP)
    relay = CuttingRelay(web.http_port, after=60000, cuts=2)
    try:
        code = run.run("q", [prereq("Runtime", f"http://127.0.0.1:{relay.port}/cut/setup.exe",
                                    run.record, MD5=md5(SETUP), SHA256=sha256(SETUP))])
    finally:
        relay.stop()
    assert code == 0
    assert "Downloaded file was accepted." in run.events()
    assert len(run.launched_from()) == 1
    ranges = [r for uri, r, _ in web.requests() if uri == "/cut/setup.exe"]
    assert ranges[0] == "-" and len(ranges) == 3
    offsets = [int(r[len("bytes="):-1]) for r in ranges[1:] if r.startswith("bytes=")]
    assert len(offsets) == 2 and 0 < offsets[0] < offsets[1] < len(SETUP)


@pytest.mark.parametrize("case, statuses", [
    ("longer", [416, 200]),       # the server says its file is shorter than the part
    ("other-bytes", [416, 200]),  # complete, but fails the MD5
    ("norange", [200, 200]),      # the range is ignored and nothing would follow
    ("other-file", [206, 200]),   # an earlier, other file's start: continued, fails the MD5
])
def test_unresumable_part_fetched_anew(web, run, case, statuses):
    """A ".part" file the server shows can never be continued is discarded and
    the file fetched from the start in the same run."""
    part = {"longer": SETUP + b"tail", "other-bytes": bytes(len(SETUP)),
            "norange": SETUP[:-1] + b"x", "other-file": bytes(len(SETUP) // 2)}[case]
    path = f"{'norange' if case == 'norange' else 'resume'}/{case}.exe"
    web.add(path, SETUP)
    run.downloads.mkdir()
    (run.downloads / f"{case}.exe.part").write_bytes(part)
    assert run.run("q", [prereq("Runtime", web.url(path), run.record, MD5=md5(SETUP),
                                SHA256=sha256(SETUP))], "complete") == 0
    requests = [(r, status) for uri, r, status in web.requests() if uri == "/" + path]
    assert requests == [(f"bytes={len(part)}-", statuses[0]), ("-", statuses[1])]
    assert (run.downloads / f"{case}.exe").read_bytes() == SETUP
    assert not (run.downloads / f"{case}.exe.part").exists()
    assert "Downloaded file was accepted." in run.events()
    assert run.launched_from() == [run.inst.win_dir + "\\downloads"]


WRONG_SHA256 = "0" * 64
WRONG_MD5 = "0" * 32


@pytest.mark.parametrize("keys, line", [
    ({"SHA256": sha256(SETUP).upper()}, "Downloaded file was accepted."),
    ({"SHA256": WRONG_SHA256}, "Downloaded file was rejected.(Invalid SHA-256)."),
    ({"MD5": md5(SETUP), "SHA256": WRONG_SHA256}, "Downloaded file was rejected.(Invalid SHA-256)."),
    ({"MD5": WRONG_MD5, "SHA256": sha256(SETUP)}, "Downloaded file was rejected.(Invalid size or MD5)."),
    ({"SHA256": sha256(SETUP)[:63]}, "Downloaded file was rejected.(SHA256 in the configuration is "
                                     "not 64 hexadecimal digits)."),
])
def test_sha256_beside_md5_decides_the_acceptance(web, run, keys, line):
    web.add("sha/setup.exe", SETUP)
    assert run.run("q", [prereq("Runtime", web.url("sha/setup.exe"), run.record, **keys)]) == 0
    events = run.events()
    assert events[events.index("Download completed succesfully.") + 1] == line
    accepted = line == "Downloaded file was accepted."
    assert len(run.launched_from()) == (1 if accepted else 0)


def test_second_of_three_rejected_keeps_the_first_and_never_asks_for_the_third(web, run):
    for name in ("one", "two", "three"):
        web.add(f"three/{name}.exe", SETUP)
    code = run.run("q", [
        prereq("One", web.url("three/one.exe"), run.record),
        prereq("Two", web.url("three/two.exe"), run.record, MD5=md5(SETUP)[:31]),
        prereq("Three", web.url("three/three.exe"), run.record),
    ], "complete")
    assert code == 0  # none of them is mandatory
    assert (run.downloads / "one.exe").exists()
    assert not (run.downloads / "two.exe").exists()
    assert "/three/three.exe" not in [uri for uri, _, _ in web.requests()]
    assert "Downloaded file was rejected.(Invalid size or MD5)." in run.events()
    assert run.launched_from() == [run.inst.win_dir + "\\downloads"]  # One only


@pytest.mark.parametrize("path, options, exit_expected, later_installed", [
    ("missing/setup.exe", "", 0, True),  # optional: logged and skipped
    ("gone/setup.exe", "", 0, True),     # 410 like 404
    ("busy/setup.exe", "", 0, True),     # 503: the status is named, no error page kept
    ("missing/setup.exe", "m", 1, False),
    ("size/setup.exe", "m", 1, False),   # ExactSize one byte off
])
def test_failed_download(web, run, path, options, exit_expected, later_installed):
    web.add("size/setup.exe", SETUP)
    web.add("later/setup.exe", SETUP)
    code = run.run("q", [
        prereq("First", web.url(path), run.record, options, ExactSize=str(len(SETUP) + 1)),
        prereq("Later", web.url("later/setup.exe"), run.record),
    ])
    assert code == exit_expected
    assert (len(run.launched_from()) == 1) == later_installed
    failures = [e for e in run.events() if e.startswith("Download failed. Error:")]
    code = {"size": 0xE0000023, "busy": 0xE0010000 + 503}.get(path.split("/")[0], 0xE0000018)
    assert failures == [f"Download failed. Error:{code}"]
    assert ("The server answered with HTTP status 503." in run.events()) == path.startswith("busy")


def test_a_refused_connection_is_logged_in_words(run):
    """WinINet's errors have no text in the system's message table; the log
    takes wininet.dll's own instead of a bare number (12029 here)."""
    url = f"http://127.0.0.1:{free_port()}/setup.exe"  # nothing listens there
    assert run.run("q", [prereq("Net", url, run.record)]) == 0
    failures = [e for e in run.events() if e.startswith("Download failed. Error:")]
    assert len(failures) == 1, run.events()
    text = failures[0][len("Download failed. Error:"):]
    assert "connect" in text.lower() and not text.isdigit()


def test_file_source_in_capitals_starts_in_place(wine, run):
    folder = run.inst.dir / "my setups"
    folder.mkdir()
    shutil.copyfile(TOOLS_DIR / "exit_with.exe", folder / "exit_with.exe")
    url = "FILE:///" + (run.inst.win_dir + "/my%20setups/exit_with.exe").replace("\\", "/")
    assert run.run("q", [prereq("Local", url, run.record)]) == 0
    assert run.launched_from() == [run.inst.win_dir + "\\my setups"]
    assert not any(e.startswith("Starting download of:") for e in run.events())


def test_open_site_in_silent_mode_logs_and_shows_no_box(run):
    # A box would wait for ever: the run ending is the check that none came.
    code = run.run("q", [prereq("Site", "https://example.invalid/get", run.record,
                                key="OpenSite")])
    assert code == 0
    assert "Launching URL:https://example.invalid/get" in run.events()


def test_cancel_during_a_slow_download_installs_nothing_and_keeps_the_part(wine, web, run):
    web.add("slow/big.exe", SETUP * 8)
    web.add("after/setup.exe", SETUP)
    proc = run.start("b", [prereq("Big", web.url("slow/big.exe"), run.record, "m"),
                           prereq("After", web.url("after/setup.exe"), run.record)])
    try:
        # Cancel once data has arrived, so that keeping the ".part" is what counts.
        part = run.downloads / "big.exe.part"
        deadline = time.monotonic() + 60
        while not (part.exists() and part.stat().st_size > 0) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert part.exists() and part.stat().st_size > 0
        probe, _ = wine.run_gui_tool("window_probe.exe", TITLE, "60", "1034", "cancel")
        assert probe == 0
        assert exit_code(proc) == 0  # a cancelled basic run is no failed run
    finally:
        proc.kill()
    assert "Download was canceled." in run.events()
    assert run.launched_from() == []
    assert (run.downloads / "big.exe.part").stat().st_size > 0
    assert "/after/setup.exe" not in [uri for uri, _, _ in web.requests()]


@pytest.fixture
def proxy(wine, tmp_path):
    server = Tinyproxy(tmp_path / "proxy")
    wine.reg_add(INTERNET_SETTINGS, "ProxyEnable", 1, "REG_DWORD")
    wine.reg_add(INTERNET_SETTINGS, "ProxyServer", f"127.0.0.1:{server.port}")
    yield server
    wine.reg_add(INTERNET_SETTINGS, "ProxyEnable", 0, "REG_DWORD")
    wine.reg_delete(INTERNET_SETTINGS, "ProxyServer")
    server.stop()


@pytest.mark.parametrize("via", ["server", "proxy"])
@pytest.mark.parametrize("mode", ["b", "q"])
def test_credentials_asked_in_basic_mode_and_a_clear_failure_in_silent(wine, web, run, request,
                                                                       via, mode):
    path = "private/setup.exe" if via == "server" else "open/setup.exe"
    web.add(path, SETUP)
    if via == "proxy":
        request.getfixturevalue("proxy")
    # Mandatory only where it fails: the search never finds what a setup installed.
    proc = run.start(mode, [prereq("Guarded", web.url(path), run.record, "m" if mode == "q" else "")])
    try:
        if mode == "b":
            answered, message = wine.run_gui_tool("answer_login.exe", "Connect to 127.0.0.1",
                                                  USER, PASSWORD)
            assert answered == 0
            if via == "server":
                assert "Corvane Downloads" in message  # the realm
        code = exit_code(proc)
    finally:
        proc.kill()
    events = run.events()
    if mode == "b":
        assert code == 0
        assert len(run.launched_from()) == 1
    else:
        assert code == 1
        assert f"Download failed. Error:{0xE0000012}" in events
        assert ("The server or proxy requires a user name and password; a silent run does not "
                "ask for them.") in events


@pytest.mark.parametrize("password, resumed", [(PASSWORD, True), ("wrong", False)])
def test_ftp_passive_resume_and_a_refused_login(run, tmp_path, password, resumed):
    ftp = FtpServer(tmp_path / "ftp")
    (ftp.root / "setup.exe").write_bytes(SETUP)
    run.downloads.mkdir()
    (run.downloads / "setup.exe.part").write_bytes(SETUP[:70000])
    try:
        code = run.run("q", [prereq("Ftp", ftp.url("setup.exe", password), run.record,
                                    "" if resumed else "m", MD5=md5(SETUP))])
    finally:
        ftp.stop()
    if resumed:
        assert code == 0
        assert "REST 70000" in ftp.commands and "PASV" in ftp.commands
        assert len(run.launched_from()) == 1
    else:
        assert code == 1
        assert not any(c.startswith("RETR") for c in ftp.commands)
        assert any(e.startswith("Download failed. Error:") for e in run.events())


def test_untrusted_https_certificate_fails_the_silent_run(web, run):
    web.add("tls/setup.exe", SETUP)
    assert run.run("q", [prereq("Tls", web.url("tls/setup.exe", https=True), run.record,
                                "m")]) == 1
    events = run.events()
    failures = [i for i, e in enumerate(events) if e.startswith("Download failed. Error:")]
    assert failures, events
    # wininet.dll's text where its message table has one; Wine's has none for
    # 12044 and 12045, and the number stays. The next line says it in words.
    text = events[failures[0]].split(":", 1)[1]
    assert text in {"12044", "12045"} or not text.isdigit(), text
    assert events[failures[0] + 1] == ("The server's certificate is not trusted, has expired, or "
                                       "is for another name.")
    assert run.launched_from() == []


@pytest.fixture
def trusted_authority(wine, web):
    """The prefix trusts nginx's test authority the way a Windows machine does:
    an entry in its own registry root store (the key is the SHA-1 thumbprint,
    the value the certificate serialized as one property entry), never the
    Linux trust store."""
    key = ROOT_CERTIFICATES + "\\" + hashlib.sha1(web.ca_der).hexdigest().upper()
    blob = struct.pack("<III", CERT_CERT_PROP_ID, 1, len(web.ca_der)) + web.ca_der
    # Windows shares this key between both views; written to each, so that the
    # 32-bit program finds it whether or not this Wine redirects it.
    for view64 in (True, False):
        wine.reg_add(key, "Blob", blob.hex().upper(), "REG_BINARY", view64=view64)
    yield
    for view64 in (True, False):
        wine.reg_delete(key, view64=view64)


def test_trusted_https_certificate_downloads_and_installs(web, run, trusted_authority):
    web.add("tls/trusted.exe", SETUP)
    assert run.run("q", [prereq("Tls", web.url("tls/trusted.exe", trusted=True), run.record)]) == 0
    assert ("/tls/trusted.exe", "-", 200) in web.requests()
    assert "Download completed succesfully." in run.events()
    assert run.launched_from() == [run.inst.win_dir + "\\downloads"]
