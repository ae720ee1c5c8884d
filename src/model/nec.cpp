// The NEC-2 card deck reader: line handling, card fields, dispatch, and the
// cards that are not geometry (comments, ground, sources, loads, lines,
// networks, frequencies). The geometry cards are in nec_geometry.cpp.
#include "model/nec.h"

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <iterator>

#include "common/text.h"
#include "model/nec_card.h"
#include "model/tokens.h"

int NecReader::fail(const char* fmt, ...) {
    std::va_list ap;
    va_start(ap, fmt);
    std::string msg = vstrfmt(fmt, ap);
    va_end(ap);
    return set_err(err, "line %d: %s", card_line, msg.c_str());
}

void NecReader::note(const std::string& kind, const char* fmt, ...) {
    for (NecNote& n : notes)
        if (n.kind == kind) {
            n.more.push_back(card_line);
            return;
        }
    std::va_list ap;
    va_start(ap, fmt);
    notes.push_back({kind, card_line, vstrfmt(fmt, ap), {}});
    va_end(ap);
}

void NecReader::flush_notes() {
    for (const NecNote& n : notes) {
        std::string w = strfmt("line %d: %s", n.line, n.text.c_str());
        if (!n.more.empty()) {
            w += n.more.size() == 1 ? " (also line " : " (also lines ";
            for (size_t k = 0; k < n.more.size(); ++k)
                w += strfmt("%s%d", k ? ", " : "", n.more[k]);
            w += ")";
        }
        m.warnings.push_back(w);
    }
    notes.clear();
}

bool nec_finite(const NecCard& c, int first, int last) {
    for (int k = first; k <= last; ++k)
        if (!std::isfinite(c.F(k))) return false;
    return true;
}

NecCard nec_card(const std::string& line) {
    NecCard c;
    if (line.size() < 2) return c;
    for (int k = 0; k < 2; ++k) {
        unsigned char ch = static_cast<unsigned char>(line[static_cast<size_t>(k)]);
        if (std::isspace(ch)) break; // a one-letter line
        c.name += static_cast<char>(std::toupper(ch));
    }
    Tokens t = tokenize(line.substr(2));
    c.nfield = static_cast<int>(t.size());
    for (int k = 0; k < kNecFields && k < c.nfield; ++k) {
        c.i[k] = num_i(t[static_cast<size_t>(k)]);
        c.f[k] = num_d(t[static_cast<size_t>(k)]);
        c.text.push_back(t[static_cast<size_t>(k)]);
    }
    return c;
}

namespace {

// Physical lines of a deck, one at a time, with one line of look-ahead for
// the taper card of a GW. A line keeps its first kLineMax characters (line
// end included); the rest of a longer line is dropped, so that an overlong
// comment cannot turn into cards and line numbers stay those of an editor.
// Text after a NUL byte is cut, as a C string would be.
class DeckLines {
  public:
    explicit DeckLines(std::FILE* f) : f_(f) {}

    bool next(std::string& out) {
        if (peeked_) {
            peeked_ = false;
            out = std::move(peek_);
            return true;
        }
        return read(out);
    }

    // The next line without taking it, or null at the end of the file.
    const std::string* peek() {
        if (!peeked_) peeked_ = read(peek_);
        return peeked_ ? &peek_ : nullptr;
    }

  private:
    bool read(std::string& out) {
        out.clear();
        int ch = 0;
        bool any = false;
        while ((ch = std::fgetc(f_)) != EOF) {
            any = true;
            if (out.size() < kLineMax) out += static_cast<char>(ch);
            if (ch == '\n') break;
        }
        if (!any) return false;
        size_t nul = out.find('\0');
        if (nul != std::string::npos) out.resize(nul);
        return true;
    }

