#!/usr/bin/env python3
"""Local HTTPS sink for HalvernCleanup telemetry events.

Receives the events the installer posts, records every request (with the
problems found in it) to DIR/events.jsonl and DIR/events.db, and prints them
back as a table.  Standard library only; certificates come from the
`openssl` command line tool.

    telemetry_sink.py make-certs --dir DIR
    telemetry_sink.py serve      --dir DIR --port N [--status CODE]
                                 [--mode normal|stall|reset|refuse]
                                 [--ready-file PATH] [--bind ADDR]
    telemetry_sink.py table      --dir DIR [--json]
    telemetry_sink.py reg-trust  --dir DIR --out FILE.reg
"""

import argparse
import datetime
import hashlib
import http.server
import json
import os
import re
import shutil
import signal
import socket
import socketserver
import sqlite3
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import unicodedata

EVENT_PATH = "/msix_installer/log_event"
EXPECTED_CONTENT_TYPE = "application/x-www-form-urlencoded; charset=utf-16"
EXPECTED_USER_AGENT = "Halvern MSIX Installer Telemetry/1.0"

KNOWN_KEYS = (
    "timestamp_ms",
    "installer_name",
    "app_name",
    "event_type",
    "package_family_name",
    "version",
    "updater_id",
    "os_version",
    "arch",
    "result",
    "error_code",
    "error_message",
    "duration_ms",
    "install_type",
    "command_line",
)
NUMERIC_KEYS = ("timestamp_ms", "duration_ms")

# Anything bigger than this is not a telemetry event; refuse to buffer it.
MAX_BODY = 8 * 1024 * 1024

CA_NAME = "Halvern Telemetry Sink Throwaway CA"
CERT_FILES = ("ca.key", "ca.pem", "ca.der", "server.key", "server.pem")


# ---------------------------------------------------------------------------
# Body decoding
# ---------------------------------------------------------------------------

_ESCAPES = {"%25": "%", "%26": "&", "%3D": "=", "%2B": "+"}
# One pass over all four escapes, so "%2526" becomes "%26" and not "&".
_ESCAPE_RE = re.compile("%25|%26|%3D|%2B")
_STRAY_PERCENT_RE = re.compile("%(?!25|26|3D|2B)")


def unescape(text):
    return _ESCAPE_RE.sub(lambda m: _ESCAPES[m.group(0)], text)


def _problem(code, detail):
    return f"{code}: {detail}"


def decode_body(body):
    """Decode a UTF-16LE form body into (fields, problems).

    fields keeps the order the pairs arrived in; on a duplicate key the first
    value is kept and the duplicate is reported.
    """
    problems = []
    fields = {}
    if not body:
        problems.append(_problem("empty-body", "no bytes in the body"))
        return fields, problems

    if body.startswith(b"\xff\xfe"):
        problems.append(_problem("bom", "body starts with a UTF-16LE byte order mark"))
        body = body[2:]
    elif body.startswith(b"\xfe\xff"):
        problems.append(_problem("bom", "body starts with a UTF-16BE byte order mark"))
        body = body[2:]

    if len(body) % 2:
        problems.append(_problem("odd-length", f"{len(body)} bytes is not a whole number of UTF-16 units"))
        body = body[:-1]

    try:
        text = body.decode("utf-16-le")
    except UnicodeDecodeError as exc:
        problems.append(_problem("bad-utf16", f"not valid UTF-16LE ({exc.reason} at byte {exc.start})"))
        text = body.decode("utf-16-le", errors="replace")

    if "\x00" in text:
        problems.append(_problem("nul", f"NUL code unit at character {text.index(chr(0))}"))

    if not text:
        return fields, problems

    for index, pair in enumerate(text.split("&"), start=1):
        if pair == "":
            problems.append(_problem("empty-pair", f"pair {index} is empty (stray '&')"))
            continue
        raw_key, sep, raw_value = pair.partition("=")
        if not sep:
            problems.append(_problem("missing-equals", f"pair {index} has no '=': {pair[:40]!r}"))
        if "=" in raw_value:
            problems.append(_problem("stray-equals", f"unescaped '=' in the value of {raw_key!r}"))
        for part, what in ((raw_key, "key"), (raw_value, "value")):
            if _STRAY_PERCENT_RE.search(part):
                problems.append(_problem("stray-percent", f"'%' that is not %25/%26/%3D/%2B in {what} {raw_key!r}"))
            if "+" in part:
                problems.append(_problem("stray-plus", f"unescaped '+' in {what} {raw_key!r}"))

        key = unescape(raw_key)
        value = unescape(raw_value)
        if key == "":
            problems.append(_problem("empty-key", f"pair {index} has an empty key"))
        if key in fields:
            problems.append(_problem("duplicate-key", f"{key!r} sent again in pair {index}; first value kept"))
            continue
        if key and key not in KNOWN_KEYS:
            problems.append(_problem("unknown-key", repr(key)))
        if key in NUMERIC_KEYS and not (value.isascii() and value.isdigit()):
            problems.append(_problem("bad-number", f"{key} is not a non-negative integer: {value[:40]!r}"))
        fields[key] = value
    return fields, problems


