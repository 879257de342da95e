"""Machine-wide runs end to end: the shipped exe removes packages through the test package manager,
deprovisions the family, withdraws the registration and posts every outcome to the sink."""

import unittest

import cleanup_checks
import halvern_e2e as e2e

APP_ID = "{4A1B2C3D-0000-4000-8000-000000000001}"
NAME = "Halvern"
RECORD_VERSION = "124.0.6367.91"
FAMILY = "Halvern.Client_8wekyb3d8bbwe"
FULL_NAME = "Halvern.Client_124.0.6367.91_x64__8wekyb3d8bbwe"
PACKAGE_VERSION = "124.0.6367"  # What a per-package event carries: three parts.
DISPLAY = "Halvern Client"
NEXT_FULL_NAME = "Halvern.Client_125.0.1.2_x64__8wekyb3d8bbwe"
NEXT_DISPLAY = "Halvern Client Next"
ALICE, BOB = "S-1-5-21-1000", "S-1-5-21-1001"
STAGED, INSTALLED = 1, 2
REGISTRATION = f"HKLM\\{e2e.CLIENTS_KEY}\\{APP_ID}"
PACKAGE_IN_USE = -2147009278  # 0x80073D02
NOT_PROVISIONED = -2147009255  # 0x80073D19
ANNOUNCEMENT = f"Name: {NAME} Version: {RECORD_VERSION} PackageFamilyName: {FAMILY}"
GOT_200 = "Got expected status code=200"


def setUpModule():
    e2e.ensure_wine_session()


def tearDownModule():
    cleanup_checks.remove_host_facts()


def staged(full_name=FULL_NAME, display=DISPLAY):
    return e2e.package_entry(full_name, display, users=[(ALICE, STAGED), (BOB, STAGED)])


