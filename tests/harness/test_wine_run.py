"""Wine starts (cmake/wine-run.sh, through scripts/halvern_wine.py) against a fake `wine`: a start that Wine fails
is tried again, a few times at most, and a program that ran and failed is not."""

import os
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import halvern_wine as harness  # noqa: E402

# Fails the first FAILURES starts as Wine does, through start.exe or the capture tool; then runs.
FAKE_WINE = r"""#!/bin/sh
echo "$*" >> "$0.starts"
[ "$(wc -l < "$0.starts")" -gt "$FAILURES" ] || case "$1" in
    *HalvernDebugCapture.exe) echo "HalvernDebugCapture: cannot start the command, error 1359" >&2; exit 3;;
    *) echo 'Application could not be started, or no application associated with the specified file.'; exit 1;;
esac
echo "ran $1"; exit "$EXIT"
"""
CAPTURE, NEVER = harness.CAPTURE_EXE, "wine-run.sh: Wine could not start reg in 3 attempts"


class WineStarts(unittest.TestCase):
    def test_a_failed_start_is_tried_again_boundedly_and_a_failed_run_is_not(self):
        folder = Path(self.enterContext(tempfile.TemporaryDirectory()))
        (folder / "wine").write_text(FAKE_WINE)
        (folder / "wine").chmod(0o755)
        for program, failures, exit_code, expected in [
                ("reg", 1, 0, (0, b"ran reg\n")),  # Wine failed to start it once: only the started run shows
                ("reg", 0, 1, (1, b"ran reg\n")),  # reg ran and failed (no such key): not tried again
                ("reg", 3, 0, NEVER),  # even unchecked: a program never started did not answer
                (CAPTURE, 2, 0, (0, f"ran {CAPTURE}\n".encode())),
                (CAPTURE, 0, 4, (4, f"ran {CAPTURE}\n".encode()))]:  # it lost the program it had started
            (folder / "wine.starts").unlink(missing_ok=True)
            fake = {"PATH": f"{folder}:{os.environ['PATH']}", "FAILURES": str(failures), "EXIT": str(exit_code)}
            try:
                result = harness.wine(program, check=False, env=fake)
                outcome = (result.returncode, result.stdout)
            except AssertionError as error:
                outcome = str(error).splitlines()[-1]
            starts = len((folder / "wine.starts").read_text().splitlines())
            self.assertEqual((outcome, starts), (expected, min(failures + 1, 3)), (program, failures, exit_code))


if __name__ == "__main__":
    unittest.main()
