// Text-mode files over the C library's binary streams, read and written in
// large blocks. See textfile.h for the contract.
#include "platform/textfile.h"

#include <atomic>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
// A run has at most four files open at once (two when it is not shared
// between threads); tests may hold a few more.
constexpr int kSlots = 6;

// What a held writer (pf_open_held) keeps besides its block: the memory its
// blocks wait in, and the owner's word on them.
struct Hold {
    TextFile* owner = nullptr;  // a failed write is the owner's failure too
    char* area = nullptr;
    std::size_t cap = 0;
    std::size_t used = 0;
    bool holding = false;  // blocks still go to the area
    int verdict = 0;       // 0 none yet, 1 write them, -1 drop them
    std::mutex lock;
    std::condition_variable told;
};

}  // namespace

struct TextFile {
    std::FILE* fp = nullptr;
    bool writing = false;
    bool eof = false;      // a read found no more data
    bool rawEnd = false;   // the underlying stream is exhausted
    bool failed = false;   // a read or write failed
    // Reading: buf[pos, end) holds bytes as they are on disk; a CR LF pair is
    // taken as one newline when a line is delivered or counted.
    // Writing: buf[0, end) waits to be written.
    std::size_t pos = 0;
    std::size_t end = 0;
    std::uint64_t start = 0;  // reading: the file offset of buf[0]
    char lastByte = 0;  // the byte before buf[pos] (pf_count_pieces)
    Hold* hold = nullptr;  // a held writer's memory (pf_open_held)
    std::atomic<bool> cut{false};  // reading: no more blocks (pf_cut_reads)
    bool spilled = false;  // the line being assembled lies in `spill`
    char buf[kBlock];
    char spill[kLineRoomMax];  // a line that does not fit in the block's rest
};

PfFaults pf_faults;

namespace {

TextFile slots[kSlots];

// Counts a call of `op` and tells whether it is the one to fail. Two
// threads may count at once.
bool injected(PfOp op) {
    long n = std::atomic_ref<long>(pf_faults.calls[op]).fetch_add(1) + 1;
    if (pf_faults.op == op && pf_faults.nth == n) {
        errno = pf_faults.err;
        return true;
    }
    return false;
}

// Moves the unread bytes to the front and reads more behind them. Returns
// false when nothing could be added.
bool refill(TextFile* f) {
    if (f->rawEnd || f->cut.load(std::memory_order_relaxed)) return false;
    std::size_t keep = f->end - f->pos;
    if (f->pos > 0) f->lastByte = f->buf[f->pos - 1];
    std::memmove(f->buf, f->buf + f->pos, keep);
    f->start += f->pos;
    f->pos = 0;
    f->end = keep;
    std::size_t got = 0;
    if (injected(PF_READ)) {
        f->failed = true;
    } else {
        got = std::fread(f->buf + keep, 1, kBlock - keep, f->fp);
        if (got < kBlock - keep && std::ferror(f->fp)) f->failed = true;
    }
    if (got == 0) f->rawEnd = true;
    f->end += got;
    return got > 0;
}

// Makes at least `need` unread bytes ready, or all that are left.
std::size_t ensure(TextFile* f, std::size_t need) {
    while (f->end - f->pos < need && refill(f)) {
    }
    return f->end - f->pos;
}

// Whether the newline at buf[i] ends a CR LF pair.
bool crBefore(const TextFile* f, std::size_t i) {
    if (!kTranslate) return false;
    return (i > 0 ? f->buf[i - 1] : f->lastByte) == '\r';
}

void writeOut(TextFile* f, const char* data, std::size_t len) {
    if (len == 0) return;
    if (injected(PF_WRITE) || std::fwrite(data, 1, len, f->fp) != len) f->failed = true;
}

// Waits for the owner's word on a held writer's blocks and acts on it: the
// area is written (or dropped), and later blocks go straight to the file
// (or nowhere).
void settleHold(TextFile* f) {
    Hold& h = *f->hold;
    std::unique_lock<std::mutex> held(h.lock);
    h.told.wait(held, [&h] { return h.verdict != 0; });
    h.holding = false;
    if (h.verdict > 0) writeOut(f, h.area, h.used);
    h.used = 0;
}

void flush(TextFile* f) {
    if (f->end == 0) return;
    if (f->hold && f->hold->holding) {
        Hold& h = *f->hold;
        if (h.cap - h.used >= f->end) {
            std::memcpy(h.area + h.used, f->buf, f->end);
            h.used += f->end;
            f->end = 0;
            return;
        }
        settleHold(f);  // the area is full: wait for the owner
    }
    if (!f->hold || f->hold->verdict > 0) writeOut(f, f->buf, f->end);
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
    f->pos = f->end = 0;
    f->start = 0;
    f->lastByte = 0;
    f->hold = nullptr;
    f->cut = false;
    return f;
}

namespace {

// Finds the first newline in src[0, avail) and copies the bytes on the way
// to dst, which holds `room` bytes: 16 at a time while a whole chunk fits in
// both, so that a short line costs one pass and no calls. Returns the
// newline's index (avail if there is none); `copied` tells how many leading
// bytes dst holds (possibly more than the line).
std::size_t findNewlineCopying(const char* src, std::size_t avail, char* dst, std::size_t room,
                               std::size_t& copied) {
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i newline = _mm_set1_epi8('\n');
    while (i + 16 <= avail && i + 16 <= room) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), bytes);
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
        if (hits != 0) {
            copied = i + 16;
            return i + static_cast<std::size_t>(std::countr_zero(hits));
        }
        i += 16;
    }
