#include "platform/system.h"

#include <map>
#include <string>

#include "platform/seam.h"
#include "support/fixture.h"

namespace {

const char kUpper[] = "QXC_TEMP.TXT";
const char kLower[] = "qxc_temp.txt";
const char kMixed[] = "Qxc_Temp.Txt";
const char kTemp1[] = "QXC_x2x2.$$";
const char kTemp2[] = "QXC_x2x2.$$$";
const std::string kInput = "# the host's selection\r\n";
const std::string kLeftover = "# left over\r\n";

class NamesTest : public TempDirTest {
protected:
    // Starts a case: the directory holds exactly `files`, no fault is set.
    static void given(const Files& files) {
        make_files_here(files);
        pf_faults = PfFaults{};
    }
    static Files onDisk() { return files_here(); }
    // Renames nth to nth + count - 1 fail.
    static void failRenames(long nth, long count) {
        pf_faults.op = PF_RENAME;
        pf_faults.nth = nth;
        pf_faults.count = count;
    }
    // Whether a rename that changes only the case of a name reports success
    // but keeps the old spelling here (wine does).
    static bool oneStepKeepsSpelling() {
        given({{"Probe.Txt", ""}});
        bool renamed = sys_rename("Probe.Txt", "PROBE.TXT") == SYS_RENAMED;
        bool kept = renamed && onDisk().count("Probe.Txt") == 1;
        given({});
        return kept;
    }
};

// Where names tell case apart, one rename of the lower-case name, never
// over an exchange file of the upper-case name (a file of any other
// spelling is another file there); where they ignore case, the search finds
// the exchange file whatever its spelling, and leftovers never take its
// place.
TEST_F(NamesTest, ExchangeFileGetsTheExactName) {
    struct Case {
        const char* label;
        Files before;
        long failing;  // the rename made to fail once, 0 for none
        Files after;
    } cases[] = {
        {"lower case", {{kLower, kInput}}, 0, {{kUpper, kInput}}},
        {"exact name", {{kUpper, kInput}}, 0, {{kUpper, kInput}}},
        {"leftovers only", {{kTemp1, kLeftover}, {kTemp2, kLeftover}}, 0, {{kTemp1, kLeftover}, {kTemp2, kLeftover}}},
#ifdef _WIN32
        {"mixed case", {{kMixed, kInput}}, 0, {{kUpper, kInput}}},
        {"leftovers next to the exact name", {{kUpper, kInput}, {kTemp1, kLeftover}, {kTemp2, kLeftover}}, 0,
         {{kUpper, kInput}, {kTemp1, kLeftover}, {kTemp2, kLeftover}}},
        // A failed rename is tried again; where the one rename keeps the old
        // spelling, the chain through the temporary name runs, replacing a
        // leftover of it.
        {"one-step rename fails", {{"qXC_TEMP.TXt", kInput}, {kTemp2, kLeftover}}, 1, {{kUpper, kInput}}},
#else
        {"mixed case", {{kMixed, kInput}}, 0, {{kMixed, kInput}}},
        {"stale lower-case file", {{kLower, kLeftover}, {kUpper, kInput}}, 0, {{kLower, kLeftover}, {kUpper, kInput}}},
#endif
    };
    for (const Case& c : cases) {
        given(c.before);
        if (c.failing) failRenames(c.failing, 1);
        pf_waits.replaceMs = 30;
        pf_normalise_name(kLower, kUpper);
        EXPECT_EQ(onDisk(), c.after) << c.label;
    }
}

#ifdef _WIN32
// A file already named exactly, or no file at all: nothing is renamed.
TEST_F(NamesTest, SearchLeavesExactNameAlone) {
    for (const Files& files : {Files{{kUpper, kInput}}, Files{}, Files{{"QXC_TEMP.TXT.bak", kInput}}}) {
        given(files);
        pf_normalise_name(kLower, kUpper);
        EXPECT_EQ(pf_faults.calls[PF_RENAME], 0) << files.size();
    }
}

// Where a rename that changes only the case keeps the old spelling, the
// chain through the temporary name is taken. Each of its renames is tried
// again while it fails (here 3 times: waits of 10 and 20 ms); one that
// keeps failing leaves the exchange file with (or gives it back) the name
// the host gave it, never the temporary one.
TEST_F(NamesTest, SearchChainFailures) {
    if (!oneStepKeepsSpelling()) {
        GTEST_SKIP() << "a rename here changes the case of a name in one step, so the chain is never taken";
    }
    struct Case {
        const char* label;
        Files before;
        long nth, count;  // renames: 1 the one step, 2 and on the chain
        Files after;
    } cases[] = {
        {"no failure", {{kMixed, kInput}}, 0, 0, {{kUpper, kInput}}},
        {"first chain step fails once", {{kMixed, kInput}, {kTemp2, kLeftover}}, 2, 1, {{kUpper, kInput}}},
        {"first chain step keeps failing", {{kMixed, kInput}, {kTemp2, kLeftover}}, 2, 3,
         {{kMixed, kInput}, {kTemp2, kLeftover}}},
        // Fault 3: the second step and the first try of the way back failed,
        // and the input was left as "QXC_x2x2.$$$", which the next run's
        // chain replaced.
        {"second chain step fails twice", {{kMixed, kInput}}, 3, 2, {{kUpper, kInput}}},
        {"second chain step keeps failing", {{kMixed, kInput}}, 3, 3, {{kMixed, kInput}}},
        {"second chain step keeps failing after replacing a leftover", {{kLower, kInput}, {kTemp2, kLeftover}}, 3,
         3, {{kLower, kInput}}},
    };
    for (const Case& c : cases) {
        given(c.before);
        failRenames(c.nth, c.count);
        pf_waits.replaceMs = 30;
        pf_normalise_name(kLower, kUpper);
        EXPECT_EQ(onDisk(), c.after) << c.label;
    }
}
#endif

}  // namespace
