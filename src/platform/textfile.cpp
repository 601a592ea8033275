// Text-mode files over the C library's binary streams, read and written in
// large blocks. See textfile.h for the contract.
#include "platform/textfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

#ifdef _WIN32
// The C runtime translates line ends itself in text mode.
constexpr bool kTranslate = false;
constexpr const char* kReadMode = "r";
constexpr const char* kWriteMode = "w";
#else
constexpr bool kTranslate = true;
constexpr const char* kReadMode = "rb";
constexpr const char* kWriteMode = "wb";
#endif

constexpr std::size_t kBlock = 1 << 16;
// A run has at most two files open at once; tests may hold a few more.
constexpr int kSlots = 4;

}  // namespace

struct TextFile {
    std::FILE* fp = nullptr;
    bool writing = false;
    bool eof = false;      // a read found no more data
    bool rawEnd = false;   // the underlying stream is exhausted
    bool failed = false;   // a read or write failed
    // Reading: translated bytes are buf[pos, end); buf[end, end + held) is a
    // CR whose partner may come with the next block.
    // Writing: buf[0, end) waits to be written.
    std::size_t pos = 0;
    std::size_t end = 0;
    std::size_t held = 0;
    char buf[kBlock];
};

PfFaults pf_faults;

namespace {

TextFile slots[kSlots];

// Counts a call of `op` and tells whether it is the one to fail.
bool injected(PfOp op) {
    long n = ++pf_faults.calls[op];
    if (pf_faults.op == op && pf_faults.nth == n) {
        errno = pf_faults.err;
        return true;
    }
    return false;
}

// Drops the CR of every CR LF pair in buf[from, to) and returns the new end.
// A CR as the very last byte is left for the caller to decide about.
std::size_t squeezeCrLf(char* buf, std::size_t from, std::size_t to) {
    std::size_t out = from;
    std::size_t i = from;
    while (i < to) {
        auto* cr = static_cast<char*>(std::memchr(buf + i, '\r', to - i));
        std::size_t stop = cr ? static_cast<std::size_t>(cr - buf) : to;
        if (out != i) std::memmove(buf + out, buf + i, stop - i);
        out += stop - i;
        i = stop;
        if (!cr) break;
        if (i + 1 < to && buf[i + 1] == '\n') {
            ++i;  // the LF is copied with the next segment
        } else {
            buf[out++] = '\r';
            ++i;
        }
    }
    return out;
}

// Refills the read buffer. Returns false when no byte could be added.
bool fill(TextFile* f) {
    if (f->rawEnd) {
        if (f->held == 0) return false;
        f->end += f->held;  // a CR at the end of the file stays a CR
        f->held = 0;
        return true;
    }
    std::size_t keep = f->end - f->pos + f->held;
    std::memmove(f->buf, f->buf + f->pos, keep);
    std::size_t cooked = f->end - f->pos;
    f->pos = 0;
    f->end = cooked;
    std::size_t got = 0;
    if (injected(PF_READ)) {
        f->failed = true;
    } else {
        got = std::fread(f->buf + keep, 1, kBlock - keep, f->fp);
        if (got < kBlock - keep && std::ferror(f->fp)) f->failed = true;
    }
    if (got == 0) {
        f->rawEnd = true;
        return fill(f);
    }
    std::size_t total = keep + got;
    if (!kTranslate) {
        f->end = total;
        return true;
    }
    bool crLast = f->buf[total - 1] == '\r';
    f->end = squeezeCrLf(f->buf, cooked, total);
    f->held = 0;
    if (crLast) {
        // A CR at the end of the block: its LF may be the next block's first byte.
        f->end -= 1;
        f->held = 1;
    }
    return f->end > cooked || fill(f);
}

// Makes sure some translated bytes are ready. Returns false at the end.
bool ready(TextFile* f) {
    if (f->pos < f->end) return true;
    if (f->eof) return false;
    if (!fill(f)) {
        f->eof = true;
        return false;
    }
    return true;
}

void flush(TextFile* f) {
    if (f->end == 0) return;
    if (injected(PF_WRITE) || std::fwrite(f->buf, 1, f->end, f->fp) != f->end) f->failed = true;
    f->end = 0;
}

}  // namespace

