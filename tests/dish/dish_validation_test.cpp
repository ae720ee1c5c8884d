// The reflector against closed forms of antenna theory, with the analytic
// cos^q feed (radiating 1 W, nothing forward of the focal plane).
#include <gtest/gtest.h>

#include <cmath>

#include "dish_fixtures.h"

namespace {

using namespace dishfix;

// Rim half-angle theta0 = 2 atan(D/(4F)).
TEST(DishValidation, RimAngleAndFocalRatio) {
    Model m = dish_model({});
    m.dish_d = 3;
    m.dish_f = 1.2;
    m.f0 = 1e8; // one wavelength: the angle does not depend on it
    Mesh mesh;
    std::vector<cplx> cur;
    DishResult r;
    std::string err;
    ASSERT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr, nullptr, err),
              0);
    EXPECT_DOUBLE_EQ(r.fd, 0.4);
    EXPECT_NEAR(r.theta0, 64.0, 0.05);
    EXPECT_DOUBLE_EQ(r.theta0, 2 * std::atan(3 / 4.8) * 180 / kPi);
    EXPECT_EQ(r.feed_prad, 1);
}

// The power of a cos^q field feed inside the rim cone, over its whole power:
//   int_0^theta0 cos^{2q} t sin t dt / int_0^{pi/2} ... = 1 - cos^{2q+1} theta0,
// and the edge illumination as the report defines it, the rim power density
// against the axis times the spreading ((1 + cos theta0)/2)^2:
//   10 log10(cos^{2q} theta0 ((1 + cos theta0)/2)^2).
// Neither depends on the size of the dish: a 2-wavelength dish keeps it quick.
TEST(DishValidation, SpilloverAndEdgeIlluminationOfACosQFeed) {
    struct Case {
        double q, fd;
    } cases[] = {{0.5, 0.5}, {1, 0.3}, {2, 0.4}, {2, 0.5}, {5, 0.6}, {10, 0.35}, {10, 1.0}};
    for (const Case& c : cases) {
        DishResult r = analytic({2, c.fd, c.q});
        const double t0 = 2 * std::atan(1 / (4 * c.fd));
        SCOPED_TRACE(testing::Message() << "q " << c.q << " F/D " << c.fd);
        EXPECT_NEAR(r.eta_spill, 1 - std::pow(std::cos(t0), 2 * c.q + 1), 1e-4);
        EXPECT_LE(r.eta_spill, 1.0);
        const double spread = (1 + std::cos(t0)) / 2;
        EXPECT_NEAR(r.edge_db, 10 * std::log10(std::pow(std::cos(t0), 2 * c.q) * spread * spread),
                    1e-9);
    }
}

// The midpoint rule over the rim cone overshoots for a tightly tapered feed
// (q = 10 at F/D 0.35 sums to 1.000008 of the radiated power): the
// spillover efficiency is a fraction and stops at 1.
TEST(DishValidation, SpilloverNeverExceedsOne) {
    DishResult r = analytic({2, 0.35, 10});
    EXPECT_EQ(r.eta_spill, 1.0);
    EXPECT_NEAR(r.eta_ill, r.eta_ap, 1e-15);
}

// A mesh of spacing lambda/10 of wire of radius s/50 lets 15 % of the power
// through (Marcuvitz's grid reactance): the current and the field on the
// axis scale with the reflection coefficient, so the axis gain falls by
// 10 log10 |Gamma|^2 = -0.69 dB and the illumination efficiency stays.
TEST(DishValidation, WireMeshReflectsLessThanASolidDish) {
    DishResult solid = analytic({4, 0.4, 2});
    Dish meshed{4, 0.4, 2};
    meshed.mesh = 0.1;
    meshed.wire_r = 0.002;
    DishResult r = analytic(meshed);
    EXPECT_EQ(solid.mesh_refl, 1);
    EXPECT_NEAR(r.mesh_refl, 0.853, 0.001);
    EXPECT_NEAR(r.gain - solid.gain, 10 * std::log10(r.mesh_refl), 1e-6);
    EXPECT_NEAR(r.eta_ap, solid.eta_ap * r.mesh_refl, 1e-9);
    EXPECT_NEAR(r.eta_ill, r.eta_ap / r.eta_spill / r.mesh_refl, 1e-12);
    EXPECT_NEAR(r.eta_ill, solid.eta_ill, 1e-6);
}

} // namespace
