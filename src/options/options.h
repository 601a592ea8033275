// Command-line options and the settings they set.
#pragma once

// The settings, each with its start value. Only ChS001, isTest, iMode,
// isFold and request are read outside the option parser; the others are parsed, range-checked and
// kept so that every option the host may pass is accepted.
struct Options {
    int iMode = 1;      // /M, /m: search mode, shown in a trace only
    int iMode2 = 20;    // /l
    int iMode3 = 20;    // /k
    int isNUM = 0;      // /n
    double Amp = 1.0;   // /a
    int iBOKE = 3;      // /b
    int iGRAY = 3;      // /c
    int iDivN = 2;      // /d
    int exiro = 0;      // /e, tens digit
    int exsyu = 0;      // /e, units digit
    int iPEN1 = 3;      // /g
    int iPEN2 = 1;      // /h
    int iOFFSET = 2;    // /o
    double ANGLE = 10.0;  // /p
    int isTest = 0;     // /t: test level 0 to 6
    int iMOJI_w = 5;    // /w
    int isFold = 0;     // /i: 1 = the search ignores width and case
    int request = 0;    // /?, --help, --version: a kRequest... value
    // /Z, /z: the option letter, then at most 127 bytes of search string.
    static constexpr int kChS001Max = 128;
    char ChS001[kChS001Max + 1] = {};
};
extern Options opts;

// What a run asked for instead of a search (Options::request).
enum : int { kRequestNone = 0, kRequestHelp = 1, kRequestVersion = 2 };

// Applies one option argument (introducer, letter, value text).
void opt(const char* arg);

// Prints the options' lines of the usage, on standard output.
void opt_usage();

// Stores the search argument, from the option letter on, into ChS001: at
// most 128 bytes, replacing any earlier search argument whole.
void USstrcpyChS001(const char* text);

// The C library's atoi, except that values beyond the 32-bit range saturate
// to INT_MAX or INT_MIN.
int opt_atoi(const char* text);
