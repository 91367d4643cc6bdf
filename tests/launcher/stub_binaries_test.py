"""Checks the built stubs as files: format, subsystem, imports (the win32
stub's against the reviewed list in win32_stub_imports.txt), size budgets,
the win32 stub's instruction set, and the template fields' default contents
occurring exactly once.

    python3 stub_binaries_test.py WIN32_STUB WIN64_STUB

The instruction check disassembles the win32 stub with
i686-w64-mingw32-objdump; its link map (orvane_stub.map beside it) names
the functions allowed instructions newer than the i486, those whose names
end in "Pclmul": each runs only after a run-time check of the processor.
"""

import re
import subprocess
import struct
import sys
import unittest
import xml.etree.ElementTree as ElementTree
from pathlib import Path

SIZE_BUDGET = 65536
CODE_BUDGET = 51200  # the win32 stub less its resources
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll"}
REVIEWED_IMPORTS = Path(__file__).with_name("win32_stub_imports.txt")
# What an i486 lacks: the Pentium's and later processors' instructions
# (conditional moves, time-stamp and performance counters, CPUID, the 8-byte
# compare-exchange, fast system calls, the long NOPs, bit-manipulation and
# CRC instructions, cache and fence instructions, state saves) and every
# instruction on MMX, SSE, AVX or mask registers.
NEWER_THAN_I486 = re.compile(
    r"^(f?cmov\w*|f?u?comip?|rdtscp?|rdpmc|cpuid|cmpxchg(8|16)b|sys(enter|exit|call|ret)|"
    r"nop[wl]|ud[01]|popcnt|lzcnt|tzcnt|movbe|andn|bextr|bls(i|msk|r)|bzhi|mulx|pdep|pext|"
    r"rorx|sarx|shlx|shrx|adcx|adox|crc32|prefetch\w*|clflush\w*|[lsm]fence|fx(save|rstor)\w*|"
    r"xsave\w*|xrstor\w*|emms|femms)$")
VECTOR_REGISTER = re.compile(r"%([xyz]mm\d+|mm\d|k\d)\b")
FIELD_DEFAULTS = {
    "stub size": b"0279041",
    "install directory": b"INSTALL" + b"0" * 121,
    "setup command": b"SETUP.EXE" + b" " * 119,
}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
TERMINAL_SERVER_AWARE = 0x8000
RT_MANIFEST = 24
SUPPORTED_OS = {  # Vista, 7, 8, 8.1, 10 and 11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}


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
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.import_rva = struct.unpack_from("<I", data, directories + 8)[0]
        self.resource_rva = struct.unpack_from("<I", data, directories + 16)[0]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<8sIIII", data, table + 40 * i) for i in range(sections)]

    def offset(self, rva: int) -> int:
        for _, vsize, vaddr, raw_size, raw_ptr in self.sections:
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw_ptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} is in no section")

    def text(self, rva: int) -> str:
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        """(DLL, function) pairs, by name; an import by ordinal as "#N"."""
        pairs, at = [], self.offset(self.import_rva)
        wide = self.magic != 0x10B
        entry, by_ordinal = (8, 1 << 63) if wide else (4, 1 << 31)
        while True:
            descriptor = struct.unpack_from("<IIIII", self.data, at)
            if not any(descriptor):
                return pairs
            dll = self.text(descriptor[3])
            thunk = self.offset(descriptor[0] or descriptor[4])
            while True:
                value = struct.unpack_from("<Q" if wide else "<I", self.data, thunk)[0]
                if value == 0:
                    break
                pairs.append((dll, f"#{value & 0xFFFF}" if value & by_ordinal else self.text(value + 2)))
                thunk += entry
            at += 20

    def imported_dlls(self):
        return {dll for dll, _ in self.imports()}

    def resources(self):
        """{(type, name, language): data} of the resource tree, names and
        types by number (a named one as its offset, which these checks do
        not need)."""
        found = {}
        root = self.offset(self.resource_rva)

        def walk(directory, path):
            named, numbered = struct.unpack_from("<HH", self.data, root + directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, root + directory + 16 + 8 * i)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, path + (name & 0x7FFFFFFF,))
                else:
                    rva, size = struct.unpack_from("<II", self.data, root + target)
                    found[path + (name,)] = self.data[self.offset(rva):self.offset(rva) + size]

        walk(0, ())
        return found

    def section_size(self, name: bytes) -> int:
        return sum(raw_size for section, _, _, raw_size, _ in self.sections
                   if section.rstrip(b"\0") == name)


