#include "support/selection.h"

#include <cstdio>
#include <vector>

namespace {

std::string number(std::mt19937& rng) {
    static const char* const odd[] = {"-0", "+3", "1e2", "0x10", "nan", "-7.5e-1", "12345678901234567890", "."};
    if (rng() % 40 == 0) return odd[rng() % 8];
    double v = static_cast<double>(rng() % 400000) / 1000.0 - (rng() % 5 == 0 ? 100.0 : 0.0);
    char buf[32];
    std::snprintf(buf, sizeof buf, rng() % 3 == 0 ? "%g" : "%.3f", v);
    return buf;
}

// `head`, then `n` numbers, each after a blank.
std::string numbers(std::mt19937& rng, const char* head, int n) {
    std::string r = head;
    for (int i = 0; i < n; ++i) r.append(" ").append(number(rng));
    return r;
}

std::string text(std::mt19937& rng, const std::string& search) {
    static const char* const words[] = {"\x90\x7d", "\x96\xca", "A-", "x", " ", "\x8c\x9f", "\x8d\xf5", "\xb1"};
    std::string t;
    for (int n = static_cast<int>(rng() % 8); n > 0; --n) {
        t += rng() % 4 == 0 ? search : words[rng() % 8];
    }
    if (rng() % 30 == 0) t.append(240, 'w');  // past the text's limit
    return t;
}

std::string record(std::mt19937& rng, const std::string& search) {
    switch (rng() % 24) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: {
        std::string r = rng() % 10 == 0 ? "cx" : "ch";
        int fields = rng() % 12 == 0 ? static_cast<int>(rng() % 4) : 4;  // sometimes broken
        for (int i = 0; i < fields; ++i) r.append(" ").append(number(rng));
        if (fields == 4 && rng() % 15 != 0) r.append(" \"").append(text(rng, search));
        return r;
    }
    case 7: case 8: case 9: return numbers(rng, "", 4);
    case 10: return "cn" + std::to_string(rng() % 12);
    case 11: return numbers(rng, "cn0", 3).append(" ").append(std::to_string(rng() % 9));
    case 12: {
        return numbers(rng, rng() % 2 ? "hcw" : (rng() % 2 ? "hch" : "hcd"), static_cast<int>(rng() % 11));
    }
    case 13: {
        return numbers(rng, "hs", static_cast<int>(rng() % 17));
    }
    case 14: return numbers(rng, "hn", 4);
    case 15: {
        static const char* const heads[] = {"hq", "hp1 ln", "hp2 ch", "hp1 ", "hp2/", "hp3-", "hp0+", "hp9 "};
        return std::string(heads[rng() % 8]).append(number(rng)).append(" ").append(number(rng));
    }
    case 16: {
        static const char* const attrs[] = {"lg", "ly", "lt", "lc"};
        char v[8];
        std::snprintf(v, sizeof v, "%x", static_cast<unsigned>(rng() % 20));
        return std::string(attrs[rng() % 4]).append(v);
    }
    case 17: return "pn" + std::to_string(rng() % 4);
    case 18: return "pt 1 2";
    case 19: return std::string("# comment ").append(rng() % 5 == 0 ? 300 : 5, 'c');
    case 20: return std::string("bz 1 2 ").append(rng() % 5 == 0 ? 400 : 3, 'b');
    case 21: return std::string(300 + rng() % 300, 'l');  // one long line
    case 22: return rng() % 2 ? std::string("ch 1 2 3 4 \"n\0ul", 16) : "ch 1 2 3 4 \"lone\rcr";
    default: return "";
    }
}

}  // namespace

std::string random_selection(std::mt19937& rng, int lines, const std::string& search) {
    std::string disk = "# selection\r\nhn 0 0 420 297\r\nhs 1 2 0.5 1 1 1 1 1 1 1 1 1 1 1 1 3\r\n"
                       "hcw 2 2.5 3 3.5 4 5 6 7 8 10\r\nhch 2 2.5 3 3.5 4 5 6 7 8 10\r\n";
    for (int i = 0; i < lines; ++i) {
        disk += record(rng, search);
        if (i + 1 < lines || rng() % 3 != 0) disk += rng() % 10 == 0 ? "\n" : "\r\n";
    }
    return disk;
}
