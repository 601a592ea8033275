// The exchange file reader: what each record sets, what reaches the work
// file, the traces, and the handling of long, odd and unterminated lines.
#include "exchange/reader.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <random>
#include <ostream>
#include <string>
#include <string_view>

#include "driver/driver.h"
#include "options/options.h"
#include "platform/textfile.h"
#include "search/search.h"
#include "support/fixture.h"
#include "support/selection.h"

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

// One input and every effect it must have: the reader's state (as changes
// from the start values), the work file and standard output.
struct DispatchCase {
    const char* name;
    std::string input;
    void (*expect)(Reader&);
    int level = 0;
    std::string work = "";
    std::string out = "";
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
    {"last_marker_wins_hq", crlf({"hp1ln", " 0 0 1 1", "hq"}), [](Reader& e) { e.stepcnt = 1; }, 3},
    {"last_marker_wins_line", crlf({"hq", "hp1ch", " 0 0 1 1"}), [](Reader& e) { e.stepcnt = 3; }, 3},
    {"equal_line_keeps_marker", crlf({"hq", " 5 5 5 5"}), [](Reader& e) { e.stepcnt = 1; }, 3},

    // Copied and dropped lines.
    {"comment_copied", crlf({"# hello", "#"}), nothing, 0, "# hello\r\n#\r\n"},
    {"bz_copied", crlf({"bz 1 2 3", "bz"}), nothing, 0, "bz 1 2 3\r\nbz\r\n"},
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

    // Line ends: LF alone and a last line without one read alike.
    {"lf_line_ends", "lg3\nlt4\n# c\n", [](Reader& e) { e.GROUP = e.GROUPi = 3, e.TYPE = e.TYPEi = 4; }, 0, "# c\r\n"},
    {"last_line_without_end", "lg3\r\nlt4", [](Reader& e) { e.GROUP = e.GROUPi = 3, e.TYPE = e.TYPEi = 4; }},
};

class ReaderDispatch : public ReaderTest, public testing::WithParamInterface<DispatchCase> {};

