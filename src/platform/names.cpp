// The exchange file's name, its replacement, the run lock. See names.h.
#include "platform/names.h"

#include <string>

#include "platform/system.h"

#ifdef _WIN32
#include <windows.h>
#endif

PfWaits pf_waits;

namespace {

#ifdef _WIN32
// The name under which the current directory holds `wanted`, compared as
// the file system compares names (ignoring case). Empty when none matches.
std::string storedName(const char* wanted) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(wanted, &found);
    if (search == INVALID_HANDLE_VALUE) return "";
    FindClose(search);
    return found.cFileName;
}

bool renameOver(const char* from, const char* to) { return sys_rename(from, to) == SYS_RENAMED; }
#endif

}  // namespace

#ifdef _WIN32
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
#endif

void pf_normalise_name(const char* lower, const char* upper) {
#ifdef _WIN32
    (void)lower;
    pf_normalise_by_search(upper);
#else
    sys_rename_new(lower, upper);
#endif
}

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
