#include "platform/textfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/fixture.h"

namespace {

class TextFileTest : public TempDirTest {};

// Reads every piece with the given buffer size.
std::string readPieces(const std::string& disk, std::size_t size, char sep = '|') {
    write_file("f.txt", disk);
    TextFile* f = pf_open("f.txt", "r");
    std::string out;
    char buf[1024];
    while (std::size_t n = pf_gets(f, buf, size)) {
        out.append(buf, n);
        out += sep;
    }
    pf_close(f);
    return out;
}

TEST_F(TextFileTest, ReadTranslatesCrLfOnly) {
    struct Case {
        std::string disk, pieces;
    } cases[] = {
        {"", ""},
        {"a\r\nb\r\n", "a\n|b\n|"},
        {"a\nb", "a\n|b|"},
        {"a\rb\r\n", "a\rb\n|"},
        {"a\r\r\n", "a\r\n|"},
        {"end\r", "end\r|"},
        {std::string("n\0ul\r\n", 6), std::string("n\0ul\n|", 6)},
    };
    for (const Case& c : cases) EXPECT_EQ(readPieces(c.disk, 255), c.pieces) << c.disk;
}

TEST_F(TextFileTest, LongLineComesInPiecesOf254) {
    std::string line(600, 'x');
    std::string got = readPieces(line + "\r\n", 255);
    EXPECT_EQ(got, std::string(254, 'x') + "|" + std::string(254, 'x') + "|" + std::string(92, 'x') + "\n|");
}

TEST_F(TextFileTest, CrLfSplitAcrossBlocksIsOneNewline) {
    // The CR is the last byte of the first 64 KiB block.
    std::string disk(65535, 'a');
    disk += "\r\nb\r\n";
    write_file("f.txt", disk);
    TextFile* f = pf_open("f.txt", "r");
    std::string all;
    char buf[255];
    while (std::size_t n = pf_gets(f, buf, sizeof buf)) all.append(buf, n);
    pf_close(f);
    EXPECT_EQ(all, std::string(65535, 'a') + "\nb\n");
}

TEST_F(TextFileTest, CountPiecesMatchesPieceReads) {
    const std::string samples[] = {
        "", "a", "a\r\n", "a\r\nb", std::string(253, 'x') + "\r\n", std::string(254, 'x') + "\r\n",
        std::string(600, 'y') + "\r\nz\r\n", std::string(508, 'q'), "\r\n\r\n\r\n",
    };
    for (const std::string& s : samples) {
        std::string pieces = readPieces(s, 255, '\x01');
        unsigned expected = 0;
        for (char c : pieces) expected += c == '\x01';
        write_file("c.txt", s);
        TextFile* f = pf_open("c.txt", "r");
        EXPECT_EQ(pf_count_pieces(f, 255, 150000), expected) << s.size();
        pf_close(f);
    }
}

// Several blocks of lines of every length class: runs of short lines (the
// count takes them 64 bytes at a time), lines just under, at and over the
// piece width, long lines, LF and CR LF ends, lone CRs, a CR LF pair split
// by a block boundary, no line end at the end.
std::string mixedLines(unsigned seed) {
    std::string disk;
    unsigned state = seed;
    auto next = [&state](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    };
    const std::size_t lengths[] = {0, 1, 30, 63, 64, 65, 127, 128, 129, 252, 253, 254, 255, 600};
    while (disk.size() < 200000) {
        std::size_t len = next(4) != 0 ? next(40) : lengths[next(14)];
        for (std::size_t i = 0; i < len; ++i) disk += next(50) == 0 ? '\r' : static_cast<char>('a' + next(26));
        disk += next(2) != 0 ? "\r\n" : "\n";
    }
    disk.resize(disk.size() - 1 - next(3));
    return disk;
}

TEST_F(TextFileTest, CountPiecesMatchesPieceReadsOverManyBlocks) {
    for (unsigned seed : {1u, 2u, 3u}) {
        std::string disk = mixedLines(seed);
        std::string pieces = readPieces(disk, 255, '\x01');
        unsigned expected = 0;
        for (char c : pieces) expected += c == '\x01';
        write_file("c.txt", disk);
        TextFile* f = pf_open("c.txt", "r");
        EXPECT_EQ(pf_count_pieces(f, 255, 150000), expected) << seed;
        pf_close(f);
    }
}

// The pieces a line read with a buffer of `size` bytes gives, from the text
// after translation: at most size-1 bytes, ending after a newline.
std::string modelPieces(const std::string& disk, std::size_t size, char sep) {
    std::string text;
    for (std::size_t i = 0; i < disk.size(); ++i) {
        if (!(disk[i] == '\r' && i + 1 < disk.size() && disk[i + 1] == '\n')) text += disk[i];
    }
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t n = 0;
        while (i + n < text.size() && n < size - 1 && (n == 0 || text[i + n - 1] != '\n')) ++n;
        out.append(text, i, n);
        out += sep;
        i += n;
    }
    return out;
}

