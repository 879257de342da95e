"""The demo: HalvernCleanup.exe in both modes under Wine, its diagnostic lines captured."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import halvern_e2e as e2e  # noqa: E402


def show_run(title, *arguments):
    print(f"\n=== {title}: HalvernCleanup.exe {' '.join(arguments)}".rstrip())
    run = e2e.run_cleanup(*arguments)
    for line in run.lines:
        print("  " + line, end="")
    print(f"  (exit code {run.exit_code})")


def main():
    show_run("Per-user run")
    show_run("Machine-wide run", "/InstallType:MACHINE")


if __name__ == "__main__":
    main()
