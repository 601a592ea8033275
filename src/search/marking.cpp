// Match marking: a circle around the first matched character, placed along
// the text's direction with the text size and group scale in effect, and
// the running maxima that place the report.
#include <cmath>

#include "exchange/reader.h"
#include "records/record.h"
#include "search/search.h"

void Kci(double x, double y, double r) {
    Rec rec;
    rec.str("ci ").fixed(x, 12).str(" ").fixed(y, 12).str(" ").fixed(r, 12).str(" \n");
    rec_to_work(rec);
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
    // A vector of two zeros, of either sign, runs along the x axis.
    double theta = (rec.dx == 0.0 && rec.dy == 0.0) ? 0.0 : std::atan2(rec.dy, rec.dx);
    double s = std::sin(theta), c = std::cos(theta);
    double Xc = rec.x + a * c - h * s;
    double Yc = rec.y + a * s + h * c;
    if (isFound) Kci(Xc, Yc, 2.5 * S);
    if (Xc + rec.dx > srch.Mx000) srch.Mx000 = Xc + rec.dx;
    if (Yc + rec.dy > srch.My000) srch.My000 = Yc + rec.dy;
}
