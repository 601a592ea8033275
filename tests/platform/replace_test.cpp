#include "platform/replace.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "platform/seam.h"
#include "support/fixture.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

const char kExchange[] = "QXC_TEMP.TXT";
const char kWork[] = "QXC_TEMP.$$$";
const char kOther[] = "other.txt";
const std::string kInput = "# the host's selection\r\n";
const std::string kOutput = "# the output\r\n";

class ReplaceTest : public TempDirTest {
protected:
    // Starts a case: the exchange file and the work file, no fault set.
    static void given() {
        make_files_here({{kExchange, kInput}, {kWork, kOutput}});
        pf_faults = PfFaults{};
    }
    static Files onDisk() { return files_here(); }
};

// No copy is made over an exchange file that the run could not put back or
// that the copy would write through to another name, nor from a work file
// that another program is writing: the files stay as they were.
// - over 64 MiB: its bytes are kept in memory for putting them back;
// - fault 7: another name (a hard link) or a symbolic link, whose target
//   the copy changed;
// - fault 4: the work file open for writing elsewhere (another run's, as
//   far as the run lock let it be); before, it was copied while written.
TEST_F(ReplaceTest, InPlaceCopyRefusedLeavesTheFilesAlone) {
    struct Case {
        const char* label;
        void (*prepare)();
        bool workHeld;  // a program holds the work file open for writing
    } cases[] = {
        {"over 64 MiB", [] { fs::resize_file(kExchange, (std::uintmax_t{64} << 20) + 1); }, false},
        {"a second name", [] { fs::create_hard_link(kExchange, kOther); }, false},
#ifdef _WIN32
        {"the work file being written", [] {}, true},
#else
        {"a symbolic link",
         [] {
             fs::rename(kExchange, kOther);
             fs::create_symlink(kOther, kExchange);
         },
         false},
#endif
    };
    for (const Case& c : cases) {
        given();
        c.prepare();
        std::optional<std::ofstream> holder;
        if (c.workHeld) holder.emplace(kWork, std::ios::binary | std::ios::app);
        const Files before = onDisk();
        pf_faults.renamesBlocked = true;
        pf_waits.replaceMs = 0;
        EXPECT_EQ(pf_replace(kWork, kExchange), PF_KEPT) << c.label;
        EXPECT_EQ(pf_faults.calls[PF_WRITE], 0) << c.label;
        holder.reset();
        EXPECT_TRUE(onDisk() == before) << c.label;
    }
}

#ifdef _WIN32
// The output gets the exchange file's read-only, hidden and system
// attributes and the archive attribute, by the rename and by the in-place
// copy alike; after a failure the exchange file keeps its own. Each step of
// that is tried again while it fails (here twice): once failing, it
// does no harm; failing every time, it makes the replacement fail with both
// files as they were. (Fault 6: a failed restore was ignored, and a
// read-only exchange file came back writable with status 0. Wine always
// shows the archive attribute; Windows proper also refuses to rename over
// a read-only file or to write it.)
TEST_F(ReplaceTest, AttributesGoWithTheOutput) {
    const DWORD cases[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0};
    auto attributesOf = [](const char* name) { return GetFileAttributesA(name) & 0x27; };
    const struct {
        PfOp op;
        long calls;  // how many of them a replacement may make
    } faults[] = {{PF_GET_ATTRIBUTES, 1}, {PF_SET_ATTRIBUTES, 4}, {PF_OPEN_IN_PLACE, 1}};
    for (DWORD attributes : cases) {
        for (bool blocked : {false, true}) {
            for (const auto [op, calls] : faults) {
                for (long count : {1, 2}) {
                    for (long nth = 1; nth <= calls; ++nth) {
                        given();
                        ASSERT_TRUE(SetFileAttributesA(kExchange, attributes ? attributes : FILE_ATTRIBUTE_NORMAL));
                        const DWORD had = attributesOf(kExchange);  // those the file system keeps
                        pf_faults = PfFaults{op, nth, count, blocked};
                        pf_waits.replaceMs = 10;
                        const PfReplaced done = pf_replace(kWork, kExchange);
                        const std::string at = std::to_string(attributes) + " blocked " + std::to_string(blocked) +
                                               " op " + std::to_string(op) + " at " + std::to_string(nth) + "x" +
                                               std::to_string(count);
                        if (op != PF_OPEN_IN_PLACE) {
                            EXPECT_EQ(done == PF_KEPT, count == 2 && nth <= pf_faults.calls[op]) << at;
                        }
                        const DWORD after = attributesOf(kExchange);
                        SetFileAttributesA(kExchange, FILE_ATTRIBUTE_NORMAL);
                        SetFileAttributesA(kWork, FILE_ATTRIBUTE_NORMAL);
                        if (done == PF_REPLACED) {
                            EXPECT_EQ(after, (had | FILE_ATTRIBUTE_ARCHIVE)) << at;
                            EXPECT_EQ(onDisk(), (Files{{kExchange, kOutput}})) << at;
                        } else {
                            EXPECT_EQ(after, had) << at;
                            EXPECT_EQ(onDisk(), (Files{{kExchange, kInput}, {kWork, kOutput}})) << at;
                        }
                    }
                }
            }
        }
    }
}
#endif

}  // namespace
