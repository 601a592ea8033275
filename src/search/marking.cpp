// Match marking: a circle around the first matched character, placed along
// the text's direction with the text size and group scale in effect, and
// the running maxima that place the report.
#include "search/marking.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "exchange/reader.h"
#include "records/writers.h"
#include "search/match.h"

namespace {

// The sine and cosine of a text's direction. The texts of a drawing share a
// few directions, so the latest eight are remembered; the key is the exact
// bit pattern of the vector, so the result is the one the library gives.
struct Direction {
    std::uint64_t dx = 0, dy = 0;  // bits of +0.0, +0.0: angle 0
    double sin = 0.0, cos = 1.0;
};
Direction directions[8];
int oldestDirection = 0;  // the entry a new direction replaces

void directionOf(double dx, double dy, double& s, double& c) {
    auto bx = std::bit_cast<std::uint64_t>(dx), by = std::bit_cast<std::uint64_t>(dy);
    for (const Direction& d : directions) {
        if (d.dx == bx && d.dy == by) {
            s = d.sin;
            c = d.cos;
            return;
        }
    }
    // A vector of two zeros, of either sign, runs along the x axis.
    double theta = (dx == 0.0 && dy == 0.0) ? 0.0 : std::atan2(dy, dx);
    s = std::sin(theta);
    c = std::cos(theta);
    directions[oldestDirection] = Direction{bx, by, s, c};
    oldestDirection = (oldestDirection + 1) % 8;
}

}  // namespace

void mark_match(const TextRecord& rec, bool isFound, int f_head) {
    double S = rec.scale;
    srch.SCALE = S;
    CharSize size = rec.size;
    srch.MOJI_zh = size.h;
    srch.MOJI_zw = size.w;
    srch.MOJI_zd = size.d;
    // Each byte before the occurrence moves the centre half a pitch along
    // the text; the centre lies half a pitch beyond the occurrence's start.
    double a = ((size.w + size.d) * (f_head + 1)) * S * 0.5;
    double h = 0.5 * size.h * S;
    double s, c;
    directionOf(rec.dx, rec.dy, s, c);
    double Xc = rec.x + a * c - h * s;
    double Yc = rec.y + a * s + h * c;
    if (isFound) Kci(Xc, Yc, 2.5 * S);
    if (Xc + rec.dx > srch.Mx000) srch.Mx000 = Xc + rec.dx;
    if (Yc + rec.dy > srch.My000) srch.My000 = Yc + rec.dy;
}
