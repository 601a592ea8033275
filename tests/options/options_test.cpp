#include "options/options.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/fixture.h"

namespace {

class OptionsTest : public TempDirTest {};

const char kIllegal[] = "\n illegal Option.\n";

struct Outcome {
    std::string out, err;
};

// Runs `body` with standard output and standard error captured.
template <class Body>
Outcome captured(Body body) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    body();
    Outcome o;
    o.out = testing::internal::GetCapturedStdout();
    o.err = testing::internal::GetCapturedStderr();
    return o;
}

void applyAll(const std::vector<std::string>& args) {
    for (const std::string& a : args) opt(a.c_str());
}

// Applies the arguments in order, as the driver does, and captures what
// they print.
Outcome apply(const std::vector<std::string>& args) {
    return captured([&] { applyAll(args); });
}

// Marks the start of a case in a stream captured for many cases at once
// (one capture per case is slow where temporary files are slow).
std::string mark(std::FILE* stream, const std::string& label) {
    std::string m = "<" + label + ">";
    std::fputs(m.c_str(), stream);
    std::fflush(stream);
    return m;
}

std::string joined(const std::vector<std::string>& args) {
    std::string s;
    for (const std::string& a : args) s += "[" + a + "]";
    return s;
}

// Every setting, compared one by one, so that an option that touches a
// neighbour is caught too.
void expectSettings(const Options& got, const Options& want, const std::string& label) {
    EXPECT_EQ(got.iMode, want.iMode) << label;
    EXPECT_EQ(got.iMode2, want.iMode2) << label;
    EXPECT_EQ(got.iMode3, want.iMode3) << label;
    EXPECT_EQ(got.isNUM, want.isNUM) << label;
    EXPECT_EQ(got.Amp, want.Amp) << label;
    EXPECT_EQ(got.iBOKE, want.iBOKE) << label;
    EXPECT_EQ(got.iGRAY, want.iGRAY) << label;
    EXPECT_EQ(got.iDivN, want.iDivN) << label;
    EXPECT_EQ(got.exiro, want.exiro) << label;
    EXPECT_EQ(got.exsyu, want.exsyu) << label;
    EXPECT_EQ(got.iPEN1, want.iPEN1) << label;
    EXPECT_EQ(got.iPEN2, want.iPEN2) << label;
    EXPECT_EQ(got.iOFFSET, want.iOFFSET) << label;
    EXPECT_EQ(got.ANGLE, want.ANGLE) << label;
    EXPECT_EQ(got.isTest, want.isTest) << label;
    EXPECT_EQ(got.iMOJI_w, want.iMOJI_w) << label;
    EXPECT_EQ(got.isFold, want.isFold) << label;
    EXPECT_EQ(got.request, want.request) << label;
    EXPECT_EQ(std::memcmp(got.ChS001, want.ChS001, sizeof got.ChS001), 0)
        << label << " ChS001=" << std::string(got.ChS001);
}

