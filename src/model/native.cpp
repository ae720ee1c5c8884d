// The native keyword format: line handling, dispatch and the core keywords
// TITLE, UNITS, FREQ, SWEEP, WIRE, SOURCE, VAR/PARAM and END.
#include "model/native.h"

#include <cctype>
#include <cmath>
#include <cstdarg>

#include "common/constants.h"
#include "common/text.h"
#include "model/expr.h"

int NativeReader::fail(const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::string msg = vstrfmt(fmt, ap);
    va_end(ap);
    return set_err(err, "line %d: %s", line, msg.c_str());
}

void NativeReader::warn(const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::string msg = vstrfmt(fmt, ap);
    va_end(ap);
    m.warnings.push_back(strfmt("line %d: %s", line, msg.c_str()));
}

namespace {

int kw_end(NativeReader&, Tokens&) {
    return 0;
}

// Dispatch table, in lookup order. Substitution of expressions in the
// fields happens before the handler runs, from subst_from on.
const Keyword kKeywords[] = {
    {"VAR", 1, -1, kw_var},        {"PARAM", 1, -1, kw_var},
    {"OPTVAR", 4, -1, kw_optvar},  {"GOAL", 2, -1, kw_goal},
    {"OPTSET", 1, -1, kw_optset},  {"TITLE", 1, 1, kw_title},
    {"UNITS", 2, 1, kw_units},     {"FREQ", 2, 1, kw_freq},
    {"SWEEP", 4, 1, kw_sweep},     {"WIRE", 7, 1, kw_wire},
    {"LOOP", 6, 1, kw_loop},       {"HELIX", 7, 1, kw_helix},
    {"SPLINE", 7, 1, kw_spline},   {"POLYLINE", 7, 1, kw_polyline},
    {"CURVE", 4, 4, kw_curve}, // the three expressions in t stay as written
    {"SOURCE", 3, 1, kw_source},   {"LOAD", 3, 1, kw_load},
    {"TL", 5, 1, kw_tl},           {"GROUND", 2, 1, kw_ground},
    {"DISH", 1, 1, kw_dish},       {"MATERIAL", 2, 1, kw_material},
    {"MESH", 1, 1, kw_mesh},       {"Z0", 2, 1, kw_z0},
    {"PATTERN", 1, 1, kw_pattern}, {"END", 1, 1, kw_end},
};

// Shows bytes that a terminal cannot print as '?', so that a message about
// a binary file stays one readable line.
std::string printable(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) c = '?';
    }
    return out;
}

bool is_blank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// A line of the form "TITLE text": the title is the rest of the line with
// the surrounding white space removed. Comment characters stay in it.
bool title_line(const std::string& line, std::string* title) {
    size_t i = 0;
    while (i < line.size() && is_blank(line[i])) ++i;
    if (line.size() < i + 6 || !iequals(line.substr(i, 5), "TITLE") || !is_blank(line[i + 5]))
        return false;
    i += 5;
    while (i < line.size() && is_blank(line[i])) ++i;
    size_t e = line.size();
    while (e > i && is_blank(line[e - 1])) --e;
    *title = line.substr(i, e - i);
    cut(*title, kTitleMax);
    return true;
}

} // namespace

int wire_ref(const Model& m, const std::string& text) {
    for (int k = 0; k < m.npath(); ++k)
        if (iequals(m.paths[static_cast<size_t>(k)].name, text)) return -2 - k;
    for (int i = 0; i < m.nwire(); ++i) {
        const std::string& n = m.wires[static_cast<size_t>(i)].name;
        if (!n.empty() && iequals(n, text)) return i;
    }
    int n = num_i(text);
    if (n >= 1 && n <= m.nwire()) return n - 1;
    return -1;
}

void store_ref(int ref, int* wire, int* path) {
    if (ref >= 0) {
        *wire = ref;
        *path = -1;
    } else if (ref <= -2) {
        *wire = -1;
        *path = -2 - ref;
    } else {
        *wire = -1;
        *path = -1;
    }
}

int kw_var(NativeReader& r, Tokens& t) {
    for (size_t i = 1; i < t.size(); ++i) {
        std::string name, value;
        size_t eq = t[i].find('=');
        if (eq != std::string::npos) {
            name = t[i].substr(0, eq);
            value = t[i].substr(eq + 1);
        } else {
            if (i + 1 >= t.size()) return r.fail("VAR needs name=value");
            name = t[i];
            value = t[++i];
        }
        cut(name, kNameMax);
        double v = 0;
        if (!model_get_override(name, &v) && expr_eval(value, 0.0, &v) != 0)
            return r.fail("cannot evaluate '%s'", value.c_str());
        // In expressions t is the curve parameter (0 outside CURVE): a
        // variable of that name is never read.
        if (iequals(name, "t"))
            r.warn("VAR t is never read: in expressions t is the curve parameter (0 outside "
                   "CURVE)");
        expr_setvar(name, v); // a full table drops the definition
    }
    return 0;
}

