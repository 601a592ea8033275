#include "driver/driver.h"

#include <cstring>

#include "exchange/reader.h"
#include "options/closing.h"
#include "options/options.h"
#include "platform/names.h"
#include "platform/textfile.h"
#include "records/record.h"
#include "report/report.h"

TextFile* fpw = nullptr;
TextFile* fp = nullptr;

namespace {

constexpr std::size_t kReadSize = 255;

void complain(const char* what, const char* name) {
    Rec r;
    r.str(what).str(name).str(" \n");
    pf_stderr(r.buf, r.len);
}

void console(const char* text) { pf_stdout(text, std::strlen(text)); }

// Arguments that begin with "-", "/" or "$" are options.
bool isOption(const char* arg) {
    unsigned char first = static_cast<unsigned char>(arg[0]);
    return (first & ~2u) == '-' || first == '$';
}

// Gives the exchange file its upper-case name, whatever the case of the
// letters in the name the host left it under (platform/names.h).
void normaliseName() { pf_normalise_name(kExchangeLowerName, kExchangeName); }

// The error status record of an exchange file over the element limit:
// "he  要素数オーバー    MAX=%u\n" in Shift-JIS.
int refuseOverLimit() {
    Rec r;
    r.str("he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=").num(kElementLimit).str("\n");
    rec_to_work(r);
    if (pf_close(fpw) != 0) complain("Cannot write file: ", kWorkName);
    fpw = nullptr;
    return 1;
}

void traceClosing(unsigned count) {
    Rec out;
    out.str("# ------------------ main() Korvel1 end file closing ------------------ \n");
    out.str("# jd_xmax= ").num(static_cast<int>(count)).str(" stepcnt= ").num(rd.stepcnt).str(" Error(0)\n");
    rec_to_console(out);
    Rec work;
    work.str("# ------------------ main() Korvel1 end file closing ------------------ \n");
    work.str("#    jd_xmax= ").num(static_cast<int>(count)).str(" stepcnt= ").num(rd.stepcnt).str(" \n");
    rec_to_work(work);
}

// Closes both files. Returns the exit status: 0, or 1 when the work file
// could not be written completely or the exchange file not read.
int closeFiles() {
    bool readFailed = pf_failed(fp);
    pf_close(fp);
    fp = nullptr;
    int written = pf_close(fpw);
    fpw = nullptr;
    if (written != 0) {
        complain("Cannot write file: ", kWorkName);
        return 1;
    }
    if (readFailed) {
        complain("Cannot read file: ", kExchangeName);
        return 1;
    }
    return 0;
}

}  // namespace

int Tcopy(const char* from, const char* to) {
    TextFile* in = pf_open(from, "r");
    if (!in) {
        complain("Cannot open file: ", from);
        return -1;
    }
    TextFile* out = pf_open(to, "w");
    if (!out) {
        complain("Cannot open file: ", to);
        pf_close(in);
        return -1;
    }
    // Only the count is used: the work file is emptied again right after,
    // so the copy itself is never written.
    unsigned count = pf_count_pieces(in, kReadSize, kElementLimit);
    bool readFailed = pf_failed(in);
    pf_close(out);
    pf_close(in);
    if (readFailed) {
        complain("Cannot read file: ", from);
        return -1;
    }
    return static_cast<int>(count);
}

int run(char** argv) {
    // The program's own name is skipped; a vector without one (argc 0)
    // ends at its first entry.
    char** first = *argv ? argv + 1 : argv;
    for (char** arg = first; *arg; ++arg) {
        if (isOption(*arg)) opt(*arg);
    }
    if (opts.isTest == 2) console("\n\n#### debug #### Cmd-Option read\n");
    normaliseName();

    int counted = Tcopy(kExchangeName, kWorkName);
    if (counted < 0) return -1;
    unsigned count = static_cast<unsigned>(counted);
    if (opts.isTest == 2) console("#  copyed to QXC_TEMP.$$$ \n");

    fpw = pf_open(kWorkName, "w");
    if (!fpw) {
        complain("Cannot open file: ", kWorkName);
        return 1;
    }
    if (count > kElementLimit) return refuseOverLimit();
    fp = pf_open(kExchangeName, "r");
    if (!fp) {
        complain("Cannot open file: ", kExchangeName);
        pf_close(fpw);
        fpw = nullptr;
        return 1;
    }

    QX_PATTERN(count, kElementLimit);
    Find_STR_END();
    if (opts.isTest == 3) traceClosing(count);
    IniZokusei();
    int status = closeFiles();
    if (status != 0 || opts.isTest != 0) return status;

    // The finished work file replaces the exchange file in one rename: the
    // exchange file holds either the host's input or the whole output.
    if (pf_rename(kWorkName, kExchangeName) != 0) {
        complain("Cannot write file: ", kExchangeName);
        return 1;
    }
    return 0;
}
