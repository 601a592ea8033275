"""Test levels (/t): the exchange file stays as the host wrote it, the work
file keeps the output, and the traces of each level."""

import unittest

from qxrun import (DEFAULT_CLOSING, EXCHANGE, WORK, RunCase, centre, circle, lines_file,
                   report, sj)

# Size 1 is 2 wide and 2 high: a circle sits f_head + 1 along and 1 above
# the start of a text that runs along x.
SETTINGS = ["hn 0 0 500 500", "hcw 2 0 0 0 0 0 0 0 0 0", "hch 2 0 0 0 0 0 0 0 0 0"]


def texts(*items):
    """Text records at (0, 0), (0, 10), ... running along (10, 0)."""
    return [b'ch 0 %d 10 0 "' % (10 * i) + sj(text) for i, text in enumerate(items)]


def option_trace(value, modes=(1, 20, 20)):
    return ("# --- command line option ---------------\n"
            f"# --- (/{value})\n"
            "#      iMode({}) iMode2({}) iMode3({})\n".format(*modes))


class LevelOne(RunCase):
    """Level 1 writes the intake and match traces into the work file."""

    def opening(self, search, mode=1):
        return ["# CHR_PRO  now ", "", f"#----- command /M({mode}) /Z({search})"]

    def run_level(self, args, items, traced, report_block):
        given = lines_file(SETTINGS + texts(*items))
        self.check({EXCHANGE: given}, args,
                   expect={EXCHANGE: given,
                           WORK: lines_file(traced + report_block + DEFAULT_CLOSING)})

    def test_one_byte_search(self):
        traced = (self.opening("Zab", 3)
                  + ["## Ichi-in ci0(1):ci(1)=(0x61)",
                     "## Ichi-break len=ci0(2) ci(2)=(0x62) f_head(1) f_foot(2)",
                     "# match(1) match_p(0) match_l(0) match_r(1) lenin(3)",
                     circle(2, 1, 2.5)]
                  # "aab": the candidate at 0 breaks, a new one starts at 1
                  + self.opening("Zab", 3)
                  + ["## Ichi-in ci0(1):ci(0)=(0x61)",
                     "## Ichi-break len=ci0(2) ci(2)=(0x62) f_head(1) f_foot(2)",
                     "# match(2) match_p(0) match_l(0) match_r(2) lenin(3)",
                     circle(2, 11, 2.5)]
                  # a lead byte as the last byte is passed with the terminator
                  + self.opening("Zab", 3)
                  + ["## Ichi-in ci0(1):ci(0)=(0x61)",
                     "## Ichi-break len=ci0(2) ci(1)=(0x62) f_head(0) f_foot(1)",
                     "# SHIFT-J ci(2) ChSTR[8c][0] ChS001[5a][61][62][0]",
                     "# match(3) match_p(0) match_l(1) match_r(2) lenin(4)",
                     circle(1, 21, 2.5)]
                  + self.opening("Zab", 3)
                  + ["# match(3) match_p(0) match_l(1) match_r(2) lenin(1)"])
        self.run_level(["/t1", "/m3", "/Zab"], ["xab", "aab", b"ab\x8c", "b"], traced,
                       report(500, 500, "ab", (3, 0, 1, 2), 4))

    def test_two_byte_search(self):
        shift_j = "ChS001[5a][8c][9f][8d]"
        traced = (self.opening("Z検索")
                  + ["## Ichi-in ci0(1):ci(0)=(0x8c)",
                     f"# SHIFT-J ci(0) ChSTR[8c][9f] {shift_j}",
                     "## Ichi-break len=ci0(4) ci(2)=(0x8d) f_head(0) f_foot(3)",
                     f"# SHIFT-J ci(2) ChSTR[8d][f5] {shift_j}",
                     "# match(1) match_p(0) match_l(1) match_r(0) lenin(6)",
                     circle(1, 1, 2.5)]
                  + self.opening("Z検索")
                  + ["## Ichi-in ci0(1):ci(1)=(0x8c)",
                     f"# SHIFT-J ci(1) ChSTR[8c][9f] {shift_j}",
                     "## Ichi-break len=ci0(4) ci(3)=(0x8d) f_head(1) f_foot(4)",
                     f"# SHIFT-J ci(3) ChSTR[8d][f5] {shift_j}",
                     "# match(2) match_p(0) match_l(1) match_r(1) lenin(5)",
                     circle(2, 11, 2.5)]
                  + self.opening("Z検索")
                  + ["## Ichi-in ci0(1):ci(0)=(0x8c)",
                     f"# SHIFT-J ci(0) ChSTR[8c][9f] {shift_j}",
                     "# match(2) match_p(0) match_l(1) match_r(1) lenin(2)"])
        self.run_level(["/Z検索", "/t1"], ["検索ab", "x検索", "検"], traced,
                       report(500, 500, "検索", (2, 0, 1, 1), 3))

    def test_leftmost_occurrence_missed_by_the_scan(self):
        traced = (self.opening("Zaab")
                  + ["## Ichi-in ci0(1):ci(0)=(0x61)",
                     "# leftmost f_head(1) f_foot(3)",
                     "# match(1) match_p(0) match_l(0) match_r(1) lenin(4)",
                     circle(2, 1, 2.5)]
                  # the scan completes the later occurrence at 4; the leftmost decides
                  + self.opening("Zaab")
                  + ["## Ichi-in ci0(1):ci(0)=(0x61)",
                     "## Ichi-in ci0(1):ci(4)=(0x61)",
                     "## Ichi-break len=ci0(3) ci(6)=(0x62) f_head(4) f_foot(6)",
                     "# leftmost f_head(1) f_foot(3)",
                     "# match(2) match_p(0) match_l(0) match_r(1) lenin(7)",
                     circle(2, 11, 2.5)])
        self.run_level(["/t1", "/Zaab"], ["aaab", "aaabaab"], traced,
                       report(500, 500, "aab", (2, 0, 0, 1), 2))