TEST_F(TextFileTest, PieceReadsOverManyBlocksMatchTheModel) {
    for (unsigned seed : {1u, 2u, 3u}) {
        std::string disk = mixedLines(seed);
        for (std::size_t size : {255u, 40u, 17u, 16u, 2u}) {
            EXPECT_EQ(readPieces(disk, size, '\x01'), modelPieces(disk, size, '\x01')) << seed << " " << size;
        }
    }
}

TEST_F(TextFileTest, CountStopsOneOverTheLimit) {
    struct Case {
        std::string disk;
        unsigned limit;
    } cases[] = {
        {"a\nb\nc\nd\ne\n", 3},
        {[] {
             std::string many;
             for (int i = 0; i < 5000; ++i) many += "line\r\n";
             return many;
         }(),
         1000},
    };
    for (const Case& c : cases) {
        write_file("c.txt", c.disk);
        TextFile* f = pf_open("c.txt", "r");
        EXPECT_EQ(pf_count_pieces(f, 255, c.limit), c.limit + 1);
        pf_close(f);
    }
}

TEST_F(TextFileTest, WriteTurnsNewlinesIntoCrLf) {
    TextFile* f = pf_open("w.txt", "w");
    pf_write(f, "a\nb\rc\n\n", 7);
    EXPECT_EQ(pf_close(f), 0);
    EXPECT_EQ(read_file("w.txt"), "a\r\nb\rc\r\n\r\n");
}

// A line assembled in place gives the same bytes as the line written with
// its newline, also where the room asked for or the line end does not fit
// in the rest of the block.
TEST_F(TextFileTest, LineInPlaceEqualsWriteWithNewline) {
    struct Case {
        std::size_t before;  // bytes written ahead of the lines
        std::size_t length;
    };
    const Case cases[] = {{0, 0},     {0, 10},    {65520, 10}, {65524, 10}, {65525, 10},
                          {65526, 10}, {65535, 0}, {65536, 5},  {1000, 4096}, {63000, 4096}};
    for (const Case& c : cases) {
        std::string head(c.before, 'h');
        std::string line(c.length, 'x');
        TextFile* a = pf_open("a.txt", "w");
        TextFile* b = pf_open("b.txt", "w");
        pf_write(a, head.data(), head.size());
        pf_write(b, head.data(), head.size());
        for (int i = 0; i < 3; ++i) {
            char* room = pf_line_room(a, c.length);
            std::memcpy(room, line.data(), line.size());
            pf_line_done(a, line.size());
            std::string whole = line + "\n";
            pf_write(b, whole.data(), whole.size());
        }
        EXPECT_EQ(pf_close(a), 0);
        EXPECT_EQ(pf_close(b), 0);
        EXPECT_EQ(read_file("a.txt"), read_file("b.txt")) << c.before << " " << c.length;
        EXPECT_EQ(read_file("a.txt").size(), c.before + 3 * (c.length + 2)) << c.before << " " << c.length;
    }
}

