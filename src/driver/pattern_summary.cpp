#include "driver/pattern_summary.h"

#include <algorithm>
#include <cmath>

#include "dist/dist.h"
#include "driver/pattern_search.h"
#include "solver/farfield.h"

namespace {

double gain_of(cplx eth, cplx eph, double pin) {
    return phys::four_pi * (std::norm(eth) + std::norm(eph)) / phys::two_eta0 / pin;
}

} // namespace

double gain_dir(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                double pin, double theta, double phi) {
    cplx eth, eph;
    farfield(m, mesh, freq_hz, cur, theta, phi, eth, eph);
    return gain_of(eth, eph, pin);
}

namespace {

// The search with every batch of directions evaluated by share(count, lo,
// hi) on this process (on its worker threads) and completed by
// gather(g, count).
template <class Share, class Gather>
void summary(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
             double pin, FreqResult& res, double* bwaz, double* bwel, double* bwel_horizon,
             Share share, Gather gather) {
    const bool upper = !(m.ground == GROUND_FREE || (m.ground == GROUND_PCB && !m.pcb_gnd));
    // The per-segment arrays are built once for the whole search; each
    // batch of directions (the coarse grid, a refinement pass, a stretch of
    // a beam-width walk), or this process's share of it, is one evaluation
    // spread over the workers.
    const FfArrays fa = ff_arrays(mesh, cur);
    std::vector<cplx> eth, eph;
    GainBatchFn gain = [&](int count, const double* th, const double* ph, double* g) {
        int lo = 0, hi = count;
        share(count, lo, hi);
        const int n = hi - lo;
        eth.resize(static_cast<size_t>(std::max(n, 0)));
        eph.resize(static_cast<size_t>(std::max(n, 0)));
        ff_eval_many(m, fa, freq_hz, n, th + lo, ph + lo, eth.data(), eph.data());
        for (int k = 0; k < n; ++k)
            g[lo + k] = gain_of(eth[static_cast<size_t>(k)], eph[static_cast<size_t>(k)], pin);
        gather(g, count);
    };
    PatternFigures p;
    pattern_search(gain, upper, p, bwaz, bwel);
    res.gmax = p.gmax;
    res.thmax = p.thmax;
    res.phmax = p.phmax;
    res.fb = p.fb;
    if (bwel_horizon && bwaz) *bwel_horizon = p.bwel_horizon;
}

} // namespace

void pattern_summary(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                     double pin, FreqResult& res, double* bwaz, double* bwel,
                     double* bwel_horizon) {
    summary(
        m, mesh, freq_hz, cur, pin, res, bwaz, bwel, bwel_horizon, [](int, int&, int&) {},
        [](double*, int) {});
}

void pattern_summary_ranks(const Model& m, const Mesh& mesh, double freq_hz,
                           const std::vector<cplx>& cur, double pin, FreqResult& res, double* bwaz,
                           double* bwel, double* bwel_horizon) {
    summary(m, mesh, freq_hz, cur, pin, res, bwaz, bwel, bwel_horizon, dist_share,
            [](double* g, int count) { dist_allgather(g, count, 1); });
}
