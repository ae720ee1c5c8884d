// Pieces shared by the NEC deck reader (nec.cpp) and its geometry cards
// (nec_geometry.cpp): one parsed card and the state of one read.
#pragma once

#include <string>
#include <vector>

#include "model/model.h"

constexpr int kNecFields = 16; // fields converted per card

// One card: its two-letter name and the first 16 fields after it, each
// converted both as an integer and as a real. Fields are numbered from 1 as
// in the NEC-2 card layouts; missing fields are 0.
struct NecCard {
    std::string name; // the first two characters, upper case
    int nfield = 0;   // fields present on the line (at most 64)
    int i[kNecFields] = {};
    double f[kNecFields] = {};
    std::vector<std::string> text; // the first 16 fields as written

    int I(int k) const { return i[k - 1]; }
    double F(int k) const { return f[k - 1]; }
};

// Parses one deck line. A line shorter than two characters has an empty name.
NecCard nec_card(const std::string& line);

// A warning about cards that are read but not used as written: one per
// kind, naming the line of the first such card and the lines of the others.
struct NecNote {
    std::string kind;
    int line = 0;
    std::string text;
    std::vector<int> more;
};

// State of one read_nec call.
struct NecReader {
    Model& m;
    std::string& err;
    int line = 0;       // lines read so far
    int card_line = 0;  // line of the card being handled (messages name it)
    long long nseg = 0; // segments of all wires so far
    int fr_line = 0;    // the FR card whose frequencies are run, 0 before the first
    // The execution card (XQ, RP, NE or NH) after that FR card that ends the
    // run this reader describes; 0 before it. NEC-2 would run the deck again
    // for the cards that follow it.
    int run_end_line = 0;
    std::string run_end_card{};
    bool rp_seen = false;
    std::vector<NecNote> notes{};

    // Writes "line %d: <message>" for the current card and returns -1.
    int fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Notes a warning of the given kind for the current card; a kind noted
    // before only gains the card's line.
    void note(const std::string& kind, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    // The notes as the model's warning lines, in the order of their kinds'
    // first cards.
    void flush_notes();
};

// Numeric fields of the cards that this reader uses: fields 1 .. nint are
// integers, nint + 1 .. nfield reals. Fields beyond nfield are not read.
struct NecLayout {
    const char* name;
    int nint;
    int nfield;
};
const NecLayout* nec_layout(const std::string& name);

// Checks the numeric fields of a card with a layout: each is a number, or
// a symbol or expression of the deck's SY cards, and an integer field holds
// a whole number. The values replace the card's i and f. Returns 0, or -1
// after r.fail() for a field that is no number (a percentage in an integer
// field names the dialect that writes one).
int nec_fields(NecReader& r, NecCard& c);

// SY: the definitions "name=expression" of one card (text after the card
// name), separated by commas or blanks, evaluated in order into the
// variable table; names without regard to case. Returns 0 or -1 after
// r.fail().
int nec_sy(NecReader& r, const std::string& text);

// True when fields first..last of the card are finite numbers.
bool nec_finite(const NecCard& c, int first, int last);

// Geometry cards (nec_geometry.cpp). Each returns 0, or -1 after r.fail().
// GW: taper is the following GC card when the wire's radius is not positive
// and the deck has one there, else null.
int nec_gw(NecReader& r, const NecCard& c, const NecCard* taper);
int nec_ga(NecReader& r, const NecCard& c);
int nec_gh(NecReader& r, const NecCard& c);
int nec_gm(NecReader& r, const NecCard& c);
int nec_gr(NecReader& r, const NecCard& c);
int nec_gx(NecReader& r, const NecCard& c);
int nec_gs(NecReader& r, const NecCard& c);
