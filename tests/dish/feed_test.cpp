// The analytic cos^q feed.
#include <gtest/gtest.h>

#include <cmath>

#include "dish/feed.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Power through the back hemisphere, |E|^2/(2 eta0) integrated over
// theta' = pi - theta in [0, pi/2] and phi: Gauss-Legendre (16 points) on
// 200 panels in theta', 72 azimuths (the field is a trigonometric
// polynomial of low degree in phi, which equal steps integrate exactly).
double back_power(double amp, double q) {
    static const double x[8] = {0.0950125098376374, 0.2816035507792589, 0.4580167776572274,
                                0.6178762444026438, 0.7554044083550030, 0.8656312023878318,
                                0.9445750230732326, 0.9894009349916499};
    static const double w[8] = {0.1894506104550685, 0.1826034150449236, 0.1691565193950025,
                                0.1495959888165767, 0.1246289712555339, 0.0951585116824928,
                                0.0622535239386479, 0.0271524594117541};
    const int panels = 200, nphi = 72;
    const double h = (kPi / 2) / panels;
    double p = 0;
    for (int k = 0; k < panels; ++k)
        for (int g = 0; g < 16; ++g) {
            const double t = (k + 0.5) * h + (g < 8 ? -x[g] : x[g - 8]) * h / 2;
            const double wt = w[g % 8] * h / 2;
            for (int m = 0; m < nphi; ++m) {
                cplx eth, eph;
                dish_feed_field(amp, q, kPi - t, m * 2 * kPi / nphi, eth, eph);
                p += (std::norm(eth) + std::norm(eph)) / 753.4606269235413 * std::sin(t) * wt *
                     (2 * kPi / nphi);
            }
        }
    return p;
}

TEST(DishFeed, RadiatesOneWattForAnyExponent) {
    for (double q : {0.001, 0.5, 1.0, 2.0, 10.0, 100.0})
        EXPECT_NEAR(back_power(dish_feed_amp(q), q), 1.0, 1e-6) << q;
}

TEST(DishFeed, NothingInTheForwardHalfSpace) {
    const double amp = dish_feed_amp(10);
    for (double th : {0.0, 0.3, 1.0, 1.5, kPi / 2})
        for (double ph : {0.0, 1.0, 2.5}) {
            cplx eth = 1, eph = 1;
            dish_feed_field(amp, 10, th, ph, eth, eph);
            EXPECT_EQ(eth, cplx(0));
            EXPECT_EQ(eph, cplx(0));
        }
    // Just behind the focal plane it is (barely) there.
    cplx eth, eph;
    dish_feed_field(amp, 1, kPi / 2 + 1e-3, 0, eth, eph);
    EXPECT_GT(std::abs(eth), 0);
}

// Towards -z the field is x-polarised: E = A x_hat, and x_hat = -th_hat
// there (theta = pi, phi = 0). In the principal planes it stays co-polar:
// only E_theta in the xz plane, only E_phi in the yz plane; |E| = A cos^q.
TEST(DishFeed, PolarisationFollowsLudwigsThirdDefinition) {
    const double q = 2, amp = dish_feed_amp(q);
    cplx eth, eph;
    dish_feed_field(amp, q, kPi, 0, eth, eph);
    EXPECT_NEAR(eth.real(), -amp, 1e-12 * amp);
    EXPECT_EQ(eph, cplx(0));
    for (double off : {0.1, 0.5, 1.0, 1.4}) {
        const double mag = amp * std::pow(std::cos(off), q);
        dish_feed_field(amp, q, kPi - off, 0, eth, eph);
        EXPECT_NEAR(std::abs(eth), mag, 1e-12 * amp);
        EXPECT_NEAR(std::abs(eph), 0, 1e-12 * amp);
        dish_feed_field(amp, q, kPi - off, kPi / 2, eth, eph);
        EXPECT_NEAR(std::abs(eth), 0, 1e-12 * amp);
        EXPECT_NEAR(std::abs(eph), mag, 1e-12 * amp);
        // Any azimuth: the magnitude is rotationally symmetric.
        dish_feed_field(amp, q, kPi - off, 0.7, eth, eph);
        EXPECT_NEAR(std::hypot(std::abs(eth), std::abs(eph)), mag, 1e-12 * amp);
    }
}

} // namespace
