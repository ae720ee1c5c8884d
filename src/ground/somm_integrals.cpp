// The seven Sommerfeld integrals V0 .. V6 at one point (rho, zs) over a
// lossy half-space or a dielectric slab (definitions in ground/somm.h).
//
// Each integrand has its quasi-static part Q_k subtracted (the large-lambda
// limit R_TM -> kappa, R_TE -> 0, l^2 X -> kappa, u0 -> l, with E0 replaced
// by exp(-l zs)); the integrals of Q_k are added back in closed form, with
// R = sqrt(rho^2 + zs^2) and int exp(-l zs) J0(l rho) dl = 1/R:
//   C0 = -kappa/R^3,              C1 = -kappa (2 zs^2 - rho^2)/R^5,
//   C2 = -3 kappa rho zs/R^5,     C3 = 0,
//   C4 = kappa rho/(R (R + zs)),  C5 = 3 kappa rho zs/R^5,  C6 = kappa (2 zs^2 - rho^2)/R^5.
// The remainder decays fast and is integrated on a half-ellipse from 0 to a
// through the upper half-plane, clear of the branch points and the slab's
// surface-wave poles near the real axis, then along the real axis from a:
// panel by panel, or period by period (pi/rho) with Wynn's extrapolation
// when the Bessel oscillation is the fastest scale. Every loop has a cap.
#include <algorithm>
#include <cmath>

#include "ground/somm_internal.h"

namespace {

// 8-point Gauss-Legendre rule on [-1, 1], ascending nodes.
constexpr double GL8x[8] = {-0.9602898564975363, -0.7966664774136267, -0.525532409916329,
                            -0.1834346424956498, 0.1834346424956498,  0.525532409916329,
                            0.7966664774136267,  0.9602898564975363};
constexpr double GL8w[8] = {0.1012285362903763, 0.2223810344533745, 0.3137066458778873,
                            0.362683783378362,  0.362683783378362,  0.3137066458778873,
                            0.2223810344533745, 0.1012285362903763};

constexpr double kHuge = 1e30;      // "no limit" for a spectral width or length
constexpr int kArcMaxPieces = 3976; // before the 24 that are always added
constexpr int kMaxPeriods = 78;
constexpr long kMaxPanels = 200000; // bounds the panel tail for any input

} // namespace

SommArgs somm_args(double k0, cplx eps, LayerMode mode, double h, double rho, double zs) {
    SommArgs a;
    a.k0 = k0;
    a.eps = eps;
    a.k1sq = eps * (k0 * k0);
    a.kappa = (eps - 1.0) / (eps + 1.0);
    a.rho = rho;
    a.zs = zs;
    a.mode = mode;
    a.h = h;
    return a;
}

void integrand(const SommArgs& a, cplx lam, cplx F[kSommVals]) {
    const cplx l2 = lam * lam;
    const cplx u0 = csqrt_p(l2 - a.k0 * a.k0);
    const cplx u1 = csqrt_p(l2 - a.k1sq);
    const cplx iu0 = 1.0 / u0;
    cplx r_tm, X, Y;
    if (a.mode == LAYER_HALFSPACE) {
        // R_TM = (eps u0 - u1)/(eps u0 + u1), R_TE = (u0 - u1)/(u0 + u1) and
        // X = (R_TM + R_TE)/l^2 = 2 (u0 - u1)/(k0^2 (eps u0 + u1)), which
        // has no cancellation at small lambda.
        const cplx eu0 = a.eps * u0, diff = u0 - u1;
        const cplx id = 1.0 / (eu0 + u1);
        r_tm = (eu0 - u1) * id;
        X = (2.0 / (a.k0 * a.k0)) * diff * id;
        Y = diff / (u0 + u1) * iu0;
    } else {
        const SpecRefl r = spectral(a.mode, a.h, a.eps, u0, u1);
        r_tm = r.r_tm;
        X = (r.r_tm + r.r_te) / l2;
        Y = r.r_te * iu0;
    }
    const cplx e0 = cexp_p(-u0 * a.zs);
    const cplx el = cexp_p(-lam * a.zs);
    const cplx z = lam * a.rho;
    cplx j0, j1;
    bessel_j01(z, j0, j1);
    const cplx b1 = std::norm(z) >= 1e-12 ? j1 / z : 0.5 - z * z * (1.0 / 16.0);
    const cplx yx = (Y - X * u0) * e0;
    const cplx ke = a.kappa * l2 * el; // kappa l^2 exp(-l zs)
    const cplx a01 = l2 * lam * yx + ke;
    F[0] = a01 * b1;
    F[1] = a01 * j0;
    F[2] = (l2 * u0 * yx + ke) * j1;
    F[3] = lam * Y * e0 * j0;
    F[4] = (l2 * X * e0 - a.kappa * el) * j1;
    F[5] = (l2 * r_tm * e0 - ke) * j1;
    F[6] = (l2 * lam * r_tm * iu0 * e0 - ke) * j0;
}

