"""Lays out a release's symbols as a symbol store, the folder a debugger's symbol path names; scripts/release.sh
runs it on the release.

    python3 scripts/symbol_store.py DIST

For each DIST/NAME.exe and the PDB its debug record names: DIST/symbols/NAME.pdb/GUIDAGE/NAME.pdb, keyed by the
PDB's GUID (32 upper-case hex digits in its textual order) and age (hex) as the exe's CodeView record holds
them, and DIST/symbols/NAME.exe/KEY/NAME.exe, keyed by the PE header's TimeDateStamp (8 hex digits) and
SizeOfImage (hex): an x64 minidump cannot be unwound without the image.
"""

import shutil
import struct
import sys
from pathlib import Path

CODEVIEW = 2


def symbol_keys(image):
    """(exe key, PDB key, PDB file name) of a PE32+ image."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", image, header + 6)
    timestamp, = struct.unpack_from("<I", image, header + 8)
    optional = header + 24
    size_of_image, = struct.unpack_from("<I", image, optional + 56)
    debug_rva, debug_size = struct.unpack_from("<II", image, optional + 112 + 6 * 8)
    table = optional + optional_size
    debug = next(raw + debug_rva - address for size, address, _, raw in
                 (struct.unpack_from("<IIII", image, table + 40 * index + 8) for index in range(sections))
                 if address <= debug_rva < address + size)
    for entry in range(debug, debug + debug_size, 28):
        kind, _, _, record = struct.unpack_from("<IIII", image, entry + 12)
        if kind == CODEVIEW and image[record:record + 4] == b"RSDS":
            data1, data2, data3, data4, age = struct.unpack_from("<IHH8sI", image, record + 4)
            name = image[record + 24:image.index(b"\0", record + 24)].decode()
            guid = f"{data1:08X}{data2:04X}{data3:04X}{data4.hex().upper()}"
            return f"{timestamp:08X}{size_of_image:x}", f"{guid}{age:X}", name
    raise SystemExit("symbol_store.py: no CodeView record in the image")


def main(dist):
    for exe in sorted(dist.glob("*.exe")):
        exe_key, pdb_key, pdb_name = symbol_keys(exe.read_bytes())
        for file, key in ((exe, exe_key), (exe.with_name(pdb_name), pdb_key)):
            folder = dist / "symbols" / file.name / key
            folder.mkdir(parents=True)
            shutil.copyfile(file, folder / file.name)


if __name__ == "__main__":
    main(Path(sys.argv[1]))
