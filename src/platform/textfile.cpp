// Text files over the system's own file calls, read and written in large
// blocks. See textfile.h for the contract.
#include "platform/textfile.h"

#include <cstdio>
#include <cstring>

#include "platform/seam.h"
#include "platform/system.h"

namespace {

constexpr std::size_t kBlock = 1 << 16;
constexpr char kEndMark = 0x1A;  // an old end-of-file mark, as a file's last byte
// A run has two files open; tests may hold one or two more.
constexpr int kSlots = 4;

}  // namespace

struct TextFile {
    SysFile file = kNoFile;
    unsigned mode = 0;      // permission bits, for a work file made like it
    bool writing = false;
    bool rawEnd = false;    // reading: the file has no more bytes
    bool heldMark = false;  // reading: a 0x1A read last waits to be known as not the last byte
    bool failed = false;    // a read or write failed
    // Reading: buf[pos, end) holds bytes as they are on disk; a CR LF pair is
    // taken as one newline when a line is delivered or counted.
    // Writing: buf[0, end) waits to be written.
    std::size_t pos = 0;
    std::size_t end = 0;
    char buf[kBlock];
};

namespace {

TextFile slots[kSlots];

TextFile* take(SysFile file, bool writing) {
    for (TextFile& f : slots) {
        if (f.file == kNoFile) {
            f.file = file;
            f.writing = writing;
            f.rawEnd = f.heldMark = f.failed = false;
            f.pos = f.end = 0;
            return &f;
        }
    }
    sys_close(file);
    return nullptr;
}

// Moves the unread bytes to the front and reads more behind them. A 0x1A
// that ends what was read is held back until a later read shows more bytes
// behind it; at the end of the file it is dropped. Returns false when
// nothing could be added.
bool refill(TextFile* f) {
    std::size_t keep = f->end - f->pos;
    std::memmove(f->buf, f->buf + f->pos, keep);
    f->pos = 0;
    f->end = keep;
    while (!f->rawEnd) {
        std::size_t at = keep + (f->heldMark ? 1 : 0);
        long got = sys_read(f->file, f->buf + at, kBlock - at);
        if (got <= 0) {
            f->failed = f->failed || got < 0;
            f->rawEnd = true;  // a read error ends the reading like the end of the file
            return false;
        }
        if (f->heldMark) f->buf[keep] = kEndMark;
        f->end = at + static_cast<std::size_t>(got);
        f->heldMark = f->buf[f->end - 1] == kEndMark;
        if (f->heldMark) --f->end;
        if (f->end > keep) return true;
    }
    return false;
}

// Makes at least `need` unread bytes ready, or all that are left.
std::size_t ensure(TextFile* f, std::size_t need) {
    while (f->end - f->pos < need && refill(f)) {
    }
    return f->end - f->pos;
}

void flush(TextFile* f) {
    if (f->end > 0 && !f->failed && !sys_write(f->file, f->buf, f->end)) f->failed = true;
    f->end = 0;
}

// Copies bytes into the write buffer as they are, flushing when it is full.
void append(TextFile* f, const char* data, std::size_t len) {
    while (len > 0) {
        if (f->end == kBlock) flush(f);
        std::size_t take = kBlock - f->end < len ? kBlock - f->end : len;
        std::memcpy(f->buf + f->end, data, take);
        f->end += take;
        data += take;
        len -= take;
    }
}

}  // namespace

TextFile* pf_open_input(const char* name) {
    unsigned mode = 0;
    SysFile file = sys_open_regular(name, mode, true);
    if (file == kNoFile) return nullptr;
    TextFile* f = take(file, false);
    if (f) f->mode = mode;
    return f;
}

TextFile* pf_create_work(const char* name, const TextFile* like) {
    SysFile file = kNoFile;
    // A leftover that cannot be removed makes the exclusive creation fail.
    sys_retry(pf_waits.replaceMs, [&] {
        if (sys_remove(name) == SYS_HELD) return false;
        file = sys_create_new(name, like ? like->mode : 0);
        return true;
    });
    return file == kNoFile ? nullptr : take(file, true);
}

