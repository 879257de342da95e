"""The release path, run from two copies of this checkout: scripts/release.sh and the release preset refuse
to build without the real telemetry host; two builds in different folders at different times are
bit-identical; and a signed release verifies against its CA only while unchanged, and still runs."""

import filecmp
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from halvern_wine import CAPTURE_EXE, ROOT, ensure_wine_session, remove_updater_keys, wine

HOST, VERSION, EPOCH = "telemetry.halvern.example", "2.7.1.40", 1700000000


def run(command, folder, check=False, epoch=True):
    environment = dict(os.environ, SOURCE_DATE_EPOCH=str(EPOCH))
    if not epoch:
        del environment["SOURCE_DATE_EPOCH"]
    result = subprocess.run(list(map(str, command)), cwd=folder, stdin=subprocess.DEVNULL, capture_output=True,
                            text=True, env=environment, timeout=900)
    if check and result.returncode != 0:
        raise AssertionError(f"{command} exited {result.returncode}:\n{result.stdout}\n{result.stderr}")
    return result


def copy_checkout(target):
    for name in run(["git", "ls-files", "-co", "--exclude-standard"], ROOT, check=True).stdout.splitlines():
        if (ROOT / name).is_file():
            (target / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / name, target / name)
    return target


def setUpModule():
    """A release from one copy; later, the product target alone from another, built without SOURCE_DATE_EPOCH:
    the release preset keeps the one it was configured with."""
    global WORK, FIRST, SECOND, RELEASED
    WORK = Path(tempfile.mkdtemp(prefix="halvern-release-"))
    FIRST, SECOND = copy_checkout(WORK / "a"), copy_checkout(WORK / "second checkout")
    run(["scripts/release.sh", "--host", HOST, "--version", VERSION], FIRST, check=True)
    RELEASED = shutil.copytree(FIRST / "dist", WORK / "released")
    run(["cmake", "--preset", "release", f"-DHALVERN_TELEMETRY_HOST={HOST}", f"-DHALVERN_VERSION={VERSION}"], SECOND,
        check=True)
    run(["cmake", "--build", "--preset", "release", "--target", "HalvernCleanup"], SECOND, check=True, epoch=False)


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


