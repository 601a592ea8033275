// The match engine: the match classes and counters, the Shift-JIS character
// classes, the traces of test levels 1 to 3 byte for byte, and the leftmost
// occurrence that decides when the scan's restart misses it.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "exchange/reader.h"
#include "options/options.h"
#include "search/intake.h"
#include "search/match.h"
#include "support/fixture.h"

namespace {

// Shift-JIS characters used below (each two bytes).
const std::string KEN = "\x8C\x9F";   // 検
const std::string SAKU = "\x8D\xF5";  // 索
const std::string ZEN = "\x91\x53";   // 全
const std::string BUN = "\x95\xB6";   // 文
const std::string SO = "\x83\x5C";    // ソ, second byte is the backslash

using Counters = std::array<int, 4>;  // match, match_p, match_l, match_r

Counters counters() { return {srch.match, srch.match_p, srch.match_l, srch.match_r}; }

// The work file holds CR LF line ends on disk.
std::string crlf(const std::string& lf) {
    std::string out;
    for (char c : lf) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void setText(const std::string& text) {
    ASSERT_LE(text.size(), std::size_t{Search::kTextMax});
    std::memcpy(srch.ChSTR, text.data(), text.size());
    srch.ChSTR[text.size()] = '\0';
}

class MatchTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        openWork();
    }

    // Searches `text` with the search argument `arg` (option letter first)
    // and returns how much each counter moved.
    Counters searchDelta(const std::string& arg, const std::string& text) {
        USstrcpyChS001(arg.c_str());
        setText(text);
        Counters before = counters();
        FIND_STR(0);
        Counters after = counters();
        return {after[0] - before[0], after[1] - before[1], after[2] - before[2], after[3] - before[3]};
    }
};

const Counters NONE{0, 0, 0, 0}, EXACT{1, 1, 0, 0}, PREFIX{1, 0, 1, 0}, SUFFIX{1, 0, 0, 1}, INSIDE{1, 0, 0, 0};

struct ClassCase {
    std::string arg, text;
    Counters delta;
};

// The corners of the match classes; the plain classes are compared over
// whole runs in tests/e2e/test_search.py. All cases run one after the
// other, so the counters also have to keep what earlier texts added.
TEST_F(MatchTest, MatchClassesMoveTheCounters) {
    const ClassCase cases[] = {
        {"Zabc", "", NONE},
        {"Zabc", "abcabc", PREFIX},   // begins and ends with it: prefix only
        {"Zabc", "xabcabc", INSIDE}, // the first occurrence counts, not the one at the end
        {"Zabcd", "abc", NONE},      // longer than the text
        {"Za", "aaa", PREFIX},
        // Two-byte characters compare whole.
        {"Z" + KEN + SAKU, KEN + BUN + SAKU, NONE},
        {"Z" + KEN, "a" + KEN, SUFFIX},
        {"Za" + KEN, "xa" + KEN, SUFFIX},
        {"Z" + KEN + "a", KEN + "ab", PREFIX},
        {"Z\x83", SO, NONE},  // nor a lone lead byte the whole character
        // Half-width katakana are one-byte characters.
        {"Z\xB2", "\xB1\xB2", SUFFIX},
        {"Z\xA1", "x\xA1", SUFFIX},
        {"Z\xDF", "\xDF", EXACT},
        {"Z\xDF" "A", "\xDF" "A", EXACT},
        // Lead bytes at the edges of both ranges hide their second byte.
        {"ZA", "\x81" "A", NONE},
        {"ZA", "\x9F" "A", NONE},
        {"ZA", "\xE0" "A", NONE},
        {"ZA", "\xFC" "A", NONE},
        {"ZA", "\x81" "AA", SUFFIX},
        {"Z\x9F" "A", "\x9F" "A", EXACT},
        {"Z\xE0" "A", "x\xE0" "A", SUFFIX},
        {"Z\xFC" "A", "\xFC" "Ax", PREFIX},
        // Bytes outside both ranges are one-byte characters.
        {"ZA", "\x80" "A", SUFFIX},
        {"ZA", "\xA0" "A", SUFFIX},
        {"ZA", "\xFD" "A", SUFFIX},
        {"ZA", "\xFE" "A", SUFFIX},
        {"ZA", "\xFF" "A", SUFFIX},
        {"ZA", "\x7F" "A", SUFFIX},
        {"Z\x80", "\x80", EXACT},
        {"Z\xFD", "x\xFD" "x", INSIDE},
        // A lead byte as the last byte ends the scan: the bytes of the longer
        // text before it, still behind the terminator, are never reached.
        {"Zx", "abcx", SUFFIX},
        {"Zx", "\x81", NONE},
        {"Z\x81", "\x81", EXACT},  // the terminator compares as the second byte
    };
    for (const ClassCase& c : cases) {
        EXPECT_EQ(searchDelta(c.arg, c.text), c.delta) << "search \"" << c.arg.substr(1) << "\" in \"" << c.text << "\"";
    }
}

