// One output record or trace line, assembled in a fixed buffer and then
// written at once, so that a record is never split by other output.
//
// Numbers follow the C library's printf conventions of the record formats:
// num() is "%d" (or "%u"), hex() is "%x" and fixed() is "%.Nf". Every double
// the program prints goes through fixed(): exact 128-bit integer arithmetic
// for up to 12 decimals of a moderate value (most numbers), std::to_chars for
// the rest; both round correctly and give the same bytes on every platform.
#pragma once

#include <cstddef>

// Formats `v` as printf's "%.<prec>f" would into `out`, which must hold
// kFixedMax bytes; returns the number of bytes written (no terminator).
constexpr std::size_t kFixedMax = 400;
std::size_t fmt_fixed(char* out, double v, int prec);

struct Rec {
    // Room for the longest record: four doubles of 300-odd digits each, or a
    // text field of 254 bytes beside two numbers.
    static constexpr std::size_t kCap = 2048;
    char buf[kCap];
    std::size_t len = 0;

    Rec& str(const char* text);                  // a NUL-terminated text
    Rec& bytes(const char* data, std::size_t n); // n bytes as they are
    Rec& num(long long v);                       // "%d", "%u"
    Rec& hex(unsigned v);                        // "%x"
    Rec& fixed(double v, int prec);              // "%.<prec>f"
    // The record as a NUL-terminated text (the terminator is not counted).
    const char* c_str() {
        buf[len < kCap ? len : kCap - 1] = '\0';
        return buf;
    }
};

// Write the record to the work file `fpw`, to standard output, or to both.
void rec_to_work(const Rec& r);
void rec_to_console(const Rec& r);
