// Every call that the program makes to the file system, the same on every
// platform: system_posix.cpp holds the POSIX half, system_windows.cpp the
// Windows half. Each call that the system can refuse counts itself in the
// fault seam (seam.h), where a test can make it fail. Process-wide state:
// the run lock while this run holds it (`runLock` in each half).
#pragma once

#include <cstddef>
#include <cstdint>

// An open file: a descriptor (POSIX) or a handle (Windows), as a number.
using SysFile = std::intptr_t;
inline constexpr SysFile kNoFile = -1;

// Opens an existing regular file for reading, without waiting on it: a
// FIFO, a device or a directory is refused. `mode` receives its permission
// bits (0 where the system has none). Where `othersMayWrite` is false,
// other programs may only read the file while it is open, and a file that
// one of them has open for writing is refused (Windows).
SysFile sys_open_regular(const char* name, unsigned& mode, bool othersMayWrite);
// Creates `name` as a new file for writing, never through an existing entry
// or link of that name; gives it the permission bits `mode` (unless 0).
// A file that cannot be given its mode is removed again. Other programs
// may only read it while it is open.
SysFile sys_create_new(const char* name, unsigned mode);
// Opens an existing regular file for reading and writing in place, as
// other programs that hold it open allow, and locks the whole of it
// against other processes until the close (Windows; POSIX locks bind only
// those who ask for them). Refused where another process locks any part of
// it, where the file has another name too (a hard link), or where `name` is
// a link itself (a symbolic link, a reparse point): an in-place write would
// go through to the other name.
SysFile sys_open_in_place(const char* name);
// The size of an open file in bytes. False on an error.
bool sys_size(SysFile f, std::uint64_t& size);

// Reads up to n bytes: the count, 0 at the end, -1 on an error.
long sys_read(SysFile f, char* buf, std::size_t n);
// Writes all n bytes. False on an error.
bool sys_write(SysFile f, const char* buf, std::size_t n);
// Moves to byte `at` of the file. False on an error.
bool sys_seek(SysFile f, std::uint64_t at);
// Gives the file the length `size`: cut there, or grown with zero bytes
// (Windows gives them disk space at once, so that a full disk shows here).
// The position afterwards is undefined. False on an error.
bool sys_resize(SysFile f, std::uint64_t size);
// Hands what was written to the disk and waits for it, so that a write
// error that the system found only later is reported here. False then.
bool sys_flush(SysFile f);
// Closes the file, ending its lock at once. False on an error (a Windows
// close reports no write that failed late).
bool sys_close(SysFile f);

// Renames `from` to `to`, replacing `to`. SYS_BLOCKED where another
// program's open handle stands in the way (Windows) and a later try may
// succeed.
enum SysRename { SYS_RENAMED, SYS_BLOCKED, SYS_FAILED };
SysRename sys_rename(const char* from, const char* to);
// Removes the directory entry `name` (a link, not its target), whatever
// its attributes (Windows takes a read-only one off first). SYS_ABSENT
// where there was none; SYS_HELD where another program holds the file open
// (Windows), so that it cannot go yet or its name stays until that program
// lets go, and a later try may succeed.
enum SysRemove { SYS_REMOVED, SYS_ABSENT, SYS_HELD, SYS_REFUSED };
SysRemove sys_remove(const char* name);

// The attributes that Windows keeps apart from a file's contents:
// read-only, hidden, system, and archive (a file that a backup has yet to
// save). POSIX has none: sys_get_attributes gives 0 and sys_set_attributes
// does nothing there, both succeeding.
inline constexpr unsigned kSysReadOnly = 0x1;
inline constexpr unsigned kSysArchive = 0x20;
inline constexpr unsigned kSysAttributes = kSysReadOnly | 0x2 | 0x4 | kSysArchive;  // hidden, system
bool sys_get_attributes(const char* name, unsigned& attributes);
// Sets exactly `attributes` (of kSysAttributes) on `name`; its other
// attributes stay.
bool sys_set_attributes(const char* name, unsigned attributes);

// Gives the exchange file the name `upper` (the host may leave it as
// "qxc_temp.txt" or "Qxc_Temp.Txt"). POSIX renames `lower` to `upper` only
// where no `upper` exists: a stale lower-case file never replaces the
// host's input. Windows (names ignore case) renames the entry that matches
// `upper` in one step, and where that keeps the old spelling (some file
// systems do), through "QXC_x2x2.$$$", replacing a leftover of that name,
// or back where the last step fails. Each rename is tried again while it
// fails, pf_waits.replaceMs in all, so that a program that holds a file
// just renamed for a moment (a virus scanner) leaves it under one of its
// two names.
void pf_normalise_name(const char* lower, const char* upper);

// Takes the run lock of the current folder, waiting while another run
// holds it (pf_waits.lockMs at most); the process's end releases it. One
// folder has one lock, however its path is spelt: POSIX locks the directory
// itself, and runs unlocked where it cannot be opened or its file system
// has no locks; Windows names a machine-wide mutex (every logon session)
// after the folder's volume serial number and file ID, and waits for one
// it may not open (another user's run) as for a held one. False when the
// wait ran out, or (Windows) the folder cannot be identified or the mutex
// made.
bool pf_lock_run();
void pf_unlock_run();

// Opens the null device on every standard stream the program was started
// without, so that no file of the run takes its number.
void pf_fill_standard_streams();

void sys_sleep_ms(int ms);

// Calls `attempt` until it returns true or waits of `totalMs` milliseconds
// in all have passed between the calls: 10 ms, doubling up to 80 ms, the
// last one cut short. Returns the last call's result.
template <typename Attempt>
bool sys_retry(int totalMs, Attempt attempt) {
    bool done = attempt();
    for (int waited = 0, step = 10; !done && waited < totalMs; waited += step, step = step < 80 ? 2 * step : 80) {
        if (step > totalMs - waited) step = totalMs - waited;
        sys_sleep_ms(step);
        done = attempt();
    }
    return done;
}
