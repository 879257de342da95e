"""How the shipped exe loads WinHTTP and the COM and Windows Runtime DLLs: only from System32, never from
its own folder, and a DLL that cannot be loaded fails its binding's first call instead of the process."""

import shutil
import tempfile
import unittest
from pathlib import Path

from halvern_wine import (BUILD_DIR, CAPTURE_EXE, CLEANUP_EXE, MONITOR, PackageManagerScenario, Sink,
                         ensure_wine_session, plant_registration, reg_key_exists, remove_updater_keys, wine)

APP_ID, NAME, VERSION, FAMILY = "{4A000000-0000-4000-8000-000000000001}", "Halvern", "1.2.3", "Halvern.Client_x"
REGISTRATION = rf"HKCU\Software\HalvernUpdate\Update\Clients\{APP_ID}"


def setUpModule():
    ensure_wine_session()
    remove_updater_keys()


def tearDownModule():
    remove_updater_keys()


class DllLoading(unittest.TestCase):
    def setUp(self):
        self.scenario = PackageManagerScenario()
        self.addCleanup(self.scenario.remove)

    def run_stale_pass(self, exe, overrides):
        """One stale registration (planted anew; the test package manager knows no package of its family)."""
        plant_registration("HKCU", APP_ID, view=32, name=NAME, pv=VERSION, PackageFamilyName=FAMILY)
        result = wine(CAPTURE_EXE, MONITOR, exe, check=False,
                      env=dict(self.scenario.environment, WINEDLLOVERRIDES=overrides))
        return result.returncode, [line.removeprefix("[HalvernMSIX] ") for line in result.stdout.decode().splitlines()]

    def test_a_missing_dll_fails_its_first_call_and_the_run_completes(self):
        # Wine's winhttp needs ole32, oleaut32 and combase: without any of them the upload's first call
        # fails too. Without combase or ole32 the package manager cannot be activated either.
        for dll, cleaned_up in (("winhttp", True), ("oleaut32", True), ("combase", False), ("ole32", False)):
            with self.subTest(dll=dll):
                self.assertEqual(self.run_stale_pass(CLEANUP_EXE, f"{dll}=d"), (0, [
                    "Start HalvernCleanup",
                    f"Name: {NAME} Version: {VERSION} PackageFamilyName: {FAMILY}",
                    "WinHttpOpen failed with error 126",
                    f"{NAME} was {'' if cleaned_up else 'not '}cleaned up",
                    "Finish HalvernCleanup"]))
                self.assertEqual(reg_key_exists(REGISTRATION, view=32), not cleaned_up)

    def test_a_winhttp_dll_planted_next_to_the_exe_is_never_loaded(self):
        # Told to prefer a native winhttp.dll, Wine would take this one if the exe searched its own folder.
        folder = Path(tempfile.mkdtemp(prefix="planted-"))
        self.addCleanup(shutil.rmtree, folder, True)
        shutil.copy(CLEANUP_EXE, folder)
        shutil.copy(BUILD_DIR / "tools" / "HalvernTestPackageManager.dll", folder / "winhttp.dll")
        with Sink():
            code, lines = self.run_stale_pass(folder / CLEANUP_EXE.name, "winhttp=n,b")
        self.assertEqual((code, lines[2:4]), (0, ["Got expected status code=200", f"{NAME} was cleaned up"]))


if __name__ == "__main__":
    unittest.main()
