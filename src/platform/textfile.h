// Text files as the host's platform keeps them: lines end with CR LF on
// disk and with a single newline inside the program.
//
// Every file-system call of the program (open, read, write, close, rename,
// remove) goes through this layer, and every call can be made to fail by a
// test (see PfFaults), so that each failure path of the program can be run.
//
// On Windows the C runtime's own text mode does the line-end translation;
// elsewhere this layer does it: reading turns CR LF into one newline (a lone
// CR stays), writing turns each newline into CR LF. Every byte count that the
// program takes (line pieces, line counts) is taken after the translation.
#pragma once

#include <cstddef>
#include <cstdint>

// An open text file. Reads and writes go through one fixed block buffer.
struct TextFile;

// Which platform call a fault is injected into.
enum PfOp { PF_OPEN, PF_READ, PF_WRITE, PF_CLOSE, PF_RENAME, PF_REMOVE, PF_OP_COUNT };

// Fault injection: the nth call (counted from 1) of operation `op` fails
// with errno `err`. `calls` counts the calls of each operation since the
// last reset. A default-constructed value injects nothing.
struct PfFaults {
    int op = PF_OP_COUNT;
    long nth = 0;
    int err = 0;
    long calls[PF_OP_COUNT] = {};
};
extern PfFaults pf_faults;

// Opens `name` for reading ("r") or for writing ("w", creating or emptying
// it). Returns nullptr and leaves errno set on failure.
TextFile* pf_open(const char* name, const char* mode);

// Reads the next piece of a line, like the C library's line read with a
// buffer of `size` bytes: at most size-1 bytes, stopping after a newline,
// which is kept. The piece is NUL-terminated. Returns the number of bytes
// stored (NUL bytes of the file included); 0 at end of file or on a read
// error.
std::size_t pf_gets(TextFile* f, char* buf, std::size_t size);

// Counts the pieces that pf_gets with a buffer of `size` bytes would deliver
// from here to the end of the file, stopping once the count exceeds `limit`.
// Reads in blocks; copies nothing.
unsigned pf_count_pieces(TextFile* f, std::size_t size, unsigned limit);

// Passes over whole lines that a reader does not need, from a line start:
// a line is needed where wanted[its first byte] is 1, or is another byte
// and its second byte is that byte; 0 marks lines not needed. Stops at a
// needed line, at the first line that starts at or after offset `until`
// (pf_offset), and wherever a line might be more than one piece for a
// 255-byte buffer or the file ends within a piece: the reader reads on
// from there with pf_gets. Returns the lines passed, one piece each.
unsigned pf_skip_lines(TextFile* f, const char (&wanted)[256], std::uint64_t until);

// True once a read has met the end of the file.
bool pf_eof(const TextFile* f);
// True once a read or a write has failed.
bool pf_failed(const TextFile* f);

// Writes `len` bytes; each newline becomes CR LF on disk. A failure is
// remembered and reported by pf_close.
void pf_write(TextFile* f, const char* data, std::size_t len);

// A line assembled in place: pf_line_room gives room for `room` bytes (at
// most kLineRoomMax), in the write buffer itself where they fit there;
// pf_line_done then takes the first `len` of them, which hold no newline,
// and ends the line. The file gets the same bytes, in the same blocks, as
// from pf_write of the line with its newline.
constexpr std::size_t kLineRoomMax = 4096;
char* pf_line_room(TextFile* f, std::size_t room);
void pf_line_done(TextFile* f, std::size_t len);

// How many bytes reads have taken from the file so far: the offset of the
// next byte on disk where this layer translates line ends itself (a CR LF
// pair is two bytes), the count the C runtime's text mode delivers on
// Windows. Either way a line starts at the same count for every reader.
std::uint64_t pf_offset(const TextFile* f);
// Moves the read position back to `offset`, which must still lie in the
// block buffer (the start of the piece just read always does). Returns
// false, moving nothing, where it does not.
bool pf_rewind_to(TextFile* f, std::uint64_t offset);

// Ends the reading of `f` early, from another thread: the reads find the
// end of the file after the block they have. Neither a failure nor the
// file's true end; for a reader whose work is being dropped.
void pf_cut_reads(TextFile* f);

// Writes out what is buffered for a file open for writing. A failure is
// remembered and reported by pf_close.
void pf_flush(TextFile* f);

// A second writer of the file `owner`, for a thread that makes the part of
// the file that follows the owner's part: its blocks wait in `area` (cap
// bytes) until the owner's thread gives its word with pf_release_held:
// `keep` writes them after what the owner has flushed by then, and lets
// later blocks go straight to the file; otherwise they are dropped. A
// writer whose area is full waits for that word. Only one held writer
// exists at a time. Returns nullptr when no slot is free.
TextFile* pf_open_held(TextFile* owner, char* area, std::size_t cap);
void pf_release_held(TextFile* f, bool keep);
// Ends a held writer once its thread is done, after pf_release_held:
// writes or drops what it still holds. Returns -1 when a write of its
// blocks failed, which pf_close of the owner reports too; else 0. The owner
// stays open.
int pf_close_held(TextFile* f);

// The size of the file `name` in bytes, or -1 when it cannot be told.
long long pf_file_size(const char* name);

// Flushes and closes the file. Returns 0, or -1 when the close or any write
// before it failed.
int pf_close(TextFile* f);

// Renames `from` to `to`, replacing `to` if it exists. Returns 0 or -1.
int pf_rename(const char* from, const char* to);
// Removes `name`. Returns 0 or -1.
int pf_remove(const char* name);

// Writes bytes to standard output or standard error, untranslated.
void pf_stdout(const char* data, std::size_t len);
void pf_stderr(const char* data, std::size_t len);
