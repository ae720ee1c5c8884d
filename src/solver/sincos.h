// sin and cos of many arguments at once, for the phase factor exp(-jkR) of
// the kernel quadrature and the phases of the far field.
//
// x = q pi/2 + r with q = round(2x/pi) and |r| <= pi/4, r by Cody-Waite
// reduction with pi/2 split into two 30-bit parts and a remainder (exact
// products for q < 2^20); sin r and cos r by their Taylor series through
// r^17 and r^18, whose truncation errors stay below 1e-19 on |r| <= pi/4;
// the quadrant q mod 4 swaps and negates the two. The loop has no branches
// and no calls, so the compiler keeps it in vector registers. The error is a
// few units in the last place, like the C library's. Negative arguments
// reduce the same way (q < 0, its two's complement giving the quadrant).
// Arguments of magnitude kSincosMax or more (phases of more than 160000
// wavelengths) are for the C library.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

constexpr double kSincosMax = 1.0e6;

// Computes s[i] = sin(x[i]), c[i] = cos(x[i]) for |x[i]| < kSincosMax.
inline void sincos_many(const double* __restrict x, double* __restrict s, double* __restrict c,
                        int n) {
    constexpr double two_over_pi = 0x1.45f306dc9c883p-1;
    constexpr double pio2_1 = 0x1.921fb548p+0;        // pi/2, leading 30 bits
    constexpr double pio2_2 = -0x1.de973dc8p-31;      // next 30 bits
    constexpr double pio2_3 = -0x1.9d9cceba3f91fp-62; // the rest
    // Adding 1.5 * 2^52 rounds to an integer held in the low mantissa bits.
    constexpr double round_magic = 0x1.8p52;
    // Taylor coefficients (-1)^k/(2k+1)! and (-1)^k/(2k)!, k = 1, 2, ...
    constexpr double ks[8] = {
        -1.0 / 6,        1.0 / 120,        -1.0 / 5040,          1.0 / 362880,
        -1.0 / 39916800, 1.0 / 6227020800, -1.0 / 1307674368000, 1.0 / 355687428096000};
    constexpr double kc[9] = {-1.0 / 2,
                              1.0 / 24,
                              -1.0 / 720,
                              1.0 / 40320,
                              -1.0 / 3628800,
                              1.0 / 479001600,
                              -1.0 / 87178291200,
                              1.0 / 20922789888000,
                              -1.0 / 6402373705728000};
    for (int i = 0; i < n; ++i) {
        const double v = x[i];
        const double y = v * two_over_pi + round_magic;
        const double q = y - round_magic;
        const std::uint64_t quad = std::bit_cast<std::uint64_t>(y);
        const double r = ((v - q * pio2_1) - q * pio2_2) - q * pio2_3;
        const double r2 = r * r;
        // Horner: sin r = r + r r2 (ks[0] + r2 (ks[1] + ...)), cos r = 1 + r2 (kc[0] + ...).
        double ps = ks[7], pc = kc[8];
        for (int k = 6; k >= 0; --k) ps = ks[k] + r2 * ps;
        for (int k = 7; k >= 0; --k) pc = kc[k] + r2 * pc;
        const double sp = r + r * r2 * ps;
        const double cp = 1.0 + r2 * pc;
        // Quadrant: odd q swaps sin and cos; sin changes sign in quadrants
        // 2 and 3, cos in quadrants 1 and 2.
        const std::uint64_t swap = std::uint64_t{0} - (quad & 1u);
        const std::uint64_t sb = std::bit_cast<std::uint64_t>(sp);
        const std::uint64_t cb = std::bit_cast<std::uint64_t>(cp);
        const std::uint64_t sv = ((sb & ~swap) | (cb & swap)) ^ ((quad & 2u) << 62);
        const std::uint64_t cv = ((cb & ~swap) | (sb & swap)) ^ (((quad + 1u) & 2u) << 62);
        s[i] = std::bit_cast<double>(sv);
        c[i] = std::bit_cast<double>(cv);
    }
}

// sin and cos of n arguments, each on its own: arguments beyond the batched
// routine's range go to the C library (a non-number gives a non-number
// either way).
[[gnu::always_inline]] inline void sincos_each(const double* x, double* s, double* c, int n) {
    int big = 0;
    for (int i = 0; i < n; ++i) big += std::fabs(x[i]) >= kSincosMax;
    sincos_many(x, s, c, n);
    if (big)
        for (int i = 0; i < n; ++i)
            if (!(std::fabs(x[i]) < kSincosMax)) {
                s[i] = std::sin(x[i]);
                c[i] = std::cos(x[i]);
            }
}
