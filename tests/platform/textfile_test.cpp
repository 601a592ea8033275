#include "platform/textfile.h"

#include <cerrno>
#include <cstring>
#include <string>

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

}  // namespace
