"""The exe as shipped: a GUI-subsystem program that imports system DLLs only (the C++ runtime and threads are
linked in)."""

import subprocess
import unittest

import halvern_wine as harness

SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "shell32.dll", "winhttp.dll", "ole32.dll", "oleaut32.dll",
               "msvcrt.dll", "user32.dll", "crypt32.dll", "combase.dll"}


class ShippedBinary(unittest.TestCase):
    def test_is_a_gui_program_importing_only_system_dlls(self):
        dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(harness.CLEANUP_EXE)], check=True,
                              stdout=subprocess.PIPE, text=True).stdout
        self.assertRegex(dump, r"Subsystem\s+00000002\s+\(Windows GUI\)")
        imported = {line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
                    if line.strip().startswith("DLL Name:")}
        self.assertIn("kernel32.dll", imported)
        self.assertEqual({name for name in imported if name not in SYSTEM_DLLS and not name.startswith("api-ms-win-")},
                         set())


if __name__ == "__main__":
    unittest.main()
