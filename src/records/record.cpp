// The record buffer's formatting: exact fixed-point numbers (a 128-bit
// integer path, std::to_chars beyond it), integers, and the two outputs.
#include "records/record.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "platform/textfile.h"

namespace {

// The powers of ten up to the most decimals the exact path prints.
constexpr std::uint64_t kPow10[] = {1,           10,           100,           1000,       10000,
                                    100000,      1000000,      10000000,      100000000,  1000000000,
                                    10000000000, 100000000000, 1000000000000};

// The product of two 64-bit values, 128 bits wide, and its parts: the
// bits from `shift` up (the quotient by 2^shift, which must fit in 64 bits
// here) and the bits below. Compilers that have a 128-bit integer type
// multiply in one step; elsewhere (32-bit builds) four 32-bit products
// make it.
struct Product {
    std::uint64_t hi, lo;
};

#ifdef __SIZEOF_INT128__
__extension__ typedef unsigned __int128 Wide;

Product mul64(std::uint64_t a, std::uint64_t b) {
    Wide p = static_cast<Wide>(a) * b;
    return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
}
#else
Product mul64(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t mask = 0xffffffffu;
    std::uint64_t p00 = (a & mask) * (b & mask), p01 = (a & mask) * (b >> 32);
    std::uint64_t p10 = (a >> 32) * (b & mask), p11 = (a >> 32) * (b >> 32);
    std::uint64_t mid = (p00 >> 32) + (p01 & mask) + (p10 & mask);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32), (mid << 32) | (p00 & mask)};
}
#endif

bool less(Product a, Product b) { return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo); }

// x >> shift and the bits shifted out, for shift 1 to 127.
void split(Product x, int shift, Product& quotient, Product& rest) {
    if (shift >= 64) {
        int s = shift - 64;
        quotient = {0, s == 0 ? x.hi : x.hi >> s};
        rest = {s == 0 ? 0 : x.hi & ((std::uint64_t{1} << s) - 1), x.lo};
    } else {
        quotient = {x.hi >> shift, (x.lo >> shift) | (x.hi << (64 - shift))};
        rest = {0, x.lo & ((std::uint64_t{1} << shift) - 1)};
    }
}

// Writes scaled / 10^prec with exactly prec decimals ("0.05" for 5 and 2).
char* putScaled(char* p, std::uint64_t scaled, int prec) {
    char digits[24];
    auto res = std::to_chars(digits, digits + sizeof digits, scaled);
    auto count = static_cast<int>(res.ptr - digits);
    if (count <= prec) {  // a value below 1 keeps its leading zero
        std::memmove(digits + prec + 1 - count, digits, static_cast<std::size_t>(count));
        std::memset(digits, '0', static_cast<std::size_t>(prec + 1 - count));
        count = prec + 1;
    }
    auto whole = static_cast<std::size_t>(count - prec);
    std::memcpy(p, digits, whole);
    p += whole;
    if (prec > 0) *p++ = '.';
    std::memcpy(p, digits + whole, static_cast<std::size_t>(prec));
    return p + prec;
}

// The eight decimal digits of n (below 10^8, leading zeros included) as
// eight characters in one word, the first digit in the lowest byte: n is
// split into two four-digit halves, each half into two pairs, each pair
// into two digits, every step in all lanes of the word at once (a division
// by 100 or 10 done as a multiplication that is exact in this range).
static_assert(std::endian::native == std::endian::little, "digits are stored from the lowest byte");
std::uint64_t eightDigits(std::uint32_t n) {
    std::uint64_t halves = (n / 10000) | (static_cast<std::uint64_t>(n % 10000) << 32);
    std::uint64_t hundreds = ((halves * 10486) >> 20) & ((std::uint64_t{0x7F} << 32) | 0x7F);
    std::uint64_t pairs = ((halves - 100 * hundreds) << 16) + hundreds;
    std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Fu;
    std::uint64_t digits = tens + ((pairs - 10 * tens) << 8);
    return digits + 0x3030303030303030u;
}

