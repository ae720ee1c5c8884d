// What the native keywords expect in their fields, checked after the
// expressions were substituted and before a keyword's handler reads them:
// a field that is to be a number and is not one (an undefined variable,
// "-hl" without hl, "1mm" where a plain number belongs) is refused, since
// reading it as its leading digits or as 0 would build another antenna; an
// option key the keyword does not know, a field beyond those it reads and
// a unit or kind word it does not know are said in a warning, since they
// are ignored.
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "common/text.h"
#include "model/native.h"

namespace {

// Positional fields after the keyword, one letter each: 'n' a number,
// 'w' a word (a wire reference, a kind), 'u' an optional unit word,
// 'e' an expression in t, '*' the x y z triples of SPLINE and POLYLINE
// (numbers up to the first option). Fields beyond the list are extra.
//
// Options, as "key:kind" separated by blanks: n a number, l a length
// with an optional unit suffix (mm, cm, m, in, mil), m a material or a
// conductivity, i a sleeve material or a permittivity, w a word.
struct KeywordFields {
    const char* keyword;
    const char* positional;
    const char* options;
    const char* flags; // words the keyword knows, blank separated
};

#define QL_RADIUS "r:n d:n awg:n w:n name:w mat:m ins:n insmm:n inseps:n insul:i "

const KeywordFields kKeywordFields[] = {
    {"UNITS", "w", "", ""},
    {"FREQ", "nu", "", ""},
    {"SWEEP", "nnnu", "", ""},
    {"WIRE", "nnnnnn", QL_RADIUS "dmm:n seg:n", ""},
    {"LOOP", "nnnnn", QL_RADIUS "axis:w rot:n", "left"},
    {"HELIX", "nnnnnn", QL_RADIUS "rot:n", "left"},
    {"SPLINE", "*", QL_RADIUS, ""},
    {"POLYLINE", "*", QL_RADIUS "pieces:n", ""},
    {"CURVE", "eee", QL_RADIUS "t0:n t1:n pieces:n", ""},
    {"SOURCE", "wn", "V:n phase:n", ""},
    {"LOAD", "wn", "R:n L:n C:n X:n", "par parallel"},
    {"TL", "wnwn", "Z0:n len:n vf:n loss:n", "rev"},
    {"GROUND", "w", "eps:n sigma:n tand:n h:l thickness:l",
     "groundplane grounded mininec sommerfeld"},
    {"DISH", "", "D:l F:l FD:n mesh:l wire:l block:l q:n", ""},
    {"MATERIAL", "m", "", ""},
    {"MESH", "", "segwl:n angle:n taper:w ends:w fmax:n", ""},
    {"Z0", "n", "", ""},
    {"PATTERN", "", "dth:n dph:n", ""},
    {"GOAL", "w", "theta:n elev:n phi:n az:n target:n weight:n", ""},
    {"OPTSET", "", "pop:n gen:n seed:n", ""},
};

#undef QL_RADIUS

bool is_number(const std::string& s) {
    const char* p = s.c_str();
    char* end = nullptr;
    std::strtod(p, &end);
    return end != p && *end == '\0';
}

// A number with an optional length unit, as len_unit reads it.
bool is_length(const std::string& s) {
    const char* p = s.c_str();
    char* end = nullptr;
    std::strtod(p, &end);
    if (end == p) return false;
    std::string unit = lower(end);
    return unit.empty() || unit == "mm" || unit == "cm" || unit == "m" || unit == "in" ||
           unit == "mil";
}

// The kind of an option key in the keyword's table, or 0 when the keyword
// has no such option.
char option_kind(const KeywordFields& f, const std::string& key) {
    std::string opts = f.options;
    size_t i = 0;
    while (i < opts.size()) {
        size_t e = opts.find(' ', i);
        if (e == std::string::npos) e = opts.size();
        std::string item = opts.substr(i, e - i);
        size_t colon = item.find(':');
        if (colon != std::string::npos && iequals(item.substr(0, colon), key))
            return item[colon + 1];
        i = e + 1;
    }
    return 0;
}

bool known_flag(const KeywordFields& f, const std::string& word) {
    std::string flags = f.flags;
    size_t i = 0;
    while (i < flags.size()) {
        size_t e = flags.find(' ', i);
        if (e == std::string::npos) e = flags.size();
        if (iequals(flags.substr(i, e - i), word)) return true;
        i = e + 1;
    }
    return false;
}

int not_a_number(NativeReader& r, const std::string& text) {
    return r.fail("'%s' is not a number (undefined variable?)", text.c_str());
}

// One value against its kind; -1 after r.fail().
int check_value(NativeReader& r, char kind, const std::string& v) {
    switch (kind) {
    case 'n':
        return is_number(v) ? 0 : not_a_number(r, v);
    case 'l':
        return is_length(v) ? 0 : not_a_number(r, v);
    case 'm':
        if (is_number(v) || material_known(v)) return 0;
        return r.fail("'%s' is neither a material nor a conductivity", v.c_str());
    case 'i':
        if (is_number(v) || sleeve_known(v)) return 0;
        return r.fail("'%s' is neither a sleeve material nor a permittivity", v.c_str());
    default:
        return 0;
    }
}

// Unit and kind words that the keywords take; another word falls back to a
// default, which is said.
void check_words(NativeReader& r, const Tokens& t) {
    const std::string kw = lower(t[0]);
    auto known = [](const std::string& w, std::initializer_list<const char*> words) {
        for (const char* k : words)
            if (iequals(w, k)) return true;
        return false;
    };
    if (kw == "units" && !known(t[1], {"m", "cm", "mm", "ft", "in"}))
        r.warn("UNITS: unknown unit '%s'; lengths are in metres", t[1].c_str());
    if ((kw == "freq" && t.size() > 2) || (kw == "sweep" && t.size() > 4)) {
        const std::string& u = t[kw == "freq" ? 2 : 4];
        if (u.find('=') == std::string::npos && !known(u, {"hz", "khz", "mhz", "ghz"}))
            r.warn("%s: unknown frequency unit '%s'; MHz is taken", t[0].c_str(), u.c_str());
    }
    if (kw == "ground" && !known(t[1], {"perfect", "real", "pcb", "board", "free", "none"}))
        r.warn("GROUND: unknown kind '%s'; the antenna is in free space", t[1].c_str());
}

} // namespace