class Release(unittest.TestCase):
    def test_a_missing_or_local_host_is_refused_in_one_line(self):
        script = "release.sh: a release needs the real telemetry host: --host HOST (not localhost)"
        preset = "a release needs the real telemetry host: -DHALVERN_TELEMETRY_HOST=HOST (not localhost)"
        for command, message in [(["scripts/release.sh", "--version", VERSION], script),
                                 (["scripts/release.sh", "--host", "LocalHost"], script),
                                 (["cmake", "--preset", "release", "-B", "refused"], preset),
                                 (["cmake", "--preset", "release", "-B", "refused", "-DHALVERN_TELEMETRY_HOST=localhost"],
                                  preset)]:
            with self.subTest(command=command):
                result = run(command, FIRST)
                lines = [line.strip() for line in (result.stdout + result.stderr).splitlines() if line.strip()]
                self.assertNotEqual(result.returncode, 0)
                if command[0] == "cmake":  # CMake frames its errors; the message itself is one line
                    self.assertIn(message, lines)
                else:
                    self.assertEqual(lines, [message])

    def test_two_builds_in_different_folders_are_bit_identical_and_the_release_is_complete(self):
        for name in ("HalvernCleanup.exe", "HalvernCleanup.debug"):
            self.assertTrue(filecmp.cmp(RELEASED / name, SECOND / "build" / "release" / name, shallow=False), name)
        self.assertEqual(sorted(str(path.relative_to(RELEASED)) for path in RELEASED.rglob("*") if path.is_file()), [
            "HalvernCleanup.debug", "HalvernCleanup.exe", "HalvernCleanupPreview.debug", "HalvernCleanupPreview.exe",
            "HalvernDebugCapture.debug", "HalvernDebugCapture.exe",
            "SHA256SUMS", "licenses/gcc-runtime-library-exception.txt",
            "licenses/mingw-w64-runtime-and-winpthreads.txt"])
        run(["sha256sum", "--check", "--strict", "SHA256SUMS"], RELEASED, check=True)

    def test_exe_is_stamped_and_stripped_and_loads_only_start_up_dlls_at_start(self):
        exe = RELEASED / "HalvernCleanup.exe"
        resources = run(["x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"], WORK, check=True).stdout
        # The version where Windows and deployment tools read it, and the manifest they act on.
        for line in ("FILEVERSION 2, 7, 1, 40", "PRODUCTVERSION 2, 7, 1, 40", '"FileVersion", "2.7.1.40"',
                     '"ProductVersion", "2.7.1.40"', 'version=""2.7.1.40""', '"ProductName", "HalvernCleanup"',
                     'level=""asInvoker""', '<supportedOS Id=""{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}""/>'):
            self.assertIn(line, resources)
        image = exe.read_bytes()
        self.assertIn(HOST.encode("utf-16-le"), image)
        self.assertEqual(struct.unpack_from("<I", image, struct.unpack_from("<I", image, 0x3C)[0] + 8)[0], EPOCH)
        self.assertIn(b"HalvernCleanup.debug\0", image)

        def objdump(option, path):
            return run(["x86_64-w64-mingw32-objdump", option, path], WORK, check=True).stdout
        self.assertEqual(("debug_info" in objdump("-h", exe), "debug_info" in objdump("-h", exe.with_suffix(".debug"))),
                         (False, True))
        # A GUI program; WinHTTP and the COM and Windows Runtime DLLs are delay-loaded, so never at start-up.
        self.assertRegex(objdump("-p", exe), r"Subsystem\s+00000002\s+\(Windows GUI\)")
        self.assertEqual({line.split(":")[1].strip().lower() for line in objdump("-p", exe).splitlines()
                          if "DLL Name:" in line}, {"kernel32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"})
        # The preview imports, delay-loaded or not, neither the registrations' deletion nor WinHTTP.
        for name, linked in ((exe.name, True), ("HalvernCleanupPreview.exe", False)):
            image = (RELEASED / name).read_bytes().lower()
            self.assertEqual((b"winhttp" in image, b"regdeletekey" in image), (linked, linked), name)

    def test_signed_release_verifies_against_its_ca_until_a_byte_changes_and_runs_alike(self):
        folder = Path(tempfile.mkdtemp(dir=WORK))
        (folder / "password").write_text("throwaway\n")
        (folder / "signing.ext").write_text("keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
        for name in ("ca", "other-ca"):
            run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", f"{name}.key", "-out",
                 f"{name}.pem", "-days", "2", "-subj", f"/CN=Halvern {name}", "-addext",
                 "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"], folder, check=True)
        for command in (["req", "-newkey", "rsa:2048", "-nodes", "-keyout", "signing.key", "-out", "signing.csr",
                         "-subj", "/CN=Halvern code signing"],
                        ["x509", "-req", "-in", "signing.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                         "-days", "2", "-extfile", "signing.ext", "-out", "signing.pem"],
                        ["pkcs12", "-export", "-in", "signing.pem", "-inkey", "signing.key", "-out", "signing.p12",
                         "-passout", "file:password"]):
            run(["openssl", *command], folder, check=True)
        sign = ["scripts/release.sh", "--host", HOST, "--version", VERSION, "--sign", folder / "signing.p12",
                "--password-file", folder / "password", "--ca"]
        run(sign + [folder / "ca.pem"], FIRST, check=True)

        signed = FIRST / "dist" / "HalvernCleanup.exe"
        changed = bytearray(signed.read_bytes())
        changed[0x1000] ^= 0x01
        (folder / "changed.exe").write_bytes(changed)
        self.assertEqual([run(["osslsigncode", "verify", "-CAfile", folder / "ca.pem", "-in", exe], folder).returncode
                          == 0 for exe in (signed, folder / "changed.exe")], [True, False])
        ensure_wine_session()
        remove_updater_keys()
        for exe in (RELEASED / "HalvernCleanup.exe", signed):
            result = wine(CAPTURE_EXE, exe, check=False)
            self.assertEqual((result.returncode, result.stdout.decode()),
                             (0, "[HalvernMSIX] Start HalvernCleanup\n[HalvernMSIX] Finish HalvernCleanup\n"))

        # Against another CA the signature does not verify: the release stops and leaves no dist/.
        refused = run(sign + [folder / "other-ca.pem"], FIRST)
        self.assertEqual((refused.returncode, "does not verify" in refused.stderr), (1, True))
        self.assertFalse((FIRST / "dist").exists())


if __name__ == "__main__":
    unittest.main()
