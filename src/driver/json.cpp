#include "driver/json.h"

#include <cmath>

int json_str(std::FILE* f, const std::string& s) {
    std::fputc('"', f);
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 1 && c <= 31) continue;
        if (c == '"' || c == '\\') std::fputc('\\', f);
        std::fputc(c, f);
    }
    return std::fputc('"', f);
}

void json_num(std::FILE* f, const char* fmt, double v) {
    if (std::isfinite(v))
        std::fprintf(f, fmt, v);
    else
        std::fputs("null", f);
}
