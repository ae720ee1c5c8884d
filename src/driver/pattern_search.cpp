#include "driver/pattern_search.h"

#include <algorithm>
#include <cmath>

#include "common/constants.h"

namespace {

double gain_deg(const GainFn& g, double th, double ph) { return g(th * phys::deg, ph * phys::deg); }

}  // namespace

// Coarse 5-degree grid, then four refinement passes of 5 x 5 points with
// steps 2.5, 1, 0.4 and 0.16 degrees around the best point at the start of
// each pass. Ties keep the first point found (theta ascending, then phi).
// Beam widths are taken at exactly half the peak power in 0.25-degree steps.
void pattern_search(const GainFn& gain, bool upper, PatternFigures& out, double* bwaz,
                    double* bwel) {
    const double range = upper ? 90.0 : 180.0;
    double best = -1, th_best = 0, ph_best = 0;

    for (int i = 0; i * 5.0 <= range + 1e-9; ++i) {
        double th = i * 5.0;
        if (upper && th > 89.9) continue;
        for (int j = 0; j < 72; ++j) {
            double ph = j * 5.0;
            double g = gain_deg(gain, th, ph);
            if (g > best) {
                best = g;
                th_best = th;
                ph_best = ph;
            }
        }
    }

    for (double s : {2.5, 1.0, 0.4, 0.16}) {
        const double thc = th_best, phc = ph_best;
        for (int v = -2; v <= 2; ++v) {
            double th = thc + v * s;
            if (th < 0 || th > range || (upper && th > 89.95)) continue;
            for (int u = -2; u <= 2; ++u) {
                double ph = phc + u * s;
                double g = gain_deg(gain, th, ph);
                if (g > best) {
                    best = g;
                    th_best = th;
                    ph_best = ph;
                }
            }
        }
    }

    out.gmax = 10 * std::log10(best);
    out.thmax = th_best;
    out.phmax = std::fmod(ph_best + 360, 360);

    // Back direction: the same elevation behind over a ground, the opposite
    // direction through the origin in free space.
    double th_back = upper ? th_best : 180 - th_best;
    double g_back = gain_deg(gain, th_back, ph_best + 180);
    out.fb = 10 * std::log10(best / std::max(g_back, 1e-30));

    if (!bwaz) return;
    const double half = best / 2;
    const double step = 0.25;
    const int nsteps = 720;  // 180 degrees

    // Azimuth: both sides at the elevation of the maximum.
    double r = 0, u = 0;
    for (int i = 1; i <= nsteps && r == 0; ++i)
        if (gain_deg(gain, th_best, ph_best + i * step) < half) r = i * step;
    for (int i = 1; i <= nsteps && u == 0; ++i)
        if (gain_deg(gain, th_best, ph_best - i * step) < half) u = i * step;
    *bwaz = (r > 0 && u > 0) ? r + u : 360;

    // Elevation toward larger theta, over the lower pole in free space.
    double vdown = 0;
    for (int i = 1; i <= nsteps; ++i) {
        double w = i * step, th = th_best + w, ph = ph_best;
        if (th > range) {
            if (upper) break;
            th = 360 - th;
            ph = ph_best + 180;
        }
        if (gain_deg(gain, th, ph) < half) {
            vdown = w;
            break;
        }
    }
    // Elevation toward smaller theta, over the zenith.
    double aup = 0;
    for (int i = 1; i <= nsteps; ++i) {
        double a = i * step, d = th_best - a;
        double th = std::fabs(d), ph = d >= 0 ? ph_best : ph_best + 180;
        if (gain_deg(gain, th, ph) < half) {
            aup = a;
            break;
        }
    }
    *bwel = (vdown > 0 && aup > 0) ? vdown + aup : 0;
}