void panel(const SommArgs& a, double lam_a, double w, cplx acc[kSommVals]) {
    const double hw = 0.5 * w;
    for (int j = 0; j < 8; ++j) {
        cplx F[kSommVals];
        integrand(a, lam_a + hw * (GL8x[j] + 1.0), F);
        const double wt = hw * GL8w[j];
        for (int k = 0; k < kSommVals; ++k) acc[k] += wt * F[k];
    }
}

namespace {

// A bound on the integral of any of the seven integrands from the real point
// x onwards, where both exponentials have decayed (x zs > 6): they are at most
// a few times l^3 (exp(-u0 zs) + exp(-l zs)) there, and their integral from x
// at most twice the integrand over zs. Huge before the decay.
double remainder(const SommArgs& s, double x) {
    if (!(x * s.zs > 6.0) || x < 2.0 * s.k0) return kHuge;
    const double u0 = std::sqrt(x * x - s.k0 * s.k0);
    return 10.0 * x * x * x * (std::exp(-u0 * s.zs) + std::exp(-x * s.zs)) / s.zs;
}

// Integral over the half-ellipse lam(t) = (a/2)(1 - cos t) + j delta sin t,
// t from 0 to pi, with the 8-point rule on pieces sized to what the
// integrand does near them: each spans at most half a period of the
// oscillation in lambda (pi/(rho + zs): the Bessel functions and, below k0,
// exp(-u0 zs)) and at most half its distance to the nearest singularity: the
// branch point k0, for the half-space also k1, for a slab the stretch
// [k0, Re k1] of the real axis that holds its surface-wave poles. The rule
// is then accurate to about 1e-10 on each piece ((pi/2)^16/16! for half a
// period; the Bernstein ellipse of a singularity three half-widths from the
// centre, 5.8^-16). Beyond the point where the rest of the integral is
// negligible (remainder() below `negligible`) the pieces are only limited in
// t. At least 24 pieces (t steps of pi/24 at most), at most 4000.
void arc(const SommArgs& s, double a, double delta, double negligible, cplx acc[kSommVals]) {
    const double ha = 0.5 * a, k0 = s.k0;
    const double w_osc = phys::pi / (s.rho + s.zs);
    const cplx k1 = std::sqrt(s.k1sq);
    const double pole_end = std::max(k0, std::abs(k1.real()));
    const double dt_max = phys::pi / 24.0;
    const auto lam_at = [&](double t) {
        return cplx(ha * (1.0 - std::cos(t)), delta * std::sin(t));
    };
    const auto speed = [&](double t) { return std::hypot(ha * std::sin(t), delta * std::cos(t)); };
    const auto width = [&](cplx lam) {
        double dist;
        if (s.mode == LAYER_HALFSPACE) {
            dist = std::min(std::abs(lam - k0), std::abs(lam - k1));
        } else {
            const double x = std::clamp(lam.real(), k0, pole_end);
            dist = std::abs(lam - x);
        }
        // Where the integrand has decayed below what can matter, only the
        // step limit in t applies.
        if (remainder(s, lam.real()) < negligible) return 1e30;
        return std::min(w_osc, 0.5 * dist);
    };
    double t = 0;
    for (int p = 0; p < kArcMaxPieces + 24 && t < phys::pi; ++p) {
        const double w = width(lam_at(t));
        double dt = std::min(dt_max, w / std::max(speed(t), 1e-300));
        dt = std::min(dt, w / std::max(speed(t + dt), 1e-300));
        if (t + dt > phys::pi || p == kArcMaxPieces + 23) dt = phys::pi - t;
        const double hdt = 0.5 * dt;
        for (int j = 0; j < 8; ++j) {
            const double tj = t + hdt * (GL8x[j] + 1.0);
            const double ct = std::cos(tj), st = std::sin(tj);
            const cplx lam(ha * (1.0 - ct), delta * st);
            const cplx dlam(ha * st, delta * ct);
            cplx F[kSommVals];
            integrand(s, lam, F);
            const cplx wt = (hdt * GL8w[j]) * dlam;
            for (int k = 0; k < kSommVals; ++k) acc[k] += wt * F[k];
        }
        t += dt;
    }
}

// Wynn's epsilon table built one anti-diagonal at a time: with the sums
// s_0 .. s_n the new diagonal holds e_k = eps_k^(n-k), k = 0 .. n, from
//   e_0 = s_n,  e_{k+1} = d_{k-1} + 1/(e_k - d_k)   (d: the previous diagonal,
// d_{-1} = 0). The estimate is the entry of the highest even column k >= 2
// on the new diagonal, reached through finite even entries only (s_n when
// there is none), as wynn() gives it for the same sums.
struct EpsDiagonal {
    cplx d[kMaxPeriods + 1];
    int n = 0; // entries in d
    cplx add(cplx sum) {
        cplx e[kMaxPeriods + 1];
        e[0] = sum;
        for (int k = 0; k < n; ++k) {
            const cplx prev = k > 0 ? d[k - 1] : cplx(0.0);
            const cplx diff = e[k] - d[k];
            e[k + 1] = diff == cplx(0.0) ? cplx(kHuge, 0.0) : prev + 1.0 / diff;
        }
        ++n;
        for (int k = 0; k < n; ++k) d[k] = e[k];
        cplx best = sum;
        for (int k = 2; k < n; k += 2) {
            if (!std::isfinite(e[k].real()) || !std::isfinite(e[k].imag()) ||
                std::abs(e[k].real()) >= kHuge)
                break;
            best = e[k];
        }
        return best;
    }
};

// The real-axis tail from a. The spectral scales: I = pi/rho (the Bessel
// period), L = 1/zs (the decay of exp(-l zs)), J = the medium's own scale:
// 1/h for a slab (its reflection varies like exp(-2 l h)), and for the
// half-space the distance max(|Im k1|, 0.3 k0) of the branch point k1 from
// the axis, which it lies below. The medium's scale matters up to
// lam_h = a + 30 J; a half-space's panels there span at most half their
// distance from k1, at least J/2.
void tail(const SommArgs& s, double a, double negligible, cplx acc[kSommVals]) {
    const double I = s.rho > 0 ? phys::pi / s.rho : kHuge;
    const double L = 1.0 / s.zs;
    double J;
    if (s.mode == LAYER_HALFSPACE)
        J = std::max(std::abs(std::sqrt(s.k1sq).imag()), 0.3 * s.k0);
    else
        J = 1.0 / s.h;
    const double lam_h = a + 30.0 * J;
    const double lam_end = a + 40.0 * L;

    // Panels where the periods are too long for the decay or for the medium's
    // scale; when only the medium's scale is in the way, the panels stop at
    // lam_h and the periods take over from there. A panel spans at most half
    // a Bessel period, twice the decay length, the medium's scale as above
    // and its own start (the integrands without a quasi-static part fall off
    // like powers of lambda).
    const cplx k1 = std::sqrt(s.k1sq);
    const auto medium_width = [&](double lam) {
        if (lam >= lam_h) return kHuge;
        if (s.mode != LAYER_HALFSPACE) return J;
        return 0.5 * std::max(std::abs(lam - k1), J);
    };
    double start = a;
    if (I > 0.5 * std::min(J, L)) {
        const double stop = I <= 0.5 * L ? std::min(lam_h, lam_end) : lam_end;
        double lam = a;
        for (long n = 0; lam < stop && n < kMaxPanels; ++n) {
            if (remainder(s, lam) < negligible) return;
            double w = std::min({I, 2.0 * L, medium_width(lam), lam});
            if (lam + w > stop) w = stop - lam;
            panel(s, lam, w, acc);
            lam += w;
        }
        if (stop >= lam_end) return;
        start = stop;
    }

    // Period by period: running sums S_0, S_1, ... of every component. The
    // convergence test follows Wynn's estimate as the sums come in, one new
    // anti-diagonal of the epsilon table per period (O(p) instead of the
    // whole table, O(p^2), for every test); the tail itself is wynn() of all
    // the sums.
    cplx S[kSommVals][kMaxPeriods];
    EpsDiagonal diag[kSommVals];
    cplx est[kSommVals][kMaxPeriods];
    cplx run[kSommVals] = {};
    int np = 0;
    bool plain = false;
    for (int p = 0; p < kMaxPeriods; ++p) {
        const double lo = start + p * I;
        panel(s, lo, 0.5 * I, run);
        panel(s, lo + 0.5 * I, 0.5 * I, run);
        for (int k = 0; k < kSommVals; ++k) {
            S[k][p] = run[k];
            est[k][p] = diag[k].add(run[k]);
        }
        np = p + 1;
        if (start + (p + 1) * I > lam_end || remainder(s, lo + I) < negligible) {
            plain = true;
            break;
        }
        if (p >= 9 && p % 2 == 1) {
            double worst = 0;
            for (int k = 0; k < kSommVals; ++k) {
                const cplx e1 = est[k][p], e2 = est[k][p - 2];
                worst = std::max(worst, std::abs(e1 - e2) / (std::abs(e1) + 1e-30));
            }
            if (worst < 1e-10) break;
        }
    }
    for (int k = 0; k < kSommVals; ++k) acc[k] += plain ? S[k][np - 1] : wynn(S[k], np);
}

} // namespace

