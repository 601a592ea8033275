#include "records/record.h"

#include <charconv>
#include <cstring>

#include "driver/driver.h"
#include "platform/textfile.h"

std::size_t fmt_fixed(char* out, double v, int prec) {
    auto res = std::to_chars(out, out + kFixedMax, v, std::chars_format::fixed, prec);
    return static_cast<std::size_t>(res.ptr - out);
}

Rec& Rec::bytes(const char* data, std::size_t n) {
    if (n > kCap - len) n = kCap - len;  // cannot happen with the formats in use
    std::memcpy(buf + len, data, n);
    len += n;
    return *this;
}

Rec& Rec::str(const char* text) { return bytes(text, std::strlen(text)); }

Rec& Rec::num(long long v) {
    char tmp[24];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, v);
    return bytes(tmp, static_cast<std::size_t>(res.ptr - tmp));
}

Rec& Rec::hex(unsigned v) {
    char tmp[16];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, v, 16);
    return bytes(tmp, static_cast<std::size_t>(res.ptr - tmp));
}

Rec& Rec::fixed(double v, int prec) {
    char tmp[kFixedMax];
    return bytes(tmp, fmt_fixed(tmp, v, prec));
}

void rec_to_work(const Rec& r) { pf_write(fpw, r.buf, r.len); }

void rec_to_console(const Rec& r) { pf_stdout(r.buf, r.len); }
