// A large exchange file read by two threads: this one takes the records up
// to a split point, a second one the records from there on. The second
// thread first walks the file keeping only what the records leave in the
// reader's state (exchange/reader.h, find_split) until it is past the middle
// of what this thread has still to read; it then reads on from the next
// whole text record with the state of a reader that had read everything
// before, and keeps its records in memory until this thread has written its
// own. The work file, the counters and the report come out byte for byte as
// from one thread. Used only without traces.
#pragma once

#include <cstdint>

// When a file is shared: from `minSize` bytes on, the second thread taking
// a part of at least `leastPart` bytes. Tests lower both to run small files
// through both threads.
struct SplitTuning {
    long long minSize = 1 << 20;
    long long leastPart = 1 << 17;
};
extern SplitTuning split_tuning;

// Starts the second thread when the exchange file `name`, open as `fp`
// with the work file open as `fpw`, is large enough, and has this thread's
// reader stop where the second thread takes over. Returns false, changing
// nothing, when the file is read by this thread alone.
bool split_start(const char* name);

// After this thread's reader returned (`stopped`: where rd.stop told it
// to stop, QX_PATTERN's 1): waits for the second thread and takes
// over its state, so that the reader's state, the search's counters and the
// work file are those of one reader of the whole file; where the second
// thread found no split point, or this thread's reader went past it before
// it was set, drops the second thread's records and reads on to the end.
// Returns true when the second thread read the rest of the file (rd.pieces
// then counts the whole file); false when this thread read everything it
// was going to and the rest is still to be counted from `fp`. `readFailed`
// tells whether the second thread's reads failed.
bool split_finish(bool stopped, bool& readFailed);

// Whether a large file can be shared here: with two processors or more,
// where each thread keeps its own reader (platform/processors.h).
bool split_possible();

// Where the latest shared file was split (the offset where the second
// thread's records began), or kNoSplit (exchange/reader.h) where the latest
// file was read by one thread.
std::uint64_t split_point();
