"""Test fixture: the sink's certificates, and trust in its throwaway CA inside the Wine test prefix only (the
host's CA store is never touched)."""

import os
import subprocess
import sys
from pathlib import Path

SINK = Path(__file__).resolve().parents[2] / "tools" / "telemetry_sink" / "telemetry_sink.py"
CERTS = Path(os.environ["HALVERN_SINK_CERTS"]) / "trusted"


def run(*command):
    result = subprocess.run([str(part) for part in command], stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=240)
    if result.returncode != 0:
        sys.exit(f"{command!r} exited {result.returncode}:\n{result.stderr.decode(errors='replace')}")


run(sys.executable, SINK, "make-certs", "--dir", CERTS)
run(sys.executable, SINK, "reg-trust", "--dir", CERTS, "--out", CERTS / "trust.reg")
# Wine maps the Unix root to drive Z:.
run(os.environ["HALVERN_WINE_RUN"], "regedit", "/S", "Z:" + str((CERTS / "trust.reg").resolve()).replace("/", "\\"))