// putScaled for twelve decimals and a value below 10^4, every circle centre
// and line of a drawing: the whole part and the first four decimals make
// one word of eight digits, the other eight decimals another, stored as
// they are (p has room for 24 bytes).
char* putTwelve(char* p, std::uint64_t scaled) {
    std::uint64_t whole = scaled / kPow10[12], decimals = scaled % kPow10[12];
    std::uint64_t head = eightDigits(static_cast<std::uint32_t>(whole * 10000 + decimals / 100000000));
    std::uint64_t tail = eightDigits(static_cast<std::uint32_t>(decimals % 100000000));
    // The whole part without its leading zeros, "0" for none.
    int count = 1 + static_cast<int>(whole >= 10) + static_cast<int>(whole >= 100) + static_cast<int>(whole >= 1000);
    std::uint64_t wholeDigits = (head & 0xFFFFFFFFu) >> (8 * (4 - count));
    auto firstDecimals = static_cast<std::uint32_t>(head >> 32);
    std::memcpy(p, &wholeDigits, 8);
    p += count;
    *p++ = '.';
    std::memcpy(p, &firstDecimals, 4);
    std::memcpy(p + 4, &tail, 8);
    return p + 12;
}

// The exact fixed-point digits of a double of moderate size: v = m * 2^e is
// scaled by 10^prec in 128-bit integers and rounded half to even, which is
// what std::to_chars and printf do. Returns 0 when the value needs the
// general path.
std::size_t fastFixed(char* out, double v, int prec) {
    if (prec < 0 || prec > 12) return 0;
    auto bits = std::bit_cast<std::uint64_t>(v);
    int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0x7ff) return 0;  // infinity or NaN
    int e = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0) m |= std::uint64_t{1} << 52;
    if (e >= 0 || e < -127) return 0;
    Product q, rest;
    split(mul64(m, kPow10[prec]), -e, q, rest);
    Product half = -e > 64 ? Product{std::uint64_t{1} << (-e - 65), 0} : Product{0, std::uint64_t{1} << (-e - 1)};
    if (q.hi != 0 || q.lo == ~std::uint64_t{0}) return 0;  // rounding up must not wrap
    if (less(half, rest) || (!less(rest, half) && (q.lo & 1))) ++q.lo;
    char* p = out;
    if (bits >> 63) *p++ = '-';
    bool twelve = prec == 12 && q.lo < 10000 * kPow10[12];
    return static_cast<std::size_t>((twelve ? putTwelve(p, q.lo) : putScaled(p, q.lo, prec)) - out);
}

}  // namespace

std::size_t fmt_fixed(char* out, double v, int prec) {
    if (std::size_t n = fastFixed(out, v, prec)) return n;
    auto res = std::to_chars(out, out + kFixedMax, v, std::chars_format::fixed, prec);
    return static_cast<std::size_t>(res.ptr - out);
}

Rec& Rec::bytes(const char* data, std::size_t n) {
    if (n > kCap - len) n = kCap - len;  // cannot happen with the formats in use
    std::memcpy(buf + len, data, n);
    len += n;
    return *this;
}

Rec& Rec::str(const char* text) { return bytes(text, std::strlen(text)); }

Rec& Rec::num(long long v) {
    char tmp[24];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, v);
    return bytes(tmp, static_cast<std::size_t>(res.ptr - tmp));
}

Rec& Rec::hex(unsigned v) {
    char tmp[16];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, v, 16);
    return bytes(tmp, static_cast<std::size_t>(res.ptr - tmp));
}

Rec& Rec::fixed(double v, int prec) {
    if (kCap - len >= kFixedMax) {  // room for the longest number: print in place
        len += fmt_fixed(buf + len, v, prec);
        return *this;
    }
    char tmp[kFixedMax];
    return bytes(tmp, fmt_fixed(tmp, v, prec));
}

void rec_to_work(const Rec& r) { pf_write(fpw, r.buf, r.len); }

void rec_to_console(const Rec& r) { pf_stdout(r.buf, r.len); }
