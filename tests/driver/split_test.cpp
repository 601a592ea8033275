// A large exchange file read by two threads gives, byte for byte, what one
// thread gives: the exchange file carried back, the work file, the output,
// the exit status, also over the element limit and when reads or writes
// fail. Where the file is split depends on how fast each thread runs, so
// every file is run several times.
#include "driver/split.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "exchange/reader.h"
#include "platform/textfile.h"
#include "support/fixture.h"
#include "support/selection.h"

namespace {

const std::string kSearch = "\x8c\x9f\x8d\xf5";  // "検索"

struct Outcome {
    int status;
    std::string exchange, work, out, err;
    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << "status " << o.status << ", " << o.exchange.size() << " bytes carried back, " << o.work.size()
              << " in the work file, out \"" << o.out << "\", err \"" << o.err << "\"";
}

class SplitTest : public TempDirTest {
protected:
    // Runs the program on `input` with `args`, by two threads where it can
    // (`shared`), else by one; `fault` is injected.
    Outcome runOn(const std::string& input, const std::vector<std::string>& args, bool shared,
                  PfFaults fault = PfFaults{}) {
        write_file("QXC_TEMP.TXT", input);
        std::filesystem::remove("QXC_TEMP.$$$");
        reset_program_state();
        split_tuning.minSize = shared ? 1 : LLONG_MAX;
        split_tuning.leastPart = 1;
        pf_faults = fault;
        std::vector<std::string> storage{"qxsearch"};
        storage.insert(storage.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& s : storage) argv.push_back(s.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        int status = run(argv.data());
        Outcome o{status, read_file("QXC_TEMP.TXT"), read_file("QXC_TEMP.$$$"), testing::internal::GetCapturedStdout(),
                  testing::internal::GetCapturedStderr()};
        pf_faults = PfFaults{};
        return o;
    }
};

TEST_F(SplitTest, TwoThreadsCarryBackWhatOneDoes) {
    std::mt19937 rng(3);
    const std::vector<std::vector<std::string>> argSets = {{"/Z" + kSearch}, {"/ZA"}, {"/Z\x8c\x9f"}, {}};
    int split = 0, runs = 0;
    for (int file = 0; file < 24 && !HasFailure(); ++file) {
        std::string input = random_selection(rng, 1000 + static_cast<int>(rng() % 6000), kSearch);
        const std::vector<std::string>& args = argSets[file % argSets.size()];
        Outcome alone = runOn(input, args, false);
        EXPECT_EQ(split_point(), kNoSplit);
        for (int rep = 0; rep < 3; ++rep) {
            EXPECT_EQ(runOn(input, args, true), alone) << "file " << file << " run " << rep;
            split += split_point() != kNoSplit;
            ++runs;
        }
    }
    // Runs were split, so the comparison means something (where a second
    // processor there is: how many depends on the machine's load).
    if (split_possible()) {
        EXPECT_GT(split, 0) << runs << " runs";
    }
}

// The second thread's records outgrow the memory they wait in: it waits for
// the first thread, then writes straight on.
TEST_F(SplitTest, SecondThreadsRecordsOutgrowTheirMemory) {
    std::string input = "# many matches\r\n";
    for (int i = 0; i < 60000; ++i) input += "ch " + std::to_string(i % 400) + ".5 2 1 0 \"" + kSearch + "\r\n";
    Outcome alone = runOn(input, {"/Z" + kSearch}, false);
    ASSERT_EQ(alone.status, 0);
    ASSERT_GT(alone.exchange.size(), std::size_t{2} << 20);  // the second half alone is over the memory
    for (int rep = 0; rep < 3; ++rep) EXPECT_EQ(runOn(input, {"/Z" + kSearch}, true), alone) << rep;
}

TEST_F(SplitTest, ElementLimitCountsBothThreadsLines) {
    for (int lines : {150000, 150001, 160000}) {
        std::string input;
        for (int i = 0; i < lines; ++i) input += i % 2 ? "lg1\r\n" : "ch 1 2 1 0 \"a\r\n";
        Outcome alone = runOn(input, {"/Za"}, false);
        EXPECT_EQ(alone.status, lines > 150000 ? 1 : 0) << lines;
        EXPECT_EQ(runOn(input, {"/Za"}, true), alone) << lines;
    }
}

// A failed read or write of either thread fails the run as it would fail
// one thread's run; a read of the second thread's own that fails before it
// took over only leaves the file to the first thread.
TEST_F(SplitTest, FailuresOfEitherThreadFailTheRun) {
    std::mt19937 rng(5);
    std::string input = random_selection(rng, 40000, kSearch);
    Outcome alone = runOn(input, {"/Z" + kSearch}, false);
    ASSERT_EQ(alone.status, 0);
    for (PfOp op : {PF_READ, PF_WRITE}) {
        int failed = 0;
        for (long nth = 1; nth <= 40; nth += 3) {
            PfFaults fault;
            fault.op = op;
            fault.nth = nth;
            fault.err = EIO;
            Outcome shared = runOn(input, {"/Z" + kSearch}, true, fault);
            if (shared.status == 0) {
                EXPECT_EQ(shared, alone) << op << " " << nth;
                continue;
            }
            ++failed;
            EXPECT_EQ(shared.exchange, input) << op << " " << nth;
            if (op == PF_READ) {
                EXPECT_EQ(shared.status, -1) << nth;
                EXPECT_EQ(shared.err, "Cannot read file: QXC_TEMP.TXT \n") << nth;
            } else {
                EXPECT_EQ(shared.status, 1) << nth;
                EXPECT_EQ(shared.err, "Cannot write file: QXC_TEMP.$$$ \n") << nth;
            }
        }
        EXPECT_GT(failed, 0) << op;
    }
}

}  // namespace
