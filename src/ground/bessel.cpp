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

// Signed coefficients b_k = (-1)^floor(k/2) a_k(n), k = 0 .. 15, of Hankel's
// expansion: P = sum over even k of b_k w^k, Q = sum over odd k.
struct HankelCoef {
    double b[kHankelTerms + 1];
    double mag[kHankelTerms + 1]; // |a_k|
};

constexpr HankelCoef hankel_coef(int n) {
    HankelCoef c{};
    double a = 1;
    for (int k = 0; k <= kHankelTerms; ++k) {
        if (k > 0) a *= (4.0 * n * n - (2.0 * k - 1.0) * (2.0 * k - 1.0)) / k;
        c.b[k] = (k / 2) % 2 ? -a : a;
        c.mag[k] = a < 0 ? -a : a;
    }
    return c;
}

constexpr HankelCoef kHankel0 = hankel_coef(0);
constexpr HankelCoef kHankel1 = hankel_coef(1);

// P and Q of one order at w = 1/(8z) (|w| = aw, w2 = w^2).
void hankel_pq(const HankelCoef& c, double aw, cplx w, cplx w2, cplx& P, cplx& Q) {
    // The last term taken: the first below 1e-16, or the 15th.
    int K = 1;
    double pw = aw;
    while (K < kHankelTerms && c.mag[K] * pw >= 1e-16) {
        ++K;
        pw *= aw;
    }
    const int e = K & ~1, o = (K & 1) ? K : K - 1;
    P = c.b[e];
    for (int k = e - 2; k >= 0; k -= 2) P = P * w2 + c.b[k];
    Q = c.b[o];
    for (int k = o - 2; k >= 1; k -= 2) Q = Q * w2 + c.b[k];
    Q *= w;
}

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
    // term_k = a_k w^k with the real a_k(n) = prod_{i <= k} (4n^2 - (2i-1)^2)/i
    // and w = 1/(8z); each order takes its terms up to the first below
    // 1e-16 (|term_k| = |a_k| |w|^k), then P and Q are summed by Horner's
    // rule in w^2.
    const cplx w = 1.0 / (8.0 * z);
    const double aw = std::sqrt(std::norm(w));
    const cplx w2 = w * w;
    cplx p0, q0, p1, q1;
    hankel_pq(kHankel0, aw, w, w2, p0, q0);
    hankel_pq(kHankel1, aw, w, w2, p1, q1);
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
