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
import time

import halvern_wine as harness

TOOL = harness.CLEANUP_EXE
DO_NOTHING = harness.BUILD_DIR / "bench" / "do_nothing.exe"
PER_USER_BASELINE = harness.BUILD_DIR / "bench" / "per_user_baseline.exe"


def wine(*args, env=None, stderr=subprocess.DEVNULL):
    """Runs one program under Wine, with no debugger attached; returns (seconds, stderr text)."""
    started = time.perf_counter()
    result = subprocess.run(["wine", *map(str, args)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=stderr, env={**os.environ, **(env or {})}, check=False)
    return time.perf_counter() - started, (result.stderr or b"").decode(errors="replace")


def plant(count):
    """Replaces the current user's registrations with `count` stale ones, in one registry import."""
    clients = r"HKEY_CURRENT_USER\Software\HalvernUpdate\Update\Clients"
    harness.reg_import("\n".join([r"[-HKEY_CURRENT_USER\Software\HalvernUpdate]", ""] + [
        f'[{clients}\\{{B0000000-0000-4000-8000-{index:012d}}}]\n"name"="Halvern"\n"pv"="1.2.3"\n'
        f'"PackageFamilyName"="Halvern.Client{index}_8wekyb3d8bbwe"\n' for index in range(count)]))


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
    harness.prepare_prefix()
    # The test package manager with no package at all: every registration is stale.
    scenario = harness.PackageManagerScenario()
    empty_pass()
    with harness.Sink() as sink:
        per_user_passes(scenario.environment, sink)
    plant(0)
    scenario.remove()


if __name__ == "__main__":
    main()
