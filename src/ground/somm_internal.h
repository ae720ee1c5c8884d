// Pieces of the Sommerfeld integration shared by its files and the tests:
// the Bessel functions of complex argument, the integrand, the real-axis
// panel, Wynn's epsilon algorithm and the grids of the table.
#pragma once

#include <cmath>
#include <vector>

#include "common/constants.h"
#include "ground/layer.h"
#include "ground/somm.h"

// What the integrand needs at one point (rho, zs) over one medium.
struct SommArgs {
    double k0 = 0;  // rad/m
    cplx eps;       // relative permittivity of the half-space or slab
    cplx k1sq;      // eps k0^2
    cplx kappa;     // (eps - 1)/(eps + 1)
    double rho = 0; // m
    double zs = 0;  // m, > 0
    LayerMode mode = LAYER_HALFSPACE;
    double h = 0; // slab thickness, m
};

SommArgs somm_args(double k0, cplx eps, LayerMode mode, double h, double rho, double zs);

// Principal square root (Re >= 0, the branch cut on the negative real axis
// taking the sign of a zero imaginary part, as std::sqrt) without the
// overflow guards of the library's, which cost a hypot; those are kept for
// |z| beyond 1e150.
inline cplx csqrt_p(cplx z) {
    const double x = z.real(), y = z.imag();
    if (!(std::fabs(x) < 1e150 && std::fabs(y) < 1e150)) return std::sqrt(z);
    const double r = std::sqrt(x * x + y * y);
    if (r == 0) return cplx(0.0, y);
    if (x >= 0) {
        const double t = std::sqrt(0.5 * (r + x));
        return cplx(t, 0.5 * y / t);
    }
    const double t = std::sqrt(0.5 * (r - x));
    return cplx(0.5 * std::fabs(y) / t, std::copysign(t, y));
}

// exp(z), by the real exponential when z is real (the tail along the axis).
inline cplx cexp_p(cplx z) {
    if (z.imag() == 0.0) return cplx(std::exp(z.real()), 0.0);
    return std::exp(z);
}

// J0(z) and J1(z) for complex z: the power series below |z| = 14, Hankel's
// asymptotic expansion (15 terms at most) above.
void bessel_j01(cplx z, cplx& j0, cplx& j1);

// The seven integrands minus their quasi-static parts at the complex lambda.
void integrand(const SommArgs& a, cplx lam, cplx F[kSommVals]);

// Adds the 8-point Gauss-Legendre integral of the integrands over the real
// interval [lam_a, lam_a + w] to acc.
void panel(const SommArgs& a, double lam_a, double w, cplx acc[kSommVals]);

// Wynn's epsilon extrapolation of the partial sums s[0 .. n-1] (n capped at
// 79); returns the estimated limit.
cplx wynn(const cplx* s, int n);

// The rho and zs nodes of a table (mode, thickness h, wavelength lam_m).
struct SommGrid {
    std::vector<double> rho, zs;
    int rho_lin = 0; // first node of the linear part
    double rho_step = 0;
    double zs_min = 0;
    double nodes = 0; // nrho * nzs, counted before the rho nodes are built
    double work = 0;  // estimated integrand evaluations (arc end a_end)
};
SommGrid somm_grid(LayerMode mode, double h, double lam_m, double rho_max, double zs_min,
                   double zs_max, double a_end);

// End a of the arc of the integration path (rad/m).
double somm_arc_end(double k0, cplx eps, LayerMode mode);
