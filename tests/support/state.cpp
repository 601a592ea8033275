#include "support/state.h"

#include "exchange/reader.h"
#include "options/options.h"
#include "platform/seam.h"
#include "platform/textfile.h"
#include "search/intake.h"
#include "search/match.h"

void reset_program_state() {
    opts = Options{};
    rd = Reader{};
    srch = Search{};
    pf_faults = PfFaults{};
    pf_waits = PfWaits{};
    fpw = nullptr;
    fp = nullptr;
    on_text_record = CHR_PRO;  // as a run hands the texts to the search
}
