// The text search: the intake of a text record, the Shift-JIS-aware match
// engine with its counters, and the circle that marks a match.
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

// Takes the current text record's text field, cuts it into ChSTR and
// searches it. Returns 0.
int CHR_PRO(unsigned jd_x);

// Searches ChSTR for the search string, counts the match, writes the circle
// for it and moves the running maxima. Returns 0.
int FIND_STR(unsigned jd_x);
// FIND_STR for a text of `textLen` bytes, the length of ChSTR already known.
int find_in_text(std::size_t textLen);

// Writes one circle record, centre (x, y), radius r.
void Kci(double x, double y, double r);

// Whether a byte starts a two-byte Shift-JIS character.
inline bool is_lead_byte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The /i form of the `n` bytes of `text`: full-width forms of ASCII
// characters and the ideographic space become the ASCII character, A to Z
// become a to z, half-width katakana and punctuation become their
// full-width character (a kana and a following voiced or semi-voiced mark
// become the one voiced character). Writes the folded bytes and a
// terminator into `folded` (room for 2n + 1 bytes) and, for each folded
// byte, the offset in `text` of the character it comes from into `origin`
// (room for 2n + 1, the last entry n). Returns the folded length.
int fold_text(const unsigned char* text, int n, unsigned char* folded, int* origin);

// The leftmost occurrence of the search string (bytes 1 to n of `arg`) in
// `text` that starts on a character boundary and consists of whole
// characters. Returns its first byte and stores its last byte in `foot`, or
// returns -1. Only occurrences that start before byte `before` are sought.
int leftmost_occurrence(const unsigned char* text, const unsigned char* arg, int n, int& foot,
                        int before = 1 << 30);
