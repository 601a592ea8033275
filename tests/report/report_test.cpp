#include "report/report.h"

#include <cmath>
#include <string>

#include "exchange/reader.h"
#include "options/options.h"
#include "search/search.h"
#include "support/fixture.h"

namespace {

class ReportTest : public TempDirTest {};

// Report texts in Shift-JIS, as the report writes them.
const std::string kTitle = "^!\x81\xa1\x81\xa1\x81\xa1 \x8c\x9f\x8d\xf5\x8c\x8b\x89\xca \x81\xa1\x81\xa1\x81\xa1";
const std::string kSearchHead = "\x8c\x9f\x8d\xf5\x95\xb6\x8e\x9a\x81\x46";  // 検索文字：
const std::string kOpen = "\x81\x83", kClose = "\x81\x84";                    // ＜ ＞

std::string textRecord(const std::string& xy, const std::string& text) {
    return "ch " + xy + " 3 0 \"" + text + "\r\n\r\n";
}

TEST_F(ReportTest, LayoutOfTheWorkedExample) {
    rd.PNX2 = 200;
    rd.PNY2 = 100;
    srch.Mx000 = 150;
    srch.My000 = 120;
    rd.MOJI_W[2] = 3;
    rd.MOJI_D[2] = 0.5;
    rd.MOJI_H[2] = 3;
    USstrcpyChS001("Zabc");
    srch.match = 3;
    rd.iCHR_cnt = 10;
    openWork();
    Find_STR_END();
    std::string out = closeWork();
    std::string expectedStart =
        "cn2 \r\n" + textRecord("210.000000000 110.000000000", kTitle) +
        textRecord("210.000000000 105.000000000", kSearchHead + "[ abc ]") +
        textRecord("210.000000000 100.000000000",
                   "\x88\xea\x92\x76\x82\xb5\x82\xbd\x90\x94\x81\x46" + kOpen + " 3 " + kClose +
                       "  \x81\x5e\x8c\x9f\x8d\xf5\x95\xb6\x8e\x9a\x97\xf1\x90\x94\x81\x46" + kOpen + " 10 " + kClose);
    EXPECT_EQ(out.substr(0, expectedStart.size()), expectedStart);
    std::string frame =
        "lt1 \r\nlc4 \r\n"
        " 205.000000000000 120.000000000000 308.500000000000 120.000000000000 \r\n"
        " 308.500000000000 120.000000000000 308.500000000000 72.500000000000 \r\n"
        " 308.500000000000 72.500000000000 205.000000000000 72.500000000000 \r\n"
        " 205.000000000000 72.500000000000 205.000000000000 107.500000000000 \r\n"
        " 205.000000000000 107.500000000000 200.000000000000 110.000000000000 \r\n"
        " 200.000000000000 110.000000000000 205.000000000000 112.500000000000 \r\n"
        " 205.000000000000 112.500000000000 205.000000000000 120.000000000000 \r\n";
    ASSERT_GE(out.size(), frame.size());
    EXPECT_EQ(out.substr(out.size() - frame.size()), frame);
    for (const char* y : {"95.000000000", "90.000000000", "85.000000000", "80.000000000"}) {
        EXPECT_NE(out.find(std::string("ch 210.000000000 ") + y + " 3 0 \""), std::string::npos) << y;
    }
    EXPECT_STREQ(opts.ChS001, "abc");  // the option letter is dropped
}

TEST_F(ReportTest, SearchLineVariants) {
    struct Case {
        const char* argument;  // nullptr: no /Z at all
        std::string shown;
    } cases[] = {
        {nullptr, ""},
        {"Z", ""},
        {"zabc", "abc"},
        {"Zab\rcd", "ab"},    // a CR or LF ends the printed search string
        {"Zab\ncd\n", "ab"},
    };
    for (const Case& c : cases) {
        reset_program_state();
        if (c.argument) USstrcpyChS001(c.argument);
        openWork();
        Find_STR_END();
        std::string out = closeWork();
        std::string line = kSearchHead + "[ " + c.shown + " ]\r\n\r\n";
        EXPECT_NE(out.find("3 0 \"" + line), std::string::npos) << c.shown;
        EXPECT_EQ(out.find("cd"), std::string::npos);
    }
}

TEST_F(ReportTest, GroupScaleDoublesEveryDistance) {
    rd.G_SCALE[3] = 2;
    rd.GROUP = 3;
    openWork();
    Find_STR_END();
    std::string out = closeWork();
    EXPECT_EQ(out.substr(0, 6), "cn2 \r\n");
    EXPECT_NE(out.find("ch 20.000000000 -20.000000000 3 0 \"^!"), std::string::npos);
    EXPECT_NE(out.find(" 10.000000000000 0.000000000000 0.000000000000 0.000000000000 \r\n"), std::string::npos);
    EXPECT_NE(out.find(" 10.000000000000 -95.000000000000 10.000000000000 -25.000000000000 \r\n"), std::string::npos);
}

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
