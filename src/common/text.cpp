#include "common/text.h"

#include <cctype>
#include <cstdio>
#include <vector>

std::string vstrfmt(const char* fmt, std::va_list ap) {
    std::va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap2);
    va_end(ap2);
    if (n <= 0) return std::string();
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, ap);
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string strfmt(const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::string s = vstrfmt(fmt, ap);
    va_end(ap);
    return s;
}

int set_err(std::string& err, const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    err = vstrfmt(fmt, ap);
    va_end(ap);
    cut(err, kErrSize - 1);
    return -1;
}

void cut(std::string& s, std::size_t n) {
    if (s.size() > n) s.resize(n);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool iequals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
