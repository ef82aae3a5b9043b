"""bundle hash, check and ini: the native tool (and bundle.exe once under Wine),
and the configurations shown in docs/configuration.md, which must pass the check."""
import hashlib
import re
import subprocess

import pytest
from winehelpers import BUILD_DIR, SOURCE_DIR, TEST_DATA, encode_ini

BUNDLE = BUILD_DIR / "bundle"
GOOD = """[GeneralOptions]
Options=q
[PREREQUISITES]
App1=Runtime
[Runtime]
Url=http://example.com/r.exe
ExactSize=10
MD5=0123456789ABCDEF0123456789abcdef
SHA256=0123456789ABCDEF0123456789abcdef0123456789ABCDEF0123456789abcdef
Options=mx
SearchType1=2
SearchString1=HKLM\\Software\\R\\Version
VerMin1=1.0
[PREREQ_CHAINER]
LogFile=C:\\setup.log
"""


def tool(*args):
    return subprocess.run([str(BUNDLE), *map(str, args)], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, timeout=120)


def check(tmp_path, text, *extra, data=None):
    ini = tmp_path / "setup.ini"
    ini.write_bytes(data if data is not None else encode_ini(text))
    return tool("check", ini, *extra)


def test_a_clean_configuration_passes(tmp_path):
    result = check(tmp_path, GOOD)
    assert (result.returncode, result.stdout) == (0, "")


@pytest.mark.parametrize("change, line, words", [
    (("App1=Runtime", "App1=Runtime\nApp3=Other"), 5, "App3 is never read"),
    (("App1=Runtime", "App1=Missing"), 4, "section [Missing], which the file does not have"),
    (("Url=", "Link="), 5, "none of SetupFile, OpenSite and Url"),
    (("SearchString1=", "SearchStrng1="), 11, "SearchType1 has no SearchString1"),
    (("VerMin1=", "Vermin1="), 13, "case-sensitive: VerMin1?"),
    (("VerMin1=1.0", "VerMin1=1.0\nVerMax2=2"), 14, "the searches stop at the missing SearchType2"),
    (("Url=http://example.com/r.exe", "SetupFile=r.exe\nUrl=x"), 7, "Url is not used"),
    (("ExactSize=10", "ExactSize=10 MB"), 7, "ExactSize=10 MB is not a byte count"),
    (("MD5=0123456789ABCDEF0123456789abcdef", "MD5=0123456789abcdef"), 8, "not 32 hexadecimal"),
    (("SHA256=0123", "SHA256=x123"), 9, "not 64 hexadecimal digits; the chainer rejects every"),
    (("SHA256=0123", "SHA256=123"), 9, "not 64 hexadecimal digits"),
    (("Url=http://example.com/r.exe", "SetupFile=r.exe\nSignedBy=Contoso"), 7,
     "SignedBy= is checked only for a download"),
    (("Options=mx", "Options=mX"), 10, 'letter "X" means nothing'),
    (("Options=q", "Options=s"), 2, 'letter "s" means nothing'),
    (("SearchType1=2", "SearchType1=15"), 11, "not a search type"),
    (("SearchType1=2", "SearchType1=two"), 11, "not a search type"),
    (("Options=q", "Options=q\nKeepFiles=Complete"), 3, "KeepFiles=Complete is not"),
    (("Options=mx", "Options=mx\nOptions=q"), 11, "appears a second time"),
    (("[PREREQ_CHAINER]", "[ Runtime]\n[PREREQ_CHAINER]"), 14, "[ Runtime] is never read"),
    (("LogFile=", "LogFlie="), 15, "unknown key LogFlie"),
])
def test_each_rule_reports_its_line(tmp_path, change, line, words):
    result = check(tmp_path, GOOD.replace(*change, 1))
    assert result.returncode == 1
    assert any(f"setup.ini:{line}: " in row and words in row
               for row in result.stdout.splitlines()), result.stdout


