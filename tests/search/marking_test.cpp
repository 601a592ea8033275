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
#include "search/match.h"
#include "support/circles.h"
#include "support/fixture.h"

namespace {

const std::string KEN = "\x8C\x9F";   // 検
const std::string SAKU = "\x8D\xF5";  // 索
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

std::string fixed12(double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.12f", v);
    return buf;
}

class MarkingTest : public TempDirTest {
protected:
    // A text at (100, 50) along (20, 0), size 1 with width 3, spacing 0.5
    // and height 3, group 0 at scale 1.
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

// Rotated texts, one after the other, against the placement computed here
// with the library's atan2, sin and cos. Repeated and alternating directions
// check that no direction of an earlier text leaks into a later one; a
// direction of two zeros, whatever their signs, runs along the x axis.
TEST_F(MarkingTest, RotatedTextsMatchDirectComputation) {
    struct Direction {
        double dx, dy;
    } directions[] = {{1, 1},  {0, 10},  {1, 1},  {-0.0, 0.0}, {3, 4},      {3, 4},       {-3, 4},
                      {-3, -4}, {-7, -2}, {1, 1}, {1e-300, -1}, {0.0, -0.0}, {-0.0, -0.0}, {0.0, 0.0}};
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

}  // namespace
