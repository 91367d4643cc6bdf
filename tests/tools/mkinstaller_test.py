"""Runs mkinstaller on fake stubs made here, and on the real win32 stub when
it is built: accepted inputs give exactly the patched stub followed by the
archive (given, or packed from a folder the same way on any machine);
refused ones give one message, a non-zero exit, and leave the output's
directory as it was; --inspect tells a consistent installer from a broken one.

    python3 mkinstaller_test.py MKINSTALLER [WIN32_STUB]
    python3 mkinstaller_test.py --wine HOST_MKINSTALLER [WIN32_STUB]

With --wine the same cases run the Windows builder of the bench's width
(build/win32/mkinstaller.exe where 32-bit programs run) under the Wine bench
(tests/wine/winebench.py on PYTHONPATH, its fixture's environment), less
those Wine cannot stage (WINE_CANNOT), and its installers are compared with
the host builder's byte for byte.
"""

import io
import json
import random
import os
import re
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
    "no stub": "the Windows builder of build/win32 has the stub beside it",
    "name not UTF-8": "Windows names are UTF-16, so every one reads as UTF-8",
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


def peak_memory(test, work, args, env=None):
    """Runs the builder, which must succeed; returns its peak memory in bytes."""
    measured = [sys.executable, "-c", "import resource, subprocess, sys; "
                "code = subprocess.call(sys.argv[1:]); "
                "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss); sys.exit(code)"]
    # The sanitizer build would keep freed buffers in its quarantine.
    asan = (os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=0").lstrip(":")
    result = subprocess.run(measured + TOOL + args, cwd=work.path, capture_output=True,
                            env={**os.environ, **(env or {}), "ASAN_OPTIONS": asan})
    test.assertEqual(result.returncode, 0, result.stderr)
    return int(result.stdout) * 1024


def standard_args(*extra):
    return ["--stub", "stub.exe", "--archive", "payload.zip", "-o", "out.exe", *extra]


USAGE_ERROR = r"\Amkinstaller: [^\n]+\nTry 'mkinstaller --help' for more information\.\n\Z"


class MakeInstaller(unittest.TestCase):
    def assert_refused(self, result, exit_code, message):
        """A usage error (2) gives its problem and the pointer to --help, a
        refusal (1) its one problem."""
        stderr = result.stderr.decode("utf-8", "replace")
        self.assertEqual(result.returncode, exit_code, stderr)
        self.assertRegex(stderr, USAGE_ERROR if exit_code == 2 else r"\Amkinstaller: [^\n]+\n\Z")
        self.assertIn(message, stderr)

    def test_accepted_inputs_give_the_patched_stub_and_the_archive_byte_for_byte(self):
        stub, offsets = fake_stub()
        payload = zip_payload()
        big_stub, big_offsets = fake_stub(size=LARGEST_STUB)
        setup_128 = b"bin\\setup.exe /D=" + b"x" * 111
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
            ("no arguments", usage, "no mode given", [], {}),
            ("unknown option", usage, "unknown option '--force'", standard_args("--force"), {}),
            ("stray argument", usage, "unexpected argument 'extra'", standard_args("extra"), {}),
            ("no stub", refused, "no stub is installed with mkinstaller",
             ["--archive", "payload.zip", "-o", "out.exe"], {}),
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

            ("setup command too long", usage, "setup command is longer than 128",
             standard_args("--setup", "A" * 125 + ".EXE"), {}),
            ("setup command empty", usage, "setup command is empty", standard_args("--setup", ""), {}),
            ("setup command with a tab", usage, "setup command holds a control character",
             standard_args("--setup", "A\tB.EXE"), {}),
            ("setup command with DEL", usage, "setup command holds a control character",
             standard_args("--setup", "A\x7fB.EXE"), {}),
            ("setup command not ASCII", usage, "setup command holds a non-ASCII byte",
             standard_args("--setup", "INSTALL\u00e9.EXE"), {}),
            ("setup command with a leading blank", usage, "setup command starts with a blank",
             standard_args("--setup", " SETUP.EXE"), {}),
            ("setup command with a trailing blank", usage, "setup command ends with a blank",
             standard_args("--setup", "SETUP.EXE "), {}),
            *[(f"setup command with {c}", usage, f"setup command holds '{c}'",
               standard_args("--setup", f"A{c}B.EXE"), {}) for c in '"<>?:'],

            ("install directory too long", usage, "install directory is longer than 128",
             standard_args("--install-dir", "C:\\" + "D" * 125 + "\\"), {}),
            ("install directory empty", usage, "install directory is empty",
             standard_args("--install-dir", ""), {}),
            ("install directory with a newline", usage, "install directory holds a control character",
             standard_args("--install-dir", "C:\\A\nB\\"), {}),
            ("install directory not ASCII", usage, "install directory holds a non-ASCII byte",
             standard_args("--install-dir", "C:\\Programme\u00fc\\"), {}),
            ("install directory with a leading blank", usage, "install directory starts with a blank",
             standard_args("--install-dir", " C:\\A\\"), {}),
            ("install directory with a trailing blank", usage, "install directory ends with a blank",
             standard_args("--install-dir", "C:\\A\\ "), {}),
            *[(f"install directory with {c}", usage, f"install directory holds '{c}'",
               standard_args("--install-dir", f"C:\\A{c}B\\"), {}) for c in '"*?|<>'],
            ("<WINDIR> not leading", usage, "install directory holds '<'",
             standard_args("--install-dir", "C:\\<WINDIR>\\"), {}),
            ("install directory without a closing backslash", usage,
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
            ("output is the icon", refused, "output is the icon file",
             standard_args()[:-2] + ["--icon", "my.ico", "--output", "my.ico"], {"my.ico": ICON}),
            # Named as given, not as the temporary file beside it.
            ("output in a folder that is not there", refused, "cannot write 'nodir/out.exe': ",
             output("nodir/out.exe"), {}),
            ("output of no name", usage, "-o needs a file name", output(""), {}),
            ("follow-links with --archive", usage, "--follow-links needs --from",
             standard_args("--follow-links"), {}),
            # The options the seal records, which --archive leaves as it is.
            *[(f"{option} with --archive", usage, f"{option} needs --from: the installer reads it "
               "from the archive's seal", standard_args(option), {})
              for option in ("--wait", "--pass-arguments")],

            ("stub not there", refused, "cannot read stub 'gone.exe'",
             ["--stub", "gone.exe", "--archive", "payload.zip", "-o", "out.exe"], {}),
            ("stub is a directory", refused, "cannot read stub '.'",
             ["--stub", ".", "--archive", "payload.zip", "-o", "out.exe"], {}),
            ("archive not there", refused, "cannot read archive 'gone.zip'",
             ["--stub", "stub.exe", "--archive", "gone.zip", "-o", "out.exe"], {}),
        ]
        for name, exit_code, message, args, files in cases:
            with self.subTest(name):
                if ON_WINE and name in WINE_CANNOT:
                    self.skipTest(WINE_CANNOT[name])
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
            # A folder in the output's place, found before the work.
            ("output is a folder", "output 'out.exe' is a folder", "directory", None),
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


def project_version():
    """The version in the top-level CMakeLists.txt's project()."""
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "CMakeLists.txt")) as f:
        return re.search(r"^project\(orvane VERSION ([0-9.]+)", f.read(), re.M).group(1)


