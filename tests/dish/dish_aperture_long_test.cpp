// The reflector's gain and beam width against aperture integration, for
// dishes of 10 and 20 wavelengths with the analytic cos^q feed. A second or
// two in Release; the sanitizer pass skips them (the same code runs there
// in the smaller cases of dish_validation_test).
#include <gtest/gtest.h>

#include <cmath>

#include "dish_fixtures.h"

namespace {

using namespace dishfix;

// Aperture efficiency by aperture integration (S. Silver, Microwave Antenna
// Theory and Design, 1949, sec. 12.5; Stutzman and Thiele, Antenna Theory
// and Design, 2nd ed., sec. 8.4). A feed of gain G_f(psi) at the focus lights
// the aperture at radius rho = 2F tan(psi/2) with a field proportional to
// sqrt(G_f(psi)) / r, r = 2F/(1 + cos psi) the path from the focus; in a
// Huygens (Ludwig-3) feed the aperture field has one polarisation. The
// aperture's gain (4 pi/lambda^2) |int E dA|^2 / int |E|^2 dA, divided by
// (pi D/lambda)^2 and with the power outside the rim counted as lost, is
//   eta_ap = cot^2(psi0/2) [int_0^psi0 sqrt(G_f(psi)) tan(psi/2) dpsi]^2.
// A cos^q field feed has G_f = 2(2q + 1) cos^{2q} psi; for q = 1 and 2 the
// integral is elementary:
//   q = 1: eta_ap = 24 [sin^2(psi0/2) + ln cos(psi0/2)]^2 cot^2(psi0/2),
//   q = 2: eta_ap = 40 [sin^4(psi0/2) + ln cos(psi0/2)]^2 cot^2(psi0/2),
// the second with its maximum of 82.0 % at F/D = 0.5. Physical optics adds
// the diffraction at the rim, which fades with the size of the dish: at 10
// wavelengths and more the two agree within 0.05 dB.
double eta_closed(double q, double fd) {
    const double h = std::atan(1 / (4 * fd)); // psi0/2
    const double cot2 = 1 / (std::tan(h) * std::tan(h)), lc = std::log(std::cos(h));
    if (q == 1) return 24 * std::pow(std::pow(std::sin(h), 2) + lc, 2) * cot2;
    return 40 * std::pow(std::pow(std::sin(h), 4) + lc, 2) * cot2;
}

TEST(DishAperture, ApertureEfficiencyMatchesApertureIntegration) {
    EXPECT_NEAR(eta_closed(2, 0.5), 0.8196, 1e-4);
    struct Case {
        double d, q, fd;
    } cases[] = {{10, 1, 0.3}, {10, 1, 0.4}, {10, 2, 0.35}, {10, 2, 0.4},
                 {10, 2, 0.5}, {10, 2, 0.7}, {16, 2, 0.5},  {20, 1, 0.4}};
    for (const Case& c : cases) {
        DishResult r = analytic({c.d, c.fd, c.q});
        SCOPED_TRACE(testing::Message() << c.d << " wavelengths, q " << c.q << " F/D " << c.fd);
        EXPECT_NEAR(10 * std::log10(r.eta_ap / eta_closed(c.q, c.fd)), 0, 0.05);
        // The gain is the aperture efficiency times (pi D/lambda)^2.
        EXPECT_NEAR(r.gain, 10 * std::log10(r.eta_ap * std::pow(kPi * c.d, 2)), 1e-9);
        EXPECT_NEAR(r.eta_ill, r.eta_ap / r.eta_spill, 1e-12);
    }
}

// No aperture of diameter D has more gain than the uniformly lit one,
// (pi D/lambda)^2 (Stutzman and Thiele, sec. 7.4). A nearly isotropic feed
// (q = 0.001) far from a shallow dish lights it almost uniformly: the
// illumination efficiency comes close to 1 but never passes it.
TEST(DishAperture, GainNeverExceedsTheUniformAperture) {
    struct Case {
        double d, q, fd;
    } cases[] = {{10, 0.001, 0.25}, {10, 0.001, 0.5}, {10, 0.001, 2.0}, {10, 0.5, 1.0},
                 {10, 1, 3.0},      {12, 0.001, 5.0}, {4, 0.001, 2.0}};
    for (const Case& c : cases) {
        DishResult r = analytic({c.d, c.fd, c.q});
        SCOPED_TRACE(testing::Message() << c.d << " wavelengths, q " << c.q << " F/D " << c.fd);
        EXPECT_LE(r.eta_ap, 1.0);
        EXPECT_LE(r.gain, 20 * std::log10(kPi * c.d));
        // Within the accuracy of the sampled sums, a few parts in a million.
        EXPECT_LE(r.eta_ill, 1.0 + 1e-5);
    }
    // Uniform within ((1 + cos theta0)/2)^2 = 0.97 and cos^0.002: 99.6 %.
    DishResult r = analytic({10, 2.0, 0.001});
    EXPECT_NEAR(r.eta_ill, 1.0, 0.01);
}

// Beam width by aperture integration: the aperture field of a cos^q feed,
// E_a(rho) = cos^q(psi) (1 + cos psi)/2 at rho = 2F tan(psi/2) (the feed
// pattern times the spreading 1/r), radiates
//   E(theta) ~ int_0^{D/2} E_a(rho) J0(k rho sin theta) rho drho
// (Silver, sec. 6.8; Stutzman and Thiele, sec. 7.4). Returns the full width
// between the half-power points, radians.
double aperture_hpbw(double d, double q, double fd) {
    const double F = fd * d, a = d / 2, k = 2 * kPi;
    const int n = 2000;
    auto field = [&](double th) {
        double e = 0;
        for (int i = 0; i < n; ++i) {
            const double rho = (i + 0.5) * a / n, psi = 2 * std::atan(rho / (2 * F));
            e += std::pow(std::cos(psi), q) * (1 + std::cos(psi)) / 2 *
                 std::cyl_bessel_j(0.0, k * rho * std::sin(th)) * rho;
        }
        return e;
    };
    const double e0 = field(0);
    double lo = 0, hi = 2.0 / d;
    for (int it = 0; it < 40; ++it) {
        const double mid = (lo + hi) / 2;
        (std::pow(field(mid) / e0, 2) > 0.5 ? lo : hi) = mid;
    }
    return 2 * lo;
}

// A uniform circular aperture has a half-power beam width of 1.02 lambda/D;
// a usual taper (q = 2 at F/D 0.5, edge -13 dB) widens it to about
// 1.16 lambda/D, a stronger one (F/D 0.4, edge -17 dB) to 1.25 lambda/D. A
// Huygens feed lights the aperture alike in both planes.
TEST(DishAperture, BeamWidthOfATwentyWavelengthDish) {
    struct Case {
        double q, fd;
    } cases[] = {{2, 0.5}, {2, 0.4}, {0.001, 2.0}};
    DishResult typical;
    for (const Case& c : cases) {
        DishResult r = analytic({20, c.fd, c.q});
        if (&c == cases) typical = r;
        const double ref = aperture_hpbw(20, c.q, c.fd) * 180 / kPi;
        SCOPED_TRACE(testing::Message() << "q " << c.q << " F/D " << c.fd << ": " << ref);
        EXPECT_NEAR(r.hpbw_e, ref, 0.01 * ref);
        EXPECT_NEAR(r.hpbw_h, ref, 0.01 * ref);
        EXPECT_EQ(r.npts, 20163);
        EXPECT_NEAR(r.gain, r.cut_e[0], 1e-5);
    }
    const DishResult& r = typical;
    for (double bw : {r.hpbw_e, r.hpbw_h}) {
        EXPECT_GT(bw, 1.0 / 20 * 180 / kPi);
        EXPECT_LT(bw, 1.2 / 20 * 180 / kPi);
    }
    // Its first side lobes lie near -25 dB in both planes (-17.6 dB for
    // the uniform aperture).
    EXPECT_LT(r.sll_e, -20);
    EXPECT_LT(r.sll_h, -20);
}

} // namespace
