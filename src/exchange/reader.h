// The exchange file reader: one pass over the exchange file, record by
// record, keeping what the search, the report and the closing records need.
#pragma once

#include <cstddef>

// One read takes at most 254 bytes, like a line read with a 255-byte buffer;
// a longer line comes in pieces, and the pieces are what the lines count.
inline constexpr std::size_t kReadSize = 255;

// Everything the reader keeps, with its start value. Nothing resets it
// during a run; tests reset it with `rd = Reader{}`.
struct Reader {
    // The current text record.
    char MOJI_head[3] = "ch";
    double ChX = 0.0, ChY = 0.0, ChDX = 0.0, ChDY = 0.0;
    static constexpr int kTextFieldMax = 260;
    char ChSTR0[kTextFieldMax + 1] = {};
    int iCHR_cnt = 0;  // text records read
    // Line pieces read so far, as the line count counts them (a line over
    // 253 bytes is one piece per 254 bytes).
    unsigned pieces = 0;

    // Text sizes: entry 0 is the free size of "cn0", 1 to 10 the numbered
    // sizes of "hcw", "hch", "hcd". MOJIS is the size in effect.
    int MOJIS = 1;
    double MOJI_W[11] = {}, MOJI_H[11] = {}, MOJI_D[11] = {};
    int MOJI_C = 0;

    // Group scales and the group in effect.
    double G_SCALE[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    int GROUP = 0;
    int LAYER = 0, TYPE = 1, COLOR = 1, TENS = 1;

    // The two points of the "hn" record, for the report's placement.
    double PNX1 = 0.0, PNY1 = 0.0, PNX2 = 0.0, PNY2 = 0.0;

    // Progress marker: 1 after "hq", 2 after "hp..ln"/"hp..ch", 3 after a
    // line whose ends differ.
    int stepcnt = 0;
    // The ends of the latest line record (read only at test level 3).
    double lineX1 = 0.0, lineY1 = 0.0, lineX2 = 0.0, lineY2 = 0.0;

    // "hp" points 0 to HPmax.
    static constexpr int HPmax = 3;
    double PX[HPmax + 1] = {}, PY[HPmax + 1] = {};
    int iPOINT = 0;

    // First values of each attribute; 20 means "none seen yet".
    int GROUPi = 20, LAYERi = 20, TYPEi = 20, COLORi = 20, TENSi = 20;
    int MOJISi = 20, MOJICi = 20;
    double MOJIWi = -20.0, MOJIHi = 20.0, MOJIDi = 20.0;
};
extern Reader rd;

// Takes each text record once it is in rd; the driver points it at CHR_PRO.
extern int (*on_text_record)(unsigned jd_x);

// Reads the exchange file `fp` to its end, `jd_xmax` lines as counted,
// copying comment and "bz" lines to the work file `fpw` and handing every
// text record to on_text_record. Stops early once more than `jd_limit` pieces
// are read (rd.pieces tells), which a counted file never has. Returns 0.
int QX_PATTERN(unsigned jd_xmax, unsigned jd_limit);

// The scale of a group, 1.0 for a group number outside 0 to 15.
double scale_of(int group);

// Character width, height and spacing of a text size number; all 0.0 for a
// number outside 0 to 10.
struct CharSize {
    double w, h, d;
};
CharSize size_of(int mojis);
