// Dense LU solution: the reference elimination against residuals and the
// pivoting rule, the factorization a build uses against the reference, and
// singular systems.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "parallel/par_for.h"
#include "solver/lu.h"

namespace {

using Vec = std::vector<cplx>;

Vec random_matrix(int n, unsigned seed) {
    std::mt19937_64 g(seed);
    std::normal_distribution<double> d;
    Vec a(static_cast<size_t>(n) * n);
    for (auto& z : a) z = cplx(d(g), d(g));
    return a;
}

// Normwise backward error |A x - b| / (|A| |x|) in the infinity norms
// (|A| the largest row sum); a stable elimination keeps it near the unit
// roundoff.
double backward_error(const Vec& a, const Vec& x, const Vec& b) {
    const int n = static_cast<int>(b.size());
    double anorm = 0, xmax = 0, rmax = 0;
    for (const auto& z : x) xmax = std::max(xmax, std::abs(z));
    for (int i = 0; i < n; ++i) {
        cplx s = -b[i];
        double row = 0;
        for (int j = 0; j < n; ++j) {
            s += a[static_cast<size_t>(i) * n + j] * x[j];
            row += std::abs(a[static_cast<size_t>(i) * n + j]);
        }
        anorm = std::max(anorm, row);
        rmax = std::max(rmax, std::abs(s));
    }
    return rmax / (anorm * xmax);
}

class Lu : public ::testing::Test {
  protected:
    void TearDown() override { set_threads(0); }
};

TEST_F(Lu, ReferenceAndBuildFactorizationSolveRandomSystems) {
    // Sizes on both sides of the 400-step serial tail, so that the parallel
    // row tasks and the build's panels (a partial last panel, a partial last
    // column block) are exercised; the solutions of the two factorizations
    // agree to rounding (a few hundred ulps for these condition numbers).
    for (int n : {1, 2, 7, 64, 401, 450, 2 * kLuPanel + kLuColumns + 37}) {
        Vec a = random_matrix(n, 11u + n);
        Vec b(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) b[i] = cplx(std::cos(i), std::sin(0.5 * i));

        Vec a1 = a, x1 = b;
        ASSERT_EQ(lu_solve_ref(a1.data(), x1.data(), n), 0);
        EXPECT_LT(backward_error(a, x1, b), 1e-14) << "n=" << n;

        Vec a2 = a, x2 = b;
        ASSERT_EQ(lu_solve(a2.data(), x2.data(), n), 0);
        EXPECT_LT(backward_error(a, x2, b), 1e-14) << "n=" << n;
        double xmax = 0, dmax = 0;
        for (int i = 0; i < n; ++i) {
            xmax = std::max(xmax, std::abs(x1[i]));
            dmax = std::max(dmax, std::abs(x1[i] - x2[i]));
        }
        EXPECT_LT(dmax / xmax, 1e-11) << "n=" << n;
    }
}

TEST_F(Lu, ParallelEliminationIsBitIdenticalToSerial) {
    const int n = 430; // 30 parallel pivot steps
    Vec a = random_matrix(n, 5);
    Vec b(static_cast<size_t>(n), cplx(1.0, -0.5));
    set_threads(1);
    Vec a1 = a, x1 = b;
    ASSERT_EQ(lu_solve_ref(a1.data(), x1.data(), n), 0);
    set_threads(2);
    Vec a2 = a, x2 = b;
    ASSERT_EQ(lu_solve_ref(a2.data(), x2.data(), n), 0);
    EXPECT_EQ(x1, x2);
    EXPECT_EQ(a1, a2);
}

TEST_F(Lu, BuildFactorizationIsTheSameOnAnyNumberOfThreads) {
    const int n = kLuSerialTail + 3 * kLuPanel + 11;
    Vec a = random_matrix(n, 9);
    Vec b(static_cast<size_t>(n), cplx(0.5, 1.0));
    Vec x[3];
    const int threads[3] = {1, 2, 5};
    for (int t = 0; t < 3; ++t) {
        set_threads(threads[t]);
        Vec m = a;
        x[t] = b;
        ASSERT_EQ(lu_solve(m.data(), x[t].data(), n), 0);
    }
    EXPECT_EQ(x[0], x[1]);
    EXPECT_EQ(x[0], x[2]);
    EXPECT_LT(backward_error(a, x[0], b), 1e-14);
}

TEST_F(Lu, SingularColumnInALaterPanelIsFound) {
    // A zero column beyond the first panels of a large system: found when
    // its panel is factored, with the right-hand side left as it was.
    const int n = kLuSerialTail + 2 * kLuPanel + 5;
    for (int zero_col : {kLuPanel + 3, n - 1}) {
        Vec a = random_matrix(n, 21);
        for (int i = 0; i < n; ++i) a[static_cast<size_t>(i) * n + zero_col] = 0.0;
        Vec b(static_cast<size_t>(n), cplx(1.0, 2.0));
        const Vec b0 = b;
        set_threads(2);
        EXPECT_EQ(lu_solve(a.data(), b.data(), n), kLuSingular) << zero_col;
        EXPECT_EQ(b, b0);
    }
}

TEST_F(Lu, OneByOne) {
    Vec a{cplx(2.0, 1.0)}, b{cplx(5.0, 0.0)};
    ASSERT_EQ(lu_solve_ref(a.data(), b.data(), 1), 0);
    EXPECT_EQ(b[0], cplx(5.0, 0.0) / cplx(2.0, 1.0));
    Vec c{cplx(2.0, 1.0)}, d{cplx(5.0, 0.0)};
    ASSERT_EQ(lu_solve(c.data(), d.data(), 1), 0);
    EXPECT_NEAR(std::abs(d[0] - b[0]), 0.0, 1e-15);
}

TEST_F(Lu, ReferencePivotsOnTheLargestModulusAndTheUpperRowOnTies) {
    // The factored matrix keeps the pivot row in row 0.
    struct Case {
        cplx a00, a10; // column 0; row 0 is (a00, 1), row 1 is (a10, 2)
        cplx pivot;
    };
    const Case cases[] = {
        {cplx(0.0, 0.0), cplx(1.0, 0.0), cplx(1.0, 0.0)},  // a zero forces the swap
        {cplx(1.0, 0.0), cplx(-1.0, 0.0), cplx(1.0, 0.0)}, // tie: no swap
        {cplx(0.0, 2.0), cplx(2.0, 0.0), cplx(0.0, 2.0)},  // tie of complex moduli
        // |3+4j| = 5 < 5.5, although |Re| + |Im| = 7 would prefer it.
        {cplx(3.0, 4.0), cplx(5.5, 0.0), cplx(5.5, 0.0)},
    };
    for (const Case& c : cases) {
        Vec a{c.a00, 1.0, c.a10, 2.0};
        Vec b{1.0, 1.0};
        Vec a0 = a, b0 = b;
        ASSERT_EQ(lu_solve_ref(a.data(), b.data(), 2), 0);
        EXPECT_EQ(a[0], c.pivot) << c.a00 << " / " << c.a10;
        EXPECT_LT(backward_error(a0, b, b0), 1e-15);
    }
}

TEST_F(Lu, SingularSystemsReturnMinusTwoAndLeaveTheRightHandSide) {
    const int n = 4;
    // A zero first column (singular at the first step), a zero third column
    // (found after two elimination steps), a zero row (left untouched until
    // it is the only candidate) and an all-zero matrix.
    Vec zero_col0 = random_matrix(n, 3), zero_col2 = random_matrix(n, 4),
        zero_row = random_matrix(n, 5);
    for (int i = 0; i < n; ++i) {
        zero_col0[static_cast<size_t>(i) * n] = 0.0;
        zero_col2[static_cast<size_t>(i) * n + 2] = 0.0;
        zero_row[1 * n + i] = 0.0;
    }
    Vec zeros(static_cast<size_t>(n) * n, 0.0);
    for (const Vec& m : {zero_col0, zero_col2, zero_row, zeros}) {
        Vec b{1.0, cplx(2.0, 1.0), -3.0, cplx(0.0, 4.0)};
        const Vec b0 = b;
        Vec a = m;
        EXPECT_EQ(lu_solve_ref(a.data(), b.data(), n), kLuSingular);
        EXPECT_EQ(b, b0);
        a = m;
        EXPECT_EQ(lu_solve(a.data(), b.data(), n), kLuSingular);
        EXPECT_EQ(b, b0);
    }
}

TEST_F(Lu, BackendIsNamed) {
#if QUARLIN_HAVE_LAPACK
    EXPECT_STREQ(lu_backend(), "LAPACK");
#else
    EXPECT_STREQ(lu_backend(), "built-in elimination");
#endif
}

} // namespace
