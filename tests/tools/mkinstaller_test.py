"""Runs mkinstaller on fake stubs made here, and on the real win32 stub when
it is built: accepted inputs give exactly the patched stub followed by the
archive (given, or packed from a folder the same way on any machine);
refused ones give one message, a non-zero exit, and leave the output's
directory as it was; --inspect tells a consistent installer from a broken one.

    python3 mkinstaller_test.py MKINSTALLER [WIN32_STUB]
    python3 mkinstaller_test.py --wine MKINSTALLER.EXE HOST_MKINSTALLER [WIN32_STUB]

With --wine the same cases run the Windows builder under the Wine bench
(tests/wine/winebench.py on PYTHONPATH, its fixture's environment), less
those Wine cannot stage (WINE_CANNOT), and its installers are compared with
the host builder's byte for byte.
"""

import io
import random
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

STUB_SIZE_DEFAULT = b"0279041"
INSTALL_DIRECTORY_DEFAULT = b"INSTALL" + b"0" * 121
SETUP_COMMAND_DEFAULT = b"SETUP.EXE" + b" " * 119
FIELD_DEFAULTS = (STUB_SIZE_DEFAULT, INSTALL_DIRECTORY_DEFAULT, SETUP_COMMAND_DEFAULT)
LARGEST_STUB = 9_999_998  # its size plus one is the largest seven-digit value

# Set by the command line: the command that runs the builder, and what its
# environment needs (the Wine prefix) when it is the Windows one.
TOOL = []
TOOL_ENV = {}
ON_WINE = False
# Cases of the host run that Wine cannot stage, by subtest name.
WINE_CANNOT = {
    "file unreadable": "the tests run as root, and Wine runs only as the owner of its prefix",
    "symbolic link": "Wine 8 shows a Linux symbolic link to a file as that file (a link to a "
                     "folder comes as a reparse point: case 'symbolic link to a folder')",
    "pipe": "Wine lists a FIFO as an empty file; Windows folders hold no FIFOs",
}


def fake_stub(fields=FIELD_DEFAULTS, size=0, gap=37, head=b"MZ" + b"\xcc" * 62):
    """`head`, then each field content with a NUL and `gap` filler bytes after
    it, padded to `size` bytes; returns the bytes and the fields' offsets.
    With no gap the fields lie in one block, as in the real stub."""
    data, offsets = bytearray(head), []
    for content in fields:
        offsets.append(len(data))
        data += content + b"\0" + b"\xcc" * gap
    data += b"\xcc" * max(0, size - len(data))
    return bytes(data), offsets


def zip_payload():
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("SETUP.EXE", b"MZ setup program" * 50)
        archive.writestr("data/readme.txt", "orvane\r\n")
    return buffer.getvalue()


def pe_head():
    """An MZ header leading to a PE32 header whose optional header has 16
    empty data directories; returns it and the offset of the security entry
    (the fifth), which names an Authenticode signature."""
    head = bytearray(b"MZ" + b"\xcc" * 0x3A + struct.pack("<I", 0x40))
    head += b"PE\0\0" + struct.pack("<HHIIIHH", 0x14C, 0, 0, 0, 0, 0xE0, 0x102)
    optional = bytearray(0xE0)
    optional[0:2] = struct.pack("<H", 0x10B)
    optional[92:96] = struct.pack("<I", 16)
    security = len(head) + 96 + 4 * 8
    return bytes(head + optional), security


def make_tree(root, files, reverse=False):
    """Creates `files` below `root`: a name ending in "/" is a folder, a
    bytes value a file's contents; os.symlink (to SETUP.EXE), os.path.isdir
    (a link to "sub"), os.mkfifo and an int (a sparse file of that size) make
    the special kinds."""
    os.makedirs(root, exist_ok=True)
    for name in sorted(files, reverse=reverse):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        content = files[name]
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
        elif content is os.symlink:
            os.symlink("SETUP.EXE", path)
        elif content is os.path.isdir:
            os.symlink("sub", path)
        elif content is os.mkfifo:
            os.mkfifo(path)
        elif isinstance(content, int):
            with open(path, "wb") as f:
                f.truncate(content)
        else:
            with open(path, "wb") as f:
                f.write(content)


def end_record_at_the_end():
    """The smallest payload that passes: a signature and 18 bytes after it."""
    return b"junk" + b"PK\x05\x06" + bytes(18)


def patched(stub, offsets, install_directory, setup_command):
    """What the stub must become, field by field at the known offsets."""
    data = bytearray(stub)
    values = (b"%07d" % (len(stub) + 1), install_directory, setup_command)
    for offset, value, default in zip(offsets, values, FIELD_DEFAULTS):
        data[offset:offset + len(default)] = value.ljust(len(default), b" ")
    return bytes(data)


