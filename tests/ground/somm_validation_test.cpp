// The seven Sommerfeld integrals against a brute-force evaluation of their
// defining integrals: the whole integrand (no quasi-static part taken out,
// no closed forms) integrated along the real lambda axis by adaptive
// Gauss-Kronrod rules, with the Bessel functions of the standard library.
// The branch point of u0 at lambda = k0 is removed by the substitutions
// lambda = k0 cos(t) below and lambda = k0 cosh(t) above it; the media are
// lossy so that the branch point k1 and the slab's surface-wave poles lie off
// the axis, where the adaptive rule resolves their peaks. The reference is
// slow (about 1e5 to 1e6 integrand calls per point) and computed once per
// point.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#include "common/constants.h"
#include "gauss_kronrod.h"
#include "ground/layer.h"
#include "ground/somm.h"

namespace {

using Vals = std::array<cplx, kSommVals>;

struct Medium {
    const char* what;
    double k0;
    cplx eps;
    LayerMode mode;
    double h;
};

// The defining integrands at real lambda, with u0 = sqrt(lambda^2 - k0^2)
// (j sqrt(k0^2 - lambda^2) below k0) given by the caller without
// cancellation.
Vals raw_integrand(const Medium& m, double rho, double zs, double lam, cplx u0) {
    const double k0 = m.k0;
    const cplx u1 = std::sqrt(cplx(lam * lam) - m.eps * (k0 * k0));
    const SpecRefl r = spectral(m.mode, m.h, m.eps, u0, u1);
    const cplx X = (r.r_tm + r.r_te) / (lam * lam);
    const cplx Y = r.r_te / u0;
    const cplx e0 = std::exp(-u0 * zs);
    const double x = lam * rho;
    const double j0 = std::cyl_bessel_j(0.0, x), j1 = std::cyl_bessel_j(1.0, x);
    const double b1 = x > 1e-8 ? j1 / x : 0.5;
    const cplx yx = (Y - X * u0) * e0;
    const double l2 = lam * lam, l3 = l2 * lam;
    return {l3 * yx * b1,     l3 * yx * j0,          l2 * u0 * yx * j1,           lam * Y * e0 * j0,
            l2 * X * e0 * j1, l2 * r.r_tm * e0 * j1, l3 * (r.r_tm / u0) * e0 * j0};
}

// Gauss-Kronrod 7/15 on [-1, 1].
using gauss_kronrod::kWg;
using gauss_kronrod::kWk;
using gauss_kronrod::kXk;

using Fn = std::function<Vals(double)>;

// Integral over [a, b] and the Gauss-Kronrod difference of each component.
void gk15(const Fn& f, double a, double b, Vals& out, std::array<double, kSommVals>& err) {
    const double c = 0.5 * (a + b), hw = 0.5 * (b - a);
    Vals k{}, g{};
    const Vals fc = f(c);
    for (int q = 0; q < kSommVals; ++q) {
        k[q] = kWk[7] * fc[q];
        g[q] = kWg[3] * fc[q];
    }
    for (int i = 0; i < 7; ++i) {
        const Vals f1 = f(c - hw * kXk[i]), f2 = f(c + hw * kXk[i]);
        for (int q = 0; q < kSommVals; ++q) {
            k[q] += kWk[i] * (f1[q] + f2[q]);
            if (i % 2 == 1) g[q] += kWg[i / 2] * (f1[q] + f2[q]);
        }
    }
    for (int q = 0; q < kSommVals; ++q) {
        out[q] = hw * k[q];
        err[q] = std::abs(hw * (k[q] - g[q]));
    }
}

// Adaptive bisection of one piece until every component's Gauss-Kronrod
// difference is below its tolerance (or 30 halvings).
void adapt(const Fn& f, double a, double b, const std::array<double, kSommVals>& tol, int depth,
           Vals& acc) {
    Vals v;
    std::array<double, kSommVals> err;
    gk15(f, a, b, v, err);
    bool ok = true;
    for (int q = 0; q < kSommVals; ++q)
        ok = ok && err[q] <= std::max(tol[q], 1e-13 * std::abs(v[q]));
    ok = ok || depth >= 30;
    if (ok) {
        for (int q = 0; q < kSommVals; ++q) acc[q] += v[q];
        return;
    }
    const double c = 0.5 * (a + b);
    adapt(f, a, c, tol, depth + 1, acc);
    adapt(f, c, b, tol, depth + 1, acc);
}

// The brute-force V0 .. V6 at (rho, zs), each to about rel of the sum of
// the magnitudes of its pieces.
Vals brute_force(const Medium& m, double rho, double zs, double rel) {
    const double k0 = m.k0;
    // [0, k0] as lambda = k0 cos t, t from pi/2 to 0; [k0, 2 k0] as
    // lambda = k0 cosh t: dlambda carries the factor u0 that the
    // integrands divide by. The rest in pieces of half the fastest scale:
    // Bessel period, decay, and k0 (the branch point k1 and the poles lie
    // within a few k0 of the origin).
    Fn below = [&](double t) {
        Vals v = raw_integrand(m, rho, zs, k0 * std::cos(t), cplx(0.0, k0 * std::sin(t)));
        for (cplx& x : v) x *= k0 * std::sin(t);
        return v;
    };
    Fn above = [&](double t) {
        Vals v = raw_integrand(m, rho, zs, k0 * std::cosh(t), k0 * std::sinh(t));
        for (cplx& x : v) x *= k0 * std::sinh(t);
        return v;
    };
    Fn plain = [&](double lam) {
        return raw_integrand(m, rho, zs, lam, std::sqrt(lam * lam - k0 * k0));
    };
    struct Piece {
        const Fn* f;
        double a, b;
    };
    std::vector<Piece> pieces;
    const int nsub = 32;
    const double tmax = std::acosh(2.0);
    for (int i = 0; i < nsub; ++i) {
        pieces.push_back({&below, 0.5 * phys::pi * i / nsub, 0.5 * phys::pi * (i + 1) / nsub});
        pieces.push_back({&above, tmax * i / nsub, tmax * (i + 1) / nsub});
    }
    const double end = 2.0 * k0 + 60.0 / zs;
    const double w = 0.5 * std::min({rho > 0 ? phys::pi / rho : 1e30, 1.0 / zs, k0});
    const int np = static_cast<int>(std::ceil((end - 2.0 * k0) / w));
    for (int i = 0; i < np; ++i)
        pieces.push_back({&plain, 2.0 * k0 + i * w, 2.0 * k0 + (i + 1) * w});

    // First pass: the scale of each component.
    std::array<double, kSommVals> scale{};
    for (const Piece& p : pieces) {
        Vals v;
        std::array<double, kSommVals> err;
        gk15(*p.f, p.a, p.b, v, err);
        for (int q = 0; q < kSommVals; ++q) scale[q] += std::abs(v[q]);
    }
    std::array<double, kSommVals> tol;
    for (int q = 0; q < kSommVals; ++q) tol[q] = rel * scale[q] / pieces.size() + 1e-300;
    Vals acc{};
    for (const Piece& p : pieces) adapt(*p.f, p.a, p.b, tol, 0, acc);
    return acc;
}

struct Point {
    double rho, zs; // wavelengths
};

void check_medium(const Medium& m, const std::vector<Point>& pts, double rel) {
    const double lam = phys::two_pi / m.k0;
    for (const Point& p : pts) {
        const double rho = p.rho * lam, zs = p.zs * lam;
        cplx got[kSommVals];
        somm_integrals(m.k0, m.eps, m.mode, m.h, rho, zs, got);
        const Vals ref = brute_force(m, rho, zs, 1e-3 * rel);
        // The field takes V3 and V4 times k0^2 beside the others: a component
        // that nearly vanishes is judged against the largest term it meets.
        const auto scale = [&](int k) { return k == 3 || k == 4 ? m.k0 * m.k0 : 1.0; };
        double big = 0;
        for (int k = 0; k < kSommVals; ++k) big = std::max(big, scale(k) * std::abs(ref[k]));
        for (int k = 0; k < kSommVals; ++k) {
            const double tol = rel * std::abs(ref[k]) + 1e-2 * rel * big / scale(k);
            EXPECT_LE(std::abs(got[k] - ref[k]), tol)
                << m.what << " rho=" << p.rho << " zs=" << p.zs << " V" << k << ": got " << got[k]
                << " brute force " << ref[k];
        }
    }
}

constexpr double kRel = 1e-5;

TEST(SommIntegrals, HalfSpaceAgreesWithBruteForce) {
    // Average ground (eps 13, 5 mS/m) at 3.5 MHz and at 14 MHz: eps_c has a
    // large imaginary part, so the path ends at a = 2 k0 and the branch
    // point k1 lies beyond it, below the real-axis tail. The low points
    // (zs of a hundredth of a wavelength and less) are those of a low HF
    // antenna. At (0.001, 0.001) the tail's panels, were they as wide as
    // the decay length 1/zs alone allows, would step over the branch point
    // and miss V3 by 31 % at 14 MHz: their width is tied to |Im k1|.
    for (double f : {3.5e6, 14e6}) {
        const double k0 = phys::two_pi * f / phys::c0;
        const cplx eps(13.0, -0.005 / (phys::two_pi * f * phys::eps0));
        check_medium({"half-space", k0, eps, LAYER_HALFSPACE, 0.0},
                     {{0.0, 0.02},
                      {0.001, 0.001},
                      {0.003, 0.0013},
                      {0.02, 0.01},
                      {0.3, 0.05},
                      {1.3, 0.2},
                      {4.0, 0.01},
                      {6.0, 2.0}},
                     kRel);
    }
    // A drier ground whose branch point is close to the axis.
    const double k0 = phys::two_pi * 30e6 / phys::c0;
    const cplx dry(5.0, -0.001 / (phys::two_pi * 30e6 * phys::eps0));
    check_medium({"dry half-space", k0, dry, LAYER_HALFSPACE, 0.0},
                 {{0.0, 0.05}, {0.1, 0.02}, {2.0, 0.3}}, kRel);
}

TEST(SommIntegrals, SlabsAgreeWithBruteForce) {
    // FR-4 (eps 4.4, loss tangent 0.02) at 2.45 GHz, 1.6 mm thick, with and
    // without the ground plane; the heights are those of traces on and
    // just above the board.
    const double f = 2.45e9, k0 = phys::two_pi * f / phys::c0;
    const cplx eps = 4.4 * cplx(1.0, -0.02);
    for (LayerMode mode : {LAYER_GROUNDED_SLAB, LAYER_FREE_SLAB}) {
        check_medium(
            {mode == LAYER_GROUNDED_SLAB ? "grounded slab" : "free slab", k0, eps, mode, 0.0016},
            {{0.0, 0.002}, {0.05, 0.001}, {0.3, 0.004}, {1.2, 0.01}}, kRel);
    }
}

} // namespace