// Accepted options: the settings after the arguments, against the start
// values changed as the case says. Nothing appears on stderr.
TEST_F(OptionsTest, AcceptedValuesAndRanges) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(Options&)> change;
    };
    auto none = [](Options&) {};
    const Case cases[] = {
        // /M, /m: 0 to 9; atoi reading of the value text.
        {{"/m"}, none},
        {{"/mx"}, [](Options& o) { o.iMode = 0; }},
        {{"/m10"}, none},
        {{"/m-1"}, none},
        {{"/m0"}, [](Options& o) { o.iMode = 0; }},
        {{"/m9"}, [](Options& o) { o.iMode = 9; }},
        {{"/M5"}, [](Options& o) { o.iMode = 5; }},
        {{"/m \t7"}, [](Options& o) { o.iMode = 7; }},
        {{"/m+3"}, [](Options& o) { o.iMode = 3; }},
        {{"/m2abc"}, [](Options& o) { o.iMode = 2; }},
        {{"/m3", "/m"}, [](Options& o) { o.iMode = 3; }},
        {{"/m3", "/m12"}, [](Options& o) { o.iMode = 3; }},
        {{"/m3", "/M4"}, [](Options& o) { o.iMode = 4; }},
        // /l, /k: 0 to 9.
        {{"/l0"}, [](Options& o) { o.iMode2 = 0; }},
        {{"/l9"}, [](Options& o) { o.iMode2 = 9; }},
        {{"/l10"}, none},
        {{"/l-1"}, none},
        {{"/k0"}, [](Options& o) { o.iMode3 = 0; }},
        {{"/k9"}, [](Options& o) { o.iMode3 = 9; }},
        {{"/k10"}, none},
        {{"/k"}, none},
        // /n: 0 or 1.
        {{"/n1"}, [](Options& o) { o.isNUM = 1; }},
        {{"/n1", "/n0"}, none},
        {{"/n2"}, none},
        {{"/n-1"}, none},
        // /a: at least 0.5, atof reading.
        {{"/a0.4"}, none},
        {{"/a0.5"}, [](Options& o) { o.Amp = 0.5; }},
        {{"/a2.5e1"}, [](Options& o) { o.Amp = 25.0; }},
        {{"/a 3.25x"}, [](Options& o) { o.Amp = 3.25; }},
        {{"/a"}, none},
        {{"/ax"}, none},
        {{"/a-7"}, none},
        // /b: 1 to 6; /c: 0 to 5.
        {{"/b0"}, none},
        {{"/b1"}, [](Options& o) { o.iBOKE = 1; }},
        {{"/b6"}, [](Options& o) { o.iBOKE = 6; }},
        {{"/b7"}, none},
        {{"/c0"}, [](Options& o) { o.iGRAY = 0; }},
        {{"/c5"}, [](Options& o) { o.iGRAY = 5; }},
        {{"/c6"}, none},
        {{"/c-1"}, none},
        // /d: 1 to 500.
        {{"/d0"}, none},
        {{"/d501"}, none},
        {{"/d500"}, [](Options& o) { o.iDivN = 500; }},
        {{"/d1"}, [](Options& o) { o.iDivN = 1; }},
        // /e: reset first, then tens and units (truncating toward zero).
        {{"/e23"}, [](Options& o) { o.exiro = 2; o.exsyu = 3; }},
        {{"/e-23"}, [](Options& o) { o.exiro = -2; o.exsyu = -3; }},
        {{"/e7"}, [](Options& o) { o.exsyu = 7; }},
        {{"/e123"}, [](Options& o) { o.exiro = 12; o.exsyu = 3; }},
        {{"/e23", "/e"}, none},
        {{"/e23", "/ex"}, none},
        {{"/e23", "/e5"}, [](Options& o) { o.exsyu = 5; }},
        // /g, /h: 0 to 10; /o: 0 to 5.
        {{"/g0"}, [](Options& o) { o.iPEN1 = 0; }},
        {{"/g10"}, [](Options& o) { o.iPEN1 = 10; }},
        {{"/g11"}, none},
        {{"/h0"}, [](Options& o) { o.iPEN2 = 0; }},
        {{"/h10"}, [](Options& o) { o.iPEN2 = 10; }},
        {{"/h-1"}, none},
        {{"/o0"}, [](Options& o) { o.iOFFSET = 0; }},
        {{"/o5"}, [](Options& o) { o.iOFFSET = 5; }},
        {{"/o6"}, none},
        // /p: absolute value below 360.
        {{"/p-359.5"}, [](Options& o) { o.ANGLE = -359.5; }},
        {{"/p359.75"}, [](Options& o) { o.ANGLE = 359.75; }},
        {{"/p0"}, [](Options& o) { o.ANGLE = 0.0; }},
        {{"/p360"}, none},
        {{"/p-360"}, none},
        {{"/p"}, none},
        // /t: reset first, then one digit 1 to 6; the rest is ignored.
        {{"/t"}, none},
        {{"/t7"}, none},
        {{"/t0"}, none},
        {{"/t35"}, [](Options& o) { o.isTest = 3; }},
        {{"/t1"}, [](Options& o) { o.isTest = 1; }},
        {{"/t6"}, [](Options& o) { o.isTest = 6; }},
        {{"/t 3"}, none},
        {{"/t+3"}, none},
        {{"/t1", "/t"}, none},
        {{"/t1", "/t9"}, none},
        {{"/t1", "/t2"}, [](Options& o) { o.isTest = 2; }},
        // /w: 30 or less; larger values clamp to 30.
        {{"/w31"}, [](Options& o) { o.iMOJI_w = 30; }},
        {{"/w30"}, [](Options& o) { o.iMOJI_w = 30; }},
        {{"/w0"}, [](Options& o) { o.iMOJI_w = 0; }},
        {{"/w-5"}, [](Options& o) { o.iMOJI_w = -5; }},
        {{"/w"}, none},
        {{"/w9", "/w"}, [](Options& o) { o.iMOJI_w = 9; }},
        {{"/wx"}, [](Options& o) { o.iMOJI_w = 0; }},
        // Values beyond 32 bits saturate before the range checks; a value
        // that wraps would land inside the ranges below.
        {{"/w-99999999999"}, [](Options& o) { o.iMOJI_w = INT_MIN; }},
        {{"/w-4294967295"}, [](Options& o) { o.iMOJI_w = INT_MIN; }},
        {{"/w2147483648"}, [](Options& o) { o.iMOJI_w = 30; }},
        {{"/w-2147483648"}, [](Options& o) { o.iMOJI_w = INT_MIN; }},
        {{"/w-2147483647"}, [](Options& o) { o.iMOJI_w = INT_MIN + 1; }},
        {{"/m99999999999"}, none},
        {{"/m4294967298"}, none},
        {{"/d4294967297"}, none},
        {{"/c-4294967296"}, none},
        {{"/e99999999999"}, [](Options& o) { o.exiro = 214748364; o.exsyu = 7; }},
        {{"/e-99999999999"}, [](Options& o) { o.exiro = -214748364; o.exsyu = -8; }},
        // /s and /u: accepted, no effect.
        {{"/s"}, none},
        {{"/s5"}, none},
        {{"/u"}, none},
        {{"/uabc"}, none},
        // /i: folding on, a value text ignored; the requests: the latest wins.
        {{"/i"}, [](Options& o) { o.isFold = 1; }},
        {{"-i0"}, [](Options& o) { o.isFold = 1; }},
        {{"/?"}, [](Options& o) { o.request = kRequestHelp; }},
        {{"$?x"}, [](Options& o) { o.request = kRequestHelp; }},
        {{"--help"}, [](Options& o) { o.request = kRequestHelp; }},
        {{"/-help", "--version"}, [](Options& o) { o.request = kRequestVersion; }},
        // The three introducers are interchangeable.
        {{"-t4", "$w-1", "/d7"}, [](Options& o) { o.isTest = 4; o.iMOJI_w = -1; o.iDivN = 7; }},
    };
    std::string wantErr;
    Outcome o = captured([&] {
        for (const Case& c : cases) {
            reset_program_state();
            Options want;
            c.change(want);
            wantErr += mark(stderr, joined(c.args));
            applyAll(c.args);
            expectSettings(opts, want, joined(c.args));
        }
    });
    EXPECT_EQ(o.err, wantErr);
}

