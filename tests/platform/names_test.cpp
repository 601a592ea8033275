#include "platform/names.h"

#include <filesystem>
#include <map>
#include <string>

#include "platform/system.h"
#include "platform/textfile.h"
#include "support/fixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;  // name as stored: bytes

const char kUpper[] = "QXC_TEMP.TXT";
const char kLower[] = "qxc_temp.txt";
const char kMixed[] = "Qxc_Temp.Txt";
const char kTemp1[] = "QXC_x2x2.$$";
const char kTemp2[] = "QXC_x2x2.$$$";
const char kWork[] = "QXC_TEMP.$$$";
const std::string kInput = "# the host's selection\r\n";
const std::string kLeftover = "# left over\r\n";
const std::string kOutput = "# the output\r\n";

class NamesTest : public TempDirTest {
protected:
    // Starts a case: the directory holds exactly `files`, no fault is set.
    static void given(const Files& files) {
        for (const fs::directory_entry& e : fs::directory_iterator(".")) fs::remove(e.path());
        for (const auto& [name, bytes] : files) write_file(name, bytes);
        pf_faults = PfFaults{};
    }
    // Every file of the current directory, by its name as stored.
    static Files onDisk() {
        Files all;
        for (const fs::directory_entry& e : fs::directory_iterator(".")) {
            all[e.path().filename().string()] = read_file(e.path());
        }
        return all;
    }
    static void failRename(long nth) {
        pf_faults.op = PF_RENAME;
        pf_faults.nth = nth;
    }
    static long renames() { return pf_faults.calls[PF_RENAME]; }
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

#ifdef _WIN32
// The way for names that ignore case: the search finds the exchange file
// whatever its spelling, and leftovers never take its place.
TEST_F(NamesTest, SearchGivesTheExactName) {
    struct Case {
        const char* label;
        Files before;
        long failing;  // the rename made to fail, 0 for none
        Files after;
    } cases[] = {
        {"mixed case", {{kMixed, kInput}}, 0, {{kUpper, kInput}}},
        {"lower case", {{kLower, kInput}}, 0, {{kUpper, kInput}}},
        {"exact name", {{kUpper, kInput}}, 0, {{kUpper, kInput}}},
        {"no exchange file", {{kTemp1, kLeftover}, {kTemp2, kLeftover}, {"QXC_TEMP.TX", ""}}, 0,
         {{kTemp1, kLeftover}, {kTemp2, kLeftover}, {"QXC_TEMP.TX", ""}}},
        {"leftovers next to the exact name", {{kUpper, kInput}, {kTemp1, kLeftover}, {kTemp2, kLeftover}}, 0,
         {{kUpper, kInput}, {kTemp1, kLeftover}, {kTemp2, kLeftover}}},
        // When the one rename fails, the name is looked at again and the
        // chain through the temporary name runs, replacing a leftover of it.
        {"one-step rename fails", {{"qXC_TEMP.TXt", kInput}, {kTemp2, kLeftover}}, 1, {{kUpper, kInput}}},
    };
    for (const Case& c : cases) {
        given(c.before);
        if (c.failing) failRename(c.failing);
        pf_normalise_by_search(kUpper);
        EXPECT_EQ(onDisk(), c.after) << c.label;
    }
}

// A file already named exactly, or no file at all: nothing is renamed.
TEST_F(NamesTest, SearchLeavesExactNameAlone) {
    for (const Files& files : {Files{{kUpper, kInput}}, Files{}, Files{{"QXC_TEMP.TXT.bak", kInput}}}) {
        given(files);
        pf_normalise_by_search(kUpper);
        EXPECT_EQ(renames(), 0) << files.size();
    }
}

// Where a rename that changes only the case keeps the old spelling, the
// chain through the temporary name is taken; when one of its steps fails,
// the exchange file keeps (or gets back) the name the host gave it.
TEST_F(NamesTest, SearchChainFailures) {
    if (!oneStepKeepsSpelling()) {
        GTEST_SKIP() << "a rename here changes the case of a name in one step, so the chain is never taken";
    }
    struct Case {
        const char* label;
        Files before;
        long failing;  // renames: 1 the one step, 2 and 3 the chain
        Files after;
    } cases[] = {
        {"no failure", {{kMixed, kInput}}, 0, {{kUpper, kInput}}},
        {"first chain step fails", {{kMixed, kInput}, {kTemp2, kLeftover}}, 2,
         {{kMixed, kInput}, {kTemp2, kLeftover}}},
        {"second chain step fails", {{kMixed, kInput}}, 3, {{kMixed, kInput}}},
        {"second chain step fails after replacing a leftover", {{kLower, kInput}, {kTemp2, kLeftover}}, 3,
         {{kLower, kInput}}},
    };
    for (const Case& c : cases) {
        given(c.before);
        if (c.failing) failRename(c.failing);
        pf_normalise_by_search(kUpper);
        EXPECT_EQ(onDisk(), c.after) << c.label;
    }
}

// The output gets the exchange file's attributes, by the rename and by the
// in-place copy alike, and a read-only exchange file is replaced like any
// other; after a failed copy the exchange file keeps its own. (Windows
// proper also refuses to rename over a read-only file or to write it; wine
// shows only the lost attributes.)
TEST_F(NamesTest, ReplacementKeepsTheAttributes) {
    const DWORD cases[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0};
    enum Way { kRenamed, kCopied, kCopyFails };
    for (DWORD attributes : cases) {
        for (Way way : {kRenamed, kCopied, kCopyFails}) {
            given({{kUpper, kInput}, {kWork, kOutput}});
            ASSERT_TRUE(SetFileAttributesA(kUpper, attributes ? attributes : FILE_ATTRIBUTE_NORMAL));
            const DWORD kept = GetFileAttributesA(kUpper) & kSysKeptAttributes;  // those the file system keeps
            pf_faults.renamesBlocked = way != kRenamed;
            if (way == kCopyFails) pf_faults.op = PF_LOCK_FILE, pf_faults.nth = 1;
            pf_waits.replaceMs = 0;
            EXPECT_EQ(pf_replace(kWork, kUpper), way == kCopyFails ? -1 : 0) << attributes << way;
            EXPECT_EQ(GetFileAttributesA(kUpper) & kSysKeptAttributes, kept) << attributes << way;
            SetFileAttributesA(kUpper, FILE_ATTRIBUTE_NORMAL);
            const Files failed{{kUpper, kInput}, {kWork, kOutput}}, replaced{{kUpper, kOutput}};
            EXPECT_EQ(onDisk(), way == kCopyFails ? failed : replaced) << attributes << way;
        }
    }
}

#endif

// The in-place copy keeps the exchange file's bytes in memory to put them
// back after a failure, 64 MiB at most: a bigger file (which the run would
// have refused as over the line limit, so it changed since) is left alone.
TEST_F(NamesTest, InPlaceCopyLeavesAnOverlargeExchangeFileAlone) {
    given({{kUpper, kInput}, {kWork, kOutput}});
    fs::resize_file(kUpper, (std::uintmax_t{64} << 20) + 1);
    pf_faults.renamesBlocked = true;
    pf_waits.replaceMs = 0;
    EXPECT_EQ(pf_replace(kWork, kUpper), -1);
    EXPECT_EQ(pf_faults.calls[PF_WRITE], 0);
    EXPECT_EQ(fs::file_size(kUpper), (std::uintmax_t{64} << 20) + 1);
    EXPECT_EQ(read_file(kWork), kOutput);
}

// The platform's own way: where names tell case apart, one rename of the
// lower-case name, never over an exchange file of the upper-case name (a
// file of any other spelling is another file there); the search where they
// ignore case.
TEST_F(NamesTest, PlatformWay) {
    struct Case {
        const char* label;
        Files before;
        Files after;
    } cases[] = {
        {"lower case", {{kLower, kInput}}, {{kUpper, kInput}}},
        {"exact name", {{kUpper, kInput}}, {{kUpper, kInput}}},
#ifdef _WIN32
        {"mixed case", {{kMixed, kInput}}, {{kUpper, kInput}}},
#else
        {"mixed case", {{kMixed, kInput}}, {{kMixed, kInput}}},
        {"stale lower-case file", {{kLower, kLeftover}, {kUpper, kInput}}, {{kLower, kLeftover}, {kUpper, kInput}}},
#endif
        {"leftovers only", {{kTemp1, kLeftover}, {kTemp2, kLeftover}}, {{kTemp1, kLeftover}, {kTemp2, kLeftover}}},
    };
    for (const Case& c : cases) {
        given(c.before);
        pf_normalise_name(kLower, kUpper);
        EXPECT_EQ(onDisk(), c.after) << c.label;
    }
}

}  // namespace