def guarded_ranges(map_file: Path):
    """Address ranges of the functions whose names end in "Pclmul", from
    the link map (each is an input section .text$<mangled name>)."""
    found = re.findall(r"^ \.text\$(\S*Pclmul\S*)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)",
                       map_file.read_text(), re.M)
    return [(int(start, 16), int(start, 16) + int(size, 16)) for _, start, size in found]


def newer_instructions(stub: Path):
    """Instructions of the stub newer than the i486, outside the guarded
    functions, as "address: instruction" lines."""
    allowed = guarded_ranges(stub.with_suffix(".map"))
    listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", str(stub)],
                             capture_output=True, text=True, check=True).stdout
    found = []
    for line in listing.splitlines():
        address, tab, instruction = line.partition(":\t")
        if not tab or not address.strip():
            continue
        words = instruction.split()
        if words and words[0] in ("rep", "repz", "repnz", "lock"):
            words = words[1:]
        if not words:
            continue
        at = int(address, 16)
        if any(start <= at < end for start, end in allowed):
            continue
        if NEWER_THAN_I486.match(words[0]) or VECTOR_REGISTER.search(instruction):
            found.append(f"{at:#x}: {instruction.strip()}")
    return found


class StubBinaries(unittest.TestCase):
    def load(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_win32_stub_is_a_pe32_gui_program_within_budget(self):
        data = self.load(WIN32_STUB)
        self.assertLessEqual(len(data), SIZE_BUDGET, f"{WIN32_STUB} is {len(data)} bytes")
        pe = PeFile(data)
        code = len(data) - pe.section_size(b".rsrc")
        self.assertLessEqual(code, CODE_BUDGET, f"{WIN32_STUB} is {code} bytes without resources")
        self.assertEqual((pe.machine, pe.magic), (0x14C, 0x10B), "not an i386 PE32 image")
        self.assertEqual(pe.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)

    def test_stubs_carry_the_manifest_and_are_terminal_server_aware(self):
        for path in (WIN32_STUB, WIN64_STUB):
            pe = PeFile(self.load(path))
            self.assertTrue(pe.dll_characteristics & TERMINAL_SERVER_AWARE, path)
            manifests = {key: data for key, data in pe.resources().items() if key[0] == RT_MANIFEST}
            self.assertEqual([key[1] for key in manifests], [1], path)  # the process's manifest
            root = ElementTree.fromstring(next(iter(manifests.values())))
            levels = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
            self.assertEqual(levels, ["asInvoker"], path)
            self.assertEqual({e.get("Id") for e in root.iter() if e.tag.endswith("}supportedOS")},
                             SUPPORTED_OS, path)
            settings = {e.tag.rpartition("}")[2]: e.text for e in root.iter()
                        if e.tag.endswith(("}dpiAware", "}activeCodePage"))}
            self.assertEqual(settings, {"dpiAware": "true", "activeCodePage": "UTF-8"}, path)

    def test_win32_stub_imports_only_the_reviewed_functions(self):
        reviewed = {tuple(line.split()) for line in REVIEWED_IMPORTS.read_text().splitlines()
                    if line.strip() and not line.startswith("#")}
        imported = set(PeFile(self.load(WIN32_STUB)).imports())
        self.assertEqual(sorted(imported - reviewed), [], f"not reviewed: see {REVIEWED_IMPORTS}")
        self.assertEqual(sorted(reviewed - imported), [], f"no longer imported: update {REVIEWED_IMPORTS}")

    def test_win32_stub_runs_on_an_i486(self):
        found = newer_instructions(Path(WIN32_STUB))
        self.assertEqual(found[:20], [], f"{len(found)} instructions newer than the i486")

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
