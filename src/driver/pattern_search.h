// Search of a far-field gain function for its maximum, front/back ratio and
// 3-dB beam widths.
#pragma once

#include <functional>

// Power gain (a plain ratio) in the direction theta, phi given in radians;
// theta from +z, phi from +x toward +y.
using GainFn = std::function<double(double theta_rad, double phi_rad)>;

// The same for n directions at once (so that they can be evaluated in
// parallel): g[i] = gain(theta[i], phi[i]).
using GainBatchFn =
    std::function<void(int n, const double* theta_rad, const double* phi_rad, double* g)>;

struct PatternFigures {
    double gmax = 0;  // dBi
    double thmax = 0; // degrees
    double phmax = 0; // degrees, 0 <= phmax < 360
    double fb = 0;    // dB
    // Over a ground, when the gain stays above half of the maximum all the
    // way down to the horizon: the elevation from the horizon up to the
    // upper 3-dB point (degrees), where the two-sided width is 0. Else 0.
    double bwel_horizon = 0;
};

// upper: only the upper half-space radiates (a ground or a grounded board);
// the search then stays above the horizon. bwaz and bwel are written only
// when bwaz is given (give both or neither).
void pattern_search(const GainBatchFn& gain, bool upper, PatternFigures& out, double* bwaz,
                    double* bwel);
void pattern_search(const GainFn& gain, bool upper, PatternFigures& out, double* bwaz,
                    double* bwel);
