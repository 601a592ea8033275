#include "records/writers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "records/record.h"
#include "support/fixture.h"

namespace {

// The records themselves are compared whole in the end-to-end tests; the
// fixed-point printer under them is compared with the C library's.

std::string viaPrintf(double v, int prec) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", prec, v);
    return buf;
}

std::string viaHelper(double v, int prec) {
    char buf[kFixedMax];
    return std::string(buf, fmt_fixed(buf, v, prec));
}

// Whether this platform's printf is a reference for `v`. MinGW-w64's printf
// (the Windows build's library) prints a NaN without its sign; the program
// prints it the way the GNU C library does ("-nan"), which the native build
// checks.
bool printfIsReference(double v) {
#ifdef _WIN32
    return !std::isnan(v);
#else
    (void)v;
    return true;
#endif
}

TEST(FixedFormat, SpecialValuesMatchPrintf) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, nan, -nan, inf, -inf, 0.5, 1.5, 2.5, -2.5, 0.125, 1e-13, 5e-13,
                             -5e-13, 1e22, 1.7976931348623157e308, 4.9e-324, 123456789.0000000005,
                             0.0000000000005, 2.675, 101.75, 0.05, 9.995, 99.5, 1.8e17, -1.8e17, 1.8446744073709552e7,
                             // around 10^16 once scaled, where the digits take the longer path
                             9999.9999999999991, 9999.999999999999, 10000.0, 99999999.99999999,
                             1e8, 9999999999999998.0, 1e16, 0.9999999999995, 0.0000000000015};
    for (double v : values) {
        if (!printfIsReference(v)) continue;
        for (int prec : {0, 1, 2, 9, 12}) EXPECT_EQ(viaHelper(v, prec), viaPrintf(v, prec)) << v << " " << prec;
    }
}

TEST(FixedFormat, RandomValuesMatchPrintf) {
    std::mt19937_64 gen(20261209);
    std::uniform_int_distribution<int> exponent(-30, 30);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    int mismatches = 0;
    for (int i = 0; i < 200000; ++i) {
        double v = i % 3 == 0 ? std::bit_cast<double>(gen()) : mantissa(gen) * std::pow(10.0, exponent(gen));
        if (!printfIsReference(v)) continue;
        for (int prec : {2, 9, 12}) mismatches += viaHelper(v, prec) != viaPrintf(v, prec);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(FixedFormat, DrawingSizedValuesAndExactTiesMatchPrintf) {
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> coordinate(-20000.0, 20000.0);
    std::uniform_int_distribution<long long> numerator(-4000000, 4000000);
    std::uniform_int_distribution<int> power(0, 40);
    int mismatches = 0;
    for (int i = 0; i < 200000; ++i) {
        // Dyadic values such as 0.125 or 2.5 sit exactly halfway between two
        // printed values and must round half to even.
        double tie = std::ldexp(static_cast<double>(numerator(gen)), -power(gen));
        double plain = coordinate(gen);
        for (int prec : {1, 2, 9, 12}) {
            mismatches += viaHelper(tie, prec) != viaPrintf(tie, prec);
            mismatches += viaHelper(plain, prec) != viaPrintf(plain, prec);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