std::size_t pf_gets(TextFile* f, char* buf, std::size_t size) {
    std::size_t want = size - 1;
    // One byte more than a piece holds: a CR LF pair there is one newline.
    std::size_t avail = ensure(f, want + 1);
    if (avail > want + 1) avail = want + 1;
    const char* src = f->buf + f->pos;
    auto* nl = static_cast<const char*>(std::memchr(src, '\n', avail));
    std::size_t n = avail < want ? avail : want;
    std::size_t taken = n;
    if (nl) {
        auto at = static_cast<std::size_t>(nl - src);
        bool pair = at > 0 && src[at - 1] == '\r';
        if (at + (pair ? 0 : 1) <= want) {  // the line with its newline fits
            n = pair ? at : at + 1;
            taken = at + 1;
        }
    }
    std::memcpy(buf, src, n);
    if (taken > n) buf[n - 1] = '\n';  // CR LF delivered as one newline
    buf[n] = '\0';
    f->pos += taken;
    return n;
}

unsigned pf_count_pieces(TextFile* f, std::size_t size, unsigned limit) {
    const unsigned long long width = size - 1;
    unsigned long long count = 0;
    unsigned long long line = 0;  // bytes of the current line so far, after translation
    char before = '\n';           // the byte before the unread ones
    while (ensure(f, 1) > 0) {
        const char* p = f->buf + f->pos;
        const char* stop = f->buf + f->end;
        while (p < stop) {
            auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
            if (!nl) {
                line += static_cast<unsigned long long>(stop - p);
                before = stop[-1];
                p = stop;
                break;
            }
            bool pair = (nl > p ? nl[-1] : before) == '\r';
            line += static_cast<unsigned long long>(nl - p) + 1 - (pair ? 1 : 0);
            count += (line + width - 1) / width;
            line = 0;
            before = '\n';
            p = nl + 1;
        }
        f->pos = static_cast<std::size_t>(p - f->buf);
        // A line goes on for at least as many pieces as its bytes so far fill.
        if (count + (line + width - 1) / width > limit) return limit + 1;
    }
    count += (line + width - 1) / width;
    return count > limit ? limit + 1 : static_cast<unsigned>(count);
}

bool pf_rewind(TextFile* f) {
    if (!sys_seek(f->file, 0)) {
        f->failed = true;
        return false;
    }
    f->pos = f->end = 0;
    f->rawEnd = f->heldMark = false;
    return true;
}

bool pf_discard(TextFile* f) {
    f->end = 0;
    bool emptied = !f->failed && sys_seek(f->file, 0) && sys_resize(f->file, 0);
    f->failed = f->failed || !emptied;
    return emptied;
}

bool pf_failed(const TextFile* f) { return f->failed; }

void pf_write(TextFile* f, const char* data, std::size_t len) {
    while (len > 0) {
        auto* nl = static_cast<const char*>(std::memchr(data, '\n', len));
        std::size_t seg = nl ? static_cast<std::size_t>(nl - data) : len;
        append(f, data, seg);
        if (!nl) return;
        append(f, "\r\n", 2);
        data += seg + 1;
        len -= seg + 1;
    }
}

int pf_close(TextFile* f) {
    if (f->writing) flush(f);
    bool closed = sys_close(f->file);
    f->file = kNoFile;
    return closed && !(f->writing && f->failed) ? 0 : -1;
}

void pf_stdout(const char* data, std::size_t len) { std::fwrite(data, 1, len, stdout); }

void pf_stderr(const char* data, std::size_t len) {
    std::fflush(stdout);
    std::fwrite(data, 1, len, stderr);
}

TextFile* fp = nullptr;
TextFile* fpw = nullptr;
