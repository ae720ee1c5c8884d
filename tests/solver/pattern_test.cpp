// Radiated power against the short-dipole formulas in free space and over
// a perfect ground, the integration region of every ground kind, and the
// gain grid: layout, channels, handedness and the -300 dB floor.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/constants.h"
#include "ff_fixtures.h"
#include "parallel/par_for.h"
#include "solver/pattern.h"

namespace {

using fffix::P3;
constexpr double kDeg = phys::pi / 180.0;
constexpr double kFreq = 14e6;
constexpr double kK = phys::two_pi * kFreq / phys::c0;

Model with_ground(int g) {
    Model m;
    m.ground = g;
    return m;
}

// A short element of length len along u, centred at c.
Mesh short_element(const P3& c, const P3& u, double len) {
    P3 a, b;
    for (int d = 0; d < 3; ++d) {
        a[d] = c[d] - 0.5 * len * u[d];
        b[d] = c[d] + 0.5 * len * u[d];
    }
    return fffix::element(a, b);
}

// eta0 (k I L)^2 / (12 pi)
double hertz_power(cplx i_a, double len) {
    return phys::eta0 * std::norm(i_a) * kK * kK * len * len / (12.0 * phys::pi);
}

// In free space the power of a short uniform element does not depend on its
// place or direction; with k L = 1e-3 the finite length shifts it by about
// (k L)^2 / 60.
TEST(PradIntegrate, ShortDipoleInFreeSpace) {
    const double len = 1e-3 / kK;
    const cplx i_a(1.5, -0.5);
    const P3 dirs[] = {{0, 0, 1}, {1, 0, 0}, {0.48, 0.6, 0.64}};
    const P3 centres[] = {{0, 0, 0}, {3.0, -2.0, 5.0}};
    for (const P3& u : dirs) {
        for (const P3& c : centres) {
            double p = prad_integrate(with_ground(GROUND_FREE), short_element(c, u, len), kFreq,
                                      fffix::uniform(i_a));
            EXPECT_NEAR(p / hertz_power(i_a, len), 1.0, 1e-6) << u[0] << " " << c[0];
        }
    }
}

// A short element centred at height h over a perfect ground, relative to the same
// element in free space, with x = 2 k h (hemisphere only):
//   vertical    1 - 3 cos x / x^2 + 3 sin x / x^3
//   horizontal  1 - (3/2)(sin x / x + cos x / x^2 - sin x / x^3)
double ground_ratio(bool vertical, double kh) {
    double x = 2.0 * kh;
    if (x == 0.0) return vertical ? 2.0 : 0.0;
    double s = std::sin(x), c = std::cos(x);
    if (vertical) return 1.0 - 3.0 * c / (x * x) + 3.0 * s / (x * x * x);
    return 1.0 - 1.5 * (s / x + c / (x * x) - s / (x * x * x));
}

TEST(PradIntegrate, ShortDipoleOverPerfectGround) {
    const double len = 1e-3 / kK;
    for (bool vertical : {true, false}) {
        for (double kh : {0.0, 0.4, 1.0, 3.7, 9.0}) {
            SCOPED_TRACE(testing::Message() << "vertical=" << vertical << " kh=" << kh);
            P3 u = vertical ? P3{0, 0, 1} : P3{0.6, -0.8, 0};
            Mesh m = short_element({1.0, 2.0, kh / kK}, u, len);
            double p = prad_integrate(with_ground(GROUND_PERFECT), m, kFreq, fffix::uniform(1.0));
            double want = ground_ratio(vertical, kh) * hertz_power(1.0, len);
            EXPECT_NEAR(p, want, 1e-6 * hertz_power(1.0, len));
        }
    }
}

// Whole sphere in free space and through a board without ground plane,
// upper hemisphere over every other ground: a vertical element standing on
// a (near) perfect plane radiates twice its free-space power, one on a
// vacuum board without plane exactly its free-space power.
TEST(PradIntegrate, RegionOfEachGround) {
    const double len = 1e-3 / kK;
    Mesh m = fffix::element({0, 0, 0}, {0, 0, len});
    struct Case {
        Model model;
        double ratio, tol;
    };
    Model real = with_ground(GROUND_REAL), mininec = with_ground(GROUND_MININEC);
    real.sigma = mininec.sigma = 1e12;
    Model air = with_ground(GROUND_PCB), plane = with_ground(GROUND_PCB);
    air.pcb_eps = plane.pcb_eps = 1.0;
    air.pcb_h = 0.3;
    plane.pcb_h = 1e-12;
    plane.pcb_gnd = 1;
    const Case cases[] = {{with_ground(GROUND_FREE), 1.0, 1e-6},
                          {with_ground(GROUND_PERFECT), 2.0, 1e-6},
                          {real, 2.0, 1e-4},
                          {mininec, 2.0, 1e-4},
                          {air, 1.0, 1e-6},
                          {plane, 2.0, 1e-6}};
    for (const Case& c : cases) {
        double p = prad_integrate(c.model, m, kFreq, fffix::uniform(1.0));
        EXPECT_NEAR(p / hertz_power(1.0, len), c.ratio, c.tol) << "ground " << c.model.ground;
    }
}

// The directions run on worker threads; the sum must not depend on how
// many there are.
TEST(PradIntegrate, SameResultOnAnyNumberOfThreads) {
    Mesh mesh = fffix::wire({0, 0, 0.5}, {3, 1, 9}, 12);
    std::vector<cplx> cur;
    for (int i = 0; i < mesh.nunk(); ++i) cur.push_back({std::sin(0.3 * i), 0.2});
    Model m = with_ground(GROUND_REAL);
    set_threads(1);
    double one = prad_integrate(m, mesh, kFreq, cur);
    set_threads(2);
    double two = prad_integrate(m, mesh, kFreq, cur);
    set_threads(0);
    EXPECT_GT(one, 0.0);
    EXPECT_EQ(one, two);
}

struct Grid {
    int nth, nph;
    std::vector<float> gt, gv, gh, gr, gl;
    Grid(int nt, int np)
        : nth(nt), nph(np), gt(nt * np, 7.f), gv(nt * np, 7.f), gh(nt * np, 7.f), gr(nt * np, 7.f),
          gl(nt * np, 7.f) {}
    float at(const std::vector<float>& g, int i, int j) const { return g[i * nph + j]; }
};

Grid grid(const Model& m, const Mesh& mesh, const std::vector<cplx>& cur, double pin, int nth,
          int nph, double dth, double dph) {
    Grid g(nth, nph);
    pattern_grid(m, mesh, kFreq, cur, pin, nth, nph, dth, dph, g.gt.data(), g.gv.data(),
                 g.gh.data(), g.gr.data(), g.gl.data());
    return g;
}

// A z-directed short dipole fed with its own radiated power: gain 1.5
// (1.76 dB) broadside, a null on the axis (-300 in every channel), no phi
// polarisation at all, and linear polarisation splits evenly into the two
// circular channels.
TEST(PatternGrid, ShortDipoleChannels) {
    const double len = 1e-3 / kK;
    Mesh mesh = fffix::element({0, 0, -0.5 * len}, {0, 0, 0.5 * len});
    Model free = with_ground(GROUND_FREE);
    double pin = prad_integrate(free, mesh, kFreq, fffix::uniform(1.0));
    Grid g = grid(free, mesh, fffix::uniform(1.0), pin, 19, 12, 10.0, 30.0);
    for (int i = 0; i < g.nth; ++i) {
        for (int j = 0; j < g.nph; ++j) {
            SCOPED_TRACE(testing::Message() << i << " " << j);
            EXPECT_EQ(g.at(g.gh, i, j), -300.f);
            if (i == 0 || i == 18) {
                for (const auto* ch : {&g.gt, &g.gv, &g.gr, &g.gl})
                    EXPECT_EQ(g.at(*ch, i, j), -300.f);
                continue;
            }
            double st = std::sin(i * 10.0 * kDeg);
            EXPECT_NEAR(g.at(g.gt, i, j), 10.0 * std::log10(1.5 * st * st), 1e-4);
            EXPECT_EQ(g.at(g.gv, i, j), g.at(g.gt, i, j));
            EXPECT_NEAR(g.at(g.gr, i, j), g.at(g.gt, i, j) - 10.0 * std::log10(2.0), 1e-4);
            EXPECT_EQ(g.at(g.gr, i, j), g.at(g.gl, i, j));
        }
    }
    EXPECT_NEAR(g.at(g.gt, 9, 5), 1.7609126, 1e-5);
}

// Entry i * nph + j is theta = i dth, phi = j dph: every entry of a pattern
// without symmetry matches the far field in its own direction. Over a
// perfect ground every row below the horizon is -300.
TEST(PatternGrid, LayoutAndDarkRows) {
    Mesh mesh = fffix::wire({0.2, 0, 0.3}, {1.5, 2.0, 4.0}, 4);
    std::vector<cplx> cur = {{1, 0}, {0.2, 0.7}, {-0.4, 0.1}};
    Model pec = with_ground(GROUND_PERFECT);
    const double pin = 3.7, dth = 15.0, dph = 40.0;
    Grid g = grid(pec, mesh, cur, pin, 13, 10, dth, dph);
    auto db = [](double x) { return x > 1e-30 ? 10.0 * std::log10(x) : -300.0; };
    // A cancelled component (E_phi on the horizon over the perfect ground)
    // is rounding noise far below -200 dB in both evaluations; elsewhere the
    // gains agree.
    auto expect_db = [](float got, double want) {
        if (want > -200)
            EXPECT_NEAR(got, want, 1e-4);
        else
            EXPECT_LT(got, -200.f);
    };
    for (int i = 0; i < g.nth; ++i) {
        for (int j = 0; j < g.nph; ++j) {
            SCOPED_TRACE(testing::Message() << i << " " << j);
            cplx eth, eph;
            farfield(pec, mesh, kFreq, cur, i * dth * kDeg, j * dph * kDeg, eth, eph);
            double s = phys::four_pi / (phys::two_eta0 * pin);
            cplx er = (eth + cplx(0, 1) * eph) / std::sqrt(2.0);
            cplx el = (eth - cplx(0, 1) * eph) / std::sqrt(2.0);
            expect_db(g.at(g.gt, i, j), db(s * (std::norm(eth) + std::norm(eph))));
            expect_db(g.at(g.gv, i, j), db(s * std::norm(eth)));
            expect_db(g.at(g.gh, i, j), db(s * std::norm(eph)));
            expect_db(g.at(g.gr, i, j), db(s * std::norm(er)));
            expect_db(g.at(g.gl, i, j), db(s * std::norm(el)));
            if (i * dth > 90.0) {
                EXPECT_EQ(g.at(g.gt, i, j), -300.f);
            }
        }
    }
}

// Crossed dipoles x + j y at the origin: exp(+j w t) makes the field along
// +z left-hand circular and along -z right-hand circular (IEEE sense).
TEST(PatternGrid, CircularHandedness) {
    const double len = 1e-3 / kK;
    Mesh mesh = fffix::elements(
        {{P3{-0.5 * len, 0, 0}, P3{0.5 * len, 0, 0}}, {P3{0, -0.5 * len, 0}, P3{0, 0.5 * len, 0}}});
    std::vector<cplx> cur = {1.0, 1.0, cplx(0, 1), cplx(0, 1)};
    Model free = with_ground(GROUND_FREE);
    double pin = prad_integrate(free, mesh, kFreq, cur);
    Grid g = grid(free, mesh, cur, pin, 2, 3, 180.0, 120.0);
    for (int j = 0; j < 3; ++j) {
        EXPECT_NEAR(g.at(g.gl, 0, j), g.at(g.gt, 0, j), 1e-5);
        EXPECT_LT(g.at(g.gr, 0, j), g.at(g.gt, 0, j) - 100.f);
        EXPECT_NEAR(g.at(g.gr, 1, j), g.at(g.gt, 1, j), 1e-5);
        EXPECT_LT(g.at(g.gl, 1, j), g.at(g.gt, 1, j) - 100.f);
        EXPECT_NEAR(g.at(g.gt, 0, j), 10.0 * std::log10(1.5), 1e-4); // two short dipoles
    }
}

TEST(PatternGrid, AbsentCircularChannelsAndEmptyRowsAreUntouched) {
    Mesh mesh = fffix::element({0, 0, 0}, {0, 0.01, 0.01});
    Model free = with_ground(GROUND_FREE);
    Grid g(5, 4);
    pattern_grid(free, mesh, kFreq, fffix::uniform(1.0), 1.0, 5, 4, 45.0, 90.0, g.gt.data(),
                 g.gv.data(), g.gh.data(), nullptr, g.gl.data());
    EXPECT_NE(g.gt[6], 7.f);
    for (float v : g.gl) EXPECT_EQ(v, 7.f);
    Grid e(5, 4);
    pattern_grid(free, mesh, kFreq, fffix::uniform(1.0), 1.0, 5, 0, 45.0, 90.0, e.gt.data(),
                 e.gv.data(), e.gh.data(), e.gr.data(), e.gl.data());
    for (const auto* ch : {&e.gt, &e.gv, &e.gh, &e.gr, &e.gl})
        for (float v : *ch) EXPECT_EQ(v, 7.f);
}

} // namespace
