// The field of a unit current moment reflected by the medium, from the
// seven Sommerfeld values (formulas in ground/somm.h), and the correction
// field the matrix fill asks for: from the table, or directly for tests.
#include <cmath>

#include "ground/somm_internal.h"

namespace {

// The field from the seven values taken at the reduced distance rho_e =
// sqrt(rho^2 + a^2), (dx, dy) the horizontal offset from source to
// observation point. The radial vector is (dx, dy)/rho_e, of length
// rho/rho_e <= 1: the values and their directions are then those of the
// reduced potentials S(sqrt(x^2 + y^2 + a^2), zs), whose gradients and
// Hessian they are, and not only their magnitudes. With a = 0 it is the
// unit vector (any horizontal direction at rho = 0, where the terms it
// multiplies vanish).
void field_at(const cplx v[kSommVals], double k0, double omega, double dx, double dy, double rho_e,
              const double dir[3], cplx field[3]) {
    double rx = 1.0, ry = 0.0;
    if (rho_e > 1e-12) {
        rx = dx / rho_e;
        ry = dy / rho_e;
    }
    const double ur = dir[0] * rx + dir[1] * ry;
    const cplx F(0.0, -1.0 / (phys::four_pi * omega * phys::eps0)); // 1/(j 4 pi w eps0)
    const double k2 = k0 * k0;
    const cplx radial = v[5] * dir[2] + (v[0] - v[1]) * ur;
    field[0] = F * (rx * radial - v[0] * (dir[0] - ur * rx) + k2 * v[3] * dir[0]);
    field[1] = F * (ry * radial - v[0] * (dir[1] - ur * ry) + k2 * v[3] * dir[1]);
    field[2] = F * (v[6] * dir[2] + (v[2] - k2 * v[4]) * ur);
}

// Horizontal offset from src to obs and the reduced distance.
double reduced_rho(const double obs[3], const double src[3], double radius, double& dx,
                   double& dy) {
    dx = obs[0] - src[0];
    dy = obs[1] - src[1];
    return std::sqrt(dx * dx + dy * dy + radius * radius);
}

} // namespace

void somm_field_from(const cplx v[kSommVals], double k0, double omega, const double obs[3],
                     const double src[3], const double dir[3], cplx field[3], double radius) {
    double dx, dy;
    const double rho_e = reduced_rho(obs, src, radius, dx, dy);
    field_at(v, k0, omega, dx, dy, rho_e, dir, field);
}

void somm_corr_field(const SommTable* t, const double obs[3], const double src[3],
                     const double dir[3], cplx field[3], double radius) {
    double dx, dy;
    const double rho = reduced_rho(obs, src, radius, dx, dy);
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
    field_at(v, t->k0, t->omega, dx, dy, rho, dir, field);
}

namespace {

void direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
            const double src[3], const double dir[3], double radius, bool subtract_image,
            cplx field[3]) {
    const double omega = phys::two_pi * f_hz;
    const double k0 = omega / phys::c0;
    double dx, dy;
    const double rho = reduced_rho(obs, src, radius, dx, dy);
    const double zs = obs[2] + src[2];
    cplx v[kSommVals], K[kSommVals];
    somm_integrals(k0, eps, mode, h, rho, zs, v);
    if (subtract_image) {
        kimg_integrals(k0, (eps - 1.0) / (eps + 1.0), rho, zs, K);
        for (int k = 0; k < kSommVals; ++k) v[k] -= K[k];
    }
    field_at(v, k0, omega, dx, dy, rho, dir, field);
}

} // namespace

void somm_corr_field_direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
                            const double src[3], const double dir[3], cplx field[3],
                            double radius) {
    direct(f_hz, eps, mode, h, obs, src, dir, radius, true, field);
}

void somm_field_direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
                       const double src[3], const double dir[3], cplx field[3], double radius) {
    direct(f_hz, eps, mode, h, obs, src, dir, radius, false, field);
}
