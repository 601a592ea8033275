// The match engine. The scan walks the text one character at a time, so
// that a byte of the search string is never compared with the second byte
// of a two-byte character, and classifies the first occurrence that it
// completes. Its traces at test levels 1 to 3 explain every step.
#include "search/match.h"

#include <climits>
#include <cstring>
#include <string_view>

#include "exchange/reader.h"
#include "options/options.h"
#include "records/record.h"
#include "search/fold.h"
#include "search/marking.h"

Search srch;

namespace {

// The state of one scan.
struct Scan {
    const unsigned char* text;
    const unsigned char* arg;  // the search argument: letter, then the string
    int argLen;                // bytes of the search argument
    int searchLen;             // bytes of the search string; -1 without /Z
    int textLen;               // bytes of the text before its terminator
    int ci = 0, ci0 = 1, lenin = 0, f_head = 0, f_foot = 0;
    bool inMatch = false, isFound = false;
    unsigned char leadByte = 0;

    // A byte of the search argument; past its terminator every byte is 0.
    unsigned char at(int i) const { return i <= argLen ? arg[i] : 0; }
};

bool level(int n) { return opts.isTest == n; }

void emit(Rec& r, bool toConsole) {
    if (toConsole) rec_to_console(r);
    else rec_to_work(r);
}

void traceOpening(const TextRecord& rec) {
    if (!level(1) && !level(2)) return;
    Rec r;
    r.str("\n#----- command /M(").num(opts.iMode).str(") /Z(").str(opts.ChS001).str(")\n");
    if (level(2)) {
        r.str("#        input(ChSTR) = Head(").str(rec.head).str(")  ChSTR(").str(srch.ChSTR).str(")\n");
        r.str("#        input(ChX,ChY)=(").fixed(rec.x, 1).str(", ").fixed(rec.y, 1);
        r.str(") (ChDX,ChDY)=(").fixed(rec.dx, 1).str(", ").fixed(rec.dy, 1).str(")\n");
    }
    emit(r, level(2));
}

void traceIchiIn(const Scan& s, unsigned char c, bool toConsole) {
    Rec r;
    r.str("## Ichi-in ci0(").num(s.ci0).str("):ci(").num(s.ci).str(")=(0x").hex(c).str(")\n");
    emit(r, toConsole);
}

void traceIchiBreak(const Scan& s, int len, unsigned char c, bool toConsole) {
    Rec r;
    r.str("## Ichi-break len=ci0(").num(len).str(") ci(").num(s.ci).str(")=(0x").hex(c);
    r.str(") f_head(").num(s.f_head).str(") f_foot(").num(s.f_foot).str(")\n");
    emit(r, toConsole);
}

void traceNewHead(int ci) {
    Rec r;
    r.str("# new head f_head(").num(ci).str(")\n");
    rec_to_console(r);
}

void traceBytes(const Scan& s) {
    Rec r;
    r.str("[").hex(s.text[s.ci]).str("][").hex(s.text[s.ci + 1]).str("] ");
    rec_to_console(r);
}

void traceShiftJ(const Scan& s) {
    Rec r;
    r.str("# SHIFT-J ci(").num(s.ci).str(") ChSTR[").hex(s.text[s.ci]).str("][").hex(s.text[s.ci + 1]);
    r.str("] ChS001[").hex(s.at(0)).str("][").hex(s.at(1)).str("][").hex(s.at(2)).str("][").hex(s.at(3)).str("]\n");
    rec_to_work(r);
}

// The scan's text and its search string proper.
std::string_view textOf(const Scan& s) {
    return {reinterpret_cast<const char*>(s.text), static_cast<std::size_t>(s.textLen)};
}
std::string_view wantedOf(const Scan& s) {
    return {reinterpret_cast<const char*>(s.arg) + 1, static_cast<std::size_t>(s.searchLen)};
}

void resetCandidate(Scan& s) {
    s.ci0 = 1;
    s.inMatch = false;
    s.f_head = 0;
    s.f_foot = 0;
}

// One pass over a character of `width` bytes: 1, or 2 for a two-byte
// character (lead byte leadByte). Returns false when the scan ends.
bool character(Scan& s, int width) {
    const bool two = width == 2;
    unsigned char b0 = s.text[s.ci], b1 = two ? s.text[s.ci + 1] : 0;
    unsigned char shown = two ? s.leadByte : b0;
    auto matches = [&s, two, b0, b1](int k) { return b0 == s.at(k) && (!two || b1 == s.at(k + 1)); };
    // A two-byte character's first and last trace lines go to the work file only.
    const bool traceEnds = level(1) || (level(2) && !two);
    if (!s.isFound && matches(s.ci0)) {
        if (!s.inMatch) {
            if (traceEnds) traceIchiIn(s, shown, level(2));
            s.f_head = s.ci;
            s.inMatch = true;
        }
        if (s.ci0 + width - 1 < s.searchLen) {
            s.f_foot = s.ci + width;
            s.ci0 += width;
        } else {
            if (two && level(2)) {
                Rec r;
                r.str("##2 Ichi ci0(").num(s.ci0 + 1).str(") \n");
                rec_to_console(r);
            }
            s.f_foot = s.ci + width - 1;
            if (traceEnds) traceIchiBreak(s, s.ci0 + width - 1, shown, level(2));
            s.isFound = true;
            return true;  // the next pass moves past this character
        }
    } else if (!s.isFound && matches(1)) {
        if (level(2)) traceNewHead(s.ci);
        s.f_head = s.ci;
        s.f_foot = s.ci + width;
        s.ci0 = 1 + width;
        s.inMatch = true;
        s.ci += width;
        s.lenin += width;
        s.leadByte = 0;
        return !two || b1 != 0;
    } else if (!s.isFound) {
        resetCandidate(s);
    }
    if (two && level(1)) traceShiftJ(s);
    s.ci += width;
    s.lenin += width;
    s.leadByte = 0;
    return !two || b1 != 0;  // a lead byte as the text's last byte ends the scan
}

void runScan(Scan& s) {
    while (s.text[s.ci] != 0) {
        if (level(3)) traceBytes(s);
        if (s.leadByte == 0 && is_lead_byte(s.text[s.ci])) {
            s.leadByte = s.text[s.ci];
            continue;
        }
        if (!character(s, s.leadByte == 0 ? 1 : 2)) break;
    }
}

// Whether p starts a character: the scan steps two bytes from every byte of
// the lead range, so after the last byte outside that range a character
// starts, and the lead-range bytes after it pair up.
bool onBoundary(std::string_view text, std::size_t p) {
    std::size_t leads = 0;
    while (leads < p && is_lead_byte(static_cast<unsigned char>(text[p - 1 - leads]))) ++leads;
    return leads % 2 == 0;
}

// Whether the text ends with a lead byte whose second byte was cut off: the
// scan compares that byte with the terminator as its pair.
bool endsWithCutLead(std::string_view text) { return !onBoundary(text, text.size()); }

// The scan's restart looks only at the character that broke a candidate and
// so can miss an occurrence that began inside it. The leftmost occurrence
// decides wherever the two differ.
void settleLeftmost(Scan& s) {
    if (s.searchLen <= 0 || (s.isFound && s.f_head == 0)) return;
    // Where the search string's bytes occur nowhere before the found
    // occurrence, no earlier occurrence can exist.
    std::string_view text = textOf(s), wanted = wantedOf(s);
    std::size_t first = text.find(wanted);
    if (first == std::string_view::npos) {
        if (!endsWithCutLead(text)) return;  // an occurrence may end on a cut lead byte
    } else if (s.isFound && first >= static_cast<std::size_t>(s.f_head)) {
        return;
    }
    int foot = 0;
    int head = leftmost_occurrence(s.text, s.arg, s.searchLen, foot, s.isFound ? s.f_head : INT_MAX);
    if (head < 0 || (s.isFound && head == s.f_head)) return;
    s.isFound = true;
    s.f_head = head;
    s.f_foot = foot;
    if (level(1) || level(2)) {
        Rec r;
        r.str("# leftmost f_head(").num(head).str(") f_foot(").num(foot).str(")\n");
        emit(r, level(2));
    }
}

// The untraced scan's outcome where it follows from a byte search alone,
// without walking the text character by character. The scan, and the
// leftmost occurrence after it, end in one of two states:
// - an occurrence exists: the leftmost one on a character boundary is the
//   match; the scan walks on to the text's end;
// - none exists: f_head is the start of the candidate still open at the
//   text's end, or 0. An open candidate begins with the first search byte
//   and has matched fewer bytes than the search string holds.
// Returns false where the byte search does not decide, and the scan must
// run: a search string or a text that ends on a cut lead byte, an
// occurrence that starts inside a character, a first search byte near the
// text's end.
bool settledDirectly(Scan& s) {
    if (s.searchLen <= 0) return true;  // nothing can match; f_head stays 0
    std::string_view text = textOf(s), wanted = wantedOf(s);
    if (endsWithCutLead(text) || endsWithCutLead(wanted)) return false;
    std::size_t at = text.find(wanted);
    if (at == std::string_view::npos) {
        std::size_t tail = wanted.size() + 1;
        std::size_t from = text.size() > tail ? text.size() - tail : 0;
        return std::memchr(text.data() + from, s.arg[1], text.size() - from) == nullptr;
    }
    if (!onBoundary(text, at)) return false;
    s.isFound = true;
    s.f_head = static_cast<int>(at);
    s.f_foot = static_cast<int>(at + wanted.size()) - 1;
    s.lenin = static_cast<int>(text.size());  // no cut lead byte: the walk ends at the terminator
    return true;
}

void classify(const Scan& s) {
    if (s.isFound) {
        ++srch.match;
        if (s.f_head == 0) {
            if (s.f_foot == s.lenin - 1) ++srch.match_p;
            else if (s.lenin != s.searchLen) ++srch.match_l;
        }
    }
    if (s.f_head != 0 && s.f_head == s.lenin - s.searchLen && s.f_foot == s.lenin - 1) ++srch.match_r;
    if (level(1) || level(2)) {
        Rec r;
        r.str("# match(").num(srch.match).str(") match_p(").num(srch.match_p).str(") match_l(").num(srch.match_l);
        r.str(") match_r(").num(srch.match_r).str(") lenin(").num(s.lenin).str(")\n");
        emit(r, level(2));
    }
}

// The folded text and search argument of a /i search, and where each
// folded byte of the text comes from.
unsigned char foldedText[2 * Search::kTextMax + 1];
int foldedFrom[2 * Search::kTextMax + 1];
unsigned char foldedArg[1 + 2 * (Options::kChS001Max - 1) + 1];
int foldedArgFrom[2 * (Options::kChS001Max - 1) + 1];

// Points the scan at the folded text and search argument (the letter, then
// the folded search string); the limits apply to the bytes as given.
void foldScan(Scan& s) {
    s.textLen = fold_text(s.text, s.textLen, foldedText, foldedFrom);
    s.text = foldedText;
    foldedArg[0] = s.arg[0];
    int searchLen = s.argLen > 0 ? s.argLen - 1 : 0;
    s.argLen = (s.argLen > 0 ? 1 : 0) + fold_text(s.arg + 1, searchLen, foldedArg + 1, foldedArgFrom);
    s.arg = foldedArg;
}

}  // namespace

