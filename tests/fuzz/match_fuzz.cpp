// Fuzz target: the match engine on (search string, text) pairs, checked
// against a plain search for the leftmost occurrence that starts and ends
// on character boundaries.
//
// Input: one byte whose low two bits pick the test level (0 to 3, so that
// the traces run too) and whose next bit turns on /i, the search string up
// to the first NUL byte, then the text (cut at its first NUL and at 231
// bytes, like the intake does).
//
// With /i the plain search runs on the folded search string and text, and
// the expected f_head is the offset of the folded match's first character
// in the text as given; the classes follow the folded lengths.
//
// The circle's position gives the engine's f_head back: with character
// width 2, no spacing, no height, scale 1, start point (0, 0) and direction
// (1, 0), the centre lies at x = f_head + 1 and the running maximum Mx000
// becomes f_head + 2.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exchange/reader.h"
#include "fuzz_check.h"
#include "options/options.h"
#include "platform/seam.h"
#include "platform/textfile.h"
#include "search/fold.h"
#include "search/match.h"

namespace {

using Bytes = std::string;

// The character boundaries of a text as the engine walks it: a lead byte
// and the byte after it are one character; a lead byte as the last byte is
// a character of its own.
std::vector<bool> boundaries(const Bytes& text) {
    std::vector<bool> at(text.size() + 1, false);
    std::size_t p = 0;
    while (p < text.size()) {
        at[p] = true;
        bool two = is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 < text.size();
        p += two ? 2 : 1;
    }
    at[text.size()] = true;
    return at;
}

// The leftmost occurrence of `s` in `text` made of whole characters, or -1.
long leftmost(const Bytes& text, const Bytes& s) {
    if (s.empty() || s.size() > text.size()) return -1;
    std::vector<bool> at = boundaries(text);
    for (std::size_t p = 0; p + s.size() <= text.size(); ++p) {
        if (at[p] && at[p + s.size()] && text.compare(p, s.size(), s) == 0) return static_cast<long>(p);
    }
    return -1;
}

bool endsInLoneLeadByte(const Bytes& text) {
    if (text.empty()) return false;
    std::vector<bool> at = boundaries(text);
    return at[text.size() - 1] && is_lead_byte(static_cast<unsigned char>(text.back()));
}

struct Counters {
    int match, exact, prefix, suffix;
};

// The /i form of a text, and for each of its bytes the offset of its
// character in the text as given (one more entry: the text's length).
Bytes folded(const Bytes& text, std::vector<int>& origin) {
    std::vector<unsigned char> out(2 * text.size() + 1);
    origin.assign(2 * text.size() + 1, -1);
    int n = fold_text(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()),
                      out.data(), origin.data());
    FUZZ_CHECK(out[n] == 0 && origin[n] == static_cast<int>(text.size()), "fold of %zu bytes unterminated",
               text.size());
    for (int k = 1; k < n; ++k) FUZZ_CHECK(origin[k] >= origin[k - 1], "fold origins go back at %d", k);
    return Bytes(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));
}

Counters counters() { return {srch.match, srch.match_p, srch.match_l, srch.match_r}; }

void resetState(int level) {
    opts = Options{};
    opts.isTest = level;
    rd = Reader{};
    rd.MOJIS = 1;
    rd.MOJI_W[1] = 2.0;
    rd.ChDX = 1.0;
    srch = Search{};
    pf_faults = PfFaults{};
    pf_discard(fpw);  // the work file keeps nothing from one input to the next
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_keep_report_fd();
    // Traces of levels 2 and 3 go to the console; the circles and the
    // level-1 traces to a work file that keeps nothing.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    char dir[] = "/tmp/qx_match_fuzz_XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    fpw = pf_create_work((std::string(dir) + "/work").c_str(), nullptr);
    if (!fpw) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Bytes in(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::size_t nul = in.find('\0');
    if (nul == Bytes::npos) return 0;
    Bytes search = in.substr(0, nul);
    Bytes text = in.substr(nul + 1);
    text = text.substr(0, text.find('\0'));
    if (text.size() > static_cast<std::size_t>(Search::kTextMax)) text.resize(Search::kTextMax);

    resetState(data[0] & 3);
    const bool fold = (data[0] & 4) != 0;
    if (fold) opt("/i");
    Bytes arg = "/Z" + search;
    opt(arg.c_str());
    Bytes stored = search.substr(0, Options::kChS001Max - 1);  // the option keeps 127 bytes
    // Behind the terminator the buffer holds what a longer earlier text
    // left there: no scan may read it.
    std::memset(srch.ChSTR, 'A', Search::kTextMax);
    text.copy(srch.ChSTR, text.size());
    srch.ChSTR[text.size()] = '\0';

    FIND_STR(0);

    Counters c = counters();
    std::vector<int> origin, unused;
    if (fold) {
        text = folded(text, origin);
        stored = folded(stored, unused);
    }
    long head = leftmost(text, stored);
    bool found = head >= 0;
    std::size_t n = stored.size();
    FUZZ_CHECK(c.match == (found ? 1 : 0), "search %zu bytes, text %zu bytes, expected head %ld", n, text.size(),
               head);
    if (!found) {
        FUZZ_CHECK(c.exact == 0 && c.prefix == 0 && c.suffix == 0, "a class counted without a match");
        return 0;
    }
    long given = fold ? origin[static_cast<std::size_t>(head)] : head;
    FUZZ_CHECK(srch.Mx000 == static_cast<double>(given) + 2.0, "f_head %g, expected %ld", srch.Mx000 - 2.0, given);
    bool exact = head == 0 && n == text.size();
    bool prefix = head == 0 && n < text.size();
    // A lead byte as the text's last byte counts two bytes in the length
    // that the classification uses, so such a text has no suffix match.
    bool suffix = head > 0 && head + n == text.size() && !endsInLoneLeadByte(text);
    FUZZ_CHECK(c.exact == (exact ? 1 : 0), "exact %d, expected %d (head %ld)", c.exact, exact, head);
    FUZZ_CHECK(c.prefix == (prefix ? 1 : 0), "prefix %d, expected %d (head %ld)", c.prefix, prefix, head);
    FUZZ_CHECK(c.suffix == (suffix ? 1 : 0), "suffix %d, expected %d (head %ld)", c.suffix, suffix, head);
    return 0;
}