class MachineWideCleanup(cleanup_checks.CleanupTestCase):
    def setUp(self):
        super().setUp()
        e2e.plant_registration("HKLM", APP_ID, view=32, name=NAME, pv=RECORD_VERSION, PackageFamilyName=FAMILY)

    def run_machine_wide(self, scenario, arguments=("/InstallType:MACHINE",)):
        observed = e2e.ObservedRun(scenario, *arguments)
        self.assertEqual(observed.exit_code, 0)
        self.assertEventsInOrder(observed)
        return observed

    def assertRemoval(self, observed, event, full_name=FULL_NAME, display=DISPLAY, **failure):
        version = ".".join(full_name.split("_")[1].split(".")[:3])
        self.assertEvent(observed, event, event_type="Remove_Package", app_name=display, family=FAMILY,
                         version=version, machine_wide=True, **failure)

    def assertInstallation(self, observed, event, **failure):
        self.assertEvent(observed, event, event_type="Uninstall", app_name=NAME, family=FAMILY,
                         version=RECORD_VERSION, machine_wide=True, **failure)

    # The same run whatever else the command line holds, arguments as long as the system allows included,
    # and on Windows 10 before 2004, whose packages offer no IPackage8 (and have no external location).
    TYPICAL_RUNS = [
        ("plain", ["/InstallType:MACHINE"], ()),
        ("long switch name first", ["/" + "N" * 30000, "/InstallType:MACHINE"], ()),
        ("long value after", ["/InstallType:MACHINE", "/Pad:" + "v" * 30000], ()),
        ("Windows 10 before 2004", ["/InstallType:MACHINE"], ("no_interface IPackage8",)),
    ]

    def test_the_typical_run_removes_the_package_deprovisions_and_withdraws(self):
        for label, arguments, package_lines in self.TYPICAL_RUNS:
            with self.subTest(label):
                e2e.plant_registration("HKLM", APP_ID, view=32, name=NAME, pv=RECORD_VERSION,
                                       PackageFamilyName=FAMILY)
                scenario = self.scenario("\n".join([staged(), *package_lines]))

                observed = self.run_machine_wide(scenario, arguments)

                self.assertEqual(observed.messages, ["Start HalvernCleanup", ANNOUNCEMENT, GOT_200, GOT_200,
                                                     f"{NAME} was cleaned up", "Finish HalvernCleanup"])
                self.assertEqual(len(observed.events), 2)
                self.assertRemoval(observed, observed.events[0])
                self.assertInstallation(observed, observed.events[1])
                self.assertEqual(scenario.calls(), self.typical_calls(bool(package_lines)))
                self.assertEqual(scenario.state(), [f"removed {FULL_NAME}", f"deprovisioned {FAMILY}"])
                self.assertFalse(e2e.reg_key_exists(REGISTRATION, view=32))
                # Only the registration went: the updater's own key and its user id stay.
                self.assertIn(cleanup_checks.MACHINE_UID, e2e.reg_export(f"HKLM\\{e2e.UPDATE_KEY}", view=32))

    @staticmethod
    def typical_calls(without_package8):
        # Every call the package manager receives, in order: the search and one snapshot, the user search
        # and every entry's state, the removal for all users awaited on the completion handler, then the
        # deprovisioning awaited the same way. Each operation activates its own instance.
        package = f'"{FULL_NAME}"'
        package8 = [f"QueryInterface IPackage8 {package}"] if without_package8 else [
            f"QueryInterface IPackage8 {package}", f"get_InstalledPath {package}",
            f"QueryInterface IPackage8 {package}", f"get_EffectiveExternalPath {package}"]
        return [
            'DllGetActivationFactory "Windows.Management.Deployment.PackageManager"',
            "ActivateInstance",
            f'FindPackagesByPackageFamilyName "{FAMILY}"',
            "First", "get_HasCurrent", "get_Current",
            f"get_Id {package}", f"get_Name {package}", f"QueryInterface IPackage2 {package}",
            f"get_DisplayName {package}", f"get_FullName {package}", f"get_FamilyName {package}",
            f"get_Version {package}", *package8,
            "MoveNext",
            "ActivateInstance",
            f"FindUsers {package}",
            "First", "get_HasCurrent", "get_Current", "MoveNext", "get_Current", "MoveNext",
            f'get_InstallState "{ALICE}"', f'get_InstallState "{BOB}"',
            "ActivateInstance", "QueryInterface IPackageManager2",
            f"RemovePackageWithOptionsAsync {package} 0x00080000",
            "get_Status", "put_Completed", "Invoke 1 on a worker thread", "GetResults", "get_ExtendedErrorCode",
            "ActivateInstance", "QueryInterface IPackageManager8",
            f'DeprovisionPackageForAllUsersAsync "{FAMILY}"',
            "get_Status", "put_Completed", "Invoke 1 on a worker thread", "GetResults", "get_ExtendedErrorCode",
        ]

    def test_a_package_whose_external_path_cannot_be_read_fails_the_search(self):
        scenario = self.scenario(staged(), "fail get_EffectiveExternalPath 0x80004005")

        observed = self.run_machine_wide(scenario)

        self.assertEqual(observed.messages, ["Start HalvernCleanup", ANNOUNCEMENT, GOT_200,
                                             f"{NAME} was not cleaned up", "Finish HalvernCleanup"])
        self.assertEqual(len(observed.events), 1)
        message = observed.events[0].get("error_message", "")
        self.assertTrue(message.startswith("MSIXError(FindPackagesFailure): "), message)
        self.assertInstallation(observed, observed.events[0], error_code=-2147467259, error_message=message)
        self.assertEqual(scenario.state(), [])
        self.assertTrue(e2e.reg_key_exists(REGISTRATION, view=32))

    def test_a_package_a_user_has_installed_is_kept_with_its_registration(self):
        scenario = self.scenario(e2e.package_entry(FULL_NAME, DISPLAY, users=[(ALICE, INSTALLED), (BOB, STAGED)]))

        observed = self.run_machine_wide(scenario)

        self.assertEqual(observed.messages, ["Start HalvernCleanup", ANNOUNCEMENT, f"{NAME} was not cleaned up",
                                             "Finish HalvernCleanup"])
        self.assertEqual(observed.events, [])
        # Every entry is read, the one after the installed one too; nothing is removed or deprovisioned.
        self.assertEqual(scenario.operations(), [f'FindPackagesByPackageFamilyName "{FAMILY}"',
                                                 f'FindUsers "{FULL_NAME}"', f'get_InstallState "{ALICE}"',
                                                 f'get_InstallState "{BOB}"'])
        self.assertEqual(scenario.state(), [])
        self.assertTrue(e2e.reg_key_exists(REGISTRATION, view=32))

    def test_a_failed_removal_is_reported_and_the_next_package_still_removed(self):
        scenario = self.scenario(staged(), staged(NEXT_FULL_NAME, NEXT_DISPLAY),
                                 f"remove {FULL_NAME} 0x80073D02 The package is in use.")

        observed = self.run_machine_wide(scenario)

        self.assertEqual(observed.messages, ["Start HalvernCleanup", ANNOUNCEMENT, GOT_200, GOT_200,
                                             f"{NAME} was not cleaned up", "Finish HalvernCleanup"])
        self.assertEqual(len(observed.events), 2)
        self.assertRemoval(observed, observed.events[0], error_code=PACKAGE_IN_USE,
                           error_message="MSIXError(PackageRemoveFailure): The package is in use.")
        self.assertRemoval(observed, observed.events[1], NEXT_FULL_NAME, NEXT_DISPLAY)
        removals = [line for line in scenario.operations() if line.startswith("Remove")]
        self.assertEqual(removals, [f'RemovePackageWithOptionsAsync "{FULL_NAME}" 0x00080000',
                                    f'RemovePackageWithOptionsAsync "{NEXT_FULL_NAME}" 0x00080000'])
        # No deprovisioning while a package is left, and the registration stays.
        self.assertEqual(scenario.state(), [f"removed {NEXT_FULL_NAME}"])
        self.assertTrue(e2e.reg_key_exists(REGISTRATION, view=32))

    def test_a_failed_deprovisioning_is_the_installations_failure_and_keeps_the_registration(self):
        scenario = self.scenario(staged(), f"deprovision {FAMILY} 0x80073D19 The family is not provisioned.")

        observed = self.run_machine_wide(scenario)

        self.assertEqual(observed.messages, ["Start HalvernCleanup", ANNOUNCEMENT, GOT_200, GOT_200,
                                             f"{NAME} was not cleaned up", "Finish HalvernCleanup"])
        self.assertEqual(len(observed.events), 2)
        self.assertRemoval(observed, observed.events[0])
        self.assertInstallation(observed, observed.events[1], error_code=NOT_PROVISIONED,
                                error_message="MSIXError(PackageDeprovisionFailure): The family is not provisioned.")
        self.assertEqual(scenario.state(), [f"removed {FULL_NAME}"])
        self.assertTrue(e2e.reg_key_exists(REGISTRATION, view=32))

    def test_a_registration_with_a_subkey_fails_the_unregistration_after_the_deprovisioning(self):
        e2e.reg_add(f"{REGISTRATION}\\Commands", view=32)
        scenario = self.scenario(staged())

        observed = self.run_machine_wide(scenario)

        self.assertEqual(observed.messages, ["Start HalvernCleanup", ANNOUNCEMENT, GOT_200, GOT_200,
                                             f"{NAME} was not cleaned up", "Finish HalvernCleanup"])
        self.assertEqual(len(observed.events), 2)
        self.assertRemoval(observed, observed.events[0])
        # RegDeleteKeyW refuses a key with subkeys with ERROR_ACCESS_DENIED; the message is the system's
        # own text for it, which Wine words in its own way.
        message = observed.events[1].get("error_message", "")
        self.assertRegex(message, r"^MSIXError\(FailedToUnregisterFromOmaha\): \S.*\r\n$")
        self.assertInstallation(observed, observed.events[1], error_code=5, error_message=message)
        self.assertEqual(scenario.state(), [f"removed {FULL_NAME}", f"deprovisioned {FAMILY}"])
        self.assertTrue(e2e.reg_key_exists(REGISTRATION, view=32))
        self.assertTrue(e2e.reg_key_exists(f"{REGISTRATION}\\Commands", view=32))


if __name__ == "__main__":
    unittest.main()
