"""The benchmark behind the README's figures; scripts/bench.sh builds what it needs and runs it. It prints
figures and asserts nothing.

(a) An empty pass (nothing registered) against bench/do_nothing.cpp, a do-nothing exe importing kernel32,
    advapi32 and shell32: the median wall time of paired runs under Wine, and the DLLs the tool loads that
    the do-nothing exe does not.
(b) A per-user pass over 0, 100 and 1,000 stale registrations (the test package manager has no package for
    the user; the sink answers 200) against bench/per_user_baseline.cpp, which only deletes each
    registration and posts one body of the same size for it.
Every program runs straight under `wine` (no debugger attached) in the prefix of scripts/wine-env.sh.
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tools" / "telemetry_sink"))
from sink_process import SinkProcess, sink_command  # noqa: E402

BUILD = ROOT / "build" / "windows"
TOOL = BUILD / "HalvernCleanup.exe"
DO_NOTHING = BUILD / "bench" / "do_nothing.exe"
PER_USER_BASELINE = BUILD / "bench" / "per_user_baseline.exe"
CLIENTS = r"HKEY_CURRENT_USER\Software\HalvernUpdate\Update\Clients"
WORK = Path(tempfile.mkdtemp(prefix="halvern-bench-"))


def wine(*args, env=None, stderr=subprocess.DEVNULL):
    """Runs one program under Wine; returns (seconds, stderr text)."""
    started = time.perf_counter()
    result = subprocess.run(["wine", *map(str, args)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=stderr, env={**os.environ, **(env or {})}, check=False)
    return time.perf_counter() - started, (result.stderr or b"").decode(errors="replace")


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def plant(count):
    """Replaces the current user's registrations with `count` stale ones, in one registry import."""
    wine("reg", "delete", r"HKCU\Software\HalvernUpdate", "/f")
    lines = ["Windows Registry Editor Version 5.00", ""]
    for index in range(count):
        lines += [f"[{CLIENTS}\\{{B0000000-0000-4000-8000-{index:012d}}}]", '"name"="Halvern"', '"pv"="1.2.3"',
                  f'"PackageFamilyName"="Halvern.Client{index}_8wekyb3d8bbwe"', ""]
    reg = WORK / "plant.reg"
    reg.write_bytes(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))
    wine("regedit", "/S", windows_path(reg))


def prepare_prefix():
    """Windows 10, the test package manager (with a scenario of no packages), and trust in the sink's CA."""
    wine("winecfg", "-v", "win10")
    subprocess.run([ROOT / "tools" / "test_package_manager" / "register.sh", BUILD / "tools" /
                    "HalvernTestPackageManager.dll"], check=True, stdout=subprocess.DEVNULL)
    (WORK / "scenario.txt").write_text("completion later\n")
    sink_command("make-certs", "--dir", WORK / "certs")
    sink_command("reg-trust", "--dir", WORK / "certs", "--out", WORK / "trust.reg")
    wine("regedit", "/S", windows_path(WORK / "trust.reg"))
    return {"HALVERN_TEST_PM_SCENARIO": str(WORK / "scenario.txt")}


def loaded_dlls(program):
    _, trace = wine(program, env={"WINEDEBUG": "+loaddll"}, stderr=subprocess.PIPE)
    names = {line.split('Loaded L"', 1)[1].split('"', 1)[0].rsplit("\\", 1)[-1].lower()
             for line in trace.splitlines() if 'Loaded L"' in line}
    return {name for name in names if not name.endswith(".exe")}


def empty_pass(pairs=31):
    plant(0)
    times = {TOOL: [], DO_NOTHING: []}
    for index in range(pairs):
        for program in (TOOL, DO_NOTHING) if index % 2 else (DO_NOTHING, TOOL):
            times[program].append(wine(program)[0])
    tool, baseline = statistics.median(times[TOOL]), statistics.median(times[DO_NOTHING])
    tool_dlls, baseline_dlls = loaded_dlls(TOOL), loaded_dlls(DO_NOTHING)
    print(f"(a) empty pass, median of {pairs} paired runs: HalvernCleanup {tool * 1000:.0f} ms, do-nothing exe "
          f"{baseline * 1000:.0f} ms, ratio {tool / baseline:.2f}x; DLLs loaded: {len(tool_dlls)} against "
          f"{len(baseline_dlls)}, beyond the do-nothing exe's: {', '.join(sorted(tool_dlls - baseline_dlls)) or 'none'}")


def event_body_bytes(environment, sink):
    plant(1)
    wine(TOOL, env=environment)
    bodies = [len(bytes.fromhex(event["body_hex"])) for event in sink.received()]
    return bodies[-1]


def per_user_passes(environment, sink, repetitions=((0, 9), (100, 5), (1000, 1))):
    body = event_body_bytes(environment, sink)
    print(f"(b) per-user pass over stale registrations, each event body {body} bytes (median of paired runs):")
    for count, pairs in repetitions:
        times = {"tool": [], "baseline": []}
        for index in range(pairs):
            runs = [("tool", TOOL, ()), ("baseline", PER_USER_BASELINE, (body,))]
            for name, program, arguments in runs if index % 2 == 0 else runs[::-1]:
                plant(count)
                times[name].append(wine(program, *arguments, env=environment)[0])
        tool, baseline = statistics.median(times["tool"]), statistics.median(times["baseline"])
        per_registration = f", {tool / count * 1000:.1f} ms per registration" if count else ""
        print(f"    {count:>5} registrations: HalvernCleanup {tool:.2f} s, baseline {baseline:.2f} s, "
              f"ratio {tool / baseline:.2f}x{per_registration}")


def main():
    environment = prepare_prefix()
    empty_pass()
    with SinkProcess(WORK / "sink", WORK / "certs") as sink:
        per_user_passes(environment, sink)
    plant(0)


if __name__ == "__main__":
    (WORK / "sink").mkdir()
    main()
