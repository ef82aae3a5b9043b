"""SignedBy=: downloads accepted only with a trusted Authenticode signature of
the named signer. The setups are exit_with.exe signed with osslsigncode by
certificates of nginx's test authority, which the prefix trusts, and of an
authority it does not know."""
import subprocess

import pytest

from servers import issue, make_authority
from test_download import SETUP, Run, prereq, trusted_authority, web  # noqa: F401 (fixtures)
from winehelpers import BUILD_DIR

SIGNER = "Contoso Setups"
CODE_SIGNING = "extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n"


def sign(folder, certificates, key, name):
    source, target = folder / "unsigned.exe", folder / f"{name}.exe"
    source.write_bytes(SETUP)
    subprocess.run(["osslsigncode", "sign", "-certs", certificates, "-key", key, "-h", "sha256",
                    "-in", source, "-out", target], check=True, stdout=subprocess.DEVNULL)
    return target.read_bytes()


@pytest.fixture(scope="module")
def setups(web):
    """Each kind of file a server may send in place of the right one, by name."""
    ca = web.root  # nginx's test authority: ca.pem, ca.key
    make_authority(ca, "stranger", "Unknown Authority")
    issue(ca, "ca", "contoso", SIGNER, CODE_SIGNING)
    issue(ca, "ca", "other", "Other Vendor", CODE_SIGNING)
    issue(ca, "stranger", "unknown", SIGNER, CODE_SIGNING)
    (ca / "unknown-chain.pem").write_text((ca / "unknown.pem").read_text() +
                                         (ca / "stranger.pem").read_text())
    right = sign(ca, ca / "contoso.pem", ca / "contoso.key", "right")
    changed = bytearray(right)
    changed[0x1000] ^= 1  # a byte of the code, after signing
    return {
        "right": right,
        "unsigned": SETUP,
        "other": sign(ca, ca / "other.pem", ca / "other.key", "other"),
        # The root comes with the signature but the prefix does not trust it.
        "untrusted": sign(ca, ca / "unknown-chain.pem", ca / "unknown.key", "untrusted"),
        # No root at all: the chain stops at the signer's issuer.
        "rootless": sign(ca, ca / "unknown.pem", ca / "unknown.key", "rootless"),
        "changed": bytes(changed),
    }


@pytest.fixture
def run(install):
    return Run(install())


def signed_prereq(web, run, path, options="", signer=SIGNER):
    """Mandatory only where it fails: the search never finds what a setup installed."""
    return prereq("Runtime", web.url(path), run.record, options, SignedBy=signer)


def test_the_named_signer_in_any_letter_case_installs(web, run, setups, trusted_authority):
    web.add("signed/right.exe", setups["right"])
    assert run.run("q", [signed_prereq(web, run, "signed/right.exe", signer=SIGNER.upper())]) == 0
    assert "Downloaded file was accepted." in run.events()
    assert run.launched_from() == [run.inst.win_dir + "\\downloads"]


# Wine 8's WinVerifyTrust finds the missing signature and the changed byte by
# itself, but answers success for both untrusted chains: those two rows fail
# unless the chain is judged apart from it.
@pytest.mark.parametrize("kind, reason", [
    ("unsigned", "the file carries no signature"),
    ("other", 'it is signed by "Other Vendor"'),
    ("untrusted", "its certificate does not lead to a root this machine trusts"),
    ("rootless", "its certificate does not lead to a root this machine trusts"),
    ("changed", "the file was changed after it was signed"),
])
def test_a_file_without_the_signers_trusted_signature_is_deleted_and_never_run(
        web, run, setups, trusted_authority, kind, reason):
    web.add(f"signed/{kind}.exe", setups[kind])
    assert run.run("q", [signed_prereq(web, run, f"signed/{kind}.exe", "m")], "complete") == 1
    assert f"Downloaded file was rejected.(Not signed by {SIGNER}: {reason})." in run.events()
    assert run.launched_from() == []
    assert not (run.downloads / f"{kind}.exe").exists()


@pytest.mark.parametrize("kind, downloaded", [("right", False), ("other", True)])
def test_a_file_already_in_the_download_folder_is_used_only_when_signed_by_the_signer(
        web, run, setups, trusted_authority, kind, downloaded):
    path = f"present/{kind}/setup.exe"
    web.add(path, setups["right"])
    run.downloads.mkdir()
    (run.downloads / "setup.exe").write_bytes(setups[kind])
    assert run.run("q", [signed_prereq(web, run, path)], "complete") == 0
    assert (("/" + path) in [uri for uri, _, _ in web.requests()]) == downloaded
    assert run.launched_from() == [run.inst.win_dir + "\\downloads"]
    assert (run.downloads / "setup.exe").read_bytes() == setups["right"]


@pytest.mark.parametrize("kind, lines", [("right", [f"SignedBy={SIGNER}"]), ("unsigned", [])])
def test_bundle_hash_names_the_signer(setups, tmp_path, kind, lines):
    (tmp_path / "a.exe").write_bytes(setups[kind])
    result = subprocess.run([str(BUILD_DIR / "bundle"), "hash", tmp_path / "a.exe"],
                            stdout=subprocess.PIPE, text=True, check=True)
    # After the ExactSize=, SHA256= and MD5= lines.
    assert result.stdout.splitlines()[3:] == lines
