"""The telemetry sink as a child process, for the tests and the demo.

The tool posts to port 443 only, so the sink listens there; a sink that someone else runs on the port
is waited for, within a bound.
"""

import json
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

SINK_SCRIPT = Path(__file__).resolve().parent / "telemetry_sink.py"


def sink_command(*args):
    """Runs one telemetry_sink.py command and returns its stdout."""
    result = subprocess.run([sys.executable, "-B", str(SINK_SCRIPT), *map(str, args)], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=240)
    if result.returncode != 0:
        raise AssertionError(f"telemetry_sink.py {args[0]} exited {result.returncode}: {result.stderr}")
    return result.stdout


class SinkProcess:
    """A sink recording into `directory`, serving with the server certificate from `certificates`."""

    PORT_WAIT_SECONDS = 120

    def __init__(self, directory, certificates, status=200, mode="normal", port=443):
        self.directory = Path(directory)
        for name in ("server.pem", "server.key"):
            shutil.copy(Path(certificates) / name, self.directory / name)
        self.arguments = ["--port", str(port), "--status", str(status), "--mode", mode]
        self.process = None
        self.log = None

    def start(self):
        self.log = open(self.directory / "sink.log", "wb")
        deadline = time.monotonic() + self.PORT_WAIT_SECONDS
        while not self._try_start():
            # Exit code 2: the port is taken, most likely by another sink; wait for it to go.
            if self.process.returncode != 2 or time.monotonic() > deadline:
                self.log.close()
                raise AssertionError(f"the sink did not start:\n{self.output()}")
            time.sleep(1)
        return self

    def _try_start(self):
        ready = self.directory / "ready"
        self.process = subprocess.Popen(
            [sys.executable, "-B", str(SINK_SCRIPT), "serve", "--dir", str(self.directory), *self.arguments,
             "--ready-file", str(ready)],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 60
        while not ready.exists():
            if self.process.poll() is not None:
                return False
            if time.monotonic() > deadline:
                self.stop()
                raise AssertionError(f"the sink did not get ready:\n{self.output()}")
            time.sleep(0.05)
        return True

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.log is not None and not self.log.closed:
            self.log.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    def output(self):
        return (self.directory / "sink.log").read_text(errors="replace")

    def received(self):
        """Every request recorded so far, in arrival order, as the sink's table --json gives them."""
        if not (self.directory / "events.db").exists():
            return []
        return json.loads(sink_command("table", "--dir", self.directory, "--json"))

    def table(self):
        return sink_command("table", "--dir", self.directory)
