// Random exchange files for tests that compare two ways of reading one.
#pragma once

#include <random>
#include <string>

// The bytes of an exchange file of `lines` lines on disk: every kind of
// record in random order, texts that contain `search` (Shift-JIS) or part of
// it, whole and broken text records, state records of every kind, comments
// and "bz" lines, line records, long lines, NUL bytes, lone CRs, LF-only
// line ends, and sometimes no line end at the end.
std::string random_selection(std::mt19937& rng, int lines, const std::string& search);
