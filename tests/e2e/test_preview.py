"""HalvernCleanupPreview.exe end to end: the exact plan of a machine-wide run, nothing changed by making it, and
the run then doing what it said; and a per-user plan that every JSON parser reads, whatever the registry holds."""

import json
import subprocess
import unittest

import halvern_wine as harness

CLIENTS = rf"HKLM\{harness.CLIENTS_KEY}"
REGISTRATIONS = {"{9A}": ("Removable", "1.0", "Halvern.Removable_x"), "{9B}": ("Held", "2.0", "Halvern.Held_x"),
                 "{9C}": ("External", "3.0", "Halvern.External_x"), "{9D}": ("Refused", "4.0", "Halvern.Refused_x"),
                 "{9E}": ("Legacy", "5.0", None)}
PACKAGES = ["package Halvern.Removable_1.0.0.0_x64__x", "user S-1-5-21-1000 1", "user S-1-5-21-1001 1",
            "package Halvern.Held_2.0.0.0_x64__x", "user S-1-5-21-1000 1", "user S-1-5-21-1001 2",
            "package Halvern.External_3.0.0.0_x64__x", "external D:\\External",
            "fail FindPackagesByPackageFamilyName 0x80070005 4"]  # Refused's search, as without administrator rights
REFUSED = ("refused: run the preview elevated (as an administrator) to see what a machine-wide run would do; "
           "MSIXError(FindPackagesFailure): ")
STAY = "1 package would stay, and so would the registration"
# What a registry value can hold: lone surrogates (a high one last), control characters, a quote, a backslash, U+2028
# and an emoji; the JSON carries U+FFFD for each lone surrogate, as a UTF-16 reader would.
ODD = "\ud800 lone\udc00\x01\n\x7f\"\\\u2028\U0001F600\ud83d"
READ = ODD.encode("utf-16-le", "surrogatepass").decode("utf-16-le", "replace")


def registration(app_id, decision, reason, *packages):
    name, version, family = REGISTRATIONS[app_id]
    return {"app_id": app_id, "name": name, "version": version, "package_family_name": family or "",
            "decision": decision, "reason": reason, "packages": list(packages)}


def package(full_name, users, decision, reason, external=False):
    return {"full_name": full_name, "external_location": external,
            "users": [{"sid": f"S-1-5-21-100{n}", "state": state} for n, state in enumerate(users)],
            "decision": decision, "reason": reason}


EXPECTED = {"mode": "machine", "registrations": [
    registration("{9A}", "clean-up", "nothing would be left: the family would be deprovisioned and the registration "
                 "deleted", package("Halvern.Removable_1.0.0.0_x64__x", ["Staged", "Staged"], "remove", "no user "
                                    "holds it in a state other than Staged: it would be removed for all users")),
    registration("{9B}", "keep", STAY, package("Halvern.Held_2.0.0.0_x64__x", ["Staged", "Installed"], "keep",
                                               "S-1-5-21-1001 holds it Installed")),
    registration("{9C}", "keep", STAY, package("Halvern.External_3.0.0.0_x64__x", [], "keep",
                                               "it has an external location, which the run never removes", True)),
    registration("{9D}", "unknown", REFUSED),
    registration("{9E}", "skip", "no package family name: not an MSIX installation, which the run passes over")]}
MINE = {"mode": "user", "registrations": [{"app_id": "{9F}", "name": "name" + READ, "version": "pv" + READ,
        "package_family_name": "PackageFamilyName" + READ, "decision": "clean-up", "packages": [], "reason":
        "no package of the family is left for the current user: the registration is stale and would be deleted"}]}


def reg_sz(text):
    """REG_SZ data in a .reg file's hex form, which carries any UTF-16 (`reg add` cannot pass a lone surrogate)."""
    return "hex(1):" + ",".join(f"{byte:02x}" for byte in (text + "\0").encode("utf-16-le", "surrogatepass"))


class Preview(unittest.TestCase):
    maxDiff = None

    def test_plans_a_machine_wide_run_exactly_changes_nothing_and_the_run_does_what_it_said(self):
        harness.ensure_wine_session()
        harness.remove_updater_keys()
        for app_id, (name, version, family) in REGISTRATIONS.items():
            harness.plant_registration("HKLM", app_id, view=32, name=name, pv=version, PackageFamilyName=family)
        harness.reg_import(rf"[HKEY_CURRENT_USER\{harness.CLIENTS_KEY}\{{9F}}]" + "".join(
            f'\n"{value}"={reg_sz(value + ODD)}' for value in ("name", "pv", "PackageFamilyName")))
        machine = harness.PackageManagerScenario(*PACKAGES)
        self.addCleanup(machine.remove)
        before = harness.reg_export(CLIENTS, view=32)
        with harness.Sink() as sink:
            preview = harness.wine(harness.PREVIEW_EXE, "/InstallType:MACHINE", "/Json", check=False,
                                   env=machine.environment)
            mine = harness.wine(harness.PREVIEW_EXE, "/Json", env=machine.environment)  # the odd one, per user
            self.assertEqual((sink.events(), harness.reg_export(CLIENTS, view=32), machine.state()), ([], before, []))
            self.assertEqual(harness.run_cleanup("/InstallType:MACHINE", env=machine.environment).exit_code, 0)

        self.assertEqual((preview.returncode, preview.stdout[-1:]), (0, b"\n"))
        plan = json.loads(preview.stdout.decode("utf-8"))  # no byte-order mark, and nothing but the document
        refused = plan["registrations"][3]
        self.assertTrue(refused["reason"].startswith(REFUSED), refused["reason"])
        refused["reason"] = REFUSED  # what follows is the system's text, Wine's own
        self.assertEqual(plan, EXPECTED)
        jq = subprocess.run(["jq", "-c", "."], input=mine.stdout, capture_output=True, check=False)
        self.assertEqual(jq.stderr, b"")  # jq 1.6 refuses a whole document for one lone surrogate's escape
        self.assertEqual((json.loads(jq.stdout), json.loads(mine.stdout)), (MINE, MINE))
        planned = plan["registrations"]
        said = {f"removed {p['full_name']}" for r in planned for p in r["packages"] if p["decision"] == "remove"}
        said |= {f"deprovisioned {r['package_family_name']}" for r in planned if r["decision"] == "clean-up"}
        after = harness.reg_export(CLIENTS, view=32)
        self.assertEqual((set(machine.state()), {r["app_id"] for r in planned if f"\\{r['app_id']}]" in after}),
                         (said, {r["app_id"] for r in planned if r["decision"] != "clean-up"}))


if __name__ == "__main__":
    unittest.main()
