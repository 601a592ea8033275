"""The operator's guide in the release ZIP keeps the form that Notepad on a
Japanese Windows reads: UTF-8 with a byte order mark, CR LF line ends, lines
of at most 80 columns, every character in code page 932.

Run from the repository root: python3 -m unittest discover -s tests/tools
"""

import unicodedata
import unittest
from pathlib import Path

GUIDE = Path(__file__).resolve().parents[2] / "packaging" / "README.txt"
BOM = b"\xef\xbb\xbf"


def columns(line):
    """Screen columns of a line: a wide character, or one whose width
    depends on the font (a Japanese font draws it wide), counts 2."""
    return sum(2 if unicodedata.east_asian_width(c) in "WFA" else 1 for c in line)


class GuideForm(unittest.TestCase):
    def test_bom_crlf_width_and_code_page(self):
        data = GUIDE.read_bytes()
        self.assertTrue(data.startswith(BOM), "no byte order mark")
        text = data[len(BOM):].decode("utf-8")
        self.assertTrue(text.endswith("\r\n"), "the last line has no CR LF")
        for number, line in enumerate(text[:-2].split("\r\n"), start=1):
            where = f"line {number}: {line!r}"
            self.assertNotIn("\r", line, where)
            self.assertNotIn("\n", line, where)
            self.assertLessEqual(columns(line), 80, where)
            try:
                line.encode("cp932")
            except UnicodeEncodeError as error:
                self.fail(f"{where}: {error}")


if __name__ == "__main__":
    unittest.main()