class CommandLineConventions(unittest.TestCase):
    OPTIONS = {"--stub", "--from", "--method", "--level", "--threads", "--progress", "--quiet", "--follow-links",
               "--wait", "--pass-arguments", "--archive", "--setup", "--install-dir", "-o", "--output",
               "--icon", "--version-info", "--elevation", "--inspect", "--json", "-h", "--help", "-V",
               "--version"}

    def help_text(self):
        work = Workspace(self, b"", b"")
        result = work.run(["--help"])
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual(work.run(["-h"]).stdout, result.stdout)
        return result.stdout.decode()

    def test_help_lists_every_option_and_both_tables_of_exit_codes(self):
        help_text = self.help_text()
        tags = re.findall(r"^  (-\S.*?)(?:  |$)", help_text, re.M)
        listed = {option for tag in tags for option in re.findall(r"(?<![\w-])-[-a-zA-Z]+", tag)}
        self.assertEqual(listed, self.OPTIONS)
        tables = re.findall(r"^(Exit status[^\n]*):\n(.*?)\n\n", help_text, re.M | re.S)
        self.assertEqual([(title, re.findall(r"^  ([0-9]+) ", table, re.M)) for title, table in tables],
                         [("Exit status", ["0", "1", "2"]),
                          ("Exit status of an installer", ["0", "1", "1223", "1603"])])
        work = Workspace(self, b"", b"")
        for option in listed:  # each one the parser knows
            with self.subTest(option):
                self.assertNotIn(b"unknown option", work.run([option]).stderr)

    def test_help_examples_keep_their_backslashes_in_a_shell(self):
        examples = re.findall(r"^  mkinstaller (.*)$", self.help_text(), re.M)
        self.assertTrue(any("\\" in example for example in examples), examples)
        for example in examples:
            with self.subTest(example):
                words = subprocess.run(["bash", "-c", "printf '%s\\0' " + example], check=True,
                                       capture_output=True, text=True).stdout.split("\0")[:-1]
                self.assertEqual(sum(word.count("\\") for word in words), example.count("\\"))

    def test_version_names_the_project_version_and_the_stub_it_carries(self):
        version = project_version()
        work = Workspace(self, b"", b"")
        stubs = [("fake stub", "stub.exe", "no version (no manifest names one)")]
        if WIN32_STUB and os.path.exists(WIN32_STUB):
            stubs.append(("real stub", os.path.abspath(WIN32_STUB), f"version {version}.0"))
        for name, stub, says in stubs:
            for flag in ("--version", "-V"):
                with self.subTest(name, flag=flag):
                    result = work.run([flag, "--stub", stub])
                    self.assertEqual((result.returncode, result.stderr), (0, b""))
                    self.assertEqual(result.stdout.decode().splitlines(),
                                     [f"mkinstaller {version}", f"stub: {stub}, {says}"])

    def test_usage_errors_are_short_and_exit_with_2(self):
        work = Workspace(self, b"", b"")
        for args in (["--help", "--from", "tree"], ["--version", "-o", "x.exe"],
                     ["--json"], ["--inspect", "x.exe", "--stub", "stub.exe"], ["--help", "--help"],
                     ["-o", "a.exe", "--output", "b.exe"]):
            with self.subTest(args=args):
                result = work.run(args)
                self.assertEqual((result.returncode, result.stdout), (2, b""))
                self.assertRegex(result.stderr.decode(), USAGE_ERROR)
                self.assertLess(len(result.stderr), 120)


