"""The harness's reading of robot transcripts (no Wine needed)."""

import unittest

from winebench import parse_transcript, quote_argument


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

    def test_quoting_of_program_arguments(self):
        self.assertEqual(quote_argument("SIZE"), "SIZE")
        self.assertEqual(quote_argument("C:\\My Dir\\"), '"C:\\My Dir\\"')
        self.assertEqual(quote_argument(""), '""')


if __name__ == "__main__":
    unittest.main(verbosity=2)
