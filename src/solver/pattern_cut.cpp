#include "solver/pattern_cut.h"

#include <algorithm>
#include <cmath>

#include "parallel/par_for.h"
#include "solver/farfield.h"

void pattern_cut(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                 double pin, PatternCut& cut) {
    const size_t n = std::min(cut.theta_deg.size(), cut.phi_deg.size());
    cut.gt_db.assign(n, -300.0);
    if (n == 0) return;
    std::vector<FfSeg> fs = fseg_build(mesh, cur);
    const int nseg = static_cast<int>(fs.size());
    const double scale = phys::four_pi / (phys::two_eta0 * pin);
    par_for(static_cast<int>(n), [&](int i) {
        const size_t k = static_cast<size_t>(i);
        cplx eth, eph;
        ff_eval(m, fs.data(), nseg, freq_hz, cut.theta_deg[k] * phys::deg,
                cut.phi_deg[k] * phys::deg, eth, eph);
        const double g = scale * (std::norm(eth) + std::norm(eph));
        cut.gt_db[k] = g > 1e-30 ? 10.0 * std::log10(g) : -300.0;
    });
}