    std::FILE* f_;
    std::string peek_;
    bool peeked_ = false;
};

bool card_is(const std::string& line, const char* name) {
    return line.size() >= 2 && std::toupper(static_cast<unsigned char>(line[0])) == name[0] &&
           std::toupper(static_cast<unsigned char>(line[1])) == name[1];
}

// CM, CE: the first comment with text names the model. The text starts after
// the card name and any spaces; the line end is dropped, other trailing white
// space stays.
void card_comment(NecReader& r, const std::string& line) {
    if (!r.m.title.empty()) return;
    size_t i = 2;
    while (i < line.size() && line[i] == ' ') ++i;
    size_t e = line.size();
    while (e > i && (line[e - 1] == '\n' || line[e - 1] == '\r')) --e;
    if (e == i) return;
    r.m.title = line.substr(i, e - i);
    cut(r.m.title, kTitleMax);
}

// GE: a non-zero flag of -1 or 1 says the structure sits over a ground
// plane; without a GN card that is a perfect ground.
int card_ge(NecReader& r, const NecCard& c) {
    if ((c.I(1) == 1 || c.I(1) == -1) && r.m.ground == GROUND_FREE) r.m.ground = GROUND_PERFECT;
    return 0;
}

// GN: 1 perfect ground, -1 free space, otherwise a lossy ground with
// relative permittivity F5 and conductivity F6 (S/m), with the Sommerfeld
// correction for type 2. A radial screen (I2 radials) and a second medium
// (F7 to F10 without radials) are not modelled: the card is read without
// them, and said so.
int card_gn(NecReader& r, const NecCard& c) {
    int type = c.I(1);
    if (type == 1) {
        r.m.ground = GROUND_PERFECT;
    } else if (type == -1) {
        r.m.ground = GROUND_FREE;
    } else {
        double eps = c.F(5), sigma = c.F(6);
        if (!std::isfinite(eps) || !std::isfinite(sigma) || eps < 1 || sigma < 0)
            return r.fail("GN needs finite ground constants: permittivity >= 1, conductivity >= 0");
        r.m.ground = GROUND_REAL;
        r.m.eps = eps;
        r.m.sigma = sigma;
        r.m.somm = type == 2 ? 1 : 0;
        if (c.I(2) > 0)
            r.note("GN radials",
                   "GN: the radial ground screen (%d radials) is not modelled; the ground is "
                   "the plain lossy ground without it",
                   c.I(2));
        else if (c.F(7) != 0 || c.F(8) != 0 || c.F(9) != 0 || c.F(10) != 0)
            r.note("GN medium",
                   "GN: the second ground medium is not modelled; the ground is the first "
                   "medium everywhere");
    }
    return 0;
}

// EX: a voltage source (types 0 and 5) of F5 + jF6 volts, 1 V when both are
// zero, on segment I3 of tag I2.
int card_ex(NecReader& r, const NecCard& c) {
    if (c.I(1) != 0 && c.I(1) != 5) return r.fail("only voltage sources (EX 0) are supported");
    if (!nec_finite(c, 5, 6)) return r.fail("EX voltage must be finite numbers");
    Source& s = add_src(r.m);
    s.tag = c.I(2);
    s.seg = c.I(3);
    s.v = {c.F(5), c.F(6)};
    if (s.v == std::complex<double>(0, 0)) s.v = 1.0;
    return 0;
}

// LD: -1 removes the loads so far; types 0 to 5 add a load on segments I3 to
// I4 of tag I2 with the values F5, F6, F7.
int card_ld(NecReader& r, const NecCard& c) {
    int type = c.I(1);
    if (type == -1) {
        r.m.loads.clear();
        return 0;
    }
    if (type < LOAD_SERIES || type > LOAD_CONDUCTIVITY)
        return r.fail("LD type %d is not a load type (0 to 5, or -1)", type);
    if (!nec_finite(c, 5, 7)) return r.fail("LD values must be finite numbers");
    Load& l = add_load(r.m);
    l.type = type;
    l.tag = c.I(2);
    l.seg1 = c.I(3);
    l.seg2 = c.I(4);
    l.r = c.F(5);
    l.l = c.F(6);
    l.c = c.F(7);
    return 0;
}

// TL: a line of impedance |F5| (crossed when F5 is negative) and length F6
// (0 = the straight distance) from segment I2 of tag I1 to segment I4 of tag
// I3, with the shunt admittances F7 + jF8 across end 1 and F9 + jF10 across
// end 2 (a large one shorts a stub).
int card_tl(NecReader& r, const NecCard& c) {
    if (!nec_finite(c, 5, 10)) return r.fail("TL values must be finite numbers");
    if (c.F(5) == 0) return r.fail("TL needs a non-zero characteristic impedance");
    TLine& t = add_tl(r.m);
    t.tag1 = c.I(1);
    t.seg1 = c.I(2);
    t.tag2 = c.I(3);
    t.seg2 = c.I(4);
    t.z0 = std::fabs(c.F(5));
    t.rev = c.F(5) < 0 ? 1 : 0;
    t.len = c.F(6);
    t.y1 = {c.F(7), c.F(8)};
    t.y2 = {c.F(9), c.F(10)};
    return 0;
}

// NT: a two-port between the same ends as TL, given by its short-circuit
// admittances y11, y12, y22 (siemens). An all-zero network keeps a tiny y11
// so that it stays a network and is not taken for a line.
int card_nt(NecReader& r, const NecCard& c) {
    if (!nec_finite(c, 5, 10)) return r.fail("NT admittances must be finite numbers");
    TLine& t = add_tl(r.m);
    t.tag1 = c.I(1);
    t.seg1 = c.I(2);
    t.tag2 = c.I(3);
    t.seg2 = c.I(4);
    t.z0 = 0;
    t.y11 = {c.F(5), c.F(6)};
    t.y12 = {c.F(7), c.F(8)};
    t.y22 = {c.F(9), c.F(10)};
    const std::complex<double> zero(0, 0);
    if (t.y11 == zero && t.y12 == zero && t.y22 == zero) t.y11 = 1e-12;
    return 0;
}

// FR: frequency F5 MHz; with I2 >= 2 frequencies a sweep from there in
// additive steps of F6 MHz (I1 = 0) or multiplicative steps of F6 (I1 = 1),
// designed at its middle. The run solves one set of frequencies: those of
// the first FR card; later FR cards are said to be ignored.
int card_fr(NecReader& r, const NecCard& c) {
    if (r.fr_line > 0) {
        r.note("FR", "FR: ignored; the run uses the frequencies of the FR card on line %d",
               r.fr_line);
        return 0;
    }
    if (!nec_finite(c, 5, 6)) return r.fail("FR values must be finite numbers");
    double f = c.F(5) * 1e6;
    if (!(f > 0)) return r.fail("FR needs a positive frequency (got %g MHz)", c.F(5));
    int n = c.I(2);
    r.fr_line = r.card_line;
    if (n < 2) {
        r.m.f0 = f;
        return 0;
    }
    double stop = c.I(1) == 1 ? f * std::pow(c.F(6), n - 1) : f + c.F(6) * 1e6 * (n - 1);
    if (!std::isfinite(stop) || !(stop > 0))
        return r.fail("FR sweep of %d steps of %g does not end at a positive frequency", n, c.F(6));
    r.m.fstart = f;
    r.m.fstop = stop;
    r.m.nfreq = n;
    r.m.f0 = (f + stop) / 2;
    if (c.I(1) == 1)
        r.note("FR steps",
               "FR: the %d frequencies in steps of x%g are run in equal steps from %g to %g MHz", n,
               c.F(6), f / 1e6, stop / 1e6);
    return 0;
}

// RP: the first card's theta and phi steps (F7, F8 degrees, when the card
// asks for more than one angle) become the pattern grid's steps; the grid
// still covers every direction. A step finer than the grid takes keeps the
// grid's own.
int card_rp(NecReader& r, const NecCard& c) {
    if (r.rp_seen) return 0;
    r.rp_seen = true;
    const double steps[2] = {std::fabs(c.F(7)), std::fabs(c.F(8))};
    const int counts[2] = {c.I(2), c.I(3)};
    double* grid[2] = {&r.m.dth, &r.m.dph};
    for (int k = 0; k < 2; ++k) {
        if (counts[k] < 2 || !(steps[k] > 0) || !std::isfinite(steps[k])) continue;
        if (steps[k] < kNecMinPatternStep) {
            r.note("RP step", "RP: a step of %g deg is finer than the pattern grid takes (%g deg)",
                   steps[k], kNecMinPatternStep);
            continue;
        }
        *grid[k] = steps[k];
    }
    return 0;
}

// EK: the extended thin-wire kernel; EK -1 asks for the usual one.
int card_ek(NecReader& r, const NecCard& c) {
    if (c.I(1) != -1)
        r.note("EK", "EK: the extended thin-wire kernel is not used; the run uses the reduced "
                     "kernel");
    return 0;
}

using CardFn = int (*)(NecReader&, const NecCard&);

struct CardKind {
    const char* name;
    CardFn fn;
};

const CardKind kCards[] = {
    {"GA", nec_ga},  {"GH", nec_gh},  {"GM", nec_gm},  {"GR", nec_gr},  {"GX", nec_gx},
    {"GS", nec_gs},  {"GE", card_ge}, {"GN", card_gn}, {"EX", card_ex}, {"LD", card_ld},
    {"TL", card_tl}, {"NT", card_nt}, {"FR", card_fr}, {"RP", card_rp}, {"EK", card_ek},
};

// Cards that ask for output this run does not make, or tune how NEC-2
// computes: they change nothing in the figures reported and are passed
// over without a word. XQ executes, PT and PQ print, CP couples, KH sets an
// interaction distance, WG writes a Green's function file.
const char* const kSilent[] = {"XQ", "PT", "PQ", "CP", "KH", "WG"};

// Cards that ask for something this run does not do, said once per kind.
struct Ignored {
    const char* name;
    const char* text;
};
const Ignored kIgnored[] = {
    {"NE", "NE: near fields are not computed"},
    {"NH", "NH: near fields are not computed"},
    {"GD", "GD: the second ground medium of the far field is not modelled"},
};

// Cards that describe structure this reader cannot represent: surface
// patches and a structure stored in a Green's function file. Dropping them
// would analyse a different antenna without a word.
struct Unsupported {
    const char* name;
    const char* what;
};
const Unsupported kUnsupported[] = {
    {"SP", "surface patches (SP)"},
    {"SM", "surface patches (SM)"},
    {"SC", "surface patches (SC)"},
    {"GF", "structures read from a Green's function file (GF)"},
};

// The text of a card without its comment: a single quote starts one, as
// the decks of the common front-ends write them ("SY h=10 'height").
std::string without_comment(const std::string& line) {
    size_t q = line.find('\'');
    return q == std::string::npos ? line : line.substr(0, q);
}

// A line that is blank, or a comment of the kinds decks carry besides CM
// and CE ('!', single quote, '#', ';'), also after leading blanks.
bool blank_or_comment(const std::string& line, size_t from) {
    size_t i = from;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= line.size()) return true;
    char ch = line[i];
    return ch == '!' || ch == '\'' || ch == '#' || ch == ';';
}

