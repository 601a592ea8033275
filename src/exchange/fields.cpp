// The numeric field scanners: C-library scanning semantics, with exact fast
// paths, the same value on every build.
#include "exchange/fields.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// Powers of ten that a double holds exactly.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;

// Fast path for "[-]digits[.digits]" with at most 19 digits, a mantissa up
// to 2^53 and at most 22 decimals: both operands of one division are exact,
// so the correctly rounded quotient is the library's value. Returns false
// when the text needs the library.
bool fastDouble(const char*& p, double& out) {
    const char* q = p;
    skip_space(q);
    bool negative = *q == '-';
    if (negative) ++q;
    std::uint64_t mantissa = 0;  // wraps past 19 digits; such texts go to the library
    const char* first = q;
    for (; isDigit(*q); ++q) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
    auto digits = q - first;
    long decimals = 0;
    if (*q == '.') {
        const char* point = ++q;
        for (; isDigit(*q); ++q) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*q - '0');
        decimals = q - point;
        digits += decimals;
    }
    if (digits == 0 || digits > 19 || decimals > 22 || mantissa > kExactMantissa || isAlpha(*q)) return false;
    double v = static_cast<double>(mantissa);
    if (decimals > 0) v /= kPow10[decimals];
    out = negative ? -v : v;
    p = q;
    return true;
}

// A decimal number that the fast path does not take (long mantissas,
// exponents), from `digits`, the text after its sign. The text is taken as
// the C library's scanning takes it: an exponent letter and its sign even
// where no digit follows them. The value comes from std::from_chars,
// correctly rounded the same way on every build; beyond the range of a
// double it is infinite or zero. Returns false where nothing converts.
bool longDecimal(const char*& q, bool negative, double& out) {
    const char* digits = q;
    while (isDigit(*q)) ++q;
    bool any = q > digits;
    if (*q == '.') {
        const char* decimals = ++q;
        while (isDigit(*q)) ++q;
        any = any || q > decimals;
    }
    if (!any) return false;
    const char* end = q;
    if ((*q | 0x20) == 'e') {
        if (*++q == '+' || *q == '-') ++q;
        const char* exponent = q;
        while (isDigit(*q)) ++q;
        if (q > exponent) end = q;
    }
    double v = 0.0;
    if (std::from_chars(digits, end, v).ec == std::errc::result_out_of_range) {
        v = std::fabs(std::strtod(digits, nullptr)) > 1.0 ? HUGE_VAL : 0.0;
    }
    out = negative ? -v : v;
    return true;
}

// The value of a digit in bases up to 16, or 16 for any other byte.
unsigned digitValue(char c) {
    if (isDigit(c)) return static_cast<unsigned>(c - '0');
    unsigned lower = static_cast<unsigned char>(c) | 0x20u;
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : 16;
}

bool scanInt(const char*& p, int& out, unsigned base) {
    const char* q = p;
    skip_space(q);
    bool negative = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    bool digits = false;
    if (base == 16 && q[0] == '0' && (q[1] | 0x20) == 'x') {  // the prefix reads as a 0 by itself
        q += 2;
        digits = true;
    }
    std::uint64_t v = 0;
    bool over = false;
    for (unsigned d; (d = digitValue(*q)) < base; ++q) {
        digits = true;
        if (v > (UINT64_MAX - d) / base) over = true;
        else v = v * base + d;
    }
    if (!digits) return false;
    constexpr std::uint64_t kSignedMax = INT64_MAX, kSignedMin = kSignedMax + 1;  // as unsigned bits
    std::uint64_t bits;
    if (base == 16) bits = over ? UINT64_MAX : (negative ? 0 - v : v);
    else if (negative) bits = over || v > kSignedMin ? kSignedMin : 0 - v;
    else bits = over || v > kSignedMax ? kSignedMax : v;
    out = static_cast<int>(static_cast<std::uint32_t>(bits));
    p = q;
    return true;
}

}  // namespace

void skip_space(const char*& p) {
    while (isSpace(*p)) ++p;
}

bool scan_lf(const char*& p, double& out) {
    if (fastDouble(p, out)) return true;
    const char* q = p;
    skip_space(q);
    bool negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    bool hex = q[0] == '0' && (q[1] | 0x20) == 'x';
    if ((isDigit(*q) || *q == '.') && !hex) {
        if (!longDecimal(q, negative, out)) return false;
        p = q;
        return true;
    }
    // Hexadecimal numbers, infinities and NaNs: exact, whoever reads them.
    double v;
    int used = 0;
    if (std::sscanf(p, "%lf%n", &v, &used) != 1) return false;
    out = v;
    p += used;
    return true;
}

int scan_lfs(const char*& p, double* out, int n) {
    int i = 0;
    while (i < n && scan_lf(p, out[i])) ++i;
    return i;
}

bool scan_d(const char*& p, int& out) { return scanInt(p, out, 10); }

bool scan_x(const char*& p, int& out) { return scanInt(p, out, 16); }
