// Sampling of the reflector surface and the reflectivity of a wire mesh.
#include <gtest/gtest.h>

#include <cmath>

#include "dish/surface.h"

namespace {

constexpr double kC = 299792458.0;

// Diameters of 10 and 20 wavelengths hold 40 and 80 rings of width lambda/8.
// At 170 kHz, 350 kHz and 4.83 MHz the quotient (D/2)/(lambda/8) comes out
// one bit above the integer (40.000000000000007), and a plain ceiling would
// add a ring; the count must not depend on the frequency.
TEST(DishSurface, RingAndPointCountsHoldAtAnyFrequency) {
    const double freqs[] = {170e3, 350e3, 4.83e6, 14.2e6, 299792458.0, 1e9, 2.4e9, 10e9, 77e9};
    struct Case {
        int wavelengths, rings, points;
    } cases[] = {{10, 40, 5064}, {20, 80, 20163}};
    for (const Case& c : cases)
        for (double f : freqs) {
            const double lam = kC / f, D = c.wavelengths * lam;
            SCOPED_TRACE(testing::Message() << c.wavelengths << " wavelengths at " << f << " Hz");
            // The fault this guards against: the quotient is not always whole.
            DishSampling s = dish_surface(D, 0.4 * D, lam);
            EXPECT_EQ(static_cast<int>(s.ring_n.size()), c.rings);
            EXPECT_EQ(static_cast<int>(s.pts.size()), c.points);
            EXPECT_EQ(dish_point_count(D, lam), c.points);
        }
    // At 170 kHz the rounding is really there.
    const double lam = kC / 170e3;
    EXPECT_GT((10 * lam / 2) / (lam / 8), 40.0);
}

TEST(DishSurface, SmallDishKeepsFortyRingsOfSixteenPoints) {
    // Half a wavelength: (D/2)/(lambda/8) = 2 rings by the spacing alone.
    DishSampling s = dish_surface(0.5, 0.2, 1.0);
    ASSERT_EQ(s.ring_n.size(), 40u);
    for (int n : s.ring_n) EXPECT_EQ(n, 16);
    EXPECT_EQ(s.pts.size(), 640u);
    // A dish of 10 wavelengths: (D/2)/(lambda/8) = 40 rings, more than
    // ceil(4 D/lambda) would give for anything smaller.
    EXPECT_EQ(dish_ring_count(10, 1), 40);
    EXPECT_EQ(dish_ring_count(3, 1), 40);
    EXPECT_EQ(dish_ring_count(10.5, 1), 42);
}

TEST(DishSurface, SamplesLieOnTheParaboloidAndTileTheAperture) {
    const double D = 3, F = 1.2, lam = 0.1;
    DishSampling s = dish_surface(D, F, lam);
    double area = 0;
    for (const DishPoint& p : s.pts) {
        // r^2 = 4 F (z + F): every point is as far from the focus as from
        // the directrix plane z = -2F.
        const double r2 = p.x * p.x + p.y * p.y;
        EXPECT_NEAR(r2, 4 * F * (p.z + F), 1e-12);
        EXPECT_NEAR(std::sqrt(r2 + p.z * p.z), p.z + 2 * F, 1e-12);
        EXPECT_LT(std::sqrt(r2), D / 2);
        area += p.area;
    }
    // The projected areas add up to the aperture, pi (D/2)^2.
    EXPECT_NEAR(area, 3.141592653589793 * 2.25, 1e-9);
    // Rings are lambda/8 wide and their points lambda/8 apart or closer.
    EXPECT_NEAR(s.dr, lam / 8, 1e-15);
    for (size_t i = 0; i < s.ring_n.size(); ++i)
        EXPECT_LE(2 * 3.141592653589793 * (i + 0.5) * s.dr / s.ring_n[i], lam / 8 + 1e-15);
}

TEST(DishSurface, BlockageCoversTheRingsInsideItsDiameter) {
    DishSampling s = dish_surface(10, 4, 1); // 40 rings of 0.125 m
    struct Case {
        double block;
        int rings;
    } cases[] = {{0, 0}, {0.1, 0}, {0.125, 0}, {0.13, 1}, {1.5, 6}, {10, 40}, {20, 40}};
    for (const Case& c : cases) {
        int n = 0;
        for (int i = 0; i < c.rings; ++i) n += s.ring_n[static_cast<size_t>(i)];
        EXPECT_EQ(dish_blocked(s, c.block), n) << c.block;
    }
}

// A grid of thin parallel wires of radius a, spacing s: shunt reactance
// X = eta0 (s/lambda) ln(s/(2 pi a)) across the wave (Marcuvitz, Waveguide
// Handbook, sec. 5.21), reflection Gamma = -1/(1 + j 2X/eta0).
TEST(DishSurface, WireMeshReflectsLessThanASolidSurface) {
    EXPECT_EQ(dish_mesh_gamma(0, 0, 1), cplx(-1));
    // Spacing lambda/10 of wire of radius s/50: 2X/eta0 = 0.2 ln(50/(2 pi))
    // = 0.415, |Gamma|^2 = 0.853 (0.69 dB lost through the mesh).
    const double x = 0.2 * std::log(50 / (2 * 3.141592653589793));
    const double refl = std::norm(dish_mesh_gamma(0.1, 0.002, 1));
    EXPECT_NEAR(refl, 1 / (1 + x * x), 1e-12);
    EXPECT_NEAR(refl, 0.853, 0.001);
    // The default radius is s/50.
    EXPECT_EQ(dish_mesh_gamma(0.1, 0, 1), dish_mesh_gamma(0.1, 0.002, 1));
    // Finer mesh and thicker wire reflect more; wires thicker than
    // s/(2 pi) are as good as solid.
    EXPECT_GT(std::norm(dish_mesh_gamma(0.05, 0.001, 1)), refl);
    EXPECT_GT(std::norm(dish_mesh_gamma(0.1, 0.01, 1)), refl);
    EXPECT_EQ(std::norm(dish_mesh_gamma(0.1, 0.05, 1)), 1.0);
    // The reflected wave is opposite to the incident field, with a lag.
    cplx g = dish_mesh_gamma(0.1, 0.002, 1);
    EXPECT_LT(g.real(), 0);
}

} // namespace
