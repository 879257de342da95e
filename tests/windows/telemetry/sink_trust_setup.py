"""Test fixture: the sink's certificates, and trust in its throwaway CA inside the Wine test prefix.

Makes (or reuses) two independent throwaway CAs with a "localhost" certificate each: "trusted",
whose CA is added to the prefix's LocalMachine Root store, and "untrusted", whose CA is not. Only
the prefix changes; the host's CA store is never touched.
"""

import hashlib
import os
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]
SINK = ROOT / "tools" / "telemetry_sink" / "telemetry_sink.py"
CERTS = Path(os.environ["HALVERN_SINK_CERTS"])
WINE_RUN = os.environ["HALVERN_WINE_RUN"]
ROOT_CERTIFICATES = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates"


def run(*command):
    result = subprocess.run([str(part) for part in command], stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=240)
    if result.returncode != 0:
        sys.exit(f"{command!r} exited {result.returncode}:\n{result.stdout.decode(errors='replace')}"
                 f"{result.stderr.decode(errors='replace')}")
    return result


def windows_path(path):
    # Wine maps the Unix root to drive Z:.
    return "Z:" + str(path.resolve()).replace("/", "\\")


def main():
    # The event folders of earlier exchanges; a failed run keeps its own until the next one.
    for old in CERTS.glob("sink-exchange-*"):
        shutil.rmtree(old, ignore_errors=True)
    for name in ("trusted", "untrusted"):
        run(sys.executable, SINK, "make-certs", "--dir", CERTS / name)
    trust_file = CERTS / "trust.reg"
    run(sys.executable, SINK, "reg-trust", "--dir", CERTS / "trusted", "--out", trust_file)
    run(WINE_RUN, "regedit", "/S", windows_path(trust_file))

    thumbprint = hashlib.sha1((CERTS / "trusted" / "ca.der").read_bytes()).hexdigest().upper()
    run(WINE_RUN, "reg", "query", f"{ROOT_CERTIFICATES}\\{thumbprint}", "/v", "Blob")
    untrusted = hashlib.sha1((CERTS / "untrusted" / "ca.der").read_bytes()).hexdigest().upper()
    if untrusted == thumbprint:
        sys.exit("the two throwaway CAs are the same certificate")
    print(f"the test prefix trusts the sink CA {thumbprint}")


if __name__ == "__main__":
    main()
