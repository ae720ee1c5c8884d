// Lossless two-element L networks that match a feed impedance to the line.
#pragma once

#include <string>

struct MatchSolution {
    std::string at_antenna;  // the element next to the antenna, ready to print
    std::string toward_line; // the element on the line side
    double xs = 0;           // series reactance, ohm
    double bp = 0;           // shunt susceptance, S
    int sh = 0;              // 1 = shunt element at the antenna, 0 = series element there
};

// Matches R + jX (ohm) to the real reference z0 (ohm) at f (Hz). Writes two
// solutions into out and returns 2, or returns 0 when no L network exists
// (R <= 0, or no real solution).
int lmatch(double r, double x, double z0, double f, MatchSolution out[2]);
