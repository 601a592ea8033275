#include "exchange/closing.h"

#include <string>

#include "exchange/reader.h"
#include "support/fixture.h"

namespace {

class ClosingTest : public TempDirTest {};

const std::string kDefaults = "lg14\r\nly14\r\nlt20\r\nlc20\r\n";

// The closing records of inputs are compared over whole runs in
// tests/e2e/test_closing.py. Captured values that no input record of the
// format produces still take the documented branches: the size test passes negative numbers and stops
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
