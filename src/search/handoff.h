// The search on a thread of its own. While it runs, the reader hands it
// every text record, and every write to the work file goes through it (the
// thread that starts it gets a work sink, records/record.h): the thread
// searches the texts and writes circles, lines and records to the work file
// in the order they were handed over, so the work file is the same byte
// for byte as when the reader searches each text itself. All writes of the
// work file are then the search thread's. Used only without traces, whose
// lines would interleave with the reader's.
#pragma once

#include <cstddef>

#include "search/search.h"

// Starts the search thread. Without one (it cannot be started) the calls
// below search and write on the caller's thread.
void handoff_start();

// Whether the search thread runs.
bool handoff_running();

// Hands over a text record and its text field (an array of
// Reader::kTextFieldMax + 1 bytes), as CHR_PRO takes them.
void handoff_text(const TextRecord& rec, const char* field);

// Hands over `len` bytes for the work file.
void handoff_line(const char* data, std::size_t len);

// Waits until everything handed over is searched and written: the search's
// counters and maxima are then final.
void handoff_wait();

// Waits as handoff_wait, has the thread write out what the work file
// buffers, and ends the thread.
void handoff_finish();
