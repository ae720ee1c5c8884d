#include "driver/run_checks.h"

#include <algorithm>
#include <cmath>

#include "common/constants.h"
#include "common/text.h"

namespace {

// Height (in wavelengths) below which the reflection-coefficient ground is
// not accurate: the wire's near field reaches the ground, which the plane
// wave reflection coefficients do not describe.
constexpr double kNearGroundWl = 0.1;
// Radiated over input power above which a passive antenna's figures are
// not physical; the 2 % leave room for the power integration's error.
constexpr double kPowerRatioMax = 1.02;

} // namespace

std::string run_check_near_ground(const Model& m, const Mesh& mesh) {
    if (m.ground != GROUND_REAL || m.somm || mesh.nseg() == 0) return std::string();
    double f_low = m.f0;
    if (m.nfreq >= 2) f_low = std::min({f_low, m.fstart, m.fstop});
    if (!(f_low > 0)) return std::string();
    const double wl = phys::c0 / f_low;
    int low = 0;
    double zmin = 1e300;
    for (int s = 0; s < mesh.nseg(); ++s) {
        const Segment& g = mesh.seg[static_cast<size_t>(s)];
        double z = std::min(g.a[2], g.b[2]);
        if (z < zmin) {
            zmin = z;
            low = s;
        }
    }
    if (!(zmin < kNearGroundWl * wl)) return std::string();
    const Segment& g = mesh.seg[static_cast<size_t>(low)];
    std::string what = m.is_nec ? strfmt("tag %d", g.tag) : strfmt("wire %d", g.wire + 1);
    return strfmt("%s comes within %.3g m (%.3f wavelengths at %g MHz) of the real ground, where "
                  "the reflection-coefficient ground is not accurate (below %g wavelength): the "
                  "Sommerfeld ground (%s) is the accurate one",
                  what.c_str(), zmin, zmin / wl, f_low / 1e6, kNearGroundWl,
                  m.is_nec ? "GN 2" : "GROUND real sommerfeld");
}

std::string run_check_power(const Model& m, const FreqResult& d) {
    const double ratio = std::max(d.eff, d.agt);
    if (!(ratio > kPowerRatioMax) || !solve_passive(m)) return std::string();
    const char* model = nullptr;
    switch (m.ground) {
    case GROUND_MININEC:
        model = "the mininec ground";
        break;
    case GROUND_REAL:
        model = m.somm ? "the Sommerfeld ground" : "the reflection-coefficient ground";
        break;
    case GROUND_PERFECT:
        model = "the perfect ground";
        break;
    case GROUND_PCB:
        model = "the board model";
        break;
    default:
        break;
    }
    // Name the figure that is too high: the efficiency, or the average gain
    // test when it alone exceeds the bound.
    std::string figure = d.eff >= d.agt ? strfmt("efficiency %.2f %%", 100 * d.eff)
                                        : strfmt("average gain test %.3f", d.agt);
    std::string head = strfmt(
        "this passive antenna radiates %.3f times its input power (%s): ", ratio, figure.c_str());
    if (model) return head + model + " is not valid for this antenna";
    return head + "the solution is not valid for this antenna (check segment lengths against "
                  "radii, and wires that come very close)";
}
