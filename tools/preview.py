#!/usr/bin/env python3
"""Draw an exchange file and the text search filter's output over it as one SVG.

usage: preview.py INPUT OUTPUT -o picture.svg

INPUT is the exchange file as the host wrote it (for example
samples/QXC_TEMP.TXT), OUTPUT the exchange file that the filter wrote back.
The picture shows the input's text records, every character in its own cell
with the width, height and spacing in effect, the input's line records, and
over them the filter's circles (red), report texts and report frame.

The reader below keeps the same settings as the filter's reader does (text
size number, size tables, group scales, current group), so a circle that the
filter placed correctly lies inside the cell of the character it marks.
Standard library only.
"""

import argparse
import math
import re
import sys
from dataclasses import dataclass, field, replace
from pathlib import PureWindowsPath
from xml.sax.saxutils import escape, quoteattr

SIZE_COUNT = 11  # text size numbers 0 (free size of "cn0") to 10
GROUP_COUNT = 16  # group numbers 0 to 15
TEXT_LIMIT = 260  # bytes taken from a text record's text field
HOST_CONTROL_PREFIX = b"^!"  # the host reads it as a control code, it is not drawn

FONT_FAMILY = ("'Noto Sans CJK JP', 'Noto Sans JP', 'IPAGothic', 'IPAexGothic', "
               "'TakaoGothic', 'VL Gothic', sans-serif")

# Field scanners that behave like the C library's formatted scanning:
# leading white space is skipped, the longest valid prefix is taken.
_FIELD_PATTERNS = {
    "f": re.compile(rb"\s*([+-]?(?:(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?"
                    rb"|inf(?:inity)?|nan))", re.IGNORECASE),
    "d": re.compile(rb"\s*([+-]?\d+)"),
    "x": re.compile(rb"\s*([+-]?(?:0[xX])?[0-9a-fA-F]+)"),
}
_FIELD_CONVERTERS = {
    "f": lambda raw: float(raw.decode("ascii")),
    "d": lambda raw: int(raw, 10),
    "x": lambda raw: int(raw, 16),
}


def scan_fields(data, kinds, start=0):
    """Convert fields of `data` from byte `start` on, one per letter of `kinds`
    ("f" decimal number, "d" decimal integer, "x" hexadecimal integer).

    Scanning stops at the first field that does not convert; returns the
    values converted before it and the position after the last of them."""
    values = []
    position = start
    for kind in kinds:
        found = _FIELD_PATTERNS[kind].match(data, position)
        if found is None:
            break
        values.append(_FIELD_CONVERTERS[kind](found.group(1)))
        position = found.end()
    return values, position


@dataclass
class ReaderState:
    """The settings that decide where and how large a text is drawn.

    They carry over from record to record and from the input to the output,
    just as the filter places its report with the input's final settings."""
    MOJI_W: list = field(default_factory=lambda: [0.0] * SIZE_COUNT)
    MOJI_H: list = field(default_factory=lambda: [0.0] * SIZE_COUNT)
    MOJI_D: list = field(default_factory=lambda: [0.0] * SIZE_COUNT)
    G_SCALE: list = field(default_factory=lambda: [1.0] * GROUP_COUNT)
    MOJIS: int = 1
    GROUP: int = 0
    # The latest text record: fields that do not convert keep these values.
    ChX: float = 0.0
    ChY: float = 0.0
    ChDX: float = 0.0
    ChDY: float = 0.0
    ChSTR0: bytes = b""

    def sizes_in_effect(self):
        """Width, height and spacing of the current text size; a size number
        outside the tables has no size at all."""
        if 0 <= self.MOJIS < SIZE_COUNT:
            return (self.MOJI_W[self.MOJIS], self.MOJI_H[self.MOJIS],
                    self.MOJI_D[self.MOJIS])
        return (0.0, 0.0, 0.0)

    def scale_in_effect(self):
        """Scale of the current group; a group outside the table is unscaled."""
        if 0 <= self.GROUP < GROUP_COUNT:
            return self.G_SCALE[self.GROUP]
        return 1.0


@dataclass(frozen=True)
class PlacedText:
    """A text record with the sizes and scale in effect when it was read."""
    x: float
    y: float
    dx: float
    dy: float
    text: bytes
    width: float
    height: float
    spacing: float
    scale: float


@dataclass
class Drawing:
    """What the preview takes from one exchange file."""
    texts: list = field(default_factory=list)
    lines: list = field(default_factory=list)  # (x1, y1, x2, y2)
    circles: list = field(default_factory=list)  # (x, y, r)
    frame_points: list = field(default_factory=list)  # the two "hn" points


