// Bessel functions J0 and J1 of complex argument for the Sommerfeld
// integrands (Abramowitz & Stegun 9.1.10 and 9.2.5).
//
// |z| < 14: the power series
//   J0 = sum q^m / (m!)^2,  J1 = (z/2) sum q^m / (m! (m+1)!),  q = -z^2/4,
// stopped once both terms fall below 1e-17 of their sums (m >= 5), at m = 79
// at most. The largest term near |z| = 14 is about 3e4, so the sums keep
// about 11 significant digits there.
// |z| >= 14: Hankel's expansion J_n = sqrt(2/(pi z)) (P cos chi - Q sin chi),
// chi = z - n pi/2 - pi/4, with term_k = term_{k-1} (4n^2 - (2k-1)^2)/(8 k z),
// P = 1 - term_2 + term_4 - ..., Q = term_1 - term_3 + ...; at most 15 terms,
// stopped after the first below 1e-16. Valid for |arg z| < pi; the integrands
// use it with |Im z| <= 1.
#include <cmath>

#include "ground/somm_internal.h"

namespace {

constexpr double kSeriesLimit = 14.0;
constexpr int kSeriesMaxTerm = 79;
constexpr int kHankelTerms = 15;

} // namespace

void bessel_j01(cplx z, cplx& j0, cplx& j1) {
    if (std::norm(z) < kSeriesLimit * kSeriesLimit) {
        const cplx q = -0.25 * z * z;
        cplx t0 = 1.0, t1 = 1.0, s0 = 1.0, s1 = 1.0;
        for (int m = 1; m <= kSeriesMaxTerm; ++m) {
            const double dm = m;
            t0 *= q * (1.0 / (dm * dm));
            t1 *= q * (1.0 / (dm * (dm + 1.0)));
            s0 += t0;
            s1 += t1;
            if (m >= 5 && std::norm(t0) < 1e-34 * std::norm(s0) &&
                std::norm(t1) < 1e-34 * std::norm(s1))
                break;
        }
        j0 = s0;
        j1 = 0.5 * z * s1;
        return;
    }
    // Both orders at once: term_k(n) = term_{k-1}(n) (4n^2 - (2k-1)^2) w / k,
    // w = 1/(8z); k = 1, 2, 3, 4, ... adds to +Q, -P, -Q, +P, ...; each order
    // stops after its first term below 1e-16.
    const cplx w = 1.0 / (8.0 * z);
    cplx t0 = 1.0, t1 = 1.0, p0 = 1.0, q0 = 0.0, p1 = 1.0, q1 = 0.0;
    bool run0 = true, run1 = true;
    for (int k = 1; k <= kHankelTerms && (run0 || run1); ++k) {
        const double odd2 = (2.0 * k - 1.0) * (2.0 * k - 1.0);
        const double sign = (k & 2) ? -1.0 : 1.0; // +, -, -, +, ...
        if (run0) {
            t0 *= w * (-odd2 / k);
            (k & 1 ? q0 : p0) += sign * t0;
            run0 = std::norm(t0) >= 1e-32;
        }
        if (run1) {
            t1 *= w * ((4.0 - odd2) / k);
            (k & 1 ? q1 : p1) += sign * t1;
            run1 = std::norm(t1) >= 1e-32;
        }
    }
    // chi0 = z - pi/4 = x + jy: cos chi0 = cos x cosh y - j sin x sinh y,
    // sin chi0 = sin x cosh y + j cos x sinh y. chi1 = chi0 - pi/2, so
    // cos chi1 = sin chi0 and sin chi1 = -cos chi0.
    const double x = z.real() - 0.25 * phys::pi, y = z.imag();
    const double sx = std::sin(x), cx = std::cos(x);
    const double ey = std::exp(y), iey = 1.0 / ey;
    const double ch = 0.5 * (ey + iey), sh = 0.5 * (ey - iey);
    const cplx c(cx * ch, -sx * sh), s(sx * ch, cx * sh);
    const cplx amp = csqrt_p(2.0 / (phys::pi * z));
    j0 = amp * (p0 * c - q0 * s);
    j1 = amp * (p1 * s + q1 * c);
}