// Every byte in the letter position, behind each introducer (byte 0: the
// introducer alone): the letters of the option table are accepted without
// a message, every other byte is refused with the message, changes nothing,
// and the scan goes on with the next argument. "-" is accepted only as
// "--help" or "--version" (its value text "4" here is refused).
TEST_F(OptionsTest, EveryLetterOutsideTheTableIsRefused) {
    const std::string accepted = "?MZabcdeghiklmnopstuwz";
    std::string wantErr;
    Outcome o = captured([&] {
        for (char introducer : {'/', '-', '$'}) {
            for (int b = 0; b <= 255; ++b) {
                reset_program_state();
                const std::string label = introducer + std::string(" byte ") + std::to_string(b);
                const std::string arg = std::string(1, introducer) + static_cast<char>(b) + "4";
                wantErr += mark(stderr, label);
                applyAll({arg, "/m2"});
                if (b != 0 && accepted.find(static_cast<char>(b)) != std::string::npos) continue;
                wantErr += kIllegal;
                Options want;
                want.iMode = 2;
                expectSettings(opts, want, label);
            }
        }
    });
    EXPECT_EQ(o.err, wantErr);
}

// The search argument keeps its letter and at most 127 bytes of text (the
// cut counts bytes: it may split a double-byte character); a later one
// replaces the earlier whole, nothing of it left behind the terminator.
TEST_F(OptionsTest, SearchArgument) {
    std::string text;
    for (int i = 0; text.size() < 200; ++i) text += static_cast<char>('a' + i % 26);
    const std::string halfChar = std::string(126, 'a') + "\x82";
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about a literal
    // + std::string temporary.
    auto join = [](const char* head, const std::string& rest) {
        std::string s = head;
        s += rest;
        return s;
    };
    struct Case {
        std::vector<std::string> args;
        std::string want;
    } cases[] = {
        {{"/Z"}, "Z"},
        {{"/Z a b "}, "Z a b "},
        {{"/Zabcdef", "/z"}, "z"},
        {{"/Zab", "/zlonger"}, "zlonger"},
        {{join("/Z", text.substr(0, 126))}, join("Z", text.substr(0, 126))},
        {{join("/Z", text.substr(0, 127))}, join("Z", text.substr(0, 127))},
        {{join("/Z", text.substr(0, 128))}, join("Z", text.substr(0, 127))},
        {{join("/Z", text.substr(0, 199)), "/Zxy"}, "Zxy"},
        {{join("/Z", halfChar + "\xa0")}, join("Z", halfChar)},
    };
    for (const Case& c : cases) {
        reset_program_state();
        Outcome o = apply(c.args);
        EXPECT_EQ(o.err, "") << joined(c.args);
        EXPECT_EQ(std::string(opts.ChS001), c.want) << joined(c.args);
        for (std::size_t i = c.want.size(); i < sizeof opts.ChS001; ++i) {
            ASSERT_EQ(opts.ChS001[i], '\0') << joined(c.args) << " byte " << i;
        }
    }
}

