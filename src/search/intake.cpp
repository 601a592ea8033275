// Text record intake: the text field as read becomes the text to search.
#include "search/intake.h"

#include <cstring>

#include "exchange/reader.h"
#include "options/options.h"
#include "records/record.h"
#include "search/match.h"

int CHR_PRO(unsigned /*jd_x*/) {
    // The text ends at its first NUL, CR or LF, and at 231 bytes at most.
    std::size_t n = std::strcspn(rd.ChSTR0, "\r\n");
    if (n > static_cast<std::size_t>(Search::kTextMax)) n = Search::kTextMax;
    std::memcpy(srch.ChSTR, rd.ChSTR0, n);
    srch.ChSTR[n] = '\0';
    if (opts.isTest == 1) {
        Rec r;
        r.str("# CHR_PRO  now \n");
        rec_to_work(r);
    }
    return find_in_text(n);
}