class Workspace:
    """A temporary directory holding a stub and a payload."""

    def __init__(self, test, stub, payload):
        self.directory = tempfile.TemporaryDirectory()
        test.addCleanup(self.directory.cleanup)
        self.path = self.directory.name
        self.write("stub.exe", stub)
        self.write("payload.zip", payload)

    def file(self, name):
        return os.path.join(self.path, name)

    def write(self, name, data):
        with open(self.file(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.file(name), "rb") as f:
            return f.read()

    def snapshot(self):
        """Every name in the directory, with a regular file's contents."""
        return {name: self.read(name) if os.path.isfile(self.file(name)) else None
                for name in os.listdir(self.path)}

    def run(self, args, limit_file_size=None, env=None, cwd=None, umask=None, user=None):
        def prepare():
            if limit_file_size:
                # A write past the limit then fails with EFBIG instead of killing the tool.
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_size, limit_file_size))
            if umask is not None:
                os.umask(umask)
            if user is not None:
                os.setgid(user)
                os.setuid(user)

        environment = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        environment.update(TOOL_ENV, **(env or {}))
        result = subprocess.run(TOOL + args, cwd=cwd or self.path, capture_output=True,
                                env=environment, preexec_fn=prepare, stdin=subprocess.DEVNULL)
        if ON_WINE:  # a Windows console program ends its lines with CR LF
            result.stdout = result.stdout.replace(b"\r\n", b"\n")
            result.stderr = result.stderr.replace(b"\r\n", b"\n")
        return result


def standard_args(*extra):
    return ["--stub", "stub.exe", "--archive", "payload.zip", "-o", "out.exe", *extra]