def _store(table, first_index, values):
    for index, value in enumerate(values, start=first_index):
        table[index] = value


def _read_size_record(line, state):
    """"cn0 W H D C" selects the free size and sets entry 0 of the tables;
    "cnN" selects size N; "cn" and a double quote changes nothing."""
    selector = line[2:3]
    if selector == b"0":
        state.MOJIS = 0
        values, _ = scan_fields(line, "fffd", 3)
        for table, value in zip((state.MOJI_W, state.MOJI_H, state.MOJI_D), values):
            table[0] = value
    elif selector != b'"':
        values, _ = scan_fields(line, "d", 2)
        if values:
            state.MOJIS = values[0]


_SIZE_TABLES = {b"w": "MOJI_W", b"h": "MOJI_H", b"d": "MOJI_D"}


def _read_setting_record(line, state, drawing):
    """"hn" points, "hs" group scales, "hcw"/"hch"/"hcd" size tables."""
    kind = line[1:2]
    if kind == b"n":
        values, _ = scan_fields(line, "ffff", 2)
        if len(values) == 4:
            drawing.frame_points = [(values[0], values[1]), (values[2], values[3])]
    elif kind == b"s":
        values, _ = scan_fields(line, "f" * GROUP_COUNT, 3)
        _store(state.G_SCALE, 0, values)
    elif kind == b"c" and line[2:3] in _SIZE_TABLES:
        values, _ = scan_fields(line, "f" * (SIZE_COUNT - 1), 4)
        _store(getattr(state, _SIZE_TABLES[line[2:3]]), 1, values)


def _read_text_record(line, state):
    """Take position, direction and text; fields that do not convert keep the
    previous record's values, as in the filter."""
    values, position = scan_fields(line, "ffff", 2)
    for name, value in zip(("ChX", "ChY", "ChDX", "ChDY"), values):
        setattr(state, name, value)
    if len(values) == 4:
        quote = re.compile(rb'\s*"').match(line, position)
        if quote is not None and quote.end() < len(line):
            state.ChSTR0 = line[quote.end():quote.end() + TEXT_LIMIT]
    text = re.split(rb"[\r\n\0]", state.ChSTR0, maxsplit=1)[0]
    width, height, spacing = state.sizes_in_effect()
    return PlacedText(state.ChX, state.ChY, state.ChDX, state.ChDY, text,
                      width, height, spacing, state.scale_in_effect())


def read_exchange(data, state):
    """Read exchange file bytes record by record, updating `state`."""
    drawing = Drawing()
    for raw in data.splitlines(keepends=True):
        # The filter reads in text mode: CR LF arrives as a single newline.
        line = raw[:-2] + b"\n" if raw.endswith(b"\r\n") else raw
        first, second = line[0:1], line[1:2]
        if first == b" ":
            values, _ = scan_fields(line, "ffff", 1)
            if len(values) == 4:
                drawing.lines.append(tuple(values))
        elif first == b"c" and second == b"i":
            values, _ = scan_fields(line, "fff", 2)
            if len(values) == 3:
                drawing.circles.append(tuple(values))
        elif first == b"c" and second == b"n":
            _read_size_record(line, state)
        elif first == b"c" and second not in (b"c", b""):
            drawing.texts.append(_read_text_record(line, state))
        elif first == b"h":
            _read_setting_record(line, state, drawing)
        elif first == b"l" and second == b"g":
            values, _ = scan_fields(line, "x", 2)
            if values:
                state.GROUP = values[0]
    return drawing


def is_lead_byte(byte):
    """Shift-JIS bytes that start a two-byte character."""
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def split_characters(text):
    """Yield (byte offset, character bytes); a lead byte at the very end of
    the text stands alone."""
    offset = 0
    while offset < len(text):
        size = 2 if is_lead_byte(text[offset]) and offset + 1 < len(text) else 1
        yield offset, text[offset:offset + size]
        offset += size


