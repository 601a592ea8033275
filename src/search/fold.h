// The /i folding of texts and search strings, and the Shift-JIS lead bytes
// by which the search keeps two-byte characters whole.
#pragma once

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
