// The exchange file's replacement. See replace.h.
#include "platform/replace.h"

#include <cstdint>
#include <memory>
#include <new>

#include "platform/seam.h"
#include "platform/system.h"

namespace {

// The most bytes of a file that the in-place copy keeps in memory: an
// accepted exchange file has at most about 38 MB, its output a circle per
// text more; a bigger exchange file has changed since it was read.
constexpr std::uint64_t kKeptMax = std::uint64_t{64} << 20;
constexpr std::uint64_t kBlock = 1 << 16;

// A whole file's bytes.
struct Bytes {
    std::unique_ptr<char[]> data;
    std::uint64_t size = 0;
};

// Calls `attempt` again while it fails, pf_waits.replaceMs in all.
template <typename Attempt>
bool retried(Attempt attempt) {
    return sys_retry(pf_waits.replaceMs, attempt);
}

// Reads all of `f`, open at its start. False on an error, where memory is
// short, or where the file is over kKeptMax or changes its size meanwhile.
bool readAll(SysFile f, Bytes& b) {
    if (!sys_size(f, b.size) || b.size > kKeptMax) return false;
    // One byte more than the size shows a file that grows meanwhile.
    const auto room = static_cast<std::size_t>(b.size) + 1;
    b.data.reset(new (std::nothrow) char[room]);
    if (!b.data) return false;
    std::size_t got = 0;
    long n = 0;
    while (got < room && (n = sys_read(f, b.data.get() + got, room - got)) > 0) got += static_cast<std::size_t>(n);
    return n == 0 && got == b.size;
}

// Writes `b` over `f`, which is `oldSize` bytes long, and gives it b's
// length: grown before the first byte changes (a full disk shows there),
// cut after the last, then flushed; each step tried again while it fails.
bool writeOver(SysFile f, const Bytes& b, std::uint64_t oldSize) {
    const bool grows = b.size > oldSize;
    if (grows && !retried([&] { return sys_resize(f, b.size); })) return false;
    for (std::uint64_t at = 0; at < b.size; at += kBlock) {
        const auto n = static_cast<std::size_t>(b.size - at < kBlock ? b.size - at : kBlock);
        if (!retried([&] { return sys_seek(f, at) && sys_write(f, b.data.get() + at, n); })) return false;
    }
    return (grows || retried([&] { return sys_resize(f, b.size); })) && retried([&] { return sys_flush(f); });
}

// Copies the work file `in` over the exchange file `out`, open in place
// and locked, which then gets the attributes `wanted`.
PfReplaced copyLocked(SysFile in, SysFile out, const char* exchange, unsigned wanted) {
    Bytes input, output;
    if (!readAll(out, input) || !readAll(in, output)) return PF_KEPT;
    if (!retried([&] { return sys_set_attributes(exchange, wanted); })) return PF_KEPT;
    if (writeOver(out, output, input.size)) return PF_REPLACED;
    // Whatever was written, the file is now at most the longer of the two.
    const std::uint64_t longer = input.size > output.size ? input.size : output.size;
    if (writeOver(out, input, longer)) return PF_KEPT;
    return writeOver(out, output, longer) ? PF_REPLACED : PF_DAMAGED;
}

// Copies the bytes of the work file over the exchange file (see
// pf_replace). The work file is opened so that no other program writes it
// meanwhile.
PfReplaced copyInPlace(const char* work, const char* exchange, unsigned wanted) {
    unsigned mode = 0;
    const SysFile in = sys_open_regular(work, mode, false);
    if (in == kNoFile) return PF_KEPT;
    const SysFile out = sys_open_in_place(exchange);
    const PfReplaced done = out == kNoFile ? PF_KEPT : copyLocked(in, out, exchange, wanted);
    if (out != kNoFile) sys_close(out);  // all was flushed: a late error has shown already
    sys_close(in);
    return done;
}

// Puts the work file in the exchange file's place by a rename, tried again
// while another program's handle blocks it, else by the in-place copy.
PfReplaced putInPlace(const char* work, const char* exchange, unsigned wanted) {
    SysRename renamed = SYS_FAILED;
    retried([&] {
        renamed = sys_rename(work, exchange);
        return renamed != SYS_BLOCKED;
    });
    if (renamed == SYS_RENAMED) return PF_REPLACED;
    const PfReplaced done = renamed == SYS_BLOCKED ? copyInPlace(work, exchange, wanted) : PF_KEPT;
    if (done == PF_REPLACED) sys_remove(work);  // a leftover goes at the next run
    return done;
}

}  // namespace

PfReplaced pf_replace(const char* work, const char* exchange) {
    // Windows refuses to replace or write a read-only file.
    unsigned had = 0;
    if (!retried([&] { return sys_get_attributes(exchange, had); })) return PF_KEPT;
    const unsigned wanted = had | kSysArchive;
    if (!retried([&] { return sys_set_attributes(work, wanted); })) return PF_KEPT;
    const bool readOnly = (had & kSysReadOnly) != 0;
    if (readOnly && !retried([&] { return sys_set_attributes(exchange, had & ~kSysReadOnly); })) return PF_KEPT;
    const PfReplaced done = putInPlace(work, exchange, wanted);
    if (done != PF_REPLACED) retried([&] { return sys_set_attributes(exchange, had); });
    return done;
}
