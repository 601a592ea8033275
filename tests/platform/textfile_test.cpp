#include "platform/textfile.h"

#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/seam.h"
#include "support/fixture.h"

namespace {

namespace fs = std::filesystem;

class TextFileTest : public TempDirTest {};

// Reads every piece with the given buffer size.
std::string readPieces(const std::string& disk, std::size_t size, char sep = '|') {
    write_file("f.txt", disk);
    TextFile* f = pf_open_input("f.txt");
    std::string out;
    char buf[1024];
    while (std::size_t n = pf_gets(f, buf, size)) {
        out.append(buf, n);
        out += sep;
    }
    pf_close(f);
    return out;
}

unsigned countPieces(const std::string& disk, unsigned limit = 150000) {
    write_file("c.txt", disk);
    TextFile* f = pf_open_input("c.txt");
    unsigned n = pf_count_pieces(f, 255, limit);
    pf_close(f);
    return n;
}

// The pieces a line read with a buffer of `size` bytes gives, from the text
// as the host meant it: CR LF pairs are one newline, a 0x1A as the very
// last byte is not there; at most size-1 bytes a piece, ending after a
// newline.
std::string modelPieces(const std::string& disk, std::size_t size, char sep) {
    std::string text;
    std::size_t end = !disk.empty() && disk.back() == '\x1A' ? disk.size() - 1 : disk.size();
    for (std::size_t i = 0; i < end; ++i) {
        if (!(disk[i] == '\r' && i + 1 < end && disk[i + 1] == '\n')) text += disk[i];
    }
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 0;
        while (i + n < text.size() && n < size - 1 && (n == 0 || text[i + n - 1] != '\n')) ++n;
        out.append(text, i, n);
        out += sep;
        i += n;
    }
    return out;
}

TEST_F(TextFileTest, ReadTranslatesCrLfAndDropsOnlyAFinalEndMark) {
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
        {"a\r\n\x1A", "a\n|"},
        {"\x1A", ""},
        {"a\x1A", "a|"},
        {"a\x1A\r\nb\r\n", "a\x1A\n|b\n|"},
        {"a\r\n\x1A\x1A", "a\n|\x1A|"},
        {"\x1A\r\n", "\x1A\n|"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readPieces(c.disk, 255), c.pieces) << c.disk;
        unsigned pieces = 0;
        for (char ch : c.pieces) pieces += ch == '|';
        EXPECT_EQ(countPieces(c.disk), pieces) << c.disk;
    }
}

TEST_F(TextFileTest, LongLineComesInPiecesOf254) {
    std::string line(600, 'x');
    std::string got = readPieces(line + "\r\n", 255);
    EXPECT_EQ(got, std::string(254, 'x') + "|" + std::string(254, 'x') + "|" + std::string(92, 'x') + "\n|");
}

// Several blocks of lines of every length class: lines just under, at and
// over the piece width, long lines, LF and CR LF ends, lone CRs and 0x1A
// bytes, no line end or a final 0x1A at the end; the 64 KiB blocks break
// anywhere, a CR LF pair or a trailing 0x1A included.
std::string mixedLines(unsigned seed) {
    std::string disk;
    unsigned state = seed;
    auto next = [&state](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    };
    const std::size_t lengths[] = {0, 1, 30, 252, 253, 254, 255, 600};
    while (disk.size() < 200000) {
        std::size_t len = next(4) != 0 ? next(40) : lengths[next(8)];
        for (std::size_t i = 0; i < len; ++i) {
            unsigned r = next(100);
            disk += r == 0 ? '\r' : r == 1 ? '\x1A' : static_cast<char>('a' + next(26));
        }
        disk += next(2) != 0 ? "\r\n" : "\n";
    }
    disk.resize(disk.size() - 1 - next(3));
    if (seed % 2 == 0) disk += '\x1A';
    return disk;
}

TEST_F(TextFileTest, PieceReadsAndCountsOverManyBlocksMatchTheModel) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        std::string disk = mixedLines(seed);
        std::string model = modelPieces(disk, 255, '\x01');
        EXPECT_EQ(readPieces(disk, 255, '\x01'), model) << seed;
        unsigned expected = 0;
        for (char c : model) expected += c == '\x01';
        EXPECT_EQ(countPieces(disk), expected) << seed;
        for (std::size_t size : {40u, 2u}) {
            EXPECT_EQ(readPieces(disk, size, '\x01'), modelPieces(disk, size, '\x01')) << seed << " " << size;
        }
    }
    // The block boundary right after a CR, and right before a final 0x1A.
    for (std::string tail : {"\r\nb\r\n", "\x1A"}) {
        std::string disk = std::string(65535, 'a') + tail;
        EXPECT_EQ(readPieces(disk, 255, '\x01'), modelPieces(disk, 255, '\x01'));
    }
}

TEST_F(TextFileTest, CountStopsOneOverTheLimitEvenWithinALine) {
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "line\r\n";
    EXPECT_EQ(countPieces("a\nb\nc\nd\ne\n", 3), 4u);
    EXPECT_EQ(countPieces(many, 1000), 1001u);
    EXPECT_EQ(countPieces(many, 5000), 5000u);
    // A line of 4 MB without a line end: refused after the first block.
    pf_faults = PfFaults{};
    EXPECT_EQ(countPieces(std::string(4 << 20, 'x'), 100), 101u);
    EXPECT_LE(pf_faults.calls[PF_READ], 2);
}

