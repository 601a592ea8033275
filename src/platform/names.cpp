// The exchange file's name, its replacement, the run lock. See names.h.
#include "platform/names.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#endif

PfWaits pf_waits;

namespace {

#ifdef _WIN32
// The name under which the current directory holds `wanted`, compared as
// the file system compares names (ignoring case). Empty when none matches.
std::string storedName(const char* wanted) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(wanted, &found);
    if (search == INVALID_HANDLE_VALUE) return "";
    FindClose(search);
    return found.cFileName;
}

bool renameOver(const char* from, const char* to) { return sys_rename(from, to) == SYS_RENAMED; }
#endif

}  // namespace

#ifdef _WIN32
void pf_normalise_by_search(const char* upper) {
    std::string name = storedName(upper);
    if (name.empty() || name == upper) return;
    renameOver(name.c_str(), upper);
    name = storedName(upper);
    if (name.empty() || name == upper) return;
    // The one rename kept the old spelling: a rename to a different name and
    // on to the wanted one takes the new spelling.
    if (!renameOver(name.c_str(), kCaseTempName)) return;
    if (!renameOver(kCaseTempName, upper)) renameOver(kCaseTempName, name.c_str());
}
#endif

void pf_normalise_name(const char* lower, const char* upper) {
#ifdef _WIN32
    (void)lower;
    pf_normalise_by_search(upper);
#else
    sys_rename_new(lower, upper);
#endif
}

namespace {

// The most bytes of an exchange file that the in-place copy keeps in memory
// to put back after a failure. A file that a run accepted has at most
// 150000 pieces of 254 bytes, each with a CR besides (about 38 MB); a
// bigger one has changed since it was read and is left as it is.
constexpr std::uint64_t kKeptMax = std::uint64_t{64} << 20;

// A file's bytes as they were before the in-place copy.
struct Kept {
    std::unique_ptr<char[]> bytes;
    std::uint64_t size = 0;
};

// Reads all of `f`, open at its start, into `kept`. False on an error,
// where memory is short, or where the file is over kKeptMax or changes its
// size meanwhile.
bool keep(SysFile f, Kept& kept) {
    if (!sys_size(f, kept.size) || kept.size > kKeptMax) return false;
    // One byte more than the size shows a file that grows meanwhile.
    const auto room = static_cast<std::size_t>(kept.size) + 1;
    kept.bytes.reset(new (std::nothrow) char[room]);
    if (!kept.bytes) return false;
    std::size_t got = 0;
    long n = 0;
    while (got < room && (n = sys_read(f, kept.bytes.get() + got, room - got)) > 0) got += static_cast<std::size_t>(n);
    return n == 0 && got == kept.size;
}

// Writes the kept bytes over the start of `f` and cuts it after them.
bool putBack(SysFile f, const Kept& kept) {
    return sys_rewind(f) && sys_write(f, kept.bytes.get(), static_cast<std::size_t>(kept.size)) &&
           sys_resize(f, kept.size);
}

// Copies all of `in` over the start of `out`, which is `outSize` bytes
// long, and gives `out` the length of `in`: a longer `out` is grown before
// the first byte changes (a full disk shows there), a shorter one cut
// after the last.
bool copyOver(SysFile in, SysFile out, std::uint64_t outSize) {
    static char block[1 << 16];
    std::uint64_t size = 0;
    if (!sys_size(in, size)) return false;
    if (size > outSize && !sys_resize(out, size)) return false;
    if (!sys_rewind(out)) return false;
    std::uint64_t copied = 0;
    long got = 0;
    while ((got = sys_read(in, block, sizeof block)) > 0) {
        if (!sys_write(out, block, static_cast<std::size_t>(got))) return false;
        copied += static_cast<std::uint64_t>(got);
    }
    return got == 0 && copied == size && (size >= outSize || sys_resize(out, size));
}

// Copies the work file `in` over the exchange file `to`, open in place as
// `out` and locked: all or nothing. Whatever fails after the exchange file
// has been read, its old bytes and length are put back. Closes `out`.
bool copyLocked(SysFile in, SysFile out, const char* to) {
    Kept kept;
    const bool read = keep(out, kept);
    const bool copied = read && copyOver(in, out, kept.size);
    if (read && !copied) putBack(out, kept);  // a second failure there leaves it as it is
    sys_unlock_file(out);
    if (sys_close(out) || !copied) return copied;
    // A close that reports an error leaves the bytes written in doubt: the
    // file is opened again and gets its old bytes back.
    SysFile again = sys_open_in_place(to);
    if (again == kNoFile) return false;
    if (sys_lock_file(again)) {
        putBack(again, kept);
        sys_unlock_file(again);
    }
    sys_close(again);
    return false;
}

// Copies the bytes of the work file `from` over the exchange file `to`:
// afterwards `to` holds either all of `from` or, after any failure, its own
// bytes as before (see pf_replace).
bool copyInPlace(const char* from, const char* to) {
    unsigned mode = 0;
    SysFile in = sys_open_regular(from, mode);
    if (in == kNoFile) return false;
    SysFile out = sys_open_in_place(to);
    bool copied = false;
    if (out != kNoFile) {
        if (sys_lock_file(out)) copied = copyLocked(in, out, to);
        else sys_close(out);
    }
    sys_close(in);
    return copied;
}

// Puts the work file in the exchange file's place by a rename, tried again
// while another program's handle blocks it, else by the in-place copy.
int putInPlace(const char* work, const char* exchange) {
    SysRename done = SYS_FAILED;
    sys_retry(pf_waits.replaceMs, [&] {
        done = sys_rename(work, exchange);
        return done != SYS_BLOCKED;
    });
    if (done == SYS_RENAMED) return 0;
    if (done == SYS_FAILED || !copyInPlace(work, exchange)) return -1;
    sys_remove(work);  // the exchange file holds the output; a leftover goes at the next run
    return 0;
}

}  // namespace

int pf_replace(const char* work, const char* exchange) {
    // Windows refuses to replace or write a read-only file: the attribute is
    // taken off for the replacement, and the result gets the exchange file's
    // attributes; after a failure the exchange file gets its own back.
    unsigned attributes = 0;
    const bool known = sys_get_attributes(exchange, attributes);
    const bool cleared = known && (attributes & kSysReadOnly) != 0 &&
                         sys_set_attributes(exchange, attributes & ~kSysReadOnly);
    const int done = putInPlace(work, exchange);
    // Should this fail, the file keeps the contents it has, with the
    // attributes of the work file or without the read-only one.
    if (known && (done == 0 || cleared)) sys_set_attributes(exchange, attributes);
    return done;
}
