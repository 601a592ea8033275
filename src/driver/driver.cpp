#include "driver/driver.h"

#include <cstring>

#include "driver/split.h"
#include "exchange/reader.h"
#include "options/closing.h"
#include "options/options.h"
#include "platform/names.h"
#include "platform/textfile.h"
#include "records/record.h"
#include "report/report.h"

constinit QX_PER_THREAD TextFile* fpw = nullptr;
constinit QX_PER_THREAD TextFile* fp = nullptr;

namespace {

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

namespace {

// Closes both files after the records, then carries the work file back
// unless a test level keeps it. Returns the exit status.
int finish() {
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

// Closes both files, discarding what the work file holds: the work file is
// opened empty again, and stays open unless `keepOpen` is false. Returns
// false when it cannot be opened again.
bool emptyWorkFile(bool keepOpen) {
    pf_close(fp);
    fp = nullptr;
    pf_close(fpw);
    fpw = pf_open(kWorkName, "w");
    if (!fpw) return false;
    if (!keepOpen) {
        pf_close(fpw);
        fpw = nullptr;
    }
    return true;
}

// The run without traces: the records are processed while the lines are
// counted, in one pass over the exchange file. It ends as a separate count
// would have: a file over the element limit leaves only the error record in
// the work file, and a read error leaves the work file empty.
int runCounting() {
    fp = pf_open(kExchangeName, "r");
    if (!fp) {
        complain("Cannot open file: ", kExchangeName);
        return -1;
    }
    fpw = pf_open(kWorkName, "w");
    if (!fpw) {
        complain("Cannot open file: ", kWorkName);
        pf_close(fp);
        fp = nullptr;
        return -1;
    }
    // A large file is shared with a second thread (split.h).
    bool shared = split_start(kExchangeName);
    bool stopped = QX_PATTERN(0, kElementLimit) == 1;
    bool secondReadFailed = false;
    bool restRead = shared && split_finish(stopped, secondReadFailed);
    // The reader stops after the limit; pieces beyond it are only counted.
    unsigned count = rd.pieces;
    if (!restRead && count <= kElementLimit) count += pf_count_pieces(fp, kReadSize, kElementLimit - count);
    if (pf_failed(fp) || secondReadFailed) {
        emptyWorkFile(false);
        complain("Cannot read file: ", kExchangeName);
        return -1;
    }
    if (count > kElementLimit) {
        if (emptyWorkFile(true)) return refuseOverLimit();
        complain("Cannot open file: ", kWorkName);
        return 1;
    }
    Find_STR_END();
    IniZokusei();
    return finish();
}

// The run with traces: the lines are counted first, as the traces report
// the count and the copy before the records.
int runTraced() {
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
    return finish();
}

}  // namespace

int run(char** argv) {
    // The program's own name is skipped; a vector without one (argc 0)
    // ends at its first entry.
    char** first = *argv ? argv + 1 : argv;
    for (char** arg = first; *arg; ++arg) {
        if (isOption(*arg)) opt(*arg);
    }
    if (opts.isTest == 2) console("\n\n#### debug #### Cmd-Option read\n");
    normaliseName();
    return opts.isTest == 0 ? runCounting() : runTraced();
}
