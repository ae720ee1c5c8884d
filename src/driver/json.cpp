#include "driver/json.h"

#include <cmath>

namespace {

// Length of the well-formed UTF-8 sequence that starts at s[i] (1 to 4), or
// 0 when the bytes there are not one (a stray continuation byte, an
// overlong form, a surrogate, a code point above U+10FFFF, a sequence cut
// short).
size_t utf8_len(const std::string& s, size_t i) {
    auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = at(i);
    if (c < 0x80) return 1;
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    if (at(i + 1) < lo || at(i + 1) > hi) return 0;
    for (size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
    return n;
}

} // namespace

int json_str(std::FILE* f, const std::string& s) {
    std::fputc('"', f);
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = utf8_len(s, i);
        if (n == 0) {
            // Not UTF-8: most likely a Latin-1 text (an old editor's
            // titles), so the byte is written as that character.
            std::fprintf(f, "\\u%04x", static_cast<unsigned>(c));
            ++i;
            continue;
        }
        if (n == 1) {
            if (c <= 31) {
                ++i;
                continue;
            }
            if (c == '"' || c == '\\') std::fputc('\\', f);
        }
        std::fwrite(s.data() + i, 1, n, f);
        i += n;
    }
    return std::fputc('"', f);
}

void json_num(std::FILE* f, const char* fmt, double v) {
    if (std::isfinite(v))
        std::fprintf(f, fmt, v);
    else
        std::fputs("null", f);
}