class MakeInstaller(unittest.TestCase):
    def assert_refused(self, result, exit_code, message):
        stderr = result.stderr.decode("ascii", "replace")
        self.assertEqual(result.returncode, exit_code, stderr)
        self.assertRegex(stderr, r"\Amkinstaller: [^\n]+\n\Z")
        self.assertIn(message, stderr)

    def test_accepted_inputs_give_the_patched_stub_and_the_archive_byte_for_byte(self):
        stub, offsets = fake_stub()
        payload = zip_payload()
        big_stub, big_offsets = fake_stub(size=LARGEST_STUB)
        setup_128 = b"bin\\setup|*" + b"x" * 113 + b".exe"
        install_128 = b"C:\\Program Files\\" + b"o" * 110 + b"\\"
        cases = [
            # (name, stub, offsets, payload, extra args, install-directory field, setup-command field)
            ("defaults", stub, offsets, payload, [], b"", b"SETUP.EXE"),
            ("both values", stub, offsets, payload,
             ["--setup", "bin\\install me.exe", "--install-dir", "<WinDir>\\Orvane\\"],
             b"<WinDir>\\Orvane\\", b"bin\\install me.exe"),
            ("values of full width", stub, offsets, payload,
             ["--setup", setup_128, "--install-dir", install_128], install_128, setup_128),
            ("end record ends the payload", stub, offsets, end_record_at_the_end(), [], b"", b"SETUP.EXE"),
            ("end record far from the end", stub, offsets, payload + b"\xcc" * 70000, [], b"",
             b"SETUP.EXE"),
            # The archive is searched back from its end in 64 KB windows.
            ("end record across two search windows", stub, offsets, payload + b"\xcc" * 65534, [],
             b"", b"SETUP.EXE"),
            ("largest stub", big_stub, big_offsets, payload, [], b"", b"SETUP.EXE"),
        ]
        for name, stub_bytes, field_offsets, payload_bytes, extra, install, setup in cases:
            with self.subTest(name):
                work = Workspace(self, stub_bytes, payload_bytes)
                # A longer file in the way: it must be replaced, not written over.
                work.write("out.exe", b"old" * 4_000_000)
                result = work.run(standard_args(*extra))
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr, b"")
                expected = patched(stub_bytes, field_offsets, install, setup) + payload_bytes
                self.assertTrue(work.read("out.exe") == expected, "output differs")
                self.assertTrue(os.stat(work.file("out.exe")).st_mode & 0o100, "not executable")
                self.assertEqual(sorted(os.listdir(work.path)), ["out.exe", "payload.zip", "stub.exe"])

    def test_refused_inputs_leave_no_output(self):
        usage, refused = 2, 1

        def stub_with(stub_size=STUB_SIZE_DEFAULT, install=INSTALL_DIRECTORY_DEFAULT,
                      setup=SETUP_COMMAND_DEFAULT, extra=()):
            return fake_stub((stub_size, install, setup, *extra))[0]

        def output(path):
            return standard_args()[:-2] + ["-o", path]

        # (name, exit code, part of the message, arguments, files to write before the run)
        cases = [
            ("no arguments", usage, "usage: mkinstaller", [], {}),
            ("unknown option", usage, "unknown option '--force'", standard_args("--force"), {}),
            ("stray argument", usage, "unexpected argument 'extra'", standard_args("extra"), {}),
            ("no stub", usage, "missing --stub", ["--archive", "payload.zip", "-o", "out.exe"], {}),
            ("no archive", usage, "missing --archive", ["--stub", "stub.exe", "-o", "out.exe"], {}),
            ("no output", usage, "missing -o", ["--stub", "stub.exe", "--archive", "payload.zip"], {}),
            ("option without value", usage, "option --setup needs a value", standard_args("--setup"), {}),
            ("option twice", usage, "option --setup given twice",
             standard_args("--setup", "A.EXE", "--setup", "B.EXE"), {}),

            ("no stub-size field", refused, "no stub-size field", standard_args(),
             {"stub.exe": stub_with(stub_size=b"0279042")}),
            ("no install-directory field", refused, "no install-directory field", standard_args(),
             {"stub.exe": stub_with(install=b"INSTALL" + b"0" * 120 + b"1")}),
            ("no setup-command field", refused, "no setup-command field", standard_args(),
             {"stub.exe": stub_with(setup=b"SETUP.EXF" + b" " * 119)}),
            ("field default without its NUL", refused, "no stub-size field", standard_args(),
             {"stub.exe": stub_with(stub_size=b"02790410")}),
            ("two stub-size fields", refused, "2 copies of the stub-size field", standard_args(),
             {"stub.exe": stub_with(extra=[STUB_SIZE_DEFAULT])}),
            ("two install-directory fields", refused, "2 copies of the install-directory field",
             standard_args(), {"stub.exe": stub_with(extra=[INSTALL_DIRECTORY_DEFAULT])}),
            ("two setup-command fields", refused, "2 copies of the setup-command field", standard_args(),
             {"stub.exe": stub_with(extra=[SETUP_COMMAND_DEFAULT])}),
            ("stub too large", refused, "stub is too large", standard_args(),
             {"stub.exe": fake_stub(size=LARGEST_STUB + 1)[0]}),

            ("setup command too long", refused, "setup command is longer than 128",
             standard_args("--setup", "A" * 125 + ".EXE"), {}),
            ("setup command empty", refused, "setup command is empty", standard_args("--setup", ""), {}),
            ("setup command with a tab", refused, "setup command holds a control character",
             standard_args("--setup", "A\tB.EXE"), {}),
            ("setup command with DEL", refused, "setup command holds a control character",
             standard_args("--setup", "A\x7fB.EXE"), {}),
            ("setup command not ASCII", refused, "setup command holds a non-ASCII byte",
             standard_args("--setup", "INSTALL\u00e9.EXE"), {}),
            ("setup command with a leading blank", refused, "setup command starts with a blank",
             standard_args("--setup", " SETUP.EXE"), {}),
            ("setup command with a trailing blank", refused, "setup command ends with a blank",
             standard_args("--setup", "SETUP.EXE "), {}),
            *[(f"setup command with {c}", refused, f"setup command holds '{c}'",
               standard_args("--setup", f"A{c}B.EXE"), {}) for c in '"<>?:'],

            ("install directory too long", refused, "install directory is longer than 128",
             standard_args("--install-dir", "C:\\" + "D" * 125 + "\\"), {}),
            ("install directory empty", refused, "install directory is empty",
             standard_args("--install-dir", ""), {}),
            ("install directory with a newline", refused, "install directory holds a control character",
             standard_args("--install-dir", "C:\\A\nB\\"), {}),
            ("install directory not ASCII", refused, "install directory holds a non-ASCII byte",
             standard_args("--install-dir", "C:\\Programme\u00fc\\"), {}),
            ("install directory with a leading blank", refused, "install directory starts with a blank",
             standard_args("--install-dir", " C:\\A\\"), {}),
            ("install directory with a trailing blank", refused, "install directory ends with a blank",
             standard_args("--install-dir", "C:\\A\\ "), {}),
            *[(f"install directory with {c}", refused, f"install directory holds '{c}'",
               standard_args("--install-dir", f"C:\\A{c}B\\"), {}) for c in '"*?|<>'],
            ("<WINDIR> not leading", refused, "install directory holds '<'",
             standard_args("--install-dir", "C:\\<WINDIR>\\"), {}),
            ("install directory without a closing backslash", refused,
             "install directory does not end with a backslash",
             standard_args("--install-dir", "<WINDIR>\\Orvane"), {}),

            ("payload not a ZIP", refused, "not a ZIP file", standard_args(),
             {"payload.zip": b"MZ, not a ZIP" * 100}),
            ("end record one byte short", refused, "not a ZIP file", standard_args(),
             {"payload.zip": end_record_at_the_end()[:-1]}),
            ("empty payload", refused, "not a ZIP file", standard_args(), {"payload.zip": b""}),

            ("output is the stub", refused, "output is the stub", output("stub.exe"), {}),
            ("output is the stub, spelled differently", refused, "output is the stub",
             output("./sub/../stub.exe"), {"sub/": None}),
            ("output is the stub through a symbolic link", refused, "output is the stub",
             output("link.exe"), {"link.exe": "stub.exe"}),
            ("output is the stub through a hard link", refused, "output is the stub",
             output("hard.exe"), {"hard.exe": os.link}),
            ("output is the archive", refused, "output is the archive", output("payload.zip"), {}),
            ("output is a stub that is not there", refused, "output is the stub",
             ["--stub", "x/../gone.exe", "--archive", "payload.zip", "-o", "gone.exe"], {}),

            ("stub not there", refused, "cannot read stub 'gone.exe'",
             ["--stub", "gone.exe", "--archive", "payload.zip", "-o", "out.exe"], {}),
            ("stub is a directory", refused, "cannot read stub '.'",
             ["--stub", ".", "--archive", "payload.zip", "-o", "out.exe"], {}),
            ("archive not there", refused, "cannot read archive 'gone.zip'",
             ["--stub", "stub.exe", "--archive", "gone.zip", "-o", "out.exe"], {}),
        ]
        for name, exit_code, message, args, files in cases:
            with self.subTest(name):
                work = Workspace(self, fake_stub()[0], zip_payload())
                for file_name, content in files.items():
                    if content is None:
                        os.mkdir(work.file(file_name))
                    elif content is os.link:
                        os.link(work.file("stub.exe"), work.file(file_name))
                    elif isinstance(content, str):
                        os.symlink(content, work.file(file_name))
                    else:
                        work.write(file_name, content)
                before = work.snapshot()
                self.assert_refused(work.run(args), exit_code, message)
                self.assertEqual(work.snapshot(), before)

    def test_failed_write_keeps_the_old_output_and_leaves_no_temporary_file(self):
        stub, _ = fake_stub()
        cases = [
            # The file system refuses the write half-way into the archive.
            ("write fails", "cannot write", None, len(stub) + 1000),
            # The finished file cannot take the output's name.
            ("rename fails", "cannot replace 'out.exe'", "directory", None),
        ]
        for name, message, output_kind, limit in cases:
            with self.subTest(name):
                work = Workspace(self, stub, zip_payload() + b"\xcc" * 100_000 + end_record_at_the_end())
                if output_kind == "directory":
                    os.mkdir(work.file("out.exe"))
                    work.write(os.path.join("out.exe", "inside"), b"kept")
                else:
                    work.write("out.exe", b"the previous installer")
                before = work.snapshot()
                result = work.run(standard_args(), limit_file_size=limit)
                self.assert_refused(result, 1, message)
                self.assertEqual(work.snapshot(), before)
                if output_kind == "directory":
                    self.assertEqual(os.listdir(work.file("out.exe")), ["inside"])

    def test_real_stub_carves_out_the_archive_at_its_stub_size(self):
        if not WIN32_STUB or not os.path.exists(WIN32_STUB):
            self.skipTest("build/win32/orvane_stub.exe is not built")
        with open(WIN32_STUB, "rb") as f:
            stub = f.read()
        offsets = [stub.index(default + b"\0") for default in FIELD_DEFAULTS]
        payload = zip_payload()
        work = Workspace(self, stub, payload)
        result = work.run(standard_args("--setup", "bin\\setup.exe", "--install-dir", "<WINDIR>\\Orvane\\"))
        self.assertEqual(result.returncode, 0, result.stderr)
        installer = work.read("out.exe")

        def field(index):
            return installer[offsets[index]:offsets[index] + len(FIELD_DEFAULTS[index])]

        self.assertEqual(field(1), b"<WINDIR>\\Orvane\\".ljust(128))
        self.assertEqual(field(2), b"bin\\setup.exe".ljust(128))
        archive_start = int(field(0)) - 1
        self.assertEqual(archive_start, len(stub))
        self.assertEqual(installer[archive_start:], payload)
        with zipfile.ZipFile(io.BytesIO(installer[archive_start:])) as archive:
            self.assertIsNone(archive.testzip())
        # Nothing of the stub changed but the three fields.
        self.assertEqual(installer[:archive_start],
                         patched(stub, offsets, b"<WINDIR>\\Orvane\\", b"bin\\setup.exe"))

