#include "records/record.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "driver/driver.h"
#include "platform/textfile.h"

namespace {

// The powers of ten up to the most decimals the fast path prints.
constexpr std::uint64_t kPow10[] = {1,         10,         100,         1000,         10000,
                                    100000,    1000000,    10000000,    100000000,    1000000000,
                                    10000000000, 100000000000, 1000000000000};

// The product of two 64-bit values, 128 bits wide, and its parts: the
// bits from `shift` up (the quotient by 2^shift, which must fit in 64 bits
// here) and the bits below. Compilers that have a 128-bit integer type
// multiply in one step; elsewhere four 32-bit products make it.
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

// "00" to "99": two digits per division.
constexpr auto kPairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Puts the two digits of n (below 100) before d.
char* putPair(char* d, std::uint32_t n) {
    d -= 2;
    std::memcpy(d, kPairs.data() + 2 * n, 2);
    return d;
}

// Writes scaled / 10^prec with exactly prec decimals ("0.05" for 5 and 2).
// The digits are made right to left, eight from each 64-bit division, the
// rest in 32 bits: a 32-bit build divides 64-bit numbers by a library call.
char* putScaled(char* p, std::uint64_t scaled, int prec) {
    char digits[24];
    char* const end = digits + sizeof digits;
    char* d = end;
    while (scaled >= 100000000) {
        auto chunk = static_cast<std::uint32_t>(scaled % 100000000);
        scaled /= 100000000;
        for (int i = 0; i < 4; ++i, chunk /= 100) d = putPair(d, chunk % 100);
    }
    auto top = static_cast<std::uint32_t>(scaled);
    for (; top >= 100; top /= 100) d = putPair(d, top % 100);
    if (top >= 10) d = putPair(d, top);
    else if (top > 0) *--d = static_cast<char>('0' + top);
    while (end - d <= prec) *--d = '0';  // a value below 1 keeps its leading zero
    auto whole = static_cast<std::size_t>(end - d - prec);
    std::memcpy(p, d, whole);
    p += whole;
    if (prec > 0) {
        *p++ = '.';
        std::memcpy(p, d + whole, static_cast<std::size_t>(prec));
        p += prec;
    }
    return p;
}

// The exact fixed-point digits of a double of moderate size: v = m * 2^e is
// scaled by 10^prec in 128-bit integers and rounded half to even, which is
// what std::to_chars and printf do. Returns 0 when the value needs the
// general path.
std::size_t fastFixed(char* out, double v, int prec) {
    if (prec < 0 || prec > 12) return 0;
    auto bits = std::bit_cast<std::uint64_t>(v);
    bool negative = bits >> 63;
    int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0x7ff) return 0;  // infinity or NaN
    int e = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0) m |= std::uint64_t{1} << 52;
    if (e >= 0 || e < -127) return 0;
    int shift = -e;
    Product q, rest;
    split(mul64(m, kPow10[prec]), shift, q, rest);
    Product half = shift > 64 ? Product{std::uint64_t{1} << (shift - 65), 0} : Product{0, std::uint64_t{1} << (shift - 1)};
    if (q.hi != 0 || q.lo == ~std::uint64_t{0}) return 0;  // rounding up must not wrap
    if (less(half, rest) || (!less(rest, half) && (q.lo & 1))) ++q.lo;
    char* p = out;
    if (negative) *p++ = '-';
    return static_cast<std::size_t>(putScaled(p, q.lo, prec) - out);
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
