// Numeric fields of NEC cards, and the SY cards whose symbols they may use.
//
// A deck's fields are plain numbers in NEC-2. Decks written by the common
// front-ends also define symbols on SY cards and use them, or expressions
// of them, in later fields. A field that is neither is refused: read as
// its leading digits (a letter O for a zero, "1O") or as 0 (a symbol
// without definition), it would describe a different antenna.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "common/text.h"
#include "model/expr.h"
#include "model/nec_card.h"
#include "model/tokens.h"

namespace {

const NecLayout kLayouts[] = {
    {"GW", 2, 9},  {"GA", 2, 6}, {"GH", 2, 9},  {"GM", 2, 9},  {"GR", 2, 2}, {"GX", 2, 2},
    {"GS", 2, 3},  {"GE", 1, 1}, {"GN", 4, 10}, {"EX", 4, 10}, {"LD", 4, 7}, {"TL", 4, 10},
    {"NT", 4, 10}, {"FR", 4, 6}, {"GC", 2, 5},  {"RP", 4, 10},
};

// The whole text is one number as the C library reads it.
bool plain_number(const std::string& s, double* v) {
    const char* p = s.c_str();
    char* end = nullptr;
    *v = std::strtod(p, &end);
    return end != p && *end == '\0';
}

// A number followed by a percent sign: a position along a wire, as one
// front-end writes its segment fields.
bool percentage(const std::string& s) {
    double v;
    return s.size() > 1 && s.back() == '%' && plain_number(s.substr(0, s.size() - 1), &v);
}

int clamp_int(double v) {
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

bool ident_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool ident_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}
bool blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Whether a new definition "name =" starts at position i (after blanks).
bool definition_at(const std::string& s, size_t i) {
    while (i < s.size() && blank(s[i])) ++i;
    if (i >= s.size() || !ident_start(s[i])) return false;
    while (i < s.size() && ident_char(s[i])) ++i;
    while (i < s.size() && blank(s[i])) ++i;
    return i < s.size() && s[i] == '=';
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

} // namespace

const NecLayout* nec_layout(const std::string& name) {
    for (const NecLayout& l : kLayouts)
        if (name == l.name) return &l;
    return nullptr;
}

int nec_fields(NecReader& r, NecCard& c) {
    const NecLayout* lay = nec_layout(c.name);
    if (!lay) return 0;
    const int n = std::min(lay->nfield, static_cast<int>(c.text.size()));
    for (int k = 1; k <= n; ++k) {
        const std::string& tok = c.text[static_cast<size_t>(k - 1)];
        const bool integer = k <= lay->nint;
        double v = 0;
        bool plain = plain_number(tok, &v);
        if (!plain) {
            // Segment numbers are integer fields; a percentage elsewhere is
            // simply no number.
            if (integer && percentage(tok))
                return r.fail("%s: field %d is a position in percent ('%s'), as another "
                              "program writes it; NEC cards take a segment number",
                              c.name.c_str(), k, tok.c_str());
            if (expr_eval_symbols(tok, &v) != 0)
                return r.fail("%s: field %d is not a number ('%s')", c.name.c_str(), k,
                              tok.c_str());
        }
        if (integer) {
            // 10.0 names segment 10; 10.5 names none.
            const double w = std::round(v);
            if (!std::isfinite(v) || std::fabs(v - w) > 1e-9 * std::max(1.0, std::fabs(v)))
                return r.fail("%s: field %d is not a whole number ('%s')", c.name.c_str(), k,
                              tok.c_str());
            v = w;
        }
        c.f[k - 1] = v;
        c.i[k - 1] = plain && !integer ? num_i(tok) : clamp_int(v);
    }
    return 0;
}

int nec_sy(NecReader& r, const std::string& text) {
    const std::string& s = text;
    size_t i = 0;
    for (;;) {
        while (i < s.size() && (blank(s[i]) || s[i] == ',')) ++i;
        if (i >= s.size()) return 0;
        size_t name_at = i;
        while (i < s.size() && ident_char(s[i])) ++i;
        std::string name = s.substr(name_at, i - name_at);
        while (i < s.size() && blank(s[i])) ++i;
        if (name.empty() || !ident_start(name[0]) || i >= s.size() || s[i] != '=')
            return r.fail("SY needs name=value");
        size_t start = ++i;
        int depth = 0;
        while (i < s.size()) {
            char ch = s[i];
            if (ch == '(') ++depth;
            if (ch == ')') --depth;
            if (depth <= 0 && (ch == ',' || (blank(ch) && definition_at(s, i)))) break;
            ++i;
        }
        std::string value = trim(s.substr(start, i - start));
        cut(name, kNameMax);
        double v = 0;
        if (!model_get_override(name, &v) && expr_eval_symbols(value, &v) != 0)
            return r.fail("SY: cannot evaluate '%s'", value.c_str());
        if (expr_setvar(name, v) != 0) return r.fail("SY: more than %d symbols", kMaxVars);
    }
}
