// Match marking: the circle around the first matched character of a text,
// placed along the text's direction with the size and scale in effect, and
// the running maxima that every text moves.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "exchange/reader.h"
#include "options/options.h"
#include "search/search.h"
#include "support/circles.h"
#include "support/fixture.h"

namespace {

const std::string KEN = "\x8C\x9F";   // 検
const std::string SAKU = "\x8D\xF5";  // 索
const std::string ZEN = "\x91\x53";   // 全
const std::string BUN = "\x95\xB6";   // 文
const std::string KENSAKU = KEN + SAKU;

struct Circle {
    double x, y, r;
};

// The circles of the work file, in order ("ci x y r " lines, CR LF ends).
std::vector<Circle> circlesOf(const std::string& work) {
    std::vector<Circle> out;
    std::istringstream in(work);
    std::string code;
    Circle c;
    while (in >> code >> c.x >> c.y >> c.r) {
        EXPECT_EQ(code, "ci");
        out.push_back(c);
    }
    return out;
}

std::string crlf(const std::string& line) { return line.substr(0, line.size() - 1) + "\r\n"; }

std::string fixed12(double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.12f", v);
    return buf;
}

class MarkingTest : public TempDirTest {
protected:
    // The worked example's text: at (100, 50) along (20, 0), size 1 with
    // width 3, spacing 0.5 and height 3, group 0 at scale 1.
    void SetUp() override {
        TempDirTest::SetUp();
        openWork();
        place(100, 50, 20, 0);
        rd.MOJIS = 1;
        setSize(1, 3, 0.5, 3);
    }

    static void place(double x, double y, double dx, double dy) {
        rd.ChX = x;
        rd.ChY = y;
        rd.ChDX = dx;
        rd.ChDY = dy;
    }

    static void setSize(int n, double w, double d, double h) {
        rd.MOJI_W[n] = w;
        rd.MOJI_D[n] = d;
        rd.MOJI_H[n] = h;
    }

    // Searches `text` for the search string of `arg` (option letter first).
    static void markText(const std::string& arg, const std::string& text) {
        USstrcpyChS001(arg.c_str());
        std::strcpy(srch.ChSTR, text.c_str());
        FIND_STR(0);
    }

