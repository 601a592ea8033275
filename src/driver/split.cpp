#include "driver/split.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "driver/driver.h"
#include "exchange/reader.h"
#include "platform/processors.h"
#include "platform/textfile.h"
#include "search/search.h"

SplitTuning split_tuning;

namespace {

std::uint64_t latestSplit = kNoSplit;

// The second thread's records wait here until this thread's are written: a
// fixed area, so memory does not grow with the file. A second thread whose
// records outgrow it waits for this thread to finish first.
constexpr std::size_t kHoldSize = std::size_t{640} << 10;
char holdArea[kHoldSize];

// The second thread and what it hands back.
struct Second {
    TextFile* in = nullptr;   // its own reading of the exchange file
    TextFile* out = nullptr;  // its held writer of the work file
    std::uint64_t size = 0;   // of the exchange file
    ReaderStop stop;          // where this thread's reader stops
    std::uint64_t at = kNoSplit;
    bool announced = false;   // `at` is known
    std::mutex lock;
    std::condition_variable told;
    std::thread thread;
    // Its reader's and search's state once it is done.
    Reader rd;
    Search srch;
};
Second second;

void announce(std::uint64_t at) {
    {
        std::lock_guard<std::mutex> hold(second.lock);
        second.at = at;
        second.announced = true;
    }
    second.told.notify_one();
}

std::uint64_t awaitSplit() {
    std::unique_lock<std::mutex> hold(second.lock);
    second.told.wait(hold, [] { return second.announced; });
    return second.at;
}

// The second thread: its reader, search and files are its own (they are
// per thread), starting from their start values.
void secondThread() {
    pf_run_anywhere();  // placed away from the first thread to start at once
    fp = second.in;
    auto least = static_cast<std::uint64_t>(split_tuning.leastPart);
    std::uint64_t at = find_split(second.stop, second.size, least, kElementLimit);
    announce(at);
    if (at != kNoSplit) {
        fpw = second.out;
        QX_PATTERN(0, kElementLimit);
        // As a reader of the whole file: the pieces after a stop are only counted.
        if (rd.pieces <= kElementLimit) rd.pieces += pf_count_pieces(fp, kReadSize, kElementLimit - rd.pieces);
    }
    second.rd = rd;
    second.srch = srch;
}

// Ends the second thread; its records are written after this thread's when
// `keep` (a failed write of them is the work file's failure), else dropped.
// Returns whether the second thread's reads failed.
bool endSecond(bool keep) {
    if (!keep) pf_cut_reads(second.in);  // no use reading on
    pf_release_held(second.out, keep);
    second.thread.join();
    pf_close_held(second.out);
    bool readFailed = pf_failed(second.in);
    pf_close(second.in);
    second.in = second.out = nullptr;
    return readFailed;
}

// A running maximum of the whole file from this thread's and the second
// thread's: the second's where it is greater, as one reader would keep it.
double laterMaximum(double mine, double theirs) { return theirs > mine ? theirs : mine; }

// Takes over the second thread's state after this thread read up to the
// split point: the second thread's reader saw every record before the split
// point too, so its state is the whole file's but for the counts of texts
// and matches, which add, and the running maxima.
void takeOver() {
    int texts = rd.iCHR_cnt;
    const Search mine = srch;
    rd = second.rd;
    rd.iCHR_cnt += texts;
    srch = second.srch;
    srch.match += mine.match;
    srch.match_p += mine.match_p;
    srch.match_l += mine.match_l;
    srch.match_r += mine.match_r;
    srch.Mx000 = laterMaximum(mine.Mx000, srch.Mx000);
    srch.My000 = laterMaximum(mine.My000, srch.My000);
}

}  // namespace

std::uint64_t split_point() { return latestSplit; }

bool split_possible() { return kPerThreadState && pf_processors() >= 2; }

bool split_start(const char* name) {
    latestSplit = kNoSplit;
    long long size = pf_file_size(name);
    if (size < split_tuning.minSize || size <= 0 || !split_possible()) return false;
    second.in = pf_open(name, "r");
    if (!second.in) return false;
    second.out = pf_open_held(fpw, holdArea, sizeof holdArea);
    if (!second.out) {
        pf_close(second.in);
        second.in = nullptr;
        return false;
    }
    second.size = static_cast<std::uint64_t>(size);
    second.stop.at = kNoSplit;
    second.stop.progress = 0;
    second.at = kNoSplit;
    second.announced = false;
    try {
        second.thread = std::thread(secondThread);
        pf_start_elsewhere(second.thread);
    } catch (...) {  // no thread (std::system_error) or no memory for one: one thread reads
        pf_release_held(second.out, false);
        pf_close_held(second.out);
        pf_close(second.in);
        second.in = second.out = nullptr;
        return false;
    }
    rd.stop = &second.stop;
    return true;
}

bool split_finish(bool stopped, bool& readFailed) {
    rd.stop = nullptr;
    // This thread is done for now: a second thread still looking for a
    // split point gives up.
    second.stop.progress.store(kNoSplit, std::memory_order_relaxed);
    std::uint64_t at = awaitSplit();
    if (stopped && pf_offset(fp) == at && !pf_failed(fp)) {
        pf_flush(fpw);  // this thread's records first
        readFailed = endSecond(true);
        takeOver();
        latestSplit = at;
        return true;
    }
    // The second thread's split point came too late for this thread's
    // reader, which went past it: this thread reads on to the end.
    readFailed = false;
    endSecond(false);
    if (stopped) QX_PATTERN(0, kElementLimit);
    return false;
}