// Without /Z, and with a bare "/Z", nothing matches; the text "Z" checks
// that the option letter is never taken as part of the search string.
TEST_F(MatchTest, MissingOrEmptySearchStringMatchesNothing) {
    const std::string texts[] = {"", "Z", "z", "a", "abc", KEN + SAKU, "\x8C"};
    for (const std::string& text : texts) {
        setText(text);
        FIND_STR(0);  // no /Z: the search argument is empty
        EXPECT_EQ(counters(), NONE) << "no /Z, text \"" << text << "\"";
    }
    for (const std::string& text : texts) {
        EXPECT_EQ(searchDelta("Z", text), NONE) << "bare /Z, text \"" << text << "\"";
    }
    EXPECT_EQ(closeWork(), "");  // no circle either
}

// The intake cuts the field at its first NUL, CR or LF, wherever it lies
// (also right at a 16-byte boundary), and at 231 bytes; bytes after a NUL
// are stale and never count.
TEST_F(MatchTest, IntakeCutsAtTheFirstLineEndOrNul) {
    USstrcpyChS001("Zq");
    const std::size_t positions[] = {0, 1, 15, 16, 17, 31, 32, 100, 223, 224, 230, 231, 232, 239, 240, 255, 260};
    for (char end : {'\0', '\r', '\n'}) {
        for (std::size_t at : positions) {
            std::memset(rd.ChSTR0, 'x', sizeof rd.ChSTR0);
            rd.ChSTR0[sizeof rd.ChSTR0 - 1] = '\0';
            rd.ChSTR0[at] = end;
            if (at + 1 < sizeof rd.ChSTR0 - 1) rd.ChSTR0[at + 1] = end == '\0' ? '\r' : '\0';
            CHR_PRO(0);
            EXPECT_EQ(std::strlen(srch.ChSTR), std::min<std::size_t>(at, Search::kTextMax))
                << static_cast<int>(end) << " at " << at;
        }
    }
}

