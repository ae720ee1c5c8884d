// The field of a unit current moment reflected by the medium, from the
// seven Sommerfeld values (formulas in ground/somm.h), and the correction
// field the matrix fill asks for: from the table, or directly for tests.
#include <cmath>

#include "ground/somm_internal.h"

void somm_field_from(const cplx v[kSommVals], double k0, double omega, const double obs[3],
                     const double src[3], const double dir[3], cplx field[3]) {
    const double dx = obs[0] - src[0], dy = obs[1] - src[1];
    const double rho = std::sqrt(dx * dx + dy * dy);
    double rx = 1.0, ry = 0.0; // rho_hat; any horizontal direction when rho = 0
    if (rho > 1e-12) {
        rx = dx / rho;
        ry = dy / rho;
    }
    const double ur = dir[0] * rx + dir[1] * ry;
    const cplx F(0.0, -1.0 / (phys::four_pi * omega * phys::eps0)); // 1/(j 4 pi w eps0)
    const double k2 = k0 * k0;
    const cplx radial = v[5] * dir[2] + (v[0] - v[1]) * ur;
    field[0] = F * (rx * radial - v[0] * (dir[0] - ur * rx) + k2 * v[3] * dir[0]);
    field[1] = F * (ry * radial - v[0] * (dir[1] - ur * ry) + k2 * v[3] * dir[1]);
    field[2] = F * (v[6] * dir[2] + (v[2] - k2 * v[4]) * ur);
}

void somm_corr_field(const SommTable* t, const double obs[3], const double src[3],
                     const double dir[3], cplx field[3]) {
    const double dx = obs[0] - src[0], dy = obs[1] - src[1];
    const double rho = std::sqrt(dx * dx + dy * dy);
    const double zs = obs[2] + src[2];
    cplx v[kSommVals];
    if (zs >= t->zs_min) {
        tab_interp(*t, rho, zs, v);
    } else if (t->mode != LAYER_HALFSPACE && t->nzs >= 4) {
        // A board's traces lie at zs = 0, below the first node: linear
        // extrapolation from the first and the fourth zs node.
        cplx w0[kSommVals], w3[kSommVals];
        const double z0 = t->zs[0], z3 = t->zs[3];
        tab_interp(*t, rho, z0, w0);
        tab_interp(*t, rho, z3, w3);
        const double s = (zs - z0) / (z3 - z0);
        for (int k = 0; k < kSommVals; ++k) v[k] = w0[k] + s * (w3[k] - w0[k]);
    } else {
        tab_interp(*t, rho, t->zs_min, v);
    }
    somm_field_from(v, t->k0, t->omega, obs, src, dir, field);
}

namespace {

void direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
            const double src[3], const double dir[3], bool subtract_image, cplx field[3]) {
    const double omega = phys::two_pi * f_hz;
    const double k0 = omega / phys::c0;
    const double rho = std::hypot(obs[0] - src[0], obs[1] - src[1]);
    const double zs = obs[2] + src[2];
    cplx v[kSommVals], K[kSommVals];
    somm_integrals(k0, eps, mode, h, rho, zs, v);
    if (subtract_image) {
        kimg_integrals(k0, (eps - 1.0) / (eps + 1.0), rho, zs, K);
        for (int k = 0; k < kSommVals; ++k) v[k] -= K[k];
    }
    somm_field_from(v, k0, omega, obs, src, dir, field);
}

} // namespace

void somm_corr_field_direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
                            const double src[3], const double dir[3], cplx field[3]) {
    direct(f_hz, eps, mode, h, obs, src, dir, true, field);
}

void somm_field_direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
                       const double src[3], const double dir[3], cplx field[3]) {
    direct(f_hz, eps, mode, h, obs, src, dir, false, field);
}