TEST_P(ReaderDispatch, SetsExactlyWhatTheRecordCarries) {
    const DispatchCase& c = GetParam();
    Result r = read(c.input, c.level);
    Reader expected;
    c.expect(expected);
    EXPECT_EQ(describe(rd), describe(expected));
    EXPECT_EQ(shown(r.work), shown(c.work));
    EXPECT_EQ(r.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(Records, ReaderDispatch, testing::ValuesIn(kDispatchCases),
                         [](const testing::TestParamInfo<DispatchCase>& info) { return std::string(info.param.name); });

TEST_F(ReaderTest, PointTracesAtLevel3) {
    std::string input = crlf({"hp1 2.5 3.25", "hp2+4 5", "hp3/6.126 7", "hp0-8 9.999", "hp1 x", "hp2 1e1 2e1", "hp1/"});
    Result r = read(input, 3);
    EXPECT_EQ(r.out,
              "##  hp1   2.50 3.25 \n"
              "##  hp3/  6.13 7.00 \n"
              "##  hp0-  8.00 10.00 \n"
              "##  hp1   2.50 3.25 \n"
              "##  hp2   10.00 20.00 \n"
              "##  hp1/  2.50 3.25 \n");
    EXPECT_EQ(r.work, "");
}

TEST_F(ReaderTest, PointsAreNotTracedAtOtherLevels) {
    std::string input = crlf({"hp1 2.5 3.25", "hp3/6 7", "hp0-8 9"});
    for (int level : {0, 1, 2, 4, 6}) {
        reset_program_state();
        Result r = read(input, level);
        EXPECT_EQ(r.out, "") << "level " << level;
        EXPECT_EQ(rd.PX[3], 6.0) << "level " << level;
    }
}

// A first value of 20 leaves the capture open for the next record.
TEST_F(ReaderTest, FirstValueOf20LeavesTheCaptureOpen) {
    struct Case {
        const char* code;
        const char* twenty;  // 20 as the record writes it
        int Reader::*value;
        int Reader::*first;
    } cases[] = {
        {"lg", "14", &Reader::GROUP, &Reader::GROUPi}, {"ly", "14", &Reader::LAYER, &Reader::LAYERi},
        {"lt", "20", &Reader::TYPE, &Reader::TYPEi},   {"lc", "20", &Reader::COLOR, &Reader::COLORi},
        {"pn", "14", &Reader::TENS, &Reader::TENSi},   {"cn", "20", &Reader::MOJIS, &Reader::MOJISi},
    };
    for (const Case& c : cases) {
        std::string code = c.code;
        reset_program_state();
        read(crlf({code + c.twenty}));
        EXPECT_EQ(rd.*c.value, 20) << code;
        EXPECT_EQ(rd.*c.first, 20) << code;

        reset_program_state();
        read(crlf({code + c.twenty, code + "3", code + "5"}));
        EXPECT_EQ(rd.*c.value, 5) << code;
        EXPECT_EQ(rd.*c.first, 3) << code;
    }
}

TEST_F(ReaderTest, CopiesCommentAndBzLinesInOrder) {
    std::string input = "# one\r\nlg3\r\nbz two\nch 1 2 3 4 \"x\r\n#\r\nba no\r\n# a\rb\r\n\r\nbz last";
    Result r = read(input);
    EXPECT_EQ(shown(r.work), shown("# one\r\nbz two\r\n#\r\n# a\rb\r\nbz last\r\n"));
}

TEST_F(ReaderTest, TextWithoutQuoteIsSearchedAgainAndCounted) {
    std::strcpy(opts.ChS001, "Zold");
    Result r = read(crlf({"ch 5 6 7 8 \"old", "ch 1 2 3 4 new"}));
    EXPECT_EQ(rd.iCHR_cnt, 2);
    EXPECT_STREQ(rd.ChSTR0, "old\n");
    EXPECT_STREQ(srch.ChSTR, "old");
    EXPECT_EQ(srch.match, 2);
}

TEST_F(ReaderTest, CountsEveryTextRecord) {
    std::string input = crlf({"ch 1 2 3 4 \"a", "ch x", "cn3", "cc 1", "ci 1 2 3", "c1 1 2 3 4 \"b", "c", "cz",
                              "# ch", "hcw 1"});
    read(input);
    EXPECT_EQ(rd.iCHR_cnt, 5);
}

TEST_F(ReaderTest, TraceAtLevel5) {
    Result r = read("# a\r\nlg3\r\n\r\nbx\r\nhq", 5, 7);
    std::string expected;
    const char* reads[] = {"# a\n", "lg3\n", "\n", "bx\n", "hq"};
    for (unsigned i = 0; i < 5; ++i) {
        expected += "## ---- QX_PATTERN()  qxc_temp.txt processing --------\n";
        // Appended piece by piece: GCC 12 for 32-bit Windows warns falsely
        // (-Wrestrict) about a literal + std::string temporary.
        expected += "##  jd_x=";
        expected += std::to_string(i);
        expected += "/7 : jd_x/jd_xmax  jd_limit=150000\n";
        expected += "##  buf=(";
        expected += reads[i];
        expected += ")\n";
    }
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.work, "# a\r\n");
}

TEST_F(ReaderTest, StopsAtTheReadLimit) {
    Result r = read(crlf({"# a", "lg3", "# b", "lt4"}), 5, 4, 2);
    EXPECT_EQ(r.work, "# a\r\n");
    EXPECT_EQ(rd.GROUP, 3);
    EXPECT_EQ(rd.TYPE, 1);
    EXPECT_EQ(r.out.find("jd_x=2/"), std::string::npos);
    EXPECT_NE(r.out.find("##  jd_x=1/4 : jd_x/jd_xmax  jd_limit=2\n"), std::string::npos);
}

TEST_F(ReaderTest, EmptyFile) {
    Result r = read("", 5);
    EXPECT_EQ(r.work, "");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(describe(rd), describe(Reader{}));
    EXPECT_EQ(srch.SCALE, 0.0) << "the search ran";
}

// --- Lines over 253 bytes are one record each.

// A line of `size` bytes beginning with `head`, with `second` at byte 254
// and `third` at byte 508 (0-based), where the pieces of a line read with a
// 255-byte buffer begin.
std::string longLine(const std::string& head, std::size_t size, const std::string& second = "lg5 ",
                     const std::string& third = "# piece") {
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

TEST_F(ReaderTest, LongCommentAndBzLinesAreCopiedWhole) {
    for (const char* head : {"#", "bz"}) {
        for (std::size_t size : {254u, 508u, 600u}) {
            reset_program_state();
            std::string line = longLine(head, size);
            Result r = read(line + "\r\n# next\r\n", 5);
            EXPECT_EQ(shown(r.work), shown(line + "\r\n# next\r\n")) << head << " " << size;
            EXPECT_EQ(rd.GROUP, 0) << head << " " << size;
            EXPECT_EQ(tracedReads(r.out), "0 1 ") << head << " " << size;
        }
    }
}

TEST_F(ReaderTest, LongTextRecordIsDispatchedOnItsFirst254Bytes) {
    const std::string head = "ch 1 2 3 4 \"";
    for (std::size_t size : {254u, 600u}) {
        reset_program_state();
        std::string line = longLine(head, size);
        Result r = read(line + "\r\nlt7\r\n", 5);
        EXPECT_EQ(r.work, "") << size;
        EXPECT_EQ(rd.GROUP, 0) << size;
        EXPECT_EQ(rd.GROUPi, 20) << size;
        EXPECT_EQ(rd.TYPE, 7) << size;
        EXPECT_EQ(rd.iCHR_cnt, 1) << size;
        EXPECT_EQ(std::string(rd.ChSTR0), line.substr(head.size(), 254 - head.size())) << size;
        EXPECT_EQ(std::string(srch.ChSTR), line.substr(head.size(), 231)) << size;
        EXPECT_EQ(tracedReads(r.out), "0 1 ") << size;
    }
}

TEST_F(ReaderTest, LongLinesOfOtherKindsAreSkippedWhole) {
    for (const char* head : {"z", "hq", "lg3 ", "b"}) {
        reset_program_state();
        Result r = read(longLine(head, 600, "# piece ", "ch 1 2 3 4 \"x") + "\r\nlt7\r\n", 5);
        EXPECT_EQ(r.work, "") << head;
        EXPECT_EQ(rd.iCHR_cnt, 0) << head;
        EXPECT_EQ(rd.TYPE, 7) << head;
        EXPECT_EQ(tracedReads(r.out), "0 1 ") << head;
    }
}

TEST_F(ReaderTest, LineOf253BytesIsOneRead) {
    std::string line = "# ";
    line.resize(253, 'b');
    Result r = read(line + "\r\nlt7\r\n", 5);
    EXPECT_EQ(r.work, line + "\r\n");
    EXPECT_EQ(tracedReads(r.out), "0 1 ");
}

// --- Group and text size numbers outside the tables.

TEST_F(ReaderTest, OutOfRangeGroupAndSizeUseNeutralValues) {
    std::strcpy(opts.ChS001, "Zb");
    std::string input = crlf({"hs 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7", "hcw 3 3 3 3 3 3 3 3 3 3", "hch 4 4 4 4 4 4 4 4 4 4",
                              "hcd 5 5 5 5 5 5 5 5 5 5", "lg1a", "cn12", "ch 10 20 1 0 \"abc"});
    Result r = read(input);
    EXPECT_EQ(rd.GROUP, 0x1a);
    EXPECT_EQ(rd.GROUPi, 0x1a);
    EXPECT_EQ(rd.MOJIS, 12);
    EXPECT_EQ(rd.MOJISi, 12);
    EXPECT_EQ(srch.SCALE, 1.0);
    EXPECT_EQ(srch.MOJI_zw, 0.0);
    EXPECT_EQ(srch.MOJI_zh, 0.0);
    EXPECT_EQ(srch.MOJI_zd, 0.0);
    EXPECT_EQ(r.work, "ci 10.000000000000 20.000000000000 2.500000000000 \r\n");
}

TEST_F(ReaderTest, NegativeGroupUsesScaleOne) {
    for (const char* record : {"lg-1", "lgffffffff"}) {
        reset_program_state();
        read(crlf({"hs 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7 7", record, "ch 0 0 1 0 \"x"}));
        EXPECT_EQ(rd.GROUP, -1) << record;
        EXPECT_EQ(srch.SCALE, 1.0) << record;
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

// --- Copied lines keep every byte and get a line end.

TEST_F(ReaderTest, CopiedLinesKeepNulBytes) {
    std::string input = "#a\0b\0\r\nbz\0x\r\n#\0\r\nlg3\r\n"s;
    Result r = read(input);
    EXPECT_EQ(shown(r.work), shown("#a\0b\0\r\nbz\0x\r\n#\0\r\n"s));
    EXPECT_EQ(rd.GROUP, 3);
}

TEST_F(ReaderTest, LastCopiedLineGetsALineEnd) {
    struct Case {
        std::string input, work;
    } cases[] = {
        {"# last", "# last\r\n"},
        {"bz last", "bz last\r\n"},
        {"#", "#\r\n"},
        {"# a\r\n# b", "# a\r\n# b\r\n"},
        {longLine("#", 254), longLine("#", 254) + "\r\n"},
        {longLine("#", 600), longLine("#", 600) + "\r\n"},
        {longLine("bz", 508), longLine("bz", 508) + "\r\n"},
    };
    for (const Case& c : cases) {
        reset_program_state();
        Result r = read(c.input);
        EXPECT_EQ(shown(r.work), shown(c.work)) << shown(c.input.substr(0, 20));
    }
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

// --- The text to search: cut at its line end, at most 231 bytes.

TEST_F(ReaderTest, TextIsCutAtItsLineEnd) {
    struct Case {
        std::string field;  // behind the double quote, on disk
        std::string text;
    } cases[] = {
        {"abc\r\n", "abc"},
        {"abc", "abc"},
        {"ab\rcd\r\n", "ab"},
        {"\r\n", ""},
        {std::string(240, 'x') + "\r\n", std::string(231, 'x')},
        {std::string(231, 'y') + "\r\n", std::string(231, 'y')},
    };
    for (const Case& c : cases) {
        reset_program_state();
        read("ch 1 2 3 4 \"" + c.field);
        EXPECT_EQ(shown(srch.ChSTR), shown(c.text)) << shown(c.field);
    }
}

TEST_F(ReaderTest, ShortTextAfterLongLeavesNothingOfIt) {
    read(crlf({"ch 1 2 3 4 \"" + std::string(240, 'L'), "ch 1 2 3 4 \"ab"}));
    EXPECT_STREQ(rd.ChSTR0, "ab\n");
    EXPECT_STREQ(srch.ChSTR, "ab");
}

TEST_F(ReaderTest, IntakeCutsTheStoredField) {
    struct Case {
        std::string field;
        std::string text;
    } cases[] = {
        {"abc\n", "abc"},
        {"ab\rcd\n", "ab"},
        {"a\0b\n"s, "a"},
        {"", ""},
        {std::string(240, 'x') + "\n", std::string(231, 'x')},
        {std::string(230, 'x') + "\n", std::string(230, 'x')},
        {std::string(230, 'x') + "\x82\xa0", std::string(230, 'x') + "\x82"},
    };
    openWork();
    for (const Case& c : cases) {
        std::memset(srch.ChSTR, 'Q', Search::kTextMax);  // an earlier, longer text
        setText(rd, c.field);
        CHR_PRO(0);
        EXPECT_EQ(shown(srch.ChSTR), shown(c.text)) << shown(c.field);
    }
}

}  // namespace