# A tree that shows the order (names in byte order: "a-b.txt" before "a/"),
# the choice between stored and deflated, and folders, an empty one too.
TREE = {
    "SETUP.EXE": b"MZ setup program" * 64,
    "a-b.txt": b"compressible text\r\n" * 500,
    "a/": None,
    "a/empty/": None,
    "a/zero.txt": b"",
    "bin/": None,
    "bin/noise.bin": random.Random(11).randbytes(4000),
    "with space.txt": b"x",
}
EPOCH = "1700000000"  # 2023-11-14 22:13:20 UTC


def from_args(*extra, folder="tree", output="out.exe"):
    return ["--stub", "stub.exe", "--from", folder, "-o", output, *extra]


class PackFolder(unittest.TestCase):
    assert_refused = MakeInstaller.assert_refused

    def test_folder_becomes_an_archive_in_name_order_with_fixed_times(self):
        stub, offsets = fake_stub()
        noise = TREE["bin/noise.bin"]
        self.assertGreaterEqual(len(zlib_deflated(noise)), len(noise), "test data compresses")
        cases = [
            # (name, extra args, SOURCE_DATE_EPOCH, setup-command field, methods of the three files with data)
            ("default level", [], EPOCH, b"SETUP.EXE", (8, 8, 0)),
            ("level 0 stores", ["--level", "0"], EPOCH, b"SETUP.EXE", (0, 0, 0)),
            ("setup after | and *, in other letter case", ["--setup", "go|*BIN\\Noise.bin"],
             EPOCH, b"go|*BIN\\Noise.bin", (8, 8, 0)),
            ("time before 1980", [], "0", b"SETUP.EXE", (8, 8, 0)),
        ]
        for name, extra, epoch, setup, methods in cases:
            with self.subTest(name):
                work = Workspace(self, stub, b"")
                make_tree(work.file("tree"), TREE)
                result = work.run(from_args(*extra), env={"SOURCE_DATE_EPOCH": epoch})
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                installer = work.read("out.exe")
                self.assertEqual(installer[:len(stub)], patched(stub, offsets, b"", setup))
                with zipfile.ZipFile(io.BytesIO(installer[len(stub):])) as archive:
                    self.assertIsNone(archive.testzip())
                    infos = archive.infolist()
                    self.assertEqual([i.filename for i in infos], sorted(TREE))
                    for info in infos:
                        self.assertEqual(info.create_system, 0)
                        self.assertEqual(info.external_attr, 0x10 if info.is_dir() else 0x20)
                        self.assertEqual(info.date_time, (2023, 11, 14, 22, 13, 20) if epoch == EPOCH
                                         else (1980, 1, 1, 0, 0, 0))
                        if not info.is_dir():
                            self.assertEqual(archive.read(info), TREE[info.filename])
                    self.assertEqual(tuple(archive.getinfo(n).compress_type for n in
                                           ("SETUP.EXE", "a-b.txt", "bin/noise.bin")), methods)
                    self.assertEqual(archive.getinfo("a/zero.txt").compress_type, 0)
                    if not extra:  # a file deflated whole is one zlib stream, as before
                        info = archive.getinfo("a-b.txt")
                        start = len(stub) + info.header_offset + 30 + len(info.filename)
                        raw = installer[start:start + info.compress_size]
                        compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 7)
                        self.assertEqual(raw, compressor.compress(TREE["a-b.txt"]) + compressor.flush())

    def test_same_tree_gives_the_same_bytes_on_any_machine(self):
        stub, _ = fake_stub()
        work = Workspace(self, stub, b"")
        rng = random.Random(3)
        # Files deflated in pieces of 1 MB: one that deflating shrinks, one
        # it does not (written again stored).
        tree = {**TREE, "big/text.txt": b"".join(b"line %d of the text\r\n" % rng.randrange(10**6)
                                                  for _ in range(200_000)),
                "big/noise.bin": rng.randbytes(2_500_000)}
        make_tree(work.file("one"), tree)
        # The copy: made in the other order, other modes, other times, deeper.
        copy = work.file(os.path.join("elsewhere", "deep", "two"))
        make_tree(copy, tree, reverse=True)
        for directory, _, names in os.walk(copy):
            for name in names:
                os.chmod(os.path.join(directory, name), 0o600)
                os.utime(os.path.join(directory, name), (1, 86400 * 4000 + 1235))
        runs = [
            dict(args=from_args("--threads", "1", folder="one", output="first.exe"), env={"TZ": "UTC"},
                 umask=0o022),
            dict(args=["--stub", work.file("stub.exe"), "--from", copy, "-o", work.file("second.exe"),
                       "--threads", "2"],
                 cwd="/",
                 env={"TZ": "Asia/Kolkata", "LC_ALL": "C"}, umask=0o077),
        ]
        for run in runs:
            result = work.run(run.pop("args"), **{**run, "env": {**run["env"], "SOURCE_DATE_EPOCH": EPOCH}})
            self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(work.read("first.exe") == work.read("second.exe"), "outputs differ")
        with zipfile.ZipFile(work.file("first.exe")) as archive:
            self.assertIsNone(archive.testzip())
            self.assertEqual(archive.read("big/text.txt"), tree["big/text.txt"])
            self.assertEqual([archive.getinfo(n).compress_type for n in ("big/text.txt", "big/noise.bin")],
                             [8, 0])

        # Without SOURCE_DATE_EPOCH the files' times count, in UTC whatever the zone.
        outputs = []
        for zone in ("UTC", "America/New_York"):
            result = work.run(from_args(folder=copy, output=zone.replace("/", "_")), env={"TZ": zone})
            self.assertEqual(result.returncode, 0, result.stderr)
            outputs.append(work.read(zone.replace("/", "_")))
        self.assertTrue(outputs[0] == outputs[1], "the time zone reached the output")
        with zipfile.ZipFile(io.BytesIO(outputs[0][len(stub):])) as archive:
            self.assertEqual(archive.getinfo("SETUP.EXE").date_time, (1980, 12, 14, 0, 20, 34))

    def test_memory_stays_bounded_whatever_the_sizes(self):
        # Eight files of 16 MB that do not compress (deflated, then written
        # again stored) and 1.5 GB of zeros (sparse: no disk needed); then
        # the installer made given as an archive.
        if ON_WINE:
            self.skipTest("Wine's own memory would hide the builder's")
        work = Workspace(self, fake_stub()[0], b"")
        rng = random.Random(8)
        make_tree(work.file("tree"), {"SETUP.EXE": b"MZ", "zeros.bin": 1_500_000_000,
                                      **{f"part{i}.bin": rng.randbytes(16 << 20) for i in range(8)}})
        measured = [sys.executable, "-c", "import resource, subprocess, sys; "
                    "code = subprocess.call(sys.argv[1:]); "
                    "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss); sys.exit(code)"]
        # The sanitizer build would keep freed buffers in its quarantine.
        asan = (os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=0").lstrip(":")
        for args in (from_args("--threads", "2"),
                     ["--stub", "stub.exe", "--archive", "out.exe", "-o", "again.exe"]):
            with self.subTest(args[2]):
                result = subprocess.run(measured + TOOL + args, cwd=work.path, capture_output=True,
                                        env={**os.environ, "ASAN_OPTIONS": asan})
                self.assertEqual(result.returncode, 0, result.stderr)
                peak = int(result.stdout) * 1024
                self.assertLess(peak, 48 << 20, f"peak memory {peak} bytes")
        with zipfile.ZipFile(work.file("out.exe")) as archive:
            self.assertEqual([i.compress_type for i in archive.infolist()], [0] * 9 + [8])
            self.assertIsNone(archive.testzip())

    def test_progress_line_on_a_terminal_or_when_asked(self):
        if ON_WINE:
            self.skipTest("Wine's console is not the terminal's")
        import pty
        work = Workspace(self, fake_stub()[0], b"")
        make_tree(work.file("tree"), TREE)

        def on_terminal(args):
            leader, follower = pty.openpty()
            process = subprocess.Popen(TOOL + args, cwd=work.path, stdin=subprocess.DEVNULL,
                                       stdout=follower, stderr=follower)
            os.close(follower)
            seen = b""
            while True:
                try:
                    chunk = os.read(leader, 4096)
                except OSError:  # EIO: the tool closed the terminal
                    break
                if not chunk:
                    break
                seen += chunk
            os.close(leader)
            self.assertEqual(process.wait(), 0, seen)
            return seen

        final = b"\r5/5 files, 0.0/0.0 MB"
        for name, output, shown in [
            ("terminal", on_terminal(from_args()), True),
            ("terminal, --quiet", on_terminal(from_args("--quiet")), False),
            ("pipe", work.run(from_args()).stderr, False),
            ("pipe, --progress", work.run(from_args("--progress")).stderr, True),
        ]:
            with self.subTest(name):
                if shown:
                    self.assertIn(final, output)
                    self.assertTrue(output.endswith(b"\n"), output)
                else:
                    self.assertEqual(output, b"")

    def test_refused_folders_leave_no_output(self):
        usage, refused = 2, 1
        base = {"SETUP.EXE": b"MZ", "sub/": None}
        many = {**base, **{f"{i:05}": b"" for i in range(65535)}}  # 65,537 entries
        cases = [
            # (name, exit code, part of the message, extra args, files)
            ("with --archive", usage, "--from and --archive exclude each other",
             ["--archive", "payload.zip"], base),
            ("level past 9", usage, "--level takes a digit", ["--level", "10"], base),
            ("folder missing", refused, "cannot read folder 'tree'", [], None),
            ("folder empty", refused, "folder to pack is empty", [], {}),
            ("setup program missing", refused, "setup program 'INSTALL.EXE' is not among",
             ["--setup", "INSTALL.EXE"], base),
            ("setup program is a folder", refused, "setup program 'sub' is not among",
             ["--setup", "sub"], base),
            ("file unreadable", refused, "cannot read file 'tree/locked'", [], {**base, "locked": b"x"}),
            ("symbolic link", refused, "'tree/link' is a symbolic link", [], {**base, "link": os.symlink}),
            ("symbolic link to a folder", refused, "'tree/link' is a symbolic link", [],
             {**base, "link": os.path.isdir}),
            ("pipe", refused, "'tree/pipe' is neither a regular file nor a folder", [],
             {**base, "pipe": os.mkfifo}),
            ("name past 259 joined", refused, "is too long", [],
             {**base, "d" * 100 + "/" + "f" * 96: b""}),
            ("name past 259 joined to the install directory", refused, "is too long",
             ["--install-dir", "<WINDIR>\\" + "i" * 100 + "\\"], {**base, "f" * 150: b""}),
            *[(f"name with {c}", refused, f"holds '{c}'", [], {**base, f"a{c}b": b""})
              for c in '<>:"\\|?*'],
            ("name with a control character", refused, "holds a control character", [],
             {**base, "a\tb": b""}),
            ("name not ASCII", refused, "holds a non-ASCII byte", [], {**base, "caf\u00e9": b""}),
            ("device name", refused, "'Nul.txt', a device name", [], {**base, "sub/Nul.txt": b""}),
            ("numbered device name", refused, "'com1', a device name", [], {**base, "com1/": None}),
            ("trailing dot", refused, "part ending in '.'", [], {**base, "sub./x": b""}),
            ("names that differ in letter case", refused, "differ only in letter case", [],
             {**base, "Sub/": None}),
            ("more than 65535 entries", refused, "at most 65535", [], many),
            ("file of 2^31 - 100 bytes", refused, "is 2147483548 bytes", [],
             {**base, "big": 2**31 - 100}),
            # Refused from the sizes, before a byte is written: the data, and
            # 368 bytes of records (76 bytes and the name twice for each
            # entry: names of 9, 4, 4 and 4 characters; the end record's 22).
            ("files past the archive's size at level 0", refused,
             "the archive would reach 2400000370 bytes; the installer takes archives below 2147483548",
             ["--level", "0"], {**base, "big1": 1_200_000_000, "big2": 1_200_000_000}),
            ("no threads", usage, "--threads takes a number from 1 to 64", ["--threads", "0"], base),
            ("progress and quiet", usage, "--progress and --quiet exclude each other",
             ["--progress", "--quiet"], base),
            ("output inside the folder", refused, "output lies inside the folder", ["-o", "tree/x.exe"],
             base),
            ("SOURCE_DATE_EPOCH not a number", refused, "SOURCE_DATE_EPOCH is not a number", [], base),
        ]
        for name, exit_code, message, extra, files in cases:
            with self.subTest(name):
                if ON_WINE and name in WINE_CANNOT:
                    self.skipTest(WINE_CANNOT[name])
                work = Workspace(self, fake_stub()[0], zip_payload())
                if files is not None:
                    make_tree(work.file("tree"), files)
                args = from_args(*extra)
                if "-o" in extra:
                    args = args[:4] + extra
                env, user = {}, None
                if name == "SOURCE_DATE_EPOCH not a number":
                    env["SOURCE_DATE_EPOCH"] = "yesterday"
                if name == "file unreadable":
                    os.chmod(work.file("tree/locked"), 0)
                    if os.geteuid() == 0:  # root reads anything: run as nobody
                        os.chmod(work.path, 0o777)  # where nobody writes the output
                        user = 65534
                before = work.snapshot()
                self.assert_refused(work.run(args, env=env, user=user), exit_code, message)
                self.assertEqual(work.snapshot(), before)


class Inspect(unittest.TestCase):
    def installer(self, work, *extra):
        """Makes out.exe from a stub with a PE header and its fields in one
        block; returns its bytes and the stub's size."""
        head, self.security = pe_head()
        stub, _ = fake_stub(gap=0, head=head)
        work.write("stub.exe", stub)
        make_tree(work.file("tree"), {"SETUP.EXE": b"MZ" * 100, "doc/": None, "doc/a.txt": b"a"})
        result = work.run(from_args("--install-dir", "<WINDIR>\\Orvane\\", *extra))
        self.assertEqual(result.returncode, 0, result.stderr)
        return work.read("out.exe"), len(stub)

    def inspect(self, work, data):
        work.write("inspected.exe", data)
        result = work.run(["--inspect", "inspected.exe"])
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def test_consistent_installer_plain_and_signed(self):
        work = Workspace(self, b"", b"")
        good, stub_size = self.installer(work)
        archive_end = len(good)
        # A signature as signing tools append it: padded to 8 bytes, named in
        # the security entry.
        padding = 8 - len(good) % 8
        signature = b"\x30\x82" * 3000
        signed = bytearray(good + b"\0" * padding + signature)
        signed[self.security:self.security + 8] = struct.pack("<II", archive_end + padding, len(signature))
        cases = [
            ("plain", good, "after the archive: 0 bytes\n"),
            ("signed", bytes(signed), f"after the archive: {padding + 6000} bytes; an Authenticode "
                                      f"signature of 6000 bytes at byte {archive_end + padding}, "
                                      f"with {padding} other bytes\n"),
        ]
        for name, data, after in cases:
            with self.subTest(name):
                code, out, err = self.inspect(work, data)
                self.assertEqual((code, err), (0, ""))
                for line in [f'stub-size field: "{stub_size + 1:07}"',
                             'install-directory field: "<WINDIR>\\Orvane\\"',
                             'setup-command field: "SETUP.EXE"',
                             f"stub size: {stub_size} bytes", f"archive start: byte {stub_size} ",
                             "stub-size field matches the archive start: yes",
                             "entries: 3 (deflated 1, stored 2)",
                             'setup program: "SETUP.EXE", in the archive', after, "consistent: yes"]:
                    self.assertIn(line, out)
                self.assertRegex(out, r"\nsizes: \d+ bytes compressed, 201 bytes uncompressed\n")

    def test_inconsistent_installers_are_named(self):
        work = Workspace(self, b"", b"")
        good, stub_size = self.installer(work)
        unpatched_stub, _ = fake_stub(gap=0)
        no_setup, _ = self.installer(work, "--setup", "doc\\a.txt")
        no_setup = no_setup.replace(b"doc\\a.txt ", b"doc\\b.txt ")
        cases = [
            ("stub and archive put together unpatched", unpatched_stub + good[stub_size:],
             ["the stub-size field is unpatched", "the install-directory field is unpatched"]),
            ("archive moved", good[:stub_size] + b"\0" + good[stub_size:],
             [f"the stub-size field holds {stub_size + 1}, but the archive starts at byte {stub_size + 1}"]),
            ("setup program not in the archive", no_setup,
             ['the setup program "doc\\b.txt" is not in the archive']),
            ("no archive", good[:stub_size], ["no end-of-central-directory record"]),
        ]
        for name, data, problems in cases:
            with self.subTest(name):
                code, out, err = self.inspect(work, data)
                self.assertEqual(code, 1)
                self.assertIn("consistent: no\n", out)
                self.assertEqual(err.count("\n"), len(problems), err)
                for problem in problems:
                    self.assertIn(f"mkinstaller: {problem}", err)

    def test_real_stub_packed_from_a_folder_inspects_consistent(self):
        if not WIN32_STUB or not os.path.exists(WIN32_STUB):
            self.skipTest("build/win32/orvane_stub.exe is not built")
        with open(WIN32_STUB, "rb") as f:
            work = Workspace(self, f.read(), b"")
        make_tree(work.file("tree"), TREE)
        result = work.run(from_args("--setup", "bin\\noise.bin"))
        self.assertEqual(result.returncode, 0, result.stderr)
        code, out, err = self.inspect(work, work.read("out.exe"))
        self.assertEqual((code, err), (0, ""), out)
        self.assertIn(f"entries: {len(TREE)} (deflated 2, stored 6)", out)


class WindowsBuilder(unittest.TestCase):
    def test_same_bytes_as_the_host_builder(self):
        if not ON_WINE:
            self.skipTest("compares the Windows builder under Wine (--wine)")
        stub, _ = fake_stub()
        work = Workspace(self, stub, b"")
        rng = random.Random(5)
        make_tree(work.file("tree"), {**TREE, "big/mixed.bin": b"".join(
            rng.randbytes(rng.randrange(1, 200)) * rng.randrange(1, 50) for _ in range(3000))})
        os.utime(work.file("tree/SETUP.EXE"), (1, 86400 * 4000 + 1235))
        host_environment = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        # With SOURCE_DATE_EPOCH, and without it: then the files' times, in
        # UTC on both sides whatever the zone each one runs in.
        for env in ({"SOURCE_DATE_EPOCH": EPOCH}, {}):
            with self.subTest(epoch="SOURCE_DATE_EPOCH" in env):
                subprocess.run([HOST_MKINSTALLER] + from_args(output="host.exe"), cwd=work.path,
                               env={**host_environment, **env, "TZ": "UTC"}, check=True)
                result = work.run(from_args(output="windows.exe"),
                                  env={**env, "TZ": "America/New_York"})
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                self.assertTrue(work.read("windows.exe") == work.read("host.exe"), "outputs differ")
                with zipfile.ZipFile(work.file("windows.exe")) as archive:
                    self.assertEqual(archive.getinfo("SETUP.EXE").date_time,
                                     (2023, 11, 14, 22, 13, 20) if env else (1980, 12, 14, 0, 20, 34))


def zlib_deflated(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()



if __name__ == "__main__":
    arguments = sys.argv[1:]
    ON_WINE = arguments[:1] == ["--wine"]
    if ON_WINE:
        from winebench import Bench
        TOOL_ENV = {k: v for k, v in Bench.from_environment().environment().items()
                    if os.environ.get(k) != v}
        TOOL = ["wine", os.path.abspath(arguments[1])]
        HOST_MKINSTALLER = os.path.abspath(arguments[2])
        arguments = arguments[3:]
    elif arguments:
        TOOL = [os.path.abspath(arguments.pop(0))]
    if not TOOL or len(arguments) > 1:
        sys.exit(__doc__)
    WIN32_STUB = arguments[0] if arguments else None
    os.umask(0o022)
    unittest.main(argv=sys.argv[:1], verbosity=2)