@pytest.mark.parametrize("dropped, words", [
    (("SHA256=",), "[Runtime] is checked by MD5 only"),
    (("MD5=",), None),
    (("SHA256=", "MD5="), "[Runtime] has neither SHA256 nor MD5: any file the server sends is "
                          "launched"),
])
def test_weak_download_checks_are_warnings_that_do_not_fail(tmp_path, dropped, words):
    text = "\n".join(line for line in GOOD.split("\n") if not line.startswith(dropped))
    result = check(tmp_path, text)
    advice = "; add its SHA256= line (bundle hash FILE prints it)"
    expected = f"{tmp_path / 'setup.ini'}:6: warning: {words}{advice}\n" if words else ""
    assert (result.returncode, result.stdout) == (0, expected)


@pytest.mark.parametrize("data, words", [
    (GOOD.encode("utf-8"), "the file is UTF-8"),
    (encode_ini(GOOD, bom=False), "byte-order mark FF FE"),
    (encode_ini(GOOD, line_end="\n"), "LF alone"),
])
def test_encoding_and_line_ends(tmp_path, data, words):
    data = (b"\xef\xbb\xbf" + data) if words == "the file is UTF-8" else data
    result = check(tmp_path, None, data=data)
    assert result.returncode == 1 and words in result.stdout


def test_bundle_contents_and_usage(tmp_path):
    text = GOOD.replace("Url=http://example.com/r.exe", "SetupFile=runtime-a.exe").replace(
        "VerMin1=1.0", "VerMin1=1.0\nSearchType2=10\nSearchString2=probe.exe")
    setup = tmp_path / "setup.exe"
    assert tool("--chainer", BUILD_DIR / "chainer.exe", "--out", setup,
                TEST_DATA / "runtime-a.exe").returncode == 0
    result = check(tmp_path, text, "--bundle", setup)
    assert result.returncode == 1
    assert "search helper \"probe.exe\" is not in the bundle" in result.stdout
    assert "runtime-a.exe" not in result.stdout
    assert check(tmp_path, text, "--bundle", BUILD_DIR / "chainer.exe").returncode == 2
    assert tool("check").returncode == 2
    assert tool("check", tmp_path / "absent.ini").returncode == 2


def test_hash_prints_what_the_chainer_compares(tmp_path):
    data = b"setup bytes\x00\xff" * 100
    (tmp_path / "a.exe").write_bytes(data)
    result = tool("hash", tmp_path / "a.exe")
    assert result.returncode == 0
    assert result.stdout == (f"ExactSize={len(data)}\nSHA256={hashlib.sha256(data).hexdigest()}\n"
                             f"MD5={hashlib.md5(data).hexdigest()}\n")
    (tmp_path / "empty.exe").write_bytes(b"")
    assert tool("hash", tmp_path / "empty.exe").returncode == 2


def test_ini_writes_utf16_with_mark_and_crlf(tmp_path):
    source = tmp_path / "in.txt"
    source.write_bytes("\ufeff[A]\r\nName=Zoë 😀\nX=1".encode("utf-8"))
    assert tool("ini", source, tmp_path / "out.ini").returncode == 0
    assert (tmp_path / "out.ini").read_bytes() == encode_ini("[A]\nName=Zoë 😀\nX=1")
    source.write_bytes(b"[A]\n\xff\n")
    assert tool("ini", source, tmp_path / "bad.ini").returncode == 2
    assert not (tmp_path / "bad.ini").exists()


def test_the_windows_tool_checks_too(wine, tmp_path):
    ini = wine.drive_c / "bundle-check.ini"
    ini.write_bytes(encode_ini(GOOD.replace("Options=mx", "Options=mz")))
    result = wine.wine(BUILD_DIR / "bundle.exe", "check", wine.to_windows(ini))
    assert result.returncode == 1
    assert b'letter "z" means nothing' in result.stdout


def doc_configurations():
    """The ```ini blocks of docs/configuration.md that are whole configurations
    (they have a [PREREQUISITES] section)."""
    text = (SOURCE_DIR / "docs" / "configuration.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```ini\n(.*?)```", text, re.S)
    return [b for b in blocks if "[PREREQUISITES]" in b]


def test_documented_configurations_pass_the_check(tmp_path):
    blocks = doc_configurations()
    assert len(blocks) >= 3
    for number, block in enumerate(blocks):
        result = check(tmp_path, block)
        assert result.returncode == 0, f"block {number}:\n{block}\n{result.stdout}"