// The arc ends beyond the branch point k1 and, for a slab, beyond its
// surface-wave poles (between k0 and Re k1); over a lossy half-space whose
// k1 lies well below the real axis it ends at 2 k0.
double somm_arc_end(double k0, cplx eps, LayerMode mode) {
    const cplx k1 = k0 * std::sqrt(eps);
    if (mode == LAYER_HALFSPACE && std::abs(k1.imag()) >= 0.3 * k0) return 2.0 * k0;
    return std::max(std::abs(k1.real()) + k0, 2.0 * k0);
}

void somm_integrals(double k0, cplx eps, LayerMode mode, double h, double rho, double zs,
                    cplx out[kSommVals]) {
    for (int k = 0; k < kSommVals; ++k) out[k] = 0.0;
    if (!(k0 > 0) || !std::isfinite(k0)) return;
    // The tail length 40/zs has no other bound: a height sum at or below
    // zero is taken as a tiny positive one.
    if (!(zs >= 1e-6 / k0)) zs = 1e-6 / k0;
    if (!(rho >= 0)) rho = 0;
    SommArgs s = somm_args(k0, eps, mode, h, rho, zs);

    const double a = somm_arc_end(k0, eps, mode);
    const double delta = std::min(0.5 * k0, rho > 0 ? 1.0 / rho : kHuge);
    // What the field can still notice: 1e-15 of the larger of its near
    // (1/R^3) and far (k0^2/R) scale, R the distance to the image point.
    const double Rn = std::sqrt(rho * rho + zs * zs);
    const double negligible = 1e-15 * (1.0 / (Rn * Rn * Rn) + k0 * k0 / Rn);
    arc(s, a, delta, negligible, out);
    tail(s, a, negligible, out);

    // Closed forms of the quasi-static parts.
    const double R2 = rho * rho + zs * zs, R = std::sqrt(R2), R5 = R2 * R2 * R;
    const cplx kp = s.kappa;
    const double d2 = (2.0 * zs * zs - rho * rho) / R5;
    const double rz3 = 3.0 * rho * zs / R5;
    out[0] += -kp / (R2 * R);
    out[1] += -kp * d2;
    out[2] += -kp * rz3;
    out[4] += kp * rho / (R * (R + zs));
    out[5] += kp * rz3;
    out[6] += kp * d2;
}
