#include "ground/layer.h"

#include <cmath>

// tanh z = (1 - e)/(1 + e) with e = exp(-2z), taken on the half-plane
// Re z >= 0 (tanh is odd), so e never exceeds 1 in magnitude and a large
// |Re z| gives +-1 instead of inf/inf.
cplx ctanh_s(cplx z) {
    if (z.real() < 0) return -ctanh_s(-z);
    cplx e = std::exp(-2.0 * z);
    return (1.0 - e) / (1.0 + e);
}

// Reflection coefficients seen from z = 0 for one spectral component.
// Half-space: the Fresnel forms R_TM = (eps u0 - u1)/(eps u0 + u1),
// R_TE = (u0 - u1)/(u0 + u1). Slabs: the medium is a line section of
// length h (wave impedance ~ u/eps for TM, ~ 1/u for TE) that is shorted at
// z = -h (grounded slab) or loaded by free space (free slab), with
// T = tanh(u1 h); R_TE = (Zin - Z0)/(Zin + Z0), R_TM = (Z0 - Zin)/(Z0 + Zin).
// A thick or lossy slab has T -> 1 and tends to the half-space.
SpecRefl spectral(LayerMode mode, double h, cplx eps, cplx u0, cplx u1) {
    cplx eu0 = eps * u0;
    switch (mode) {
    case LAYER_GROUNDED_SLAB: {
        cplx t = ctanh_s(h * u1);
        return {(eu0 - u1 * t) / (eu0 + u1 * t), (u0 * t - u1) / (u0 * t + u1)};
    }
    case LAYER_FREE_SLAB: {
        cplx t = ctanh_s(h * u1);
        cplx p = (u1 + t * eu0) * eu0;
        cplx q = (eu0 + t * u1) * u1;
        cplx r_te = t * (u0 * u0 - u1 * u1) / (2.0 * u0 * u1 + t * (u0 * u0 + u1 * u1));
        return {(p - q) / (p + q), r_te};
    }
    case LAYER_HALFSPACE:
    default:
        return {(eu0 - u1) / (eu0 + u1), (u0 - u1) / (u0 + u1)};
    }
}

// One-way transmission through a free slab of a wave with vertical
// parameters u0, u1, relative to the free-space path of length h it
// replaces: t = exp(u0 h) / (cosh x + sinh x (r + 1/r)/2), x = u1 h, with
// r = u0/u1 (TE) or u1/(eps u0) (TM). Evaluated as
// exp(u0 h) exp(-x) / ((1 + e)/2 + (1 - e)/2 (r + 1/r)/2), e = exp(-2x),
// so that a thick or very lossy slab gives 0 instead of overflowing.
static cplx slab_trans(cplx u0h, cplx x, cplx r) {
    cplx e = std::exp(-2.0 * x);
    cplx den = 0.5 * (1.0 + e) + 0.25 * (1.0 - e) * (r + 1.0 / r);
    return std::exp(u0h - x) / den;
}

// A plane wave leaving at polar angle theta has the radial spectral
// variable lambda = k0 sin(theta), so u0 = j k0 cos(theta) and
// u1 = sqrt(k0^2 (sin^2(theta) - eps)) (principal root). The reflection
// coefficients are spectral() there; the transmission is the free slab's
// for the same angle on the far side.
LayerCoef layer_coef(double k0, cplx eps, LayerMode mode, double h, double sin_th, double cos_th) {
    // A lossless medium gives a real argument with a signed-zero imaginary
    // part; -0 would pick the root -j|u1| of the growing wave. Take the limit
    // of a slightly lossy medium (Im > 0) instead.
    cplx arg = k0 * k0 * (sin_th * sin_th - eps);
    if (arg.imag() == 0.0) arg.imag(0.0);
    cplx u1 = std::sqrt(arg);
    cplx u0(0.0, k0 * cos_th);
    SpecRefl r = spectral(mode, h, eps, u0, u1);
    LayerCoef c{r.r_tm, r.r_te, 0.0, 0.0};
    if (mode != LAYER_FREE_SLAB || !(cos_th >= 1e-9)) return c;
    cplx x = u1 * h;
    cplx u0h = u0 * h;
    c.t_te = slab_trans(u0h, x, u0 / u1);
    c.t_tm = slab_trans(u0h, x, u1 / (eps * u0));
    return c;
}
