"""The exe's run spine: start and finish lines, exit code 0, whatever the command line."""

import subprocess
import unittest

import halvern_e2e as e2e


def setUpModule():
    e2e.ensure_wine_session()
    # Nothing registered in either hive: every run writes exactly its start and finish lines.
    e2e.reg_delete(r"HKCU\Software\HalvernUpdate", view=32)
    e2e.reg_delete(r"HKLM\Software\HalvernUpdate", view=32)


class RunSpine(unittest.TestCase):
    COMMAND_LINES = [
        [],
        ["/InstallType:MACHINE"],
        ["/InstallType:USER"],
        ["/InstallType: MACHINE", "-x", "//y", "a b", "/InstallType=MACHINE", "%TEMP%", "\"quoted\""],
    ]

    def test_writes_exactly_the_start_and_finish_lines_and_exits_zero(self):
        for arguments in self.COMMAND_LINES:
            with self.subTest(arguments=arguments):
                run = e2e.run_cleanup(*arguments)
                self.assertEqual(run.lines, ["[HalvernMSIX] Start HalvernCleanup\n",
                                             "[HalvernMSIX] Finish HalvernCleanup\n"])
                self.assertEqual(run.exit_code, 0)


class ShippedBinary(unittest.TestCase):
    """The exe imports system DLLs only: the C++ runtime and threads are linked in."""

    SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "shell32.dll", "winhttp.dll", "ole32.dll", "oleaut32.dll",
                   "msvcrt.dll", "user32.dll", "crypt32.dll", "combase.dll"}

    def test_imports_only_system_dlls(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(e2e.CLEANUP_EXE)], check=True,
                              stdout=subprocess.PIPE, text=True).stdout
        imported = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
                    if line.strip().startswith("DLL Name:")}
        self.assertIn("kernel32.dll", imported)
        unexpected = {name for name in imported
                      if name not in self.SYSTEM_DLLS and not name.startswith("api-ms-win-")}
        self.assertEqual(unexpected, set())

    def test_is_a_gui_subsystem_executable(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(e2e.CLEANUP_EXE)], check=True,
                              stdout=subprocess.PIPE, text=True).stdout
        self.assertRegex(dump, r"Subsystem\s+00000002\s+\(Windows GUI\)")


if __name__ == "__main__":
    unittest.main()
