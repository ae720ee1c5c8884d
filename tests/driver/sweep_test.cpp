// Resonance and resistance peak drawn from a sweep.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "driver/sweep.h"

namespace {
using cd = std::complex<double>;

TEST(Sweep, ResonanceIsTheFirstReactanceZeroInterpolated) {
    std::vector<double> f = {13e6, 14e6, 15e6, 16e6, 17e6};
    // Crossing between 14 and 15 MHz at X 0 = -30 + 40 t: t = 0.75; a second one later.
    std::vector<cd> z = {{60, -60}, {65, -30}, {70, 10}, {75, -5}, {80, 20}};
    EXPECT_NEAR(sweep_fres(f, z), 14.75, 1e-12);
    // Falling through zero counts as well.
    std::vector<cd> zf = {{60, 20}, {65, -20}};
    EXPECT_NEAR(sweep_fres({1e6, 2e6}, zf), 1.5, 1e-12);
}

TEST(Sweep, ExactZeroOnlyAsTheSecondPointOfAPair) {
    std::vector<double> f = {1e6, 2e6, 3e6};
    // X = 0 at the first point: the pair (0, +5) is no crossing; none found.
    EXPECT_EQ(sweep_fres(f, {{50, 0}, {50, 5}, {50, 9}}), -1);
    // X = 0 as the second point: resonance exactly there.
    EXPECT_NEAR(sweep_fres(f, {{50, -4}, {50, 0}, {50, 3}}), 2.0, 1e-12);
}

TEST(Sweep, FewerThanTwoPointsOrNoCrossingGiveMinusOne) {
    EXPECT_EQ(sweep_fres({14e6}, {{73, -1}}), -1);
    EXPECT_EQ(sweep_fres({}, {}), -1);
    EXPECT_EQ(sweep_fres({1e6, 2e6}, {{1, 1}, {2, 2}}), -1);
    EXPECT_EQ(sweep_fpeak({14e6}, {{73, -1}}), -1);
}

TEST(Sweep, PeakByParabola) {
    // R = 100 - (f - 2.3)^2 sampled at 1, 2, 3, 4 MHz: the parabola is exact.
    std::vector<double> f = {1e6, 2e6, 3e6, 4e6};
    std::vector<cd> z;
    for (double x : {1.0, 2.0, 3.0, 4.0}) z.push_back({100 - (x - 2.3) * (x - 2.3), 0});
    EXPECT_NEAR(sweep_fpeak(f, z), 2.3, 1e-12);
}

TEST(Sweep, PeakAtEitherEndGivesMinusOne) {
    std::vector<double> f = {1e6, 2e6, 3e6};
    EXPECT_EQ(sweep_fpeak(f, {{90, 0}, {80, 0}, {70, 0}}), -1);
    EXPECT_EQ(sweep_fpeak(f, {{70, 0}, {80, 0}, {90, 0}}), -1);
    // Equal maxima: the first wins, and the parabola through it and its
    // neighbours peaks half-way to the second.
    EXPECT_NEAR(sweep_fpeak({1e6, 2e6, 3e6, 4e6}, {{10, 0}, {80, 0}, {80, 0}, {10, 0}}), 2.5,
                1e-12);
}

// The gain peak of a sweep: a parabola sampled at equal steps is found
// exactly (its vertex and value); a maximum at either end, fewer than three
// points or a gain that is not finite give none; two equal maxima put the
// peak half-way between them.
TEST(Sweep, GainPeakByParabola) {
    const std::vector<double> f = {14.0e6, 14.1e6, 14.2e6, 14.3e6, 14.4e6};
    auto parabola = [&](double fv, double gv, double c) {
        std::vector<double> g;
        for (double x : f) g.push_back(gv - c * (x / 1e6 - fv) * (x / 1e6 - fv));
        return g;
    };
    const struct {
        double fv, gv;
    } vertices[] = {{14.23, 8.1}, {14.17, 6.0}, {14.2, 7.5}, {14.06, 9.9}, {14.349, -1.2}};
    for (const auto& v : vertices) {
        double fm = 0, gm = 0;
        ASSERT_TRUE(sweep_gain_peak(f, parabola(v.fv, v.gv, 40), &fm, &gm)) << v.fv;
        EXPECT_NEAR(fm, v.fv, 1e-9) << v.fv;
        EXPECT_NEAR(gm, v.gv, 1e-9) << v.fv;
    }
    double fm = -7, gm = -7;
    EXPECT_FALSE(sweep_gain_peak(f, {1, 2, 3, 4, 5}, &fm, &gm)); // rising: beyond the sweep
    EXPECT_FALSE(sweep_gain_peak(f, {5, 4, 3, 2, 1}, &fm, &gm)); // falling
    EXPECT_FALSE(sweep_gain_peak({14e6, 14.1e6}, {1, 2}, &fm, &gm));
    EXPECT_FALSE(sweep_gain_peak(f, {1, 2, 3, std::nan(""), 1}, &fm, &gm));
    EXPECT_EQ(fm, -7); // nothing written when there is no peak
    EXPECT_EQ(gm, -7);
    ASSERT_TRUE(sweep_gain_peak(f, {1, 3, 3, 1, 0}, &fm, &gm));
    EXPECT_NEAR(fm, 14.15, 1e-12);
    EXPECT_NEAR(gm, 3.25, 1e-12); // the parabola through 1, 3, 3
}

// The design frequency against the sweep's range, whichever way the sweep
// runs; its ends count as inside, to rounding.
TEST(Sweep, DesignFrequencyOutsideTheSweepIsNamed) {
    struct Case {
        double f0, fstart, fstop;
        int nfreq;
        const char* warning;
    } cases[] = {
        {14e6, 13e6, 15e6, 5, ""},
        {15e6, 13e6, 15e6, 5, ""},
        {15e6 * (1 + 1e-12), 13e6, 15e6, 5, ""},
        {13e6, 15e6, 13e6, 5, ""}, // a downward sweep
        {16e6, 13e6, 15e6, 5, "design frequency 16 MHz lies outside the sweep (13 to 15 MHz)"},
        {12.5e6, 15e6, 13e6, 3, "design frequency 12.5 MHz lies outside the sweep (13 to 15 MHz)"},
        {14e6, 14.2e6, 14.2e6, 2,
         "design frequency 14 MHz lies outside the sweep (14.2 to 14.2 MHz)"},
        {16e6, 13e6, 15e6, 1, ""}, // one point is no sweep: it is f0 itself
        {16e6, 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        Model m;
        m.f0 = c.f0;
        m.fstart = c.fstart;
        m.fstop = c.fstop;
        m.nfreq = c.nfreq;
        EXPECT_EQ(sweep_f0_warning(m), c.warning) << c.f0 << " " << c.fstart << " " << c.fstop;
    }
}

} // namespace
