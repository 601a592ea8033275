// The replacement of the exchange file by the finished work file, made of
// the calls of system.h alone.
#pragma once

// How a replacement ended.
enum PfReplaced {
    PF_REPLACED,  // the exchange file holds the output; the work file is gone
    PF_KEPT,      // the exchange file holds its own bytes; the work file is whole
    PF_DAMAGED,   // the exchange file may hold neither; the work file is whole
};

// Puts the finished work file `work` in the place of `exchange` in one
// rename, tried again while another program's open handle blocks it
// (Windows: a virus scanner, an indexer, the host), pf_waits.replaceMs in
// all. A file still held open by a program that allows writing then gets
// the work file's bytes copied over it in place (sys_open_in_place): both
// files are read into memory (64 MiB each at most); the exchange file is
// grown to its new length before the first byte changes (a full disk
// shows there), written block by block, cut and flushed, so that a late
// write error shows while it is still locked; after a failure its old
// bytes are put back the same way, or, where that fails too, the copy of
// the output is completed. The work file goes only after a complete copy.
//
// The output gets the exchange file's read-only, hidden and system
// attributes and the archive one (the work file before the rename, the
// exchange file before the copy; POSIX gave the work file the exchange
// file's mode). A read-only exchange file loses that attribute for the
// replacement and gets it back after a failure. Each attribute change,
// write, cut and flush is tried again while it fails; one that still fails
// before the exchange file's bytes change leaves them as they were.
PfReplaced pf_replace(const char* work, const char* exchange);