class InstalledStub(unittest.TestCase):
    def test_builds_without_stub_from_the_one_installed_beside_or_under_share(self):
        stub, offsets = fake_stub()
        payload = zip_payload()
        expected = patched(stub, offsets, b"", b"SETUP.EXE") + payload
        for layout in ("bin/orvane_stub.exe", "share/orvane/orvane_stub.exe", None):
            with self.subTest(layout or "none"):
                work = Workspace(self, b"", payload)
                os.mkdir(work.file("bin"))
                tool = work.file("bin/" + os.path.basename(TOOL[-1]))
                shutil.copy(TOOL[-1], tool)
                if layout:
                    os.makedirs(os.path.dirname(work.file(layout)), exist_ok=True)
                    work.write(layout, stub)
                result = subprocess.run(TOOL[:-1] + [tool, "--archive", "payload.zip", "-o", "out.exe"],
                                        cwd=work.path, capture_output=True, env={**os.environ, **TOOL_ENV})
                if layout:
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertTrue(work.read("out.exe") == expected, "output differs")
                else:
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(b"give one with --stub", result.stderr)
                    self.assertFalse(os.path.exists(work.file("out.exe")))


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
            # Only the "123" mode drops the marks: a warning, and the installer as asked.
            ("setup after | and *, in other letter case", ["--setup", "go|*BIN\\Noise.bin"],
             EPOCH, b"go|*BIN\\Noise.bin", (8, 8, 0)),
            ("time before 1980", [], "0", b"SETUP.EXE", (8, 8, 0)),
        ]
        for name, extra, epoch, setup, methods in cases:
            with self.subTest(name):
                work = Workspace(self, stub, b"")
                make_tree(work.file("tree"), TREE)
                result = work.run(from_args(*extra), env={"SOURCE_DATE_EPOCH": epoch})
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stderr.startswith(b"mkinstaller: warning: the setup command "
                                                          b"'go|*BIN\\Noise.bin' starts 'BIN\\Noise.bin' "
                                                          b"only in the \"123\" mode"),
                                 b"|" in setup, result.stderr)
                installer = work.read("out.exe")
                self.assertEqual(installer[:len(stub)], patched(stub, offsets, b"", setup))
                # The seal, the whole comment: the archive's bytes up to it.
                sealed = len(installer) - len(stub) - 44
                self.assertEqual(installer[-44:], b"orvane-seal crc32=%08X length=%010d" % (
                    zlib.crc32(installer[len(stub):-44]), sealed))
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
        for args in (from_args("--threads", "2"),
                     ["--stub", "stub.exe", "--archive", "out.exe", "-o", "again.exe"]):
            with self.subTest(args[2]):
                peak = peak_memory(self, work, args)
                self.assertLess(peak, 48 << 20, f"peak memory {peak} bytes")
        with zipfile.ZipFile(work.file("out.exe")) as archive:
            self.assertEqual([i.compress_type for i in archive.infolist()], [0] * 9 + [8])
            self.assertIsNone(archive.testzip())

    def test_lzma_entries_read_back_the_same_on_any_number_of_threads(self):
        # Files of one piece, and two of several (their pieces through one
        # encoder in turn): 2.6 MB of text, 64 MB of zeros (sparse) whose
        # dictionary stops at 8 MB. The noise, the empty and the one-byte
        # file stay stored. The Windows builder has no LZMA and says so.
        stub, _ = fake_stub()
        work = Workspace(self, stub, b"")
        rng = random.Random(4)
        tree = {**TREE, "big/text.txt": b"".join(b"line %d of the text\r\n" % rng.randrange(10**6)
                                                  for _ in range(120_000)),
                "big/zeros.bin": 64 << 20}
        make_tree(work.file("tree"), tree)
        if ON_WINE:
            before = work.snapshot()
            self.assert_refused(work.run(from_args("--method", "lzma")), 1,
                                "cannot compress with LZMA: it has no liblzma")
            self.assertEqual(work.snapshot(), before)
            return
        args = from_args("--method", "lzma", "--threads", "2", output="two.exe")
        self.assertLess(peak_memory(self, work, args, {"SOURCE_DATE_EPOCH": EPOCH}), 160 << 20)
        result = work.run(from_args("--method", "lzma", "--threads", "1", output="one.exe"),
                          env={"SOURCE_DATE_EPOCH": EPOCH})
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        installer = work.read("one.exe")
        self.assertTrue(installer == work.read("two.exe"), "outputs differ")
        with zipfile.ZipFile(io.BytesIO(installer[len(stub):])) as archive:
            self.assertIsNone(archive.testzip())
            for info in archive.infolist():
                if info.is_dir():
                    continue
                data = tree[info.filename]
                data = bytes(data) if isinstance(data, int) else data
                self.assertEqual(archive.read(info), data)
                self.assertEqual(info.compress_type == 14, len(data) > 1 and info.filename != "bin/noise.bin")
                if info.compress_type == 14:
                    # Version 6.3, the end marker's flag; the LZMA header,
                    # then lc 3, lp 0, pb 2 and the dictionary.
                    self.assertEqual((info.extract_version, info.flag_bits), (63, 2))
                    start = len(stub) + info.header_offset + 30 + len(info.filename)
                    self.assertEqual(installer[start + 2:start + 5], b"\x05\x00\x5d")
                    self.assertEqual(struct.unpack_from("<I", installer, start + 5)[0],
                                     min(max(len(data), 4096), 8 << 20))
        inspection = work.run(["--inspect", "one.exe"])
        self.assertIn(b"entries: 11 (lzma 4, stored 7)", inspection.stdout)

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
            ("unknown method", usage, "--method takes deflate or lzma", ["--method", "zip"], base),
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
            ("name not UTF-8", refused, "name 'caf\ufffd' is not UTF-8", [], {**base, "caf\udce9": b""}),
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
            ("SOURCE_DATE_EPOCH not a number", usage, "SOURCE_DATE_EPOCH is not a number", [], base),
            ("-o naming the folder itself", refused, "output lies inside the folder", ["-o", "tree"], base),
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


    def test_every_problem_of_a_folder_in_one_run_before_the_work(self):
        tree = {"SETUP.EXE": b"MZ", "big.bin": random.Random(4).randbytes(3 << 20), "link": os.symlink,
                "A.txt": b"", "a.txt": b"", "Case/": None, "Case/in.txt": b"", "case/": None,
                "case/in.txt": b"", "bad?.txt": b"", "zz-locked": b"x"}
        problems = {"'tree/link' is a symbolic link (not followed without --follow-links)",
                    "names 'A.txt' and 'a.txt' differ only in letter case, and Windows would take them "
                    "for one",
                    "names 'Case/' and 'case/' differ only in letter case, and Windows would take them "
                    "for one",
                    "name 'bad?.txt' holds '?', which Windows does not allow in names",
                    "cannot read file 'tree/zz-locked': Permission denied"}
        many = {"SETUP.EXE": b"MZ", **{f"q{i:02}?": b"" for i in range(30)}}
        cases = [
            # (name, tree, extra args, problems)
            ("each problem once", tree, [], problems),
            ("twenty shown", many, [],
             {f"name 'q{i:02}?' holds '?', which Windows does not allow in names" for i in range(20)}
             | {"and 10 more problems (30 in all)"}),
            ("output a folder", {"SETUP.EXE": b"MZ", "big.bin": tree["big.bin"]}, ["-o", "there"],
             {"output 'there' is a folder"}),
        ]
        for name, files, extra, expected in cases:
            with self.subTest(name):
                work = Workspace(self, fake_stub()[0], b"")
                make_tree(work.file("tree"), files)
                os.mkdir(work.file("there"))
                user = None
                if "zz-locked" in files:
                    if ON_WINE:  # the unreadable file cannot be staged there (WINE_CANNOT)
                        os.remove(work.file("tree/zz-locked"))
                        os.remove(work.file("tree/link"))
                        expected = expected - {p for p in expected if "link" in p or "locked" in p}
                    else:
                        os.chmod(work.file("tree/zz-locked"), 0)
                        if os.geteuid() == 0:  # root reads anything: run as nobody
                            os.chmod(work.path, 0o777)
                            user = 65534
                before = work.snapshot()
                # --progress: any packing would show.
                args = from_args("--progress", *extra)
                if extra:
                    args = args[:4] + args[6:]
                result = work.run(args, user=user)
                self.assertEqual(result.returncode, 1, result.stderr)
                lines = result.stderr.decode().splitlines()
                self.assertEqual(len(lines), len(set(lines)))
                self.assertEqual({line.removeprefix("mkinstaller: ") for line in lines}, expected)
                self.assertEqual(work.snapshot(), before)

    def test_follow_links_packs_what_they_lead_to_and_refuses_a_loop(self):
        tree = {"SETUP.EXE": b"MZ setup", "sub/": None, "sub/x.txt": b"x", "to-file": os.symlink,
                "to-folder": os.path.isdir}
        work = Workspace(self, fake_stub()[0], b"")
        make_tree(work.file("tree"), tree)
        result = work.run(from_args("--follow-links"))
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        with zipfile.ZipFile(work.file("out.exe")) as archive:
            self.assertEqual(sorted(archive.namelist()), ["SETUP.EXE", "sub/", "sub/x.txt", "to-file",
                                                          "to-folder/", "to-folder/x.txt"])
            self.assertEqual(archive.read("to-file"), b"MZ setup")
            self.assertEqual(archive.read("to-folder/x.txt"), b"x")
        os.symlink("..", work.file("tree/sub/up"))
        os.symlink("nothing", work.file("tree/gone"))
        result = work.run(from_args("--follow-links", output="again.exe"))
        self.assertEqual(result.returncode, 1)
        lines = sorted(result.stderr.decode().splitlines())
        self.assertEqual(lines[:2], [f"mkinstaller: 'tree/{folder}/up' is a symbolic link to a folder "
                                     f"that holds it (a loop)" for folder in ("sub", "to-folder")])
        if ON_WINE:  # Wine lists no link that leads nowhere
            self.assertEqual(len(lines), 2, lines)
        else:
            self.assertEqual(len(lines), 3, lines)
            self.assertTrue(lines[2].startswith("mkinstaller: cannot follow the symbolic link "
                                                "'tree/gone'"), lines)
        self.assertFalse(os.path.exists(work.file("again.exe")))

    def test_names_beyond_ascii_go_in_as_utf8_with_their_flag(self):
        names = ["SETUP.EXE", "café.txt", "Über/", "Über/Ärger.txt", "中文.txt"]
        work = Workspace(self, fake_stub()[0], b"")
        make_tree(work.file("tree"), {name: None if name.endswith("/") else name.encode() for name in names})
        result = work.run(from_args())
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        with zipfile.ZipFile(work.file("out.exe")) as archive:
            self.assertEqual([(i.filename, i.flag_bits & 0x800) for i in archive.infolist()],
                             [(name, 0x800 * (not name.isascii())) for name in sorted(names)])
            self.assertEqual(archive.read("Über/Ärger.txt"), "Über/Ärger.txt".encode())
        # Windows takes these for one name each.
        for first, second in [("Café/", "CAFÉ/"), ("файл.txt", "ФАЙЛ.txt"), ("ΟΔΟΣ", "οδος"),
                              ("Žluť.txt", "žluŤ.txt")]:
            with self.subTest(first):
                work = Workspace(self, fake_stub()[0], b"")
                make_tree(work.file("tree"), {"SETUP.EXE": b"MZ", first: None if "/" in first else b"",
                                              second: None if "/" in second else b""})
                self.assert_refused(work.run(from_args()), 1, "differ only in letter case")


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
        return (result.returncode, result.stdout.decode("utf-8", "surrogateescape"),
                result.stderr.decode("utf-8", "surrogateescape"))

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
                             'setup program: "SETUP.EXE", in the archive', "seal: right",
                             after, "consistent: yes"]:
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
            ("a byte of an entry changed", good[:stub_size + 45] + b"\xff" + good[stub_size + 46:],
             ["the archive's seal does not match its bytes"]),
        ]
        for name, data, problems in cases:
            with self.subTest(name):
                code, out, err = self.inspect(work, data)
                self.assertEqual(code, 1)
                self.assertIn("consistent: no\n", out)
                if name == "a byte of an entry changed":
                    self.assertIn("seal: wrong\n", out)
                self.assertEqual(err.count("\n"), len(problems), err)
                for problem in problems:
                    self.assertIn(f"mkinstaller: {problem}", err)

    def test_json_agrees_with_the_text_report(self):
        work = Workspace(self, b"", b"")
        good, stub_size = self.installer(work)
        padding = 8 - len(good) % 8
        signed = bytearray(good + b"\0" * padding + b"\x30" * 800)
        signed[self.security:self.security + 8] = struct.pack("<II", len(good) + padding, 800)
        # A hand-made field: a quote and a byte past ASCII must still give valid JSON.
        odd_field = good.replace(b"SETUP.EXE ", b'S"\xe9TUP.EX ')
        cases = [("consistent", good), ("signed", bytes(signed)), ("odd setup field", odd_field),
                 ("archive moved", good[:stub_size] + b"\0" + good[stub_size:]),
                 ("no archive", good[:stub_size]), ("trailing bytes", good + b"junk")]
        for name, data in cases:
            with self.subTest(name):
                code, out, err = self.inspect(work, data)
                result = work.run(["--inspect", "--json", "inspected.exe"])
                self.assertEqual(result.returncode, code)
                facts = json.loads(result.stdout)
                self.assertEqual(result.stdout.count(b"\n"), 1)
                text = dict(line.split(": ", 1) for line in out.splitlines())
                # JSON gives each byte past ASCII as the code point of its number.
                raw = lambda value: value.encode("latin-1").decode("utf-8", "surrogateescape")
                shown = lambda value: f'"{raw(value)}"' if value else "(blank)"
                self.assertEqual(text["file size"], f"{facts['file_size']} bytes")
                self.assertEqual(text["consistent"], "yes" if facts["consistent"] else "no")
                self.assertEqual([f"mkinstaller: {raw(p)}" for p in facts["problems"]], err.splitlines())
                fields = facts["fields"]
                self.assertEqual(text.get("setup-command field"),
                                 fields and shown(fields["setup_command"]))
                self.assertEqual(text.get("install-directory field"), fields and shown(fields["install_directory"]))
                self.assertEqual(text.get("stub size"), facts["stub_size"] is not None and
                                 f"{facts['stub_size']} bytes" or None)
                matches = facts["stub_size_matches"]
                self.assertEqual(text.get("stub-size field matches the archive start"),
                                 None if matches is None else "yes" if matches else "no")
                if facts["entries"]:
                    methods = ", ".join(f"{k} {v}" for k, v in sorted(facts["entries"]["methods"].items()))
                    self.assertEqual(text["entries"], f"{facts['entries']['count']} ({methods})")
                    sizes = facts["sizes"]
                    self.assertEqual(text["sizes"], f"{sizes['compressed']} bytes compressed, "
                                                    f"{sizes['uncompressed']} bytes uncompressed")
                self.assertEqual(text.get("seal"), facts["seal"])
                program = facts["setup_program"]
                if program:
                    self.assertTrue(text["setup program"].endswith(
                        "in the archive" if program["in_archive"] else "not in the archive"))
                after = facts["after_archive"]
                self.assertEqual(text.get("after the archive", "").split(" ")[:1],
                                 [str(after["bytes"])] if after else [""])
                if after and after["signature"]:
                    self.assertIn(f"signature of {after['signature']['size']} bytes at byte "
                                  f"{after['signature']['offset']}, with {after['other_bytes']} other",
                                  text["after the archive"])
        self.assertEqual(json.loads(work.run(["--inspect", "--json", "inspected.exe"]).stdout)["fields"],
                         {"stub_size": f"{stub_size + 1:07}", "install_directory": "<WINDIR>\\Orvane\\",
                          "setup_command": "SETUP.EXE"})

    def test_options_follow_the_seal_and_inspect_shows_them(self):
        work = Workspace(self, b"", b"")
        for options in ([], ["--wait"], ["--pass-arguments"], ["--pass-arguments", "--wait"]):
            with self.subTest(options=options):
                installer, stub_size = self.installer(work, *options)
                words = [word for word in ("wait", "pass-arguments") if "--" + word in options]
                line = "\norvane-options v1" + "".join(" " + word for word in words) if words else ""
                comment = zipfile.ZipFile(io.BytesIO(installer)).comment.decode()
                self.assertEqual(comment[44:], line)
                sealed = len(installer) - len(comment) - stub_size
                self.assertEqual(comment[:44], "orvane-seal crc32=%08X length=%010d" % (
                    zlib.crc32(installer[stub_size:stub_size + sealed]), sealed))
                code, out, err = self.inspect(work, installer)
                self.assertEqual((code, err), (0, ""), out)
                self.assertIn("seal: right\noptions: " + (", ".join(words) or "none") + "\n", out)
                facts = json.loads(work.run(["--inspect", "--json", "inspected.exe"]).stdout)
                self.assertEqual(facts["options"], words)

    def test_setup_command_only_one_mode_can_start_is_a_warning(self):
        work = Workspace(self, b"", b"")
        cases = [
            # (setup command, what the default mode starts, what the "123" mode starts, warning)
            ("*SETUP.EXE", '"*SETUP.EXE", not in the archive', '"SETUP.EXE", in the archive',
             "the setup command '*SETUP.EXE' starts 'SETUP.EXE' only in the \"123\" mode, which drops "
             "what comes before a '|' and a '*'; the default mode (running the installer) reads it "
             "whole, finds no file '*SETUP.EXE' and starts nothing"),
            ("SETUP.EXE /x|doc\\b.txt", '"SETUP.EXE", in the archive', '"doc\\b.txt", not in the archive',
             "the setup command 'SETUP.EXE /x|doc\\b.txt' starts 'SETUP.EXE' only in the default mode "
             "(running the installer); the \"123\" mode drops what comes before a '|' and a '*', finds "
             "no file 'doc\\b.txt' and starts nothing"),
        ]
        for setup, install, beside, warning in cases:
            with self.subTest(setup):
                head, _ = pe_head()
                work.write("stub.exe", fake_stub(gap=0, head=head)[0])
                make_tree(work.file("tree"), {"SETUP.EXE": b"MZ", "doc/": None, "doc/a.txt": b"a"})
                built = work.run(from_args("--setup", setup))
                self.assertEqual((built.returncode, built.stderr.decode()),
                                 (0, f"mkinstaller: warning: {warning}\n"))
                code, out, err = self.inspect(work, work.read("out.exe"))
                self.assertEqual((code, err), (0, f"mkinstaller: warning: {warning}\n"))
                self.assertIn(f"setup program: {install}\nsetup arguments: ", out)
                self.assertIn(f'setup program of the "123" mode: {beside}\n', out)
                self.assertIn("consistent: yes\n", out)
                facts = json.loads(work.run(["--inspect", "--json", "inspected.exe"]).stdout)
                self.assertEqual((facts["consistent"], facts["warnings"]), (True, [warning]))
        # A given archive's names are not read, but no Windows name holds a '*'.
        work.write("payload.zip", zip_payload())
        built = work.run(["--stub", "stub.exe", "--archive", "payload.zip", "--setup", "*SETUP.EXE",
                          "-o", "out.exe"])
        self.assertEqual(built.returncode, 0)
        self.assertIn(b"only in the \"123\" mode", built.stderr)

    def test_json_of_a_file_that_cannot_be_read_and_every_key_documented(self):
        work = Workspace(self, b"", b"")
        result = work.run(["--inspect", "--json", "missing.exe"])
        self.assertEqual(result.returncode, 1)
        facts = json.loads(result.stdout)
        self.assertEqual((facts["consistent"], facts["file_size"], facts["seal"]), (False, None, None))
        self.assertEqual([f"mkinstaller: {p}" for p in facts["problems"]],
                         result.stderr.decode().splitlines())
        self.assertIn("cannot read installer 'missing.exe'", facts["problems"][0])
        # The README's list of the keys is the object's.
        good, _ = self.installer(work)
        work.write("inspected.exe", good)
        keys = list(json.loads(work.run(["--inspect", "--json", "inspected.exe"]).stdout))
        self.assertEqual(list(facts), keys)
        with open(os.path.join(os.path.dirname(__file__), "..", "..", "README.md")) as f:
            readme = f.read()
        listed = readme[readme.index("With `--json` the same facts"):]
        listed = listed[listed.index("`file_size`"):listed.index("; a fact")]
        while "(" in listed:  # the keys inside an object's parentheses are not the object's
            listed = re.sub(r"\([^()]*\)", "", listed)
        self.assertEqual(re.findall(r"`([a-z_]+)`", listed), keys)

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


