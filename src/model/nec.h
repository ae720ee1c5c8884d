// NEC-2 card deck reader.
#pragma once

#include <cstdio>
#include <string>

#include "model/model.h"

// Most segments a deck may describe, counted over every wire the geometry
// cards make (copies included), before the mesher splits port segments. The
// impedance matrix of this many unknowns needs 40 GB, far beyond what can be
// solved, while the wire list and the mesh of it stay small; the limit stops
// a typing slip (a count of 10^9, a GM with a huge repeat count) with a clear
// message instead of exhausting memory.
constexpr long long kNecMaxSegments = 50000;

// The finest pattern step (degrees) an RP card may give the run's grid.
constexpr double kNecMinPatternStep = 0.1;

// Reads the cards of an open deck into the model (is_nec already set).
// Returns 0 at EN (or NX) or at the end of the file, or -1 with
// "line %d: ..." in err.
int read_nec(std::FILE* f, Model& m, std::string& err);
