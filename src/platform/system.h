// The operating system's file calls, the same few on every platform: POSIX
// descriptors on Linux, Win32 handles on Windows. The rest of the program
// reaches them through textfile.h and names.h.
//
// Every call is counted by the fault seam (textfile.h, PfFaults) and can be
// made to fail there, so that each failure path of the program can be run.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file: a descriptor (POSIX) or a handle (Windows), as a number.
using SysFile = std::intptr_t;
inline constexpr SysFile kNoFile = -1;

// Opens an existing regular file for reading, without waiting on it: a
// FIFO, a device or a directory is refused. `mode` receives its permission
// bits (0 where the system has none).
SysFile sys_open_regular(const char* name, unsigned& mode);
// Creates `name` as a new file for writing, never through an existing entry
// or link of that name; gives it the permission bits `mode` (unless 0).
// A file that cannot be given its mode is removed again.
SysFile sys_create_new(const char* name, unsigned mode);
// Opens an existing file for writing in place, as other programs that hold
// it open allow (Windows' in-place copy).
SysFile sys_open_in_place(const char* name);

// Reads up to n bytes: the count, 0 at the end, -1 on an error.
long sys_read(SysFile f, char* buf, std::size_t n);
// Writes all n bytes. Returns false on an error.
bool sys_write(SysFile f, const char* buf, std::size_t n);
// Moves to the start of the file. Returns false on an error.
bool sys_rewind(SysFile f);
// Cuts the file at the current position (in-place copy). False on an error.
bool sys_truncate_here(SysFile f);
bool sys_close(SysFile f);

// Outcome of a rename.
enum SysRename { SYS_RENAMED, SYS_BLOCKED, SYS_FAILED };
// Renames `from` to `to`, replacing `to`. SYS_BLOCKED where another
// program's open handle stands in the way (Windows) and a later try may
// succeed.
SysRename sys_rename(const char* from, const char* to);
#ifndef _WIN32
// Renames `from` to `to` only where no `to` exists. Returns false otherwise
// or on an error. (Windows names ignore case: no other file can be `to`.)
bool sys_rename_new(const char* from, const char* to);
#endif
// Removes the directory entry `name` (a link, not its target).
bool sys_remove(const char* name);

void sys_sleep_ms(int ms);
