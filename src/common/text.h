// Bounded, allocation-safe text formatting for one-line messages.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Size of a run's error text, terminator included: messages are cut to
// kErrSize - 1 bytes.
constexpr std::size_t kErrSize = 512;

// printf-style formatting into a std::string of any length.
std::string strfmt(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vstrfmt(const char* fmt, std::va_list ap);

// Sets err to the formatted message, cut to kErrSize - 1 bytes (the size of
// the run's error text). Returns -1 so that readers can `return set_err(...)`.
int set_err(std::string& err, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Cuts s to at most n bytes.
void cut(std::string& s, std::size_t n);

// Lower-case ASCII copy; case-insensitive ASCII equality.
std::string lower(std::string s);
bool iequals(const std::string& a, const std::string& b);

// Length of the well-formed UTF-8 sequence that starts at s[i] (1 to 4), or
// 0 when the bytes there are not one (a stray continuation byte, an
// overlong form, a surrogate, a code point above U+10FFFF, a sequence cut
// short).
std::size_t utf8_len(const std::string& s, std::size_t i);
