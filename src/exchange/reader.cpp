// The exchange file reader: each record dispatched on its first bytes, its
// fields kept in rd, comment lines copied, text records handed on.
#include "exchange/reader.h"

#include <cstring>

#include "exchange/fields.h"
#include "options/options.h"
#include "platform/textfile.h"
#include "records/record.h"

Reader rd;
int (*on_text_record)(unsigned jd_x) = nullptr;

namespace {

constexpr std::size_t kPiece = kReadSize - 1;
// Zero bytes kept behind every read, so that a record shorter than the
// byte where its fields start scans nothing of an earlier, longer line.
constexpr std::size_t kGuard = 8;

// Stores a record's value as the first value of its kind, unless one was
// taken already (a first value of 20 leaves the capture open).
void capture(int& first, int value) {
    if (first == 20) first = value;
}

void traceRead(unsigned jd_x, unsigned jd_xmax, unsigned jd_limit, const char* buf) {
    Rec r;
    r.str("## ---- QX_PATTERN()  qxc_temp.txt processing --------\n");
    r.str("##  jd_x=").num(jd_x).str("/").num(jd_xmax).str(" : jd_x/jd_xmax  jd_limit=").num(jd_limit).str("\n");
    r.str("##  buf=(").str(buf).str(")\n");
    rec_to_console(r);
}

// Copies a comment or "bz" line to the work file whole: the first piece is
// in `buf`, further pieces of a long line are read here, until more than
// `limit` pieces are read in all (the run is then refused: the rest of the
// line is not read). A last line without a line end gets one.
void copyLine(char* buf, std::size_t len, unsigned limit) {
    pf_write(fpw, buf, len);
    bool ended = buf[len - 1] == '\n';
    while (!ended && len == kPiece && rd.pieces <= limit) {
        len = pf_gets(fp, buf, kReadSize);
        if (len == 0) break;
        ++rd.pieces;
        pf_write(fpw, buf, len);
        ended = buf[len - 1] == '\n';
    }
    if (!ended) pf_write(fpw, "\n", 1);
}

// Reads past the rest of a line over 253 bytes, whose first piece was one
// record: the rest is not a record of its own. Stops once more than
// `limit` pieces are read in all.
void skipRestOfLine(char* buf, unsigned limit) {
    std::size_t len;
    do {
        len = pf_gets(fp, buf, kReadSize);
        if (len == 0) return;
        ++rd.pieces;
    } while (len == kPiece && buf[len - 1] != '\n' && rd.pieces <= limit);
}

void readLine(const char* buf) {
    if (opts.isTest != 3) return;  // only the level-3 closing trace shows stepcnt
    const char* p = buf + 1;
    double* ends[] = {&rd.lineX1, &rd.lineY1, &rd.lineX2, &rd.lineY2};
    for (double* e : ends) {
        if (!scan_lf(p, *e)) break;
    }
    if (rd.lineX1 != rd.lineX2 || rd.lineY1 != rd.lineY2) rd.stepcnt = 3;
}

void readText(const char* buf, unsigned jd_x) {
    rd.MOJI_head[0] = buf[0];
    rd.MOJI_head[1] = buf[1];
    const char* p = buf + 2;
    double* fields[] = {&rd.ChX, &rd.ChY, &rd.ChDX, &rd.ChDY};
    bool scanned = true;
    for (double* f : fields) {
        if (!scan_lf(p, *f)) {
            scanned = false;
            break;
        }
    }
    if (scanned) {
        skip_space(p);
        if (*p == '"') {
            ++p;
            std::size_t n = std::strlen(p);
            if (n > Reader::kTextFieldMax) n = Reader::kTextFieldMax;
            std::memcpy(rd.ChSTR0, p, n);
            rd.ChSTR0[n] = '\0';
        }
    }
    if (on_text_record) on_text_record(jd_x);
    ++rd.iCHR_cnt;
}

void readTextSize(const char* buf) {
    if (buf[2] == '"') return;
    if (buf[2] == '0') {
        rd.MOJIS = 0;
        const char* p = buf + 3;
        if (scan_lf(p, rd.MOJI_W[0]) && scan_lf(p, rd.MOJI_H[0]) && scan_lf(p, rd.MOJI_D[0])) {
            scan_d(p, rd.MOJI_C);
        }
        if (rd.MOJISi == 20) {
            rd.MOJISi = 0;
            rd.MOJIWi = rd.MOJI_W[0];
            rd.MOJIHi = rd.MOJI_H[0];
            rd.MOJIDi = rd.MOJI_D[0];
            rd.MOJICi = rd.MOJI_C;
        }
        return;
    }
    const char* p = buf + 2;
    scan_d(p, rd.MOJIS);
    capture(rd.MOJISi, rd.MOJIS);
}

void tracePoint(const char* variant) {
    Rec r;
    r.str("##  hp").num(rd.iPOINT).str(variant).fixed(rd.PX[rd.iPOINT], 2).str(" ");
    r.fixed(rd.PY[rd.iPOINT], 2).str(" \n");
    rec_to_console(r);
}

void readPoint(const char* buf) {
    char variant = buf[3];
    if ((variant == 'l' && buf[4] == 'n') || (variant == 'c' && buf[4] == 'h')) {
        rd.stepcnt = 2;
        return;
    }
    if (variant != ' ' && variant != '+' && variant != '/' && variant != '-') return;
    const char* p = buf + 2;
    scan_d(p, rd.iPOINT);
    // A point number outside 0 to HPmax is neither stored nor traced.
    if (rd.iPOINT < 0 || rd.iPOINT > Reader::HPmax) return;
    p = buf + (variant == ' ' ? 3 : 4);
    if (scan_lf(p, rd.PX[rd.iPOINT])) scan_lf(p, rd.PY[rd.iPOINT]);
    if (opts.isTest != 3) return;
    if (variant == ' ') tracePoint("   ");
    if (variant == '/') tracePoint("/  ");
    if (variant == '-') tracePoint("-  ");
}

void readHeader(const char* buf) {
    const char* p;
    switch (buf[1]) {
    case 'q': rd.stepcnt = 1; break;
    case 'n':
        p = buf + 2;
        {
            double* pts[] = {&rd.PNX1, &rd.PNY1, &rd.PNX2, &rd.PNY2};
            for (double* v : pts) {
                if (!scan_lf(p, *v)) break;
            }
        }
        break;
    case 'p': readPoint(buf); break;
    case 's':
        p = buf + 3;
        scan_lfs(p, rd.G_SCALE, 16);
        break;
    case 'c':
        p = buf + 4;
        if (buf[2] == 'w') scan_lfs(p, rd.MOJI_W + 1, 10);
        if (buf[2] == 'h') scan_lfs(p, rd.MOJI_H + 1, 10);
        if (buf[2] == 'd') scan_lfs(p, rd.MOJI_D + 1, 10);
        break;
    default: break;
    }
}

void readPen(const char* buf) {
    if (buf[1] == 'n') {
        const char* p = buf + 2;
        scan_x(p, rd.TENS);
        capture(rd.TENSi, rd.TENS);
    }
}

void readAttribute(const char* buf) {
    const char* p = buf + 2;
    switch (buf[1]) {
    case 'g': scan_x(p, rd.GROUP); capture(rd.GROUPi, rd.GROUP); break;
    case 'y': scan_x(p, rd.LAYER); capture(rd.LAYERi, rd.LAYER); break;
    case 't': scan_d(p, rd.TYPE); capture(rd.TYPEi, rd.TYPE); break;
    case 'c': scan_d(p, rd.COLOR); capture(rd.COLORi, rd.COLOR); break;
    default: break;
    }
}

// Dispatches one record on its first bytes. Returns true when the line is
// to be copied to the work file.
bool dispatch(const char* buf, unsigned jd_x) {
    switch (buf[0]) {
    case '#': return true;
    case 'b': return buf[1] == 'z';
    case ' ': readLine(buf); break;
    case 'c':
        if (buf[1] == 'n') readTextSize(buf);
        else if (buf[1] != 'c' && buf[1] != 'i') readText(buf, jd_x);
        break;
    case 'h': readHeader(buf); break;
    case 'l': readAttribute(buf); break;
    case 'p': readPen(buf); break;
    default: break;
    }
    return false;
}

}  // namespace

int QX_PATTERN(unsigned jd_xmax, unsigned jd_limit) {
    char buf[kReadSize + kGuard];
    for (unsigned jd_x = 0; jd_x != jd_limit && rd.pieces <= jd_limit; ++jd_x) {
        std::size_t len = pf_gets(fp, buf, kReadSize);
        if (len == 0) break;
        ++rd.pieces;
        std::memset(buf + len, 0, kGuard);
        if (opts.isTest == 5) traceRead(jd_x, jd_xmax, jd_limit, buf);
        bool longLine = len == kPiece && buf[len - 1] != '\n';
        if (dispatch(buf, jd_x)) {
            copyLine(buf, len, jd_limit);
        } else if (longLine) {
            skipRestOfLine(buf, jd_limit);
        }
    }
    return 0;
}

double scale_of(int group) { return group >= 0 && group <= 15 ? rd.G_SCALE[group] : 1.0; }

CharSize size_of(int mojis) {
    if (mojis < 0 || mojis > 10) return {0.0, 0.0, 0.0};
    return {rd.MOJI_W[mojis], rd.MOJI_H[mojis], rd.MOJI_D[mojis]};
}