int kw_title(NativeReader& r, Tokens& t) {
    std::string title;
    for (size_t i = 1; i < t.size(); ++i) {
        if (i > 1) title += ' ';
        title += t[i].substr(0, 200);
    }
    cut(title, kTitleMax);
    r.m.title = title;
    return 0;
}

int kw_units(NativeReader& r, Tokens& t) {
    std::string u = lower(t[1]);
    if (u == "cm")
        r.scale = 0.01;
    else if (u == "mm")
        r.scale = 0.001;
    else if (u == "ft")
        r.scale = 0.3048;
    else if (u == "in")
        r.scale = 0.0254;
    else
        r.scale = 1.0; // "m" and any other word
    return 0;
}

int kw_freq(NativeReader& r, Tokens& t) {
    r.freq_unit = t.size() > 2 ? freq_unit(t[2]) : 1e6;
    double f = num_d(t[1]) * r.freq_unit;
    if (!std::isfinite(f)) return r.fail("FREQ needs a finite frequency");
    r.m.f0 = f;
    return 0;
}

int kw_sweep(NativeReader& r, Tokens& t) {
    double unit = t.size() > 4 ? freq_unit(t[4]) : r.freq_unit;
    double f1 = num_d(t[1]) * unit, f2 = num_d(t[2]) * unit;
    if (!std::isfinite(f1) || !std::isfinite(f2)) return r.fail("SWEEP needs finite frequencies");
    r.m.fstart = f1;
    r.m.fstop = f2;
    r.m.nfreq = num_i(t[3]);
    return 0;
}

int kw_wire(NativeReader& r, Tokens& t) {
    Wire w;
    w.x1 = num_d(t[1]) * r.scale;
    w.y1 = num_d(t[2]) * r.scale;
    w.z1 = num_d(t[3]) * r.scale;
    w.x2 = num_d(t[4]) * r.scale;
    w.y2 = num_d(t[5]) * r.scale;
    w.z2 = num_d(t[6]) * r.scale;
    w.radius = radius_opts(t, 7, r.scale, 0.001, true);
    w.tag = r.m.nwire() + 1;
    if (auto v = kv(t, 7, "seg")) w.nseg = num_i(*v);
    if (auto v = kv(t, 7, "name")) {
        w.name = *v;
        cut(w.name, kNameMax);
    }
    if (mat_opt(r, t, 7, &w.sigma) != 0) return -1;
    if (sleeve_opts(r, t, 7, "WIRE", &w.ins_t, &w.ins_eps) != 0) return -1;
    const double vals[] = {w.x1, w.y1, w.z1, w.x2, w.y2, w.z2, w.radius};
    for (double v : vals)
        if (!std::isfinite(v)) return r.fail("WIRE coordinates and radius must be finite numbers");
    add_wire(r.m) = w;
    return 0;
}

int kw_source(NativeReader& r, Tokens& t) {
    Source& s = add_src(r.m);
    store_ref(wire_ref(r.m, t[1]), &s.wire, &s.path);
    s.pos = num_d(t[2]) / 100.0;
    double volts = 1.0, phase = 0.0;
    if (auto v = kv(t, 3, "V")) volts = num_d(*v);
    if (auto v = kv(t, 3, "phase")) phase = num_d(*v);
    s.v = std::polar(1.0, phase * phys::deg) * volts;
    if (s.wire < 0 && s.path < 0) return r.fail("unknown wire '%s'", t[1].c_str());
    if (!std::isfinite(s.pos) || !std::isfinite(s.v.real()) || !std::isfinite(s.v.imag()))
        return r.fail("SOURCE position and voltage must be finite numbers");
    return 0;
}

int read_native(std::FILE* f, Model& m, std::string& err) {
    NativeReader r{m, err};
    LineReader in(f);
    std::string line;
    while (in.next(line)) {
        ++r.line;
        std::string title;
        if (title_line(line, &title)) {
            m.title = title;
            continue;
        }
        size_t cmt = line.find_first_of("#;");
        if (cmt != std::string::npos) line.resize(cmt);
        Tokens t = tokenize(line);
        if (t.empty()) continue;

        const Keyword* kw = nullptr;
        for (const Keyword& k : kKeywords)
            if (iequals(t[0], k.name)) {
                kw = &k;
                break;
            }
        if (!kw || static_cast<int>(t.size()) < kw->min_tokens)
            return r.fail("unknown keyword '%s'", printable(t[0]).c_str());
        if (kw->subst_from >= 0) subst_tokens(t, kw->subst_from);
        if (native_check_fields(r, t) != 0 || kw->fn(r, t) != 0) return -1;
        if (kw->fn == kw_end) break;
    }
    return 0;
}
