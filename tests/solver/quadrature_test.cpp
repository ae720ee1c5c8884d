// Gauss-Legendre tables against closed forms.
#include <gtest/gtest.h>

#include <cmath>

#include "solver/quadrature.h"

TEST(Quadrature, LowOrderRowsAreTheKnownRules) {
    gauss_init();
    EXPECT_DOUBLE_EQ(GX[1][0], 0.5);
    EXPECT_DOUBLE_EQ(GW[1][0], 1.0);
    double a = std::min(GX[2][0], GX[2][1]), b = std::max(GX[2][0], GX[2][1]);
    EXPECT_NEAR(a, 0.2113248654051871, 1e-15);
    EXPECT_NEAR(b, 0.7886751345948129, 1e-15);
    EXPECT_NEAR(GW[2][0], 0.5, 1e-15);
    EXPECT_NEAR(GW[2][1], 0.5, 1e-15);
}

TEST(Quadrature, WeightsSumToOneAndMonomialsIntegrateExactly) {
    gauss_init();
    for (int n = 1; n <= kGaussMax; ++n) {
        double wsum = 0;
        for (int k = 0; k < n; ++k) {
            EXPECT_GT(GX[n][k], 0.0);
            EXPECT_LT(GX[n][k], 1.0);
            wsum += GW[n][k];
        }
        EXPECT_NEAR(wsum, 1.0, 1e-14) << "n=" << n;
        // An n-point rule is exact for t^d, d <= 2n - 1: the integral is 1/(d+1).
        for (int d = 0; d <= 2 * n - 1; ++d) {
            double s = 0;
            for (int k = 0; k < n; ++k) s += GW[n][k] * std::pow(GX[n][k], d);
            EXPECT_NEAR(s, 1.0 / (d + 1), 1e-13) << "n=" << n << " d=" << d;
        }
        for (int k = n; k < kGaussMax; ++k) {
            EXPECT_EQ(GX[n][k], 0.0);
            EXPECT_EQ(GW[n][k], 0.0);
        }
    }
}
