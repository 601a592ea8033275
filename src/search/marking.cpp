// Match marking: a circle around the first matched character, placed along
// the text's direction with the text size and group scale in effect, and
// the running maxima that place the report.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "exchange/reader.h"
#include "records/record.h"
#include "search/search.h"

namespace {

// The sine and cosine of a text's direction. The texts of a drawing share a
// few directions, so the latest ones are remembered; the key is the exact
// bit pattern of the vector, so the result is the one the library gives.
struct Direction {
    std::uint64_t dx = 0, dy = 0;  // bits of +0.0, +0.0: angle 0
    double sin = 0.0, cos = 1.0;
};
constexpr int kDirections = 8;
constinit QX_PER_THREAD Direction directions[kDirections];

void directionOf(double dx, double dy, double& s, double& c) {
    auto bx = std::bit_cast<std::uint64_t>(dx), by = std::bit_cast<std::uint64_t>(dy);
    // Round numbers such as 20.0, -20.0 and 10.0 differ only in their top
    // bits: a multiplicative hash brings every bit into the slot number.
    std::uint64_t mixed = (bx * 0x9E3779B97F4A7C15u) ^ (by * 0xC2B2AE3D27D4EB4Fu);
    Direction& d = directions[((mixed ^ (mixed >> 32)) >> 29) & (kDirections - 1)];
    if (d.dx != bx || d.dy != by) {
        // A vector of two zeros, of either sign, runs along the x axis.
        double theta = (dx == 0.0 && dy == 0.0) ? 0.0 : std::atan2(dy, dx);
        d = Direction{bx, by, std::sin(theta), std::cos(theta)};
    }
    s = d.sin;
    c = d.cos;
}

}  // namespace

namespace {

// The radius depends only on the group scale, so circles share a few: the
// texts of the latest two are remembered with the exact bits of the values
// they were printed from (a drawing's texts often alternate between two
// groups).
struct PrintedRadius {
    bool known = false;
    std::uint64_t bits = 0;
    std::size_t len = 0;
    char text[kFixedMax] = {};
};
constinit QX_PER_THREAD PrintedRadius radii[2];
constinit QX_PER_THREAD int olderRadius = 0;  // the entry a new radius replaces

// The remembered text of radius r, printed first where it is not known.
const PrintedRadius& printedRadius(double r) {
    auto bits = std::bit_cast<std::uint64_t>(r);
    for (const PrintedRadius& known : radii) {
        if (known.known && known.bits == bits) return known;
    }
    PrintedRadius& fresh = radii[olderRadius];
    olderRadius = 1 - olderRadius;
    fresh.len = fmt_fixed(fresh.text, r, 12);
    fresh.bits = bits;
    fresh.known = true;
    return fresh;
}

// Room for a circle record: "ci ", three numbers, three blanks.
constexpr std::size_t kCircleRoom = 3 + 3 * kFixedMax + 3;

// Puts the radius's text at p, which has room for kFixedMax bytes. A short
// text goes in two 16-byte blocks, which spares a copy of variable length.
char* putRadius(char* p, const PrintedRadius& radius) {
    if (radius.len <= 32) {
        std::memcpy(p, radius.text, 16);
        std::memcpy(p + 16, radius.text + 16, 16);
    } else {
        std::memcpy(p, radius.text, radius.len);
    }
    return p + radius.len;
}

}  // namespace

void Kci(double x, double y, double r) {
    const PrintedRadius& radius = printedRadius(r);
    // Assembled in the work file's buffer: the record is written at once,
    // without a copy.
    char* const line = rec_line_room(kCircleRoom);
    char* p = line;
    std::memcpy(p, "ci ", 3);
    p += 3;
    p += fmt_fixed(p, x, 12);
    *p++ = ' ';
    p += fmt_fixed(p, y, 12);
    *p++ = ' ';
    p = putRadius(p, radius);
    *p++ = ' ';
    rec_line_written(static_cast<std::size_t>(p - line));
}

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
