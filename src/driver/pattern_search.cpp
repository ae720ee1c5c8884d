#include "driver/pattern_search.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/constants.h"

namespace {

// Gains closer than this (relative) are equal. The maxima of a symmetric
// antenna are equal in exact arithmetic, but their computed values differ in
// the last bits, and which of them is larger then depends on the order of
// the sums and on the processor's vector width. Taking them as equal keeps
// the first in search order, and the front/back ratio of a symmetric
// pattern exactly 0 dB, on any machine. 1e-9 is 4e-9 dB, far below every
// printed digit and far above the rounding of the field sums.
constexpr double kTie = 1e-9;

bool above(double g, double best) {
    return g > best + kTie * std::fabs(best);
}

// A list of directions in degrees, evaluated together.
struct Batch {
    std::vector<double> th, ph, g, th_rad, ph_rad;
    void add(double t, double p) {
        th.push_back(t);
        ph.push_back(p);
    }
    void run(const GainBatchFn& gain) {
        size_t n = th.size();
        th_rad.resize(n);
        ph_rad.resize(n);
        for (size_t i = 0; i < n; ++i) {
            th_rad[i] = th[i] * phys::deg;
            ph_rad[i] = ph[i] * phys::deg;
        }
        g.assign(n, 0.0);
        if (n) gain(static_cast<int>(n), th_rad.data(), ph_rad.data(), g.data());
    }
    void clear() {
        th.clear();
        ph.clear();
        g.clear();
    }
};

// First index k (in 1..nsteps) of a 0.25-degree walk whose gain falls below
// half; 0 when none. dir(k, th, ph) gives the k-th direction in degrees and
// returns false when the walk ends without result. The walk is evaluated in
// chunks, so that at most one chunk is spent beyond the answer.
template <class Dir> int first_below(const GainBatchFn& gain, double half, int nsteps, Dir dir) {
    constexpr int kChunk = 48;
    Batch b;
    for (int start = 1; start <= nsteps; start += kChunk) {
        b.clear();
        int end = std::min(nsteps, start + kChunk - 1), last = start - 1;
        bool stopped = false;
        for (int k = start; k <= end; ++k) {
            double th, ph;
            if (!dir(k, th, ph)) {
                stopped = true;
                break;
            }
            b.add(th, ph);
            last = k;
        }
        b.run(gain);
        for (int k = start; k <= last; ++k)
            if (b.g[static_cast<size_t>(k - start)] < half) return k;
        if (stopped) return 0;
    }
    return 0;
}

} // namespace

// Coarse 5-degree grid, then four refinement passes of 5 x 5 points with
// steps 2.5, 1, 0.4 and 0.16 degrees around the best point at the start of
// each pass. Ties (gains within kTie) keep the first point found (theta
// ascending, then phi).
// Beam widths are taken at exactly half the peak power in 0.25-degree steps
// over at most 180 degrees.
void pattern_search(const GainBatchFn& gain, bool upper, PatternFigures& out, double* bwaz,
                    double* bwel) {
    const double range = upper ? 90.0 : 180.0;
    double best = -1, th_best = 0, ph_best = 0;
    Batch b;

    for (int i = 0; i * 5.0 <= range + 1e-9; ++i) {
        double th = i * 5.0;
        if (upper && th > 89.9) continue;
        for (int j = 0; j < 72; ++j) b.add(th, j * 5.0);
    }
    b.run(gain);
    for (size_t i = 0; i < b.g.size(); ++i)
        if (above(b.g[i], best)) {
            best = b.g[i];
            th_best = b.th[i];
            ph_best = b.ph[i];
        }

    for (double s : {2.5, 1.0, 0.4, 0.16}) {
        const double thc = th_best, phc = ph_best;
        b.clear();
        for (int v = -2; v <= 2; ++v) {
            double th = thc + v * s;
            if (th < 0 || th > range || (upper && th > 89.95)) continue;
            for (int u = -2; u <= 2; ++u) b.add(th, phc + u * s);
        }
        b.run(gain);
        for (size_t i = 0; i < b.g.size(); ++i)
            if (above(b.g[i], best)) {
                best = b.g[i];
                th_best = b.th[i];
                ph_best = b.ph[i];
            }
    }

    out.gmax = 10 * std::log10(best);
    out.thmax = th_best;
    out.phmax = std::fmod(ph_best + 360, 360);

    // Back direction: the same elevation behind over a ground, the opposite
    // direction through the origin in free space.
    b.clear();
    b.add(upper ? th_best : 180 - th_best, ph_best + 180);
    b.run(gain);
    const double back = std::max(b.g[0], 1e-30);
    out.fb = std::fabs(best - back) <= kTie * best ? 0.0 : 10 * std::log10(best / back);

    if (!bwaz) return;
    const double half = best / 2;
    const double step = 0.25;
    const int nsteps = 720; // 180 degrees

    // Azimuth: both sides at the elevation of the maximum.
    int r = first_below(gain, half, nsteps, [&](int k, double& th, double& ph) {
        th = th_best;
        ph = ph_best + k * step;
        return true;
    });
    int u = first_below(gain, half, nsteps, [&](int k, double& th, double& ph) {
        th = th_best;
        ph = ph_best - k * step;
        return true;
    });
    *bwaz = (r > 0 && u > 0) ? (r + u) * step : 360;

    // Elevation toward larger theta, over the lower pole in free space; over
    // a ground the walk ends at the horizon.
    int v = first_below(gain, half, nsteps, [&](int k, double& th, double& ph) {
        th = th_best + k * step;
        ph = ph_best;
        if (th > range) {
            if (upper) return false;
            th = 360 - th;
            ph = ph_best + 180;
        }
        return true;
    });
    // Elevation toward smaller theta, over the zenith.
    int a = first_below(gain, half, nsteps, [&](int k, double& th, double& ph) {
        double d = th_best - k * step;
        th = std::fabs(d);
        ph = d >= 0 ? ph_best : ph_best + 180;
        return true;
    });
    *bwel = (v > 0 && a > 0) ? (v + a) * step : 0;
    out.bwel_horizon = (upper && v == 0 && a > 0) ? 90 - (th_best - a * step) : 0;
}

void pattern_search(const GainFn& gain, bool upper, PatternFigures& out, double* bwaz,
                    double* bwel) {
    GainBatchFn batch = [&gain](int n, const double* th, const double* ph, double* g) {
        for (int i = 0; i < n; ++i) g[i] = gain(th[i], ph[i]);
    };
    pattern_search(batch, upper, out, bwaz, bwel);
}