def header_problems(headers):
    problems = []
    for name, expected, code in (
        ("Content-Type", EXPECTED_CONTENT_TYPE, "bad-content-type"),
        ("User-Agent", EXPECTED_USER_AGENT, "bad-user-agent"),
    ):
        values = headers.get_all(name) or []
        if not values:
            problems.append(_problem(code, f"no {name} header"))
        elif len(values) > 1:
            problems.append(_problem(code, f"{len(values)} {name} headers"))
        elif values[0] != expected:
            problems.append(_problem(code, f"got {values[0]!r}"))
    return problems


# ---------------------------------------------------------------------------
# Event store
# ---------------------------------------------------------------------------

_SCHEMA = """
CREATE TABLE IF NOT EXISTS events (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    received TEXT NOT NULL,
    client TEXT NOT NULL,
    mode TEXT NOT NULL,
    method TEXT NOT NULL,
    path TEXT NOT NULL,
    http_version TEXT NOT NULL,
    headers TEXT NOT NULL,
    body BLOB NOT NULL,
    fields TEXT NOT NULL,
    problems TEXT NOT NULL,
    status INTEGER
)
"""


def db_path(directory):
    return os.path.join(directory, "events.db")


def jsonl_path(directory):
    return os.path.join(directory, "events.jsonl")


class EventStore:
    """Writes each event to SQLite and the JSON lines file under one lock."""

    def __init__(self, directory):
        self._lock = threading.Lock()
        self._jsonl_path = jsonl_path(directory)
        self._db = sqlite3.connect(db_path(directory), check_same_thread=False)
        # A throwaway test record: surviving a sink crash is enough, an fsync
        # per event only slows clients down.
        self._db.execute("PRAGMA synchronous = OFF")
        self._db.execute(_SCHEMA)
        self._db.commit()

    def add(self, event):
        with self._lock:
            if self._db is None:
                return None
            cur = self._db.execute(
                "INSERT INTO events (received, client, mode, method, path, http_version, headers, body,"
                " fields, problems, status) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                (
                    event["received"],
                    event["client"],
                    event["mode"],
                    event["method"],
                    event["path"],
                    event["http_version"],
                    json.dumps(event["headers"], ensure_ascii=False),
                    bytes.fromhex(event["body_hex"]),
                    json.dumps(event["fields"], ensure_ascii=False),
                    json.dumps(event["problems"], ensure_ascii=False),
                    event["status"],
                ),
            )
            self._db.commit()
            event = {"id": cur.lastrowid, **event}
            with open(self._jsonl_path, "a", encoding="utf-8") as out:
                out.write(json.dumps(event, ensure_ascii=False) + "\n")
            return event["id"]

    def close(self):
        with self._lock:
            if self._db is not None:
                self._db.close()
                self._db = None


