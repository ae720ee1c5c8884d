// L-network matching: worked values, element texts, ordering, and the
// check that every proposed network really transforms the load to Z0.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "driver/lmatch.h"

namespace {

using cd = std::complex<double>;

// Impedance seen from the line through the proposed network.
cd transformed(double r, double x, const MatchSolution& s) {
    cd zl(r, x), jxs(0, s.xs), jb(0, s.bp);
    if (s.sh) return 1.0 / (1.0 / zl + jb) + jxs; // shunt at the load, then series
    return 1.0 / (1.0 / (zl + jxs) + jb);         // series at the load, then shunt
}

TEST(Lmatch, WorkedExampleHundredOhmAt14MHz) {
    MatchSolution m[2];
    ASSERT_EQ(lmatch(100, 0, 50, 14.2e6, m), 2);
    EXPECT_EQ(m[0].sh, 1);
    EXPECT_NEAR(m[0].bp, 0.01, 1e-15);
    EXPECT_NEAR(m[0].xs, 50, 1e-12);
    EXPECT_EQ(m[0].at_antenna, "shunt C = 112.1 pF");
    EXPECT_EQ(m[0].toward_line, "series L = 0.5604 uH");
    EXPECT_NEAR(m[1].bp, -0.01, 1e-15);
    EXPECT_NEAR(m[1].xs, -50, 1e-12);
    EXPECT_EQ(m[1].at_antenna, "shunt L = 1.121 uH");
    EXPECT_EQ(m[1].toward_line, "series C = 224.2 pF");
}

TEST(Lmatch, EveryNetworkMatches) {
    const double cases[][3] = {{100, 0, 50},  {25, 0, 50},      {20, 300, 50}, {73, 42, 50},
                               {36, -20, 50}, {3000, -500, 50}, {12, 5, 75},   {50, 30, 50}};
    for (const auto& c : cases) {
        MatchSolution m[2];
        ASSERT_EQ(lmatch(c[0], c[1], c[2], 7.1e6, m), 2) << c[0] << " " << c[1];
        for (const auto& s : m) {
            cd z = transformed(c[0], c[1], s);
            EXPECT_NEAR(z.real(), c[2], 1e-9 * c[2]) << c[0] << " " << c[1];
            EXPECT_NEAR(z.imag(), 0, 1e-9 * c[2]) << c[0] << " " << c[1];
        }
    }
}

TEST(Lmatch, SeriesElementAtTheAntennaBelowZ0AndOrder) {
    MatchSolution m[2];
    ASSERT_EQ(lmatch(25, 0, 50, 14.2e6, m), 2);
    EXPECT_EQ(m[0].sh, 0);
    EXPECT_GT(m[0].xs, 0); // series inductor with shunt capacitor stays first
    EXPECT_GT(m[0].bp, 0);
    EXPECT_EQ(m[0].at_antenna.substr(0, 8), "series L");
    EXPECT_EQ(m[0].toward_line.substr(0, 7), "shunt C");

    // Above Z0 the low-pass solution is listed first whichever root gives it.
    ASSERT_EQ(lmatch(100, -80, 50, 14.2e6, m), 2);
    EXPECT_TRUE(m[0].xs > 0 && m[0].bp > 0);

    // A large reactance makes both series elements capacitors; order as computed.
    ASSERT_EQ(lmatch(20, 300, 50, 14.2e6, m), 2);
    EXPECT_LT(m[0].xs, 0);
    EXPECT_LT(m[1].xs, 0);
    EXPECT_GT(m[0].bp, 0);
    EXPECT_EQ(m[0].at_antenna.substr(0, 8), "series C");
}

TEST(Lmatch, MatchedLoadPrintsZeroNotMinusZero) {
    MatchSolution m[2];
    ASSERT_EQ(lmatch(50, 0, 50, 14.2e6, m), 2);
    for (const auto& s : m) {
        EXPECT_EQ(s.sh, 0);
        EXPECT_EQ(s.xs, 0);
        EXPECT_EQ(s.bp, 0);
        EXPECT_EQ(s.at_antenna, "series L = 0 uH");
        EXPECT_EQ(s.toward_line, "shunt C = 0 pF");
    }
}

TEST(Lmatch, NoSolutionForNonPositiveResistance) {
    MatchSolution m[2];
    m[0].at_antenna = "untouched";
    EXPECT_EQ(lmatch(0, 10, 50, 14.2e6, m), 0);
    EXPECT_EQ(lmatch(-5, 0, 50, 14.2e6, m), 0);
    EXPECT_EQ(lmatch(std::nan(""), 0, 50, 14.2e6, m), 0);
    EXPECT_EQ(m[0].at_antenna, "untouched");
}

} // namespace
