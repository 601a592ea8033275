// Scanning of the numeric fields of a record with the semantics of the C
// library's formatted scanning ("%lf", "%d", "%x"): leading white space is
// skipped, then the longest number is taken. Plain decimals take a fast
// exact path; every other form (a '+' sign, exponents, "inf", "nan",
// hexadecimal, long mantissas) goes to the library's own scanning, so the
// results are the library's in every case.
//
// Each function scans one field at `p`. On success it stores the value,
// moves `p` past the field and returns true; on failure it changes neither.
// `p` must point into a NUL-terminated buffer.
#pragma once

bool scan_lf(const char*& p, double& out);
// scan_lf for a buffer that stays readable for at least 7 bytes after the
// terminating NUL (the reader's line buffer keeps 8 zero bytes there): the
// digits are taken eight bytes at a time.
bool scan_lf_padded(const char*& p, double& out);
bool scan_d(const char*& p, int& out);
bool scan_x(const char*& p, int& out);

// Scans up to `n` "%lf" fields into out[0..n-1], stopping at the first that
// does not convert. Returns the number converted.
int scan_lfs(const char*& p, double* out, int n);

// Skips white space as a blank in a scanning format does.
void skip_space(const char*& p);
