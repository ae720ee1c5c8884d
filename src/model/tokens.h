// Line tokens of the model readers and the helpers that read fields and
// options from them.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

constexpr int kMaxTokens = 64;
constexpr size_t kLineMax = 1023; // characters per physical read; longer lines continue

using Tokens = std::vector<std::string>;

// Reads a text file piece by piece like fgets with a buffer of max_chars + 1:
// a piece ends after a line feed or after max_chars characters. The text of a
// piece is cut at a NUL byte, as a C string would be.
class LineReader {
  public:
    explicit LineReader(std::FILE* f) : f_(f) {}
    bool next(std::string& out, size_t max_chars = kLineMax);

  private:
    std::FILE* f_;
};

// Splits a line into at most 64 tokens. Separators are white space and
// commas (runs count once). A token that begins with a double quote runs to
// the next double quote (both dropped); without a closing quote it runs to
// the end of the line. A quote inside an unquoted token is an ordinary
// character.
Tokens tokenize(const std::string& line);

// The value text of the first token at or after `first` that begins with
// key (any case) directly followed by '='.
std::optional<std::string> kv(const Tokens& t, int first, const char* key);

// 1 when a token at or after `first` equals word (any case).
int flag(const Tokens& t, int first, const char* word);

// Replaces the expressions among the tokens from `first` on by their values
// ("%.12g", keeping a key= prefix). Plain numbers, bare words that are not
// variables, the values of name=, mat=, insul=, axis= and type=, and texts
// that do not evaluate are left alone.
void subst_tokens(Tokens& t, int first);

// Leading number of a text as the C library reads it (0 when the text does
// not start with a number); integers as strtol reads them, clamped to int.
double num_d(const std::string& s);
int num_i(const std::string& s);

// A length: the leading number times the unit of its suffix (mm, cm, m, in,
// mil, any case), or times scale without a known suffix.
double len_unit(const std::string& text, double scale);

// Frequency unit factor: hz, khz, mhz, ghz (any case); 1e6 otherwise.
double freq_unit(const std::string& text);