// Cards that execute: the first of them after the FR card ends the run
// that is computed.
const char* const kExecute[] = {"XQ", "RP", "NE", "NH"};

// Cards that change the excitation, loads, lines, networks, ground or kernel
// for the runs that follow. After the end of the first run they describe a
// further run (NEC-2 replaces the sources of an EX after an execution card,
// and adds loads to the earlier ones): taking them into the one run computed
// would analyse an antenna that neither run describes. FR has its own
// warning.
const char* const kFurtherRun[] = {"EX", "LD", "TL", "NT", "GN", "GD", "EK"};

bool name_in(const std::string& name, const char* const* names, size_t n) {
    for (size_t k = 0; k < n; ++k)
        if (name == names[k]) return true;
    return false;
}

// GW, with the taper card that follows a wire without a positive radius.
int card_gw(NecReader& r, NecCard& c, DeckLines& in) {
    if (nec_fields(r, c) != 0) return -1;
    if (c.nfield >= 9 && c.F(9) > 0) return nec_gw(r, c, nullptr);
    const std::string* next = in.peek();
    if (!next || !card_is(*next, "GC")) {
        if (!std::isfinite(c.F(9))) return nec_gw(r, c, nullptr); // says why
        return r.fail("GW needs a radius");
    }
    NecCard taper = nec_card(without_comment(*next));
    std::string line;
    in.next(line);
    r.card_line = ++r.line;
    if (nec_fields(r, taper) != 0) return -1;
    r.card_line = r.line - 1;
    return nec_gw(r, c, &taper);
}

} // namespace

