#include "exchange/reader.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "driver/driver.h"
#include "exchange/fields.h"
#include "options/options.h"
#include "platform/textfile.h"
#include "records/record.h"
#include "search/search.h"

// Each thread that reads a part of the file keeps its own.
constinit QX_PER_THREAD Reader rd;

namespace {

constexpr std::size_t kPiece = kReadSize - 1;
// Zero bytes kept behind every read, so that a record shorter than the
// byte where its fields start scans nothing of an earlier, longer line, and
// so that the text field can be read in 16-byte blocks.
constexpr std::size_t kGuard = 16;

// Copies a text field of n bytes (followed by at least 16 readable bytes)
// into ChSTR0 in 16-byte blocks while a block fits, rather than in one copy
// of variable length, which the compiler makes a string instruction with a
// slow start. Bytes a last block carries lie behind the terminator.
void copyTextField(const char* p, std::size_t n) {
    std::size_t i = 0;
    for (; i < n && i + 16 <= sizeof rd.ChSTR0; i += 16) std::memcpy(rd.ChSTR0 + i, p + i, 16);
    if (i < n) std::memcpy(rd.ChSTR0 + i, p + i, n - i);
    rd.ChSTR0[n] = '\0';
}

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
// in `buf`, further pieces of a long line are read here. A last line
// without a line end gets one.
void copyLine(char* buf, std::size_t len) {
    pf_write(fpw, buf, len);
    bool ended = buf[len - 1] == '\n';
    while (!ended && len == kPiece) {
        len = pf_gets(fp, buf, kReadSize);
        if (len == 0) break;
        ++rd.pieces;
        pf_write(fpw, buf, len);
        ended = buf[len - 1] == '\n';
    }
    if (!ended) pf_write(fpw, "\n", 1);
}

// Reads past the rest of a line over 253 bytes, whose first piece was one
// record: the rest is not a record of its own.
void skipRestOfLine(char* buf) {
    std::size_t len;
    do {
        len = pf_gets(fp, buf, kReadSize);
        if (len == 0) return;
        ++rd.pieces;
    } while (len == kPiece && buf[len - 1] != '\n');
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

// The length of the text at p, at most Reader::kTextFieldMax: its bytes up
// to the first NUL. p lies in the line buffer, whose guard keeps 16 bytes
// after the terminator readable, so it is read 16 bytes at a time.
std::size_t fieldLength(const char* p) {
#ifdef __SSE2__
    const __m128i nul = _mm_setzero_si128();
    for (std::size_t i = 0;; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, nul)));
        if (hits != 0) {
            std::size_t n = i + static_cast<std::size_t>(std::countr_zero(hits));
            return n < Reader::kTextFieldMax ? n : Reader::kTextFieldMax;
        }
    }
#else
    std::size_t n = std::strlen(p);
    return n < Reader::kTextFieldMax ? n : Reader::kTextFieldMax;
#endif
}

void readText(const char* buf, unsigned jd_x) {
    rd.MOJI_head[0] = buf[0];
    rd.MOJI_head[1] = buf[1];
    const char* p = buf + 2;
    double* fields[] = {&rd.ChX, &rd.ChY, &rd.ChDX, &rd.ChDY};
    bool scanned = true;
    for (double* f : fields) {
        if (!scan_lf_padded(p, *f)) {  // the guard keeps the line buffer readable
            scanned = false;
            break;
        }
    }
    if (scanned) {
        skip_space(p);
        if (*p == '"') {
            ++p;
            copyTextField(p, fieldLength(p));
        }
    }
    CHR_PRO(jd_x);
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

// dispatch without the text records and without copies: what every record
// leaves in the reader's state for the records after it, texts aside.
void dispatchState(const char* buf) {
    switch (buf[0]) {
    case ' ': readLine(buf); break;
    case 'c':
        if (buf[1] == 'n') readTextSize(buf);
        break;
    case 'h': readHeader(buf); break;
    case 'l': readAttribute(buf); break;
    case 'p': readPen(buf); break;
    default: break;
    }
}

// The first bytes of the records that dispatchState takes (pf_skip_lines):
// "cn", "h", "l", "pn"; line records only at test level 3.
struct StateRecords {
    char wanted[256];
};
constexpr StateRecords stateRecords(bool lineRecords) {
    StateRecords r{};
    r.wanted[static_cast<unsigned char>('c')] = 'n';
    r.wanted[static_cast<unsigned char>('h')] = 1;
    r.wanted[static_cast<unsigned char>('l')] = 1;
    r.wanted[static_cast<unsigned char>('p')] = 'n';
    if (lineRecords) r.wanted[static_cast<unsigned char>(' ')] = 1;
    return r;
}
constexpr StateRecords kStateRecords = stateRecords(false);
constexpr StateRecords kStateRecordsTraced = stateRecords(true);

// Whether a record is a text record whose four numbers and text field all
// read: it then sets every field of the current text record, so the texts
// before it leave nothing behind for the records after it.
bool isWholeText(const char* buf) {
    if (buf[0] != 'c' || buf[1] == 'n' || buf[1] == 'c' || buf[1] == 'i') return false;
    const char* p = buf + 2;
    double v;
    for (int i = 0; i < 4; ++i) {
        if (!scan_lf_padded(p, v)) return false;
    }
    skip_space(p);
    return *p == '"';
}

}  // namespace

