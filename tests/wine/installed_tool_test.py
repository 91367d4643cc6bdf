"""mkinstaller as a publisher gets it: installed with `cmake --install` into
a temporary prefix, and unpacked from the Debian package with dpkg-deb -x.
From there alone, without --stub, it packs a folder into an installer that
installs under Wine; the man page renders with man -l.

Needs the bench fixture's environment and ORVANE_HOST_BUILD (the host build
directory, configured with the stub of build/win32). Standard library only.
"""

import os
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
        if cls.bench.width == 64:
            raise unittest.SkipTest("the packages hold the 32-bit stub, which this machine cannot run")
        cls.trees = tempfile.TemporaryDirectory(prefix="installed-tool-", dir=cls.bench.dir)
        root = Path(cls.trees.name)
        subprocess.run(["cmake", "--install", HOST_BUILD, "--prefix", root / "prefix"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cpack", "-G", "DEB", "-B", root / "deb"], cwd=HOST_BUILD,
                       check=True, stdout=subprocess.DEVNULL)
        (package,) = (root / "deb").glob("*.deb")
        subprocess.run(["dpkg-deb", "-x", package, root / "unpacked"], check=True)
        cls.layouts = {"cmake --install": root / "prefix", "dpkg-deb -x": root / "unpacked" / "usr"}

    @classmethod
    def tearDownClass(cls):
        cls.trees.cleanup()

    def test_installed_builder_makes_a_working_installer_without_stub(self):
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

    def test_man_page_renders_every_option(self):
        page = self.layouts["dpkg-deb -x"] / "share/man/man1/mkinstaller.1"
        rendered = subprocess.run(["man", "-l", page], check=True, capture_output=True, text=True,
                                  env={**os.environ, "MANPAGER": "cat", "MANWIDTH": "100"}).stdout
        for part in ("mkinstaller - make self-extracting Windows installers", "--inspect", "--json",
                     "--stub", "--version", "SOURCE_DATE_EPOCH", "Exit status"):
            self.assertIn(part, rendered)


if __name__ == "__main__":
    run_tests()