// The blocks break where they would for the same bytes written in one go:
// a line that does not fit in the block's rest gives no extra write.
TEST_F(TextFileTest, LineInPlaceKeepsTheWriteCount) {
    TextFile* f = pf_open("a.txt", "w");
    std::string head(65530, 'h');
    pf_write(f, head.data(), head.size());
    long before = pf_faults.calls[PF_WRITE];
    char* room = pf_line_room(f, 100);
    std::memcpy(room, "0123456789", 10);
    pf_line_done(f, 10);
    EXPECT_EQ(pf_faults.calls[PF_WRITE], before + 1);  // the full block, nothing else yet
    EXPECT_EQ(pf_close(f), 0);
    EXPECT_EQ(pf_faults.calls[PF_WRITE], before + 2);
    EXPECT_EQ(read_file("a.txt"), head + "0123456789\r\n");
}

TEST_F(TextFileTest, LargeWriteCrossesBlocks) {
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i) + "\n";
    TextFile* f = pf_open("w.txt", "w");
    pf_write(f, text.data(), text.size());
    EXPECT_EQ(pf_close(f), 0);
    std::string expected;
    for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(read_file("w.txt"), expected);
}

TEST_F(TextFileTest, InjectedFaultsAreReported) {
    pf_faults.op = PF_OPEN;
    pf_faults.nth = 2;
    pf_faults.err = EACCES;
    TextFile* first = pf_open("a.txt", "w");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pf_open("b.txt", "w"), nullptr);
    EXPECT_EQ(errno, EACCES);
    pf_close(first);

    pf_faults = PfFaults{};
    pf_faults.op = PF_WRITE;
    pf_faults.nth = 1;
    pf_faults.err = ENOSPC;
    TextFile* f = pf_open("c.txt", "w");
    pf_write(f, "x\n", 2);
    EXPECT_EQ(pf_close(f), -1);

    pf_faults = PfFaults{};
    pf_faults.op = PF_CLOSE;
    pf_faults.nth = 1;
    f = pf_open("d.txt", "w");
    EXPECT_EQ(pf_close(f), -1);

    pf_faults = PfFaults{};
    pf_faults.op = PF_READ;
    pf_faults.nth = 1;
    write_file("e.txt", "abc\n");
    f = pf_open("e.txt", "r");
    char buf[16];
    EXPECT_EQ(pf_gets(f, buf, sizeof buf), 0u);
    EXPECT_TRUE(pf_failed(f));
    pf_close(f);

    pf_faults = PfFaults{};
    pf_faults.op = PF_RENAME;
    pf_faults.nth = 1;
    EXPECT_EQ(pf_rename("e.txt", "g.txt"), -1);
    EXPECT_TRUE(std::filesystem::exists("e.txt"));
}

TEST_F(TextFileTest, RenameReplacesTheTarget) {
    write_file("from.txt", "new");
    write_file("to.txt", "old");
    EXPECT_EQ(pf_rename("from.txt", "to.txt"), 0);
    EXPECT_EQ(read_file("to.txt"), "new");
    EXPECT_FALSE(std::filesystem::exists("from.txt"));
    EXPECT_EQ(pf_rename("missing.txt", "x.txt"), -1);
}

// ---------------------------------------------------------------------------
// Reading positions, line skipping and the held writer of a second thread.

// A random file of lines: short and long, CR LF, LF and lone CR, NUL bytes,
// empty lines, and sometimes no line end at the very end.
std::string randomLines(std::mt19937& rng, int lines) {
    const char firsts[] = {'c', 'h', 'l', 'p', ' ', '#', 'b', '\0', 'n', 'x'};
    std::string disk;
    for (int i = 0; i < lines; ++i) {
        // Short lines, lines about as long as a 64-byte window, long ones.
        std::size_t length = rng() % 8 == 0   ? 200 + rng() % 400
                             : rng() % 4 == 0 ? 55 + rng() % 20
                             : rng() % 6 == 0 ? 0
                                              : rng() % 60;
        std::string line;
        for (std::size_t k = 0; k < length; ++k) {
            line += k < 2 ? firsts[rng() % sizeof firsts] : static_cast<char>(rng() % 16 == 0 ? '\r' : 'a' + rng() % 26);
        }
        disk += line;
        if (i + 1 < lines || rng() % 2 == 0) disk += rng() % 3 == 0 ? "\n" : "\r\n";
    }
    return disk;
}