@dataclass(frozen=True)
class Cell:
    """The box of one character: it starts `start` units along the text's
    direction from the text's start point, is `length` long along the
    direction and rises `height` to its left (toward the character's top)."""
    offset: int
    raw: bytes
    char: str
    origin: tuple
    direction: tuple  # unit vector along the text
    start: float
    length: float
    height: float

    def local(self, x, y):
        """Coordinates of (x, y) along and across the text, relative to the
        cell's lower start corner."""
        ux, uy = self.direction
        rx, ry = x - self.origin[0], y - self.origin[1]
        return rx * ux + ry * uy - self.start, -rx * uy + ry * ux

    def point(self, along, across):
        """Drawing point at `along`/`across` from the cell's lower start corner."""
        ux, uy = self.direction
        along += self.start
        return (self.origin[0] + along * ux - across * uy,
                self.origin[1] + along * uy + across * ux)

    def corners(self):
        return [self.point(0, 0), self.point(self.length, 0),
                self.point(self.length, self.height), self.point(0, self.height)]

    def contains(self, x, y, tolerance=1e-9):
        along, across = self.local(x, y)
        return (-tolerance <= along <= self.length + tolerance
                and -tolerance <= across <= self.height + tolerance)


def char_cells(text):
    """Cells of every character of a PlacedText.

    The pitch W + D applies per two bytes, so the byte at offset k starts
    k * (W + D) * S / 2 along the text; a two-byte character is W * S wide,
    a one-byte character half that; every cell is H * S high."""
    angle = math.atan2(text.dy, text.dx)
    direction = (math.cos(angle), math.sin(angle))
    half_pitch = (text.width + text.spacing) * text.scale / 2
    cells = []
    for offset, raw in split_characters(text.text):
        full_width = text.width * text.scale
        cells.append(Cell(offset, raw, raw.decode("cp932", errors="replace"),
                          (text.x, text.y), direction, offset * half_pitch,
                          full_width if len(raw) == 2 else full_width / 2,
                          text.height * text.scale))
    return cells


def without_control_prefix(text):
    """The report's title starts with the host's control prefix, which the
    host does not draw."""
    if text.text.startswith(HOST_CONTROL_PREFIX):
        return replace(text, text=text.text[len(HOST_CONTROL_PREFIX):])
    return text


# ---------------------------------------------------------------- SVG output

STYLE_INPUT = {"cell_fill": "#e8f0fb", "cell_stroke": "#9db4dc", "glyph": "#1a1a1a"}
STYLE_REPORT = {"cell_fill": "#eaf6e6", "cell_stroke": "#a6cf9b", "glyph": "#1d5a12"}
BASELINE_RAISE = 0.12  # share of the cell height below the glyph baseline
FALLBACK_FONT_SIZE = 2.5  # for texts without any size information
SVG_LONG_SIDE_PX = 2400
LINE_INPUT, LINE_REPORT, EXTENT_STROKE = "#333333", "#1d5a12", "#b0b0b0"
# Sizes below the drawing, in pixels of the picture shown PREVIEW_WIDTH_PX
# wide (as a README shows it): the report's own text is far smaller there.
PREVIEW_WIDTH_PX = 800
INSET_CELL_PX = 20  # report text height aimed at in the enlarged report
LABEL_PX = 13  # legend and label text
LEGEND_ROW_PX = 20
GAP_PX = 12


def _fmt(value):
    return f"{value:.4f}".rstrip("0").rstrip(".")


def _svg_point(point):
    """Drawing y grows upward, SVG y grows downward."""
    return _fmt(point[0]), _fmt(-point[1])


def _printable(char):
    return char.isprintable() and not char.isspace()


def _glyph_svg(cell, text, style):
    """One character, centred in its cell, stretched to the cell's width."""
    height = cell.height
    sx, sy = _svg_point(cell.point(cell.length / 2, BASELINE_RAISE * height))
    degrees = math.degrees(math.atan2(cell.direction[1], cell.direction[0]))
    stretch = text.width / text.height
    return (f'<text transform="translate({sx} {sy}) rotate({_fmt(-degrees)}) '
            f'scale({_fmt(stretch)} 1)" font-size="{_fmt(height)}" '
            f'text-anchor="middle" fill="{style["glyph"]}">'
            f'{escape(cell.char)}</text>')


def _unsized_text_svg(text):
    """A text without size information has no cells: show it plainly at its
    start point so it is not lost."""
    sx, sy = _svg_point((text.x, text.y))
    degrees = math.degrees(math.atan2(text.dy, text.dx))
    label = text.text.decode("cp932", errors="replace")
    return (f'<text transform="translate({sx} {sy}) rotate({_fmt(-degrees)})" '
            f'font-size="{FALLBACK_FONT_SIZE}" fill="#999999" font-style="italic">'
            f'{escape(label)}</text>')


