// Command-line options: the table of the accepted letters, with what each
// sets and traces, read by the parser opt and by the usage.
#include "options/options.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/textfile.h"
#include "records/record.h"

Options opts;

int opt_atoi(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (*p - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

void USstrcpyChS001(const char* text) {
    std::memset(opts.ChS001, 0, sizeof opts.ChS001);
    for (int i = 0; i < Options::kChS001Max && text[i] != '\0'; ++i) opts.ChS001[i] = text[i];
}

namespace {

// Sets `setting` to the integer value when it lies in [lo, hi]; an empty
// value text keeps the setting.
void setInt(int& setting, const char* value, int lo, int hi) {
    if (*value == '\0') return;
    int v = opt_atoi(value);
    if (v >= lo && v <= hi) setting = v;
}

// Sets `setting` to the decimal value when `accepted` takes it; an empty
// value text keeps the setting.
void setDouble(double& setting, const char* value, bool (*accepted)(double)) {
    if (*value == '\0') return;
    double v = std::atof(value);
    if (accepted(v)) setting = v;
}

// An accepted option: the letters that give it, what it sets from its value
// text, whether the trace shows the value text (else the text from the
// letter on), its usage lines, and the one value text it takes (else any).
struct Letter {
    const char* letters;
    void (*apply)(const char* value);
    bool tracesValue;
    const char* usage = nullptr;
    const char* onlyValue = nullptr;
};

// Every accepted option (any other is refused), in the order of the usage.
constexpr Letter kLetters[] = {
    {"Zz", [](const char* v) { USstrcpyChS001(v - 1); }, false,
     "  /Z<text>  the search string, Shift-JIS, at most 127 bytes (also /z)\n"},
    {"i", [](const char*) { opts.isFold = 1; }, false,  // a value text is ignored
     "  /i        ignore full-width/half-width forms and upper/lower case:\n"
     "            full-width ASCII and the ideographic space, half-width\n"
     "            katakana (with their voiced marks) and A-Z/a-z are folded\n"},
    {"t", [](const char* v) { opts.isTest = *v >= '1' && *v <= '6' ? *v - '0' : 0; }, true,
     "  /t<n>     test level; QXC_TEMP.TXT is kept, the output is in QXC_TEMP.$$$\n"
     "              1  search traces in QXC_TEMP.$$$\n"
     "              2  search and run traces on the console\n"
     "              3  options, compared bytes, reader and closing traces\n"
     "              4, 6  options    5  options and every line read\n"},
    {"Mm", [](const char* v) { setInt(opts.iMode, v, 0, 9); }, true,
     "  /M<n>     search mode 0-9, shown in traces only (also /m)\n"},
    {"?", [](const char*) { opts.request = kRequestHelp; }, false,
     "  /?, --help  this text     --version  the program's version\n"},
    {"-", [](const char*) { opts.request = kRequestHelp; }, false, nullptr, "help"},
    {"-", [](const char*) { opts.request = kRequestVersion; }, false, nullptr, "version"},
    {"l", [](const char* v) { setInt(opts.iMode2, v, 0, 9); }, true},
    {"k", [](const char* v) { setInt(opts.iMode3, v, 0, 9); }, true},
    {"n", [](const char* v) { setInt(opts.isNUM, v, 0, 1); }, true},
    {"b", [](const char* v) { setInt(opts.iBOKE, v, 1, 6); }, true},
    {"c", [](const char* v) { setInt(opts.iGRAY, v, 0, 5); }, true},
    {"d", [](const char* v) { setInt(opts.iDivN, v, 1, 500); }, true},
    {"g", [](const char* v) { setInt(opts.iPEN1, v, 0, 10); }, true},
    {"h", [](const char* v) { setInt(opts.iPEN2, v, 0, 10); }, true},
    {"o", [](const char* v) { setInt(opts.iOFFSET, v, 0, 5); }, true},
    {"a", [](const char* v) { setDouble(opts.Amp, v, [](double x) { return x >= 0.5; }); }, true},
    {"p", [](const char* v) { setDouble(opts.ANGLE, v, [](double x) { return x > -360.0 && x < 360.0; }); }, true},
    {"e", [](const char* v) { int n = *v ? opt_atoi(v) : 0; opts.exiro = n / 10; opts.exsyu = n % 10; }, true},
    {"w", [](const char* v) { if (*v) opts.iMOJI_w = std::min(opt_atoi(v), 30); }, true},
    {"su", [](const char*) {}, false},  // accepted, no effect
};

// The table's row for an option letter and its value text; nullptr where
// the option is refused.
const Letter* accepted(char letter, const char* value) {
    for (const Letter& row : kLetters) {
        if (letter == '\0' || !std::strchr(row.letters, letter)) continue;
        if (!row.onlyValue || std::strcmp(value, row.onlyValue) == 0) return &row;
    }
    return nullptr;
}

constexpr char kIllegal[] = "\n illegal Option.\n";

void traceOption(const char* shown) {
    Rec r;
    r.str("# --- command line option ---------------\n");
    r.str("# --- (/").str(shown).str(")\n");
    r.str("#      iMode(").num(opts.iMode).str(") iMode2(").num(opts.iMode2);
    r.str(") iMode3(").num(opts.iMode3).str(")\n");
    rec_to_console(r);
}

}  // namespace

void opt(const char* arg) {
    const Letter* row = accepted(arg[1], arg + 2);
    if (row) row->apply(arg + 2);
    else pf_stderr(kIllegal, sizeof kIllegal - 1);
    if (opts.isTest > 2) traceOption(row && row->tracesValue ? arg + 2 : arg + 1);
}

void opt_usage() {
    for (const Letter& row : kLetters) {
        if (row.usage) pf_stdout(row.usage, std::strlen(row.usage));
    }
}
