// Fuzz target: the whole run, from the exchange file's bytes and the option
// arguments to the files that the run leaves behind, in a directory of its
// own.
//
// Input: a flag byte (bit 0: the host names the exchange file in lower
// case; bits 1 and 2: how many option arguments follow, 0 to 3), the
// arguments, each ended by a NUL byte, then the exchange file's bytes.
//
// Properties of every run on such a small input:
// - the run ends with exit status 0 and both files closed;
// - at test level 0 the directory then holds the exchange file alone, under
//   its upper-case name; at any other level it holds the exchange file,
//   unchanged, and the work file;
// - the output has CR LF line ends only and follows the work file's
//   grammar: copied lines, circles and traces, then the report, then the
//   closing attribute records.
// That a normal run carries back what a run that counts the lines first
// writes, and what the input asks for, is tested on large selections
// (tests/e2e/test_large.py).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "exchange/reader.h"
#include "fuzz_check.h"
#include "options/options.h"
#include "platform/textfile.h"
#include "support/state.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

// The run's directory, and the one to come back to: libFuzzer itself uses
// relative paths for its corpus and finds.
fs::path workDir;
fs::path homeDir;

void removeWorkDir() {
    std::error_code ec;
    fs::remove_all(workDir, ec);
}

Bytes readFile(const fs::path& name) {
    std::ifstream in(workDir / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& name, const Bytes& bytes) {
    std::ofstream out(workDir / name, std::ios::binary);
    out << bytes;
    if (!out) std::abort();
}

void clearDir() {
    for (const auto& entry : fs::directory_iterator(workDir)) fs::remove_all(entry.path());
}

std::set<Bytes> listDir() {
    std::set<Bytes> names;
    for (const auto& entry : fs::directory_iterator(workDir)) names.insert(entry.path().filename().string());
    return names;
}

// One run in the cleared directory. Returns the exit status.
int runOnce(const Bytes& exchangeName, const Bytes& input, std::vector<Bytes> args) {
    clearDir();
    writeFile(exchangeName, input);
    args.insert(args.begin(), "qxsearch");
    std::vector<char*> argv;
    for (Bytes& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    reset_program_state();
    fs::current_path(workDir);
    int status = run(argv.data());
    fs::current_path(homeDir);
    return status;
}

bool crlfOnly(const Bytes& out) {
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r')) return false;
    }
    return true;
}

std::vector<Bytes> splitLines(const Bytes& out) {
    std::vector<Bytes> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = out.find("\r\n", start)) != Bytes::npos; start = nl + 2) {
        lines.push_back(out.substr(start, nl - start));
    }
    return lines;
}

bool startsWith(const Bytes& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// The work file's grammar: copied lines, circles and traces; the report
// (text size 2, seven texts each followed by an empty line, line type 1,
// colour 4, seven lines); at level 3 two closing comments; the closing
// attribute records.
void checkOutput(const Bytes& out, int level) {
    FUZZ_CHECK(out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0, "output does not end with CR LF");
    FUZZ_CHECK(crlfOnly(out), "output has a line feed without carriage return");
    // The level-1 trace shows the search argument as given: a line end in
    // it breaks that trace line in two.
    if (level == 1 && std::strchr(opts.ChS001, '\n')) return;
    std::vector<Bytes> lines = splitLines(out);
    std::size_t i = 0;
    auto next = [&]() -> const Bytes& {
        FUZZ_CHECK(i < lines.size(), "output ends after %zu lines", lines.size());
        return lines[i++];
    };
    while (i < lines.size() && (lines[i].empty() || startsWith(lines[i], "#") || startsWith(lines[i], "bz") ||
                                startsWith(lines[i], "ci "))) {
        ++i;
    }
    FUZZ_CHECK(next() == "cn2 ", "no report on a line of its own at line %zu", i);
    for (int k = 0; k < 7; ++k) {
        FUZZ_CHECK(startsWith(next(), "ch "), "report text %d missing", k);
        FUZZ_CHECK(next().empty(), "no empty line after report text %d", k);
    }
    FUZZ_CHECK(next() == "lt1 " && next() == "lc4 ", "report attributes missing");
    for (int k = 0; k < 7; ++k) FUZZ_CHECK(startsWith(next(), " "), "frame line %d missing", k);
    if (level == 3) {
        FUZZ_CHECK(startsWith(next(), "# ---") && startsWith(next(), "#    jd_xmax="), "level-3 closing lines");
    }
    if (i < lines.size() && startsWith(lines[i], "cn")) ++i;
    FUZZ_CHECK(startsWith(next(), "lg") && startsWith(next(), "ly") && startsWith(next(), "lt") &&
                   startsWith(next(), "lc"),
               "closing attribute records");
    if (i < lines.size() && startsWith(lines[i], "pn")) ++i;
    FUZZ_CHECK(i == lines.size(), "%zu lines after the closing records", lines.size() - i);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_keep_report_fd();
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    Bytes pattern = (base / "qx_fuzz_XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    workDir = pattern;
    homeDir = fs::current_path();
    std::atexit(removeWorkDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    Bytes rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    bool lowerCase = data[0] & 1;
    int argCount = (data[0] >> 1) & 3;
    std::vector<Bytes> args;
    for (int i = 0; i < argCount; ++i) {
        std::size_t nul = rest.find('\0');
        args.push_back(rest.substr(0, nul));
        rest = nul == Bytes::npos ? Bytes() : rest.substr(nul + 1);
    }
    const Bytes& input = rest;
    Bytes hostName = lowerCase ? kExchangeLowerName : kExchangeName;

    int status = runOnce(hostName, input, args);
    FUZZ_CHECK(status == 0, "exit status %d", status);
    FUZZ_CHECK(fpw == nullptr && fp == nullptr, "a file is left open");
    int level = opts.isTest;
    std::set<Bytes> names = listDir();
    if (opts.request != kRequestNone) {
        // A request for the usage or the version touches no file.
        FUZZ_CHECK((names == std::set<Bytes>{hostName}), "a request left %zu files", names.size());
        FUZZ_CHECK(readFile(hostName) == input, "a request changed the exchange file");
        return 0;
    }
    if (level != 0) {
        FUZZ_CHECK((names == std::set<Bytes>{kExchangeName, kWorkName}), "level %d left %zu files", level,
                   names.size());
        FUZZ_CHECK(readFile(kExchangeName) == input, "level %d changed the exchange file", level);
        checkOutput(readFile(kWorkName), level);
        return 0;
    }
    FUZZ_CHECK(names == std::set<Bytes>{kExchangeName}, "level 0 left %zu files", names.size());
    checkOutput(readFile(kExchangeName), level);
    return 0;
}
