"""The release path, run from two copies of this checkout: scripts/release.sh and the release preset refuse
to build without the real telemetry host; two builds in different folders at different times are
bit-identical, PDBs included; the PDBs and the symbol store serve a debugger; and a signed release verifies
against its CA only while unchanged, and still runs."""

import filecmp
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from halvern_wine import CAPTURE_EXE, MONITOR, ROOT, ensure_wine_session, remove_updater_keys, wine

HOST, VERSION, EPOCH = "telemetry.halvern.example", "2.7.1.40", 1700000000
PROGRAMS = {"HalvernCleanup": "", "HalvernCleanupPreview": "", "HalvernDebugCapture": "tools/"}  # build folder


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


def tool(*command):
    return run(command, WORK, check=True).stdout


def header(exe, offset):
    """A 32-bit field of the exe's PE header (its signature at offset 0)."""
    image = exe.read_bytes()
    return struct.unpack_from("<I", image, struct.unpack_from("<I", image, 0x3C)[0] + offset)[0]


def pdb_identity(pdb):
    """The GUID and age a PDB records for itself."""
    summary = tool("llvm-pdbutil-19", "dump", "--summary", pdb)
    return re.search(r"GUID: \{(.*)\}", summary)[1], int(re.search(r"\bAge: (\d+)", summary)[1])


