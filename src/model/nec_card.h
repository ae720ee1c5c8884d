// Pieces shared by the NEC deck reader (nec.cpp) and its geometry cards
// (nec_geometry.cpp): one parsed card and the state of one read.
#pragma once

#include <string>

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

    int I(int k) const { return i[k - 1]; }
    double F(int k) const { return f[k - 1]; }
};

// Parses one deck line. A line shorter than two characters has an empty name.
NecCard nec_card(const std::string& line);

// State of one read_nec call.
struct NecReader {
    Model& m;
    std::string& err;
    int line = 0;       // lines read so far
    int card_line = 0;  // line of the card being handled (messages name it)
    long long nseg = 0; // segments of all wires so far

    // Writes "line %d: <message>" for the current card and returns -1.
    int fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

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
