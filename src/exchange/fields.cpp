#include "exchange/fields.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

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
// to 2^53 and at most 22 decimals: one correctly rounded division gives the
// same double as the library. Returns false when the text needs the library.
bool fastDouble(const char*& p, double& out) {
    const char* q = p;
    while (isSpace(*q)) ++q;
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

// Eight text bytes as one word, the first byte lowest (little-endian).
std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr std::uint64_t kBytes = 0x0101010101010101u;  // one in every byte

// How many bytes of w, from its first, are digits before another byte (8
// when all are). A byte is a digit when its high nibble is 3 both as it is
// and plus 6; a carry out of a byte can only start at a non-digit, so it
// never changes the verdict on the bytes before it.
int leadingDigits(std::uint64_t w) {
    std::uint64_t other = ((w & (kBytes * 0xF0)) ^ (kBytes * 0x30)) |
                          (((w + kBytes * 0x06) & (kBytes * 0xF0)) ^ (kBytes * 0x30));
    return other == 0 ? 8 : std::countr_zero(other) / 8;
}

// The value of the first n (0 to 7) digits of w: they are moved to the end
// of the word (zeros before them), then combined in pairs, quads, eights.
std::uint64_t digitsValue(std::uint64_t w, int n) {
    w = (w & (kBytes * 0x0F)) << (8 * (7 - n)) << 8;  // two shifts: n = 0 shifts all out
    w = (w * 2561) >> 8;  // 10 * 256 + 1
    w = ((w & 0x00FF00FF00FF00FFu) * 6553601) >> 16;  // 100 * 65536 + 1
    return ((w & 0x0000FFFF0000FFFFu) * 42949672960001u) >> 32;  // 10000 * 2^32 + 1
}

constexpr std::uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// The first n bytes of a word (n 0 to 7).
std::uint64_t firstBytes(int n) { return (std::uint64_t{1} << (8 * n)) - 1; }

// Reads "digits[.digits]" at q, the bytes after it readable: the digits and
// their count after the point. Where the number fits in eight bytes, the
// point is taken out of the word so that one conversion takes both sides;
// a number with and one without a point take the same steps, as the texts
// of a file mix both at random. Returns false for a number that needs the
// library (more digits, or none).
bool readDecimal(const char*& q, std::uint64_t& mantissa, int& decimals) {
    std::uint64_t w = load8(q);
    int whole = leadingDigits(w);
    if (whole == 8) return false;
    bool hasPoint = ((w >> (8 * whole)) & 0xFF) == '.';
    std::uint64_t point = 0 - static_cast<std::uint64_t>(hasPoint);  // all ones with a point
    std::uint64_t low = firstBytes(whole);
    // Without a point the whole part alone; with one, the decimals moved
    // up over it. The word's last byte is 0 either way.
    std::uint64_t joined = (w & low) | ((w >> 8) & ~low & point);
    int digits = leadingDigits(joined);
    if (digits == 7 && hasPoint && isDigit(q[8])) {  // more digits after the word
        w = load8(q + whole + 1);
        decimals = leadingDigits(w);
        if (decimals == 8) return false;
        mantissa = digitsValue(load8(q), whole) * kPow10Int[decimals] + digitsValue(w, decimals);
        q += whole + 1 + decimals;
        return true;
    }
    if (digits == 0) return false;
    decimals = digits - whole;
    mantissa = digitsValue(joined, digits);
    q += digits + hasPoint;
    return true;
}

}  // namespace

bool scan_lf_padded(const char*& p, double& out) {
    if constexpr (std::endian::native != std::endian::little) {
        return scan_lf(p, out);
    } else {
        const char* q = p;
        while (*q == ' ') ++q;
        while (isSpace(*q)) ++q;  // other white space, seldom
        bool negative = *q == '-';
        q += negative;
        std::uint64_t mantissa = 0;
        int decimals = 0;
        // At most 14 digits: the mantissa is exact in a double.
        if (!readDecimal(q, mantissa, decimals) || isAlpha(*q)) return scan_lf(p, out);
        // Without branches on the form: a division by 1 is exact, and the
        // sign goes in as a bit.
        double v = static_cast<double>(mantissa) / kPow10[decimals];
        auto sign = static_cast<std::uint64_t>(negative) << 63;
        out = std::bit_cast<double>(std::bit_cast<std::uint64_t>(v) | sign);
        p = q;
        return true;
    }
}

void skip_space(const char*& p) {
    while (isSpace(*p)) ++p;
}

bool scan_lf(const char*& p, double& out) {
    if (fastDouble(p, out)) return true;
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

bool scan_d(const char*& p, int& out) {
    const char* q = p;
    while (isSpace(*q)) ++q;
    bool negative = *q == '-';
    if (negative) ++q;
    int v = 0;
    int digits = 0;
    for (; isDigit(*q) && digits < 9; ++q, ++digits) v = v * 10 + (*q - '0');
    if (digits > 0 && !isDigit(*q)) {
        out = negative ? -v : v;
        p = q;
        return true;
    }
    int used = 0;
    if (std::sscanf(p, "%d%n", &v, &used) != 1) return false;
    out = v;
    p += used;
    return true;
}

bool scan_x(const char*& p, int& out) {
    const char* q = p;
    while (isSpace(*q)) ++q;
    unsigned v = 0;
    int digits = 0;
    bool prefix = q[0] == '0' && (q[1] | 0x20) == 'x';
    for (; !prefix && digits < 7; ++q, ++digits) {
        char c = *q;
        if (isDigit(c)) {
            v = v * 16 + static_cast<unsigned>(c - '0');
        } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
            v = v * 16 + static_cast<unsigned>((c | 0x20) - 'a' + 10);
        } else {
            break;
        }
    }
    bool more = isDigit(*q) || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'f');
    if (!prefix && digits > 0 && !more) {
        out = static_cast<int>(v);
        p = q;
        return true;
    }
    unsigned u = 0;
    int used = 0;
    if (std::sscanf(p, "%x%n", &u, &used) != 1) return false;
    out = static_cast<int>(u);
    p += used;
    return true;
}