def load_events(directory):
    path = db_path(directory)
    if not os.path.exists(path):
        raise FileNotFoundError(f"no event database at {path}; has the sink run with --dir {directory}?")
    # Read-only so a reader never creates or locks the sink's database for writing.
    db = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    try:
        rows = db.execute(
            "SELECT id, received, client, mode, method, path, http_version, headers, body, fields,"
            " problems, status FROM events ORDER BY id"
        ).fetchall()
    finally:
        db.close()
    events = []
    for row in rows:
        (id_, received, client, mode, method, path_, version, headers, body, fields, problems, status) = row
        events.append(
            {
                "id": id_,
                "received": received,
                "client": client,
                "mode": mode,
                "method": method,
                "path": path_,
                "http_version": version,
                "headers": json.loads(headers),
                "body_hex": bytes(body).hex(),
                "fields": json.loads(fields),
                "problems": json.loads(problems),
                "status": status,
            }
        )
    return events


# ---------------------------------------------------------------------------
# HTTPS server
# ---------------------------------------------------------------------------


class SinkHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "HalvernTelemetrySink/1.0"
    sys_version = ""
    # Drop idle keep-alive connections eventually; stalled ones are held separately.
    timeout = 60

    def do_POST(self):
        self._handle()

    def do_GET(self):
        self._handle()

    def do_HEAD(self):
        self._handle()

    def do_PUT(self):
        self._handle()

    def do_DELETE(self):
        self._handle()

    def do_PATCH(self):
        self._handle()

    def do_OPTIONS(self):
        self._handle()

    def _read_body(self, problems):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            return self._read_chunked(problems)
        length_text = self.headers.get("Content-Length")
        if length_text is None:
            if self.command in ("POST", "PUT", "PATCH"):
                problems.append(_problem("no-length", "neither Content-Length nor chunked encoding"))
            return b""
        try:
            length = int(length_text)
            if length < 0:
                raise ValueError
        except ValueError:
            problems.append(_problem("bad-length", f"Content-Length {length_text!r}"))
            self.close_connection = True
            return b""
        if length > MAX_BODY:
            problems.append(_problem("too-large", f"Content-Length {length} over {MAX_BODY}; body not read"))
            self.close_connection = True
            return b""
        body = self.rfile.read(length)
        if len(body) < length:
            problems.append(_problem("short-body", f"got {len(body)} of {length} bytes"))
            self.close_connection = True
        return body

    def _read_chunked(self, problems):
        body = bytearray()
        while True:
            line = self.rfile.readline(1024)
            try:
                size = int(line.split(b";")[0].strip(), 16)
            except ValueError:
                problems.append(_problem("bad-chunk", f"chunk size line {line[:40]!r}"))
                self.close_connection = True
                return bytes(body)
            if size == 0:
                break
            if len(body) + size > MAX_BODY:
                problems.append(_problem("too-large", f"chunked body over {MAX_BODY} bytes"))
                self.close_connection = True
                return bytes(body)
            body += self.rfile.read(size)
            self.rfile.readline(1024)
        # Trailer section ends with an empty line.
        while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
            pass
        return bytes(body)

    def _handle(self):
        config = self.server.config
        problems = []
        fields = {}
        body = self._read_body(problems)

        if self.path != EVENT_PATH:
            status = 404
            problems.insert(0, _problem("wrong-path", f"{self.command} {self.path[:200]}"))
        elif self.command != "POST":
            status = 405
            problems.insert(0, _problem("wrong-method", self.command))
        else:
            status = config.status
            problems = header_problems(self.headers) + problems
            fields, body_problems = decode_body(body)
            problems += body_problems

        answered = config.mode == "normal"
        event = {
            "received": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="milliseconds"),
            "client": f"{self.client_address[0]}:{self.client_address[1]}",
            "mode": config.mode,
            "method": self.command,
            "path": self.path,
            "http_version": self.request_version,
            "headers": [[name, value] for name, value in self.headers.items()],
            "body_hex": body.hex(),
            "fields": fields,
            "problems": problems,
            "status": status if answered else None,
        }
        # Record before answering: once the client sees a reply, the event is on disk.
        event_id = self.server.store.add(event)
        self._log_event(event_id, event)

        if config.mode == "stall":
            self.server.stopping.wait()
            self.close_connection = True
            return
        if config.mode == "reset":
            self._reset()
            return

        reply = b"" if status < 400 else f"{status} {self.responses[status][0]}\n".encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(reply)))
        if event_id is not None:
            self.send_header("X-Sink-Event", str(event_id))
        if status == 405:
            self.send_header("Allow", "POST")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(reply)

    def _reset(self):
        # SO_LINGER 0 turns close() into a TCP RST; detach first so nothing
        # (TLS close_notify, shutdown(SHUT_WR)) gets sent before it.
        self.close_connection = True
        sock = self.connection
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        fd = sock.detach()
        socket.close(fd)

    def _log_event(self, event_id, event):
        fields = event["fields"]
        summary = " ".join(f"{k}={fields[k]!r}" for k in ("event_type", "result", "app_name") if k in fields)
        status = event["status"] if event["status"] is not None else f"({event['mode']})"
        print(
            f"#{event_id} {event['method']} {event['path'][:80]} -> {status} {summary}"
            f" problems={len(event['problems'])}",
            file=sys.stderr,
            flush=True,
        )

    def log_message(self, format, *args):
        # Events are logged by _log_event; keep only protocol errors.
        pass

    def log_error(self, format, *args):
        print(f"{self.client_address[0]}: " + (format % args), file=sys.stderr, flush=True)


class SinkServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def __init__(self, address, family, config, store, ssl_context):
        self.address_family = family
        self.config = config
        self.store = store
        self.ssl_context = ssl_context
        self.stopping = threading.Event()
        super().__init__(address, SinkHandler)

    def finish_request(self, request, client_address):
        # The TLS handshake runs here, in the connection's own thread, so a
        # slow or silent client never holds up accept().
        request.settimeout(SinkHandler.timeout)
        # TLS writes several small records per exchange; Nagle plus the
        # client's delayed ACK would add ~40 ms to some of them.
        request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            tls = self.ssl_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as exc:
            print(f"{client_address[0]}: TLS handshake failed: {exc}", file=sys.stderr, flush=True)
            return
        try:
            super().finish_request(tls, client_address)
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        print(f"{client_address[0]}: connection error: {exc!r}", file=sys.stderr, flush=True)


class ServeConfig:
    def __init__(self, status, mode):
        self.status = status
        self.mode = mode


def write_ready_file(path, port):
    # Write then rename so a waiting test never reads a half-written port.
    tmp = f"{path}.tmp{os.getpid()}"
    with open(tmp, "w", encoding="ascii") as out:
        out.write(f"{port}\n")
    os.replace(tmp, path)


def _address_family(bind):
    return socket.AF_INET6 if ":" in bind else socket.AF_INET


def serve(args):
    stop = threading.Event()

    def on_signal(signum, frame):
        stop.set()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)

    family = _address_family(args.bind)
    if args.mode == "refuse":
        # Hold the port bound but never listen: connections get refused, and
        # nothing else can take the port while the test expects a refusal.
        holder = socket.socket(family, socket.SOCK_STREAM)
        try:
            holder.bind((args.bind, args.port))
        except OSError as exc:
            print(f"cannot bind {args.bind}:{args.port}: {exc}", file=sys.stderr)
            return 2
        port = holder.getsockname()[1]
        if args.ready_file:
            write_ready_file(args.ready_file, port)
        print(f"refusing connections on {args.bind}:{port} (bound, not listening)", file=sys.stderr, flush=True)
        while not stop.wait(3600):
            pass
        holder.close()
        return 0

    cert = os.path.join(args.dir, "server.pem")
    key = os.path.join(args.dir, "server.key")
    if not (os.path.exists(cert) and os.path.exists(key)):
        print(f"no server.pem/server.key in {args.dir}; run make-certs --dir {args.dir} first", file=sys.stderr)
        return 2
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)

    store = EventStore(args.dir)
    try:
        server = SinkServer((args.bind, args.port), family, ServeConfig(args.status, args.mode), store, context)
    except OSError as exc:
        store.close()
        print(f"cannot listen on {args.bind}:{args.port}: {exc}", file=sys.stderr)
        return 2

    port = server.server_address[1]
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05}, daemon=True)
    thread.start()
    if args.ready_file:
        write_ready_file(args.ready_file, port)
    print(
        f"listening on https://{args.bind}:{port}{EVENT_PATH} mode={args.mode} status={args.status}",
        file=sys.stderr,
        flush=True,
    )
    while not stop.wait(3600):
        pass

    server.stopping.set()  # releases stalled connections
    server.shutdown()
    server.server_close()
    store.close()  # waits for an in-flight write to finish
    print("stopped", file=sys.stderr, flush=True)
    return 0


