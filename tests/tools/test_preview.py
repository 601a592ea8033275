"""Geometry checks of tools/preview.py on small hand-made exchange files.

Run from the repository root: python3 -m unittest discover -s tests/tools
"""

import re
import sys
import tempfile
import unittest
import unittest.mock
import xml.etree.ElementTree as ET
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))
import preview  # noqa: E402

SVG = "{http://www.w3.org/2000/svg}"

# Size 2: width 2.5, height 2.5, spacing 0.5; size 3: width 3, height 3, spacing 0.5.
# Group 1 and group 10 draw at scale 2.
SETTINGS = [
    "hs 1 2 1 1 1 1 1 1 1 1 2 1 1 1 1 1",
    "hcw 2 2.5 3 3.5 4 5 6 7 8 10",
    "hch 2 2.5 3 3.5 4 5 6 7 8 10",
    "hcd 0.5 0.5 0.5 0.5 1 1 1 1 1 1",
]

REPORT = [
    "cn2 ",
    'ch 210.000000000 110.000000000 3 0 "^!■■■ 検索結果 ■■■',
    "",
    'ch 210.000000000 105.000000000 3 0 "検索文字：[ 検索 ]',
    "",
    "lt1 ",
    "lc4 ",
    " 205.000000000000 120.000000000000 308.500000000000 120.000000000000 ",
    " 308.500000000000 120.000000000000 308.500000000000 72.500000000000 ",
    " 308.500000000000 72.500000000000 205.000000000000 72.500000000000 ",
    "cn3",
    "lg0",
]


def exchange_bytes(lines):
    return "".join(line + "\r\n" for line in lines).encode("cp932")