#else
    (void)dst;
    (void)room;
#endif
    copied = i;
    auto* nl = static_cast<const char*>(std::memchr(src + i, '\n', avail - i));
    return nl ? static_cast<std::size_t>(nl - src) : avail;
}

// Copies src[from, to) to dst unless dst holds it already.
void copyRest(char* dst, const char* src, std::size_t from, std::size_t to) {
    if (to > from) std::memcpy(dst + from, src + from, to - from);
}

// pf_gets for the common line: the buffer holds more than a piece ahead,
// and the newline comes within the first 240 bytes, not first. The line is
// found and copied 16 bytes at a time (bytes after the terminator in its
// last block are the next line's). Returns the piece's length, or 0 when
// the general path must take it.
[[gnu::always_inline]] inline std::size_t getsShortLine(TextFile* f, char* buf, std::size_t want) {
#ifdef __SSE2__
    if (f->end - f->pos <= want + 1) return 0;
    const char* src = f->buf + f->pos;
    const __m128i newline = _mm_set1_epi8('\n');
    for (std::size_t i = 0; i + 16 <= want; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(buf + i), bytes);
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
        if (hits == 0) continue;
        std::size_t at = i + static_cast<std::size_t>(std::countr_zero(hits));
        if (at == 0) return 0;  // the byte before it may be in an earlier block
        std::size_t line = kTranslate && src[at - 1] == '\r' ? at : at + 1;  // after translation
        buf[line - 1] = '\n';
        buf[line] = '\0';
        f->pos += at + 1;
        return line;
    }
#else
    (void)f;
    (void)buf;
    (void)want;
#endif
    return 0;
}

}  // namespace

std::size_t pf_gets(TextFile* f, char* buf, std::size_t size) {
    std::size_t want = size - 1;
    if (std::size_t line = getsShortLine(f, buf, want)) return line;
    // One byte more than a piece holds: a CR LF pair there is one newline.
    std::size_t avail = ensure(f, want + 1);
    if (avail > want + 1) avail = want + 1;
    const char* src = f->buf + f->pos;
    std::size_t copied = 0;
    std::size_t at = findNewlineCopying(src, avail, buf, want, copied);
    std::size_t n;
    if (at < avail) {
        bool pair = crBefore(f, f->pos + at);
        std::size_t line = pair ? at : at + 1;  // after translation
        if (line <= want) {
            std::size_t body = pair ? at - 1 : at;
            copyRest(buf, src, copied, body);
            buf[body] = '\n';
            f->pos += at + 1;
            buf[line] = '\0';
            return line;
        }
        n = want;
    } else {
        n = avail < want ? avail : want;
    }
    copyRest(buf, src, copied, n);
    f->pos += n;
    buf[n] = '\0';
    if (n == 0) f->eof = true;
    return n;
}

