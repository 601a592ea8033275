// The match engine and the search's state: the Shift-JIS-aware scan of a
// text for the search string, its counters, and what it takes of a record.
#pragma once

#include <cstddef>

#include "exchange/reader.h"

struct Search {
    // The text to search: at most 231 bytes, cut at its line end.
    static constexpr int kTextMax = 231;
    char ChSTR[kTextMax + 1] = {};

    // Texts matched; of these exact, prefix and suffix matches.
    int match = 0, match_p = 0, match_l = 0, match_r = 0;

    // How far the searched texts reach, for the report's placement.
    double Mx000 = 0.0, My000 = 0.0;

    // Scale and sizes in effect for the latest circle.
    double SCALE = 0.0, MOJI_zh = 0.0, MOJI_zw = 0.0, MOJI_zd = 0.0;
};
extern Search srch;
// The search's other process-wide state, never reset (no result depends on
// what it held before): marking.cpp's cache of the latest eight directions of
// texts, match.cpp's /i buffers of the folded text and search argument.

// What the search takes of a text record besides its text: the record's
// own fields, and the group scale and text size in effect for it.
struct TextRecord {
    char head[3];
    double x, y, dx, dy;  // ChX, ChY, ChDX, ChDY
    double scale;
    CharSize size;
};

// The reader's current text record (rd) as the search takes it.
TextRecord text_record_now();

// Searches ChSTR for the search string, counts the match, writes the circle
// for it and moves the running maxima. Returns 0.
int FIND_STR(unsigned jd_x);
// FIND_STR for a text of `textLen` bytes, the length of ChSTR already known.
int find_in_text(std::size_t textLen);

// The leftmost occurrence of the search string (bytes 1 to n of `arg`) in
// `text` that starts on a character boundary and consists of whole
// characters. Returns its first byte and stores its last byte in `foot`, or
// returns -1. Only occurrences that start before byte `before` are sought.
int leftmost_occurrence(const unsigned char* text, const unsigned char* arg, int n, int& foot,
                        int before = 1 << 30);
