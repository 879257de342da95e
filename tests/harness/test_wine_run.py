"""Wine starts (cmake/wine-run.sh, through scripts/halvern_wine.py) against a fake `wine`: a start that Wine fails
is tried again, a few times at most, and a program that ran and failed is not."""

import os
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import halvern_wine as harness  # noqa: E402

# Fails the first FAILURES starts as Wine does (its loader hands the command to start.exe), then runs.
FAKE_WINE = r"""#!/bin/sh
echo "$*" >> "$0.starts"
if [ "$(wc -l < "$0.starts")" -le "$FAILURES" ]; then
    echo 'Application could not be started, or no application associated with the specified file.'
    echo 'ShellExecuteEx failed: Internal error.'
    exit 1
fi
echo "ran $*"; exit "$EXIT"
"""


class WineStarts(unittest.TestCase):
    def test_a_failed_start_is_tried_again_boundedly_and_a_failed_run_is_not(self):
        folder = Path(self.enterContext(tempfile.TemporaryDirectory()))
        (folder / "wine").write_text(FAKE_WINE)
        (folder / "wine").chmod(0o755)
        for failures, exit_code, expected in [
                (1, 0, (0, b"ran reg query X\n")),  # Wine failed to start it once: only the started run shows
                (0, 1, (1, b"ran reg query X\n")),  # reg ran and failed (no such key): not tried again
                (2, 1, (1, b"ran reg query X\n")),
                (3, 0, "wine-run.sh: Wine could not start reg in 3 attempts")]:
            (folder / "wine.starts").unlink(missing_ok=True)
            fake = {"PATH": f"{folder}:{os.environ['PATH']}", "FAILURES": str(failures), "EXIT": str(exit_code)}
            try:
                result = harness.wine("reg", "query", "X", check=False, env=fake)
                outcome = (result.returncode, result.stdout)
            except AssertionError as error:  # even unchecked: a program never started did not answer
                outcome = str(error).splitlines()[-1]
            starts = len((folder / "wine.starts").read_text().splitlines())
            self.assertEqual((outcome, starts), (expected, min(failures + 1, 3)), (failures, exit_code))


if __name__ == "__main__":
    unittest.main()
