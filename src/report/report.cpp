// The result report: the search's counts in seven text records inside a
// frame, placed by the farthest reach of the texts and the "hn" points.
#include "report/report.h"

#include <cstring>

#include "exchange/reader.h"
#include "options/options.h"
#include "records/record.h"
#include "records/writers.h"
#include "search/match.h"

namespace {

// The report's texts in Shift-JIS (code page 932).
// "^!■■■ 検索結果 ■■■\n"
constexpr const char* kTitle = "^!\x81\xa1\x81\xa1\x81\xa1 \x8c\x9f\x8d\xf5\x8c\x8b\x89\xca \x81\xa1\x81\xa1\x81\xa1\n";
// "検索文字：[ " and " ]\n"
constexpr const char* kSearchOpen = "\x8c\x9f\x8d\xf5\x95\xb6\x8e\x9a\x81\x46[ ";
constexpr const char* kSearchClose = " ]\n";
// "一致した数：＜ ", " ＞  ／検索文字列数：＜ ", " ＞\n"
constexpr const char* kMatchOpen = "\x88\xea\x92\x76\x82\xb5\x82\xbd\x90\x94\x81\x46\x81\x83 ";
constexpr const char* kMatchMid =
    " \x81\x84  \x81\x5e\x8c\x9f\x8d\xf5\x95\xb6\x8e\x9a\x97\xf1\x90\x94\x81\x46\x81\x83 ";
constexpr const char* kMatchClose = " \x81\x84\n";
// "　うち完全一致：＜", "　うち前方一致：＜", "　うち後方一致：＜", then "＞\n"
constexpr const char* kExact = "\x81\x40\x82\xa4\x82\xbf\x8a\xae\x91\x53\x88\xea\x92\x76\x81\x46\x81\x83";
constexpr const char* kPrefix = "\x81\x40\x82\xa4\x82\xbf\x91\x4f\x95\xfb\x88\xea\x92\x76\x81\x46\x81\x83";
constexpr const char* kSuffix = "\x81\x40\x82\xa4\x82\xbf\x8c\xe3\x95\xfb\x88\xea\x92\x76\x81\x46\x81\x83";
constexpr const char* kCountClose = "\x81\x84\n";
// "注：一文字列の中の最初の一致のみカウントしてます \n"
constexpr const char* kNote =
    "\x92\x8d\x81\x46\x88\xea\x95\xb6\x8e\x9a\x97\xf1\x82\xcc\x92\x86\x82\xcc\x8d\xc5\x8f\x89\x82\xcc"
    "\x88\xea\x92\x76\x82\xcc\x82\xdd\x83\x4a\x83\x45\x83\x93\x83\x67\x82\xb5\x82\xc4\x82\xdc\x82\xb7 \n";

// Drops the option letter: ChS001 then holds the search string alone.
void dropOptionLetter() {
    std::size_t n = std::strlen(opts.ChS001);
    if (n == 0) return;
    std::memmove(opts.ChS001, opts.ChS001 + 1, n);
}

// The search string as the report prints it: up to its first CR or LF, so
// that no command-line input can add a record of its own to the drawing.
void appendSearchString(Rec& line) {
    const char* s = opts.ChS001;
    line.bytes(s, std::strcspn(s, "\r\n"));
}

// Formats one report line into `line` (the line buffer of the report).
void countLine(Rec& line, const char* head, int count) {
    line.len = 0;
    line.str(head).num(count).str(kCountClose);
}

double greatest(double first, double second, double third) {
    double v = first;
    if (second > v) v = second;  // a NaN never replaces
    if (third > v) v = third;
    return v;
}

}  // namespace

void Find_STR_END() {
    rd.MOJIS = 2;
    double S = scale_of(rd.GROUP);
    srch.SCALE = S;
    double step = 5 * S;
    Cnout(2);

    double AX = greatest(rd.PNX2, rd.PNX1, srch.Mx000);
    double AY = greatest(rd.PNY2, rd.PNY1, srch.My000);
    CharSize size = size_of(2);
    srch.MOJI_zh = size.h;
    srch.MOJI_zw = size.w;
    srch.MOJI_zd = size.d;
    dropOptionLetter();

    double TX = AX + 2 * step;
    Rec line;
    MojiOutS(TX, AY - 2 * step, kTitle);
    line.str(kSearchOpen);
    appendSearchString(line);
    line.str(kSearchClose);
    MojiOutS(TX, AY - 3 * step, line.c_str());
    line.len = 0;
    line.str(kMatchOpen).num(srch.match).str(kMatchMid).num(rd.iCHR_cnt).str(kMatchClose);
    MojiOutS(TX, AY - 4 * step, line.c_str());
    countLine(line, kExact, srch.match_p);
    MojiOutS(TX, AY - 5 * step, line.c_str());
    countLine(line, kPrefix, srch.match_l);
    MojiOutS(TX, AY - 6 * step, line.c_str());
    countLine(line, kSuffix, srch.match_r);
    MojiOutS(TX, AY - 7 * step, line.c_str());
    MojiOutS(TX, AY - 8 * step, kNote);

    Ltout(1);
    Lcout(4);
    double L = AX + step;
    double R = ((size.w + size.d) * 31) * S + AX;
    double B = AY - 9.5 * step;
    Sen(L, AY, R, AY);
    Sen(R, AY, R, B);
    Sen(R, B, L, B);
    Sen(L, B, L, AY - 2.5 * step);
    Sen(L, AY - 2.5 * step, AX, AY - 2 * step);
    Sen(AX, AY - 2 * step, L, AY - 1.5 * step);
    Sen(L, AY - 1.5 * step, L, AY);
}
