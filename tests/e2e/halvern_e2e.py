"""Shared harness for the end-to-end tests: the shipped exe under Wine, its debug output captured.

Everything runs in the test prefix of the build (see scripts/wine-env.sh); ctest passes
HALVERN_BUILD_DIR and HALVERN_WINE_RUN.
"""

import os
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD_DIR = Path(os.environ.get("HALVERN_BUILD_DIR", ROOT / "build" / "windows"))
WINE_RUN = Path(os.environ.get("HALVERN_WINE_RUN", ROOT / "cmake" / "wine-run.sh"))
TOOLS_DIR = BUILD_DIR / "tools"
CLEANUP_EXE = BUILD_DIR / "HalvernCleanup.exe"
CAPTURE_EXE = TOOLS_DIR / "HalvernDebugCapture.exe"

PREFIX = "[HalvernMSIX] "
CLIENTS_KEY = r"Software\HalvernUpdate\Update\Clients"
UPDATE_KEY = r"Software\HalvernUpdate\Update"


def ensure_wine_session():
    """Starts the persistent Wine session unless the test command already did."""
    subprocess.run([str(ROOT / "scripts" / "wine-session.sh"), "start"], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine(*args, check=True, env=None):
    """Runs a Windows program (or a Wine built-in such as reg) and returns the CompletedProcess."""
    run_env = dict(os.environ)
    if env:
        run_env.update(env)
    result = subprocess.run([str(WINE_RUN), *map(str, args)], stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=run_env, timeout=300)
    if check and result.returncode != 0:
        raise AssertionError(f"wine {args!r} exited {result.returncode}: {result.stderr.decode(errors='replace')}")
    return result


class CleanupRun:
    """What one run of HalvernCleanup.exe left: its diagnostic lines and exit code."""

    def __init__(self, raw_output: bytes, exit_code: int):
        self.raw = raw_output.decode("utf-8")
        self.exit_code = exit_code

    @property
    def lines(self):
        """Every captured string, each of which must be one whole prefixed line."""
        return self.raw.splitlines(keepends=True)

    @property
    def messages(self):
        """The lines without prefix and line feed. Fails on any string that is not one whole line."""
        messages = []
        for line in self.lines:
            if not (line.startswith(PREFIX) and line.endswith("\n") and "\r" not in line):
                raise AssertionError(f"malformed diagnostic line: {line!r}")
            messages.append(line[len(PREFIX):-1])
        return messages


def run_cleanup(*arguments, env=None) -> CleanupRun:
    """Runs the exe through the capture tool with the given command-line arguments."""
    result = wine(CAPTURE_EXE, CLEANUP_EXE, *arguments, check=False, env=env)
    return CleanupRun(result.stdout, result.returncode)


# --- registry -----------------------------------------------------------------------------------

def _view_flag(view):
    return {None: [], 32: ["/reg:32"], 64: ["/reg:64"]}[view]


def reg_add(key, value=None, data="", kind="REG_SZ", view=None):
    args = ["reg", "add", key]
    if value is not None:
        args += ["/v", value, "/t", kind, "/d", str(data)]
    wine(*args, "/f", *_view_flag(view))


def reg_delete(key, view=None):
    """Deletes a key and its subtree; a missing key is fine."""
    wine("reg", "delete", key, "/f", *_view_flag(view), check=False)


def reg_import(text):
    """Imports a .reg text (Windows Registry Editor 5.00 format, written as UTF-16LE with BOM, CRLF)."""
    with tempfile.NamedTemporaryFile("wb", suffix=".reg", delete=False) as handle:
        body = "Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\r\n", "\n").replace("\n", "\r\n")
        handle.write(b"\xff\xfe" + body.encode("utf-16-le"))
        path = handle.name
    try:
        wine("regedit", "/S", path)
    finally:
        os.unlink(path)


def reg_export(key, view=None):
    """The key's subtree as exported text, or None when the key does not exist."""
    with tempfile.TemporaryDirectory() as directory:
        path = Path(directory) / "export.reg"
        result = wine("reg", "export", key, path, "/y", *_view_flag(view), check=False)
        if result.returncode != 0 or not path.exists():
            return None
        return path.read_bytes().decode("utf-16")


def reg_key_exists(key, view=None):
    return wine("reg", "query", key, *_view_flag(view), check=False).returncode == 0


def plant_registration(hive, app_id, view=None, **values):
    """Registers an application with the updater: hive "HKCU" or "HKLM", REG_SZ values by name
    (name=..., pv=..., PackageFamilyName=...); a value given as None is left out."""
    key = f"{hive}\\{CLIENTS_KEY}\\{app_id}"
    reg_add(key, view=view)
    for value, data in values.items():
        if data is not None:
            reg_add(key, value, data, view=view)


def updater_registry_snapshot():
    """The updater's keys as exported from HKCU and from both views of HKLM, for before/after checks."""
    return {(hive, view): reg_export(f"{hive}\\Software\\HalvernUpdate", view=view)
            for hive, view in (("HKCU", None), ("HKLM", 32), ("HKLM", 64))}


def remove_updater_keys():
    """Removes the updater's keys from HKCU and from both views of HKLM."""
    for hive, view in (("HKCU", None), ("HKLM", 32), ("HKLM", 64)):
        reg_delete(f"{hive}\\Software\\HalvernUpdate", view=view)
