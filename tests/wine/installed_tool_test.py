"""mkinstaller as a publisher gets it: installed with `cmake --install` into
a temporary prefix, and unpacked from the Debian package with dpkg-deb -x.
From there alone, without --stub, it packs a folder into an installer that
installs under Wine (where the bench runs the packages' 32-bit stub). What
ships beside it is looked at as a user meets it: the man page rendered with
man -l, the bash completion run in bash, the package's recommendation of
bash-completion.

Needs the bench fixture's environment and ORVANE_HOST_BUILD (the host build
directory, configured with the stub of build/win32). Standard library only.
"""

import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

from installer_cases import InstallerCase
from winebench import run_tests

HOST_BUILD = Path(os.environ["ORVANE_HOST_BUILD"])


class InstalledTool(InstallerCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.trees = tempfile.TemporaryDirectory(prefix="installed-tool-", dir=cls.bench.dir)
        root = Path(cls.trees.name)
        subprocess.run(["cmake", "--install", HOST_BUILD, "--prefix", root / "prefix"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cpack", "-G", "DEB", "-B", root / "deb"], cwd=HOST_BUILD,
                       check=True, stdout=subprocess.DEVNULL)
        (cls.package,) = (root / "deb").glob("*.deb")
        subprocess.run(["dpkg-deb", "-x", cls.package, root / "unpacked"], check=True)
        cls.layouts = {"cmake --install": root / "prefix", "dpkg-deb -x": root / "unpacked" / "usr"}

    @classmethod
    def tearDownClass(cls):
        cls.trees.cleanup()

    def test_installed_builder_makes_a_working_installer_without_stub(self):
        if self.bench.width == 64:
            self.skipTest("the packages hold the 32-bit stub, which this machine cannot run")
        for name, prefix in self.layouts.items():
            with self.subTest(name):
                folder = self.work / name.split()[0] / "dist"
                (folder / "docs").mkdir(parents=True)
                (folder / "SETUP.EXE").write_bytes(self.probe)
                (folder / "docs" / "readme.txt").write_bytes(b"installed from " + name.encode())
                installer = self.work / "fromprefix.exe"
                subprocess.run([prefix / "bin" / "mkinstaller", "--from", folder, "-o", installer],
                               check=True, cwd=self.work)
                temp, temp_windows = self.use_temp("installed-tool")

                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                working = temp / "fromprefix"
                self.assertEqual(self.probe_report(working)["program"],
                                 f"{temp_windows}fromprefix\\SETUP.EXE")
                self.assertEqual((working / "docs" / "readme.txt").read_bytes(),
                                 b"installed from " + name.encode())
                for shipped in ("share/doc/orvane/README.md", "share/doc/orvane/LICENSE",
                                "share/bash-completion/completions/mkinstaller"):
                    self.assertTrue((prefix / shipped).is_file(), shipped)

    def test_man_page_renders_every_option_on_its_own_line_and_the_exit_status(self):
        page = self.layouts["dpkg-deb -x"] / "share/man/man1/mkinstaller.1"
        rendered = subprocess.run(["man", "-l", page], check=True, capture_output=True, text=True,
                                  env={**os.environ, "MANPAGER": "cat", "MANWIDTH": "100"}).stdout
        self.assertIn("mkinstaller - make self-extracting Windows installers", rendered)
        # Each option alone on its line, its text below: a short one (--json,
        # --help, --wait) would otherwise run into it.
        for tag in ("--inspect --json FILE.exe", "-h, --help", "--wait", "--stub STUB",
                    "-o, --output OUT.exe"):
            self.assertRegex(rendered, rf"\n {{7}}{re.escape(tag)}\n {{14}}\S", tag)
        sections = re.findall(r"^([A-Z][A-Z ]+)$", rendered, re.M)
        self.assertEqual(sections, ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS",
                                    "ENVIRONMENT", "EXAMPLES"])
        # The examples as printed, pasted into bash, keep their backslashes.
        examples = re.findall(r"^ +(mkinstaller --.*)$", rendered[rendered.index("\nEXAMPLES"):], re.M)
        self.assertEqual(len(examples), 5)
        for example in examples:
            words = subprocess.run(["bash", "-c", "printf '%s\\0' " + example[len("mkinstaller "):]],
                                   check=True, capture_output=True, text=True).stdout
            self.assertEqual(words.count("\\"), example.count("\\"), example)

    def test_completion_offers_names_whole_and_files_where_files_go(self):
        script = self.layouts["dpkg-deb -x"] / "share/bash-completion/completions/mkinstaller"
        where = self.work / "completion"
        (where / "my folder").mkdir(parents=True)
        (where / "set up.exe").write_bytes(b"")
        (where / "payload.zip").write_bytes(b"")
        cases = [
            # (words, the last one being completed; candidates)
            (["--from", "my"], ["my folder"]),
            (["--inspect", ""], ["my folder", "set up.exe"]),
            (["--inspect", "--json", ""], ["my folder", "set up.exe"]),
            (["--inspect", "--j"], ["--json"]),
            (["--archive", ""], ["my folder", "payload.zip"]),
            (["--from", "my folder", "--out"], ["--output"]),
            (["--elevation", "high"], ["highestAvailable"]),
        ]
        for words, candidates in cases:
            with self.subTest(words=words):
                line = " ".join(f"'{word}'" for word in ["mkinstaller", *words])
                result = subprocess.run(
                    ["bash", "-c", f'source "$0"; compopt() {{ :; }}; COMP_WORDS=({line}); '
                                   'COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _mkinstaller; '
                                   'printf "%s\\n" "${COMPREPLY[@]}"', script],
                    cwd=where, check=True, capture_output=True, text=True)
                self.assertEqual(sorted(filter(None, result.stdout.splitlines())), candidates)

    def test_package_recommends_bash_completion(self):
        fields = subprocess.run(["dpkg-deb", "-f", self.package, "Recommends"], check=True,
                                capture_output=True, text=True).stdout
        self.assertEqual(fields.strip(), "bash-completion")


if __name__ == "__main__":
    run_tests()
