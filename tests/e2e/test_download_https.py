"""HTTPS transfers against a loopback server with a self-signed certificate:
the certificate error, the sink's answer, and the two ways to accept it."""
import http.server
import re
import ssl
import subprocess
import threading

import pytest

from winehelpers import TOOLS_DIR

PAYLOAD = bytes(range(256)) * 300

CERT_ERRORS = {12037, 12038, 12044, 12045}


class _Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):  # noqa: N802 (the server's method name)
        self.send_response(200)
        self.send_header("Content-Length", str(len(PAYLOAD)))
        self.end_headers()
        self.wfile.write(PAYLOAD)

    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def https_server(tmp_path_factory):
    folder = tmp_path_factory.mktemp("tls")
    key, cert = folder / "key.pem", folder / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=corvane-test", "-keyout", str(key), "-out", str(cert)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"https://127.0.0.1:{server.server_address[1]}/setup.exe"
    server.shutdown()


def fetch(wine, url, target, *options):
    proc = wine.wine(TOOLS_DIR / "fetch_url.exe", *options, url, wine.to_windows(target),
                     timeout=120)
    out = proc.stdout.decode("ascii", "replace")
    result = re.search(r"^result (\d+)", out, re.M)
    assert result, (out, proc.stderr)
    reports = [(int(m.group(1)), bool(m.group(2)))
               for m in re.finditer(r"^report (\d+)( asked)?", out, re.M)]
    return int(result.group(1)), reports


def test_untrusted_certificate_asks_the_sink_and_fails_when_refused(wine, https_server, tmp_path):
    target = tmp_path / "refused.exe"
    result, reports = fetch(wine, https_server, target)
    assert result in CERT_ERRORS
    # The question with the request handle, then the failure itself.
    assert reports[0] == (result, True)
    assert reports[-1] == (result, False)
    assert not target.exists()


@pytest.mark.parametrize("option", ["--auto-accept", "--ignore-cert", "--answer-cert"])
def test_accepted_certificate_error_fetches_the_file(wine, https_server, tmp_path, option):
    target = tmp_path / "accepted.exe"
    result, reports = fetch(wine, https_server, target, option)
    assert result == 0, reports
    assert target.read_bytes() == PAYLOAD
    assert not (tmp_path / "accepted.exe.part").exists()
    asked = [r for r in reports if r[1]]
    assert len(asked) == (1 if option == "--answer-cert" else 0)


def test_an_answer_that_changes_nothing_does_not_ask_for_ever(wine, https_server, tmp_path):
    target = tmp_path / "looping.exe"
    result, reports = fetch(wine, https_server, target, "--answer-only")
    assert result in CERT_ERRORS
    asked = [r for r in reports if r[1]]
    assert 1 < len(asked) <= 10
    assert reports[-1] == (result, False)
    assert not target.exists()
