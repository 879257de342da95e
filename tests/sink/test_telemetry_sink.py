"""End-to-end tests of the telemetry sink: its command line, and hand-written requests over real TLS. Its reg-trust
output is proven by every end-to-end test of the tool, which trusts the sink through it."""

import errno
import http.client
import json
import pathlib
import re
import shutil
import signal
import socket
import ssl
import sys
import tempfile
import time
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools" / "telemetry_sink"))
from sink_process import SinkProcess, sink_command  # noqa: E402

PATH = "/msix_installer/log_event"
CT = "Content-Type: application/x-www-form-urlencoded; charset=utf-16\r\n"
UA = "User-Agent: Halvern MSIX Installer Telemetry/1.0\r\n"
PATIENCE = 20.0  # a bound on waiting, never asserted as a duration
# An event with every key the sink knows.
FULL = {"timestamp_ms": "1700000000000", "installer_name": "HalvernCleanup", "app_name": "Halvern Notes",
        "event_type": "withdraw", "package_family_name": "Halvern.Notes_8wekyb3d8bbwe", "version": "1.2.3.0",
        "updater_id": "u-1", "os_version": "10.0.19045", "arch": "x64", "result": "failed", "error_code": "0x80073CF1",
        "error_message": "not found\r\nagain", "duration_ms": "42", "install_type": "per-user", "command_line": "/q"}


def setUpModule():
    global CERTS
    CERTS = pathlib.Path(unittest.enterModuleContext(tempfile.TemporaryDirectory(prefix="sink-certs-")))
    sink_command("make-certs", "--dir", CERTS)


def utf16(text):
    return text.encode("utf-16-le") if isinstance(text, str) else text


def wait_for(condition, what):
    deadline = time.monotonic() + PATIENCE
    while not (value := condition()):
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what}")
        time.sleep(0.02)
    return value


