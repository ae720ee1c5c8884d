#include "solver/quadrature.h"

#include <cmath>

#include "common/constants.h"

double GX[kGaussMax + 1][kGaussMax];
double GW[kGaussMax + 1][kGaussMax];
bool g_init = false;

void gauss_init() {
    if (g_init) return;
    for (int n = 1; n <= kGaussMax; ++n) {
        for (int k = 0; k < n; ++k) {
            // Newton's method on P_n from the usual asymptotic first guess.
            double x = std::cos(phys::pi * (k + 0.75) / (n + 0.5));
            double dp = 1;
            for (int it = 0; it < 100; ++it) {
                double p0 = 1, p1 = x; // P_0, P_1; three-term recurrence up to P_n
                if (n == 1) {
                    p1 = x;
                    p0 = 1;
                } else {
                    for (int j = 2; j <= n; ++j) {
                        double p2 = ((2 * j - 1) * x * p1 - (j - 1) * p0) / j;
                        p0 = p1;
                        p1 = p2;
                    }
                }
                // p1 = P_n(x), p0 = P_{n-1}(x)
                dp = n * (x * p1 - p0) / (x * x - 1);
                double step = p1 / dp;
                x -= step;
                if (std::fabs(step) < 1e-15) break;
            }
            // Derivative at the converged root.
            double p0 = 1, p1 = x;
            for (int j = 2; j <= n; ++j) {
                double p2 = ((2 * j - 1) * x * p1 - (j - 1) * p0) / j;
                p0 = p1;
                p1 = p2;
            }
            if (n == 1) p0 = 1;
            dp = n * (x * p1 - p0) / (x * x - 1);
            GX[n][k] = (1 - x) / 2;
            // The weight on [-1, 1] is 2/((1 - x^2) P_n'^2); on [0, 1] half of it.
            GW[n][k] = 1.0 / ((1 - x * x) * dp * dp);
        }
    }
    g_init = true;
}