def _text_svg(text, style, stroke):
    if text.width * text.scale <= 0 or text.height * text.scale <= 0:
        return [_unsized_text_svg(text)]
    cells = char_cells(text)
    parts = []
    for cell in cells:
        points = " ".join(",".join(_svg_point(p)) for p in cell.corners())
        parts.append(f'<polygon points="{points}" fill="{style["cell_fill"]}" '
                     f'stroke="{style["cell_stroke"]}" stroke-width="{_fmt(stroke)}"/>')
    parts.extend(_glyph_svg(cell, text, style) for cell in cells if _printable(cell.char))
    sx, sy = _svg_point((text.x, text.y))
    parts.append(f'<circle cx="{sx}" cy="{sy}" r="{_fmt(stroke * 2)}" '
                 f'fill="{style["cell_stroke"]}"/>')
    return parts


def _line_svg(line, colour, stroke):
    x1, y1 = _svg_point(line[0:2])
    x2, y2 = _svg_point(line[2:4])
    return (f'<line x1="{x1}" y1="{y1}" x2="{x2}" y2="{y2}" stroke="{colour}" '
            f'stroke-width="{_fmt(stroke)}" stroke-linecap="round"/>')


def _circle_svg(circle, stroke):
    cx, cy = _svg_point(circle[0:2])
    cross = circle[2] * 0.2
    return (f'<circle cx="{cx}" cy="{cy}" r="{_fmt(circle[2])}" fill="none" '
            f'stroke="red" stroke-width="{_fmt(stroke)}"/>'
            f'<path d="M {_fmt(float(cx) - cross)} {cy} h {_fmt(2 * cross)} '
            f'M {cx} {_fmt(float(cy) - cross)} v {_fmt(2 * cross)}" '
            f'stroke="red" stroke-width="{_fmt(stroke / 2)}"/>')


def _frame_points_svg(points, stroke):
    (x1, y1), (x2, y2) = points
    left, right = min(x1, x2), max(x1, x2)
    top, bottom = -max(y1, y2), -min(y1, y2)
    return (f'<rect x="{_fmt(left)}" y="{_fmt(top)}" width="{_fmt(right - left)}" '
            f'height="{_fmt(bottom - top)}" fill="none" stroke="{EXTENT_STROKE}" '
            f'stroke-width="{_fmt(stroke)}" stroke-dasharray="{_fmt(stroke * 6)}"/>')


def _text_points(text):
    points = [(text.x, text.y)]
    for cell in char_cells(text):
        points.extend(cell.corners())
    return points


def _bounds(points):
    """Smallest box (min x, min y, max x, max y) around the finite points,
    None if there are none."""
    points = [p for p in points if all(math.isfinite(v) for v in p)]
    if not points:
        return None
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return (min(xs), min(ys), max(xs), max(ys))


def drawing_bounds(source, result):
    """Smallest box (min x, min y, max x, max y) around everything drawn."""
    points = list(source.frame_points) + list(result.frame_points)
    for text in source.texts + result.texts:
        points.extend(_text_points(text))
    for drawing in (source, result):
        for x1, y1, x2, y2 in drawing.lines:
            points.extend([(x1, y1), (x2, y2)])
    for x, y, r in result.circles:
        points.extend([(x - r, y - r), (x + r, y + r)])
    return _bounds(points) or (0.0, 0.0, 100.0, 100.0)


def report_cell_height(result):
    """Height of the smallest sized report text, 0 if no text has a size."""
    heights = [t.height * t.scale for t in result.texts
               if t.width * t.scale > 0 and t.height * t.scale > 0]
    return min(heights, default=0.0)


def report_bounds(result):
    """Box around the report the filter wrote (its texts and its frame, not
    the circles) with half a text height to spare; None without a report."""
    points = []
    for text in result.texts:
        points.extend(_text_points(text))
    for x1, y1, x2, y2 in result.lines:
        points.extend([(x1, y1), (x2, y2)])
    box = _bounds(points)
    if box is None:
        return None
    pad = report_cell_height(result) / 2 or max(box[2] - box[0], box[3] - box[1], 1.0) * 0.02
    return (box[0] - pad, box[1] - pad, box[2] + pad, box[3] + pad)


def inset_scale(report_box, cell_height, room, pixel):
    """Magnification of the enlarged report: as wide as `room` allows, but
    not beyond report cells of INSET_CELL_PX pixels (`pixel` is one pixel of
    the picture shown PREVIEW_WIDTH_PX wide), and no taller than `room` is
    wide. None if it would not enlarge."""
    scale = room / max(report_box[2] - report_box[0], report_box[3] - report_box[1])
    if cell_height > 0:
        scale = min(scale, INSET_CELL_PX * pixel / cell_height)
    return scale if scale > 1 else None