def bitmap_image(size, seed):
    """A 32-bit DIB as an .ico holds it: header (double height), pixels, mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytes((seed + i) & 255 for i in range(size * size * 4))
    return header + pixels + b"\0" * (((size + 31) // 32) * 4 * size)


def png_image(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes((x * 7 + y) & 255 for x in range(size * 4)) for y in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def icon_file(images):
    """An .ico of (size, image) pairs, the images right after the directory."""
    head, data = struct.pack("<HHH", 0, 1, len(images)), b""
    for size, image in images:
        head += struct.pack("<BBBBHHII", size & 255, size & 255, 0, 0, 1, 32, len(image),
                            6 + 16 * len(images) + len(data))
        data += image
    return head + data


ICON = icon_file([(16, bitmap_image(16, 1)), (32, bitmap_image(32, 2)), (48, bitmap_image(48, 3)),
                  (256, png_image(256))])
VERSION = {"FileDescription": "Ørvane Demo Setup", "ProductName": "Ørvane Demo",
           "CompanyName": "Example Ltd.", "LegalCopyright": "© 2024 Example Ltd.",
           "FileVersion": "1.2.3.4", "ProductVersion": "2.5 beta"}
PUBLISHER_TREE = {"My Setup.exe": b"MZ setup", "My.exe": b"MZ planted", "doc/": None, "doc/a.txt": b"a"}


def publisher_args(icon="app.ico", output="out.exe"):
    args = from_args("--setup", "My Setup.exe /S", "--icon", icon, "--elevation",
                     "requireAdministrator", output=output)
    for key, value in VERSION.items():
        args += ["--version-info", f"{key}={value}"]
    return args


def pe_checksum(data, checksum_at):
    """The PE checksum of `data` with its own field counted as 0."""
    padded = data[:checksum_at] + b"\0\0\0\0" + data[checksum_at + 4:] + b"\0" * (len(data) % 2)
    total = 0
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def pe_layout(data):
    """Offset of the checksum field, SizeOfImage, alignment, and the
    sections as (name, rva, virtual size, raw offset, raw size)."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, header + 6)[0], struct.unpack_from("<H", data, header + 20)[0]
    optional = header + 24
    alignment, size_of_image = struct.unpack_from("<I", data, optional + 32)[0], struct.unpack_from("<I", data, optional + 56)[0]
    sections = []
    for i in range(count):
        name, vsize, rva, rsize, roffset = struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
        sections.append((name.rstrip(b"\0"), rva, vsize, roffset, rsize))
    return optional + 64, size_of_image, alignment, sections


