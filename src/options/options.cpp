#include "options/options.h"

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

// "?" (any value text) asks for the usage; "-" asks for it with the value
// text "help" and for the version with "version", and is refused otherwise.
bool refusedRequest(char letter, const char* value) {
    return letter == '-' && std::strcmp(value, "help") != 0 && std::strcmp(value, "version") != 0;
}

bool refused(unsigned char letter, const char* value) {
    if (letter == '?' || letter == '-') return refusedRequest(static_cast<char>(letter), value);
    if (letter < 'M' || letter > 'z') return true;
    if (letter >= 'N' && letter <= 'Y') return true;
    if (letter > 'Z' && letter < 'a') return true;
    return std::strchr("fjqrvxy", letter) != nullptr;
}

// Applies an accepted option; returns whether the trace shows its value
// text (true) or the text from the letter on (false).
bool apply(char letter, const char* value) {
    switch (letter) {
    case 'M': case 'm': setInt(opts.iMode, value, 0, 9); return true;
    case 'l': setInt(opts.iMode2, value, 0, 9); return true;
    case 'k': setInt(opts.iMode3, value, 0, 9); return true;
    case 'n': setInt(opts.isNUM, value, 0, 1); return true;
    case 'b': setInt(opts.iBOKE, value, 1, 6); return true;
    case 'c': setInt(opts.iGRAY, value, 0, 5); return true;
    case 'd': setInt(opts.iDivN, value, 1, 500); return true;
    case 'g': setInt(opts.iPEN1, value, 0, 10); return true;
    case 'h': setInt(opts.iPEN2, value, 0, 10); return true;
    case 'o': setInt(opts.iOFFSET, value, 0, 5); return true;
    case 'a': setDouble(opts.Amp, value, [](double v) { return v >= 0.5; }); return true;
    case 'p': setDouble(opts.ANGLE, value, [](double v) { return v > -360.0 && v < 360.0; }); return true;
    case 'e':
        opts.exiro = 0;
        opts.exsyu = 0;
        if (*value != '\0') {
            int v = opt_atoi(value);
            opts.exiro = v / 10;
            opts.exsyu = v % 10;
        }
        return true;
    case 't':
        opts.isTest = 0;
        if (*value >= '1' && *value <= '6') opts.isTest = *value - '0';
        return true;
    case 'w':
        if (*value != '\0') {
            int v = opt_atoi(value);
            opts.iMOJI_w = v > 30 ? 30 : v;
        }
        return true;
    case 'Z': case 'z':
        USstrcpyChS001(value - 1);
        return false;
    case 'i':  // a value text is ignored
        opts.isFold = 1;
        return false;
    case '?':
        opts.request = kRequestHelp;
        return false;
    case '-':
        opts.request = value[0] == 'h' ? kRequestHelp : kRequestVersion;
        return false;
    default:  // 's', 'u': accepted, no effect
        return false;
    }
}

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
    char letter = arg[1];
    const char* fromLetter = arg + 1;
    bool showValue = false;
    if (refused(static_cast<unsigned char>(letter), arg + 2)) {
        const char msg[] = "\n illegal Option.\n";
        pf_stderr(msg, sizeof msg - 1);
    } else {
        showValue = apply(letter, arg + 2);
    }
    if (opts.isTest > 2) traceOption(showValue ? arg + 2 : fromLetter);
}