# ---------------------------------------------------------------------------
# Certificates
# ---------------------------------------------------------------------------

_OPENSSL_CONF = """\
[ca]
default_ca = sink_ca

[sink_ca]
dir = {dir}
database = $dir/index.txt
serial = $dir/serial
new_certs_dir = $dir
default_md = sha256
policy = policy_any
unique_subject = no
copy_extensions = none
email_in_dn = no

[policy_any]
commonName = supplied

[req]
distinguished_name = req_dn
prompt = no

[req_dn]
CN = placeholder

[ext_ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[ext_server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid, issuer
"""


def _openssl(*args):
    result = subprocess.run(["openssl", *args], capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"openssl {args[0]} failed:\n{result.stderr.strip()}")
    return result.stdout


def _write_private(path, data):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as out:
        out.write(data)


def make_certs(directory):
    """Create (or reuse) the throwaway CA and the localhost server certificate."""
    os.makedirs(directory, exist_ok=True)
    paths = {name: os.path.join(directory, name) for name in CERT_FILES}
    have_ca = os.path.exists(paths["ca.key"]) and os.path.exists(paths["ca.pem"])
    have_server = os.path.exists(paths["server.key"]) and os.path.exists(paths["server.pem"])
    created = []

    # `openssl ca` rather than `x509 -req`: it is the one that takes a start
    # date on OpenSSL 3.0, and a back-dated notBefore survives clock skew in VMs.
    now = datetime.datetime.now(datetime.timezone.utc)
    start = (now - datetime.timedelta(days=3)).strftime("%Y%m%d%H%M%SZ")
    end = (now + datetime.timedelta(days=365)).strftime("%Y%m%d%H%M%SZ")

    with tempfile.TemporaryDirectory(prefix="sink-ca-") as work:
        conf = os.path.join(work, "openssl.cnf")
        with open(conf, "w", encoding="ascii") as out:
            out.write(_OPENSSL_CONF.format(dir=work))
        open(os.path.join(work, "index.txt"), "w").close()

        def sign(csr, out_pem, extensions, selfsign):
            issuer = ["-selfsign", "-keyfile", os.path.join(work, "ca.key")] if selfsign else [
                "-cert", paths["ca.pem"], "-keyfile", paths["ca.key"]]
            _openssl("ca", "-batch", "-config", conf, "-notext", "-rand_serial", "-extensions", extensions,
                     "-startdate", start, "-enddate", end, *issuer, "-in", csr, "-out", out_pem)

        if not have_ca:
            # A new CA invalidates any server certificate signed by an old one.
            have_server = False
            ca_key = os.path.join(work, "ca.key")
            _openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", ca_key)
            csr = os.path.join(work, "ca.csr")
            _openssl("req", "-new", "-config", conf, "-key", ca_key, "-subj", f"/CN={CA_NAME}", "-out", csr)
            sign(csr, os.path.join(work, "ca.pem"), "ext_ca", selfsign=True)
            with open(ca_key, "rb") as src:
                _write_private(paths["ca.key"], src.read())
            shutil.copyfile(os.path.join(work, "ca.pem"), paths["ca.pem"])
            created += ["ca.key", "ca.pem"]

        if not have_ca or not os.path.exists(paths["ca.der"]):
            _openssl("x509", "-in", paths["ca.pem"], "-outform", "DER", "-out", paths["ca.der"])
            created.append("ca.der")

        if not have_server:
            server_key = os.path.join(work, "server.key")
            _openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", server_key)
            csr = os.path.join(work, "server.csr")
            _openssl("req", "-new", "-config", conf, "-key", server_key, "-subj", "/CN=localhost", "-out", csr)
            sign(csr, os.path.join(work, "server.pem"), "ext_server", selfsign=False)
            with open(server_key, "rb") as src:
                _write_private(paths["server.key"], src.read())
            shutil.copyfile(os.path.join(work, "server.pem"), paths["server.pem"])
            created += ["server.key", "server.pem"]
    return created