namespace {

constexpr std::ptrdiff_t kWindow = 64;

// The number of newlines in the kWindow bytes at p.
#ifdef __SSE2__
unsigned newlinesIn(const char* p) {
    const __m128i newline = _mm_set1_epi8('\n');
    __m128i hits = _mm_setzero_si128();
    for (std::ptrdiff_t i = 0; i < kWindow; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        hits = _mm_sub_epi8(hits, _mm_cmpeq_epi8(bytes, newline));  // a match is -1
    }
    __m128i sums = _mm_sad_epu8(hits, _mm_setzero_si128());  // two 64-bit lane sums
    return static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
}
#else
unsigned newlinesIn(const char* p) {
    unsigned n = 0;
    for (std::ptrdiff_t i = 0; i < kWindow; ++i) n += p[i] == '\n';
    return n;
}
#endif

// From a line start p, counts whole windows that each hold a newline. Lines
// that end in such a run are at most 2 * kWindow bytes long, one piece each
// for any piece width from 2 * kWindow bytes up, so the newlines are the
// pieces. Returns the byte after the run's last newline (p if no window
// qualifies) and adds the lines to `count`.
const char* countShortLines(const char* p, const char* stop, unsigned long long& count) {
    const char* run = p;
    unsigned long long lines = 0;
    while (stop - run >= kWindow) {
        unsigned n = newlinesIn(run);
        if (n == 0) break;
        lines += n;
        run += kWindow;
    }
    if (run == p) return p;
    while (run[-1] != '\n') --run;
    count += lines;
    return run;
}

}  // namespace

unsigned pf_count_pieces(TextFile* f, std::size_t size, unsigned limit) {
    const unsigned long long width = size - 1;
    unsigned long long count = 0;
    unsigned long long line = 0;  // bytes of the current line so far, after translation
    while (count <= limit && ensure(f, 1) > 0) {
        const char* base = f->buf;
        const char* p = base + f->pos;
        const char* stop = base + f->end;
        while (p < stop && count <= limit) {
            if (line == 0 && width >= 2 * kWindow) p = countShortLines(p, stop, count);
            auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(stop - p)));
            if (!nl) {
                line += static_cast<unsigned long long>(stop - p);
                p = stop;
                break;
            }
            line += static_cast<unsigned long long>(nl - p) + 1;
            if (crBefore(f, static_cast<std::size_t>(nl - base))) --line;
            count += (line + width - 1) / width;
            line = 0;
            p = nl + 1;
        }
        f->pos = static_cast<std::size_t>(p - base);
    }
    if (count <= limit) count += (line + width - 1) / width;
    return count > limit ? limit + 1 : static_cast<unsigned>(count);
}

namespace {

// How far ahead a skipped line's end is looked for: a line whose newline
// comes later may be more than one piece, and is left to pf_gets.
constexpr std::size_t kSkipReach = 254;

// The index of the first newline in p[0, kSkipReach), or kSkipReach. p has
// kSkipReach + 2 readable bytes.
std::size_t newlineWithinReach(const char* p) {
#ifdef __SSE2__
    const __m128i newline = _mm_set1_epi8('\n');
    for (std::size_t i = 0; i < kSkipReach; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
        if (hits != 0) {
            std::size_t at = i + static_cast<std::size_t>(std::countr_zero(hits));
            return at < kSkipReach ? at : kSkipReach;
        }
    }
    return kSkipReach;
#else
    auto* nl = static_cast<const char*>(std::memchr(p, '\n', kSkipReach));
    return nl ? static_cast<std::size_t>(nl - p) : kSkipReach;
#endif
}

}  // namespace

