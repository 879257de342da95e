"""End-to-end tests of the telemetry sink: a real TLS client against the CLI."""

import datetime
import errno
import hashlib
import http.client
import json
import os
import pathlib
import shutil
import signal
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SINK = pathlib.Path(__file__).resolve().parents[2] / "tools" / "telemetry_sink" / "telemetry_sink.py"
PATH = "/msix_installer/log_event"
CONTENT_TYPE = "application/x-www-form-urlencoded; charset=utf-16"
USER_AGENT = "Halvern MSIX Installer Telemetry/1.0"
GOOD_HEADERS = {"Content-Type": CONTENT_TYPE, "User-Agent": USER_AGENT}

# Upper bound for waiting on a condition; never asserted as a duration.
PATIENCE = 20.0

_certs_dir = None


def setUpModule():
    global _certs_dir
    _certs_dir = tempfile.mkdtemp(prefix="sink-certs-")
    run_cli("make-certs", "--dir", _certs_dir)


def tearDownModule():
    shutil.rmtree(_certs_dir, ignore_errors=True)


def run_cli(*args, check=True):
    result = subprocess.run([sys.executable, str(SINK), *args], capture_output=True, text=True, timeout=120)
    if check and result.returncode != 0:
        raise AssertionError(f"{args[0]} failed ({result.returncode}):\n{result.stderr}")
    return result


def wait_for(condition, what):
    deadline = time.monotonic() + PATIENCE
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"gave up waiting for {what}")


def utf16(text):
    return text.encode("utf-16-le")