# ---------------------------------------------------------------------------
# Wine trust
# ---------------------------------------------------------------------------

CERT_SHA1_HASH_PROP_ID = 3
CERT_CERT_PROP_ID = 32
ROOT_CERTS_KEY = r"HKEY_LOCAL_MACHINE\Software\Microsoft\SystemCertificates\Root\Certificates"


def serialized_cert_blob(der):
    """Serialized certificate context as crypt32 keeps it in the registry."""

    def record(prop_id, data):
        return struct.pack("<III", prop_id, 1, len(data)) + data

    return record(CERT_SHA1_HASH_PROP_ID, hashlib.sha1(der).digest()) + record(CERT_CERT_PROP_ID, der)


def reg_hex_lines(name, data, width=76):
    """`"name"=hex:..` split with regedit's backslash continuation lines."""
    lines = []
    line = f'"{name}"=hex:'
    octets = [f"{b:02x}" for b in data]
    for i, octet in enumerate(octets):
        piece = octet + ("," if i < len(octets) - 1 else "")
        if len(line) + len(piece) > width - 1:
            lines.append(line + "\\")
            line = "  "
        line += piece
    lines.append(line)
    return lines


def reg_trust(directory, out_path):
    with open(os.path.join(directory, "ca.der"), "rb") as src:
        der = src.read()
    thumbprint = hashlib.sha1(der).hexdigest().upper()
    lines = ["Windows Registry Editor Version 5.00", "", f"[{ROOT_CERTS_KEY}\\{thumbprint}]"]
    lines += reg_hex_lines("Blob", serialized_cert_blob(der))
    lines.append("")
    text = "\r\n".join(lines) + "\r\n"
    with open(out_path, "wb") as out:
        out.write(b"\xff\xfe" + text.encode("utf-16-le"))
    return thumbprint


# ---------------------------------------------------------------------------
# Table
# ---------------------------------------------------------------------------

TABLE_COLUMNS = (
    ("#", lambda e: str(e["id"])),
    ("time (UTC)", lambda e: e["received"].replace("T", " ")[:19]),
    ("status", lambda e: "-" if e["status"] is None else str(e["status"])),
    ("event_type", lambda e: e["fields"].get("event_type", "")),
    ("result", lambda e: e["fields"].get("result", "")),
    ("app_name", lambda e: e["fields"].get("app_name", "")),
    ("package_family_name", lambda e: e["fields"].get("package_family_name", "")),
    ("version", lambda e: e["fields"].get("version", "")),
    ("install_type", lambda e: e["fields"].get("install_type", "")),
    ("error_code", lambda e: e["fields"].get("error_code", "")),
    ("error_message", lambda e: e["fields"].get("error_message", "")),
    ("problems", lambda e: ", ".join(p.split(":", 1)[0] for p in e["problems"])),
)
MAX_CELL = 48


def _width(text):
    width = 0
    for ch in text:
        if unicodedata.combining(ch):
            continue
        width += 2 if unicodedata.east_asian_width(ch) in ("W", "F") else 1
    return width