int native_check_fields(NativeReader& r, const Tokens& line) {
    const KeywordFields* fields = nullptr;
    for (const KeywordFields& f : kKeywordFields)
        if (iequals(line[0], f.keyword)) fields = &f;
    if (!fields) return 0;
    // GOAL substitutes its options itself, after the kind word.
    Tokens goal;
    if (iequals(line[0], "GOAL")) {
        goal = line;
        subst_tokens(goal, 2);
    }
    const Tokens& t = goal.empty() ? line : goal;

    // Positional fields.
    const std::string pos = fields->positional;
    size_t i = 1;
    if (pos == "*") {
        size_t n = 0;
        while (i < t.size() && t[i].find('=') == std::string::npos) {
            if (!is_number(t[i])) return not_a_number(r, t[i]);
            ++i;
            ++n;
        }
        const size_t used = std::min<size_t>(n / 3, kMaxLinePoints) * 3;
        for (size_t k = 1 + used; k < i; ++k)
            r.warn("%s: extra field '%s' is ignored (points are x y z triples)", t[0].c_str(),
                   t[k].c_str());
    } else {
        for (size_t k = 0; k < pos.size() && i < t.size(); ++k, ++i) {
            if (pos[k] == 'u' && t[i].find('=') != std::string::npos) break;
            if ((pos[k] == 'n' || pos[k] == 'm') && check_value(r, pos[k], t[i]) != 0) return -1;
        }
    }

    // Options, flags and extra fields.
    for (; i < t.size(); ++i) {
        const std::string& tok = t[i];
        size_t eq = tok.find('=');
        if (eq == std::string::npos) {
            if (!known_flag(*fields, tok))
                r.warn("%s: extra field '%s' is ignored", t[0].c_str(), tok.c_str());
            continue;
        }
        std::string key = tok.substr(0, eq);
        char kind = option_kind(*fields, key);
        if (!kind) {
            r.warn("%s: unknown option '%s=' is ignored", t[0].c_str(), key.c_str());
            continue;
        }
        if (check_value(r, kind, tok.substr(eq + 1)) != 0) return -1;
    }
    check_words(r, t);
    return 0;
}
