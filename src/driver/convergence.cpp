#include "driver/convergence.h"

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "common/text.h"
#include "dist/dist.h"

namespace {

// The largest bend per path piece when the model sets none, degrees (the
// mesher's default).
constexpr double kDefaultAngleDeg = 12.0;

} // namespace

int conv_refine(const Model& m, Model& out, std::string& why) {
    out = m;
    for (Wire& w : out.wires) {
        if (w.nseg <= 0) continue;
        if (w.nseg > INT_MAX / 2) {
            why = strfmt("a wire's segment count of %d cannot be doubled", w.nseg);
            return -1;
        }
        if (!m.is_nec) w.nseg *= 2;
    }
    if (m.is_nec) {
        out.nec_refine = 2;
        return 0;
    }
    out.segwl *= 2;
    out.angle = (m.angle > 0 ? m.angle : kDefaultAngleDeg) / 2;
    return 0;
}

ConvResult conv_check(const Model& m, int nseg1, double freq_hz, cplx z1, bool dist) {
    ConvResult c;
    Model copy;
    if (conv_refine(m, copy, c.why_not) != 0) return c;
    Mesh mesh2;
    std::string err;
    if (dist_agree(mesh_build(copy, mesh2, freq_hz, err), err) != 0) {
        c.why_not = "the refined mesh cannot be built: " + err;
        return c;
    }
    c.nseg2 = mesh2.nseg();
    if (c.nseg2 <= nseg1) {
        c.why_not = strfmt("twice the segment density still gives %d segments", c.nseg2);
        return c;
    }
    std::vector<cplx> cur2;
    FreqResult r2;
    const bool spread = dist || dist_spread_wanted(mesh2.nunk());
    if (dist_solve_freq(copy, mesh2, freq_hz, cur2, r2, 0, nullptr, err, spread) != 0) {
        c.why_not = "the refined mesh does not solve: " + err;
        return c;
    }
    c.z2 = r2.zin;
    c.dz = std::abs(r2.zin - z1) / std::abs(r2.zin);
    return c;
}

cplx conv_estimate(cplx z1, cplx z2, double dz) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!(dz >= 0) || dz > 0.2) return {nan, nan};
    cplx est = 2.0 * z2 - z1;
    if (est.real() < 0 && z1.real() >= 0 && z2.real() >= 0) return {nan, nan};
    return est;
}
