"""Discovery end to end: the exe announces the registrations of its mode's hive, in enumeration order.
Every family still has a package the cleanup must keep, so the registry stays as it was."""

import unittest

import halvern_e2e as e2e

# Wine enumerates subkeys in name order, so the ids fix the order. In each hive the second
# registration has no package family name and the third an empty name and version.
USER_REGISTRATIONS = [
    ("{1A000000-0000-0000-0000-000000000001}", "Halvern", "1.2.3", "Halvern.Client_8wekyb3d8bbwe"),
    ("{1B000000-0000-0000-0000-000000000002}", "Halvern Legacy", "0.9.1", None),
    ("{1C000000-0000-0000-0000-000000000003}", "", "", "Halvern.Beta_8wekyb3d8bbwe"),
]
MACHINE_REGISTRATIONS = [
    ("{2A000000-0000-0000-0000-000000000001}", "Halvern Machine", "4.5.6.7", "Halvern.Machine_8wekyb3d8bbwe"),
    ("{2B000000-0000-0000-0000-000000000002}", "Halvern Old Machine", "0.1", None),
    ("{2C000000-0000-0000-0000-000000000003}", "", "", "Halvern.MachineBeta_8wekyb3d8bbwe"),
]
# Same Clients path, 64-bit view of HKLM: the tool must never see it.
DECOY = ("{0D000000-0000-0000-0000-000000000000}", "Decoy 64", "6.4", "Halvern.Decoy64_8wekyb3d8bbwe")


def keeping_scenario():
    """Every registered family has a package that keeps its registration: listed for the current user
    (per-user runs) and installed by a user (machine-wide runs)."""
    entries = []
    for _, _, _, family in USER_REGISTRATIONS + MACHINE_REGISTRATIONS:
        if family:
            name, publisher = family.split("_")
            entries.append(e2e.package_entry(f"{name}_1.0.0.0_x64__{publisher}", name, current_user=True,
                                             users=[("S-1-5-21-1000", 2)]))
    return e2e.PackageManagerScenario(*entries)


def plant(hive, registrations, view):
    for app_id, name, version, family in registrations:
        e2e.plant_registration(hive, app_id, view=view, name=name, pv=version, PackageFamilyName=family)


def expected_messages(registrations):
    messages = ["Start HalvernCleanup"]
    for _, name, version, family in registrations:
        if family:
            messages.append(f"Name: {name} Version: {version} PackageFamilyName: {family}")
            messages.append(f"{name} was not cleaned up")
    messages.append("Finish HalvernCleanup")
    return messages


def setUpModule():
    e2e.ensure_wine_session()
    e2e.remove_updater_keys()


def tearDownModule():
    e2e.remove_updater_keys()


class RegistryDiscovery(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        plant("HKCU", USER_REGISTRATIONS, view=32)
        plant("HKLM", MACHINE_REGISTRATIONS, view=32)
        plant("HKLM", [DECOY], view=64)
        cls.before = e2e.updater_registry_snapshot()
        cls.scenario = keeping_scenario()

    @classmethod
    def tearDownClass(cls):
        cls.scenario.remove()

    def test_the_planted_registrations_are_where_the_tool_looks(self):
        # Guards the scenario itself: every planted value, the empty ones included, is in place.
        for hive, view, registrations in (("HKCU", None, USER_REGISTRATIONS),
                                          ("HKLM", 32, MACHINE_REGISTRATIONS), ("HKLM", 64, [DECOY])):
            exported = self.before[(hive, view)]
            self.assertIsNotNone(exported, (hive, view))
            for app_id, name, version, family in registrations:
                self.assertIn(app_id, exported)
                self.assertIn(f'"name"="{name}"', exported)
                self.assertIn(f'"pv"="{version}"', exported)
                if family:
                    self.assertIn(f'"PackageFamilyName"="{family}"', exported)
        self.assertNotIn(DECOY[0], self.before[("HKLM", 32)])
        self.assertNotIn(MACHINE_REGISTRATIONS[0][0], self.before[("HKLM", 64)])

    def test_each_mode_announces_its_own_hive_only_and_changes_nothing(self):
        cases = [
            ([], USER_REGISTRATIONS, MACHINE_REGISTRATIONS),
            (["/InstallType:MACHINE"], MACHINE_REGISTRATIONS, USER_REGISTRATIONS),
        ]
        for arguments, own, other in cases:
            with self.subTest(arguments=arguments):
                run = e2e.run_cleanup(*arguments, env=self.scenario.environment)
                self.assertEqual(run.messages, expected_messages(own))
                self.assertEqual(run.exit_code, 0)
                # The exact lines already say so; this names the culprit when they do not.
                for _, _, _, family in other + [DECOY]:
                    if family:
                        self.assertNotIn(family, run.raw)
                self.assertNotIn(DECOY[1], run.raw)
                self.assertEqual(e2e.updater_registry_snapshot(), self.before)
        self.assertEqual(self.scenario.state(), [])


if __name__ == "__main__":
    unittest.main()
