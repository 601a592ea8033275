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
// Opens an existing file for reading and writing in place, as other
// programs that hold it open allow (Windows' in-place copy).
SysFile sys_open_in_place(const char* name);
// Locks the whole of a file opened in place against other processes,
// without waiting: false where another process holds a lock on any part of
// it (Windows). POSIX locks bind only those who ask for them: nothing to do
// there. The lock ends with sys_unlock_file, or at the latest with the close.
bool sys_lock_file(SysFile f);
void sys_unlock_file(SysFile f);
// The size of an open file in bytes. False on an error.
bool sys_size(SysFile f, std::uint64_t& size);

// Reads up to n bytes: the count, 0 at the end, -1 on an error.
long sys_read(SysFile f, char* buf, std::size_t n);
// Writes all n bytes. Returns false on an error.
bool sys_write(SysFile f, const char* buf, std::size_t n);
// Moves to the start of the file. Returns false on an error.
bool sys_rewind(SysFile f);
// Gives the file the length `size`: cut there, or grown with zero bytes
// (Windows gives them disk space at once, so that a full disk shows here).
// The position afterwards is undefined. False on an error.
bool sys_resize(SysFile f, std::uint64_t size);
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
// Outcome of a removal.
enum SysRemove {
    SYS_REMOVED,
    SYS_ABSENT,  // there was none
    // Another program holds the file open (Windows): it cannot be removed
    // yet, or its name stays until that program lets go. A later try may
    // succeed.
    SYS_HELD,
    SYS_REFUSED,
};
// Removes the directory entry `name` (a link, not its target), whatever
// its attributes: Windows refuses to remove a read-only file, so that
// attribute is taken off first.
SysRemove sys_remove(const char* name);

// The attributes that Windows keeps apart from a file's contents and that a
// replacement of the file is to keep: read-only, hidden, system, archive.
// POSIX keeps no such attributes (the permission bits go with the file,
// sys_create_new): sys_get_attributes is false there and nothing is set.
inline constexpr unsigned kSysReadOnly = 0x1;
inline constexpr unsigned kSysKeptAttributes = 0x1 | 0x2 | 0x4 | 0x20;
bool sys_get_attributes(const char* name, unsigned& attributes);
// Sets exactly `attributes` (of kSysKeptAttributes) on `name`.
bool sys_set_attributes(const char* name, unsigned attributes);

void sys_sleep_ms(int ms);

// Calls `attempt` until it returns true or waits of `totalMs` milliseconds
// in all have passed between the calls: 10 ms, doubling, the last one cut
// short. Returns the last call's result.
template <typename Attempt>
bool sys_retry(int totalMs, Attempt attempt) {
    bool done = attempt();
    for (int waited = 0, step = 10; !done && waited < totalMs; step *= 2) {
        if (step > totalMs - waited) step = totalMs - waited;
        sys_sleep_ms(step);
        waited += step;
        done = attempt();
    }
    return done;
}
