"""Checks the built stubs as files: format, subsystem, imports, size budget,
and the template fields' default contents occurring exactly once.

    python3 stub_binaries_test.py WIN32_STUB WIN64_STUB
"""

import struct
import sys
import unittest

SIZE_BUDGET = 65536
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}
FIELD_DEFAULTS = {
    "stub size": b"0279041",
    "install directory": b"INSTALL" + b"0" * 121,
    "setup command": b"SETUP.EXE" + b" " * 119,
}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


class PeFile:
    """The few PE header facts these checks need."""

    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva: int) -> int:
        for _, vsize, vaddr, raw_size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_ptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    def imported_dlls(self):
        names, at = [], self.offset(self.import_rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", self.data, at)
            if not any(descriptor):
                return names
            start = self.offset(descriptor[3])
            names.append(self.data[start:self.data.index(b"\0", start)].decode("ascii"))
            at += 20


class StubBinaries(unittest.TestCase):
    def load(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_win32_stub_is_a_pe32_gui_program_within_budget(self):
        data = self.load(WIN32_STUB)
        self.assertLessEqual(len(data), SIZE_BUDGET, f"{WIN32_STUB} is {len(data)} bytes")
        pe = PeFile(data)
        self.assertEqual((pe.machine, pe.magic), (0x14C, 0x10B), "not an i386 PE32 image")
        self.assertEqual(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)

    def test_win64_stub_is_a_pe32_plus_gui_program(self):
        pe = PeFile(self.load(WIN64_STUB))
        self.assertEqual((pe.machine, pe.magic), (0x8664, 0x20B), "not an x86-64 PE32+ image")
        self.assertEqual(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)

    def test_stubs_import_only_system_dlls(self):
        for path in (WIN32_STUB, WIN64_STUB):
            dlls = {name.lower() for name in PeFile(self.load(path)).imported_dlls()}
            self.assertTrue(dlls, path)
            self.assertLessEqual(dlls, SYSTEM_DLLS, f"{path} imports {sorted(dlls - SYSTEM_DLLS)}")

    def test_each_field_default_occurs_exactly_once(self):
        for path in (WIN32_STUB, WIN64_STUB):
            data = self.load(path)
            for name, default in FIELD_DEFAULTS.items():
                self.assertEqual(data.count(default), 1, f"{name} field in {path}")
                # Full width, then the NUL that ends the field.
                self.assertEqual(data[data.index(default) + len(default)], 0, f"{name} in {path}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    WIN32_STUB, WIN64_STUB = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
