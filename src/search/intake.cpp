// Text record intake: the text field as read becomes the text to search.
#include "exchange/reader.h"
#include "options/options.h"
#include "records/record.h"
#include "search/search.h"

int CHR_PRO(unsigned jd_x) {
    // The text ends at its first NUL, CR or LF, and at 231 bytes at most.
    int i = 0;
    for (; i < Search::kTextMax; ++i) {
        char b = rd.ChSTR0[i];
        if (b == '\0' || b == '\r' || b == '\n') break;
        srch.ChSTR[i] = b;
    }
    srch.ChSTR[i] = '\0';
    if (opts.isTest == 1) {
        Rec r;
        r.str("# CHR_PRO  now \n");
        rec_to_work(r);
    }
    return FIND_STR(jd_x);
}
