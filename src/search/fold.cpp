// The folding of the /i search: texts and the search string are rewritten
// into one form per character, so that the match engine, comparing bytes,
// ignores the difference between full-width and half-width forms and
// between upper and lower case. The tables are the code page 932 codes of
// the characters; they are fixed here and depend on no locale.
#include "search/fold.h"

namespace {

// The full-width forms of the ASCII characters 0x21 to 0x7E and the
// ideographic space, with the ASCII character each stands for. Code page
// 932 holds full-width " and ' twice (0xEEFC/0xFA57, 0xEEFB/0xFA56): both
// codes fold. Sorted by code.
struct FullWidth {
    unsigned short code;
    char ascii;
};
constexpr FullWidth kFullWidth[] = {
    {0x8140, ' '}, {0x8143, ','}, {0x8144, '.'}, {0x8146, ':'}, {0x8147, ';'}, {0x8148, '?'},
    {0x8149, '!'}, {0x814D, '`'}, {0x814F, '^'}, {0x8151, '_'}, {0x815E, '/'}, {0x815F, '\\'},
    {0x8160, '~'}, {0x8162, '|'}, {0x8169, '('}, {0x816A, ')'}, {0x816D, '['}, {0x816E, ']'},
    {0x816F, '{'}, {0x8170, '}'}, {0x817B, '+'}, {0x817C, '-'}, {0x8181, '='}, {0x8183, '<'},
    {0x8184, '>'}, {0x8190, '$'}, {0x8193, '%'}, {0x8194, '#'}, {0x8195, '&'}, {0x8196, '*'},
    {0x8197, '@'}, {0xEEFB, '\''}, {0xEEFC, '"'}, {0xFA56, '\''}, {0xFA57, '"'},
};
// Full-width digits and letters lie in runs: 0x824F + d for digit d,
// 0x8260 + k for the k-th capital, 0x8281 + k for the k-th small letter.

// The half-width characters 0xA1 to 0xDF: the full-width character each
// stands for, and the one that it stands for together with a following
// voiced mark 0xDE or semi-voiced mark 0xDF (0 where there is none).
struct HalfWidth {
    unsigned short plain, voiced, semiVoiced;
};
constexpr HalfWidth kHalfWidth[0xDF - 0xA1 + 1] = {
    {0x8142, 0, 0},      {0x8175, 0, 0},      {0x8176, 0, 0},      {0x8141, 0, 0},       // 。「」、
    {0x8145, 0, 0},      {0x8392, 0, 0},      {0x8340, 0, 0},      {0x8342, 0, 0},       // ・ヲァィ
    {0x8344, 0, 0},      {0x8346, 0, 0},      {0x8348, 0, 0},      {0x8383, 0, 0},       // ゥェォャ
    {0x8385, 0, 0},      {0x8387, 0, 0},      {0x8362, 0, 0},      {0x815B, 0, 0},       // ュョッー
    {0x8341, 0, 0},      {0x8343, 0, 0},      {0x8345, 0x8394, 0}, {0x8347, 0, 0},       // アイウエ
    {0x8349, 0, 0},      {0x834A, 0x834B, 0}, {0x834C, 0x834D, 0}, {0x834E, 0x834F, 0},  // オカキク
    {0x8350, 0x8351, 0}, {0x8352, 0x8353, 0}, {0x8354, 0x8355, 0}, {0x8356, 0x8357, 0},  // ケコサシ
    {0x8358, 0x8359, 0}, {0x835A, 0x835B, 0}, {0x835C, 0x835D, 0}, {0x835E, 0x835F, 0},  // スセソタ
    {0x8360, 0x8361, 0}, {0x8363, 0x8364, 0}, {0x8365, 0x8366, 0}, {0x8367, 0x8368, 0},  // チツテト
    {0x8369, 0, 0},      {0x836A, 0, 0},      {0x836B, 0, 0},      {0x836C, 0, 0},       // ナニヌネ
    {0x836D, 0, 0},      {0x836E, 0x836F, 0x8370}, {0x8371, 0x8372, 0x8373},             // ノハヒ
    {0x8374, 0x8375, 0x8376}, {0x8377, 0x8378, 0x8379}, {0x837A, 0x837B, 0x837C},        // フヘホ
    {0x837D, 0, 0},      {0x837E, 0, 0},      {0x8380, 0, 0},      {0x8381, 0, 0},       // マミムメ
    {0x8382, 0, 0},      {0x8384, 0, 0},      {0x8386, 0, 0},      {0x8388, 0, 0},       // モヤユヨ
    {0x8389, 0, 0},      {0x838A, 0, 0},      {0x838B, 0, 0},      {0x838C, 0, 0},       // ラリルレ
    {0x838D, 0, 0},      {0x838F, 0, 0},      {0x8393, 0, 0},      {0x814A, 0, 0},       // ロワン゛
    {0x814B, 0, 0},                                                                      // ゜
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The ASCII character that a two-byte code stands for, or 0.
char asciiOf(unsigned code) {
    if (code >= 0x824F && code <= 0x8258) return static_cast<char>('0' + (code - 0x824F));
    if (code >= 0x8260 && code <= 0x8279) return static_cast<char>('a' + (code - 0x8260));
    if (code >= 0x8281 && code <= 0x829A) return static_cast<char>('a' + (code - 0x8281));
    for (const FullWidth& f : kFullWidth) {
        if (f.code == code) return f.ascii;
    }
    return 0;
}

struct Output {
    unsigned char* bytes;
    int* origin;
    int len = 0;

    void put(unsigned char b, int from) {
        bytes[len] = b;
        origin[len] = from;
        ++len;
    }
    void putCode(unsigned code, int from) {
        put(static_cast<unsigned char>(code >> 8), from);
        put(static_cast<unsigned char>(code & 0xFF), from);
    }
};

// Folds the character at text[p] (n bytes in all) and returns how many
// bytes of the text it took.
int foldCharacter(const unsigned char* text, int p, int n, Output& out) {
    unsigned char b = text[p];
    if (is_lead_byte(b) && p + 1 < n) {
        unsigned code = b * 256u + text[p + 1];
        char ascii = asciiOf(code);
        if (ascii != 0) {
            out.put(static_cast<unsigned char>(lower(ascii)), p);
        } else {
            out.put(b, p);
            out.put(text[p + 1], p);
        }
        return 2;
    }
    if (b >= 0xA1 && b <= 0xDF) {
        const HalfWidth& h = kHalfWidth[b - 0xA1];
        unsigned char mark = p + 1 < n ? text[p + 1] : 0;
        unsigned marked = mark == 0xDE ? h.voiced : mark == 0xDF ? h.semiVoiced : 0;
        out.putCode(marked != 0 ? marked : h.plain, p);
        return marked != 0 ? 2 : 1;
    }
    // Any other byte, a lead byte cut off at the end included, stays.
    out.put(static_cast<unsigned char>(lower(static_cast<char>(b))), p);
    return 1;
}

}  // namespace

int fold_text(const unsigned char* text, int n, unsigned char* folded, int* origin) {
    Output out{folded, origin};
    for (int p = 0; p < n;) p += foldCharacter(text, p, n, out);
    folded[out.len] = 0;
    origin[out.len] = n;
    return out.len;
}