class PreviewCase(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def load(self, input_lines, output_lines):
        paths = [Path(self.folder.name) / name for name in ("IN.TXT", "OUT.TXT")]
        for path, lines in zip(paths, (input_lines, output_lines)):
            path.write_bytes(exchange_bytes(lines))
        return preview.load_preview(*paths)


class CircleMarksItsCharacter(PreviewCase):
    # (records before the text, text record, circle record as the filter
    #  writes it, byte offset and character of the cell that must hold the
    #  centre -- and no other cell may)
    CASES = [
        (["cn3"], 'ch 100 50 20 0 "検索',
         "ci 101.750000000000 51.500000000000 2.500000000000 ", 0, "検"),
        (["cn3"], 'ch 100 50 20 0 "全文検索',
         "ci 108.750000000000 51.500000000000 2.500000000000 ", 4, "検"),
        (["lg1", "cn3"], 'ch 100 50 0 10 "検索',
         "ci 97.000000000000 53.500000000000 5.000000000000 ", 0, "検"),
        (["cn3"], 'ch 50 50 7.07 7.07 "文字列を検索する',
         "ci 60.076271631908 62.197591975468 2.500000000000 ", 8, "検"),
        (["cn3"], 'ch 200 100 -20 0 "検索結果',
         "ci 198.250000000000 98.500000000000 2.500000000000 ", 0, "検"),
        (["lga", "cn3"], 'ch 10 10 20 0 "全文検索',
         "ci 27.500000000000 13.000000000000 5.000000000000 ", 4, "検"),
        (["cn3"], 'ch 0 0 20 0 "A検索',
         "ci 3.500000000000 1.500000000000 2.500000000000 ", 1, "検"),
        (["cn0 4 4 1 1"], 'ch 150 105 17.32 -10 "ソフト検索ツール',
         "ci 166.155355421729 97.981845598905 2.500000000000 ", 6, "検"),
        # a centre one character too early lands in the neighbour's cell
        (["cn3"], 'ch 100 50 20 0 "全文検索',
         "ci 105.250000000000 51.500000000000 2.500000000000 ", 2, "文"),
    ]

    def test_centre_lies_in_the_marked_cell_only(self):
        for settings, text, circle, offset, char in self.CASES:
            with self.subTest(text=text, settings=settings):
                source, result = self.load(SETTINGS + settings + [text], [circle])
                (x, y, _), = result.circles
                holding = [cell for cell in preview.char_cells(source.texts[0])
                           if cell.contains(x, y)]
                self.assertEqual([(c.offset, c.char) for c in holding], [(offset, char)])


class ReaderKeepsSettings(PreviewCase):
    # (records before "ch 0 0 20 0 \"x", expected width, height, spacing, scale)
    CASES = [
        ([], 0.0, 0.0, 0.0, 1.0),
        (SETTINGS, 2.0, 2.0, 0.5, 1.0),
        (SETTINGS + ["cn3"], 3.0, 3.0, 0.5, 1.0),
        (SETTINGS + ["cn12"], 0.0, 0.0, 0.0, 1.0),
        (SETTINGS + ["cn-1"], 0.0, 0.0, 0.0, 1.0),
        (SETTINGS + ['cn"', "cn4"], 3.5, 3.5, 0.5, 1.0),
        (SETTINGS + ["lga"], 2.0, 2.0, 0.5, 2.0),
        (SETTINGS + ["lg1f"], 2.0, 2.0, 0.5, 1.0),
        (SETTINGS + ["lg1", "lg0"], 2.0, 2.0, 0.5, 1.0),
        (["cn0 4 4 1 1"], 4.0, 4.0, 1.0, 1.0),
        (["cn0 4 4 1 1", "cn0 2.5, 2.5, 0.5, 1"], 2.5, 4.0, 1.0, 1.0),
        (["hcw 1 2 x 4", "cn2"], 2.0, 0.0, 0.0, 1.0),
        (["hs 3", "lg0", "cn0 1 1 0 0"], 1.0, 1.0, 0.0, 3.0),
    ]

    def test_text_takes_the_settings_in_effect(self):
        for records, width, height, spacing, scale in self.CASES:
            with self.subTest(records=records):
                source, _ = self.load(records + ['ch 0 0 20 0 "x'], [])
                text = source.texts[0]
                self.assertEqual((text.width, text.height, text.spacing, text.scale),
                                 (width, height, spacing, scale))

    def test_fields_that_do_not_convert_keep_earlier_values(self):
        source, _ = self.load(['ch 5 6 20 0 "検索', "ch 7 y 0 0", 'ch 8 9 0 10 "abc'], [])
        kept = [(t.x, t.y, t.dx, t.dy, t.text.decode("cp932")) for t in source.texts]
        self.assertEqual(kept, [(5, 6, 20, 0, "検索"), (7, 6, 20, 0, "検索"),
                                (8, 9, 0, 10, "abc")])


class CharacterCells(unittest.TestCase):
    def test_shift_jis_characters_and_their_cells(self):
        # (text bytes, expected (offset, character, cell start, cell length))
        # with width 3, spacing 0.5, scale 1: half a pitch is 1.75 per byte
        cases = [
            ("検索".encode("cp932"), [(0, "検", 0, 3), (2, "索", 3.5, 3)]),
            ("A検".encode("cp932"), [(0, "A", 0, 1.5), (1, "検", 1.75, 3)]),
            ("ｱ1".encode("cp932"), [(0, "ｱ", 0, 1.5), (1, "1", 1.75, 1.5)]),
            (b"a\x8c", [(0, "a", 0, 1.5), (1, "\ufffd", 1.75, 1.5)]),
        ]
        for raw, expected in cases:
            with self.subTest(raw=raw):
                text = preview.PlacedText(0, 0, 20, 0, raw, 3, 3, 0.5, 1)
                cells = [(c.offset, c.char, c.start, c.length)
                         for c in preview.char_cells(text)]
                self.assertEqual(cells, expected)

    def test_cells_rise_to_the_left_of_the_direction(self):
        for dx, dy, top in [(20, 0, (0, 3)), (0, 10, (-3, 0)), (-20, 0, (0, -3))]:
            with self.subTest(direction=(dx, dy)):
                text = preview.PlacedText(0, 0, dx, dy, "検".encode("cp932"), 3, 3, 0.5, 1)
                corner = preview.char_cells(text)[0].corners()[3]
                self.assertAlmostEqual(corner[0], top[0])
                self.assertAlmostEqual(corner[1], top[1])


class SvgPicture(PreviewCase):
    def render(self):
        source, result = self.load(
            SETTINGS + ["cn3", 'ch 100 50 20 0 "全文検索'],
            ["ci 108.750000000000 51.500000000000 2.500000000000 "] + REPORT)
        return ET.fromstring(preview.render_svg(source, result)), source, result

    def test_report_texts_and_frame_are_drawn(self):
        root, _, result = self.render()
        output = root.find(f"{SVG}g[@id='output']")
        glyphs = "".join(t.text for t in output.iter(f"{SVG}text"))
        self.assertIn("■■■検索結果■■■", glyphs)
        self.assertNotIn("^", glyphs)
        self.assertEqual(len(output.findall(f"{SVG}line")), 3)
        title = result.texts[0]
        self.assertTrue(title.text.startswith("■".encode("cp932")))
        self.assertEqual((title.width, title.height, title.scale), (2.5, 2.5, 1.0))

    def test_input_glyphs_are_decoded_and_y_is_flipped(self):
        root, _, _ = self.render()
        source_group = root.find(f"{SVG}g[@id='input']")
        self.assertEqual([t.text for t in source_group.iter(f"{SVG}text")],
                         ["全", "文", "検", "索"])
        circle = next(c for c in root.iter(f"{SVG}circle") if c.get("stroke") == "red")
        self.assertEqual((float(circle.get("cx")), float(circle.get("cy")), circle.get("r")),
                         (108.75, -51.5, "2.5"))

    def test_view_box_holds_everything_on_white(self):
        root, _, _ = self.render()
        x, y, width, height = map(float, root.get("viewBox").split())
        self.assertLess(x, 100)  # the text's start
        self.assertGreater(x + width, 308.5)  # the frame's right side
        self.assertLess(y, -120)  # the frame's top, flipped
        self.assertGreater(y + height, -50)  # the text's bottom, flipped
        background = root.find(f"{SVG}rect")
        self.assertEqual(background.get("fill"), "white")

    def test_report_is_enlarged_to_be_legible_at_readme_width(self):
        root, _, _ = self.render()
        inset = root.find(f"{SVG}g[@id='inset']")
        glyphs = "".join(t.text for t in inset.find(f".//{SVG}g[@id='inset-output']")
                         .iter(f"{SVG}text"))
        self.assertIn("検索文字：[検索]", glyphs)
        scale = float(re.search(r"scale\(([\d.]+)\)",
                                inset.find(f"{SVG}g").get("transform")).group(1))
        page_width = float(root.get("viewBox").split()[2])
        # size 2 is 2.5 high; shown 800 pixels wide its cells must be 14 pixels or more
        self.assertGreaterEqual(2.5 * scale * 800 / page_width, 14)

    def test_command_line(self):
        self.load(SETTINGS + ['ch 0 0 20 0 "検索'], REPORT)
        folder = Path(self.folder.name)
        picture = folder / "picture.svg"
        status = preview.main([str(folder / "IN.TXT"), str(folder / "OUT.TXT"),
                               "-o", str(picture)])
        self.assertEqual(status, 0)
        root = ET.parse(picture).getroot()
        self.assertEqual(root.tag, f"{SVG}svg")
        # The picture is committed: it names the files, not where they were.
        self.assertEqual(root.find(f"{SVG}title").text, "IN.TXT (input) + OUT.TXT (filter output)")
        self.assertNotIn(self.folder.name, picture.read_text(encoding="utf-8"))
        with unittest.mock.patch("sys.stderr"):
            status = preview.main([str(folder / "NONE.TXT"), str(folder / "OUT.TXT"),
                                   "-o", str(picture)])
        self.assertEqual(status, 1)


if __name__ == "__main__":
    unittest.main()