class LevelTwo(RunCase):
    """Level 2 prints the driver's and the match engine's traces."""

    START = "\n\n#### debug #### Cmd-Option read\n#  copyed to QXC_TEMP.$$$ \n"

    def run_level(self, args, records, traces, work):
        given = lines_file(SETTINGS + records)
        self.check({EXCHANGE: given}, args, stdout=self.START + traces,
                   expect={EXCHANGE: given, WORK: lines_file(work + DEFAULT_CLOSING)})

    def test_one_byte_search(self):
        traces = ("\n#----- command /M(1) /Z(Zab)\n"
                  "#        input(ChSTR) = Head(ch)  ChSTR(xab)\n"
                  "#        input(ChX,ChY)=(0.0, 0.0) (ChDX,ChDY)=(10.0, 0.0)\n"
                  "## Ichi-in ci0(1):ci(1)=(0x61)\n"
                  "## Ichi-break len=ci0(2) ci(2)=(0x62) f_head(1) f_foot(2)\n"
                  "# match(1) match_p(0) match_l(0) match_r(1) lenin(3)\n"
                  "\n#----- command /M(1) /Z(Zab)\n"
                  "#        input(ChSTR) = Head(cx)  ChSTR(aab)\n"
                  "#        input(ChX,ChY)=(1.8, -10.0) (ChDX,ChDY)=(0.0, 5.0)\n"
                  "## Ichi-in ci0(1):ci(0)=(0x61)\n"
                  "# new head f_head(1)\n"
                  "## Ichi-break len=ci0(2) ci(2)=(0x62) f_head(1) f_foot(2)\n"
                  "# match(2) match_p(0) match_l(0) match_r(2) lenin(3)\n")
        # the second text runs straight up: its circle lies left of its start
        work = ([circle(2, 1, 2.5), circle(*centre(1.75, -10, 0, 5, 1, 2, 2, 0), 2.5)]
                + report(500, 500, "ab", (2, 0, 0, 2), 2))
        self.run_level(["/t2", "/Zab"], ['ch 0 0 10 0 "xab', 'cx 1.75 -10 0 5 "aab'],
                       traces, work)

    def test_two_byte_search(self):
        traces = ("\n#----- command /M(1) /Z(Z検索)\n"
                  "#        input(ChSTR) = Head(ch)  ChSTR(検索)\n"
                  "#        input(ChX,ChY)=(0.0, 0.0) (ChDX,ChDY)=(10.0, 0.0)\n"
                  "##2 Ichi ci0(4) \n"
                  "# match(1) match_p(1) match_l(0) match_r(0) lenin(4)\n"
                  "\n#----- command /M(1) /Z(Z検索)\n"
                  "#        input(ChSTR) = Head(ch)  ChSTR(検検索)\n"
                  "#        input(ChX,ChY)=(0.0, 10.0) (ChDX,ChDY)=(10.0, 0.0)\n"
                  "# new head f_head(2)\n"
                  "##2 Ichi ci0(4) \n"
                  "# match(2) match_p(1) match_l(0) match_r(1) lenin(6)\n")
        work = [circle(1, 1, 2.5), circle(3, 11, 2.5)] + report(500, 500, "検索", (2, 1, 0, 1), 2)
        self.run_level(["/Z検索", "/t2"], texts("検索", "検検索"), traces, work)

    def test_leftmost_occurrence_missed_by_the_scan(self):
        traces = ("\n#----- command /M(1) /Z(Zaab)\n"
                  "#        input(ChSTR) = Head(ch)  ChSTR(aaab)\n"
                  "#        input(ChX,ChY)=(0.0, 0.0) (ChDX,ChDY)=(10.0, 0.0)\n"
                  "## Ichi-in ci0(1):ci(0)=(0x61)\n"
                  "# new head f_head(2)\n"
                  "# leftmost f_head(1) f_foot(3)\n"
                  "# match(1) match_p(0) match_l(0) match_r(1) lenin(4)\n")
        work = [circle(2, 1, 2.5)] + report(500, 500, "aab", (1, 0, 0, 1), 1)
        self.run_level(["/t2", "/Zaab"], texts("aaab"), traces, work)