TextFile* pf_open(const char* name, const char* mode) {
    if (injected(PF_OPEN)) return nullptr;
    TextFile* f = nullptr;
    for (auto& s : slots) {
        if (!s.fp) {
            f = &s;
            break;
        }
    }
    if (!f) {
        errno = EMFILE;
        return nullptr;
    }
    bool writing = mode[0] == 'w';
    std::FILE* fp = std::fopen(name, writing ? kWriteMode : kReadMode);
    if (!fp) return nullptr;
    std::setvbuf(fp, nullptr, _IONBF, 0);  // this layer buffers by itself
    f->fp = fp;
    f->writing = writing;
    f->eof = f->rawEnd = f->failed = false;
    f->pos = f->end = f->held = 0;
    return f;
}

std::size_t pf_gets(TextFile* f, char* buf, std::size_t size) {
    std::size_t want = size - 1;
    std::size_t n = 0;
    while (n < want && ready(f)) {
        std::size_t avail = f->end - f->pos;
        if (avail > want - n) avail = want - n;
        const char* src = f->buf + f->pos;
        auto* nl = static_cast<const char*>(std::memchr(src, '\n', avail));
        std::size_t take = nl ? static_cast<std::size_t>(nl - src) + 1 : avail;
        std::memcpy(buf + n, src, take);
        n += take;
        f->pos += take;
        if (nl) break;
    }
    buf[n] = '\0';
    return n;
}

void pf_skip_line(TextFile* f) {
    while (ready(f)) {
        std::size_t avail = f->end - f->pos;
        auto* nl = static_cast<const char*>(std::memchr(f->buf + f->pos, '\n', avail));
        if (nl) {
            f->pos = static_cast<std::size_t>(nl - f->buf) + 1;
            return;
        }
        f->pos = f->end;
    }
}

unsigned pf_count_pieces(TextFile* f, std::size_t size, unsigned limit) {
    const unsigned long long width = size - 1;
    unsigned long long count = 0;
    unsigned long long line = 0;  // bytes of the current line so far
    while (count <= limit && ready(f)) {
        const char* p = f->buf + f->pos;
        const char* stop = f->buf + f->end;
        while (p < stop && count <= limit) {
            auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
            if (!nl) {
                line += static_cast<unsigned long long>(stop - p);
                p = stop;
                break;
            }
            line += static_cast<unsigned long long>(nl - p) + 1;
            count += (line + width - 1) / width;
            line = 0;
            p = nl + 1;
        }
        f->pos = static_cast<std::size_t>(p - f->buf);
    }
    if (count <= limit) count += (line + width - 1) / width;
    return count > limit ? limit + 1 : static_cast<unsigned>(count);
}

bool pf_eof(const TextFile* f) { return f->eof; }

bool pf_failed(const TextFile* f) { return f->failed; }

void pf_write(TextFile* f, const char* data, std::size_t len) {
    if (!kTranslate) {
        while (len > 0) {
            if (f->end == kBlock) flush(f);
            std::size_t take = kBlock - f->end < len ? kBlock - f->end : len;
            std::memcpy(f->buf + f->end, data, take);
            f->end += take;
            data += take;
            len -= take;
        }
        return;
    }
    while (len > 0) {
        auto* nl = static_cast<const char*>(std::memchr(data, '\n', len));
        std::size_t seg = nl ? static_cast<std::size_t>(nl - data) : len;
        while (seg > 0) {
            if (f->end == kBlock) flush(f);
            std::size_t take = kBlock - f->end < seg ? kBlock - f->end : seg;
            std::memcpy(f->buf + f->end, data, take);
            f->end += take;
            data += take;
            seg -= take;
            len -= take;
        }
        if (nl) {
            if (kBlock - f->end < 2) flush(f);
            f->buf[f->end++] = '\r';
            f->buf[f->end++] = '\n';
            ++data;
            --len;
        }
    }
}

int pf_close(TextFile* f) {
    if (f->writing) flush(f);
    bool closeFailed = injected(PF_CLOSE);
    if (std::fclose(f->fp) != 0) closeFailed = true;
    f->fp = nullptr;
    return (closeFailed || (f->writing && f->failed)) ? -1 : 0;
}

int pf_rename(const char* from, const char* to) {
    if (injected(PF_RENAME)) return -1;
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return ec ? -1 : 0;
}

int pf_remove(const char* name) {
    if (injected(PF_REMOVE)) return -1;
    return std::remove(name) == 0 ? 0 : -1;
}

void pf_stdout(const char* data, std::size_t len) { std::fwrite(data, 1, len, stdout); }

void pf_stderr(const char* data, std::size_t len) {
    std::fflush(stdout);
    std::fwrite(data, 1, len, stderr);
}