// Lines needed: those that start "cn", "pn" or with 'h'.
struct Needed {
    char wanted[256] = {};
    Needed() {
        wanted[static_cast<unsigned char>('c')] = 'n';
        wanted[static_cast<unsigned char>('h')] = 1;
        wanted[static_cast<unsigned char>('p')] = 'n';
    }
};
const Needed needed;
const char (&kNeeded)[256] = needed.wanted;

bool isNeededLine(const char* line) {
    char need = kNeeded[static_cast<unsigned char>(line[0])];
    return need == 1 || (need != 0 && line[1] == need);
}

TEST_F(TextFileTest, SkippedLinesAreWholeUnneededOnePieceLines) {
    std::mt19937 rng(11);
    for (int round = 0; round < 400 && !HasFailure(); ++round) {
        std::string disk = randomLines(rng, 1 + static_cast<int>(rng() % 400));
        write_file("r.txt", disk);
        // The pieces of every line by pf_gets, with the offsets of line
        // starts and whether each line is needed.
        std::vector<std::uint64_t> starts;
        std::vector<bool> neededAt;
        unsigned pieces = 0;
        std::uint64_t end = 0;
        {
            TextFile* f = pf_open("r.txt", "r");
            char buf[256];
            bool atStart = true;
            while (true) {
                std::uint64_t at = pf_offset(f);
                std::size_t n = pf_gets(f, buf, 255);
                if (n == 0) break;
                if (atStart) {
                    starts.push_back(at);
                    neededAt.push_back(isNeededLine(buf));
                }
                ++pieces;
                atStart = buf[n - 1] == '\n';
            }
            end = pf_offset(f);
            pf_close(f);
        }
        // The same walk, passing over lines where pf_skip_lines may.
        TextFile* f = pf_open("r.txt", "r");
        char buf[256];
        unsigned counted = 0;
        // No bound, a bound anywhere, or a bound right at a line start.
        std::uint64_t until = rng() % 3 == 0 ? UINT64_MAX
                              : rng() % 2 == 0 || starts.empty() ? rng() % (end + 1)
                                                                 : starts[rng() % starts.size()];
        bool atStart = true;
        while (true) {
            if (atStart) {
                std::uint64_t from = pf_offset(f);
                unsigned skipped = pf_skip_lines(f, kNeeded, until);
                counted += skipped;
                // Each line passed over started a line, was not needed and
                // lay before `until`; the walk stops at a line start.
                std::size_t i = std::lower_bound(starts.begin(), starts.end(), from) - starts.begin();
                ASSERT_TRUE(skipped == 0 || (i < starts.size() && starts[i] == from)) << round;
                for (unsigned k = 0; k < skipped; ++k) {
                    ASSERT_FALSE(neededAt[i + k]) << round << " line at " << starts[i + k];
                    ASSERT_LT(starts[i + k], until) << round;
                }
                ASSERT_TRUE(pf_offset(f) == end || std::binary_search(starts.begin(), starts.end(), pf_offset(f)))
                    << round;
            }
            std::size_t n = pf_gets(f, buf, 255);
            if (n == 0) break;
            ++counted;
            atStart = buf[n - 1] == '\n';
        }
        pf_close(f);
        EXPECT_EQ(counted, pieces) << round;
    }
}

TEST_F(TextFileTest, ReadOffsetCountsBytesOnDiskAndRewinds) {
#ifdef _WIN32
    constexpr std::uint64_t kCrLf = 1;  // the C runtime's text mode delivers one byte
#else
    constexpr std::uint64_t kCrLf = 2;  // on disk
#endif
    std::string disk = "ab\r\ncd\nlong" + std::string(300, 'x') + "\r\nz";
    write_file("o.txt", disk);
    TextFile* f = pf_open("o.txt", "r");
    char buf[256];
    EXPECT_EQ(pf_offset(f), 0u);
    pf_gets(f, buf, 255);
    EXPECT_EQ(pf_offset(f), 2 + kCrLf);
    std::uint64_t second = pf_offset(f);
    ASSERT_EQ(pf_gets(f, buf, 255), 3u);
    EXPECT_EQ(pf_offset(f), 5 + kCrLf);
    EXPECT_TRUE(pf_rewind_to(f, second));
    ASSERT_EQ(pf_gets(f, buf, 255), 3u);
    EXPECT_STREQ(buf, "cd\n");
    EXPECT_FALSE(pf_rewind_to(f, disk.size() + 1));  // not read yet
    EXPECT_EQ(pf_offset(f), 5 + kCrLf);
    while (pf_gets(f, buf, 255) != 0) {
    }
    EXPECT_EQ(pf_offset(f), disk.size() - 4 + 2 * kCrLf);  // two CR LF pairs
    pf_close(f);

    // An offset that has left the block buffer cannot be gone back to.
    write_file("big.txt", std::string(200000, 'y') + "\n");
    f = pf_open("big.txt", "r");
    while (pf_offset(f) < 150000) pf_gets(f, buf, 255);
    EXPECT_FALSE(pf_rewind_to(f, 0));
    pf_close(f);
}

