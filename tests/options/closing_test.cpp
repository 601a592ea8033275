#include "options/closing.h"

#include <string>

#include "exchange/reader.h"
#include "support/fixture.h"

namespace {

class ClosingTest : public TempDirTest {
protected:
    // Reads `input` as the exchange file, then appends the closing records;
    // returns the work file's bytes as they lie on disk.
    std::string closingAfter(const std::string& input) {
        openInput(input);
        openWork();
        QX_PATTERN(150000, 150000);
        IniZokusei();
        return closeWork();
    }
};

const std::string kDefaults = "lg14\r\nly14\r\nlt20\r\nlc20\r\n";

// The first record of each kind decides; nothing else of the input reaches
// the work file, so the work file is the closing records alone.
TEST_F(ClosingTest, RecordsFromTheFirstAttributesOfTheInput) {
    struct Case {
        std::string input;
        std::string want;
    } cases[] = {
        {"", kDefaults},
        {"z\r\npt 1 2\r\nhq\r\n", kDefaults},
        {"lg1a\r\nly3\r\nlt2\r\nlc5\r\npn1\r\n", "lg1a\r\nly3\r\nlt2\r\nlc5\r\npn1\r\n"},
        {"pn1\nlc5\nlt2\nly3\nlg1a", "lg1a\r\nly3\r\nlt2\r\nlc5\r\npn1\r\n"},
        // Hexadecimal in, lower-case hexadecimal out.
        {"lgA\r\nlyFF\r\n", "lga\r\nlyff\r\nlt20\r\nlc20\r\n"},
        // The first record wins; one that carries 20 leaves the capture open
        // ("lg14" and "pn14" are 20 in hexadecimal).
        {"lc3\r\nlc7\r\n", "lg14\r\nly14\r\nlt20\r\nlc3\r\n"},
        {"lc20\r\nlc7\r\n", "lg14\r\nly14\r\nlt20\r\nlc7\r\n"},
        {"lt20\r\nlt4\r\nlt6\r\n", "lg14\r\nly14\r\nlt4\r\nlc20\r\n"},
        {"lg14\r\nlg3\r\n", "lg3\r\nly14\r\nlt20\r\nlc20\r\n"},
        {"pn14\r\npn2\r\n", kDefaults + "pn2\r\n"},
        // Text sizes: "cn1" to "cn10" are written back, others are not.
        {"cn3\r\n", "cn3\r\n" + kDefaults},
        {"cn10\r\n", "cn10\r\n" + kDefaults},
        {"cn12\r\n", kDefaults},
        {"cn12\r\ncn3\r\n", kDefaults},
        {"cn20\r\ncn4\r\n", "cn4\r\n" + kDefaults},
        {"cn\"x\r\ncn5\r\n", "cn5\r\n" + kDefaults},
        {"cn3\r\ncn0 2.5 2.5 0.5 1\r\n", "cn3\r\n" + kDefaults},
        // A first "cn0" record is written back with commas and two decimals,
        // and no "cn" record besides it.
        {"cn0 2.5 2.5 0.5 1\r\n", "cn0 2.50, 2.50, 0.50, 1\r\n" + kDefaults},
        {"cn0 2.5 2.5 0.5 1\r\ncn3\r\ncn0 9 9 9 9\r\n", "cn0 2.50, 2.50, 0.50, 1\r\n" + kDefaults},
        {"cn0 1.005 2.675 0.125 -7\r\n", "cn0 1.00, 2.67, 0.12, -7\r\n" + kDefaults},
        {"cn0 12345.678 0 -1 0\r\n", "cn0 12345.68, 0.00, -1.00, 0\r\n" + kDefaults},
        // A width of 0 or less: neither "cn0" nor "cn".
        {"cn0 0 2.5 0.5 1\r\n", kDefaults},
        {"cn0 -2.5 2.5 0.5 1\r\n", kDefaults},
        {"cn0 0 2.5 0.5 1\r\ncn3\r\n", kDefaults},
        {"cn0\r\n", kDefaults},
        // "pn": 9 or less, negative values included.
        {"pn9\r\n", kDefaults + "pn9\r\n"},
        {"pn0\r\n", kDefaults + "pn0\r\n"},
        {"pn10\r\n", kDefaults},
        {"pna\r\n", kDefaults},
        {"pn-1\r\n", kDefaults + "pn-1\r\n"},
        // Negative values print as they are ("%d"), or as 32-bit "%x".
        {"cn-3\r\n", "cn-3\r\n" + kDefaults},
        {"lt-2\r\nlc-1\r\n", "lg14\r\nly14\r\nlt-2\r\nlc-1\r\n"},
        {"lg-1\r\nly-a\r\n", "lgffffffff\r\nlyfffffff6\r\nlt20\r\nlc20\r\n"},
        // All kinds together, in the fixed order of the closing records.
        {"pn1\r\nlc5\r\ncn0 1 2 3 4\r\nlg2\r\ncn6\r\nly0\r\nlt0\r\n",
         "cn0 1.00, 2.00, 3.00, 4\r\nlg2\r\nly0\r\nlt0\r\nlc5\r\npn1\r\n"},
    };
    for (const Case& c : cases) {
        reset_program_state();
        EXPECT_EQ(closingAfter(c.input), c.want) << c.input;
    }
}

// Captured values that no input record of the format produces still take
// the documented branches: the size test passes negative numbers and stops
// at 0 and above 10; the width test is on the width alone.
TEST_F(ClosingTest, BranchesOnTheCapturedValues) {
    struct Case {
        int mojisi;
        double mojiwi;
        int tensi;
        std::string want;
    } cases[] = {
        {20, -20.0, 20, kDefaults},
        {0, -20.0, 9, kDefaults + "pn9\r\n"},
        {-5, -20.0, -9, "cn-5\r\n" + kDefaults + "pn-9\r\n"},
        {11, -20.0, 10, kDefaults},
        {1, -20.0, 20, "cn1\r\n" + kDefaults},
        {0, 0.004, 20, "cn0 0.00, 20.00, 20.00, 20\r\n" + kDefaults},
        {0, 0.0, 20, kDefaults},
    };
    for (const Case& c : cases) {
        reset_program_state();
        rd.MOJISi = c.mojisi;
        rd.MOJIWi = c.mojiwi;
        rd.TENSi = c.tensi;
        openWork();
        IniZokusei();
        EXPECT_EQ(closeWork(), c.want) << c.mojisi << " " << c.mojiwi << " " << c.tensi;
    }
}

// The records are appended behind what the work file holds already.
TEST_F(ClosingTest, AppendedAfterCopiedLines) {
    EXPECT_EQ(closingAfter("# note\r\nlc7\r\nbz 1\r\n"), "# note\r\nbz 1\r\nlg14\r\nly14\r\nlt20\r\nlc7\r\n");
}

}  // namespace
