// Text files as the host's platform keeps them, read and written alike by
// every build: reading turns CR LF into one newline (a lone CR stays),
// writing turns each newline into CR LF, and every byte count the program
// takes (line pieces, line counts) is taken after that. A 0x1A that is a
// file's very last byte is an old end-of-file mark that hosts append: it is
// dropped, neither read nor counted; anywhere else it is an ordinary byte.
#pragma once

#include <cstddef>

// An open text file. Reads and writes go through one fixed block buffer.
// Process-wide state: a fixed table of four TextFiles (textfile.cpp); the
// run opens two, tests one or two more.
struct TextFile;

// Opens the regular file `name` for reading; nullptr where it is missing,
// unreadable, or a FIFO, a device or a directory.
TextFile* pf_open_input(const char* name);

// Makes `name` a new, empty file of this run's own for writing: a leftover
// entry of that name (a file, a link: the link itself, never its target;
// read-only too) is removed first, then the file is created exclusively,
// with the permission bits of `like` where given. A leftover that another
// program holds open (Windows) is tried again with growing waits
// (pf_waits.replaceMs in all). nullptr where it cannot be done.
TextFile* pf_create_work(const char* name, const TextFile* like);

// Reads the next piece of a line, like the C library's line read with a
// buffer of `size` bytes: at most size-1 bytes, stopping after a newline,
// which is kept. The piece is NUL-terminated. Returns the number of bytes
// stored (NUL bytes of the file included); 0 at end of file or on a read
// error.
std::size_t pf_gets(TextFile* f, char* buf, std::size_t size);

// Counts the pieces that pf_gets with a buffer of `size` bytes would deliver
// from here to the end of the file, stopping as soon as the count exceeds
// `limit` (also within a long line): returns at most limit + 1.
unsigned pf_count_pieces(TextFile* f, std::size_t size, unsigned limit);

// Moves back to the start of the file, for another pass. False on an error.
bool pf_rewind(TextFile* f);

// Empties a file open for writing: what was written and what waits to be
// written goes. False on an error.
bool pf_discard(TextFile* f);

// True once a read or a write has failed.
bool pf_failed(const TextFile* f);

// Writes `len` bytes; each newline becomes CR LF on disk. A failure is
// remembered and reported by pf_close.
void pf_write(TextFile* f, const char* data, std::size_t len);

// Flushes and closes the file. Returns 0, or -1 when the close or any write
// before it failed.
int pf_close(TextFile* f);

// Writes bytes to standard output or standard error, untranslated.
void pf_stdout(const char* data, std::size_t len);
void pf_stderr(const char* data, std::size_t len);

// The run's two files, which the driver opens and closes: the exchange file
// `fp`, read by the reader, and the work file `fpw`, written with the records.
extern TextFile* fp;
extern TextFile* fpw;
