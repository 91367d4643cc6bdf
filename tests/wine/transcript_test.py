"""The harness's reading of robot transcripts and screenshots (no Wine needed)."""

import struct
import tempfile
import unittest
import zlib
from pathlib import Path

from winebench import Rect, bmp_to_png, parse_transcript, quote_argument


class TranscriptParsing(unittest.TestCase):
    def test_boxes_escapes_and_exit_code(self):
        result = parse_transcript(
            "box 1\ncaption: Installer\ntext: All files have been extracted to C:\\\\Out\\\\, run"
            " it?\\r\\nnow\nicon: none\nbutton: Yes\nbutton: No\npressed: No\n\n"
            "box 2\ncaption: Dialog\ntext: 1\nicon: information\nbutton: OK\n"
            "pressed: OK (unscripted)\n\nexit: 3\n")
        self.assertEqual(result.exit_code, 3)
        self.assertEqual(len(result.boxes), 2)
        first, second = result.boxes
        self.assertEqual(first.caption, "Installer")
        self.assertEqual(first.text, "All files have been extracted to C:\\Out\\, run it?\r\nnow")
        self.assertEqual(first.buttons, ["Yes", "No"])
        self.assertEqual((first.pressed, first.scripted), ("No", True))
        self.assertEqual((second.icon, second.pressed, second.scripted), ("information", "OK", False))

    def test_timeout_has_no_exit_code(self):
        result = parse_transcript("box 1\ncaption: x\ntext: \nicon: none\nbutton: OK\npressed: OK\n\ntimeout\n")
        self.assertIsNone(result.exit_code)
        self.assertEqual(result.boxes[0].text, "")

    def test_status_windows_and_screenshot(self):
        result = parse_transcript(
            "box 1\ncaption: Installer\ntext: CRC-Error!\nicon: error\nbutton: OK\n"
            "status: visible 387,359 250x75 Installer\n"
            "status line: Static 15,10 250x20 Extracting, 40% complete\n"
            "status: hidden -5,0 250x75 \n"
            "status line: Static 15,10 250x20 C:\\\\x  \n"
            "pressed: OK\n\n"
            "screenshot: Z:\\\\tmp\\\\a b.bmp (unpainted)\nscreenshot text: Copying Files...\n"
            "exit: 0\n")
        shown, hidden = result.boxes[0].status_windows
        self.assertEqual((shown.caption, shown.visible, shown.rect),
                         ("Installer", True, Rect(387, 359, 250, 75)))
        self.assertEqual([(l.window_class, l.rect, l.text) for l in shown.lines],
                         [("Static", Rect(15, 10, 250, 20), "Extracting, 40% complete")])
        self.assertEqual((hidden.caption, hidden.visible, hidden.rect.x), ("", False, -5))
        self.assertEqual(hidden.lines[0].text, "C:\\x  ")
        shot = result.screenshot
        self.assertEqual((shot.file, shot.painted, shot.text),
                         ("Z:\\tmp\\a b.bmp", False, "Copying Files..."))
        self.assertIsNone(parse_transcript("screenshot: none\nexit: 0\n").screenshot)

    def test_bmp_becomes_png_top_row_first_in_rgb(self):
        # 3 x 2 pixels: rows of 9 bytes padded to 12, stored bottom row first, BGR.
        top = bytes([0, 0, 255, 0, 255, 0, 255, 0, 0])     # red, green, blue
        bottom = bytes([255, 255, 255, 0, 0, 0, 1, 2, 3])  # white, black, (3, 2, 1)
        pixels = bottom + bytes(3) + top + bytes(3)
        bmp = (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) +
               struct.pack("<IiiHHIIiiII", 40, 3, 2, 1, 24, 0, len(pixels), 0, 0, 0, 0) + pixels)
        with tempfile.TemporaryDirectory() as scratch:
            Path(scratch, "a.bmp").write_bytes(bmp)
            bmp_to_png(Path(scratch, "a.bmp"), Path(scratch, "a.png"))
            png = Path(scratch, "a.png").read_bytes()
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", png[16:24]), (3, 2))
        idat_length, = struct.unpack(">I", png[33:37])
        self.assertEqual(png[37:41], b"IDAT")
        self.assertEqual(zlib.decompress(png[41:41 + idat_length]),
                         b"\0" + bytes([255, 0, 0, 0, 255, 0, 0, 0, 255]) +
                         b"\0" + bytes([255, 255, 255, 0, 0, 0, 3, 2, 1]))

    def test_quoting_of_program_arguments(self):
        self.assertEqual(quote_argument("SIZE"), "SIZE")
        self.assertEqual(quote_argument("C:\\My Dir\\"), '"C:\\My Dir\\"')
        self.assertEqual(quote_argument(""), '""')


if __name__ == "__main__":
    unittest.main(verbosity=2)