class Sink:
    """A sink subprocess on a free port, with its own event directory."""

    def __init__(self, *extra):
        self.dir = tempfile.mkdtemp(prefix="sink-run-")
        for name in ("server.pem", "server.key", "ca.pem"):
            shutil.copy(os.path.join(_certs_dir, name), self.dir)
        ready = os.path.join(self.dir, "ready")
        self.log = open(os.path.join(self.dir, "sink.log"), "wb")
        self.proc = subprocess.Popen(
            [sys.executable, str(SINK), "serve", "--dir", self.dir, "--port", "0", "--ready-file", ready, *extra],
            stdin=subprocess.DEVNULL,
            stdout=self.log,
            stderr=subprocess.STDOUT,
        )

        def ready_port():
            if self.proc.poll() is not None:
                raise AssertionError(f"sink exited early with {self.proc.returncode}: {self.log_text()}")
            try:
                with open(ready, encoding="ascii") as f:
                    return int(f.read())
            except FileNotFoundError:
                return None

        self.port = wait_for(ready_port, "the ready file")
        self.context = ssl.create_default_context(cafile=os.path.join(self.dir, "ca.pem"))

    def log_text(self):
        self.log.flush()
        with open(self.log.name, encoding="utf-8", errors="replace") as f:
            return f.read()

    def connection(self, timeout=PATIENCE):
        return http.client.HTTPSConnection("localhost", self.port, context=self.context, timeout=timeout)

    def post(self, body, headers=GOOD_HEADERS, path=PATH, method="POST"):
        conn = self.connection()
        try:
            conn.request(method, path, body=body, headers=dict(headers))
            response = conn.getresponse()
            return response.status, response, response.read()
        finally:
            conn.close()

    def events(self):
        try:
            with open(os.path.join(self.dir, "events.jsonl"), encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        # Polling may catch a line mid-write; only complete lines count.
        return [json.loads(line) for line in text.split("\n")[:-1]]

    def event(self, response):
        event_id = int(response.getheader("X-Sink-Event"))
        matches = [e for e in self.events() if e["id"] == event_id]
        if len(matches) != 1:
            raise AssertionError(f"event {event_id} recorded {len(matches)} times")
        return matches[0]

    def stop(self, signum=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(signum)
            try:
                self.proc.wait(timeout=PATIENCE)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
                raise AssertionError(f"sink ignored signal {signum}")
        return self.proc.returncode

    def close(self):
        try:
            self.stop()
        finally:
            self.log.close()
            shutil.rmtree(self.dir, ignore_errors=True)


def problem_codes(event):
    return [p.split(":", 1)[0] for p in event["problems"]]


class SinkTestCase(unittest.TestCase):
    sink_args = ()
    # Share one sink across the class when its tests find their events by id.
    share_sink = False

    @classmethod
    def setUpClass(cls):
        if cls.share_sink:
            cls.sink = Sink(*cls.sink_args)
            cls.addClassCleanup(cls.sink.close)

    def setUp(self):
        if not self.share_sink:
            self.sink = Sink(*self.sink_args)
            self.addCleanup(self.sink.close)


class DecodeTest(SinkTestCase):
    # (name, body text before UTF-16LE encoding, expected pairs in order, expected problem codes)
    CASES = [
        ("plain pairs", "event_type=withdraw&result=ok", [("event_type", "withdraw"), ("result", "ok")], []),
        (
            "arrival order kept",
            "result=failed&app_name=Zed&event_type=withdraw",
            [("result", "failed"), ("app_name", "Zed"), ("event_type", "withdraw")],
            [],
        ),
        ("percent", "error_message=100%25 done", [("error_message", "100% done")], []),
        ("ampersand", "app_name=Salt %26 Pepper", [("app_name", "Salt & Pepper")], []),
        ("equals", "command_line=--mode%3Dquiet", [("command_line", "--mode=quiet")], []),
        ("escaped plus", "version=1.0%2Bbuild", [("version", "1.0+build")], []),
        ("one pass over %2526", "error_message=%2526", [("error_message", "%26")], []),
        ("one pass over %253D%252B", "error_message=%253D%252B", [("error_message", "%3D%2B")], []),
        ("literal plus stays plus", "app_name=a+b", [("app_name", "a+b")], ["stray-plus"]),
        ("other escapes stay literal", "error_message=%41%20", [("error_message", "%41%20")], ["stray-percent"]),
        ("escapes are upper case only", "error_message=%3d", [("error_message", "%3d")], ["stray-percent"]),
        ("lone percent at end", "error_message=50%", [("error_message", "50%")], ["stray-percent"]),
        (
            "spaces and line breaks",
            "error_message=first line\r\nsecond line\tend",
            [("error_message", "first line\r\nsecond line\tend")],
            [],
        ),
        ("non-ASCII", "app_name=Café Ünïcødé 日本語", [("app_name", "Café Ünïcødé 日本語")], []),
        ("surrogate pairs", "app_name=😀 𝄞 end", [("app_name", "😀 𝄞 end")], []),
        (
            "empty values",
            "error_code=&error_message=&result=ok",
            [("error_code", ""), ("error_message", ""), ("result", "ok")],
            [],
        ),
        ("raw equals after the first", "command_line=a=b", [("command_line", "a=b")], ["stray-equals"]),
    ]

    def test_decoding(self):
        for name, text, pairs, codes in self.CASES:
            with self.subTest(name):
                status, response, _ = self.sink.post(utf16(text))
                self.assertEqual(status, 200)
                event = self.sink.event(response)
                self.assertEqual(list(event["fields"].items()), pairs)
                self.assertEqual(problem_codes(event), codes)
                self.assertEqual(bytes.fromhex(event["body_hex"]), utf16(text))


class ChecksTest(SinkTestCase):
    share_sink = True
    GOOD = "timestamp_ms=1700000000000&event_type=withdraw&result=ok"
    GOOD_PAIRS = [("timestamp_ms", "1700000000000"), ("event_type", "withdraw"), ("result", "ok")]
    ALL_KEYS = "&".join(
        f"{k}={v}"
        for k, v in [
            ("timestamp_ms", "1700000000000"),
            ("installer_name", "HalvernCleanup"),
            ("app_name", "Halvern Notes"),
            ("event_type", "withdraw"),
            ("package_family_name", "Halvern.Notes_8wekyb3d8bbwe"),
            ("version", "1.2.3.0"),
            ("updater_id", "u-1"),
            ("os_version", "10.0.19045"),
            ("arch", "x64"),
            ("result", "failed"),
            ("error_code", "0x80073CF1"),
            ("error_message", "Package was not found."),
            ("duration_ms", "42"),
            ("install_type", "per-user"),
            ("command_line", "HalvernCleanup.exe /quiet"),
        ]
    )

    def headers(self, **changes):
        headers = dict(GOOD_HEADERS)
        for name, value in changes.items():
            name = name.replace("_", "-")
            if value is None:
                del headers[name]
            else:
                headers[name] = value
        return headers

    def test_problems_are_recorded_and_status_unchanged(self):
        good = utf16(self.GOOD)
        # (name, headers, body, expected problem codes, expected pairs or None to skip)
        cases = [
            ("every known key", GOOD_HEADERS, utf16(self.ALL_KEYS), [], None),
            (
                "content type without charset",
                self.headers(Content_Type="application/x-www-form-urlencoded"),
                good,
                ["bad-content-type"],
                self.GOOD_PAIRS,
            ),
            (
                "content type utf-8",
                self.headers(Content_Type="application/x-www-form-urlencoded; charset=utf-8"),
                good,
                ["bad-content-type"],
                self.GOOD_PAIRS,
            ),
            ("no content type", self.headers(Content_Type=None), good, ["bad-content-type"], self.GOOD_PAIRS),
            ("browser user agent", self.headers(User_Agent="Mozilla/5.0"), good, ["bad-user-agent"], self.GOOD_PAIRS),
            ("no user agent", self.headers(User_Agent=None), good, ["bad-user-agent"], self.GOOD_PAIRS),
            ("little-endian BOM", GOOD_HEADERS, b"\xff\xfe" + good, ["bom"], self.GOOD_PAIRS),
            ("odd byte count", GOOD_HEADERS, good + b"!", ["odd-length"], self.GOOD_PAIRS),
            ("NUL terminator sent", GOOD_HEADERS, good + b"\x00\x00", ["nul"], None),
            ("lone surrogate", GOOD_HEADERS, utf16("result=") + b"\x00\xd8" + utf16("x"), ["bad-utf16"], None),
            (
                "duplicate key keeps the first",
                GOOD_HEADERS,
                utf16("result=ok&result=failed"),
                ["duplicate-key"],
                [("result", "ok")],
            ),
            ("pair without equals", GOOD_HEADERS, utf16("result"), ["missing-equals"], [("result", "")]),
            ("trailing ampersand", GOOD_HEADERS, utf16("result=ok&"), ["empty-pair"], [("result", "ok")]),
            ("empty body", GOOD_HEADERS, b"", ["empty-body"], []),
            ("unknown key", GOOD_HEADERS, utf16("colour=blue"), ["unknown-key"], [("colour", "blue")]),
            ("empty key", GOOD_HEADERS, utf16("=x"), ["empty-key"], [("", "x")]),
            ("non-numeric duration", GOOD_HEADERS, utf16("duration_ms=12s"), ["bad-number"], [("duration_ms", "12s")]),
            ("UTF-8 body", GOOD_HEADERS, "result=ok!".encode(), ["missing-equals", "unknown-key"], None),
        ]
        for name, headers, body, codes, pairs in cases:
            with self.subTest(name):
                status, response, _ = self.sink.post(body, headers=headers)
                self.assertEqual(status, 200)
                event = self.sink.event(response)
                self.assertEqual(problem_codes(event), codes)
                if pairs is not None:
                    self.assertEqual(list(event["fields"].items()), pairs)
                self.assertEqual(event["status"], 200)

    def test_headers_recorded_as_sent(self):
        _, response, _ = self.sink.post(utf16(self.GOOD))
        headers = {name.lower(): value for name, value in self.sink.event(response)["headers"]}
        self.assertEqual(headers["content-type"], CONTENT_TYPE)
        self.assertEqual(headers["user-agent"], USER_AGENT)
        self.assertEqual(headers["host"], f"localhost:{self.sink.port}")

    def test_other_paths_and_methods(self):
        # (name, method, path, expected status, expected problem code)
        cases = [
            ("unknown path", "POST", "/msix_installer/other", 404, "wrong-path"),
            ("root", "GET", "/", 404, "wrong-path"),
            ("GET on the event path", "GET", PATH, 405, "wrong-method"),
            ("PUT on the event path", "PUT", PATH, 405, "wrong-method"),
            ("query string is not the event path", "POST", PATH + "?x=1", 404, "wrong-path"),
        ]
        for name, method, path, expected, code in cases:
            with self.subTest(name):
                status, response, _ = self.sink.post(utf16(self.GOOD), path=path, method=method)
                self.assertEqual(status, expected)
                if expected == 405:
                    self.assertEqual(response.getheader("Allow"), "POST")
                event = self.sink.event(response)
                self.assertEqual((event["method"], event["path"], event["status"]), (method, path, expected))
                self.assertEqual(problem_codes(event)[0], code)

    def test_keep_alive_connection_records_each_request(self):
        conn = self.sink.connection()
        self.addCleanup(conn.close)
        ids = []
        for result in ("ok", "failed", "skipped"):
            conn.request("POST", PATH, body=utf16(f"result={result}"), headers=GOOD_HEADERS)
            response = conn.getresponse()
            response.read()
            self.assertEqual(response.status, 200)
            ids.append(int(response.getheader("X-Sink-Event")))
        events = {e["id"]: e for e in self.sink.events()}
        self.assertEqual([events[i]["fields"]["result"] for i in ids], ["ok", "failed", "skipped"])
        self.assertEqual(len({events[i]["client"] for i in ids}), 1)

    def test_chunked_body(self):
        conn = self.sink.connection()
        self.addCleanup(conn.close)
        chunks = [utf16("event_type=with"), utf16("draw&result=ok")]
        conn.request("POST", PATH, body=iter(chunks), headers=GOOD_HEADERS, encode_chunked=True)
        response = conn.getresponse()
        response.read()
        event = self.sink.event(response)
        self.assertEqual(event["fields"], {"event_type": "withdraw", "result": "ok"})
        self.assertEqual(event["problems"], [])

    def test_concurrent_clients_all_recorded(self):
        errors = []

        def send(n):
            try:
                status, _, _ = self.sink.post(utf16(f"updater_id=client-{n}"))
                if status != 200:
                    errors.append(status)
            except Exception as exc:  # reported below, a thread cannot fail the test itself
                errors.append(exc)

        threads = [threading.Thread(target=send, args=(n,)) for n in range(12)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])
        events = [e for e in self.sink.events() if e["fields"].get("updater_id", "").startswith("client-")]
        self.assertEqual(sorted(e["fields"]["updater_id"] for e in events), sorted(f"client-{n}" for n in range(12)))
        self.assertEqual(len({e["id"] for e in events}), 12)


class StatusOptionTest(SinkTestCase):
    sink_args = ("--status", "503")

    def test_chosen_status_answered_and_recorded(self):
        status, response, _ = self.sink.post(utf16("event_type=withdraw&result=ok"))
        self.assertEqual(status, 503)
        event = self.sink.event(response)
        self.assertEqual(event["status"], 503)
        self.assertEqual(event["problems"], [])
        # Routing errors keep their own status.
        status, _, _ = self.sink.post(utf16("result=ok"), path="/elsewhere")
        self.assertEqual(status, 404)


class StallModeTest(SinkTestCase):
    sink_args = ("--mode", "stall")

    def test_client_times_out_and_request_is_recorded(self):
        conn = self.sink.connection(timeout=0.5)
        self.addCleanup(conn.close)
        conn.request("POST", PATH, body=utf16("result=ok"), headers=GOOD_HEADERS)
        with self.assertRaises(TimeoutError):
            conn.getresponse()
        events = wait_for(self.sink.events, "the stalled request to be recorded")
        self.assertEqual(events[0]["fields"], {"result": "ok"})
        self.assertIsNone(events[0]["status"])
        self.assertEqual(events[0]["mode"], "stall")

    def test_stopping_releases_stalled_clients(self):
        conn = self.sink.connection()
        self.addCleanup(conn.close)
        conn.request("POST", PATH, body=utf16("result=ok"), headers=GOOD_HEADERS)
        wait_for(self.sink.events, "the stalled request to be recorded")
        self.assertEqual(self.sink.stop(), 0)
        # The client sees the connection end rather than waiting out its own timeout.
        with self.assertRaises((ConnectionError, ssl.SSLError)) as caught:
            conn.getresponse()
        self.assertNotIsInstance(caught.exception, TimeoutError)


class ResetModeTest(SinkTestCase):
    sink_args = ("--mode", "reset")

    def test_client_sees_connection_reset(self):
        raw = socket.create_connection(("localhost", self.sink.port), timeout=PATIENCE)
        tls = self.sink.context.wrap_socket(raw, server_hostname="localhost")
        self.addCleanup(tls.close)
        body = utf16("result=ok")
        head = "".join(f"{k}: {v}\r\n" for k, v in GOOD_HEADERS.items())
        tls.sendall(
            f"POST {PATH} HTTP/1.1\r\nHost: localhost\r\n{head}Content-Length: {len(body)}\r\n\r\n".encode() + body
        )
        # Python's TLS layer turns a reset into a plain EOF, so read the TCP error itself:
        # an orderly close (FIN) would leave it at 0.
        error = wait_for(lambda: tls.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR), "the connection to fail")
        self.assertEqual(error, errno.ECONNRESET)
        self.assertEqual(tls.recv(4096), b"", "no HTTP answer expected")
        events = self.sink.events()
        self.assertEqual([e["fields"] for e in events], [{"result": "ok"}])
        self.assertIsNone(events[0]["status"])
        self.assertEqual(events[0]["mode"], "reset")


