"""Writes the seed corpus of the fuzz targets (corpus/<target>/). Run it
again after changing a seed; the fuzzers add their own finds elsewhere.

pipeline input: flag byte (bit 0: lower-case exchange file name; bits 1-2:
number of arguments), the arguments each ended by NUL, the exchange file.
match input: level byte, search string, NUL, text.

Other files in corpus/ are finds of the fuzzers kept as seeds.
"""
from pathlib import Path

HERE = Path(__file__).resolve().parent
SAMPLE = (HERE.parent.parent / "samples" / "QXC_TEMP.TXT").read_bytes()
KENSAKU = "検索".encode("cp932")


def crlf(*lines):
    return b"".join((l.encode("cp932") if isinstance(l, str) else l) + b"\r\n" for l in lines)


def pipeline(lower, args, exchange):
    flag = (1 if lower else 0) | (len(args) << 1)
    return bytes([flag]) + b"".join(a + b"\0" for a in args) + exchange


ALL_RECORDS = crlf(
    "# every kind of record", "bz keep me", "hn 0 0 300 200",
    "hs 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1", "hcw 2 2.5 3 3.5 4 5 6 7 8 10",
    "hch 2 2.5 3 3.5 4 5 6 7 8 10", "hcd 0.5 0.5 0.5 0.5 1 1 1 1 1 1", "hcc 1 2 3",
    "hq", "hp0 1 2", "hp1+ 3 4", "hp2/ 5 6", "hp3- 7 8", "hp1ln", "hp4 9 9",
    "lg1a", "ly3", "lt2", "lc5", "pn1", " 0 0 10 10", "cn0 2.5 2.5 0.5 1", "cn3", 'cn"',
    "cc 1", "ci 1 2 3", 'ch 10 20 20 0 "検索文字', 'c1 30 40 0 10 "全文検索',
    'ch 1 2 3 4 "', "ch bad", "pt 1 2", "z", "")

ODD_NUMBERS = crlf(
    "hs nan inf -inf 1e999 -0 0x1p3 0 -1 1e-320 2 1 1 1 1 1 1",
    "hcw 0 -1 nan inf 1e308 0x10 1 1 1 1", "hch -0 0 1e999 1 1 1 1 1 1 1",
    "cn0 nan inf -1e999 7", "lg-1", "lg7fffffff", "cn-3", "cn99999999999",
    'ch nan inf 1 0 "検索', 'ch 1e308 -1e308 0 0 "検索', 'ch 0x1p-1074 -0 -0 -0 "a検索',
    "hn 1e999 -inf nan 0")

SEEDS = {
    "pipeline": {
        "sample": pipeline(False, [b"/Z" + KENSAKU], SAMPLE),
        "sample_lower_t1": pipeline(True, [b"/Z" + KENSAKU, b"/t1"], SAMPLE),
        "sample_t3": pipeline(False, [b"/t3", b"/Z" + KENSAKU], SAMPLE),
        "sample_t2": pipeline(False, [b"/t2", b"/Z" + KENSAKU], SAMPLE),
        "all_records_t5": pipeline(False, [b"/t5", b"/Zab"], ALL_RECORDS),
        "all_records_t3": pipeline(True, [b"/t3", b"/Z" + KENSAKU], ALL_RECORDS),
        "odd_numbers": pipeline(False, [b"/Z" + KENSAKU], ODD_NUMBERS),
        "long_lines": pipeline(False, [b"/Za"],
                               b"#" + b"x" * 600 + b"\n" + b"bz" + b"\0" * 300 + b"\r\n"
                               + b'ch 1 2 3 4 "' + b"a" * 400 + b"\n" + b"#" + b"y" * 253),
        "nul_and_eof": pipeline(False, [b"/Zx"], b"#\0\0\n\x1a\x1a\nch 0 0 1 0 \"x\0x\r\n\x1a"),
        "empty": pipeline(False, [], b""),
        "options": pipeline(False, [b"/m2", b"-a1.5", b"$w99999999999"], crlf("ch 0 0 1 0 \"a")),
        "bad_options": pipeline(False, [b"/", b"/T3", b"/Z" + b"\x82" * 200], crlf(b'ch 0 0 1 0 "' + b"\x82" * 11)),
    },
    "match": {
        "exact_sjis": b"\0" + KENSAKU + b"\0" + KENSAKU,
        "suffix_sjis": b"\1" + KENSAKU + b"\0" + "全文検索".encode("cp932"),
        "inside": b"\2abc\0xabcx",
        "restart_miss": b"\3aab\0aaab",
        "second_byte": b"\1\x5c\0" + "ソ".encode("cp932"),
        "lone_lead": b"\0\x82\0a\x82",
        "repeat": b"\2ab\0abab",
        "long": b"\3" + b"\x83\x41" * 64 + b"\0" + b"\x83\x41" * 120,
        "halfwidth": b"\0\xb1\xb2\0\x81\xb1\xb2\xb1\xb2",
    },
}

for target, seeds in SEEDS.items():
    folder = HERE / "corpus" / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)