// A text field longer than 231 bytes whose byte 230 is a lead byte: the cut
// keeps the lead byte alone, the scan compares it with the terminator and
// ends after it, having passed 232 bytes.
TEST_F(MatchTest, LeadByteCutAt231EndsTheScanAt232) {
    std::string field = std::string(230, 'x') + KEN + "yyyy\n";
    std::strcpy(rd.ChSTR0, field.c_str());
    USstrcpyChS001("Zq");

    opts.isTest = 2;
    testing::internal::CaptureStdout();
    CHR_PRO(0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::strlen(srch.ChSTR), 231u);
    const std::string last = "# match(0) match_p(0) match_l(0) match_r(0) lenin(232)\n";
    ASSERT_GE(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last);

    opts.isTest = 1;
    CHR_PRO(0);
    std::string work = closeWork();
    EXPECT_NE(work.find(crlf("# SHIFT-J ci(230) ChSTR[8c][0] ChS001[5a][71][0][0]\n"
                             "# match(0) match_p(0) match_l(0) match_r(0) lenin(232)\n")),
              std::string::npos);

    opts.isTest = 3;
    openWork();
    testing::internal::CaptureStdout();
    CHR_PRO(0);
    out = testing::internal::GetCapturedStdout();
    const std::string tail = "[78][8c] [8c][0] [8c][0] ";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

// ---------------------------------------------------------------------------
// Traces, derived by hand from the scan for small texts. The text's start
// point is (10, -20.04), its direction (12.34, 0), character width 2 and no
// height or spacing, so the circle lies at x = 11 + f_head.

struct TraceCase {
    const char* name;
    int iMode;
    std::string arg, text;
    std::string work1;     // level 1, work file, without the circle
    std::string console2;  // level 2, standard output after the three opening lines
    std::string console3;  // level 3, standard output
    std::string circle;    // the circle record, or "" when nothing matched
};

std::string circleAt(int f_head) {
    return "ci " + std::to_string(11 + f_head) + ".000000000000 -20.040000000000 2.500000000000 \n";
}

const std::string CHR = "# CHR_PRO  now \n";

std::string command(int mode, const std::string& arg) {
    return "\n#----- command /M(" + std::to_string(mode) + ") /Z(" + arg + ")\n";
}

const TraceCase traceCases[] = {
    {"one-byte exact", 1, "Zab", "ab",
     CHR + command(1, "Zab") +
         "## Ichi-in ci0(1):ci(0)=(0x61)\n"
         "## Ichi-break len=ci0(2) ci(1)=(0x62) f_head(0) f_foot(1)\n"
         "# match(1) match_p(1) match_l(0) match_r(0) lenin(2)\n",
     "## Ichi-in ci0(1):ci(0)=(0x61)\n"
     "## Ichi-break len=ci0(2) ci(1)=(0x62) f_head(0) f_foot(1)\n"
     "# match(1) match_p(1) match_l(0) match_r(0) lenin(2)\n",
     "[61][62] [62][0] [62][0] ", circleAt(0)},
    {"one-byte broken candidate", 1, "Zab", "ax",
     CHR + command(1, "Zab") +
         "## Ichi-in ci0(1):ci(0)=(0x61)\n"
         "# match(0) match_p(0) match_l(0) match_r(0) lenin(2)\n",
     "## Ichi-in ci0(1):ci(0)=(0x61)\n"
     "# match(0) match_p(0) match_l(0) match_r(0) lenin(2)\n",
     "[61][78] [78][0] ", ""},
    {"two-byte suffix", 1, "Z" + KEN + SAKU, ZEN + BUN + KEN + SAKU,
     CHR + command(1, "Z" + KEN + SAKU) +
         "# SHIFT-J ci(0) ChSTR[91][53] ChS001[5a][8c][9f][8d]\n"
         "# SHIFT-J ci(2) ChSTR[95][b6] ChS001[5a][8c][9f][8d]\n"
         "## Ichi-in ci0(1):ci(4)=(0x8c)\n"
         "# SHIFT-J ci(4) ChSTR[8c][9f] ChS001[5a][8c][9f][8d]\n"
         "## Ichi-break len=ci0(4) ci(6)=(0x8d) f_head(4) f_foot(7)\n"
         "# SHIFT-J ci(6) ChSTR[8d][f5] ChS001[5a][8c][9f][8d]\n"
         "# match(1) match_p(0) match_l(0) match_r(1) lenin(8)\n",
     "##2 Ichi ci0(4) \n"
     "# match(1) match_p(0) match_l(0) match_r(1) lenin(8)\n",
     "[91][53] [91][53] [95][b6] [95][b6] [8c][9f] [8c][9f] [8d][f5] [8d][f5] [8d][f5] ", circleAt(4)},
    {"two-byte restart", 1, "Z" + KEN + SAKU, KEN + KEN + SAKU,
     CHR + command(1, "Z" + KEN + SAKU) +
         "## Ichi-in ci0(1):ci(0)=(0x8c)\n"
         "# SHIFT-J ci(0) ChSTR[8c][9f] ChS001[5a][8c][9f][8d]\n"
         "## Ichi-break len=ci0(4) ci(4)=(0x8d) f_head(2) f_foot(5)\n"
         "# SHIFT-J ci(4) ChSTR[8d][f5] ChS001[5a][8c][9f][8d]\n"
         "# match(1) match_p(0) match_l(0) match_r(1) lenin(6)\n",
     "# new head f_head(2)\n"
     "##2 Ichi ci0(4) \n"
     "# match(1) match_p(0) match_l(0) match_r(1) lenin(6)\n",
     "[8c][9f] [8c][9f] [8c][9f] [8c][9f] [8d][f5] [8d][f5] [8d][f5] ", circleAt(2)},
    {"mixed widths, mode 3", 3, "Za" + KEN, "xa" + KEN,
     CHR + command(3, "Za" + KEN) +
         "## Ichi-in ci0(1):ci(1)=(0x61)\n"
         "## Ichi-break len=ci0(3) ci(2)=(0x8c) f_head(1) f_foot(3)\n"
         "# SHIFT-J ci(2) ChSTR[8c][9f] ChS001[5a][61][8c][9f]\n"
         "# match(1) match_p(0) match_l(0) match_r(1) lenin(4)\n",
     "## Ichi-in ci0(1):ci(1)=(0x61)\n"
     "##2 Ichi ci0(3) \n"
     "# match(1) match_p(0) match_l(0) match_r(1) lenin(4)\n",
     "[78][61] [61][8c] [8c][9f] [8c][9f] [8c][9f] ", circleAt(1)},
    {"short search after a two-byte character", 1, "Za", KEN + "a",
     CHR + command(1, "Za") +
         "# SHIFT-J ci(0) ChSTR[8c][9f] ChS001[5a][61][0][0]\n"
         "## Ichi-in ci0(1):ci(2)=(0x61)\n"
         "## Ichi-break len=ci0(1) ci(2)=(0x61) f_head(2) f_foot(2)\n"
         "# match(1) match_p(0) match_l(0) match_r(1) lenin(3)\n",
     "## Ichi-in ci0(1):ci(2)=(0x61)\n"
     "## Ichi-break len=ci0(1) ci(2)=(0x61) f_head(2) f_foot(2)\n"
     "# match(1) match_p(0) match_l(0) match_r(1) lenin(3)\n",
     "[8c][9f] [8c][9f] [61][0] [61][0] ", circleAt(2)},
    {"lead byte as the last byte", 1, "Zb", "a\x8C",
     CHR + command(1, "Zb") +
         "# SHIFT-J ci(1) ChSTR[8c][0] ChS001[5a][62][0][0]\n"
         "# match(0) match_p(0) match_l(0) match_r(0) lenin(3)\n",
     "# match(0) match_p(0) match_l(0) match_r(0) lenin(3)\n",
     "[61][8c] [8c][0] [8c][0] ", ""},
    {"no /Z", 1, "", "ab",
     CHR + command(1, "") + "# match(0) match_p(0) match_l(0) match_r(0) lenin(2)\n",
     "# match(0) match_p(0) match_l(0) match_r(0) lenin(2)\n",
     "[61][62] [62][0] ", ""},
    // The scan's restart misses the leftmost occurrence, which then decides.
    {"leftmost before a later found one", 1, "Zaab", "aaab aab",
     CHR + command(1, "Zaab") +
         "## Ichi-in ci0(1):ci(0)=(0x61)\n"
         "## Ichi-in ci0(1):ci(5)=(0x61)\n"
         "## Ichi-break len=ci0(3) ci(7)=(0x62) f_head(5) f_foot(7)\n"
         "# leftmost f_head(1) f_foot(3)\n"
         "# match(1) match_p(0) match_l(0) match_r(0) lenin(8)\n",
     "## Ichi-in ci0(1):ci(0)=(0x61)\n"
     "# new head f_head(2)\n"
     "## Ichi-in ci0(1):ci(5)=(0x61)\n"
     "## Ichi-break len=ci0(3) ci(7)=(0x62) f_head(5) f_foot(7)\n"
     "# leftmost f_head(1) f_foot(3)\n"
     "# match(1) match_p(0) match_l(0) match_r(0) lenin(8)\n",
     "[61][61] [61][61] [61][62] [62][20] [20][61] [61][61] [61][62] [62][0] [62][0] ", circleAt(1)},
    {"leftmost, two-byte suffix", 1, "Z" + KEN + KEN + SAKU, KEN + KEN + KEN + SAKU,
     CHR + command(1, "Z" + KEN + KEN + SAKU) +
         "## Ichi-in ci0(1):ci(0)=(0x8c)\n"
         "# SHIFT-J ci(0) ChSTR[8c][9f] ChS001[5a][8c][9f][8c]\n"
         "# SHIFT-J ci(2) ChSTR[8c][9f] ChS001[5a][8c][9f][8c]\n"
         "# SHIFT-J ci(6) ChSTR[8d][f5] ChS001[5a][8c][9f][8c]\n"
         "# leftmost f_head(2) f_foot(7)\n"
         "# match(1) match_p(0) match_l(0) match_r(1) lenin(8)\n",
     "# new head f_head(4)\n"
     "# leftmost f_head(2) f_foot(7)\n"
     "# match(1) match_p(0) match_l(0) match_r(1) lenin(8)\n",
     "[8c][9f] [8c][9f] [8c][9f] [8c][9f] [8c][9f] [8c][9f] [8d][f5] [8d][f5] ", circleAt(2)},
};

class TraceTest : public TempDirTest {
protected:
    struct Run {
        std::string work, out;
    };

    // Runs the text record through CHR_PRO at `level` from fresh counters.
    Run runAt(const TraceCase& c, int level) {
        srch = Search{};
        opts.isTest = level;
        opts.iMode = c.iMode;
        USstrcpyChS001(c.arg.c_str());
        std::strcpy(rd.ChSTR0, (c.text + "\n").c_str());
        rd.ChX = 10.0;
        rd.ChY = -20.04;
        rd.ChDX = 12.34;
        rd.ChDY = 0.0;
        rd.MOJIS = 1;
        rd.MOJI_W[1] = 2.0;
        openWork();
        testing::internal::CaptureStdout();
        CHR_PRO(0);
        std::string out = testing::internal::GetCapturedStdout();
        return {closeWork(), out};
    }

    static std::string opening(const TraceCase& c) {
        return command(c.iMode, c.arg) + "#        input(ChSTR) = Head(ch)  ChSTR(" + c.text + ")\n" +
               "#        input(ChX,ChY)=(10.0, -20.0) (ChDX,ChDY)=(12.3, 0.0)\n";
    }
};

TEST_F(TraceTest, EachLevelWritesItsLinesInOrder) {
    for (const TraceCase& c : traceCases) {
        SCOPED_TRACE(c.name);
        Run r1 = runAt(c, 1);
        EXPECT_EQ(r1.work, crlf(c.work1 + c.circle));
        EXPECT_EQ(r1.out, "");

        Run r2 = runAt(c, 2);
        EXPECT_EQ(r2.work, crlf(c.circle));
        EXPECT_EQ(r2.out, opening(c) + c.console2);

        Run r3 = runAt(c, 3);
        EXPECT_EQ(r3.work, crlf(c.circle));
        EXPECT_EQ(r3.out, c.console3);
    }
}

// ---------------------------------------------------------------------------
// Property: over random search strings and texts made of one-byte and
// two-byte characters, the engine agrees with a plain leftmost search on
// character boundaries.

// Characters whose bytes can fool a byte-wise search: "\x83a" ends in "a",
// "\x8C\x8C" ends in a lead byte, 0xB1 is a one-byte katakana.
const std::vector<std::string> alphabet = {"a", "b", "\xB1", KEN, "\x83" "a", "\x8C\x8C"};

struct Expected {
    bool found;
    int f_head;
    Counters delta;
};

// Plain search: the first character index at which the text's characters
// equal the search string's characters.
Expected leftmostByCharacters(const std::vector<std::string>& search, const std::vector<std::string>& text) {
    int searchBytes = 0, textBytes = 0;
    for (const std::string& ch : search) searchBytes += static_cast<int>(ch.size());
    for (const std::string& ch : text) textBytes += static_cast<int>(ch.size());
    int offset = 0;
    for (std::size_t i = 0; i + search.size() <= text.size(); ++i) {
        bool equal = true;
        for (std::size_t k = 0; k < search.size() && equal; ++k) equal = text[i + k] == search[k];
        if (equal) {
            Counters d = INSIDE;
            if (offset == 0 && textBytes == searchBytes) d = EXACT;
            else if (offset == 0) d = PREFIX;
            else if (offset + searchBytes == textBytes) d = SUFFIX;
            return {true, offset, d};
        }
        offset += static_cast<int>(text[i].size());
    }
    return {false, 0, NONE};
}

TEST_F(MatchTest, AgreesWithPlainLeftmostSearch) {
    constexpr int kSamples = 20000;
    std::mt19937 rng(20240611);
    auto pick = [&](std::uint32_t n) { return static_cast<int>(rng() % n); };
    // Geometry: character width 2, no height, so a circle lies at x = f_head + 1
    // and carries the sample's number as its y.
    rd.MOJI_W[1] = 2.0;
    rd.ChDX = 1.0;

    std::vector<Expected> expected;
    Counters classes{};
    for (int n = 0; n < kSamples && !HasFailure(); ++n) {
        // A few characters of the alphabet per sample, so that repeats and
        // near misses are common.
        std::vector<std::string> chars;
        int used = 2 + pick(2);
        for (int i = 0; i < used; ++i) chars.push_back(alphabet[pick(static_cast<std::uint32_t>(alphabet.size()))]);
        std::vector<std::string> search(1 + pick(3)), text(pick(9));
        std::string searchBytes = "Z", textBytes;
        for (std::string& ch : search) searchBytes += ch = chars[pick(static_cast<std::uint32_t>(chars.size()))];
        for (std::string& ch : text) textBytes += ch = chars[pick(static_cast<std::uint32_t>(chars.size()))];

        Expected e = leftmostByCharacters(search, text);
        rd.ChY = n;
        EXPECT_EQ(searchDelta(searchBytes, textBytes), e.delta) << "sample " << n;
        expected.push_back(e);
        for (int k = 1; k < 4; ++k) classes[k] += e.delta[k];
        classes[0] += e.found;
    }
    // The samples reach every class, so the comparison means something.
    EXPECT_GT(classes[0], kSamples / 5);
    for (int k = 1; k < 4; ++k) EXPECT_GT(classes[k], kSamples / 50) << "class " << k;

    // One circle per found sample, in order, at its f_head.
    std::string work = closeWork();
    std::size_t pos = 0;
    for (int n = 0; n < static_cast<int>(expected.size()); ++n) {
        if (!expected[n].found) continue;
        std::string want = crlf("ci " + std::to_string(expected[n].f_head + 1) + ".000000000000 " + std::to_string(n) +
                                ".000000000000 2.500000000000 \n");
        ASSERT_EQ(work.compare(pos, want.size(), want), 0) << "sample " << n << ": want " << want << "got "
                                                           << work.substr(pos, want.size());
        pos += want.size();
    }
    EXPECT_EQ(pos, work.size());
}

// Property: the untraced scan, which passes over idle stretches in one
// step, ends in the same state as the traced scan, which takes every
// character: the same counters and the same f_head (seen in the running
// maximum), found or not, also for texts that end on a cut lead byte.
TEST_F(MatchTest, UntracedScanAgreesWithTracedScan) {
    constexpr int kSamples = 20000;
    std::mt19937 rng(20261209);
    auto pick = [&](std::uint32_t n) { return static_cast<int>(rng() % n); };
    // Character width 2 along the x axis: the running maximum is f_head + 2.
    rd.MOJI_W[1] = 2.0;
    rd.ChDX = 1.0;
    struct Outcome {
        Counters delta;
        double reach;
    };
    auto searchAt = [&](int level, const std::string& arg, const std::string& text) {
        opts.isTest = level;
        srch.Mx000 = -1e9;
        Counters delta = searchDelta(arg, text);
        return Outcome{delta, srch.Mx000};
    };
    int notFoundOpen = 0;
    for (int n = 0; n < kSamples && !HasFailure(); ++n) {
        std::string arg = "Z", text;
        for (int i = 1 + pick(3); i > 0; --i) arg += alphabet[pick(static_cast<std::uint32_t>(alphabet.size()))];
        for (int i = pick(10); i > 0; --i) text += alphabet[pick(static_cast<std::uint32_t>(alphabet.size()))];
        if (pick(4) == 0) text += '\x8C';  // a cut lead byte at the end
        Outcome fast = searchAt(0, arg, text);
        Outcome full = searchAt(1, arg, text);
        EXPECT_EQ(fast.delta, full.delta) << "sample " << n;
        EXPECT_EQ(fast.reach, full.reach) << "sample " << n;
        notFoundOpen += fast.delta[0] == 0 && fast.reach != 2.0;
    }
    // Unfound texts that leave a candidate open (f_head not 0) occur, so the
    // comparison covers the state the scan ends in, not only the counters.
    EXPECT_GT(notFoundOpen, kSamples / 100);
}

}  // namespace
