#include "model/tokens.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "common/text.h"
#include "model/expr.h"

bool LineReader::next(std::string& out, size_t max_chars) {
    out.clear();
    int c = 0;
    while (out.size() < max_chars && (c = std::fgetc(f_)) != EOF) {
        out += static_cast<char>(c);
        if (c == '\n') break;
    }
    if (out.empty()) return false;
    size_t nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
    return true;
}

static bool is_sep(char c) {
    return c == ',' || std::isspace(static_cast<unsigned char>(c));
}

Tokens tokenize(const std::string& line) {
    Tokens t;
    size_t i = 0, n = line.size();
    while (i < n && static_cast<int>(t.size()) < kMaxTokens) {
        while (i < n && is_sep(line[i])) ++i;
        if (i >= n) break;
        if (line[i] == '"') {
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                t.push_back(line.substr(i + 1));
                i = n;
            } else {
                t.push_back(line.substr(i + 1, close - i - 1));
                i = close + 1;
            }
        } else {
            size_t s = i;
            while (i < n && !is_sep(line[i])) ++i;
            t.push_back(line.substr(s, i - s));
        }
    }
    return t;
}

static bool starts_with_key(const std::string& tok, const char* key) {
    size_t k = std::char_traits<char>::length(key);
    if (tok.size() <= k || tok[k] != '=') return false;
    for (size_t i = 0; i < k; ++i)
        if (std::tolower(static_cast<unsigned char>(tok[i])) !=
            std::tolower(static_cast<unsigned char>(key[i])))
            return false;
    return true;
}

std::optional<std::string> kv(const Tokens& t, int first, const char* key) {
    for (size_t i = static_cast<size_t>(first < 0 ? 0 : first); i < t.size(); ++i)
        if (starts_with_key(t[i], key)) return t[i].substr(std::char_traits<char>::length(key) + 1);
    return std::nullopt;
}

int flag(const Tokens& t, int first, const char* word) {
    for (size_t i = static_cast<size_t>(first < 0 ? 0 : first); i < t.size(); ++i)
        if (iequals(t[i], word)) return 1;
    return 0;
}

static bool is_identifier(const std::string& s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
}

static bool reads_whole_number(const std::string& s) {
    const char* p = s.c_str();
    char* end = nullptr;
    std::strtod(p, &end);
    return end != p && *end == '\0';
}

void subst_tokens(Tokens& t, int first) {
    for (size_t i = static_cast<size_t>(first < 0 ? 0 : first); i < t.size() && i < kMaxTokens;
         ++i) {
        std::string& tok = t[i];
        std::string key, value;
        bool has_key = false;
        size_t eq = tok.find('=');
        if (eq != std::string::npos && eq > 0 && std::isalpha(static_cast<unsigned char>(tok[0]))) {
            key = tok.substr(0, eq);
            cut(key, 31);
            value = tok.substr(eq + 1);
            has_key = true;
            std::string lk = lower(key);
            if (lk == "name" || lk == "mat" || lk == "insul" || lk == "axis" || lk == "type")
                continue;
        } else {
            value = tok;
        }
        if (value.empty() || reads_whole_number(value)) continue;
        if (is_identifier(value) && !expr_getvar(value, nullptr)) continue;
        double v = 0;
        if (expr_eval(value, 0.0, &v) != 0) continue;
        tok = has_key ? strfmt("%s=%.12g", key.c_str(), v) : strfmt("%.12g", v);
    }
}

double num_d(const std::string& s) {
    return std::strtod(s.c_str(), nullptr);
}

int num_i(const std::string& s) {
    errno = 0;
    long v = std::strtol(s.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

double len_unit(const std::string& text, double scale) {
    const char* p = text.c_str();
    char* end = nullptr;
    double v = std::strtod(p, &end);
    std::string unit = lower(std::string(end ? end : ""));
    if (unit == "mm") return v * 0.001;
    if (unit == "cm") return v * 0.01;
    if (unit == "m") return v;
    if (unit == "in") return v * 0.0254;
    if (unit == "mil") return v * 2.54e-05;
    return v * scale;
}

double freq_unit(const std::string& text) {
    std::string u = lower(text);
    if (u == "hz") return 1.0;
    if (u == "khz") return 1e3;
    if (u == "mhz") return 1e6;
    if (u == "ghz") return 1e9;
    return 1e6;
}