    // Starts over with fresh counters, maxima and an empty work file.
    void restart() {
        closeWork();
        srch = Search{};
        openWork();
    }
};

struct ExampleCase {
    const char* name;
    std::string text;
    double dx, dy, scale;
    std::string record;  // the exact record, when the numbers are exact
    Circle circle;
    double maxX, maxY;
};

TEST_F(MarkingTest, WorkedExamples) {
    const ExampleCase cases[] = {
        {"found at byte 0", KENSAKU, 20, 0, 1, "ci 101.750000000000 51.500000000000 2.500000000000 \n",
         {101.75, 51.5, 2.5}, 121.75, 51.5},
        {"found at byte 4", ZEN + BUN + KENSAKU, 20, 0, 1, "ci 108.750000000000 51.500000000000 2.500000000000 \n",
         {108.75, 51.5, 2.5}, 128.75, 51.5},
        {"running straight up at scale 2", KENSAKU, 0, 10, 2, "", {97, 53.5, 5}, 97, 63.5},
    };
    for (const ExampleCase& c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        place(100, 50, c.dx, c.dy);
        rd.GROUP = 3;  // the scale comes from the group in effect
        rd.G_SCALE[3] = c.scale;
        markText("Z" + KENSAKU, c.text);
        std::string work = closeWork();
        if (!c.record.empty()) {
            EXPECT_EQ(work, crlf(c.record));
        }
        std::vector<Circle> circles = circlesOf(work);
        ASSERT_EQ(circles.size(), 1u);
        EXPECT_NEAR(circles[0].x, c.circle.x, 1e-9);
        EXPECT_NEAR(circles[0].y, c.circle.y, 1e-9);
        EXPECT_EQ(circles[0].r, c.circle.r);
        EXPECT_NEAR(srch.Mx000, c.maxX, 1e-9);
        EXPECT_NEAR(srch.My000, c.maxY, 1e-9);
        EXPECT_EQ(srch.SCALE, c.scale);
        EXPECT_EQ(srch.MOJI_zw, 3.0);
        EXPECT_EQ(srch.MOJI_zd, 0.5);
        EXPECT_EQ(srch.MOJI_zh, 3.0);
        openWork();
    }
}

// Without size information the circle sits on the start point, whatever the
// direction, the scale and where the occurrence lies.
TEST_F(MarkingTest, ZeroSizesPutTheCentreOnTheStartPoint) {
    struct Case {
        double dx, dy, scale;
        const char* record;
    } cases[] = {
        {20, 0, 1, "ci 100.000000000000 50.000000000000 2.500000000000 \n"},
        {3, 4, 1, "ci 100.000000000000 50.000000000000 2.500000000000 \n"},
        {-1, 0, 1, "ci 100.000000000000 50.000000000000 2.500000000000 \n"},
        {0, -5, 2, "ci 100.000000000000 50.000000000000 5.000000000000 \n"},
    };
    setSize(1, 0, 0, 0);
    for (const Case& c : cases) {
        restart();
        place(100, 50, c.dx, c.dy);
        rd.G_SCALE[0] = c.scale;
        markText("Z" + KENSAKU, "xx" + KENSAKU);
        EXPECT_EQ(closeWork(), crlf(c.record)) << "direction (" << c.dx << ", " << c.dy << ")";
        openWork();
    }
}

// A text without a match writes no circle but moves the maxima, from the
// position that the scan left in f_head.
TEST_F(MarkingTest, NoMatchMovesOnlyTheMaxima) {
    struct Case {
        std::string arg, text;
        double maxX, maxY;
    } cases[] = {
        {"Zq", "abc", 121.75, 51.5},
        {"Zq", "", 121.75, 51.5},
        {"", "abc", 121.75, 51.5},
        {"Zabc", "xxab", 125.25, 51.5},  // a candidate still under way at byte 2
    };
    for (const Case& c : cases) {
        restart();
        markText(c.arg, c.text);
        EXPECT_EQ(closeWork(), "") << c.text;
        EXPECT_EQ(srch.Mx000, c.maxX) << c.text;
        EXPECT_EQ(srch.My000, c.maxY) << c.text;
        openWork();
    }
}

// The maxima start at 0, only grow, and ignore NaN.
TEST_F(MarkingTest, MaximaOnlyGrow) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Step {
        double x, y, dx, dy;
        double maxX, maxY;
    } steps[] = {
        {-100, -50, 20, 0, 0, 0},  // negative coordinates keep the start values
        {-30, -10, 20, 0, 0, 0},
        {100, 50, 20, 0, 121.75, 51.5},
        {50, 60, 20, 0, 121.75, 61.5},
        {nan, nan, 20, 0, 121.75, 61.5},
        {-100, -50, 20, 0, 121.75, 61.5},
        {100.25, 0, 20, 0, 122.0, 61.5},
        // The centre lies beyond the maxima, but the end of the direction
        // vector does not: the vector counts in full.
        {130, 50, -20, 0, 122.0, 61.5},
        {0, 70, 0, -20, 122.0, 61.5},
    };
    int circles = 0;
    for (const Step& s : steps) {
        place(s.x, s.y, s.dx, s.dy);
        markText("Z" + KENSAKU, KENSAKU);
        ++circles;
        EXPECT_EQ(srch.Mx000, s.maxX) << "after (" << s.x << ", " << s.y << ")";
        EXPECT_EQ(srch.My000, s.maxY) << "after (" << s.x << ", " << s.y << ")";
    }
    // Every text matched: one circle each, the NaN one included.
    std::string work = closeWork();
    int records = 0;
    for (std::size_t at = work.find("ci "); at != std::string::npos; at = work.find("ci ", at + 1)) ++records;
    EXPECT_EQ(records, circles);
}

