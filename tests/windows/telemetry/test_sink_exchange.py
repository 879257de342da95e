"""Real WinHTTP exchanges with the telemetry sink, checked from both ends.

Each test starts the sink on port 443 in the state it needs, runs the matching SinkExchange case of
the Windows test program under Wine (which checks the result, the status and the diagnostic line),
stops the sink, and then checks what the sink recorded: the exact body bytes and both headers.

Port 443 is the machine's: a sink that someone else runs there is waited for (within a bound), and
the case without a listener holds the port bound without listening, so that nothing can answer it.
"""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "tools" / "telemetry_sink"))
from sink_process import SinkProcess  # noqa: E402

CERTS = Path(os.environ.get("HALVERN_SINK_CERTS", ROOT / "build" / "windows" / "telemetry_sink"))
WINE_RUN = os.environ.get("HALVERN_WINE_RUN", str(ROOT / "cmake" / "wine-run.sh"))
CLIENT = os.environ.get("HALVERN_TELEMETRY_CLIENT", "")

PATH = "/msix_installer/log_event"
CONTENT_TYPE = "application/x-www-form-urlencoded; charset=utf-16"
USER_AGENT = "Halvern MSIX Installer Telemetry/1.0"

# The fields the SinkExchange cases post, in order (sink_exchange_test.cpp).
FIELDS = [
    ("timestamp_ms", "1704164645678"),
    ("installer_name", "HalvernCleanup"),
    ("app_name", "A & B = 100% + more"),
    ("event_type", "Uninstall"),
    ("package_family_name", "Halvern.Client_abc"),
    ("version", ""),
    ("result", "failure"),
    ("error_message", "MSIXError(UnknownError): x&result=success\r\nCaf\u00e9 \u2603 \U0001F600"),
    ("install_type", "user"),
    ("command_line", '"C:\\Program Files\\Halvern\\HalvernCleanup.exe" /InstallType:MACHINE'),
]


def escape(text):
    return text.replace("%", "%25").replace("&", "%26").replace("=", "%3D").replace("+", "%2B")


def expected_body():
    text = "&".join(f"{escape(key)}={escape(value)}" for key, value in FIELDS)
    return text.encode("utf-16-le")


def setUpModule():
    if not CLIENT:
        raise unittest.SkipTest("HALVERN_TELEMETRY_CLIENT is not set; run through ctest")


class SinkExchange(unittest.TestCase):
    def run_client(self, case, status):
        env = dict(os.environ, HALVERN_SINK_STATUS=str(status))
        result = subprocess.run([WINE_RUN, CLIENT, f"--gtest_filter=SinkExchange.{case}"], env=env,
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=240)
        output = result.stdout.decode(errors="replace") + result.stderr.decode(errors="replace")
        self.assertEqual(result.returncode, 0, output)
        self.assertIn("[  PASSED  ] 1 test", output)

    def exchange(self, case, certificate_set, status=200, mode="normal"):
        directory = tempfile.mkdtemp(prefix="sink-exchange-", dir=CERTS)
        with SinkProcess(directory, CERTS / certificate_set, status, mode) as sink:
            self.run_client(case, status)
        return sink

    def check_one_event(self, sink, status):
        events = sink.received()
        self.assertEqual(len(events), 1, sink.output())
        event = events[0]
        self.assertEqual(event["method"], "POST")
        self.assertEqual(event["path"], PATH)
        headers = [(name.lower(), value) for name, value in event["headers"]]
        self.assertEqual([value for name, value in headers if name == "content-type"], [CONTENT_TYPE])
        self.assertEqual([value for name, value in headers if name == "user-agent"], [USER_AGENT])
        body = bytes.fromhex(event["body_hex"])
        self.assertEqual(body, expected_body())
        self.assertEqual(len(body) % 2, 0)
        self.assertEqual([value for name, value in headers if name == "content-length"], [str(len(body))])
        self.assertEqual(event["fields"], dict(FIELDS))
        self.assertEqual(event["problems"], [])
        self.assertEqual(event["status"], status)

    def test_status_200(self):
        sink = self.exchange("PostsTheFormAndReadsTheStatus", "trusted", 200)
        self.check_one_event(sink, 200)

    def test_status_500(self):
        sink = self.exchange("PostsTheFormAndReadsTheStatus", "trusted", 500)
        self.check_one_event(sink, 500)

    def test_untrusted_certificate(self):
        sink = self.exchange("FailsToSendToASinkItDoesNotTrust", "untrusted")
        self.assertEqual(sink.received(), [], "nothing is sent over a connection that is not trusted")

    def test_no_sink(self):
        # The port is bound but nobody listens: the connection is refused.
        self.exchange("FailsToSendWithNoSinkListening", "trusted", mode="refuse")


if __name__ == "__main__":
    unittest.main()