// The owner's bytes, then the held writer's, whatever the order in which
// they were made; dropped ones leave nothing.
TEST_F(TextFileTest, HeldWriterFollowsTheOwner) {
    struct Case {
        std::size_t area;   // bytes the held writer may keep
        std::size_t owned;  // lines the owner writes
        std::size_t held;   // lines the held writer writes
        bool keep;
    } cases[] = {
        {1 << 20, 10, 10, true},
        {1 << 20, 0, 5, true},
        {1 << 20, 5, 0, true},
        {1 << 20, 20000, 30000, true},
        {100, 20000, 30000, true},  // the area overflows: the writer waits for the owner
        {1 << 20, 20, 20, false},
        {100, 200, 30000, false},
    };
    static char area[1 << 20];
    for (const Case& c : cases) {
        TextFile* owner = pf_open("h.txt", "w");
        TextFile* held = pf_open_held(owner, area, c.area);
        ASSERT_NE(held, nullptr);
        std::string ownedText, heldText;
        for (std::size_t i = 0; i < c.owned; ++i) ownedText += "owner " + std::to_string(i) + "\n";
        for (std::size_t i = 0; i < c.held; ++i) heldText += "held " + std::to_string(i) + "\n";
        std::thread second([&] { pf_write(held, heldText.data(), heldText.size()); });
        pf_write(owner, ownedText.data(), ownedText.size());
        pf_flush(owner);
        pf_release_held(held, c.keep);
        second.join();
        EXPECT_EQ(pf_close_held(held), 0);
        pf_write(owner, "end\n", 4);
        EXPECT_EQ(pf_close(owner), 0);
        std::string expected = ownedText + (c.keep ? heldText : "") + "end\n";
        std::string onDisk;
        for (char ch : expected) onDisk += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        EXPECT_EQ(read_file("h.txt"), onDisk) << c.area << " " << c.owned << " " << c.held << " " << c.keep;
    }
}

TEST_F(TextFileTest, HeldWritersFailureIsTheOwners) {
    static char area[64];
    TextFile* owner = pf_open("h.txt", "w");
    TextFile* held = pf_open_held(owner, area, sizeof area);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(pf_open_held(owner, area, sizeof area), nullptr);  // one at a time
    pf_write(held, "held\n", 5);
    pf_faults.op = PF_WRITE;
    pf_faults.nth = pf_faults.calls[PF_WRITE] + 1;
    pf_release_held(held, true);
    EXPECT_EQ(pf_close_held(held), -1);
    EXPECT_EQ(pf_close(owner), -1);
}

TEST_F(TextFileTest, CutReadsEndAfterTheBlockInHand) {
    std::string disk;
    for (int i = 0; i < 20000; ++i) disk += "line " + std::to_string(i) + "\n";  // several blocks
    write_file("c.txt", disk);
    TextFile* f = pf_open("c.txt", "r");
    char buf[256];
    ASSERT_EQ(pf_gets(f, buf, 255), 7u);
    pf_cut_reads(f);
    std::string rest;
    while (std::size_t n = pf_gets(f, buf, 255)) rest.append(buf, n);
    EXPECT_LT(rest.size(), std::size_t{1} << 16);  // what the first block held, no more
    EXPECT_EQ(disk.compare(7, rest.size(), rest), 0);
    EXPECT_TRUE(pf_eof(f));
    EXPECT_FALSE(pf_failed(f));
    pf_close(f);
}

}  // namespace