// The option trace at levels 3 to 6, byte for byte, with the option
// already applied when it is printed; the traces of whole runs are in
// tests/e2e/test_levels.py and test_driver.py.
TEST_F(OptionsTest, OptionTraceAtLevelsThreeToSix) {
    auto trace = [](const std::string& shown, int m, int m2, int m3) {
        return "# --- command line option ---------------\n# --- (/" + shown + ")\n#      iMode(" +
               std::to_string(m) + ") iMode2(" + std::to_string(m2) + ") iMode3(" + std::to_string(m3) + ")\n";
    };
    struct Case {
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"/t5", "/l7", "/k3"}, trace("5", 1, 20, 20) + trace("7", 1, 7, 20) + trace("3", 1, 7, 3), ""},
        {{"/t3", "/e-23", "/m", "/m12", "$w100"},
         trace("3", 1, 20, 20) + trace("-23", 1, 20, 20) + trace("", 1, 20, 20) + trace("12", 1, 20, 20) +
             trace("100", 1, 20, 20), ""},
        // A refused argument traces its text from the letter on: here none.
        {{"/t3", "/"}, trace("3", 1, 20, 20) + trace("", 1, 20, 20), kIllegal},
        // Lowering the level silences the option that lowers it.
        {{"/t3", "/t2", "/m5"}, trace("3", 1, 20, 20), ""},
    };
    for (const Case& c : cases) {
        reset_program_state();
        Outcome o = apply(c.args);
        EXPECT_EQ(o.out, c.out) << joined(c.args);
        EXPECT_EQ(o.err, c.err) << joined(c.args);
    }
}

TEST_F(OptionsTest, AtoiReadsLikeTheCLibraryAndSaturates) {
    struct Case {
        const char* text;
        int want;
    } cases[] = {
        {"", 0},
        {"x1", 0},
        {"12", 12},
        {"-12", -12},
        {"+12", 12},
        {" \t\n\v\f\r42z", 42},
        {"- 1", 0},
        {"+-1", 0},
        {"007", 7},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"99999999999999999999999999", INT_MAX},
        {"-99999999999999999999999999", INT_MIN},
        {"4294967297", INT_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(opt_atoi(c.text), c.want) << '"' << c.text << '"';
}

}  // namespace