class RefuseModeTest(SinkTestCase):
    sink_args = ("--mode", "refuse")

    def test_connection_refused_until_stopped(self):
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("localhost", self.sink.port), timeout=PATIENCE).close()
        self.assertIsNone(self.sink.proc.poll())
        self.assertEqual(self.sink.stop(), 0)


class LifecycleTest(unittest.TestCase):
    def test_stops_cleanly_on_signals(self):
        for signum in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal.Signals(signum).name):
                sink = Sink()
                self.addCleanup(sink.close)
                status, _, _ = sink.post(utf16("result=ok"))
                self.assertEqual(status, 200)
                self.assertEqual(sink.stop(signum), 0)
                self.assertIn("stopped", sink.log_text())
                with self.assertRaises(ConnectionRefusedError):
                    socket.create_connection(("localhost", sink.port), timeout=PATIENCE).close()

    def test_port_in_use_fails(self):
        taken = socket.socket()
        self.addCleanup(taken.close)
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        with tempfile.TemporaryDirectory() as d:
            for name in ("server.pem", "server.key"):
                shutil.copy(os.path.join(_certs_dir, name), d)
            result = run_cli("serve", "--dir", d, "--port", str(taken.getsockname()[1]), check=False)
        self.assertEqual(result.returncode, 2)
        self.assertIn("cannot listen", result.stderr)

    def test_missing_certificates_fail(self):
        with tempfile.TemporaryDirectory() as d:
            result = run_cli("serve", "--dir", d, "--port", "0", check=False)
        self.assertEqual(result.returncode, 2)
        self.assertIn("make-certs", result.stderr)


