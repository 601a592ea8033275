// The exchange file's name, its replacement, the run lock. See names.h.
#include "platform/names.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/system.h"

PfWaits pf_waits;

namespace {

namespace fs = std::filesystem;

// ASCII upper case of one character of a name (narrow or wide); other
// characters are left alone.
template <typename Char>
Char asciiUpper(Char ch) {
    return (ch >= 'a' && ch <= 'z') ? static_cast<Char>(ch - 'a' + 'A') : ch;
}

// Whether a stored name equals the ASCII name `wanted` ignoring case.
bool sameIgnoringCase(const fs::path::string_type& name, const char* wanted) {
    if (name.size() != std::strlen(wanted)) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto ch = name[i];
        if (static_cast<unsigned long>(ch) > 0x7F) return false;
        if (asciiUpper(ch) != asciiUpper(static_cast<decltype(ch)>(wanted[i]))) return false;
    }
    return true;
}

// The name under which the current directory holds `wanted`, compared
// ignoring case; the exact spelling when the directory holds it (a file
// system that tells case apart can hold several). Empty when none matches.
std::string storedName(const char* wanted) {
    std::string found;
    std::error_code ec;
    for (fs::directory_iterator it(".", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path file = it->path().filename();
        const fs::path::string_type& name = file.native();
        if (!sameIgnoringCase(name, wanted)) continue;
        // A match is all ASCII, so each character narrows as it is.
        found.clear();
        for (auto ch : name) found += static_cast<char>(ch);
        if (found == wanted) break;
    }
    return found;
}

bool renameOver(const char* from, const char* to) { return sys_rename(from, to) == SYS_RENAMED; }

}  // namespace

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

void pf_normalise_name(const char* lower, const char* upper) {
#ifdef _WIN32
    (void)lower;
    pf_normalise_by_search(upper);
#else
    sys_rename_new(lower, upper);
#endif
}

bool pf_lock_run() { return sys_lock_directory(pf_waits.lockMs) != 1; }

void pf_unlock_run() { sys_unlock_directory(); }

void pf_fill_standard_streams() { sys_fill_standard_streams(); }

namespace {

// Copies the bytes of `from` over the start of `to` and cuts `to` there.
bool copyInPlace(const char* from, const char* to) {
    static char block[1 << 16];
    unsigned mode = 0;
    SysFile in = sys_open_regular(from, mode);
    if (in == kNoFile) return false;
    SysFile out = sys_open_in_place(to);
    bool copied = out != kNoFile;
    long got = 0;
    while (copied && (got = sys_read(in, block, sizeof block)) > 0) {
        copied = sys_write(out, block, static_cast<std::size_t>(got));
    }
    copied = copied && got == 0 && sys_truncate_here(out);
    if (out != kNoFile && !sys_close(out)) copied = false;
    sys_close(in);
    return copied;
}

}  // namespace

int pf_replace(const char* work, const char* exchange) {
    SysRename done = sys_rename(work, exchange);
    for (int waited = 0, step = 10; done == SYS_BLOCKED && waited < pf_waits.replaceMs; step *= 2) {
        if (step > pf_waits.replaceMs - waited) step = pf_waits.replaceMs - waited;
        sys_sleep_ms(step);
        waited += step;
        done = sys_rename(work, exchange);
    }
    if (done == SYS_RENAMED) return 0;
    if (done == SYS_FAILED || !copyInPlace(work, exchange)) return -1;
    sys_remove(work);  // the exchange file holds the output; a leftover goes at the next run
    return 0;
}
