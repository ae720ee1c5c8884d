#include "solver/pattern_cut.h"

#include <algorithm>
#include <cmath>

#include "solver/farfield.h"

void pattern_cut(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                 double pin, PatternCut& cut) {
    const size_t n = std::min(cut.theta_deg.size(), cut.phi_deg.size());
    cut.gt_db.assign(n, -300.0);
    if (n == 0) return;
    const FfArrays fa = ff_arrays(mesh, cur);
    const double scale = phys::four_pi / (phys::two_eta0 * pin);
    std::vector<double> th(n), ph(n);
    for (size_t k = 0; k < n; ++k) {
        th[k] = cut.theta_deg[k] * phys::deg;
        ph[k] = cut.phi_deg[k] * phys::deg;
    }
    std::vector<cplx> eth(n), eph(n);
    ff_eval_many(m, fa, freq_hz, static_cast<int>(n), th.data(), ph.data(), eth.data(), eph.data());
    for (size_t k = 0; k < n; ++k) {
        const double g = scale * (std::norm(eth[k]) + std::norm(eph[k]));
        cut.gt_db[k] = g > 1e-30 ? 10.0 * std::log10(g) : -300.0;
    }
}
