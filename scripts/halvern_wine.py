"""The tool under Wine, for the demo, the benchmark and the end-to-end tests: the exe run with its debug output
captured, the registry planted and read, the test package manager playing a scenario, and the telemetry sink
receiving the events. Everything runs in the prefix of scripts/wine-env.sh; ctest passes HALVERN_BUILD_DIR,
HALVERN_WINE_RUN and HALVERN_SINK_CERTS.

    python3 scripts/halvern_wine.py trust-sink     makes the sink's certificates and trusts its CA in the prefix
"""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools" / "telemetry_sink"))
from sink_process import SinkProcess, sink_command  # noqa: E402

BUILD_DIR = Path(os.environ.get("HALVERN_BUILD_DIR", ROOT / "build" / "windows"))
WINE_RUN = Path(os.environ.get("HALVERN_WINE_RUN", ROOT / "cmake" / "wine-run.sh"))
CLEANUP_EXE = BUILD_DIR / "HalvernCleanup.exe"
PREVIEW_EXE = BUILD_DIR / "HalvernCleanupPreview.exe"
CAPTURE_EXE = BUILD_DIR / "tools" / "HalvernDebugCapture.exe"
# The capture tool's switch that runs a program undebugged: Wine 8 gives a debuggee wrong register values
# after its first-chance C++ exceptions, which code built with clang trips over.
MONITOR = "/Monitor"
SINK_CERTS = Path(os.environ.get("HALVERN_SINK_CERTS", BUILD_DIR / "telemetry_sink"))
PREFIX = "[HalvernMSIX] "
CLIENTS_KEY = r"Software\HalvernUpdate\Update\Clients"
VIEWS = {None: [], 32: ["/reg:32"], 64: ["/reg:64"]}
NOT_STARTED = 126  # WINE_RUN's exit code when Wine never started the program


