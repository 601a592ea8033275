// The order of a run: options, the usage, the run lock, the files opened,
// counted, read and searched, the report and closing records, the exit status.
#include "driver/driver.h"

#include <cstring>

#include "exchange/closing.h"
#include "exchange/reader.h"
#include "options/options.h"
#include "platform/replace.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "records/record.h"
#include "report/report.h"
#include "search/intake.h"

namespace {

void complain(const char* what, const char* name, const char* note = "") {
    Rec r;
    r.str(what).str(name).str(note).str(" \n");
    pf_stderr(r.buf, r.len);
}

void console(const char* text) { pf_stdout(text, std::strlen(text)); }

// Arguments that begin with "-", "/" or "$" are options.
bool isOption(const char* arg) {
    unsigned char first = static_cast<unsigned char>(arg[0]);
    return (first & ~2u) == '-' || first == '$';
}

// Closes whichever of the two files is open. Returns 0, or -1 when the work
// file could not be written completely.
int closeFiles() {
    if (fp) pf_close(fp);
    fp = nullptr;
    int written = fpw ? pf_close(fpw) : 0;
    fpw = nullptr;
    return written;
}

// The error status record of an exchange file over the element limit:
// "he  要素数オーバー    MAX=%u\n" in Shift-JIS.
int refuseOverLimit() {
    Rec r;
    r.str("he  \x97\x76\x91\x66\x90\x94\x83\x49\x81\x5b\x83\x6f\x81\x5b    MAX=").num(kElementLimit).str("\n");
    rec_to_work(r);
    if (closeFiles() != 0) complain("Cannot write file: ", kWorkName);
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

// Closes both files after the records, then puts the work file in the
// exchange file's place unless a test level keeps it. Returns the exit
// status: 0, or 1 when the work file could not be written completely, the
// exchange file not read, or the work file not put in its place (it then
// holds the whole output, and the exchange file its own bytes or, where
// the message says so, perhaps neither).
int finish() {
    bool readFailed = pf_failed(fp);
    if (closeFiles() != 0) {
        complain("Cannot write file: ", kWorkName);
        return 1;
    }
    if (readFailed) {
        complain("Cannot read file: ", kExchangeName);
        return 1;
    }
    const PfReplaced replaced = opts.isTest == 0 ? pf_replace(kWorkName, kExchangeName) : PF_REPLACED;
    if (replaced == PF_DAMAGED) {
        complain("Cannot write file: ", kExchangeName, " (it may be damaged; the output is in QXC_TEMP.$$$)");
    } else if (replaced == PF_KEPT) {
        complain("Cannot write file: ", kExchangeName);
    }
    return replaced == PF_REPLACED ? 0 : 1;
}

// The run from the opening of the files on, with the directory locked.
int runFiles() {
    fp = pf_open_input(kExchangeName);
    if (!fp) {
        complain("Cannot open file: ", kExchangeName);
        return -1;
    }
    fpw = pf_create_work(kWorkName, fp);
    if (!fpw) {
        complain("Cannot open file: ", kWorkName);
        closeFiles();
        return -1;
    }
    // The traces report the line count before the records, so a traced run
    // counts first; a normal run counts while it reads, and a file over the
    // limit then leaves only the error record in the work file all the same.
    unsigned count = 0;
    if (opts.isTest != 0) {
        int counted = Tcopy(fp);
        if (counted < 0) {
            closeFiles();
            return -1;
        }
        count = static_cast<unsigned>(counted);
    }
    if (opts.isTest == 2) console("#  copyed to QXC_TEMP.$$$ \n");
    if (count > kElementLimit) return refuseOverLimit();

    on_text_record = CHR_PRO;  // the search takes each text as it is read
    QX_PATTERN(count, kElementLimit);
    // The reader stops after the limit; lines beyond it are only counted.
    if (opts.isTest == 0 && rd.pieces <= kElementLimit) {
        count = rd.pieces + pf_count_pieces(fp, kReadSize, kElementLimit - rd.pieces);
    }
    if (count > kElementLimit || rd.pieces > kElementLimit) {
        if (pf_discard(fpw)) return refuseOverLimit();
        closeFiles();
        complain("Cannot write file: ", kWorkName);
        return 1;
    }
    Find_STR_END();
    if (opts.isTest == 3) traceClosing(count);
    IniZokusei();
    return finish();
}

// The answer to /?, --help or --version: plain ASCII, the same bytes on
// every build and readable on any console.
int answerRequest() {
    if (opts.request == kRequestVersion) {
        console("qxsearch " QX_VERSION "\n");
        return 0;
    }
    console("qxsearch " QX_VERSION " - text search filter for a CAD host\n"
            "\n"
            "Usage: qxsearch /Z<search string> [/i] [/t<level>]\n"
            "Run in the folder that holds QXC_TEMP.TXT: every text that contains the\n"
            "search string gets a circle around the match, a report follows, and the\n"
            "result replaces QXC_TEMP.TXT.\n"
            "\n");
    opt_usage();
    console("Options start with /, - or $. Other letters the host passes are accepted\n"
            "and change nothing; an unknown one prints \" illegal Option.\".\n"
            "In a command prompt --help always works: Windows may take /? for a file\n"
            "name pattern and pass a one-letter name from the drive's root instead.\n"
            "\n"
            "Exit status: 0 done; 1 more than 150000 lines, or the output could not be\n"
            "written, the input not read or the output not put in place; -1 (255)\n"
            "QXC_TEMP.TXT or the work file QXC_TEMP.$$$ cannot be opened, or the\n"
            "folder's run lock cannot be taken.\n"
            "\n"
            "Example: qxsearch /ZW1 /i  finds W1, w1 and their full-width forms.\n");
    return 0;
}

}  // namespace

int Tcopy(TextFile* from) {
    unsigned count = pf_count_pieces(from, kReadSize, kElementLimit);
    if (pf_failed(from) || !pf_rewind(from)) {
        complain("Cannot read file: ", kExchangeName);
        return -1;
    }
    return static_cast<int>(count);
}

int run(char** argv) {
    pf_fill_standard_streams();
    // The program's own name is skipped; a vector without one (argc 0)
    // ends at its first entry.
    char** first = *argv ? argv + 1 : argv;
    for (char** arg = first; *arg; ++arg) {
        if (isOption(*arg)) opt(*arg);
    }
    // A request for the usage or the version touches no file.
    if (opts.request != kRequestNone) return answerRequest();
    if (opts.isTest == 2) console("\n\n#### debug #### Cmd-Option read\n");
    // Runs in one directory take turns: two at once give the result of one
    // after the other.
    if (!pf_lock_run()) {
        complain("Cannot take the folder's run lock", "");
        return -1;
    }
    pf_normalise_name(kExchangeLowerName, kExchangeName);
    int status = runFiles();
    pf_unlock_run();
    return status;
}