// A direction of two zeros, whatever their signs, runs along the x axis.
TEST_F(MarkingTest, ZeroDirectionOfEitherSignIsAngleZero) {
    struct Case {
        double dx, dy;
    } cases[] = {{0.0, 0.0}, {-0.0, 0.0}, {0.0, -0.0}, {-0.0, -0.0}, {0.0, 0.0}};
    for (const Case& c : cases) {
        restart();
        // A text running up first, so that no earlier direction is still at hand.
        place(100, 50, 0, 10);
        markText("Zq", "abc");
        srch = Search{};
        place(100, 50, c.dx, c.dy);
        markText("Z" + KENSAKU, KENSAKU);
        EXPECT_EQ(closeWork(), crlf("ci 101.750000000000 51.500000000000 2.500000000000 \n"))
            << "direction (" << c.dx << ", " << c.dy << ")";
        EXPECT_EQ(srch.Mx000, 101.75);
        EXPECT_EQ(srch.My000, 51.5);
        openWork();
    }
}

// A group outside 0..15 takes scale 1.0, a text size outside 0..10 takes
// sizes 0.0; both ends of the ranges use their table entries.
TEST_F(MarkingTest, GroupAndSizeOutsideTheTables) {
    for (double& s : rd.G_SCALE) s = 2.0;
    for (int n = 1; n <= 10; ++n) setSize(n, 3, 0.5, 3);
    setSize(0, 1, 1, 1);  // the free size "cn0"
    struct Case {
        int group, mojis;
        double scale, w, d, h;
        const char* record;
    } cases[] = {
        {0, 1, 2, 3, 0.5, 3, "ci 103.500000000000 53.000000000000 5.000000000000 \n"},
        {15, 10, 2, 3, 0.5, 3, "ci 103.500000000000 53.000000000000 5.000000000000 \n"},
        {16, 1, 1, 3, 0.5, 3, "ci 101.750000000000 51.500000000000 2.500000000000 \n"},
        {-1, 1, 1, 3, 0.5, 3, "ci 101.750000000000 51.500000000000 2.500000000000 \n"},
        {0, 11, 2, 0, 0, 0, "ci 100.000000000000 50.000000000000 5.000000000000 \n"},
        {0, -1, 2, 0, 0, 0, "ci 100.000000000000 50.000000000000 5.000000000000 \n"},
        {0, 0, 2, 1, 1, 1, "ci 102.000000000000 51.000000000000 5.000000000000 \n"},
        {16, 11, 1, 0, 0, 0, "ci 100.000000000000 50.000000000000 2.500000000000 \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("group " + std::to_string(c.group) + ", size " + std::to_string(c.mojis));
        restart();
        rd.GROUP = c.group;
        rd.MOJIS = c.mojis;
        markText("Z" + KENSAKU, KENSAKU);
        EXPECT_EQ(closeWork(), crlf(c.record));
        EXPECT_EQ(srch.SCALE, c.scale);
        EXPECT_EQ(srch.MOJI_zw, c.w);
        EXPECT_EQ(srch.MOJI_zd, c.d);
        EXPECT_EQ(srch.MOJI_zh, c.h);
        openWork();
    }
}

// Rotated texts, one after the other, against the placement computed here
// with the library's atan2, sin and cos. Repeated and alternating directions
// check that no direction of an earlier text leaks into a later one.
TEST_F(MarkingTest, RotatedTextsMatchDirectComputation) {
    struct Direction {
        double dx, dy;
    } directions[] = {{1, 1}, {0, 10}, {1, 1}, {-0.0, 0.0}, {3, 4}, {3, 4}, {-3, 4}, {-3, -4}, {-7, -2}, {1, 1}, {1e-300, -1}};
    const double S = 1.5;
    rd.G_SCALE[0] = S;
    for (const Direction& d : directions) {
        place(100, 50, d.dx, d.dy);
        markText("Z" + KENSAKU, "ab" + KENSAKU);  // found at byte 2
    }
    std::string work = closeWork();
    std::vector<Circle> circles = circlesOf(work);
    ASSERT_EQ(circles.size(), std::size(directions));

    std::string expected;
    for (std::size_t i = 0; i < std::size(directions); ++i) {
        const Direction& d = directions[i];
        double theta = d.dx == 0 && d.dy == 0 ? 0.0 : std::atan2(d.dy, d.dx);
        double a = ((3 + 0.5) * (2 + 1)) * S * 0.5;
        double h = 0.5 * 3 * S;
        double x = 100 + a * std::cos(theta) - h * std::sin(theta);
        double y = 50 + a * std::sin(theta) + h * std::cos(theta);
        EXPECT_NEAR(circles[i].x, x, 1e-9) << "text " << i;
        EXPECT_NEAR(circles[i].y, y, 1e-9) << "text " << i;
        EXPECT_EQ(circles[i].r, 2.5 * S) << "text " << i;
        expected += "ci " + fixed12(x) + " " + fixed12(y) + " " + fixed12(2.5 * S) + " \r\n";
    }
    EXPECT_WORK_EQ(work, expected);

    // At 45 degrees the offsets along and across the text mix equally.
    const double r = std::sqrt(0.5);
    EXPECT_NEAR(circles[0].x, 100 + 7.875 * r - 2.25 * r, 1e-9);
    EXPECT_NEAR(circles[0].y, 50 + 7.875 * r + 2.25 * r, 1e-9);
}

TEST_F(MarkingTest, KciWritesOneCircleRecord) {
    struct Case {
        double x, y, r;
        const char* record;
    } cases[] = {
        {101.75, 51.5, 2.5, "ci 101.750000000000 51.500000000000 2.500000000000 \n"},
        {-1.5, 0, 1e6, "ci -1.500000000000 0.000000000000 1000000.000000000000 \n"},
        {-0.0, 1e-13, 2.675, "ci -0.000000000000 0.000000000000 2.675000000000 \n"},
        {123456789.123456789, 1e20, 0.1,
         "ci 123456789.123456791043 100000000000000000000.000000000000 0.100000000000 \n"},
        // The radius text is remembered: the same radius again, zeros of
        // both signs (equal values, different texts), a change and back.
        {1, 2, 0.1, "ci 1.000000000000 2.000000000000 0.100000000000 \n"},
        {1, 2, 0.0, "ci 1.000000000000 2.000000000000 0.000000000000 \n"},
        {1, 2, -0.0, "ci 1.000000000000 2.000000000000 -0.000000000000 \n"},
        {1, 2, 5.0, "ci 1.000000000000 2.000000000000 5.000000000000 \n"},
        {1, 2, 0.1, "ci 1.000000000000 2.000000000000 0.100000000000 \n"},
        // Two radii are remembered at once: zeros of both signs side by
        // side, two radii in turn, a third that takes the older's place.
        {1, 2, 0.0, "ci 1.000000000000 2.000000000000 0.000000000000 \n"},
        {1, 2, -0.0, "ci 1.000000000000 2.000000000000 -0.000000000000 \n"},
        {1, 2, 0.0, "ci 1.000000000000 2.000000000000 0.000000000000 \n"},
        {1, 2, 2.5, "ci 1.000000000000 2.000000000000 2.500000000000 \n"},
        {1, 2, 5.0, "ci 1.000000000000 2.000000000000 5.000000000000 \n"},
        {1, 2, 2.5, "ci 1.000000000000 2.000000000000 2.500000000000 \n"},
        {1, 2, 5.0, "ci 1.000000000000 2.000000000000 5.000000000000 \n"},
        {1, 2, 7.5, "ci 1.000000000000 2.000000000000 7.500000000000 \n"},
        {1, 2, 2.5, "ci 1.000000000000 2.000000000000 2.500000000000 \n"},
        {1, 2, 7.5, "ci 1.000000000000 2.000000000000 7.500000000000 \n"},
        {1, 2, 5.0, "ci 1.000000000000 2.000000000000 5.000000000000 \n"},
    };
    std::string expected;
    for (const Case& c : cases) {
        Kci(c.x, c.y, c.r);
        expected += crlf(c.record);
    }
    EXPECT_EQ(closeWork(), expected);
}

}  // namespace
