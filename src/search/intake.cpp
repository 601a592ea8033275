// Text record intake: the text field as read becomes the text to search.
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "exchange/reader.h"
#include "options/options.h"
#include "records/record.h"
#include "search/search.h"

namespace {

// Where the text field ends: at its first NUL, CR or LF, and at kTextMax
// bytes at most. The field's array is read 16 bytes at a time (past the
// NUL, within the array), which spares the call of a library scan per text.
std::size_t textEnd(const char (&field)[Reader::kTextFieldMax + 1]) {
    constexpr std::size_t kMax = Search::kTextMax;
    std::size_t i = 0;
#ifdef __SSE2__
    static_assert(kMax + 16 <= sizeof field, "the last 16-byte read lies in the field");
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    for (; i < kMax; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field + i));
        __m128i ends = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)),
                                    _mm_cmpeq_epi8(bytes, nul));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(ends));
        if (hits != 0) {
            std::size_t n = i + static_cast<std::size_t>(std::countr_zero(hits));
            return n < kMax ? n : kMax;
        }
    }
    return kMax;
#else
    while (i < kMax && field[i] != '\0' && field[i] != '\r' && field[i] != '\n') ++i;
    return i;
#endif
}

// Copies the text's n bytes into ChSTR in 16-byte blocks while a block fits
// in it (the bytes a last block carries beyond the text lie behind its
// terminator), rather than in one copy of variable length, which the
// compiler makes a string instruction with a slow start.
void copyText(std::size_t n) {
    std::size_t i = 0;
    for (; i < n && i + 16 <= sizeof srch.ChSTR; i += 16) std::memcpy(srch.ChSTR + i, rd.ChSTR0 + i, 16);
    if (i < n) std::memcpy(srch.ChSTR + i, rd.ChSTR0 + i, n - i);
}

}  // namespace

int CHR_PRO(unsigned /*jd_x*/) {
    // The text ends at its first NUL, CR or LF, and at 231 bytes at most.
    std::size_t n = textEnd(rd.ChSTR0);
    copyText(n);
    srch.ChSTR[n] = '\0';
    if (opts.isTest == 1) {
        Rec r;
        r.str("# CHR_PRO  now \n");
        rec_to_work(r);
    }
    return find_in_text(n);
}
