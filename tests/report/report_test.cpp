#include "report/report.h"

#include <cmath>
#include <string>

#include "exchange/reader.h"
#include "search/match.h"
#include "support/fixture.h"

namespace {

class ReportTest : public TempDirTest {};

// The layout, the search line and the scale are compared whole in
// tests/e2e/test_report.py; here only a group outside the scale table and
// points and maxima that are NaN.
TEST_F(ReportTest, GroupOutsideTheTableUsesScaleOne) {
    rd.G_SCALE[0] = 7;
    rd.GROUP = 16;
    openWork();
    Find_STR_END();
    EXPECT_NE(closeWork().find("ch 10.000000000 -10.000000000 3 0 \"^!"), std::string::npos);
}

TEST_F(ReportTest, AnchorTakesTheGreatestAndIgnoresNaN) {
    rd.PNX1 = 40;
    rd.PNY1 = std::nan("");
    rd.PNX2 = 30;
    rd.PNY2 = 20;
    srch.Mx000 = std::nan("");
    srch.My000 = 25;
    openWork();
    Find_STR_END();
    EXPECT_NE(closeWork().find("ch 50.000000000 15.000000000 3 0 \"^!"), std::string::npos);
}

}  // namespace
