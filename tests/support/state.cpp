#include "support/state.h"

#include "driver/driver.h"
#include "exchange/reader.h"
#include "options/options.h"
#include "platform/seam.h"
#include "platform/textfile.h"
#include "search/search.h"

void reset_program_state() {
    opts = Options{};
    rd = Reader{};
    srch = Search{};
    pf_faults = PfFaults{};
    pf_waits = PfWaits{};
    fpw = nullptr;
    fp = nullptr;
}
