// The exchange file reader: what each record sets, what reaches the work
// file, the traces, and the handling of long, odd and unterminated lines.
#include "exchange/reader.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

#include "options/options.h"
#include "platform/textfile.h"
#include "search/match.h"
#include "support/fixture.h"

namespace {

using namespace std::string_literals;

// Joins lines, each ended with CR LF as the host writes them.
std::string crlf(std::initializer_list<std::string_view> lines) {
    std::string s;
    for (std::string_view line : lines) {
        s += line;
        s += "\r\n";
    }
    return s;
}

// Bytes shown with control and non-ASCII bytes escaped.
std::string shown(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

// Every variable of the reader, one per line, doubles by their exact bits,
// so that two states compare equal only when every value is the same.
std::string describe(const Reader& r) {
    std::string s;
    auto real = [&s](const char* name, double v, int index = -1) {
        char line[96];
        if (index < 0) std::snprintf(line, sizeof line, "%s=%a\n", name, v);
        else std::snprintf(line, sizeof line, "%s[%d]=%a\n", name, index, v);
        s += line;
    };
    auto integer = [&s](const char* name, int v) {
        s += name;
        s += '=';
        s += std::to_string(v);
        s += '\n';
    };
    auto reals = [&real](const char* name, const double* v, int n) {
        for (int i = 0; i < n; ++i) real(name, v[i], i);
    };
    s += "MOJI_head=";
    s += shown(std::string_view(r.MOJI_head, 2));
    s += "\nChSTR0=";
    s += shown(r.ChSTR0);
    s += '\n';
    real("ChX", r.ChX);
    real("ChY", r.ChY);
    real("ChDX", r.ChDX);
    real("ChDY", r.ChDY);
    integer("iCHR_cnt", r.iCHR_cnt);
    integer("MOJIS", r.MOJIS);
    reals("MOJI_W", r.MOJI_W, 11);
    reals("MOJI_H", r.MOJI_H, 11);
    reals("MOJI_D", r.MOJI_D, 11);
    integer("MOJI_C", r.MOJI_C);
    reals("G_SCALE", r.G_SCALE, 16);
    integer("GROUP", r.GROUP);
    integer("LAYER", r.LAYER);
    integer("TYPE", r.TYPE);
    integer("COLOR", r.COLOR);
    integer("TENS", r.TENS);
    real("PNX1", r.PNX1);
    real("PNY1", r.PNY1);
    real("PNX2", r.PNX2);
    real("PNY2", r.PNY2);
    integer("stepcnt", r.stepcnt);
    reals("PX", r.PX, Reader::HPmax + 1);
    reals("PY", r.PY, Reader::HPmax + 1);
    integer("iPOINT", r.iPOINT);
    integer("GROUPi", r.GROUPi);
    integer("LAYERi", r.LAYERi);
    integer("TYPEi", r.TYPEi);
    integer("COLORi", r.COLORi);
    integer("TENSi", r.TENSi);
    integer("MOJISi", r.MOJISi);
    integer("MOJICi", r.MOJICi);
    real("MOJIWi", r.MOJIWi);
    real("MOJIHi", r.MOJIHi);
    real("MOJIDi", r.MOJIDi);
    return s;
}

void setText(Reader& r, std::string_view text) {
    std::memset(r.ChSTR0, 0, sizeof r.ChSTR0);
    std::memcpy(r.ChSTR0, text.data(), text.size());
}

class ReaderTest : public TempDirTest {
protected:
    struct Result {
        std::string work;  // the work file's bytes
        std::string out;   // what went to standard output
    };

    // Runs the reader over `input` (the exchange file's bytes on disk).
    Result read(const std::string& input, int level = 0, unsigned jd_xmax = 9, unsigned jd_limit = 150000) {
        opts.isTest = level;
        openWork();
        openInput(input);
        testing::internal::CaptureStdout();
        int status = QX_PATTERN(jd_xmax, jd_limit);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 0);
        return {closeWork(), out};
    }
};

// One input and its effect on the reader's state (as changes from the
// start values); none of these records writes anything.
struct DispatchCase {
    const char* name;
    std::string input;
    void (*expect)(Reader&);
    int level = 0;
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name << ": " << shown(c.input); }

void nothing(Reader&) {}

const DispatchCase kDispatchCases[] = {
    // Header records.
    {"hn_points", crlf({"hn 1.5 2.5 -3 4e1"}),
     [](Reader& e) { e.PNX1 = 1.5, e.PNY1 = 2.5, e.PNX2 = -3, e.PNY2 = 40; }},
    {"hn_from_byte_3", crlf({"hn7 8 9 10"}), [](Reader& e) { e.PNX1 = 7, e.PNY1 = 8, e.PNX2 = 9, e.PNY2 = 10; }},
    {"hs_sixteen_scales", crlf({"hs 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16.5 17"}),
     [](Reader& e) {
         for (int i = 0; i < 16; ++i) e.G_SCALE[i] = i + 1;
         e.G_SCALE[15] = 16.5;
     }},
    {"hs_from_byte_4", crlf({"hs9 2 3"}), [](Reader& e) { e.G_SCALE[0] = 2, e.G_SCALE[1] = 3; }},
    {"hcw_widths_1_to_10", crlf({"hcw 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5 6"}),
     [](Reader& e) {
         for (int i = 1; i <= 10; ++i) e.MOJI_W[i] = 0.5 * i;
     }},
    {"hcw_from_byte_5", crlf({"hcw9 2"}), [](Reader& e) { e.MOJI_W[1] = 2; }},
    {"hch_heights_1_to_10", crlf({"hch 1 2 3 4 5 6 7 8 9 10"}),
     [](Reader& e) {
         for (int i = 1; i <= 10; ++i) e.MOJI_H[i] = i;
     }},
    {"hcd_spacings_1_to_10", crlf({"hcd 10 9 8 7 6 5 4 3 2 1"}),
     [](Reader& e) {
         for (int i = 1; i <= 10; ++i) e.MOJI_D[i] = 11 - i;
     }},
    {"hcc_takes_nothing", crlf({"hcc 1 2 3 4 5 6 7 8 9 10"}), nothing},
    {"hq_step_1", crlf({"hq"}), [](Reader& e) { e.stepcnt = 1; }},
    {"other_h_records", crlf({"h", "hz 1 2", "hc 1 2", "hcx 1 2"}), nothing},

    // Attribute records.
    {"lg_hexadecimal", crlf({"lga"}), [](Reader& e) { e.GROUP = e.GROUPi = 10; }},
    {"lg_upper_case_hex", crlf({"lgB"}), [](Reader& e) { e.GROUP = e.GROUPi = 11; }},
    {"lg_after_white_space", crlf({"lg \t3"}), [](Reader& e) { e.GROUP = e.GROUPi = 3; }},
    {"ly_hexadecimal", crlf({"ly1f"}), [](Reader& e) { e.LAYER = e.LAYERi = 31; }},
    {"lt_decimal", crlf({"lt10"}), [](Reader& e) { e.TYPE = e.TYPEi = 10; }},
    {"lc_decimal", crlf({"lc12"}), [](Reader& e) { e.COLOR = e.COLORi = 12; }},
    {"pn_hexadecimal", crlf({"pn1f"}), [](Reader& e) { e.TENS = e.TENSi = 31; }},
    {"other_l_and_p_records", crlf({"l", "lx5", "pt 1 2", "pl 1 2 3 4", "p", "px3"}), nothing},
    {"z_empty_and_odd_first_bytes", crlf({"z 1 2", "", "x", "\x82\xa0", "9 1 2", "\t1 2 3 4"}), nothing},

    // Text sizes.
    {"cn0_free_size", crlf({"cn0 2.5 2.5 0.5 1"}),
     [](Reader& e) {
         e.MOJIS = 0, e.MOJI_W[0] = 2.5, e.MOJI_H[0] = 2.5, e.MOJI_D[0] = 0.5, e.MOJI_C = 1;
         e.MOJISi = 0, e.MOJIWi = 2.5, e.MOJIHi = 2.5, e.MOJIDi = 0.5, e.MOJICi = 1;
     }},
    {"cn0_then_cn3_keeps_captures", crlf({"cn0 2.5 2.5 0.5 1", "cn3"}),
     [](Reader& e) {
         e.MOJIS = 3, e.MOJI_W[0] = 2.5, e.MOJI_H[0] = 2.5, e.MOJI_D[0] = 0.5, e.MOJI_C = 1;
         e.MOJISi = 0, e.MOJIWi = 2.5, e.MOJIHi = 2.5, e.MOJIDi = 0.5, e.MOJICi = 1;
     }},
    {"cn3_then_cn0_captures_3", crlf({"cn3", "cn0 2.5 2.5 0.5 1"}),
     [](Reader& e) {
         e.MOJIS = 0, e.MOJI_W[0] = 2.5, e.MOJI_H[0] = 2.5, e.MOJI_D[0] = 0.5, e.MOJI_C = 1;
         e.MOJISi = 3;
     }},
    {"cn0_twice_captures_first", crlf({"cn0 1 2 3 4", "cn0 5 6 7 8"}),
     [](Reader& e) {
         e.MOJIS = 0, e.MOJI_W[0] = 5, e.MOJI_H[0] = 6, e.MOJI_D[0] = 7, e.MOJI_C = 8;
         e.MOJISi = 0, e.MOJIWi = 1, e.MOJIHi = 2, e.MOJIDi = 3, e.MOJICi = 4;
     }},
    {"cn0_comma_form_gives_width_only", crlf({"cn0 2.50, 2.50, 0.50, 1"}),
     [](Reader& e) {
         e.MOJIS = 0, e.MOJI_W[0] = 2.5;
         e.MOJISi = 0, e.MOJIWi = 2.5, e.MOJIHi = 0, e.MOJIDi = 0, e.MOJICi = 0;
     }},
    {"cn3_numbered_size", crlf({"cn3"}), [](Reader& e) { e.MOJIS = e.MOJISi = 3; }},
    {"cn_quote_takes_nothing", crlf({"cn\"abc", "cn\" 5"}), nothing},
    {"cc_and_ci_take_nothing", crlf({"cc 5", "ci 1 2 3", "ci", "cc"}), nothing},

    // Text records: "c" and any second byte but "c", "n", "i".
    {"ch_text_record", crlf({"ch 1.5 -2 3 0 \"abc"}),
     [](Reader& e) {
         e.ChX = 1.5, e.ChY = -2, e.ChDX = 3, e.ChDY = 0, e.iCHR_cnt = 1;
         setText(e, "abc\n");
     }},
    {"c_digit_text_record", crlf({"c1 1 2 3 4 \"x"}),
     [](Reader& e) {
         std::memcpy(e.MOJI_head, "c1", 2);
         e.ChX = 1, e.ChY = 2, e.ChDX = 3, e.ChDY = 4, e.iCHR_cnt = 1;
         setText(e, "x\n");
     }},
    {"c_space_text_record", crlf({"c  1 2 3 4 \"x"}),
     [](Reader& e) {
         std::memcpy(e.MOJI_head, "c ", 2);
         e.ChX = 1, e.ChY = 2, e.ChDX = 3, e.ChDY = 4, e.iCHR_cnt = 1;
         setText(e, "x\n");
     }},
    {"c_letter_text_record", crlf({"cx 1 2 3 4 \"x"}),
     [](Reader& e) {
         std::memcpy(e.MOJI_head, "cx", 2);
         e.ChX = 1, e.ChY = 2, e.ChDX = 3, e.ChDY = 4, e.iCHR_cnt = 1;
         setText(e, "x\n");
     }},
    {"ch_text_keeps_quotes_and_blanks", crlf({"ch 1 2 3 4\"  a\"b c\" "}),
     [](Reader& e) {
         e.ChX = 1, e.ChY = 2, e.ChDX = 3, e.ChDY = 4, e.iCHR_cnt = 1;
         setText(e, "  a\"b c\" \n");
     }},

    // Point records.
    {"hp_ln_step_2", crlf({"hp1ln 5 6"}), [](Reader& e) { e.stepcnt = 2; }},
    {"hp_ch_step_2", crlf({"hp2ch 5 6"}), [](Reader& e) { e.stepcnt = 2; }},
    {"hp_space", crlf({"hp1 2.5 3.5"}), [](Reader& e) { e.iPOINT = 1, e.PX[1] = 2.5, e.PY[1] = 3.5; }},
    {"hp_plus", crlf({"hp2+4 5"}), [](Reader& e) { e.iPOINT = 2, e.PX[2] = 4, e.PY[2] = 5; }},
    {"hp_slash", crlf({"hp3/6 7"}), [](Reader& e) { e.iPOINT = 3, e.PX[3] = 6, e.PY[3] = 7; }},
    {"hp_minus", crlf({"hp0-8 9"}), [](Reader& e) { e.iPOINT = 0, e.PX[0] = 8, e.PY[0] = 9; }},
    {"hp4_stores_nothing", crlf({"hp4 1 2"}), [](Reader& e) { e.iPOINT = 4; }, 3},
    {"hp_other_variants_take_nothing", crlf({"hp1x 1 2", "hp1l 1 2", "hp1c 1 2", "hp1", "hp"}), nothing, 3},

    // Line records and the progress marker (shown at test level 3).
    {"line_ends_differ_step_3", crlf({" 0 0 10 5"}), [](Reader& e) { e.stepcnt = 3; }, 3},
    {"line_y_differs_step_3", crlf({" 1 2 1 3"}), [](Reader& e) { e.stepcnt = 3; }, 3},
    {"line_x_differs_step_3", crlf({" 1 2 3 2"}), [](Reader& e) { e.stepcnt = 3; }, 3},
    {"line_ends_equal_no_step", crlf({" 1 1 1 1"}), nothing, 3},
    {"last_marker_wins_hp", crlf({"hq", " 0 0 1 1", "hp1ln"}), [](Reader& e) { e.stepcnt = 2; }, 3},
    {"last_marker_wins_line", crlf({"hq", "hp1ch", " 0 0 1 1"}), [](Reader& e) { e.stepcnt = 3; }, 3},

    // Only "#" and "bz" lines are copied (tests/e2e/test_report.py); other
    // "b" lines are dropped.
    {"b_and_other_byte_dropped", crlf({"ba 1", "b", "b z", "bZ"}), nothing},

    // Fields that do not convert leave them and the later fields unchanged.
    {"hn_stops_at_bad_field", crlf({"hn 9 9 9 9", "hn 1 2 x 4"}),
     [](Reader& e) { e.PNX1 = 1, e.PNY1 = 2, e.PNX2 = 9, e.PNY2 = 9; }},
    {"hs_stops_at_bad_field", crlf({"hs 5 5 5 5", "hs 2 x 4"}),
     [](Reader& e) { e.G_SCALE[0] = 2, e.G_SCALE[1] = 5, e.G_SCALE[2] = 5, e.G_SCALE[3] = 5; }},
    {"hcw_stops_at_bad_field", crlf({"hcw 1 2 , 4"}), [](Reader& e) { e.MOJI_W[1] = 1, e.MOJI_W[2] = 2; }},
    {"lg_bad_field_keeps_group", crlf({"lg3", "lgz", "lg"}), [](Reader& e) { e.GROUP = e.GROUPi = 3; }},
    {"lt_bad_field_keeps_type", crlf({"lt4", "lt x"}), [](Reader& e) { e.TYPE = e.TYPEi = 4; }},
    {"hp_stops_at_bad_field", crlf({"hp1 1 2", "hp1 5 x"}), [](Reader& e) { e.iPOINT = 1, e.PX[1] = 5, e.PY[1] = 2; }},
    {"cn0_stops_at_bad_field", crlf({"cn0 1 2 3 4", "cn0 5 x 7 8"}),
     [](Reader& e) {
         e.MOJIS = 0, e.MOJI_W[0] = 5, e.MOJI_H[0] = 2, e.MOJI_D[0] = 3, e.MOJI_C = 4;
         e.MOJISi = 0, e.MOJIWi = 1, e.MOJIHi = 2, e.MOJIDi = 3, e.MOJICi = 4;
     }},
    {"ch_stops_at_bad_field", crlf({"ch 5 6 7 8 \"old", "ch 1 2 x 4 \"new"}),
     [](Reader& e) {
         e.ChX = 1, e.ChY = 2, e.ChDX = 7, e.ChDY = 8, e.iCHR_cnt = 2;
         setText(e, "old\n");
     }},
    {"ch_without_quote_keeps_text", crlf({"ch 5 6 7 8 \"old", "ch 1 2 3 4 new"}),
     [](Reader& e) {
         e.ChX = 1, e.ChY = 2, e.ChDX = 3, e.ChDY = 4, e.iCHR_cnt = 2;
         setText(e, "old\n");
     }},
};

class ReaderDispatch : public ReaderTest, public testing::WithParamInterface<DispatchCase> {};

TEST_P(ReaderDispatch, SetsExactlyWhatTheRecordCarries) {
    const DispatchCase& c = GetParam();
    Result r = read(c.input, c.level);
    Reader expected;
    c.expect(expected);
    EXPECT_EQ(describe(rd), describe(expected));
    EXPECT_EQ(shown(r.work), "");
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(Records, ReaderDispatch, testing::ValuesIn(kDispatchCases),
                         [](const testing::TestParamInfo<DispatchCase>& info) { return std::string(info.param.name); });

// Points are traced at level 3 only, with the values stored: a field that
// does not convert leaves the earlier value.
TEST_F(ReaderTest, PointsAreTracedAtLevel3Only) {
    std::string input = crlf({"hp1 2.5 3.25", "hp2+4 5", "hp3/6.126 7", "hp0-8 9.999", "hp1 x", "hp2 1e1 2e1", "hp1/"});
    for (int level : {0, 1, 2, 3, 4, 6}) {
        reset_program_state();
        Result r = read(input, level);
        EXPECT_EQ(r.out, level != 3 ? ""
                                    : "##  hp1   2.50 3.25 \n"
                                      "##  hp3/  6.13 7.00 \n"
                                      "##  hp0-  8.00 10.00 \n"
                                      "##  hp1   2.50 3.25 \n"
                                      "##  hp2   10.00 20.00 \n"
                                      "##  hp1/  2.50 3.25 \n")
            << "level " << level;
        EXPECT_EQ(rd.PX[3], 6.126) << "level " << level;
        EXPECT_EQ(r.work, "") << "level " << level;
    }
}

TEST_F(ReaderTest, StopsAtTheReadLimit) {
    Result r = read(crlf({"# a", "lg3", "# b", "lt4"}), 5, 4, 2);
    EXPECT_EQ(r.work, "# a\r\n");
    EXPECT_EQ(rd.GROUP, 3);
    EXPECT_EQ(rd.TYPE, 1);
    EXPECT_EQ(r.out.find("jd_x=2/"), std::string::npos);
    EXPECT_NE(r.out.find("##  jd_x=1/4 : jd_x/jd_xmax  jd_limit=2\n"), std::string::npos);
}

// --- Lines over 253 bytes are one record each: the first 254 bytes are
// dispatched, the rest is copied with a comment or "bz" line, else skipped.

// A line of `size` bytes beginning with `head`, with "lg5 " at byte 254 and
// a text record at byte 508 (0-based), where its later pieces begin.
std::string longLine(const std::string& head, std::size_t size) {
    const std::string second = "lg5 ", third = "ch 1 2 3 4 \"x";
    std::string line = head;
    line.resize(size, 'a');
    if (size >= 254 + second.size()) line.replace(254, second.size(), second);
    if (size >= 508 + third.size()) line.replace(508, third.size(), third);
    return line;
}

// The jd_x values of the level-5 trace, in order.
std::string tracedReads(const std::string& out) {
    std::string seen;
    for (std::size_t at = out.find("jd_x="); at != std::string::npos; at = out.find("jd_x=", at + 1)) {
        seen += out.substr(at + 5, out.find('/', at) - at - 5) + " ";
    }
    return seen;
}

TEST_F(ReaderTest, LongLineIsOneRecord) {
    const std::string text = "ch 1 2 3 4 \"";
    struct Case {
        std::string head;
        std::size_t size;
        bool copied;
    } cases[] = {
        {"#", 253, true},    {"#", 254, true},    {"#", 508, true},   {"#", 600, true},
        {"bz", 508, true},   {"bz", 600, true},   {text, 254, false}, {text, 600, false},
        {"z", 600, false},   {"hq", 600, false},  {"lg3 ", 600, false}, {"b", 600, false},
    };
    for (const Case& c : cases) {
        for (bool last : {false, true}) {  // the last line, without a line end
            SCOPED_TRACE(c.head + " " + std::to_string(c.size) + (last ? ", last" : ""));
            reset_program_state();
            std::string line = longLine(c.head, c.size);
            Result r = read(line + (last ? "" : "\r\nlt7\r\n"), 5);
            EXPECT_EQ(shown(r.work), c.copied ? shown(line + "\r\n") : "");
            EXPECT_EQ(tracedReads(r.out), last ? "0 " : "0 1 ");
            EXPECT_EQ(rd.TYPE, last ? 1 : 7);
            EXPECT_EQ(rd.GROUP, c.head == "lg3 " ? 3 : 0);  // never 5
            EXPECT_EQ(rd.iCHR_cnt, c.head == text ? 1 : 0);
            if (c.head == text) {
                EXPECT_EQ(std::string(rd.ChSTR0), line.substr(text.size(), 254 - text.size()));
                EXPECT_EQ(std::string(srch.ChSTR), line.substr(text.size(), 231));
            }
        }
    }
}

// --- Group and text size numbers outside the tables.

// A text record's group outside 0..15 draws at scale 1 and its size outside
// 0..10 with sizes 0: a circle of radius 2.5 on the start point.
TEST_F(ReaderTest, OutOfRangeGroupAndSizeUseNeutralValues) {
    for (const char* group : {"lg1a", "lg-1", "lgffffffff"}) {
        reset_program_state();
        std::strcpy(opts.ChS001, "Zb");
        Result r = read(crlf({"hs 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7", "hcw 3 3 3 3 3 3 3 3 3 3", "hch 4 4 4 4 4 4 4 4 4 4",
                              "hcd 5 5 5 5 5 5 5 5 5 5", group, "cn12", "ch 10 20 1 0 \"abc"}));
        EXPECT_EQ(r.work, "ci 10.000000000000 20.000000000000 2.500000000000 \r\n") << group;
    }
}

TEST(ReaderTables, ScaleAndSizeLookups) {
    rd = Reader{};
    for (int i = 0; i < 16; ++i) rd.G_SCALE[i] = i + 2;
    for (int i = 0; i < 11; ++i) rd.MOJI_W[i] = i + 10, rd.MOJI_H[i] = i + 20, rd.MOJI_D[i] = i + 30;
    struct Case {
        int number;
        double scale, w, h, d;
    } cases[] = {
        {INT_MIN, 1, 0, 0, 0}, {-1, 1, 0, 0, 0},   {0, 2, 10, 20, 30},  {10, 12, 20, 30, 40},
        {11, 13, 0, 0, 0},     {15, 17, 0, 0, 0},  {16, 1, 0, 0, 0},    {26, 1, 0, 0, 0}, {INT_MAX, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(scale_of(c.number), c.scale) << c.number;
        CharSize s = size_of(c.number);
        EXPECT_EQ(s.w, c.w) << c.number;
        EXPECT_EQ(s.h, c.h) << c.number;
        EXPECT_EQ(s.d, c.d) << c.number;
    }
    rd = Reader{};
}

TEST_F(ReaderTest, EmptyTextFieldOnTheLastLine) {
    struct Case {
        const char* last;
        const char* ChSTR0;
        const char* ChSTR;
    } cases[] = {
        {"ch 5 6 7 8 \"", "", ""},
        {"ch 5 6 7 8 \"\r\n", "\n", ""},
        {"ch 5 6 7 8 \"z", "z", "z"},
        {"ch 5 6 7 8 ", "old\n", "old"},
    };
    for (const Case& c : cases) {
        reset_program_state();
        read("ch 1 2 3 4 \"old\r\n"s + c.last);
        EXPECT_EQ(shown(rd.ChSTR0), shown(c.ChSTR0)) << shown(c.last);
        EXPECT_STREQ(srch.ChSTR, c.ChSTR) << shown(c.last);
        EXPECT_EQ(rd.ChX, 5.0) << shown(c.last);
        EXPECT_EQ(rd.iCHR_cnt, 2) << shown(c.last);
    }
}

// A short last line without a line end must not scan the bytes that an
// earlier, longer line left behind it.
TEST_F(ReaderTest, ShortLastLineScansNothingOfAnEarlierLine) {
    struct Case {
        const char* earlier;
        const char* last;
        void (*expect)(Reader&);
    } cases[] = {
        {"#xx 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", "hs", nothing},
        {"#xx 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", "hcw", nothing},
        {"#xx 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", "hch", nothing},
        {"#xx 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", "hcd", nothing},
        {"#xx 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20", "hp", nothing},
        {"#x 1 2 3 4 \"stale", "c",
         [](Reader& e) {
             e.MOJI_head[1] = '\0';
             e.iCHR_cnt = 1;
         }},
    };
    for (const Case& c : cases) {
        reset_program_state();
        Result r = read(std::string(c.earlier) + "\r\n" + c.last);
        Reader expected;
        c.expect(expected);
        EXPECT_EQ(describe(rd), describe(expected)) << c.last;
        EXPECT_EQ(r.work, std::string(c.earlier) + "\r\n") << c.last;
    }
}

}  // namespace
