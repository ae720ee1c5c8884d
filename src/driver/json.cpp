#include "driver/json.h"

#include <charconv>
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

namespace {

// The conversions "%g", "%.Ng" and "%.Nf" as std::to_chars takes them.
bool simple_conversion(const char* fmt, std::chars_format& cf, int& precision) {
    if (fmt[0] != '%') return false;
    const char* p = fmt + 1;
    precision = 6;
    if (*p == '.') {
        ++p;
        if (*p < '0' || *p > '9') return false;
        precision = 0;
        while (*p >= '0' && *p <= '9' && precision < 100) precision = precision * 10 + (*p++ - '0');
    }
    if (*p == 'g')
        cf = std::chars_format::general;
    else if (*p == 'f')
        cf = std::chars_format::fixed;
    else
        return false;
    return p[1] == '\0';
}

} // namespace

void json_num(std::FILE* f, const char* fmt, double v) {
    if (!std::isfinite(v)) {
        std::fputs("null", f);
        return;
    }
    // std::to_chars writes what printf writes in the C locale, without its
    // cost: results.json holds tens of thousands of numbers.
    std::chars_format cf;
    int precision;
    char buf[128];
    if (simple_conversion(fmt, cf, precision)) {
        const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, cf, precision);
        if (r.ec == std::errc()) {
            std::fwrite(buf, 1, static_cast<size_t>(r.ptr - buf), f);
            return;
        }
    }
    std::fprintf(f, fmt, v);
}

void json_append_fixed2(std::string& out, double v) {
    // A single-precision value times 100 is exact in double precision (24
    // + 7 significant bits), so rounding it to the nearest integer, ties
    // to even as printf rounds them, gives printf's digits.
    const double x = v * 100.0;
    if (std::isfinite(v) && static_cast<double>(static_cast<float>(v)) == v &&
        std::fabs(x) < 1e15) {
        const long long n = std::llrint(std::nearbyint(x));
        const unsigned long long a = static_cast<unsigned long long>(n < 0 ? -n : n);
        char buf[32];
        char* p = buf + sizeof buf;
        unsigned long long q = a;
        *--p = static_cast<char>('0' + q % 10);
        q /= 10;
        *--p = static_cast<char>('0' + q % 10);
        q /= 10;
        *--p = '.';
        do {
            *--p = static_cast<char>('0' + q % 10);
            q /= 10;
        } while (q);
        if (std::signbit(v)) *--p = '-';
        out.append(p, buf + sizeof buf);
        return;
    }
    char buf[512];
    const std::to_chars_result r =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    if (r.ec == std::errc())
        out.append(buf, r.ptr);
    else
        out += "null";
}
