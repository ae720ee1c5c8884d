// The list of cut angles and the beam width and side lobe of a cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dish/cuts.h"

namespace {

constexpr double kPi = 3.141592653589793;

double theta_b(double wavelengths) {
    return 1.2 / wavelengths * 180 / kPi;
}

TEST(DishCuts, ThirtyWavelengthsGiveFineMediumAndCoarseRuns) {
    std::vector<double> th = dish_cut_angles(30, 1);
    ASSERT_EQ(th.size(), 816u);
    const double tb = theta_b(30);
    for (int j = 0; j < 480; ++j) EXPECT_NEAR(th[static_cast<size_t>(j)], j * tb / 40, 1e-12);
    EXPECT_NEAR(th[480], 27.50, 0.005);
    EXPECT_NEAR(th[480], 12 * tb, 1e-12);
    for (int j = 0; j < 55; ++j)
        EXPECT_NEAR(th[480 + static_cast<size_t>(j)], 12 * tb + j * tb / 10, 1e-12);
    EXPECT_LT(th[534], 40);
    for (int j = 0; j < 281; ++j) EXPECT_EQ(th[535 + static_cast<size_t>(j)], 40 + 0.5 * j);
    EXPECT_EQ(th.back(), 180);
}

TEST(DishCuts, TenWavelengthsRunPastFortyDegreesThenStartAgain) {
    std::vector<double> th = dish_cut_angles(10, 1);
    ASSERT_EQ(th.size(), 761u);
    EXPECT_GT(th[479], 80);
    EXPECT_EQ(th[480], 40);
    EXPECT_FALSE(std::is_sorted(th.begin(), th.end()));
    EXPECT_EQ(th.back(), 180);
}

// Every list starts on the axis, ends at 180 degrees, stays within 0..180
// and holds at most 4000 angles: a dish of 1000 wavelengths would want
// 5700 medium steps, one of 2 wavelengths a fine run to 412 degrees.
TEST(DishCuts, ListsStayWithinTheHalfCircleAndTheLimit) {
    for (double wl : {0.2, 1.0, 2.0, 4.0, 4.6, 10.0, 57.3, 100.0, 577.0, 1000.0, 1e5}) {
        std::vector<double> th = dish_cut_angles(wl, 1);
        SCOPED_TRACE(wl);
        EXPECT_LE(th.size(), 4000u);
        EXPECT_EQ(th.front(), 0);
        EXPECT_EQ(th.back(), 180);
        EXPECT_LE(*std::max_element(th.begin(), th.end()), 180 + 1e-9);
        EXPECT_GE(*std::min_element(th.begin(), th.end()), 0);
        EXPECT_EQ(th[th.size() - 281], 40); // the coarse run is always whole
    }
    EXPECT_EQ(dish_cut_angles(1000, 1).size(), 4000u);
}

// A uniformly lit line source of length L: g = 20 log10|sin u / u| with
// u = (pi L/lambda) sin theta. Its half-power point is at u = 1.39156, its
// first side lobe -13.26 dB at u = 4.4934 (Balanis, Antenna Theory, sec. 6.2).
TEST(DishCuts, StatsOfAUniformLineSource) {
    const double L = 20; // wavelengths
    std::vector<double> th;
    std::vector<float> g;
    for (int i = 0; i <= 3000; ++i) {
        double t = i * 0.02, u = kPi * L * std::sin(t * kPi / 180);
        double a = u == 0 ? 1 : std::sin(u) / u;
        th.push_back(t);
        g.push_back(static_cast<float>(a * a > 1e-30 ? 10 * std::log10(a * a) : -300));
    }
    double hpbw, sll;
    cut_stats(th.data(), g.data(), static_cast<int>(th.size()), hpbw, sll);
    const double half = std::asin(1.39156 / (kPi * L)) * 180 / kPi;
    // Linear interpolation between samples 0.02 degrees apart near the
    // 3-dB point.
    EXPECT_NEAR(hpbw, 2 * half, 0.005);
    EXPECT_NEAR(sll, -13.26, 0.02);
}

TEST(DishCuts, CutsWithoutA3dBPointOrASideLobe) {
    const std::vector<double> th = {0, 10, 20, 30, 40, 50, 70, 90};
    double hpbw = -1, sll = -1;
    // Never 3 dB down: no beam width, nothing after it.
    std::vector<float> flat = {10, 9.5, 9, 8.5, 8, 7.9, 7.8, 7.5};
    cut_stats(th.data(), flat.data(), 8, hpbw, sll);
    EXPECT_EQ(hpbw, 0);
    EXPECT_EQ(sll, 0);
    // Falls 3 dB between 10 and 20 degrees (at 15), then keeps falling: no
    // null before the last sample, which lies beyond 60 degrees.
    std::vector<float> falling = {10, 8.5, 5.5, 0, -5, -10, -20, -30};
    cut_stats(th.data(), falling.data(), 8, hpbw, sll);
    EXPECT_DOUBLE_EQ(hpbw, 30);
    EXPECT_EQ(sll, 0);
    // A null at 30 degrees and a lobe at 40: side lobe -12 dB.
    std::vector<float> lobe = {10, 8.5, 5.5, -20, -2, -8, -15, -30};
    cut_stats(th.data(), lobe.data(), 8, hpbw, sll);
    EXPECT_DOUBLE_EQ(hpbw, 30);
    EXPECT_DOUBLE_EQ(sll, -12);
    // No field on the axis nor anywhere: both 0.
    std::vector<float> dark(8, -300);
    cut_stats(th.data(), dark.data(), 8, hpbw, sll);
    EXPECT_EQ(hpbw, 0);
    EXPECT_EQ(sll, 0);
}

} // namespace