int read_nec(std::FILE* f, Model& m, std::string& err) {
    NecReader r{m, err};
    DeckLines in(f);
    std::string line;
    while (in.next(line)) {
        r.card_line = ++r.line;
        if (line.size() < 2 || blank_or_comment(line, 0)) continue;
        if (card_is(line, "CM") || card_is(line, "CE")) {
            card_comment(r, line);
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(line[0]))) {
            r.note("indented", "a card that starts with a blank is not read");
            continue;
        }
        if (card_is(line, "SY")) {
            if (nec_sy(r, without_comment(line).substr(2)) != 0) return -1;
            continue;
        }
        NecCard c = nec_card(without_comment(line));
        if (c.name == "EN") break;
        if (c.name == "NX") { // a next structure follows: not read
            const std::string* next = in.peek();
            if (next && !blank_or_comment(*next, 0) && !card_is(*next, "EN"))
                r.note("NX", "NX: only the first structure of the deck is read");
            break;
        }
        if (c.name == "GW") {
            if (card_gw(r, c, in) != 0) return -1;
            continue;
        }
        if (r.run_end_line > 0 && name_in(c.name, kFurtherRun, std::size(kFurtherRun))) {
            if (nec_fields(r, c) != 0) return -1;
            r.note("after " + c.name,
                   "%s: ignored; it belongs to a further run after the %s card on line %d, "
                   "and only the first run of a deck is computed",
                   c.name.c_str(), r.run_end_card.c_str(), r.run_end_line);
            continue;
        }
        if (r.run_end_line == 0 && r.fr_line > 0 &&
            name_in(c.name, kExecute, std::size(kExecute))) {
            r.run_end_line = r.card_line;
            r.run_end_card = c.name;
        }
        bool known = false;
        for (const Unsupported& u : kUnsupported)
            if (c.name == u.name) return r.fail("%s are not supported", u.what);
        for (const CardKind& k : kCards)
            if (c.name == k.name) {
                if (nec_fields(r, c) != 0 || k.fn(r, c) != 0) return -1;
                known = true;
                break;
            }
        if (known || name_in(c.name, kSilent, std::size(kSilent))) continue;
        for (const Ignored& g : kIgnored)
            if (c.name == g.name) {
                r.note(g.name, "%s", g.text);
                known = true;
            }
        if (known) continue;
        if (c.name == "GC")
            r.note("GC", "GC: a taper card that does not follow a GW card without radius is "
                         "ignored");
        else
            r.note("card " + c.name, "card '%s' is not known and is ignored", c.name.c_str());
    }
    r.flush_notes();
    return 0;
}
