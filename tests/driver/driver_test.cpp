#include "driver/driver.h"

#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "options/options.h"
#include "platform/seam.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;

const char kExchange[] = "QXC_TEMP.TXT";
const char kWork[] = "QXC_TEMP.$$$";
const char kLeftover1[] = "QXC_x2x2.$$";
const char kLeftover2[] = "QXC_x2x2.$$$";

// "he  要素数オーバー    MAX=150000" in code page 932, then the line end.
const std::string kOverLimit =
    "he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=150000\r\n";
const std::string kCannotOpenExchange = "Cannot open file: QXC_TEMP.TXT \n";
const std::string kCannotOpenWork = "Cannot open file: QXC_TEMP.$$$ \n";
const std::string kCannotWriteWork = "Cannot write file: QXC_TEMP.$$$ \n";
const std::string kCannotWriteExchange = "Cannot write file: QXC_TEMP.TXT \n";
const std::string kCannotReadExchange = "Cannot read file: QXC_TEMP.TXT \n";
const std::string kExchangeDamaged =
    "Cannot write file: QXC_TEMP.TXT (it may be damaged; the output is in QXC_TEMP.$$$) \n";
const std::string kCannotTakeLock = "Cannot take the folder's run lock \n";

// A small exchange file with a comment, a "bz" line, a text that matches
// "/Zb" and some attributes.
const std::string kSmallInput =
    "# selection\r\nhq\r\nlc3\r\nbz 1 2\r\nch 1 2 1 0 \"abc\r\nch 5 5 0 1 \"xyz\r\npn2\r\n";

struct RunResult {
    int status;
    std::string out, err;
};

// `n` copies of `line`, as one string.
std::string repeated(const std::string& line, std::size_t n) {
    std::string s;
    s.reserve(line.size() * n);
    for (std::size_t i = 0; i < n; ++i) s += line;
    return s;
}

class DriverTest : public TempDirTest {
protected:
    // Runs the program with the given arguments behind its own name and
    // captures what it prints.
    RunResult runWith(const std::vector<std::string>& args, const std::string& name = "qxsearch") {
        std::vector<std::string> storage;
        storage.push_back(name);
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);
        return runArgv(argv.data());
    }

    static RunResult runArgv(char** argv) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = run(argv);
        RunResult r{status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
        return r;
    }

    // The output of a level-4 run (no traces in the work file, so the same
    // bytes as a normal run carries back), with the program state reset
    // before and after.
    std::string outputOf(const std::string& input, const std::vector<std::string>& args) {
        write_file(kExchange, input);
        reset_program_state();
        std::vector<std::string> all = args;
        all.push_back("/t4");
        RunResult r = runWith(all);
        EXPECT_EQ(r.status, 0);
        std::string out = read_file(kWork);
        fs::remove(kWork);
        reset_program_state();
        return out;
    }

    static bool exists(const char* name) { return fs::exists(name); }

    // The names in the current directory as they are stored. The exchange
    // file ends under its exact upper-case spelling on every platform.
    static std::set<std::string> names() {
        std::set<std::string> all;
        for (const fs::directory_entry& e : fs::directory_iterator(".")) all.insert(e.path().filename().string());
        return all;
    }
    static std::set<std::string> nameSet(std::initializer_list<std::string> list) { return {list}; }
};

// The program's own name is never looked at, and a byte above 0x7f is no
// introducer, however a char is signed (the other first bytes are compared
// over whole runs in tests/e2e/test_driver.py).
TEST_F(DriverTest, NameAndHighBytesAreNoOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string name;
    } cases[] = {
        {{}, "/t3"},
        {{"\xad" "t3", "\xaf" "t3"}, "qxsearch"},
    };
    for (const Case& c : cases) {
        reset_program_state();
        const std::string input = "# keep\r\n";
        write_file(kExchange, input);
        RunResult r = runWith(c.args, c.name);
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.err, "") << c.name;
        EXPECT_EQ(opts.isTest, 0) << c.name;
        EXPECT_FALSE(exists(kWork)) << c.name;
    }
}

// A vector without even the program's name ends at its first entry; what
// lies behind that terminator is not an argument.
TEST_F(DriverTest, EmptyArgumentVector) {
    write_file(kExchange, "# keep\r\n");
    std::string behind[] = {"/t3", "/Zx"};
    char* argv[] = {nullptr, behind[0].data(), behind[1].data(), nullptr};
    RunResult r = runArgv(argv);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(opts.isTest, 0);
    EXPECT_EQ(opts.ChS001[0], '\0');
    EXPECT_FALSE(exists(kWork));
}

