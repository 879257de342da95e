"""Shared harness for the end-to-end tests: the shipped exe under Wine, its debug output captured, the
test package manager playing a scenario, and the telemetry sink receiving the events.

Everything runs in the test prefix of the build (see scripts/wine-env.sh); ctest passes
HALVERN_BUILD_DIR, HALVERN_WINE_RUN and HALVERN_SINK_CERTS.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "telemetry_sink"))
from sink_process import SinkProcess, sink_command  # noqa: E402

BUILD_DIR = Path(os.environ.get("HALVERN_BUILD_DIR", ROOT / "build" / "windows"))
WINE_RUN = Path(os.environ.get("HALVERN_WINE_RUN", ROOT / "cmake" / "wine-run.sh"))
TOOLS_DIR = BUILD_DIR / "tools"
CLEANUP_EXE = BUILD_DIR / "HalvernCleanup.exe"
CAPTURE_EXE = TOOLS_DIR / "HalvernDebugCapture.exe"
TEST_PACKAGE_MANAGER_DLL = TOOLS_DIR / "HalvernTestPackageManager.dll"
# The sink's throwaway CAs; the "trusted" set is the one the prefix trusts (see trust_sink_ca).
SINK_CERTS = Path(os.environ.get("HALVERN_SINK_CERTS", BUILD_DIR / "telemetry_sink"))

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


def reg_delete_value(key, value, view=None):
    """Deletes one value; a missing one is fine."""
    wine("reg", "delete", key, "/v", value, "/f", *_view_flag(view), check=False)


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


# --- the prefix ---------------------------------------------------------------------------------

def windows_path(path):
    """A Unix path as Wine sees it, through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def prepare_prefix():
    """What the tool needs from a fresh prefix to do its whole job: Windows 10 (so that its manifest gets
    the real version), the test package manager registered, and trust in the sink's throwaway CA."""
    wine("winecfg", "-v", "win10")
    register_test_package_manager()
    trust_sink_ca()


def register_test_package_manager():
    subprocess.run([str(ROOT / "tools" / "test_package_manager" / "register.sh"), str(TEST_PACKAGE_MANAGER_DLL)],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)


def trust_sink_ca():
    """Makes (or reuses) the sink's "trusted" certificates and adds their CA to the prefix's LocalMachine
    Root store; the host's own CA store is never touched."""
    certificates = SINK_CERTS / "trusted"
    sink_command("make-certs", "--dir", certificates)
    trust_file = SINK_CERTS / "trust.reg"
    sink_command("reg-trust", "--dir", certificates, "--out", trust_file)
    wine("regedit", "/S", windows_path(trust_file))


# --- the telemetry sink -------------------------------------------------------------------------

class Sink(SinkProcess):
    """The telemetry sink on port 443 (where the tool posts), recording into a fresh folder, with the
    certificate the prefix trusts. Use it as a context manager."""

    def __init__(self):
        SINK_CERTS.mkdir(parents=True, exist_ok=True)
        super().__init__(tempfile.mkdtemp(prefix="e2e-sink-", dir=SINK_CERTS), SINK_CERTS / "trusted")

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


# --- the test package manager -------------------------------------------------------------------

def package_entry(full_name, display, users=(), current_user=False, external=None, name=None):
    """One package of a scenario: its full name "<name>_<version>_<arch>__<publisher id>", display name,
    user entries as (security id, PackageInstallState) and whether the current user has it."""
    package_name, version, _, _, publisher = full_name.split("_")
    lines = [f"package {full_name}", f"family {package_name}_{publisher}", f"name {name or package_name}",
             f"display {display}", f"version {version}", f"path C:\\Program Files\\WindowsApps\\{full_name}"]
    if external:
        lines.append(f"external {external}")
    if current_user:
        lines.append("current_user")
    lines += [f"user {sid} {state}" for sid, state in users]
    return "\n".join(lines)


class PackageManagerScenario:
    """A scenario for the test package manager in a folder of its own: what the machine holds, what the
    deployment operations answer, and the call log it writes. `environment` is what the run needs."""

    # The calls that say what the tool asked of the package manager; the rest are the projection's
    # property reads, interface queries and completions.
    OPERATIONS = ("FindPackagesByPackageFamilyName", "FindPackagesByUserSecurityIdPackageFamilyName", "FindUsers",
                  "get_InstallState", "RemovePackageWithOptionsAsync", "DeprovisionPackageForAllUsersAsync")

    def __init__(self, *entries):
        self.directory = Path(tempfile.mkdtemp(prefix="e2e-scenario-"))
        self.path = self.directory / "scenario.txt"
        self.log_path = self.directory / "calls.log"
        self.state_path = self.directory / "scenario.state"
        self.write(*entries)

    def write(self, *entries):
        head = [f"log {self.log_path}", f"state {self.state_path}", "completion later"]
        self.path.write_text("\n".join(head + list(entries)) + "\n", encoding="utf-8")

    @property
    def environment(self):
        return {"HALVERN_TEST_PM_SCENARIO": str(self.path)}

    def calls(self):
        if not self.log_path.exists():
            return []
        return self.log_path.read_text(encoding="utf-8").splitlines()

    def operations(self):
        """The operation calls of the log, in order, without the property reads around them."""
        return [line for line in self.calls() if line.split(" ", 1)[0] in self.OPERATIONS]

    def state(self):
        """What the deployments left: "removed <full name>" and "deprovisioned <family>" lines."""
        if not self.state_path.exists():
            return []
        return self.state_path.read_text(encoding="utf-8").splitlines()

    def remove(self):
        shutil.rmtree(self.directory, ignore_errors=True)


# --- one run with everything around it -----------------------------------------------------------

def expected_command_line(*arguments):
    """The command line the tool sees when the capture tool starts it with these arguments."""
    return " ".join(f'"{part}"' if " " in part else part for part in (str(CLEANUP_EXE), *arguments))


class ObservedRun:
    """One run of the exe with the scenario's package manager and a fresh sink: its lines, the events the
    sink received, and the host clock's bounds around it, in milliseconds since 1970."""

    def __init__(self, scenario, *arguments):
        with Sink() as sink:
            self.started_ms = int(time.time() * 1000)
            self.run = run_cleanup(*arguments, env=scenario.environment)
            self.finished_ms = int(time.time() * 1000) + 1
            self.events = sink.events()
        self.command_line = expected_command_line(*arguments)

    @property
    def messages(self):
        return self.run.messages

    @property
    def exit_code(self):
        return self.run.exit_code