TEST_F(TextFileTest, WritesTurnNewlinesIntoCrLfAcrossBlocks) {
    std::string text = "a\nb\rc\n\n";
    for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i) + "\n";
    TextFile* f = pf_create_work("w.txt", nullptr);
    pf_write(f, text.data(), text.size());
    EXPECT_EQ(pf_close(f), 0);
    std::string expected;
    for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(read_file("w.txt"), expected);

    f = pf_create_work("w.txt", nullptr);
    pf_write(f, text.data(), text.size());
    EXPECT_TRUE(pf_discard(f));
    pf_write(f, "x\n", 2);
    EXPECT_EQ(pf_close(f), 0);
    EXPECT_EQ(read_file("w.txt"), "x\r\n");
}

TEST_F(TextFileTest, InjectedFaultsAreReported) {
    write_file("e.txt", "abc\n");
    char buf[16];
    auto reads = [&buf] {
        TextFile* in = pf_open_input("e.txt");
        if (!in) return false;
        bool read = pf_gets(in, buf, sizeof buf) == 4 && pf_rewind(in) && !pf_failed(in);
        return pf_close(in) == 0 && read;
    };
    auto writes = [] {
        TextFile* out = pf_create_work("w.txt", nullptr);
        if (!out) return false;
        pf_write(out, "x\n", 2);
        bool emptied = pf_discard(out);
        pf_write(out, "y\n", 2);
        return pf_close(out) == 0 && emptied;
    };
    struct Case {
        PfOp op;
        bool (*fails)();
    } cases[] = {{PF_OPEN_REGULAR, +[] { return false; }}, {PF_READ, nullptr}, {PF_SEEK, nullptr},
                 {PF_CREATE_NEW, nullptr},           {PF_WRITE, nullptr}, {PF_RESIZE, nullptr}};
    for (const Case& c : cases) {
        pf_faults = PfFaults{};
        pf_faults.op = c.op;
        pf_faults.nth = 1;
        bool readSide = c.op == PF_OPEN_REGULAR || c.op == PF_READ || c.op == PF_SEEK;
        EXPECT_EQ(reads(), !readSide) << c.op;
        EXPECT_EQ(writes(), readSide) << c.op;
    }
    // A failed close of a file written is a failed write.
    pf_faults = PfFaults{};
    pf_faults.op = PF_CLOSE;
    pf_faults.nth = 1;
    EXPECT_FALSE(writes());
}

TEST_F(TextFileTest, OnlyRegularFilesAreOpened) {
    fs::create_directory("dir");
    EXPECT_EQ(pf_open_input("dir"), nullptr);
    EXPECT_EQ(pf_open_input("missing"), nullptr);
#ifndef _WIN32
    ASSERT_EQ(mkfifo("fifo", 0600), 0);  // opened without waiting for a writer
    EXPECT_EQ(pf_open_input("fifo"), nullptr);
    fs::create_symlink("/dev/zero", "zero");
    EXPECT_EQ(pf_open_input("zero"), nullptr);
#endif
}

// The work file is always a new file of the run's own: a leftover goes, a
// directory of its name stays and refuses it. Links and FIFOs in its place
// are tests/e2e/test_directory.py's.
TEST_F(TextFileTest, WorkFileIsANewFileOfItsOwn) {
    auto make = [] {
        TextFile* f = pf_create_work("work", nullptr);
        if (!f) return false;
        pf_write(f, "out\n", 4);
        return pf_close(f) == 0;
    };
    write_file("work", "leftover");
    EXPECT_TRUE(make());
    EXPECT_EQ(read_file("work"), "out\r\n");
    fs::remove("work");
    fs::create_directory("work");
    EXPECT_EQ(pf_create_work("work", nullptr), nullptr);
    EXPECT_TRUE(fs::is_directory("work"));
}

#ifdef _WIN32
// A leftover work file goes though it is read-only. One that another
// program holds open (here a handle of this process: sharing is per handle)
// is tried again with growing waits, then refused, and goes once let go.
// Newer Windows may remove at once one whose holder allows removal.
TEST_F(TextFileTest, LeftoverWorkFileReadOnlyOrHeldOpen) {
    constexpr DWORD kNotHeld = 0xFFFFFFFF;
    for (DWORD sharing : {kNotHeld, DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
        write_file("work", "leftover");
        const DWORD attributes = sharing == kNotHeld ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
        ASSERT_TRUE(SetFileAttributesA("work", attributes));
        HANDLE holder = INVALID_HANDLE_VALUE;
        if (sharing != kNotHeld) {
            holder = CreateFileA("work", GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
        }
        pf_faults = PfFaults{};
        pf_waits.replaceMs = 70;  // waits of 10, 20 and 40 ms
        TextFile* made = pf_create_work("work", nullptr);
        if (holder != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(made ? (sharing & FILE_SHARE_DELETE) != 0 : pf_faults.calls[PF_REMOVE] >= 4) << sharing;
            CloseHandle(holder);
            if (!made) made = pf_create_work("work", nullptr);
        }
        EXPECT_NE(made, nullptr) << sharing;
        if (made) pf_close(made);
        SetFileAttributesA("work", FILE_ATTRIBUTE_NORMAL);
        fs::remove("work");
    }
}
#endif

#ifndef _WIN32
// The work file takes the exchange file's permission bits (compared over
// whole runs in tests/e2e/test_directory.py); one that cannot be given them
// is not left behind.
TEST_F(TextFileTest, WorkFileWithoutTheExchangeFilesPermissionsGoes) {
    write_file("in.txt", "a\n");
    pf_faults.op = PF_MODE;
    pf_faults.nth = 1;
    TextFile* in = pf_open_input("in.txt");
    EXPECT_EQ(pf_create_work("work", in), nullptr);
    EXPECT_FALSE(fs::exists("work"));
    pf_close(in);
}
#endif

}  // namespace
