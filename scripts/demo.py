"""The demo: HalvernCleanup.exe doing its whole job in both modes under Wine.

The prefix gets what a Windows machine would have: Windows 10, a package manager (the test component,
playing a small machine), and trust in the telemetry sink's throwaway CA. Sample registrations go into both
hives; the sink receives the events. It shows the registry and the packages before and after, each run's
diagnostic lines, what HalvernCleanupPreview.exe says the machine-wide run will do before it runs, and the
events received.
"""

import halvern_wine as harness

PUBLISHER = "8wekyb3d8bbwe"
CURRENT_USER, OTHER_USER = "S-1-5-21-1000", "S-1-5-21-1001"
STATES = {0: "NotInstalled", 1: "Staged", 2: "Installed", 6: "Paused"}

# Registrations as the updater writes them, in its 32-bit registry view (Wine lists them by name).
SAMPLES = {
    "HKCU": [
        # No package of the family is left for the current user: stale, withdrawn.
        ("{5B5C3F4A-1D2E-4F60-8A9B-0C1D2E3F4A5B}", "Halvern", "1.2.3", f"Halvern.Client_{PUBLISHER}"),
        # The current user still has the family: kept.
        ("{5C6D4A5B-2E3F-4071-9BAC-1D2E3F4A5B6C}", "Halvern Beta", "2.0.1", f"Halvern.Beta_{PUBLISHER}"),
        # Not MSIX-packaged: passed over without a line.
        ("{6C6D4A5B-2E3F-4071-9BAC-1D2E3F4A5B6C}", "Halvern Legacy", "0.9.1", None),
    ],
    "HKLM": [
        # Every package merely staged: removed for all users, the family deprovisioned, withdrawn.
        ("{7D7E5B6C-3F40-4182-ACBD-2E3F4A5B6C7D}", "Halvern Enterprise", "4.5.6", f"Halvern.Enterprise_{PUBLISHER}"),
        # A user has the package installed: it stays, and so does the registration.
        ("{7E7F6C7D-4051-4293-BDCE-3F4A5B6C7D8E}", "Halvern Kiosk", "3.1.0", f"Halvern.Kiosk_{PUBLISHER}"),
        ("{8E8F6C7D-4051-4293-BDCE-3F4A5B6C7D8E}", "Halvern Old", "0.1", None),
    ],
}

# The machine's packages: full name, display name, whether the current user has it, (user, state) entries.
PACKAGES = [
    (f"Halvern.Client_1.2.3.0_x64__{PUBLISHER}", "Halvern", False, [(OTHER_USER, 2)]),
    (f"Halvern.Beta_2.0.1.0_x64__{PUBLISHER}", "Halvern Beta", True, [(CURRENT_USER, 2)]),
    (f"Halvern.Enterprise_4.5.6.0_x64__{PUBLISHER}", "Halvern Enterprise", False,
     [(CURRENT_USER, 1), (OTHER_USER, 1)]),
    (f"Halvern.Enterprise_4.5.7.0_x64__{PUBLISHER}", "Halvern Enterprise", False, [(OTHER_USER, 1)]),
    (f"Halvern.Kiosk_3.1.0.0_x64__{PUBLISHER}", "Halvern Kiosk", False, [(CURRENT_USER, 1), (OTHER_USER, 2)]),
]


def heading(title):
    print(f"\n=== {title}")


def show_registry(title):
    heading(f"Updater registrations {title}")
    for hive in SAMPLES:
        exported = harness.reg_export(f"{hive}\\{harness.CLIENTS_KEY}", view=32)
        lines = [line for line in (exported or "").splitlines() if line.startswith(("[", '"'))]
        for line in lines or [f"{hive}\\{harness.CLIENTS_KEY}: none"]:
            print("  " + line)


def show_packages(title, scenario):
    heading(f"Packages {title} (the test package manager's machine)")
    state = scenario.state()
    for full_name, display, current_user, users in PACKAGES:
        if f"removed {full_name}" in state:
            print(f"  {full_name}  removed for all users")
            continue
        holders = ", ".join(f"{sid} {STATES.get(code, code)}" for sid, code in users)
        mine = "; the current user has it" if current_user else ""
        print(f"  {full_name}  \"{display}\"  {holders}{mine}")
    for line in state:
        if line.startswith("deprovisioned "):
            print(f"  family {line.split(' ', 1)[1]}  deprovisioned for all users")


def show_run(title, scenario, *arguments):
    heading(f"{title}: HalvernCleanup.exe {' '.join(arguments)}".rstrip())
    run = harness.run_cleanup(*arguments, env=scenario.environment)
    for line in run.lines:
        print("  " + line, end="")
    print(f"  (exit code {run.exit_code})")


def show_preview(scenario, *arguments):
    heading(f"Preview: HalvernCleanupPreview.exe {' '.join(arguments)}".rstrip())
    preview = harness.wine(harness.PREVIEW_EXE, *arguments, check=False, env=scenario.environment)
    print("  " + preview.stdout.decode("utf-8").rstrip("\n").replace("\n", "\n  "))
    print(f"  (exit code {preview.returncode})")


def main():
    print("Preparing the Wine prefix: Windows 10, the test package manager, trust in the sink's CA")
    harness.prepare_prefix()
    harness.remove_updater_keys()
    for hive, registrations in SAMPLES.items():
        for app_id, name, version, family in registrations:
            harness.plant_registration(hive, app_id, view=32, name=name, pv=version, PackageFamilyName=family)
    scenario = harness.PackageManagerScenario(*(
        harness.package_entry(full_name, display, users=users, current_user=current_user)
        for full_name, display, current_user, users in PACKAGES))
    try:
        show_registry("before")
        show_packages("before", scenario)
        with harness.Sink() as sink:
            show_run("Per-user run", scenario)
            show_preview(scenario, "/InstallType:MACHINE")
            show_run("Machine-wide run", scenario, "/InstallType:MACHINE")
            heading("Telemetry events received by the sink")
            print("  " + sink.table().rstrip("\n").replace("\n", "\n  "))
        show_registry("after")
        show_packages("after", scenario)
    finally:
        scenario.remove()


if __name__ == "__main__":
    main()
