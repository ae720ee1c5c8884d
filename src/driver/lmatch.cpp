#include "driver/lmatch.h"

#include <cmath>
#include <utility>

#include "common/constants.h"
#include "common/text.h"

namespace {

// Element texts. Adding 0.0 turns a negative zero into +0, so that a
// matched load prints "0" rather than "-0".
std::string series_text(double xs, double w) {
    if (xs >= 0) return strfmt("series L = %.4g uH", xs / w * 1e6 + 0.0);
    return strfmt("series C = %.4g pF", -1.0 / (xs * w) * 1e12 + 0.0);
}

std::string shunt_text(double b, double w) {
    if (b >= 0) return strfmt("shunt C = %.4g pF", b / w * 1e12 + 0.0);
    return strfmt("shunt L = %.4g uH", -1.0 / (b * w) * 1e6 + 0.0);
}

} // namespace

// With the load R + jX and the line Z0:
//  R > Z0: shunt susceptance B across the load, then series reactance Xs:
//          B = (X +- sqrt(R/Z0) sqrt(R^2 + X^2 - Z0 R)) / (R^2 + X^2),
//          Xs = 1/B + X Z0/R - Z0/(B R);
//  R <= Z0: series Xs next to the load, then shunt B toward the line:
//          Xs = +-sqrt((Z0 - R) R) - X,  B = +-sqrt((Z0 - R)/R) / Z0.
int lmatch(double r, double x, double z0, double f, MatchSolution out[2]) {
    if (!(r > 0)) return 0;
    const double w = phys::two_pi * f;
    double xs[2], bp[2];
    int sh;
    if (r > z0) {
        sh = 1;
        double F = r * r + x * x, G = F - z0 * r;
        if (G < 0) return 0;
        double root = std::sqrt(r / z0) * std::sqrt(G);
        bp[0] = (root + x) / F;
        xs[0] = 1 / bp[0] + x * z0 / r - z0 / (bp[0] * r);
        bp[1] = (x - root) / F;
        xs[1] = x * z0 / r + 1 / bp[1] - z0 / (r * bp[1]);
    } else {
        sh = 0;
        xs[0] = std::sqrt((z0 - r) * r) - x;
        bp[0] = std::sqrt((z0 - r) / r) / z0;
        xs[1] = -x - std::sqrt((z0 - r) * r);
        bp[1] = -std::sqrt((z0 - r) / r) / z0;
    }
    for (int i = 0; i < 2; ++i) {
        MatchSolution& s = out[i];
        s.xs = xs[i];
        s.bp = bp[i];
        s.sh = sh;
        if (sh) {
            s.at_antenna = shunt_text(bp[i], w);
            s.toward_line = series_text(xs[i], w);
        } else {
            s.at_antenna = series_text(xs[i], w);
            s.toward_line = shunt_text(bp[i], w);
        }
    }
    // A series inductor with a shunt capacitor (a low-pass network) is
    // listed first when only the second solution is one.
    bool lp0 = out[0].xs > 0 && out[0].bp > 0, lp1 = out[1].xs > 0 && out[1].bp > 0;
    if (lp1 && !lp0) std::swap(out[0], out[1]);
    return 2;
}
