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
// the work file, so the work file is the closing records alone. The common
// cases are compared over whole runs in tests/e2e/test_closing.py.
TEST_F(ClosingTest, RecordsFromTheFirstAttributesOfTheInput) {
    struct Case {
        std::string input;
        std::string want;
    } cases[] = {
        // The records come in a fixed order, whatever the input's.
        {"pn1\nlc5\nlt2\nly3\nlg1a", "lg1a\r\nly3\r\nlt2\r\nlc5\r\npn1\r\n"},
        {"pn1\r\nlc5\r\ncn0 1 2 3 4\r\nlg2\r\ncn6\r\nly0\r\nlt0\r\n",
         "cn0 1.00, 2.00, 3.00, 4\r\nlg2\r\nly0\r\nlt0\r\nlc5\r\npn1\r\n"},
        // "cn1" to "cn10" are written back; a first size outside them decides too.
        {"cn10\r\n", "cn10\r\n" + kDefaults},
        {"cn12\r\ncn3\r\n", kDefaults},
        // The first "cn0" decides; with a width of 0 or less (or none) no
        // "cn" record is written at all.
        {"cn0 2.5 2.5 0.5 1\r\ncn3\r\ncn0 9 9 9 9\r\n", "cn0 2.50, 2.50, 0.50, 1\r\n" + kDefaults},
        {"cn0 0 2.5 0.5 1\r\ncn3\r\n", kDefaults},
        {"cn0\r\n", kDefaults},
        // "pn" is hexadecimal: "pna" is 10, over 9.
        {"pna\r\n", kDefaults},
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

}  // namespace