def setUpModule():
    """A release from one copy; later, the same build from another, without SOURCE_DATE_EPOCH: the release
    preset keeps the one it was configured with."""
    global WORK, FIRST, SECOND, RELEASED
    WORK = Path(tempfile.mkdtemp(prefix="halvern-release-"))
    FIRST, SECOND = copy_checkout(WORK / "a"), copy_checkout(WORK / "second checkout")
    run(["scripts/release.sh", "--host", HOST, "--version", VERSION], FIRST, check=True)
    RELEASED = shutil.copytree(FIRST / "dist", WORK / "released")
    run(["cmake", "--preset", "release", f"-DHALVERN_TELEMETRY_HOST={HOST}", f"-DHALVERN_VERSION={VERSION}"], SECOND,
        check=True)
    run(["cmake", "--build", "--preset", "release"], SECOND, check=True, epoch=False)


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
        expected = ["SHA256SUMS", "licenses/gcc-runtime-library-exception.txt",
                    "licenses/mingw-w64-runtime-and-winpthreads.txt"]
        for name, folder in PROGRAMS.items():
            exe, pdb = RELEASED / f"{name}.exe", RELEASED / f"{name}.pdb"
            for file in (exe, pdb):
                built = SECOND / "build" / "release" / folder / file.name
                self.assertTrue(filecmp.cmp(file, built, shallow=False), file)
            # Where a symbol server keeps them: under the PDB's GUID and age, and the exe's time stamp and size.
            guid, age = pdb_identity(pdb)
            stored = {f"symbols/{pdb.name}/{guid.replace('-', '')}{age:X}/{pdb.name}": pdb,
                      f"symbols/{exe.name}/{header(exe, 8):08X}{header(exe, 80):x}/{exe.name}": exe}
            for path, original in stored.items():
                self.assertTrue(filecmp.cmp(RELEASED / path, original, shallow=False), path)
            expected += [exe.name, pdb.name, *stored]
        self.assertEqual(sorted(str(path.relative_to(RELEASED)) for path in RELEASED.rglob("*") if path.is_file()),
                         sorted(expected))
        run(["sha256sum", "--check", "--strict", "SHA256SUMS"], RELEASED, check=True)

    def test_exe_is_stamped_and_stripped_and_loads_only_start_up_dlls_at_start(self):
        exe = RELEASED / "HalvernCleanup.exe"
        resources = run(["x86_64-w64-mingw32-windres", "-i", exe, "-O", "rc"], WORK, check=True).stdout
        # The version where Windows and deployment tools read it, and the manifest they act on.
        for line in ("FILEVERSION 2, 7, 1, 40", "PRODUCTVERSION 2, 7, 1, 40", '"FileVersion", "2.7.1.40"',
                     '"ProductVersion", "2.7.1.40"', 'version=""2.7.1.40""', '"ProductName", "HalvernCleanup"',
                     'level=""asInvoker""', '<supportedOS Id=""{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}""/>'):
            self.assertIn(line, resources)
        self.assertIn(HOST.encode("utf-16-le"), exe.read_bytes())
        self.assertEqual(header(exe, 8), EPOCH)
        # A GUI program without DWARF; ASLR with high-entropy addresses and DEP, no Control Flow Guard.
        self.assertNotIn(".debug_", tool("x86_64-w64-mingw32-objdump", "-h", exe))
        self.assertRegex(tool("x86_64-w64-mingw32-objdump", "-p", exe),
                         r"Subsystem\s+00000002\s+\(Windows GUI\)(.|\n)*DllCharacteristics\s+00008160")
        # WinHTTP and the COM and Windows Runtime DLLs are delay-loaded, so never at start-up, and listed as such.
        self.assertEqual(sorted((kind, dll.lower()) for kind, dll in re.findall(
            r"^(Import|DelayImport) \{\n  Name: (.*)$", tool("llvm-readobj-19", "--coff-imports", exe), re.M)),
            [("DelayImport", dll) for dll in ("combase.dll", "ole32.dll", "oleaut32.dll", "winhttp.dll")] +
            [("Import", dll) for dll in ("advapi32.dll", "kernel32.dll", "msvcrt.dll", "shell32.dll")])
        # The preview imports, delay-loaded or not, neither the registrations' deletion nor WinHTTP.
        for name, linked in ((exe.name, True), ("HalvernCleanupPreview.exe", False)):
            image = (RELEASED / name).read_bytes().lower()
            self.assertEqual((b"winhttp" in image, b"regdeletekey" in image), (linked, linked), name)

    def test_each_exe_names_only_its_pdb_which_symbolizes_it_and_shows_the_stack_protector_at_work(self):
        for name in PROGRAMS:
            # The CodeView record is the debug directory's only entry (no CET compatibility mark either).
            directory = tool("llvm-readobj-19", "--coff-debug-directory", RELEASED / f"{name}.exe")
            record = re.search(r"PDBGUID: \{(.*)\}\s+PDBAge: (\d+)\s+PDBFileName: (.*)", directory)
            self.assertEqual((re.findall(r"Type: (\w+)", directory), record[1], int(record[2]), record[3]),
                             (["CodeView"], *pdb_identity(RELEASED / f"{name}.pdb"), f"{name}.pdb"))
        exe = RELEASED / "HalvernCleanup.exe"
        publics = tool("llvm-pdbutil-19", "dump", "--publics", exe.with_suffix(".pdb"))

        def address(symbol):  # in the loaded image: its base, 0x140000000, plus its section's and its offset
            section, offset = map(int, re.search(rf"`{symbol}`\s+flags = function, addr = (\d+):(\d+)", publics)
                                  .groups())
            return 0x140000000 + header(exe, 24 + (header(exe, 20) & 0xFFFF) + 40 * (section - 1) + 12) + offset
        # From another folder: llvm-symbolizer finds the PDB next to the exe, which names no build folder.
        function, line = tool("llvm-symbolizer-19", f"--obj={exe}",
                              hex(address(r"_ZN7halvern14RunCleanupPass\w*") + 4)).splitlines()[:2]
        self.assertEqual(function, "halvern::RunCleanupPass(halvern::Platform&)")
        self.assertRegex(line, r"^C:\\halvern\\src\\app\\cleanup_pass\.cpp:[1-9]")
        # Each protected function calls the failure routine on its way out, when its guard was overwritten.
        calls = re.findall(rf"call\w*\s+{address('__stack_chk_fail'):#x}\b", tool("llvm-objdump-19", "-d", exe))
        self.assertGreater(len(calls), 50)

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
            result = wine(CAPTURE_EXE, MONITOR, exe, check=False)
            self.assertEqual((result.returncode, result.stdout.decode()),
                             (0, "[HalvernMSIX] Start HalvernCleanup\n[HalvernMSIX] Finish HalvernCleanup\n"))

        # Against another CA the signature does not verify: the release stops and leaves no dist/.
        refused = run(sign + [folder / "other-ca.pem"], FIRST)
        self.assertEqual((refused.returncode, "does not verify" in refused.stderr), (1, True))
        self.assertFalse((FIRST / "dist").exists())


if __name__ == "__main__":
    unittest.main()
