#include "driver/json.h"

#include <cmath>

#include "common/text.h"

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
