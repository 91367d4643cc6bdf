"""End-to-end test of the stub against DLL planting under the Wine bench: the
marker DLL (marker.dll of the stub's width) saved as uxtheme.dll beside the stub,
with Wine told to prefer a native uxtheme.dll, as Windows treats a DLL that
is not a KnownDLL. Wine loads uxtheme when a program creates its first
window, so a stub that searches its own directory loads the marker, which
then writes a line to the marker file.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR,
ORVANE_WIN32_DIR and ORVANE_MKINSTALLER set). Standard library only.
"""

import shutil

from installer_cases import RUN_ONCE_KEY, InstallerCase
from winebench import WINE_ENV, run_tests, windows_path


class DllPlanting(InstallerCase):
    def test_planted_uxtheme_is_never_loaded(self):
        temp, _ = self.use_temp("e2e-planting")
        marker = self.bench.deliverable("marker.dll")
        log = self.work / "loaded.txt"
        env = {"WINEDLLOVERRIDES": WINE_ENV["WINEDLLOVERRIDES"] + ";uxtheme=n,b",
               "ORVANE_MARKER_FILE": windows_path(log)}
        installer = self.make_installer("planted.exe", {"SETUP.EXE": self.probe,
                                                        "data.txt": b"installed"})
        shutil.copy(marker, self.work / "uxtheme.dll")
        self.bench.reg_delete(RUN_ONCE_KEY, "planted")
        beside = self.work / "beside"
        beside.mkdir()
        stub = shutil.copy(installer, beside / "stub.exe")
        shutil.copy(marker, beside / "uxtheme.dll")
        shutil.copy(self.work / "payload.zip", beside / "uztemp.zip")

        for mode, program, args, answers in (("SIZE", installer, ["SIZE"], ["OK"]),
                                             ("123", stub, ["123"], ["No"]),
                                             ("install", installer, [], [])):
            with self.subTest(mode=mode):
                log.unlink(missing_ok=True)
                result = self.bench.run(program, args, answers=answers, env=env, cwd=self.work)
                self.assertEqual(result.exit_code, 0, result.transcript)
                self.assertEqual(len(result.boxes), len(answers), result.transcript)
                self.assertFalse(log.exists(), log.read_text() if log.exists() else "")
        self.assertEqual((beside / "data.txt").read_bytes(), b"installed")
        self.probe_report(temp / "planted")
        self.assertEqual((temp / "planted" / "data.txt").read_bytes(), b"installed")


if __name__ == "__main__":
    run_tests()