int QX_PATTERN(unsigned jd_xmax, unsigned jd_limit) {
    char buf[kReadSize + kGuard];
    for (unsigned jd_x = 0; jd_x != jd_limit && rd.pieces <= jd_limit; ++jd_x) {
        if (rd.stop) {
            std::uint64_t at = pf_offset(fp);
            rd.stop->progress.store(at, std::memory_order_relaxed);
            if (at >= rd.stop->at.load(std::memory_order_relaxed)) return 1;
        }
        std::size_t len = pf_gets(fp, buf, kReadSize);
        if (len == 0) break;
        ++rd.pieces;
        std::memset(buf + len, 0, kGuard);
        if (opts.isTest == 5) traceRead(jd_x, jd_xmax, jd_limit, buf);
        bool longLine = len == kPiece && buf[len - 1] != '\n';
        if (dispatch(buf, jd_x)) {
            copyLine(buf, len);
        } else if (longLine) {
            skipRestOfLine(buf);
        }
    }
    return 0;
}

std::uint64_t find_split(ReaderStop& other, std::uint64_t size, std::uint64_t least, unsigned jd_limit) {
    // How often the other reader's progress is looked at: seldom, so that
    // the two threads seldom touch the same cache line.
    constexpr std::uint64_t kLook = 1 << 16;
    char buf[kReadSize + kGuard];
    std::uint64_t middle = size, looked = 0;
    const StateRecords& needed = opts.isTest == 3 ? kStateRecordsTraced : kStateRecords;
    while (rd.pieces <= jd_limit) {
        // Lines that leave nothing in the state are passed over in bulk
        // (text records too, before the middle).
        rd.pieces += pf_skip_lines(fp, needed.wanted, middle < looked ? middle : looked);
        if (rd.pieces > jd_limit) break;
        std::uint64_t lineStart = pf_offset(fp);
        if (lineStart + least > size) break;
        if (lineStart >= looked) {
            std::uint64_t theirs = other.progress.load(std::memory_order_relaxed);
            if (theirs == kNoSplit) break;  // the other reader is done
            middle = theirs + (size - theirs) / 2;
            looked = lineStart + kLook;
        }
        std::size_t len = pf_gets(fp, buf, kReadSize);
        if (len == 0) break;
        ++rd.pieces;
        std::memset(buf + len, 0, kGuard);
        if (lineStart >= middle && isWholeText(buf) && rd.pieces <= jd_limit) {
            if (!pf_rewind_to(fp, lineStart)) break;
            --rd.pieces;  // the part that starts here reads it again
            other.at.store(lineStart, std::memory_order_relaxed);
            return lineStart;
        }
        dispatchState(buf);
        if (len == kPiece && buf[len - 1] != '\n') skipRestOfLine(buf);
    }
    return kNoSplit;
}

double scale_of(int group) { return group >= 0 && group <= 15 ? rd.G_SCALE[group] : 1.0; }

CharSize size_of(int mojis) {
    if (mojis < 0 || mojis > 10) return {0.0, 0.0, 0.0};
    return {rd.MOJI_W[mojis], rd.MOJI_H[mojis], rd.MOJI_D[mojis]};
}
