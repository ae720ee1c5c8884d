// The far-field search on analytic gain functions whose maximum, front/back
// ratio and beam widths are known in closed form.
#include <gtest/gtest.h>

#include <cmath>

#include "common/constants.h"
#include "driver/pattern_search.h"

namespace {

constexpr double kDeg = phys::deg;

TEST(PatternSearch, VerticalDipoleInFreeSpace) {
    // Short dipole along z: G = 1.5 sin^2(theta), omnidirectional in azimuth.
    GainFn g = [](double th, double) { return 1.5 * std::sin(th) * std::sin(th); };
    PatternFigures p;
    double bwaz = -1, bwel = -1;
    pattern_search(g, false, p, &bwaz, &bwel);
    EXPECT_NEAR(p.gmax, 10 * std::log10(1.5), 1e-12);
    EXPECT_EQ(p.thmax, 90);
    EXPECT_EQ(p.phmax, 0);
    EXPECT_NEAR(p.fb, 0, 1e-12);
    EXPECT_EQ(bwaz, 360); // never closes in azimuth
    // Half power at 45 degrees either side: 90 degrees within the 0.25 step.
    EXPECT_NEAR(bwel, 90, 0.5);
}

TEST(PatternSearch, BeamAlongXWithBackLobe) {
    // A cos^n beam toward +x (n = 6 in azimuth and elevation) with a back
    // lobe 20 dB down toward -x.
    GainFn g = [](double th, double ph) {
        double c = std::sin(th) * std::cos(ph); // cosine of the angle from +x
        return c > 0 ? 20 * std::pow(c, 6) : 0.2 * std::pow(-c, 6);
    };
    PatternFigures p;
    double bwaz = 0, bwel = 0;
    pattern_search(g, false, p, &bwaz, &bwel);
    EXPECT_NEAR(p.gmax, 10 * std::log10(20.0), 1e-9);
    EXPECT_NEAR(p.thmax, 90, 1e-9);
    EXPECT_NEAR(p.fb, 20, 1e-9);
    // cos^6(a) = 1/2 at a = acos(2^(-1/6)) = 27.03 degrees: width 54.06.
    double full = 2 * std::acos(std::pow(2.0, -1.0 / 6)) / kDeg;
    EXPECT_NEAR(bwaz, full, 0.5);
    EXPECT_NEAR(bwel, full, 0.5);
}

TEST(PatternSearch, MaximumJustBelowZeroAzimuthIsReportedNear360) {
    GainFn g = [](double th, double ph) {
        double d = ph / kDeg + 0.1;
        return std::sin(th) * std::exp(-d * d / 400);
    };
    PatternFigures p;
    pattern_search(g, false, p, nullptr, nullptr);
    EXPECT_GT(p.phmax, 359.5);
    EXPECT_LT(p.phmax, 360);
}

TEST(PatternSearch, GroundedMonopoleStaysAboveTheHorizon) {
    // Over a ground only theta <= 90 radiates; the gain rises to the horizon.
    int calls = 0;
    GainFn g = [&calls](double th, double) {
        ++calls;
        EXPECT_LE(th / kDeg, 89.95 + 1e-9);
        return 3 * std::sin(th) * std::sin(th);
    };
    PatternFigures p;
    double bwaz = 0, bwel = 7;
    pattern_search(g, true, p, &bwaz, &bwel);
    EXPECT_NEAR(p.thmax, 89.9, 1e-9);
    EXPECT_NEAR(p.gmax, 10 * std::log10(3.0), 1e-4);
    EXPECT_NEAR(p.fb, 0, 1e-12);
    EXPECT_EQ(bwaz, 360);
    EXPECT_EQ(bwel, 0); // runs into the horizon before falling to half
}

// Over a ground, a beam whose maximum lies on the horizon has no lower 3-dB
// point: the two-sided width is 0 and the one-sided width runs from the
// horizon up to where the gain has fallen to half. G = sin^8(theta) falls
// to half at theta = asin(2^(-1/8)) = 66.50 degrees, 23.50 degrees up. A
// beam that closes above the horizon, and the same beam in free space, have
// no one-sided width.
TEST(PatternSearch, OneSidedElevationWidthAtTheHorizon) {
    GainFn low = [](double th, double) { return 5 * std::pow(std::sin(th), 8); };
    PatternFigures p;
    double bwaz = 0, bwel = 7;
    pattern_search(low, true, p, &bwaz, &bwel);
    EXPECT_EQ(bwel, 0);
    EXPECT_NEAR(p.bwel_horizon, 90 - std::asin(std::pow(2.0, -1.0 / 8)) / kDeg, 0.4);

    // exp(-((theta - 60) / 15)^2): half power 15 sqrt(ln 2) = 12.49 degrees
    // either side of 30 degrees up, 17 dB down at the horizon.
    GainFn raised = [](double th, double) {
        double d = (th / kDeg - 60) / 15;
        return 5 * std::exp(-d * d);
    };
    pattern_search(raised, true, p, &bwaz, &bwel);
    EXPECT_NEAR(bwel, 30 * std::sqrt(std::log(2.0)), 0.5);
    EXPECT_EQ(p.bwel_horizon, 0);

    pattern_search(low, false, p, &bwaz, &bwel);
    EXPECT_NEAR(bwel, 2 * (90 - std::asin(std::pow(2.0, -1.0 / 8)) / kDeg), 0.5);
    EXPECT_EQ(p.bwel_horizon, 0);
}

TEST(PatternSearch, CoarseGridCounts) {
    int calls = 0;
    GainFn flat = [&calls](double, double) {
        ++calls;
        return 1.0;
    };
    PatternFigures p;
    pattern_search(flat, false, p, nullptr, nullptr);
    // 37 x 72 coarse points, 4 passes of 3 x 5 refinement points (the rows
    // above the zenith are skipped), one back direction.
    EXPECT_EQ(calls, 2664 + 4 * 15 + 1);
    EXPECT_EQ(p.thmax, 0); // ties keep the first point
    EXPECT_EQ(p.phmax, 0);
    calls = 0;
    pattern_search(flat, true, p, nullptr, nullptr);
    EXPECT_EQ(calls, 1296 + 4 * 15 + 1); // the horizon row is never sampled
}

TEST(PatternSearch, MaximaEqualToRoundingKeepTheFirstAndGiveZeroFrontBack) {
    // A short dipole along y: the gain is largest on the whole circle
    // sin(theta) sin(phi) = 0. Computed far fields carry noise of relative
    // size 1e-15 or so, which must not decide among equal maxima: the first
    // in search order (theta 0, phi 0) is kept and the front/back ratio is
    // exactly 0 dB, whatever the noise.
    for (double seed : {1.0, 2.0, 3.0}) {
        GainFn g = [seed](double th, double ph) {
            const double s = std::sin(th) * std::sin(ph);
            const double noise = 1e-14 * std::sin(1e4 * seed * th + 3e3 * ph);
            return 1.5 * (1 - s * s) * (1 + noise);
        };
        PatternFigures p;
        pattern_search(g, false, p, nullptr, nullptr);
        EXPECT_EQ(p.thmax, 0) << seed;
        EXPECT_EQ(p.phmax, 0) << seed;
        EXPECT_EQ(p.fb, 0) << seed;
        EXPECT_NEAR(p.gmax, 10 * std::log10(1.5), 1e-9);
    }
}

TEST(PatternSearch, NullBehindGivesAFiniteRatio) {
    GainFn g = [](double th, double ph) {
        double c = std::sin(th) * std::cos(ph);
        return c > 0 ? 4 * c * c : 0.0;
    };
    PatternFigures p;
    pattern_search(g, false, p, nullptr, nullptr);
    EXPECT_NEAR(p.fb, 10 * std::log10(4 / 1e-30), 1e-9);
}

TEST(PatternSearch, BeamWidthsUntouchedWhenNotAsked) {
    GainFn g = [](double, double) { return 1.0; };
    PatternFigures p;
    double bwaz = 11, bwel = 22;
    pattern_search(g, false, p, nullptr, &bwel);
    EXPECT_EQ(bwaz, 11);
    EXPECT_EQ(bwel, 22);
}

} // namespace