def _cell(text):
    # Keep one event on one line: show control characters instead of breaking rows.
    text = text.replace("\r\n", "\u23ce").replace("\n", "\u23ce")
    text = "".join(ch if ch.isprintable() else f"\\x{ord(ch):02x}" if ord(ch) < 256 else "\ufffd" for ch in text)
    if _width(text) > MAX_CELL:
        while _width(text) > MAX_CELL - 1:
            text = text[:-1]
        text += "\u2026"
    return text


def format_table(events):
    headings = [name for name, _ in TABLE_COLUMNS]
    rows = [[_cell(get(event)) for _, get in TABLE_COLUMNS] for event in events]
    widths = [max([_width(h)] + [_width(row[i]) for row in rows]) for i, h in enumerate(headings)]

    def line(cells):
        return "  ".join(c + " " * (w - _width(c)) for c, w in zip(cells, widths)).rstrip()

    out = [line(headings), line(["-" * w for w in widths])]
    out += [line(row) for row in rows]
    if not rows:
        out.append("(no events)")
    return "\n".join(out) + "\n"


# ---------------------------------------------------------------------------
# CLI
# ---------------------------------------------------------------------------


def _status_code(text):
    code = int(text)
    if not 200 <= code <= 599:
        raise argparse.ArgumentTypeError("status must be between 200 and 599")
    return code


def build_parser():
    parser = argparse.ArgumentParser(description="Local HTTPS sink for HalvernCleanup telemetry.")
    sub = parser.add_subparsers(dest="command", required=True)

    p = sub.add_parser("make-certs", help="create a throwaway CA and a localhost server certificate")
    p.add_argument("--dir", required=True)

    p = sub.add_parser("serve", help="receive and record telemetry events over HTTPS")
    p.add_argument("--dir", required=True, help="holds server.pem/server.key; events are written here")
    p.add_argument("--port", type=int, required=True, help="0 picks a free port (see --ready-file)")
    p.add_argument("--bind", default="127.0.0.1", help="loopback address to listen on (default 127.0.0.1)")
    p.add_argument("--status", type=_status_code, default=200, help="HTTP status for event posts (default 200)")
    p.add_argument(
        "--mode",
        choices=("normal", "stall", "reset", "refuse"),
        default="normal",
        help="normal: answer; stall: read the request, never answer until stopped; "
        "reset: read the request, then reset the TCP connection; "
        "refuse: bind the port without listening so connections are refused",
    )
    p.add_argument("--ready-file", help="written with the port number once the sink accepts connections")

    p = sub.add_parser("table", help="print the recorded events")
    p.add_argument("--dir", required=True)
    p.add_argument("--json", action="store_true", help="print the events as a JSON array instead")

    p = sub.add_parser("reg-trust", help="write a .reg file trusting the CA in a Wine prefix")
    p.add_argument("--dir", required=True)
    p.add_argument("--out", required=True)
    return parser


def main(argv=None):
    args = build_parser().parse_args(argv)
    if args.command == "make-certs":
        try:
            created = make_certs(args.dir)
        except (RuntimeError, OSError) as exc:
            print(exc, file=sys.stderr)
            return 1
        print(f"created {', '.join(created)}" if created else "certificates already present, reused")
        return 0
    if args.command == "serve":
        return serve(args)
    if args.command == "table":
        try:
            events = load_events(args.dir)
        except (FileNotFoundError, sqlite3.Error) as exc:
            print(exc, file=sys.stderr)
            return 1
        sys.stdout.reconfigure(errors="backslashreplace")
        if args.json:
            json.dump(events, sys.stdout, ensure_ascii=False, indent=2)
            sys.stdout.write("\n")
        else:
            sys.stdout.write(format_table(events))
        return 0
    if args.command == "reg-trust":
        try:
            thumbprint = reg_trust(args.dir, args.out)
        except OSError as exc:
            print(exc, file=sys.stderr)
            return 1
        print(f"wrote {args.out} (CA thumbprint {thumbprint})")
        return 0
    return 2


if __name__ == "__main__":
    sys.exit(main())
