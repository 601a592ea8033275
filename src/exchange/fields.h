// Scanning of the numeric fields of a record with the semantics of the C
// library's formatted scanning ("%lf", "%d", "%x"): leading white space is
// skipped, then the longest number is taken.
//
// Each function scans one field at `p`. On success it stores the value,
// moves `p` past the field and returns true; on failure it changes neither.
// `p` must point into a NUL-terminated buffer.
#pragma once

// A double: decimals take an exact fast path, or std::from_chars where they
// have long mantissas or exponents, so that every build rounds alike;
// hexadecimal numbers, infinities and NaNs go to the library's scanning.
bool scan_lf(const char*& p, double& out);

// An integer in decimal ("%d") or hexadecimal ("%x", an optional "0x"
// prefix): an optional sign, then digits. The value is read as the C
// library reads it where `long` has 64 bits, the same on every build: the
// value saturated to the 64-bit range (signed for "%d", unsigned for "%x",
// where a minus sign negates), then its low 32 bits.
bool scan_d(const char*& p, int& out);
bool scan_x(const char*& p, int& out);

// Scans up to `n` "%lf" fields into out[0..n-1], stopping at the first that
// does not convert. Returns the number converted.
int scan_lfs(const char*& p, double* out, int n);

// Skips white space as a blank in a scanning format does.
void skip_space(const char*& p);
