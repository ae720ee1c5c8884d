// The batch sine and cosine of the kernel against the C library.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/constants.h"
#include "solver/sincos.h"

namespace {

TEST(Sincos, AgreesWithTheLibraryToAFewUlps) {
    // Random arguments over growing ranges plus the quadrant boundaries
    // q pi/2 (where the reduction switches quadrant) and their neighbours.
    std::vector<double> x = {0.0, 1e-300, 1e-8, 0.5, 1.0};
    std::mt19937_64 g(7);
    for (double top : {1.0, 10.0, 1e3, 1e5, 0.999 * kSincosMax}) {
        std::uniform_real_distribution<double> d(0.0, top);
        for (int i = 0; i < 20000; ++i) x.push_back(d(g));
    }
    for (int q = 0; q < 200; ++q) {
        double b = q * phys::pi / 4;
        x.push_back(b);
        x.push_back(std::nextafter(b, 0.0));
        x.push_back(std::nextafter(b, 1e9));
    }
    x.push_back(123456.0 * phys::pi / 2);
    // Negative arguments (the far field's phases): sin odd, cos even.
    const size_t npos = x.size();
    for (size_t i = 0; i < npos; ++i) x.push_back(-x[i]);
    const int n = static_cast<int>(x.size());
    std::vector<double> s(x.size()), c(x.size());
    sincos_many(x.data(), s.data(), c.data(), n);
    // Absolute error on values of magnitude <= 1: the library's sin and cos
    // are correctly rounded to within an ulp, ours to within two.
    for (int i = 0; i < n; ++i) {
        ASSERT_NEAR(s[i], std::sin(x[i]), 3.4e-16) << "x=" << x[i];
        ASSERT_NEAR(c[i], std::cos(x[i]), 3.4e-16) << "x=" << x[i];
    }
    EXPECT_EQ(s[0], 0.0);
    EXPECT_EQ(c[0], 1.0);
    for (size_t i = 0; i < npos; ++i) {
        ASSERT_NEAR(s[npos + i], -s[i], 3.4e-16) << "x=" << x[i];
        ASSERT_NEAR(c[npos + i], c[i], 3.4e-16) << "x=" << x[i];
    }
}

TEST(Sincos, EachSendsArgumentsBeyondTheRangeToTheLibrary) {
    // Phases of more than 160000 wavelengths (either sign) take the
    // library's sine and cosine, the rest the batch; a non-number stays one.
    const std::vector<double> x = {0.3, kSincosMax, -2.5 * kSincosMax, 1.0,
                                   3e9, -0.7,       std::nan("")};
    const int n = static_cast<int>(x.size());
    std::vector<double> s(x.size()), c(x.size());
    sincos_each(x.data(), s.data(), c.data(), n);
    for (int i = 0; i + 1 < n; ++i) {
        EXPECT_NEAR(s[i], std::sin(x[i]), 3.4e-16) << "x=" << x[i];
        EXPECT_NEAR(c[i], std::cos(x[i]), 3.4e-16) << "x=" << x[i];
    }
    EXPECT_TRUE(std::isnan(s[n - 1]) && std::isnan(c[n - 1]));
}

} // namespace
