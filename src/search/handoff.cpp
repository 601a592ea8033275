// The search thread and the ring of entries that feeds it.
//
// The reader (the producer) writes entries behind its position and
// publishes the position every few kilobytes; the search thread (the
// consumer) takes every published entry and gives the bytes back as often.
// Both positions are atomic: their release and acquire order the entries
// themselves. A side with nothing to do waits a little, then sleeps until
// the other side wakes it. The ring has a fixed size, so memory does not
// grow with the file.
#include "search/handoff.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "driver/driver.h"
#include "platform/textfile.h"
#include "records/record.h"

namespace {

// The ring holds entries of varying size, each a header and its bytes, at
// offsets that are multiples of 8. An entry never wraps: where the next one
// might not fit before the ring's end, a wrap entry sends the reader of
// the ring back to its start.
enum class Kind : std::uint8_t { kText, kLine, kWrap, kEnd };

struct Header {
    Kind kind;
    std::uint16_t len;  // bytes after the header (kText: after the record)
};

constexpr std::size_t kRingSize = std::size_t{1} << 18;
constexpr std::size_t kAlign = 8;
constexpr std::size_t kEntryMax = sizeof(Header) + sizeof(TextRecord) + Reader::kTextFieldMax + 1 + kAlign;
// Positions are handed over in steps of this many bytes, a few hundred
// entries: the threads seldom touch the same cache lines, and a side that
// sleeps is woken once a step, not once an entry.
constexpr std::size_t kStep = std::size_t{1} << 14;
// How long a side with nothing to do watches the other's position before
// it sleeps: about what a short step takes, far less than a run.
constexpr auto kWatch = std::chrono::microseconds(20);

// Tells the processor that this is a wait loop.
void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

std::size_t aligned(std::size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// A position one side moves and the other side waits on.
struct alignas(64) Signal {
    std::atomic<std::size_t> value{0};
    std::atomic<bool> sleeping{false};
    std::mutex lock;
    std::condition_variable woken;

    void set(std::size_t v) {
        value.store(v);
        if (sleeping.load()) {
            { std::lock_guard<std::mutex> hold(lock); }
            woken.notify_one();
        }
    }

    // Waits until the value differs from `old`; returns it.
    std::size_t waitOtherThan(std::size_t old) {
        auto until = std::chrono::steady_clock::now() + kWatch;
        do {
            for (int i = 0; i < 64; ++i) {
                std::size_t v = value.load(std::memory_order_acquire);
                if (v != old) return v;
                relax();
            }
        } while (std::chrono::steady_clock::now() < until);
        std::unique_lock<std::mutex> hold(lock);
        sleeping.store(true);
        std::size_t v;
        while ((v = value.load()) == old) woken.wait(hold);
        sleeping.store(false);
        return v;
    }
};

// Positions count bytes since the start; the offset in the ring is the
// position modulo kRingSize.
struct Ring {
    alignas(64) char bytes[kRingSize];
    Signal published;  // bytes the consumer may take
    Signal given;      // bytes the consumer is done with
    // The producer's own.
    alignas(64) std::size_t written = 0;
    std::size_t shown = 0;     // written as last published
    std::size_t limit = 0;     // written may grow up to here without waiting
    std::thread thread;
    bool running = false;
};
Ring ring;

void publish() {
    ring.shown = ring.written;
    ring.published.set(ring.written);
}

// reserve() where the entry may not fit before the ring's end or in the
// room known to be free: a wrap entry first where needed, then a wait for
// room where needed.
[[gnu::noinline]] void makeRoom(std::size_t size) {
    std::size_t offset = ring.written % kRingSize;
    if (offset + kEntryMax > kRingSize) {
        Header wrap{Kind::kWrap, 0};
        std::memcpy(ring.bytes + offset, &wrap, sizeof wrap);
        ring.written += kRingSize - offset;
    }
    while (ring.written + size > ring.limit) {
        publish();  // what is written must be seen before this side waits
        std::size_t given = ring.given.value.load(std::memory_order_acquire);
        if (ring.written + size > given + kRingSize) given = ring.given.waitOtherThan(given);
        ring.limit = given + kRingSize;
    }
}

// Room for an entry of `size` bytes (at most kEntryMax) at the write
// position.
char* reserve(std::size_t size) {
    std::size_t offset = ring.written % kRingSize;
    if (offset + kEntryMax > kRingSize || ring.written + kEntryMax > ring.limit) makeRoom(size);
    return ring.bytes + ring.written % kRingSize;
}

void commit(std::size_t size) {
    ring.written += aligned(size);
    if (ring.written - ring.shown >= kStep) publish();
}

// Searches or writes one entry. Returns the bytes it takes in the ring, or
// 0 at the end entry.
std::size_t consume(std::size_t position) {
    const char* at = ring.bytes + position % kRingSize;
    Header h;
    std::memcpy(&h, at, sizeof h);
    switch (h.kind) {
    case Kind::kText: {
        TextRecord rec;
        std::memcpy(&rec, at + sizeof h, sizeof rec);
        std::memcpy(srch.ChSTR, at + sizeof h + sizeof rec, h.len);
        srch.ChSTR[h.len] = '\0';
        search_record(rec);
        return aligned(sizeof h + sizeof rec + h.len);
    }
    case Kind::kLine: pf_write(fpw, at + sizeof h, h.len); return aligned(sizeof h + h.len);
    case Kind::kWrap: return kRingSize - position % kRingSize;
    case Kind::kEnd: pf_flush(fpw); break;
    }
    return 0;
}

void searchThread() {
    std::size_t taken = 0, shown = 0;
    for (;;) {
        if (taken - shown >= kStep) {
            shown = taken;
            ring.given.set(taken);
        }
        std::size_t upTo = ring.published.value.load(std::memory_order_acquire);
        if (upTo == taken) {
            ring.given.set(taken);  // what is done must be seen before this side waits
            shown = taken;
            upTo = ring.published.waitOtherThan(taken);
        }
        while (taken != upTo) {
            std::size_t size = consume(taken);
            if (size == 0) return;
            taken += size;
        }
    }
}

}  // namespace

void handoff_start() {
    ring.published.value = 0;
    ring.given.value = 0;
    ring.written = ring.shown = 0;
    ring.limit = kRingSize;
    try {
        ring.thread = std::thread(searchThread);
        ring.running = true;
        work_sink = handoff_line;
    } catch (const std::system_error&) {
        ring.running = false;  // the caller's thread searches
    }
}

bool handoff_running() { return ring.running; }

void handoff_text(const TextRecord& rec, const char* field) {
    if (!ring.running) {
        take_text(field);
        search_record(rec);
        return;
    }
    std::size_t n = text_length(field);
    std::size_t size = sizeof(Header) + sizeof rec + n;
    char* at = reserve(size);
    Header h{Kind::kText, static_cast<std::uint16_t>(n)};
    std::memcpy(at, &h, sizeof h);
    std::memcpy(at + sizeof h, &rec, sizeof rec);
    std::memcpy(at + sizeof h + sizeof rec, field, n);
    commit(size);
}

void handoff_line(const char* data, std::size_t len) {
    if (!ring.running) {
        pf_write(fpw, data, len);
        return;
    }
    constexpr std::size_t kPart = Reader::kTextFieldMax;  // a part fits in an entry
    while (len > 0) {
        std::size_t part = len < kPart ? len : kPart;
        std::size_t size = sizeof(Header) + part;
        char* at = reserve(size);
        Header h{Kind::kLine, static_cast<std::uint16_t>(part)};
        std::memcpy(at, &h, sizeof h);
        std::memcpy(at + sizeof h, data, part);
        commit(size);
        data += part;
        len -= part;
    }
}

void handoff_wait() {
    if (!ring.running) return;
    publish();
    std::size_t given = ring.given.value.load(std::memory_order_acquire);
    while (given != ring.written) given = ring.given.waitOtherThan(given);
}

void handoff_finish() {
    if (!ring.running) return;
    char* at = reserve(sizeof(Header));
    Header h{Kind::kEnd, 0};
    std::memcpy(at, &h, sizeof h);
    commit(sizeof h);
    publish();
    ring.thread.join();
    ring.running = false;
    work_sink = nullptr;
}