class PublisherResources(unittest.TestCase):
    """The real stub's resource section rebuilt, checked by wrestool."""
    assert_refused = MakeInstaller.assert_refused

    def setUp(self):
        if not WIN32_STUB or not os.path.exists(WIN32_STUB):
            self.skipTest("build/win32/orvane_stub.exe is not built")
        with open(WIN32_STUB, "rb") as f:
            self.stub = f.read()
        self.work = Workspace(self, self.stub, zip_payload())
        self.work.write("app.ico", ICON)
        make_tree(self.work.file("tree"), PUBLISHER_TREE)

    def wrestool(self, *args):
        return subprocess.run(["wrestool", *args, self.work.file("out.exe")], capture_output=True,
                              check=True).stdout

    def test_resources_rebuilt_into_a_valid_image_and_read_back(self):
        result = self.work.run(publisher_args(), env={"SOURCE_DATE_EPOCH": EPOCH})
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        installer = self.work.read("out.exe")
        listing = self.wrestool("-l").decode()
        for kind, count in (("--type=3 ", 4), ("--type=14 ", 1), ("--type=16 ", 1), ("--type=24 ", 1)):
            self.assertEqual(listing.count(kind), count, listing)
        # wrestool puts the group and its images back together as an .ico.
        self.assertTrue(self.wrestool("-x", "--type=14").startswith(ICON), "icon differs")
        manifest = self.wrestool("-x", "--raw", "--type=24")
        original = self.stub[self.stub.index(b"<?xml"):]
        self.assertEqual(manifest, original[:original.index(b"</assembly>\n") + 12]
                         .replace(b'level="asInvoker"', b'level="requireAdministrator"'))
        version = self.wrestool("-x", "--raw", "--type=16")
        for key, value in VERSION.items():
            self.assertIn((key + "\0").encode("utf-16-le"), version)
            self.assertIn((value + "\0").encode("utf-16-le"), version)
        # The fixed part: signature, structure version, then file 1.2.3.4 and product 2.5.0.0.
        fixed = version.index(struct.pack("<I", 0xFEEF04BD))
        self.assertEqual(struct.unpack_from("<4H4H", version, fixed + 8), (2, 1, 4, 3, 5, 2, 0, 0))

        stub_size = int(installer[self.stub.index(STUB_SIZE_DEFAULT + b"\0"):][:7]) - 1
        with zipfile.ZipFile(io.BytesIO(installer[stub_size:])) as archive:
            self.assertEqual(archive.read("My Setup.exe"), b"MZ setup")
        stub = installer[:stub_size]
        checksum_at, size_of_image, alignment, sections = pe_layout(stub)
        self.assertEqual(struct.unpack_from("<I", stub, checksum_at)[0], pe_checksum(stub, checksum_at))
        self.assertEqual([s[0] for s in sections[-2:]], [b".rsrc", b".reloc"])
        for before, after in zip(sections, sections[1:]):
            self.assertGreaterEqual(after[1], before[1] + before[2], "sections overlap in memory")
        in_file = [s for s in sections if s[4]]
        for before, after in zip(in_file, in_file[1:]):
            self.assertEqual(after[3], before[3] + before[4], "sections not contiguous in the file")
        last = sections[-1]
        self.assertEqual(last[3] + last[4], stub_size)
        self.assertEqual(size_of_image, -(-(last[1] + last[2]) // alignment) * alignment)
        # The relocations moved with their bytes unchanged.
        old = pe_layout(self.stub)[3][-1]
        self.assertEqual(stub[last[3]:], self.stub[old[3]:])

        again = self.work.run(publisher_args(output="again.exe"), env={"SOURCE_DATE_EPOCH": EPOCH})
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertTrue(self.work.read("again.exe") == installer, "not reproducible")

    def test_one_version_string_gives_both_numeric_versions(self):
        # (version strings, fixed file and product versions as the resource holds them)
        for given, fixed in [(["FileVersion=3.1"], (1, 3, 0, 0) * 2),
                             (["ProductVersion=7.0.2 RC"], (0, 7, 0, 2) * 2),
                             (["FileVersion=1.2.3.4", "ProductVersion=2.5"], (2, 1, 4, 3, 5, 2, 0, 0)),
                             (["Comments=none"], (0,) * 8)]:
            with self.subTest(given=given):
                args = from_args("--setup", "My Setup.exe")
                for each in given:
                    args += ["--version-info", each]
                self.assertEqual(self.work.run(args).returncode, 0)
                version = self.wrestool("-x", "--raw", "--type=16")
                at = version.index(struct.pack("<I", 0xFEEF04BD))
                self.assertEqual(struct.unpack_from("<4H4H", version, at + 8), fixed)

    def test_inspect_shows_the_resources_and_flags_a_damaged_section(self):
        result = self.work.run(publisher_args())
        self.assertEqual(result.returncode, 0, result.stderr)
        installer = self.work.read("out.exe")
        inspected = self.work.run(["--inspect", "out.exe"])
        self.assertEqual((inspected.returncode, inspected.stderr), (0, b""))
        out = inspected.stdout.decode()
        for line in ["icon: 16x16, 32x32, 48x48, 256x256", "execution level: requireAdministrator",
                     'setup program: "My Setup.exe", in the archive', 'setup arguments: "/S"',
                     *(f'version {key}: "{value}"' for key, value in VERSION.items())]:
            self.assertIn(line + "\n", out)
        resources = json.loads(self.work.run(["--inspect", "--json", "out.exe"]).stdout)["resources"]
        self.assertEqual(resources["icon"], ["16x16", "32x32", "48x48", "256x256"])
        # The root directory's entry count made to run past the section.
        rsrc = [s for s in pe_layout(installer)[3] if s[0] == b".rsrc"][0]
        damaged = bytearray(installer)
        damaged[rsrc[3] + 14:rsrc[3] + 16] = b"\xff\x7f"
        self.work.write("damaged.exe", bytes(damaged))
        inspected = self.work.run(["--inspect", "damaged.exe"])
        self.assertEqual(inspected.returncode, 1)
        self.assertIn(b"mkinstaller: the resource section does not parse", inspected.stderr)

    def test_refused_resource_options_leave_no_output(self):
        def ico_with(entry_offset=None, count=None, image=None):
            data = bytearray(icon_file([(16, image or bitmap_image(16, 1))]))
            if entry_offset is not None:
                data[18:22] = struct.pack("<I", entry_offset)
            if count is not None:
                data[4:6] = struct.pack("<H", count)
            return bytes(data)

        fake, _ = fake_stub()
        cases = [
            # (name, extra files, args, message)
            ("not an icon", {"bad.ico": b"\x89PNG\r\n\x1a\n" + b"\0" * 40}, ["--icon", "bad.ico"],
             "no icon header"),
            ("image past the end", {"bad.ico": ico_with(entry_offset=len(ico_with()) - 10)},
             ["--icon", "bad.ico"], "image 1 lies outside the file"),
            ("image inside the directory", {"bad.ico": ico_with(entry_offset=6)},
             ["--icon", "bad.ico"], "image 1 lies outside the file"),
            ("more images than the file holds", {"bad.ico": ico_with(count=500)}, ["--icon", "bad.ico"],
             "directory runs past its end"),
            ("no images", {"bad.ico": struct.pack("<HHH", 0, 1, 0)}, ["--icon", "bad.ico"], "holds no images"),
            ("neither bitmap nor PNG", {"bad.ico": ico_with(image=b"GIF89a" + b"\0" * 50)},
             ["--icon", "bad.ico"], "neither a bitmap nor a PNG"),
            ("unknown field", {}, ["--version-info", "Publisher=x"], "unknown version field 'Publisher'"),
            ("no equals sign", {}, ["--version-info", "ProductName"], "takes KEY=VALUE"),
            ("field twice", {}, ["--version-info", "Comments=a", "--version-info", "Comments=b"],
             "version field Comments given twice"),
            ("value too long", {}, ["--version-info", "Comments=" + "é" * 1025], "longer than 1024"),
            ("not UTF-8", {}, ["--version-info", b"Comments=\xff"], "not UTF-8"),
            ("five numbers", {}, ["--version-info", "FileVersion=1.2.3.4.5"], "does not start with a version"),
            ("no number", {}, ["--version-info", "FileVersion=v1.0"], "does not start with a version"),
            ("number too large", {}, ["--version-info", "ProductVersion=1.65536"], "does not start with a version"),
            ("dot without number", {}, ["--version-info", "FileVersion=1..2"], "does not start with a version"),
            ("unknown level", {}, ["--elevation", "admin"], "unknown execution level 'admin'"),
            ("icon twice", {}, ["--icon", "app.ico", "--icon", "app.ico"], "option --icon given twice"),
            ("stub without resources", {"stub.exe": fake}, ["--elevation", "asInvoker"], "stub is not a PE file"),
        ]
        for name, files, extra, message in cases:
            if ON_WINE and name == "not UTF-8":
                continue  # a Windows command line is UTF-16: every value it gives is UTF-8
            with self.subTest(name):
                work = Workspace(self, self.stub, b"")
                work.write("app.ico", ICON)
                make_tree(work.file("tree"), PUBLISHER_TREE)
                for file_name, data in files.items():
                    work.write(file_name, data)
                before = work.snapshot()
                result = work.run(from_args(*extra))
                # Everything but the icon file is wrong whatever the files hold.
                self.assert_refused(result, 1 if files else 2, message)
                self.assertEqual(work.snapshot(), before)

    def test_setup_arguments_name_a_program_in_the_folder(self):
        for setup, accepted in [("My Setup.exe /S /lang=en", True), ("doc\\a.txt", True),
                                ("Missing.exe /S", False)]:
            with self.subTest(setup):
                result = self.work.run(from_args("--setup", setup))
                self.assertEqual(result.returncode, 0 if accepted else 1, result.stderr)


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

    def test_same_bytes_with_the_publisher_resources(self):
        if not ON_WINE:
            self.skipTest("compares the Windows builder under Wine (--wine)")
        if not WIN32_STUB or not os.path.exists(WIN32_STUB):
            self.skipTest("build/win32/orvane_stub.exe is not built")
        with open(WIN32_STUB, "rb") as f:
            work = Workspace(self, f.read(), b"")
        work.write("app.ico", ICON)
        make_tree(work.file("tree"), PUBLISHER_TREE)
        environment = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
        subprocess.run([HOST_MKINSTALLER] + publisher_args(output="host.exe"), cwd=work.path,
                       env={**environment, "SOURCE_DATE_EPOCH": EPOCH}, check=True)
        result = work.run(publisher_args(output="windows.exe"), env={"SOURCE_DATE_EPOCH": EPOCH})
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertTrue(work.read("windows.exe") == work.read("host.exe"), "outputs differ")


def zlib_deflated(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()



if __name__ == "__main__":
    arguments = sys.argv[1:]
    ON_WINE = arguments[:1] == ["--wine"]
    if ON_WINE:
        from winebench import Bench, run_tests
        bench = Bench.from_environment()
        TOOL_ENV = {k: v for k, v in bench.environment().items() if os.environ.get(k) != v}
        TOOL = ["wine", str(bench.deliverable("mkinstaller.exe"))]
        HOST_MKINSTALLER = os.path.abspath(arguments[1])
        arguments = arguments[2:]
    elif arguments:
        TOOL = [os.path.abspath(arguments.pop(0))]
    if not TOOL or len(arguments) > 1:
        sys.exit(__doc__)
    WIN32_STUB = arguments[0] if arguments else None
    os.umask(0o022)
    del sys.argv[1:]
    run_tests() if ON_WINE else unittest.main(verbosity=2)