class LevelThree(RunCase):
    def test_option_reader_byte_and_closing_traces(self):
        given = lines_file(SETTINGS + [
            " 0 0 10 10",          # ends differ: step 3
            "hp1 5 6",
            "hp2/7.5 8",
            "hp3-1 2",
            "hp1+3 4",             # stored, not traced
            "hp0ln",               # step 2
            "hq",                  # step 1
            " 5 5 5 5",            # ends equal: step stays 1
        ] + texts("検索ab", "x検索"))
        stdout = (option_trace(3)
                  + option_trace(5, (5, 20, 20))
                  + option_trace("Z検索", (5, 20, 20))
                  + option_trace(7, (5, 20, 7))
                  + "##  hp1   5.00 6.00 \n"
                  + "##  hp2/  7.50 8.00 \n"
                  + "##  hp3-  1.00 2.00 \n"
                  + "[8c][9f] [8c][9f] [8d][f5] [8d][f5] [8d][f5] [61][62] [62][0] "
                  + "[78][8c] [8c][9f] [8c][9f] [8d][f5] [8d][f5] [8d][f5] "
                  + "# ------------------ main() Korvel1 end file closing ------------------ \n"
                  + "# jd_xmax= 13 stepcnt= 1 Error(0)\n")
        work = ([circle(1, 1, 2.5), circle(2, 11, 2.5)]
                + report(500, 500, "検索", (2, 0, 1, 1), 2)
                + ["# ------------------ main() Korvel1 end file closing ------------------ ",
                   "#    jd_xmax= 13 stepcnt= 1 "]
                + DEFAULT_CLOSING)
        self.check({EXCHANGE: given}, ["/t3", "/m5", "/Z検索", "/k7"], stdout=stdout,
                   expect={EXCHANGE: given, WORK: lines_file(work)})


class LevelFive(RunCase):
    def test_every_read_is_traced(self):
        given = b"# c\r\nlt3\n\r\npt 1 2"
        head = "## ---- QX_PATTERN()  qxc_temp.txt processing --------\n"
        stdout = (option_trace(5)
                  + head + "##  jd_x=0/4 : jd_x/jd_xmax  jd_limit=150000\n##  buf=(# c\n)\n"
                  + head + "##  jd_x=1/4 : jd_x/jd_xmax  jd_limit=150000\n##  buf=(lt3\n)\n"
                  + head + "##  jd_x=2/4 : jd_x/jd_xmax  jd_limit=150000\n##  buf=(\n)\n"
                  + head + "##  jd_x=3/4 : jd_x/jd_xmax  jd_limit=150000\n##  buf=(pt 1 2)\n")
        self.check({EXCHANGE: given}, ["/t5"], stdout=stdout,
                   expect={EXCHANGE: given,
                           WORK: lines_file(["# c"] + report(0, 0)
                                            + ["lg14", "ly14", "lt3", "lc20"])})


class OtherLevels(RunCase):
    """Levels 4 and 6 add only the option trace; /t reads one digit."""

    FOUND = [circle(0, 0, 2.5)] + report(10, 0, "ab", (1, 1, 0, 0), 1)
    NOT_SEARCHED = report(10, 0, "", (0, 0, 0, 0), 1)
    CLOSING_TRACE = "# ------------------ main() Korvel1 end file closing ------------------ \n"
    CASES = [
        # (arguments, standard output, standard error, work file before the closing records)
        (["/t4"], option_trace(4), "", NOT_SEARCHED),
        (["/t6"], option_trace(6), "", NOT_SEARCHED),
        (["/Zab", "/t4"], option_trace(4), "", FOUND),   # options before /t are not traced
        (["/t6", "$Zab", "/s", "/T3"],
         option_trace(6) + option_trace("Zab") + option_trace("s") + option_trace("T3"),
         "\n illegal Option.\n", FOUND),
        (["/t35"],
         option_trace(35) + "[61][62] [62][0] " + CLOSING_TRACE + "# jd_xmax= 1 stepcnt= 0 Error(0)\n", "",
         NOT_SEARCHED + [CLOSING_TRACE[:-1], "#    jd_xmax= 1 stepcnt= 0 "]),
    ]

    def test_levels_keep_the_exchange_file(self):
        given = lines_file(['ch 0 0 10 0 "ab'])
        for args, stdout, stderr, work in self.CASES:
            with self.subTest(args=args):
                self.check({EXCHANGE: given}, args, stdout=stdout, stderr=stderr,
                           expect={EXCHANGE: given, WORK: lines_file(work + DEFAULT_CLOSING)})


if __name__ == "__main__":
    unittest.main()
