"""The closing attribute records: the output ends with the attributes with
which the input began."""

import unittest

from qxrun import EXCHANGE, RunCase, lines_file, report


class ClosingRecords(RunCase):
    CASES = [
        # (attribute records of the input, closing records of the output)
        ([], ["lg14", "ly14", "lt20", "lc20"]),
        (["lg1a", "ly3", "lt2", "lc5", "pn1"], ["lg1a", "ly3", "lt2", "lc5", "pn1"]),
        (["pn1", "lc5", "lt2", "ly3", "lg1a"], ["lg1a", "ly3", "lt2", "lc5", "pn1"]),  # a fixed order
        (["lg2", "lg3", "ly4", "ly5", "lt6", "lt7", "lc8", "lc9", "pn2", "pn3"],
         ["lg2", "ly4", "lt6", "lc8", "pn2"]),
        (["lc20", "lc7"], ["lg14", "ly14", "lt20", "lc7"]),
        (["lt20", "lt0", "lt5"], ["lg14", "ly14", "lt0", "lc20"]),
        (["lg14", "lgA"], ["lga", "ly14", "lt20", "lc20"]),       # 0x14 is 20: left open
        (["lyFF"], ["lg14", "lyff", "lt20", "lc20"]),
        (["pn14", "pn3"], ["lg14", "ly14", "lt20", "lc20", "pn3"]),
        (["pn10"], ["lg14", "ly14", "lt20", "lc20"]),              # 16: no "pn" record
        (["pn9"], ["lg14", "ly14", "lt20", "lc20", "pn9"]),
        (["pn0"], ["lg14", "ly14", "lt20", "lc20", "pn0"]),
        (["pn-1"], ["lg14", "ly14", "lt20", "lc20", "pn-1"]),
        (["cn3"], ["cn3", "lg14", "ly14", "lt20", "lc20"]),
        (["cn3", "cn5"], ["cn3", "lg14", "ly14", "lt20", "lc20"]),
        (["cn20", "cn4"], ["cn4", "lg14", "ly14", "lt20", "lc20"]),
        (["cn10"], ["cn10", "lg14", "ly14", "lt20", "lc20"]),
        (["cn12"], ["lg14", "ly14", "lt20", "lc20"]),
        (["cn0", "cn3"], ["lg14", "ly14", "lt20", "lc20"]),        # no width: no "cn" record
        (["cn-1"], ["cn-1", "lg14", "ly14", "lt20", "lc20"]),
        (['cn"', "cn6"], ["cn6", "lg14", "ly14", "lt20", "lc20"]),
        (["cn0 2.5 2.5 0.5 1", "cn3"],
         ["cn0 2.50, 2.50, 0.50, 1", "lg14", "ly14", "lt20", "lc20"]),
        (["cn3", "cn0 2.5 2.5 0.5 1"], ["cn3", "lg14", "ly14", "lt20", "lc20"]),
        (["cn0 0 2 2 1"], ["lg14", "ly14", "lt20", "lc20"]),
        (["cn0 -1 2 2 1", "cn3"], ["lg14", "ly14", "lt20", "lc20"]),
        # the comma form of the closing record yields only the width
        (["cn0 2.5, 2.5, 0.5, 1"], ["cn0 2.50, 0.00, 0.00, 0", "lg14", "ly14", "lt20", "lc20"]),
        (["cn0 1.005 12.345 0.125 7"], ["cn0 1.00, 12.35, 0.12, 7", "lg14", "ly14", "lt20", "lc20"]),
    ]

    def test_closing_records(self):
        for given, closing in self.CASES:
            with self.subTest(given=given):
                self.check({EXCHANGE: lines_file(given)},
                           expect={EXCHANGE: lines_file(report(0, 0) + closing)})


if __name__ == "__main__":
    unittest.main()