class TelemetrySinkTest(unittest.TestCase):
    def start(self, certs=None, **options):
        directory = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory(prefix="sink-run-")))
        sink = self.enterContext(SinkProcess(directory, certs or CERTS, port=0, **options))
        sink.port = int((directory / "ready").read_text())
        sink.context = ssl.create_default_context(cafile=(certs or CERTS) / "ca.pem")
        return sink

    def send(self, sink, body, head=None, line=f"POST {PATH} HTTP/1.1", host="localhost", context=None):
        """Sends one request as written (by default with the tool's headers) and returns the TLS socket."""
        raw = socket.create_connection((host, sink.port), PATIENCE)
        tls = self.enterContext((context or sink.context).wrap_socket(raw, server_hostname=host))
        head = f"{CT}{UA}Content-Length: {len(body)}\r\n" if head is None else head
        tls.sendall(f"{line}\r\nHost: localhost\r\n{head}\r\n".encode() + body)
        return tls

    def post(self, sink, body, head=None, line=f"POST {PATH} HTTP/1.1"):
        response = http.client.HTTPResponse(self.send(sink, utf16(body), head, line))
        response.begin()
        return response

    # (head as sent, or None for the tool's; body; the pairs decoded, in order; the problem codes)
    CASES = [
        (None, "&".join(f"{k}={v}" for k, v in FULL.items()), FULL, []),
        (None, "command_line=a%26b%3Dc%25d%2Be%2526&arch=x", {"command_line": "a&b=c%d+e%26", "arch": "x"}, []),
        (None, "app_name=Café 日本 😀\r\n\tx\ry&error_code=", {"app_name": "Café 日本 😀\r\n\tx\ry", "error_code": ""}, []),
        (None, "app_name=a+b&error_message=%41%3d&command_line=a=b",
         {"app_name": "a+b", "error_message": "%41%3d", "command_line": "a=b"},
         ["stray-plus", "stray-percent", "stray-equals"]),
        (None, "result=ok&&result=failed&arch&=x&cölour=blue", {"result": "ok", "arch": "", "": "x", "cölour": "blue"},
         ["empty-pair", "duplicate-key", "missing-equals", "empty-key", "unknown-key"]),
        (None, "timestamp_ms=-5&duration_ms=٤٢", {"timestamp_ms": "-5", "duration_ms": "٤٢"}, ["bad-number"] * 2),
        (None, b"\xff\xfe" + utf16("result=ok") + b"!", {"result": "ok"}, ["bom", "odd-length"]),
        (None, utf16("arch=") + b"\x00\xd8" + utf16("&result=ok\0"), {"arch": "\ufffd", "result": "ok\0"},
         ["bad-utf16", "nul"]),
        (None, b"", {}, ["empty-body"]),
        (CT.replace("utf-16", "UTF-16") + UA + UA + "Content-Length: 18\r\n", "result=ok", {"result": "ok"},
         ["bad-content-type", "bad-user-agent"]),
        (CT + UA + "Transfer-Encoding: chunked\r\n", b"8\r\n" + utf16("resu") + b"\r\na\r\n" + utf16("lt=ok")
         + b"\r\n0\r\n\r\n", {"result": "ok"}, []),
        (CT + UA, b"", {}, ["no-length", "empty-body"]),
        (CT + UA + "Content-Length: -1\r\n", b"", {}, ["bad-length", "empty-body"]),
        (CT + UA + f"Content-Length: {8 * 1024 * 1024 + 1}\r\n", b"", {}, ["too-large", "empty-body"]),
    ]
    # Requests that are not event posts: (request line, the status they get instead, the problem code)
    ROUTES = [(f"PUT {PATH} HTTP/1.1", 405, "wrong-method"), (f"POST {PATH}?x=1 HTTP/1.1", 404, "wrong-path"),
              ("GET /msix_installer/other HTTP/1.0", 404, "wrong-path")]

    def test_decodes_flags_routes_and_records_each_request(self):
        sink = self.start(status=503)  # problems in a request never change the chosen status
        posts = [self.post(sink, body, head) for head, body, _, _ in self.CASES]
        routed = [self.post(sink, "result=ok", line=line) for line, _, _ in self.ROUTES]
        events = sink.received()  # from the database, as table --json prints it
        jsonl = (sink.directory / "events.jsonl").read_text(encoding="utf-8").splitlines()
        self.assertEqual(events, [json.loads(line) for line in jsonl])  # the same in both stores
        sent = [["Host", "localhost"], *(header.split(": ") for header in (CT + UA).splitlines())]
        self.assertEqual(events[0]["headers"][:3], sent)  # in their order, as sent
        for (head, body, pairs, codes), response, event in zip(self.CASES, posts, events):
            with self.subTest(head=head, body=body):
                self.assertEqual((response.status, event["status"]), (503, 503))
                self.assertEqual(response.getheader("X-Sink-Event"), str(event["id"]))
                self.assertEqual([p.split(":")[0] for p in event["problems"]], codes)
                self.assertEqual(list(event["fields"].items()), list(pairs.items()))
                if head is None:
                    self.assertEqual(event["body_hex"], utf16(body).hex())
        for (line, status, code), response, event in zip(self.ROUTES, routed, events[len(self.CASES):], strict=True):
            self.assertEqual((response.status, event["status"]), (status, status))
            self.assertEqual(event["problems"][0].split(":")[0], code)
            self.assertEqual(f"{event['method']} {event['path']} {event['http_version']}", line)
            self.assertEqual(response.getheader("Allow"), "POST" if status == 405 else None)
        rows = sink.table().splitlines()
        columns = ["event_type", "result", "app_name", "package_family_name", "version", "install_type",
                   "error_code", "error_message"]
        self.assertEqual(rows[0].split(), ["#", "time", "(UTC)", "status", *columns, "problems"])
        self.assertEqual(len(rows), 2 + len(events))  # a line break in a value does not break its row
        self.assertEqual(re.split(r"\s{2,}", rows[2])[2:], ["503", *(FULL[c].replace("\r\n", "⏎") for c in columns)])
        self.assertEqual(rows[1 + len(self.CASES)].rsplit("  ", 1)[-1], "too-large, empty-body")  # codes only

    def test_stall_and_reset_record_but_never_answer(self):
        for mode in ("stall", "reset"):
            with self.subTest(mode):
                sink = self.start(mode=mode)
                tls = self.send(sink, utf16("result=ok&"))  # recorded with its problem
                [event] = wait_for(sink.received, "the request to be recorded")
                self.assertEqual((event["mode"], event["status"], event["fields"]), (mode, None, {"result": "ok"}))
                self.assertEqual(sink.table().splitlines()[2].split()[3], "-")
                if mode == "stall":
                    tls.settimeout(0.5)
                    self.assertRaises(TimeoutError, tls.recv, 1)  # still no answer
                    tls.settimeout(PATIENCE)
                    sink.stop()  # which releases the client
                    self.assertEqual(sink.process.returncode, 0)
                else:
                    # Python's TLS reports a reset as a plain EOF; the TCP error tells it from a FIN.
                    error = wait_for(lambda: tls.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR), "the reset")
                    self.assertEqual(error, errno.ECONNRESET)
                self.assertEqual(tls.recv(1), b"")

    def test_refuse_holds_the_port_until_stopped(self):
        sink = self.start(mode="refuse")
        self.assertRaises(ConnectionRefusedError, socket.create_connection, ("127.0.0.1", sink.port), PATIENCE)
        # Exit code 2 is what sink_process waits on when the port is taken.
        with self.assertRaisesRegex(AssertionError, "serve exited 2"):
            sink_command("serve", "--dir", sink.directory, "--port", sink.port)
        sink.process.send_signal(signal.SIGINT)
        self.assertEqual(sink.process.wait(PATIENCE), 0)

    def test_certificates_are_reused_remade_and_trusted_only_for_localhost(self):
        self.assertEqual({(CERTS / key).stat().st_mode & 0o077 for key in ("ca.key", "server.key")}, {0})
        d = pathlib.Path(shutil.copytree(CERTS, self.enterContext(tempfile.TemporaryDirectory()) + "/certs"))
        self.assertIn("reused", sink_command("make-certs", "--dir", d))
        (d / "ca.key").unlink()
        sink_command("make-certs", "--dir", d)
        self.assertEqual([f.name for f in CERTS.iterdir() if f.read_bytes() == (d / f.name).read_bytes()], [])
        sink = self.start(certs=d)
        cert = self.send(sink, b"").getpeercert()
        self.assertLess(ssl.cert_time_to_seconds(cert["notBefore"]), time.time() - 86400)  # clock skew in VMs
        for host, context in (("127.0.0.1", None), ("localhost", ssl.create_default_context())):
            self.assertRaises(ssl.SSLCertVerificationError, self.send, sink, b"", host=host, context=context)
