// Comparing work files whose circle records place circles with sin, cos and
// atan2. On 32-bit x86 the C library's results may differ in the last bit
// from those an expectation was computed from (the 64-bit library's, or the
// compiler's own for constant arguments), a few values in a thousand, which
// can change the last printed digit of a centre. There the numbers of a
// circle record ("ci x y r ") need only agree within 1e-9 of the larger one;
// every other byte, and every byte elsewhere, must be equal.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace circles_detail {

inline std::vector<std::string_view> split(std::string_view text, char at) {
    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        std::size_t end = text.find(at, from);
        parts.push_back(text.substr(from, end - from));
        if (end == std::string_view::npos) return parts;
        from = end + 1;
    }
}

// Two circle records with the same fields and line end, whose numbers agree
// within 1e-9 of the larger one.
inline bool sameCircle(std::string_view got, std::string_view want) {
    std::vector<std::string_view> g = split(got, ' '), w = split(want, ' ');
    if (g.size() != w.size() || g.size() < 3 || g[0] != "ci" || w[0] != "ci" || g.back() != w.back())
        return false;
    for (std::size_t i = 1; i + 1 < g.size(); ++i) {
        if (g[i] == w[i]) continue;
        double a = 0, b = 0;
        auto [aEnd, aError] = std::from_chars(g[i].data(), g[i].data() + g[i].size(), a);
        auto [bEnd, bError] = std::from_chars(w[i].data(), w[i].data() + w[i].size(), b);
        if (aError != std::errc() || bError != std::errc() || aEnd != g[i].data() + g[i].size() ||
            bEnd != w[i].data() + w[i].size())
            return false;
        if (!(std::fabs(a - b) <= 1e-9 * std::fmax(std::fabs(a), std::fabs(b)))) return false;
    }
    return true;
}

}  // namespace circles_detail

// The work file `got` against `want`, line by line, circle records by their
// numbers (for EXPECT_PRED_FORMAT2).
inline ::testing::AssertionResult workCirclesNear(const char* gotText, const char* wantText, const std::string& got,
                                                  const std::string& want) {
    std::vector<std::string_view> g = circles_detail::split(got, '\n'), w = circles_detail::split(want, '\n');
    for (std::size_t i = 0; i < g.size() || i < w.size(); ++i) {
        std::string_view a = i < g.size() ? g[i] : "(none)", b = i < w.size() ? w[i] : "(none)";
        if (a != b && !circles_detail::sameCircle(a, b))
            return ::testing::AssertionFailure() << gotText << " differs from " << wantText << " at line " << i + 1
                                                 << ":\n  " << ::testing::PrintToString(std::string(a)) << "\n  "
                                                 << ::testing::PrintToString(std::string(b));
    }
    return ::testing::AssertionSuccess();
}

// Expects the work file text `got` to equal `want`: byte for byte, except
// for the numbers of circle records in a 32-bit x86 build.
#if defined(__i386__)
#define EXPECT_WORK_EQ(got, want) EXPECT_PRED_FORMAT2(workCirclesNear, got, want)
#else
#define EXPECT_WORK_EQ(got, want) EXPECT_EQ(got, want)
#endif
