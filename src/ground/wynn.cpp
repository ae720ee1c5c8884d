// Wynn's epsilon algorithm: the limit of a slowly converging sequence of
// partial sums s_0 .. s_{n-1} (Wynn 1956),
//   eps_{-1}^(i) = 0,  eps_0^(i) = s_i,
//   eps_{k+1}^(i) = eps_{k-1}^(i+1) + 1/(eps_k^(i+1) - eps_k^(i)),
// whose even columns are the Shanks transforms. The estimate is the last
// entry of the latest even column (k >= 2) that is finite; a difference
// below 1e-15 of its entries means the column has converged (even k: its
// entry is the limit) or the odd column would blow up (the estimate so far
// is kept).
#include <algorithm>
#include <cmath>

#include "ground/somm_internal.h"

namespace {

constexpr int kWynnMax = 79;

bool finite(cplx z) {
    return std::isfinite(z.real()) && std::isfinite(z.imag());
}

// |z|, by the plain square root where |z|^2 cannot overflow (std::abs
// guards against that at several times the cost).
double mag(cplx z) {
    const double m = std::max(std::fabs(z.real()), std::fabs(z.imag()));
    return m < 1e150 ? std::sqrt(std::norm(z)) : std::abs(z);
}

} // namespace

cplx wynn(const cplx* s, int n) {
    n = std::min(n, kWynnMax);
    if (n <= 0) return 0.0;
    if (n == 1) return s[0];
    cplx best = s[n - 1];
    // Two columns at a time: prev = eps_{k-1}, cur = eps_k (len entries).
    cplx prev[kWynnMax + 1], cur[kWynnMax + 1];
    for (int i = 0; i <= n; ++i) prev[i] = 0.0;
    for (int i = 0; i < n; ++i) cur[i] = s[i];
    int len = n;
    for (int k = 0; len > 1; ++k) {
        cplx next[kWynnMax];
        for (int i = 0; i + 1 < len; ++i) {
            const cplx d = cur[i + 1] - cur[i];
            if (mag(d) <= 1e-15 * (mag(cur[i + 1]) + 1e-300)) return k % 2 == 0 ? cur[i + 1] : best;
            next[i] = prev[i + 1] + 1.0 / d;
        }
        for (int i = 0; i < len; ++i) prev[i] = cur[i];
        --len;
        for (int i = 0; i < len; ++i) cur[i] = next[i];
        const int col = k + 1;
        if (col >= 2 && col % 2 == 0) {
            if (!finite(cur[len - 1])) return best;
            best = cur[len - 1];
        }
    }
    return best;
}