def ensure_wine_session():
    """Starts the persistent Wine session unless the test command already did."""
    subprocess.run([str(ROOT / "scripts" / "wine-session.sh"), "start"], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine(*args, check=True, env=None):
    """Runs a Windows program (or a Wine built-in such as reg) and returns the CompletedProcess. A program that
    Wine could not start, even when WINE_RUN tried again, fails even unchecked: it did not answer."""
    result = subprocess.run([str(WINE_RUN), *map(str, args)], stdin=subprocess.DEVNULL, capture_output=True,
                            env={**os.environ, **(env or {})}, timeout=300)
    if result.returncode == NOT_STARTED or (check and result.returncode != 0):
        # reg and regedit write their errors to stdout.
        output = (result.stdout + result.stderr).decode(errors="replace")
        raise AssertionError(f"wine {args!r} exited {result.returncode}: {output}")
    return result


class CleanupRun:
    """What one run of the exe left: its diagnostic lines and exit code."""

    def __init__(self, raw_output, exit_code):
        self.lines = raw_output.decode("utf-8").splitlines(keepends=True)
        self.exit_code = exit_code

    @property
    def messages(self):
        """The lines without prefix and line feed; fails on any string that is not one whole line."""
        for line in self.lines:
            if not (line.startswith(PREFIX) and line.endswith("\n") and "\r" not in line):
                raise AssertionError(f"malformed diagnostic line: {line!r}")
        return [line[len(PREFIX):-1] for line in self.lines]


def run_cleanup(*arguments, env=None, exe=None):
    """Runs the exe with the given command-line arguments, undebugged as it runs unattended, with the capture
    tool reading its debug output."""
    result = wine(CAPTURE_EXE, MONITOR, exe or CLEANUP_EXE, *arguments, check=False, env=env)
    return CleanupRun(result.stdout, result.returncode)


def command_line(*arguments, exe=None):
    """The command line the tool sees when the capture tool starts it with these arguments."""
    return " ".join(f'"{part}"' if " " in part else part for part in (str(exe or CLEANUP_EXE), *arguments))


def windows_path(path):
    """A Unix path as Wine sees it, through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def reg_import(text):
    """Imports registry text (the body of a .reg file) in one go."""
    with tempfile.NamedTemporaryFile("wb", suffix=".reg", delete=False) as handle:
        body = "Windows Registry Editor Version 5.00\r\n\r\n" + text.replace("\n", "\r\n")
        handle.write(b"\xff\xfe" + body.encode("utf-16-le"))
    try:
        wine("regedit", "/S", handle.name)
    finally:
        os.unlink(handle.name)


def reg_export(key, view=None):
    """The key's subtree as exported text, or None when it does not exist."""
    with tempfile.TemporaryDirectory() as directory:
        path = Path(directory) / "export.reg"
        if wine("reg", "export", key, path, "/y", *VIEWS[view], check=False).returncode or not path.exists():
            return None
        return path.read_bytes().decode("utf-16")


def plant_registration(hive, app_id, view=None, **values):
    """Registers an application with the updater: REG_SZ values by name; None leaves one out."""
    key = f"{hive}\\{CLIENTS_KEY}\\{app_id}"
    wine("reg", "add", key, "/f", *VIEWS[view])
    for value, data in values.items():
        if data is not None:
            wine("reg", "add", key, "/v", value, "/t", "REG_SZ", "/d", data, "/f", *VIEWS[view])


def trust_sink_ca():
    """Makes (or reuses) the sink's certificates and trusts their throwaway CA in the prefix's LocalMachine Root
    store only; the host's own CA store is never touched."""
    certificates = SINK_CERTS / "trusted"
    sink_command("make-certs", "--dir", certificates)
    sink_command("reg-trust", "--dir", certificates, "--out", certificates / "trust.reg")
    wine("regedit", "/S", windows_path(certificates / "trust.reg"))


def prepare_prefix():
    """What the tool needs from a fresh prefix to do its whole job: Windows 10 (so that its manifest gets the
    real version), the test package manager registered, and trust in the sink's throwaway CA."""
    wine("winecfg", "-v", "win10")
    subprocess.run([ROOT / "tools" / "test_package_manager" / "register.sh",
                    BUILD_DIR / "tools" / "HalvernTestPackageManager.dll"], check=True, stdout=subprocess.DEVNULL)
    trust_sink_ca()


def reg_key_exists(key, view=None):
    return wine("reg", "query", key, *VIEWS[view], check=False).returncode == 0


def remove_updater_keys():
    """Removes the updater's keys from HKCU and from both views of HKLM."""
    for hive, view in (("HKCU", None), ("HKLM", 32), ("HKLM", 64)):
        wine("reg", "delete", f"{hive}\\Software\\HalvernUpdate", "/f", *VIEWS[view], check=False)


class Sink(SinkProcess):
    """The telemetry sink on port 443, recording into a fresh folder, with the certificate the prefix trusts.
    Use it as a context manager."""

    def __init__(self, status=200):
        SINK_CERTS.mkdir(parents=True, exist_ok=True)
        super().__init__(tempfile.mkdtemp(prefix="e2e-sink-", dir=SINK_CERTS), SINK_CERTS / "trusted", status)

    def __exit__(self, *exc):
        self.stop()
        if exc[0] is None:
            shutil.rmtree(self.directory, ignore_errors=True)
        return False

    def events(self):
        """The fields of every event received, in arrival order; fails on a request with problems."""
        received = self.received()
        for request in received:
            if request["problems"] or request["path"] != "/msix_installer/log_event":
                raise AssertionError(f"a malformed telemetry request: {request}")
        return [request["fields"] for request in received]


class PackageManagerScenario:
    """A scenario for the test package manager in a folder of its own: what the machine holds and the call
    log it writes. `environment` is what a run needs."""

    def __init__(self, *entries):
        self.directory = Path(tempfile.mkdtemp(prefix="e2e-scenario-"))
        self.path = self.directory / "scenario.txt"
        self.log_path, self.state_path = self.directory / "calls.log", self.directory / "state"
        self.path.write_text("\n".join([f"log {self.log_path}", f"state {self.state_path}", "completion later",
                                        *entries]) + "\n", encoding="utf-8")
        self.environment = {"HALVERN_TEST_PM_SCENARIO": str(self.path)}

    def calls(self):
        return self.log_path.read_text(encoding="utf-8").splitlines() if self.log_path.exists() else []

    def state(self):
        """What the deployments left: "removed <full name>" and "deprovisioned <family>" lines."""
        return self.state_path.read_text(encoding="utf-8").splitlines() if self.state_path.exists() else []

    def remove(self):
        shutil.rmtree(self.directory, ignore_errors=True)


def package_entry(full_name, display, users=(), current_user=False):
    """One package of a scenario: its full name (Name_A.B.C.D_Architecture_ResourceId_PublisherId, whose version
    it carries), display name, user entries as (security id, state) and whether the current user has it."""
    return "\n".join([f"package {full_name}", f"version {full_name.split('_')[1]}", f"display {display}",
                      *(["current_user"] if current_user else []), *(f"user {sid} {state}" for sid, state in users)])


if __name__ == "__main__" and sys.argv[1:] == ["trust-sink"]:
    trust_sink_ca()