class RecordsTest(SinkTestCase):
    share_sink = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.sink.post(
            utf16(
                "event_type=withdraw&result=failed&app_name=Halvern Notes&package_family_name=Halvern.Notes_abc"
                "&version=1.2.3.0&install_type=per-user&error_code=0x80073CF1&error_message=not found\r\nagain"
            )
        )
        cls.sink.post(utf16("event_type=withdraw&result=ok&app_name=Café 日本"), headers={"User-Agent": "curl"})
        cls.sink.post(utf16("result=ok"), path="/nowhere")

    def test_table_shows_one_row_per_event(self):
        out = run_cli("table", "--dir", self.sink.dir).stdout
        lines = out.splitlines()
        self.assertEqual(len(lines), 5, out)
        for heading in ("event_type", "result", "app_name", "package_family_name", "version", "install_type",
                        "error_code", "error_message", "problems"):
            self.assertIn(heading, lines[0])
        for value in ("failed", "Halvern Notes", "Halvern.Notes_abc", "1.2.3.0", "per-user", "0x80073CF1",
                      "not found"):
            self.assertIn(value, lines[2])
        self.assertNotIn("bad-", lines[2])
        self.assertIn("Café 日本", lines[3])
        self.assertIn("bad-content-type", lines[3])
        self.assertIn("bad-user-agent", lines[3])
        self.assertIn("404", lines[4])
        self.assertIn("wrong-path", lines[4])

    def test_table_json_matches_events_file(self):
        # The table reads the database, so this also shows that both stores agree.
        printed = json.loads(run_cli("table", "--dir", self.sink.dir, "--json").stdout)
        self.assertEqual(len(printed), 3)
        self.assertEqual(printed, self.sink.events())
        # Arrival order of the pairs survives the round trip through SQLite.
        self.assertEqual(list(printed[0]["fields"])[:3], ["event_type", "result", "app_name"])

    def test_table_without_database_fails(self):
        with tempfile.TemporaryDirectory() as d:
            result = run_cli("table", "--dir", d, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("no event database", result.stderr)


class CertificatesTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="sink-certs-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        for name in ("ca.key", "ca.pem", "ca.der", "server.key", "server.pem"):
            shutil.copy(os.path.join(_certs_dir, name), self.dir)

    def read(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def openssl(self, *args):
        return subprocess.run(["openssl", *args], capture_output=True, text=True, check=True).stdout

    def x509(self, name, *args):
        return self.openssl("x509", "-in", os.path.join(self.dir, name), "-noout", *args)

    def verify_server(self):
        return subprocess.run(
            ["openssl", "verify", "-CAfile", os.path.join(self.dir, "ca.pem"), "-purpose", "sslserver",
             "-verify_hostname", "localhost", os.path.join(self.dir, "server.pem")],
            capture_output=True,
            text=True,
        )

    def test_certificate_contents(self):
        ca = self.x509("ca.pem", "-text")
        self.assertIn("CA:TRUE", ca)
        server = self.x509("server.pem", "-text")
        self.assertIn("DNS:localhost", server)
        self.assertIn("TLS Web Server Authentication", server)
        self.assertIn("CA:FALSE", server)
        for text in (ca, server):
            self.assertIn("Public-Key: (2048 bit)", text)
            self.assertIn("sha256WithRSAEncryption", text)
        self.assertEqual(self.verify_server().returncode, 0, self.verify_server().stderr)
        self.assertEqual(ssl.PEM_cert_to_DER_cert(self.read("ca.pem").decode()), self.read("ca.der"))
        for name in ("ca.pem", "server.pem"):
            start = self.x509(name, "-startdate").strip().split("=", 1)[1]
            end = self.x509(name, "-enddate").strip().split("=", 1)[1]
            now = datetime.datetime.now(datetime.timezone.utc).timestamp()
            self.assertLess(ssl.cert_time_to_seconds(start), now - 86400, f"{name} notBefore {start}")
            self.assertGreater(ssl.cert_time_to_seconds(end), now + 300 * 86400, f"{name} notAfter {end}")

    def test_rerun_reuses_files(self):
        names = ("ca.key", "ca.pem", "ca.der", "server.key", "server.pem")
        before = {n: self.read(n) for n in names}
        result = run_cli("make-certs", "--dir", self.dir)
        self.assertEqual({n: self.read(n) for n in names}, before)
        self.assertIn("reused", result.stdout)

    def test_partial_set_is_completed(self):
        # (files removed, files that must change, files that must stay)
        cases = [
            (("server.pem", "server.key"), ("server.pem", "server.key"), ("ca.pem", "ca.key", "ca.der")),
            (("ca.der",), (), ("ca.pem", "ca.key", "ca.der", "server.pem")),
            (("ca.key",), ("ca.pem", "ca.key", "ca.der", "server.pem", "server.key"), ()),
        ]
        for removed, changed, kept in cases:
            with self.subTest(removed=removed):
                before = {n: self.read(n) for n in ("ca.key", "ca.pem", "ca.der", "server.key", "server.pem")}
                for name in removed:
                    os.remove(os.path.join(self.dir, name))
                run_cli("make-certs", "--dir", self.dir)
                for name in changed:
                    self.assertNotEqual(self.read(name), before[name], name)
                for name in kept:
                    self.assertEqual(self.read(name), before[name], name)
                self.assertEqual(self.verify_server().returncode, 0, self.verify_server().stderr)
                self.assertEqual(ssl.PEM_cert_to_DER_cert(self.read("ca.pem").decode()), self.read("ca.der"))

    def test_only_localhost_with_the_ca_is_trusted(self):
        sink = Sink()
        self.addCleanup(sink.close)
        # Without ca.pem the throwaway CA is unknown: nothing outside the test trusts it.
        conn = http.client.HTTPSConnection("localhost", sink.port, context=ssl.create_default_context(),
                                           timeout=PATIENCE)
        self.addCleanup(conn.close)
        with self.assertRaises(ssl.SSLCertVerificationError):
            conn.request("POST", PATH, body=utf16("result=ok"), headers=GOOD_HEADERS)
        conn = http.client.HTTPSConnection("127.0.0.1", sink.port, context=sink.context, timeout=PATIENCE)
        self.addCleanup(conn.close)
        with self.assertRaises(ssl.SSLCertVerificationError):
            conn.request("POST", PATH, body=utf16("result=ok"), headers=GOOD_HEADERS)
        self.assertEqual(sink.events(), [])


class RegTrustTest(unittest.TestCase):
    def parse_blob(self, blob):
        records = []
        offset = 0
        while offset < len(blob):
            prop_id, reserved, length = struct.unpack_from("<III", blob, offset)
            offset += 12
            records.append((prop_id, reserved, blob[offset : offset + length]))
            offset += length
        self.assertEqual(offset, len(blob), "records overrun the blob")
        return records

    def test_reg_file_adds_ca_to_root_store(self):
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, "trust.reg")
            run_cli("reg-trust", "--dir", _certs_dir, "--out", out)
            with open(out, "rb") as f:
                raw = f.read()
        with open(os.path.join(_certs_dir, "ca.der"), "rb") as f:
            der = f.read()

        self.assertTrue(raw.startswith(b"\xff\xfe"))
        text = raw[2:].decode("utf-16-le")
        self.assertNotIn("\n", text.replace("\r\n", ""), "every line ends in CRLF")
        lines = text.split("\r\n")
        self.assertEqual(lines[0], "Windows Registry Editor Version 5.00")

        thumbprint = hashlib.sha1(der).hexdigest().upper()
        key = rf"[HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\Root\Certificates\{thumbprint}]"
        self.assertEqual([l for l in lines if l.startswith("[")], [key])

        start = next(i for i, l in enumerate(lines) if l.startswith('"Blob"=hex:'))
        value = ""
        for line in lines[start:]:
            value += line.strip()
            if not value.endswith("\\"):
                break
            value = value[:-1]
        blob = bytes.fromhex(value[len('"Blob"=hex:') :].replace(",", ""))

        records = self.parse_blob(blob)
        self.assertEqual([r[0] for r in records], [3, 32])
        self.assertEqual({r[1] for r in records}, {1})
        self.assertEqual(records[0][2], hashlib.sha1(der).digest())
        self.assertEqual(records[1][2], der)


if __name__ == "__main__":
    unittest.main()