def _layers_svg(source, result, stroke, prefix=""):
    """The input drawing and the filter's output over it, in drawing units."""
    parts = [f'<g id="{prefix}input" font-family={quoteattr(FONT_FAMILY)}>']
    if source.frame_points:
        parts.append(_frame_points_svg(source.frame_points, stroke))
    parts.extend(_line_svg(line, LINE_INPUT, stroke * 1.5) for line in source.lines)
    for text in source.texts:
        parts.extend(_text_svg(text, STYLE_INPUT, stroke * 0.6))
    parts.append("</g>")
    parts.append(f'<g id="{prefix}output" font-family={quoteattr(FONT_FAMILY)}>')
    for text in result.texts:
        parts.extend(_text_svg(text, STYLE_REPORT, stroke * 0.6))
    parts.extend(_line_svg(line, LINE_REPORT, stroke * 2) for line in result.lines)
    parts.extend(_circle_svg(circle, stroke * 1.5) for circle in result.circles)
    parts.append("</g>")
    return parts


def _label_svg(x, y, text, pixel):
    return (f'<text x="{_fmt(x)}" y="{_fmt(y)}" font-size="{_fmt(LABEL_PX * pixel)}" '
            f'fill="#444444">{escape(text)}</text>')


def _inset_svg(source, result, box, scale, page, pixel, stroke):
    """The report area `box` (drawing units) drawn `scale` times larger under
    its label; `page` is (left, width, top) of the room it is centred in.
    Returns the parts and the bottom of the inset."""
    width, height = (box[2] - box[0]) * scale, (box[3] - box[1]) * scale
    x = page[0] + (page[1] - width) / 2
    top = page[2]
    y = top + LABEL_PX * pixel * 1.5
    # Strokes as thin as in the drawing above: the magnification would thicken them.
    layers = _layers_svg(source, result, stroke / scale, prefix="inset-")
    parts = [
        f'<g id="inset" font-family={quoteattr(FONT_FAMILY)}>',
        _label_svg(x, y - LABEL_PX * pixel * 0.4, f"report, enlarged ×{scale:.1f}", pixel),
        f'<clipPath id="inset-area"><rect x="{_fmt(box[0])}" y="{_fmt(-box[3])}" '
        f'width="{_fmt(box[2] - box[0])}" height="{_fmt(box[3] - box[1])}"/></clipPath>',
        f'<g transform="translate({_fmt(x)} {_fmt(y)}) scale({scale:.6f}) '
        f'translate({_fmt(-box[0])} {_fmt(box[3])})">',
        '<g clip-path="url(#inset-area)">', *layers, "</g>", "</g>",
        f'<rect x="{_fmt(x)}" y="{_fmt(y)}" width="{_fmt(width)}" height="{_fmt(height)}" '
        f'fill="none" stroke="#888888" stroke-width="{_fmt(pixel)}"/>',
        "</g>",
    ]
    return parts, y + height


def _legend_swatch(kind, x, y, pixel, stroke):
    """A LEGEND_SWATCH_PX wide sample of `kind`, top left at (x, y)."""
    u = pixel
    mid = y + 7 * u
    if kind == "match":
        return _circle_svg((x + 12 * u, -mid, 6 * u), stroke * 1.5)
    if kind in ("input cells", "report cells"):
        style = STYLE_INPUT if kind == "input cells" else STYLE_REPORT
        cells = "".join(f'<rect x="{_fmt(x + dx * u)}" y="{_fmt(y + u)}" width="{_fmt(10 * u)}" '
                        f'height="{_fmt(12 * u)}" fill="{style["cell_fill"]}" '
                        f'stroke="{style["cell_stroke"]}" stroke-width="{_fmt(u * 0.8)}"/>'
                        for dx in (1, 13))
        return cells + (f'<circle cx="{_fmt(x + u)}" cy="{_fmt(y + 13 * u)}" r="{_fmt(1.5 * u)}" '
                        f'fill="{style["cell_stroke"]}"/>')
    if kind in ("input lines", "report frame"):
        colour, width = ((LINE_INPUT, stroke * 1.5) if kind == "input lines"
                         else (LINE_REPORT, stroke * 2))
        return (f'<line x1="{_fmt(x)}" y1="{_fmt(mid)}" x2="{_fmt(x + 24 * u)}" y2="{_fmt(mid)}" '
                f'stroke="{colour}" stroke-width="{_fmt(width)}"/>')
    return (f'<rect x="{_fmt(x + u)}" y="{_fmt(y + u)}" width="{_fmt(22 * u)}" '
            f'height="{_fmt(12 * u)}" fill="none" stroke="{EXTENT_STROKE}" '
            f'stroke-width="{_fmt(stroke)}" stroke-dasharray="{_fmt(stroke * 6)}"/>')


