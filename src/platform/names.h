// The exchange file's name at the start of a run (the host may leave it as
// "qxc_temp.txt" or "Qxc_Temp.Txt"; it is read and written as
// "QXC_TEMP.TXT") and its replacement at the end, the run's lock on its
// directory, and the standard streams.
#pragma once

// Gives the exchange file the name `upper`, the way the platform allows:
// where names tell case apart, `lower` is renamed to `upper` only where no
// `upper` exists (a stale lower-case file never replaces the host's input);
// where they ignore case (Windows), pf_normalise_by_search.
void pf_normalise_name(const char* lower, const char* upper);

#ifdef _WIN32
// Finds the directory entry whose name equals `upper` ignoring case and
// renames it to exactly `upper`: in one step; and only where that leaves the
// old spelling (some file systems keep it when only the case changes),
// through the temporary name kCaseTempName, which replaces a leftover of
// that name. When the second step of that chain fails, the file gets its
// old name back. Nothing happens when no entry matches or one matches
// exactly.
void pf_normalise_by_search(const char* upper);
#endif

#ifdef _WIN32
inline constexpr const char* kCaseTempName = "QXC_x2x2.$$$";
#endif

// How long the platform waits, in milliseconds: for another run in the
// same directory to end, and for another program to let go of the exchange
// file. Tests shorten them.
struct PfWaits {
    int lockMs = 30000;
    int replaceMs = 2000;
};
extern PfWaits pf_waits;

// Takes the run lock of the current directory, waiting for a run that holds
// it (pf_waits.lockMs at most). The system releases it when the process
// ends, however it ends. One directory has one lock, whatever the spelling
// of its path: POSIX locks the directory itself; Windows names a mutex
// after the directory's final path (links, substituted drives and short
// names resolved), folded to capitals as the file system compares names
// and hashed to a name of fixed length, so that a path of any length and
// any characters has its lock. Returns false when the wait ran out, and
// also when a lock call fails (Windows: the mutex cannot be named or
// created): the run then ends as when the wait runs out, rather than going
// on unlocked. A POSIX directory that cannot be opened for reading, or
// whose file system has no locks, is run unlocked, as it always was there:
// a folder the host can use is never refused for want of a lock.
bool pf_lock_run();
void pf_unlock_run();

// Puts the finished work file `work` in the place of `exchange`, in one
// rename: the exchange file holds either its old contents or all of
// `work`. Where another program's open handle blocks the rename (Windows:
// a virus scanner, an indexer, the host itself), it is tried again with
// growing waits (pf_waits.replaceMs in all); a file still held open by a
// program that allows writing gets the work file's bytes copied over it in
// place, all or nothing: the exchange file is locked whole (a holder that
// locks any part of it makes the copy fail at once), its bytes are read
// into memory (at most 64 MiB; a bigger file is left alone and the copy
// fails), it is grown to its new length before the first byte changes,
// and after a failure at any step (a write, the cut, the close) its old
// bytes and length are put back. The work file is removed only after that
// copy is complete and closed. Only a kill during the copy can leave the
// exchange file part output, part input (or zero bytes): the work file then
// still holds the whole output.
//
// The result gets the exchange file's attributes (Windows: read-only,
// hidden, system, archive; POSIX gave the work file its mode when it made
// it); a read-only exchange file is replaced like any other.
//
// Returns 0, or -1 with `work` left whole and `exchange` as it was.
int pf_replace(const char* work, const char* exchange);

// Opens the null device on every standard stream the program was started
// without, so that no file of the run takes its number.
void pf_fill_standard_streams();
