// Reflection and transmission of the half-space and the two slabs against
// their limits (bare interface, thin and thick slabs, perfect conductor),
// the closed-form normal-incidence slab and energy conservation.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "common/constants.h"
#include "ground/layer.h"

namespace {

constexpr double kDeg = phys::pi / 180.0;

void expect_near(cplx got, cplx want, double tol, const char* what) {
    EXPECT_LE(std::abs(got - want), tol) << what << ": got " << got << " want " << want;
}

LayerCoef at(double k0, cplx eps, LayerMode mode, double h, double theta_deg) {
    return layer_coef(k0, eps, mode, h, std::sin(theta_deg * kDeg), std::cos(theta_deg * kDeg));
}

TEST(Ctanh, MatchesTanhAndSaturatesWithoutOverflow) {
    const cplx zs[] = {{0.0, 0.0}, {0.3, -1.2}, {-0.7, 2.5}, {2.0, 0.4}, {-4.0, -3.0}, {0.0, 1.0}};
    for (cplx z : zs) expect_near(ctanh_s(z), std::tanh(z), 1e-14, "tanh");
    // exp(2 * 800) overflows; the result must still be +-1.
    expect_near(ctanh_s({800.0, 1.3}), 1.0, 1e-15, "large positive");
    expect_near(ctanh_s({-800.0, -0.2}), -1.0, 1e-15, "large negative");
}

// A slab of vacuum: the half-space and the free slab vanish, the free slab
// transmits fully, and the grounded slab is a bare ground plane at depth h.
TEST(LayerCoef, VacuumMediumIsTransparentOrABarePlane) {
    const double k0 = 30.0, h = 0.02;
    for (double th : {0.0, 25.0, 60.0, 89.0}) {
        SCOPED_TRACE(th);
        // sin^2 - 1 loses digits near grazing: about 1e-16 / cos^2.
        LayerCoef hs = at(k0, 1.0, LAYER_HALFSPACE, h, th);
        expect_near(hs.g_tm, 0.0, 1e-12, "half-space tm");
        expect_near(hs.g_te, 0.0, 1e-12, "half-space te");
        LayerCoef fr = at(k0, 1.0, LAYER_FREE_SLAB, h, th);
        expect_near(fr.g_tm, 0.0, 1e-12, "free slab tm");
        expect_near(fr.g_te, 0.0, 1e-12, "free slab te");
        expect_near(fr.t_tm, 1.0, 1e-14, "free slab t_tm");
        expect_near(fr.t_te, 1.0, 1e-14, "free slab t_te");
        cplx plane = std::exp(cplx(0.0, -2.0 * k0 * h * std::cos(th * kDeg)));
        LayerCoef gr = at(k0, 1.0, LAYER_GROUNDED_SLAB, h, th);
        expect_near(gr.g_tm, plane, 1e-14, "grounded tm");
        expect_near(gr.g_te, -plane, 1e-14, "grounded te");
        expect_near(gr.t_tm, 0.0, 0.0, "no transmission");
    }
}

TEST(LayerCoef, VanishingThicknessGivesPlaneOrNothing) {
    const cplx eps = 4.4 * cplx(1.0, -0.02);
    for (double th : {0.0, 45.0, 80.0}) {
        SCOPED_TRACE(th);
        LayerCoef gr = at(100.0, eps, LAYER_GROUNDED_SLAB, 1e-12, th);
        expect_near(gr.g_tm, 1.0, 1e-9, "grounded tm");
        expect_near(gr.g_te, -1.0, 1e-9, "grounded te");
        LayerCoef fr = at(100.0, eps, LAYER_FREE_SLAB, 1e-12, th);
        expect_near(fr.g_tm, 0.0, 1e-9, "free tm");
        expect_near(fr.g_te, 0.0, 1e-9, "free te");
        expect_near(fr.t_tm, 1.0, 1e-9, "free t_tm");
        expect_near(fr.t_te, 1.0, 1e-9, "free t_te");
    }
}

// The half-space coefficients are the Fresnel coefficients of the
// interface, and a conductor of huge conductivity is the perfect one with
// the sign convention R_TM = +1, R_TE = -1.
// A lossless ground (real eps) must take the decaying root below the
// interface as well: |R| <= 1.
TEST(LayerCoef, HalfSpaceIsFresnelAndTendsToPerfectConductor) {
    const cplx lossy(13.0, -0.005 / (phys::two_pi * 7e6 * phys::eps0));
    for (double th : {0.0, 30.0, 70.0, 89.9}) {
        SCOPED_TRACE(th);
        double c = std::cos(th * kDeg), s2 = 1.0 - c * c;
        for (cplx eps : {lossy, cplx(4.0, 0.0)}) {
            cplx root = std::sqrt(eps - s2);
            LayerCoef hs = at(0.15, eps, LAYER_HALFSPACE, 0.0, th);
            expect_near(hs.g_tm, (eps * c - root) / (eps * c + root), 1e-13, "tm");
            expect_near(hs.g_te, (c - root) / (c + root), 1e-13, "te");
        }
        // |1 - R_TM| ~ 1/(sqrt|eps| cos): 2e-4 at 0.1 degree above grazing.
        LayerCoef pec = at(0.15, cplx(1.0, -1e14), LAYER_HALFSPACE, 0.0, th);
        expect_near(pec.g_tm, 1.0, 2e-4, "pec tm");
        expect_near(pec.g_te, -1.0, 1e-6, "pec te");
    }
}

// A slab many skin depths thick looks like the half-space from above, and
// nothing overflows however thick it is.
TEST(LayerCoef, ThickLossySlabsApproachTheHalfSpace) {
    const cplx eps(5.0, -3.0);
    for (double h : {5.0, 1e3, 1e8}) {
        for (double th : {0.0, 50.0, 85.0}) {
            SCOPED_TRACE(testing::Message() << "h=" << h << " th=" << th);
            LayerCoef hs = at(20.0, eps, LAYER_HALFSPACE, 0.0, th);
            for (LayerMode mode : {LAYER_GROUNDED_SLAB, LAYER_FREE_SLAB}) {
                LayerCoef sl = at(20.0, eps, mode, h, th);
                expect_near(sl.g_tm, hs.g_tm, 1e-12, "tm");
                expect_near(sl.g_te, hs.g_te, 1e-12, "te");
                EXPECT_TRUE(std::isfinite(std::abs(sl.t_tm)) && std::isfinite(std::abs(sl.t_te)));
                EXPECT_LT(std::abs(sl.t_te), 1e-12);
                EXPECT_LT(std::abs(sl.t_tm), 1e-12);
            }
        }
    }
}

// Lossless slab of index n at normal incidence:
//   t = exp(j k0 h) / (cos(n k0 h) + (j/2)(n + 1/n) sin(n k0 h)).
TEST(LayerCoef, NormalIncidenceFreeSlabTransmission) {
    struct Case {
        double n, k0h;
    };
    for (Case c :
         {Case{1.5, 0.1}, Case{2.0, 0.7853981633974483}, Case{3.2, 2.9}, Case{2.1, 12.0}}) {
        SCOPED_TRACE(testing::Message() << "n=" << c.n << " k0h=" << c.k0h);
        const double k0 = 50.0, h = c.k0h / k0;
        cplx want =
            std::exp(cplx(0.0, c.k0h)) /
            (std::cos(c.n * c.k0h) + cplx(0.0, 0.5 * (c.n + 1.0 / c.n)) * std::sin(c.n * c.k0h));
        LayerCoef fr = layer_coef(k0, c.n * c.n, LAYER_FREE_SLAB, h, 0.0, 1.0);
        expect_near(fr.t_te, want, 1e-13, "t_te");
        expect_near(fr.t_tm, want, 1e-13, "t_tm");
    }
}

// Without loss no power disappears: a free slab reflects and transmits
// |g|^2 + |t|^2 = 1 in each polarisation, a grounded one reflects all.
TEST(LayerCoef, LosslessSlabsConserveEnergy) {
    for (double eps : {2.2, 4.4, 10.2}) {
        for (double k0h : {0.05, 0.6, 3.0}) {
            for (double th : {0.0, 20.0, 55.0, 85.0}) {
                SCOPED_TRACE(testing::Message() << eps << " " << k0h << " " << th);
                LayerCoef fr = at(10.0, eps, LAYER_FREE_SLAB, k0h / 10.0, th);
                EXPECT_NEAR(std::norm(fr.g_te) + std::norm(fr.t_te), 1.0, 1e-12);
                EXPECT_NEAR(std::norm(fr.g_tm) + std::norm(fr.t_tm), 1.0, 1e-12);
                LayerCoef gr = at(10.0, eps, LAYER_GROUNDED_SLAB, k0h / 10.0, th);
                EXPECT_NEAR(std::abs(gr.g_te), 1.0, 1e-12);
                EXPECT_NEAR(std::abs(gr.g_tm), 1.0, 1e-12);
            }
        }
    }
}

TEST(LayerCoef, GrazingDirectionsTransmitNothing) {
    for (double c : {0.0, 1e-10, 9.9e-10}) {
        LayerCoef fr = layer_coef(10.0, 4.4, LAYER_FREE_SLAB, 0.0016, std::sqrt(1.0 - c * c), c);
        EXPECT_EQ(fr.t_tm, 0.0) << c;
        EXPECT_EQ(fr.t_te, 0.0) << c;
    }
    LayerCoef just = layer_coef(10.0, 4.4, LAYER_FREE_SLAB, 0.0016, 1.0, 1e-9);
    EXPECT_NE(just.t_te, 0.0);
}

} // namespace