# Left column the input, right column what the filter wrote.
LEGEND = [
    [("input cells", "input text cells (dot: start point)"),
     ("input lines", "input lines"),
     ("extent", 'extent of the "hn" record (report goes right of it)')],
    [("match", "match circled by the filter"),
     ("report cells", "report texts written by the filter"),
     ("report frame", "report frame and pointer written by the filter")],
]


def _legend_svg(left, width, top, pixel, stroke):
    row = LEGEND_ROW_PX * pixel
    parts = [f'<g id="legend" font-family={quoteattr(FONT_FAMILY)}>']
    for column, entries in enumerate(LEGEND):
        x = left + column * width / len(LEGEND)
        for index, (kind, label) in enumerate(entries):
            y = top + index * row
            parts.append(_legend_swatch(kind, x, y, pixel, stroke))
            parts.append(_label_svg(x + 32 * pixel, y + 12 * pixel, label, pixel))
    parts.append("</g>")
    return parts, top + max(len(entries) for entries in LEGEND) * row


def render_svg(source, result, title="exchange file preview"):
    """SVG of the input drawing `source` with the filter's `result` over it;
    below it the report enlarged (where that enlarges it) and a legend."""
    min_x, min_y, max_x, max_y = drawing_bounds(source, result)
    extent = max(max_x - min_x, max_y - min_y, 1.0)
    margin = max(extent * 0.04, 1.0)
    left, top = min_x - margin, -max_y - margin
    width = max_x - min_x + 2 * margin
    pixel = width / PREVIEW_WIDTH_PX
    gap = GAP_PX * pixel
    stroke = extent / 1000
    body = _layers_svg(source, result, stroke)
    bottom = top + max_y - min_y + 2 * margin
    report_box = report_bounds(result)
    scale = report_box and inset_scale(report_box, report_cell_height(result),
                                       width - 2 * gap, pixel)
    if scale:
        inset, bottom = _inset_svg(source, result, report_box, scale,
                                   (left, width, bottom), pixel, stroke)
        body.extend(inset)
    legend, bottom = _legend_svg(left + gap, width - 2 * gap, bottom + gap, pixel, stroke)
    body.extend(legend)
    box = (left, top, width, bottom + gap - top)
    pixels = SVG_LONG_SIDE_PX / max(box[2], box[3])
    parts = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="{" ".join(_fmt(v) for v in box)}" '
        f'width="{round(box[2] * pixels)}" height="{round(box[3] * pixels)}">',
        f"<title>{escape(title)}</title>",
        f'<rect x="{_fmt(box[0])}" y="{_fmt(box[1])}" width="{_fmt(box[2])}" '
        f'height="{_fmt(box[3])}" fill="white"/>',
        *body,
        "</svg>",
    ]
    return "\n".join(parts) + "\n"


def load_preview(input_path, output_path):
    """Read the input, then the output with the settings the input left."""
    state = ReaderState()
    with open(input_path, "rb") as stream:
        source = read_exchange(stream.read(), state)
    with open(output_path, "rb") as stream:
        result = read_exchange(stream.read(), state)
    result.texts = [without_control_prefix(text) for text in result.texts]
    return source, result


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Draw an exchange file and the filter's output over it as SVG.")
    parser.add_argument("input", help="exchange file as the host wrote it")
    parser.add_argument("output", help="exchange file as the filter wrote it back")
    parser.add_argument("-o", dest="svg", required=True, metavar="picture.svg",
                        help="SVG file to write")
    args = parser.parse_args(argv)
    try:
        source, result = load_preview(args.input, args.output)
        # File names only: the picture is committed, the paths are the maker's.
        names = [PureWindowsPath(path).name for path in (args.input, args.output)]
        svg = render_svg(source, result, f"{names[0]} (input) + {names[1]} (filter output)")
        with open(args.svg, "w", encoding="utf-8") as stream:
            stream.write(svg)
    except OSError as error:
        print(f"preview.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
