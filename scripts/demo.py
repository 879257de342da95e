"""The demo: HalvernCleanup.exe in both modes under Wine, its diagnostic lines captured."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import halvern_e2e as e2e  # noqa: E402

# Sample registrations as the updater writes them, in its 32-bit registry view. The second of each hive
# has no package family name, so the tool passes over it without a line.
SAMPLES = {
    "HKCU": [
        ("{5B5C3F4A-1D2E-4F60-8A9B-0C1D2E3F4A5B}", "Halvern", "1.2.3", "Halvern.Client_8wekyb3d8bbwe"),
        ("{6C6D4A5B-2E3F-4071-9BAC-1D2E3F4A5B6C}", "Halvern Legacy", "0.9.1", None),
    ],
    "HKLM": [
        ("{7D7E5B6C-3F40-4182-ACBD-2E3F4A5B6C7D}", "Halvern Enterprise", "4.5.6", "Halvern.Enterprise_8wekyb3d8bbwe"),
        ("{8E8F6C7D-4051-4293-BDCE-3F4A5B6C7D8E}", "Halvern Old", "0.1", None),
    ],
}


def show_registry(title):
    print(f"\n=== Registry {title}")
    for hive in SAMPLES:
        exported = e2e.reg_export(f"{hive}\\{e2e.CLIENTS_KEY}", view=32)
        lines = [line for line in (exported or "").splitlines() if line.startswith(("[", '"'))]
        for line in lines or [f"{hive}\\{e2e.CLIENTS_KEY}: none"]:
            print("  " + line)


def show_run(title, *arguments):
    print(f"\n=== {title}: HalvernCleanup.exe {' '.join(arguments)}".rstrip())
    run = e2e.run_cleanup(*arguments)
    for line in run.lines:
        print("  " + line, end="")
    print(f"  (exit code {run.exit_code})")


def main():
    for hive, registrations in SAMPLES.items():
        for app_id, name, version, family in registrations:
            e2e.plant_registration(hive, app_id, view=32, name=name, pv=version, PackageFamilyName=family)
    show_registry("before")
    show_run("Per-user run")
    show_run("Machine-wide run", "/InstallType:MACHINE")
    show_registry("after")


if __name__ == "__main__":
    main()