int leftmost_occurrence(const unsigned char* text, const unsigned char* arg, int n, int& foot, int before) {
    int p = 0;
    while (text[p] != 0 && p < before) {
        int width = is_lead_byte(text[p]) ? 2 : 1;
        if (text[p] == arg[1]) {
            // Match character by character from p, as the scan compares them.
            int q = p, k = 1;
            while (text[q] != 0) {
                if (is_lead_byte(text[q])) {
                    unsigned char s1 = k + 1 <= n + 1 ? arg[k + 1] : 0;
                    if (text[q] != arg[k] || text[q + 1] != s1) break;
                    if (k + 1 >= n) {
                        foot = q + 1;
                        return p;
                    }
                    if (text[q + 1] == 0) break;
                    k += 2;
                    q += 2;
                } else {
                    if (text[q] != arg[k]) break;
                    if (k >= n) {
                        foot = q;
                        return p;
                    }
                    k += 1;
                    q += 1;
                }
            }
        }
        if (width == 2 && text[p + 1] == 0) break;
        p += width;
    }
    return -1;
}

TextRecord text_record_now() {
    TextRecord rec{{rd.MOJI_head[0], rd.MOJI_head[1], '\0'}, rd.ChX, rd.ChY, rd.ChDX, rd.ChDY,
                   scale_of(rd.GROUP), size_of(rd.MOJIS)};
    return rec;
}

int FIND_STR(unsigned /*jd_x*/) { return find_in_text(std::strlen(srch.ChSTR)); }

int find_in_text(std::size_t textLen) {
    const TextRecord rec = text_record_now();
    traceOpening(rec);
    Scan s;
    s.text = reinterpret_cast<const unsigned char*>(srch.ChSTR);
    s.arg = reinterpret_cast<const unsigned char*>(opts.ChS001);
    s.argLen = static_cast<int>(std::strlen(opts.ChS001));
    s.textLen = static_cast<int>(textLen);
    if (opts.isFold) foldScan(s);
    s.searchLen = s.argLen - 1;
    // Traced scans trace every character; the others are settled by a byte
    // search where that decides.
    bool traced = opts.isTest >= 1 && opts.isTest <= 3;
    if (traced || !settledDirectly(s)) {
        runScan(s);
        settleLeftmost(s);
    }
    classify(s);
    // The circle marks the match's first character as the text holds it.
    mark_match(rec, s.isFound, opts.isFold ? foldedFrom[s.f_head] : s.f_head);
    return 0;
}