unsigned pf_skip_lines(TextFile* f, const char (&wanted)[256], std::uint64_t until) {
    unsigned lines = 0;
    for (;;) {
        if (f->end - f->pos < kSkipReach + 2 && ensure(f, kSkipReach + 2) < kSkipReach + 2) break;
        if (f->start + f->pos >= until) break;
        const char* p = f->buf + f->pos;
        char need = wanted[static_cast<unsigned char>(p[0])];
        if (need == 1 || (need != 0 && p[1] == need)) break;
        std::size_t at = newlineWithinReach(p);
        if (at == kSkipReach) break;  // maybe more than one piece
        f->pos += at + 1;
        ++lines;
    }
    return lines;
}

bool pf_eof(const TextFile* f) { return f->eof; }

bool pf_failed(const TextFile* f) { return f->failed; }

namespace {

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

void pf_write(TextFile* f, const char* data, std::size_t len) {
    if (!kTranslate) {
        append(f, data, len);
        return;
    }
    while (len > 0) {
        auto* nl = static_cast<const char*>(std::memchr(data, '\n', len));
        std::size_t seg = nl ? static_cast<std::size_t>(nl - data) : len;
        append(f, data, seg);
        data += seg;
        len -= seg;
        if (nl) {
            append(f, "\r\n", 2);
            ++data;
            --len;
        }
    }
}

namespace {

constexpr const char* kLineEnd = kTranslate ? "\r\n" : "\n";
constexpr std::size_t kLineEndLen = kTranslate ? 2 : 1;

}  // namespace

char* pf_line_room(TextFile* f, std::size_t room) {
    f->spilled = kBlock - f->end < room + kLineEndLen;
    return f->spilled ? f->spill : f->buf + f->end;
}

void pf_line_done(TextFile* f, std::size_t len) {
    if (f->spilled) {
        // Appended as any write is, so that the blocks break where they would.
        append(f, f->spill, len);
        append(f, kLineEnd, kLineEndLen);
        return;
    }
    std::memcpy(f->buf + f->end + len, kLineEnd, kLineEndLen);
    f->end += len + kLineEndLen;
}

std::uint64_t pf_offset(const TextFile* f) { return f->start + f->pos; }

bool pf_rewind_to(TextFile* f, std::uint64_t offset) {
    if (offset < f->start || offset > f->start + f->end) return false;
    f->pos = static_cast<std::size_t>(offset - f->start);
    f->eof = false;
    return true;
}

void pf_cut_reads(TextFile* f) { f->cut.store(true, std::memory_order_relaxed); }

void pf_flush(TextFile* f) {
    if (f->writing) flush(f);
}

namespace {

Hold theHold;

}  // namespace

TextFile* pf_open_held(TextFile* owner, char* area, std::size_t cap) {
    TextFile* f = nullptr;
    for (auto& s : slots) {
        if (!s.fp) {
            f = &s;
            break;
        }
    }
    if (!f || !owner->writing || theHold.area) return nullptr;
    theHold.owner = owner;
    theHold.area = area;
    theHold.cap = cap;
    theHold.used = 0;
    theHold.holding = true;
    theHold.verdict = 0;
    f->fp = owner->fp;
    f->writing = true;
    f->eof = f->rawEnd = f->failed = false;
    f->pos = f->end = 0;
    f->start = 0;
    f->lastByte = 0;
    f->hold = &theHold;
    return f;
}

void pf_release_held(TextFile* f, bool keep) {
    Hold& h = *f->hold;
    {
        std::lock_guard<std::mutex> held(h.lock);
        h.verdict = keep ? 1 : -1;
    }
    h.told.notify_one();
}

int pf_close_held(TextFile* f) {
    flush(f);
    if (f->hold->holding) settleHold(f);
    bool failed = f->failed && f->hold->verdict > 0;
    if (failed) f->hold->owner->failed = true;
    f->hold->area = nullptr;
    f->hold = nullptr;
    f->fp = nullptr;
    return failed ? -1 : 0;
}

long long pf_file_size(const char* name) {
    std::error_code ec;
    auto size = std::filesystem::file_size(name, ec);
    return ec ? -1 : static_cast<long long>(size);
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