TEST_F(DriverTest, MissingExchangeFile) {
    RunResult r = runWith({"/Zb"});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, kCannotOpenExchange);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(exists(kWork));
    EXPECT_FALSE(exists(kExchange));
}

// Without traces the limit is found while the records are processed; the
// work file is then emptied for the error record. When that fails, nothing
// is carried back.
TEST_F(DriverTest, OverLimitWorkFileCannotBeEmptied) {
    const std::string input = repeated("# c\r\n", 150001);
    write_file(kExchange, input);
    pf_faults.op = PF_SEEK;
    pf_faults.nth = 1;
    RunResult r = runWith({"/Za"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kCannotWriteWork);
    EXPECT_EQ(read_file(kExchange), input);
}

// A line is read only as far as the element limit: a 4 GiB file of zero
// bytes without a line end (sparse: it takes no disk space) is refused
// after about 150001 pieces of 254 bytes, whether the reader skips the rest
// of its first piece or copies it (a comment). The read calls are counted
// through the fault seam. (The traced runs' count: TextFileTest.)
TEST_F(DriverTest, HugeLineIsReadOnlyToTheLimit) {
    const long mostReads = (static_cast<long>(kElementLimit) + 1) * 254 / (1 << 16) + 2;
    for (const char* start : {"", "#"}) {
        reset_program_state();
        write_file(kExchange, start);
        fs::resize_file(kExchange, std::uintmax_t{4} << 30);
        RunResult r = runWith({"/Za"});
        EXPECT_EQ(r.status, 1) << start;
        EXPECT_EQ(read_file(kWork), kOverLimit) << start;
        EXPECT_LE(pf_faults.calls[PF_READ], mostReads) << start;
        fs::remove(kWork);
    }
}

// A work file that cannot be written or closed completely is never carried
// back, at any test level.
TEST_F(DriverTest, FailedWorkFileWriteOrClose) {
    struct Case {
        const char* label;
        const char* level;
        int op;
        long nth;
    } cases[] = {
        {"write, level 0", "/t0", PF_WRITE, 1},
        {"write, level 3", "/t3", PF_WRITE, 1},
        // The exchange file is closed first, then the work file.
        {"close, level 0", "/t0", PF_CLOSE, 2},
        {"close, level 3", "/t3", PF_CLOSE, 2},
    };
    for (const Case& c : cases) {
        reset_program_state();
        write_file(kExchange, kSmallInput);
        pf_faults.op = c.op;
        pf_faults.nth = c.nth;
        RunResult r = runWith({c.level, "/Zb"});
        EXPECT_EQ(r.status, 1) << c.label;
        EXPECT_EQ(r.err, kCannotWriteWork) << c.label;
        EXPECT_EQ(read_file(kExchange), kSmallInput) << c.label;
        EXPECT_TRUE(exists(kWork)) << c.label;
        fs::remove(kWork);
    }
}

TEST_F(DriverTest, FailedCarryBack) {
    const std::string normal = outputOf(kSmallInput, {"/Zb"});
    write_file(kExchange, kSmallInput);
    pf_faults.op = PF_RENAME;
    pf_faults.nth = 1;
    RunResult r = runWith({"/Zb"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kCannotWriteExchange);
    EXPECT_EQ(read_file(kExchange), kSmallInput);
    EXPECT_EQ(read_file(kWork), normal);
}

// Where another program's open handle keeps blocking the rename, the output
// is copied over the exchange file in place, all or nothing. Through the
// fault seam (wine can neither fill a disk nor fail a write on cue), every
// call of the run fails in turn: once, twice (fault 1: the write that puts
// back the input after a failed write was not checked, and a mix was left)
// and from then on. The run ends with the output in the exchange file; or
// with the exchange file's own bytes and, where the carry back failed, the
// whole output kept in the work file; or, where neither could be written,
// with the message that says so, the output kept. A close after the copy
// was flushed decides nothing (fault 2). The outputs are longer (over two
// 64 KiB blocks) and shorter than their inputs.
TEST_F(DriverTest, BlockedCarryBackIsAllOrNothing) {
    const std::string growing = repeated("ch 1 2 1 0 \"a\r\n", 3000);
    const std::string shrinking = kSmallInput + repeated("pt 1 2\r\n", 20000);
    for (const std::string& input : {growing, shrinking}) {
        const std::string output = outputOf(input, {"/Za"});
        ASSERT_GT(output.size(), input == growing ? std::size_t{2 << 16} : 0) << "output too short";
        ASSERT_EQ(output.size() > input.size(), input == growing);
        auto blockedRun = [&](int op, long nth, long count, int waitMs) {
            reset_program_state();
            write_file(kExchange, input);
            pf_waits.replaceMs = waitMs;
            pf_waits.lockMs = 0;
            pf_faults.renamesBlocked = true;
            pf_faults.op = op;
            pf_faults.nth = nth;
            pf_faults.count = count;
            return runWith({"/Za"});
        };
        ASSERT_EQ(blockedRun(PF_OP_COUNT, 0, 1, 30).status, 0);
        EXPECT_GE(pf_faults.calls[PF_RENAME], 3);  // tried again with growing waits
        const PfFaults clean = pf_faults;
        int damaged = 0;
        for (int op = 0; op < PF_OP_COUNT; ++op) {
            for (long nth = 1; nth <= clean.calls[op]; ++nth) {
                for (long count : {1, 2, 1000}) {
                    RunResult r = blockedRun(op, nth, count, 0);
                    const std::string at = "fault " + std::to_string(op) + " at call " + std::to_string(nth) +
                                           " times " + std::to_string(count);
                    if (r.status == 0) {
                        EXPECT_TRUE(read_file(kExchange) == output) << at;
                        EXPECT_TRUE(!exists(kWork) || op == PF_REMOVE) << at;  // the work file's removal failed
                    } else if (r.err == kExchangeDamaged) {
                        ++damaged;
                        EXPECT_TRUE(read_file(kWork) == output) << at;
                    } else {
                        EXPECT_TRUE(read_file(kExchange) == input) << at;
                        if (r.err == kCannotWriteExchange) {
                            EXPECT_TRUE(read_file(kWork) == output) << at;
                        }
                    }
                    // Only the work file's own close (the second) fails a run.
                    if (op == PF_CLOSE && (nth > 2 || nth + count <= 2)) {
                        EXPECT_EQ(r.status, 0) << at;
                    }
                    fs::remove(kWork);
                }
            }
        }
        EXPECT_GT(damaged, 0);  // the message is reached
    }
}

// Files of the old temporary names never take the exchange file's place
// and are left alone.
TEST_F(DriverTest, LeftoverTemporaryFiles) {
    const std::string old1 = "# leftover one\r\n";
    const std::string old2 = "# leftover two\r\n";
    struct Case {
        const char* label;
        const char* exchangeName;  // nullptr: no exchange file
    } cases[] = {
        {"upper-case exchange file", "QXC_TEMP.TXT"},
        {"lower-case exchange file", "qxc_temp.txt"},
        {"no exchange file", nullptr},
    };
    for (const Case& c : cases) {
        reset_program_state();
        write_file(kLeftover1, old1);
        write_file(kLeftover2, old2);
        if (c.exchangeName) write_file(c.exchangeName, kSmallInput);
        RunResult r = runWith({"/t1"});
#ifdef _WIN32
        // Where a rename that changes only the case keeps the old spelling
        // (wine), the name changes through "QXC_x2x2.$$$", which replaces a
        // leftover of that name.
        const bool tempGone = c.exchangeName && std::string(c.exchangeName) != kExchange && !exists(kLeftover2);
#else
        const bool tempGone = false;
#endif
        if (c.exchangeName) {
            EXPECT_EQ(r.status, 0) << c.label;
            EXPECT_EQ(r.err, "") << c.label;
            EXPECT_EQ(read_file(kExchange), kSmallInput) << c.label;
            EXPECT_EQ(names(), tempGone ? nameSet({kExchange, kWork, kLeftover1})
                                        : nameSet({kExchange, kWork, kLeftover1, kLeftover2}))
                << c.label;
        } else {
            EXPECT_EQ(r.status, -1) << c.label;
            EXPECT_EQ(r.err, kCannotOpenExchange) << c.label;
            EXPECT_EQ(names(), nameSet({kLeftover1, kLeftover2})) << c.label;
        }
        EXPECT_EQ(read_file(kLeftover1), old1) << c.label;
        if (!tempGone) {
            EXPECT_EQ(read_file(kLeftover2), old2) << c.label;
        }
        fs::remove(kExchange);
        fs::remove(kWork);
    }
}

// The folder is locked first, then the exchange file opened, then the
// work file made: a leftover of its name removed, the file created, given
// the exchange file's mode. The run ends before anything changes where any
// of these cannot be done. A lock that is refused for a while (here by the
// seam; Windows refuses a mutex that an elevated run holds) is waited for
// like a held one; when the wait runs out, the message names the lock
// (fault 5: the run ended at once, naming the work file).
TEST_F(DriverTest, FailedOpens) {
    struct Case {
        PfOp op;
        long count;    // calls that fail
        bool leftover;  // a work file of an earlier run is there
        int status;
        std::string err;
    } cases[] = {
        {PF_OPEN_REGULAR, 1, false, -1, kCannotOpenExchange},
        {PF_CREATE_NEW, 1, false, -1, kCannotOpenWork},
        {PF_REMOVE, 1, true, -1, kCannotOpenWork},
        {PF_REMOVE, 1, false, 0, ""},
        {PF_LOCK_RUN, 2, false, 0, ""},
        {PF_LOCK_RUN, 1000, false, -1, kCannotTakeLock},
#ifndef _WIN32
        {PF_MODE, 1, false, -1, kCannotOpenWork},
#endif
    };
    const std::string leftover = "# an earlier run's work file\r\n";
    for (const char* level : {"/t0", "/t1"}) {
        for (const Case& c : cases) {
            reset_program_state();
            write_file(kExchange, kSmallInput);
            if (c.leftover) write_file(kWork, leftover);
            pf_faults.op = c.op;
            pf_faults.nth = 1;
            pf_faults.count = c.count;
            pf_waits.lockMs = 50;
            // Level 1 traces only into the work file.
            RunResult r = runWith({level, "/Zb"});
            EXPECT_EQ(r.status, c.status) << level << c.op;
            EXPECT_EQ(r.err, c.err) << level << c.op;
            EXPECT_EQ(r.out, "") << level << c.op;
            if (c.status != 0) {
                EXPECT_EQ(read_file(kExchange), kSmallInput) << level << c.op;
                EXPECT_EQ(exists(kWork), c.leftover) << level << c.op;
                if (c.leftover) {
                    EXPECT_EQ(read_file(kWork), leftover) << level << c.op;
                }
            }
            fs::remove(kWork);
        }
    }
}

// A read error in the line count of a traced run ends it with -1 and leaves
// the work file empty; one in the reader with 1. Without traces the count
// and the reader are one pass. Either way the exchange file stays as it was.
TEST_F(DriverTest, FailedReads) {
    // How many reads the count takes of this input.
    write_file(kExchange, kSmallInput);
    TextFile* in = pf_open_input(kExchange);
    ASSERT_EQ(Tcopy(in), 7);
    pf_close(in);
    const long countReads = pf_faults.calls[PF_READ];
    ASSERT_GE(countReads, 1);

    struct Case {
        const char* level;
        long nth;
        int status;
        bool workEmpty;  // the work file exists and is empty
    } cases[] = {
        {"/t0", 1, 1, false},
        {"/t3", 1, -1, true},
        {"/t3", countReads, -1, true},
        {"/t3", countReads + 1, 1, false},
    };
    for (const Case& c : cases) {
        reset_program_state();
        write_file(kExchange, kSmallInput);
        pf_faults.op = PF_READ;
        pf_faults.nth = c.nth;
        RunResult r = runWith({c.level, "/Zb"});
        EXPECT_EQ(r.status, c.status) << c.level << c.nth;
        EXPECT_EQ(r.err, kCannotReadExchange) << c.level << c.nth;
        EXPECT_EQ(read_file(kExchange), kSmallInput) << c.level << c.nth;
        EXPECT_TRUE(exists(kWork)) << c.level << c.nth;
        if (c.workEmpty) {
            EXPECT_EQ(read_file(kWork), "") << c.level << c.nth;
        }
        fs::remove(kWork);
    }
}

#ifndef _WIN32
// A run waits for one that holds the folder; when the wait runs out it ends
// with the lock's message, nothing changed.
TEST_F(DriverTest, LockedDirectory) {
    write_file(kExchange, kSmallInput);
    ASSERT_TRUE(pf_lock_run());  // another run, as far as the lock can tell
    pf_waits.lockMs = 50;
    RunResult r = runWith({"/Zb"});
    pf_unlock_run();
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, kCannotTakeLock);
    EXPECT_EQ(names(), nameSet({kExchange}));
    EXPECT_EQ(read_file(kExchange), kSmallInput);
}
#endif

}  // namespace
