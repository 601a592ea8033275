// The search thread: what it writes to the work file, and the counters and
// maxima it leaves, are those of the search on the reader's own thread.
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "exchange/reader.h"
#include "options/options.h"
#include "records/record.h"
#include "search/handoff.h"
#include "search/search.h"
#include "support/fixture.h"

namespace {

// One step the reader may take: a text record, bytes for the work file, or
// a record the reader writes itself (through the work sink).
struct Step {
    enum Kind { kText, kLine, kRecord } kind;
    TextRecord rec;
    std::string bytes;  // the text field, the line, or the record
};

// Shift-JIS characters and one-byte ones, the search string among them.
const std::vector<std::string> kPieces = {"\x8C\x9F\x8D\xF5", "\x8C\x9F", "\x8D\xF5", "a", "b", "\x91\x53",
                                          "\x83\x5C", "\r", "\n", " ", "\x8C"};

std::vector<Step> randomSteps(unsigned seed, int count) {
    std::mt19937 rng(seed);
    auto pick = [&](unsigned n) { return static_cast<int>(rng() % n); };
    std::vector<Step> steps;
    for (int i = 0; i < count; ++i) {
        Step s{};
        int kind = pick(10);
        if (kind < 7) {
            s.kind = Step::kText;
            s.rec = TextRecord{{'c', 'h', '\0'}, pick(4000) / 7.0, pick(3000) / 3.0, static_cast<double>(pick(3) - 1),
                               static_cast<double>(pick(3) - 1), 1.0 + pick(3), CharSize{2.5, 3.0, 0.5}};
            while (s.bytes.size() < static_cast<std::size_t>(pick(300))) {
                s.bytes += kPieces[pick(static_cast<unsigned>(kPieces.size()))];
            }
            if (s.bytes.size() > Reader::kTextFieldMax) s.bytes.resize(Reader::kTextFieldMax);
        } else {
            s.kind = kind < 9 ? Step::kLine : Step::kRecord;
            // Long enough to be split, and now and then longer than a ring step.
            std::size_t length = pick(20) == 0 ? 5000 + pick(70000) : 1 + pick(600);
            s.bytes = "# " + std::string(length, static_cast<char>('a' + i % 26)) + "\n";
        }
        steps.push_back(s);
    }
    return steps;
}

// Takes the steps as the reader does, with or without the search thread,
// and returns the work file, the counters and the maxima.
struct Outcome {
    std::string work;
    std::array<int, 4> counters;
    double mx, my;
};

class HandoffTest : public TempDirTest {
protected:
    Outcome take(const std::vector<Step>& steps, bool threaded) {
        reset_program_state();
        USstrcpyChS001("Z\x8C\x9F\x8D\xF5");
        openWork();
        if (threaded) {
            handoff_start();
            EXPECT_TRUE(handoff_running());
        }
        for (const Step& s : steps) {
            if (s.kind == Step::kText) {
                char field[Reader::kTextFieldMax + 1] = {};
                std::memcpy(field, s.bytes.data(), s.bytes.size());
                handoff_text(s.rec, field);
            } else if (s.kind == Step::kLine) {
                handoff_line(s.bytes.data(), s.bytes.size());
            } else {
                work_write(s.bytes.data(), s.bytes.size());
            }
        }
        handoff_wait();
        Outcome o{"", {srch.match, srch.match_p, srch.match_l, srch.match_r}, srch.Mx000, srch.My000};
        // After the wait the reader's own records still follow in order.
        work_write("# after\n", 8);
        handoff_finish();
        EXPECT_FALSE(handoff_running());
        o.work = closeWork();
        return o;
    }
};

TEST_F(HandoffTest, SameAsSearchingOnTheReadersThread) {
    for (unsigned seed : {1u, 2u, 3u}) {
        // Enough steps to go round the ring many times.
        std::vector<Step> steps = randomSteps(seed, 20000);
        Outcome direct = take(steps, false);
        Outcome threaded = take(steps, true);
        EXPECT_GT(direct.counters[0], 1000) << seed;
        EXPECT_EQ(threaded.counters, direct.counters) << seed;
        EXPECT_EQ(threaded.mx, direct.mx) << seed;
        EXPECT_EQ(threaded.my, direct.my) << seed;
        ASSERT_EQ(threaded.work.size(), direct.work.size()) << seed;
        EXPECT_TRUE(threaded.work == direct.work) << seed;
    }
}

// With nothing handed over, starting and ending the thread writes nothing.
TEST_F(HandoffTest, EmptyRun) {
    Outcome threaded = take({}, true);
    EXPECT_EQ(threaded.work, "# after\r\n");
    EXPECT_EQ(threaded.counters, (std::array<int, 4>{0, 0, 0, 0}));
}

}  // namespace
