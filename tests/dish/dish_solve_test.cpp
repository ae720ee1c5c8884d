// The reflector's behaviour: the central blockage, the wire feed in free
// space whatever the model's ground, the pattern arrays, and inputs at the
// edge of the method.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dish_fixtures.h"
#include "solver/farfield.h"

namespace {

using namespace dishfix;

// The on-axis field of the aperture E_a(rho) = cos^q(psi) (1 + cos psi)/2
// (rho = 2F tan(psi/2)) integrated from r0 to D/2, by the midpoint rule.
double axis_field(double d, double fd, double q, double r0) {
    const double F = fd * d, a = d / 2;
    const int n = 20000;
    double e = 0;
    for (int i = 0; i < n; ++i) {
        const double rho = r0 + (i + 0.5) * (a - r0) / n, psi = 2 * std::atan(rho / (2 * F));
        e += std::pow(std::cos(psi), q) * (1 + std::cos(psi)) / 2 * rho * (a - r0) / n;
    }
    return e;
}

// The blockage shadows the reflected wave, which travels forward: on the
// axis the dish loses the field of the blocked centre (the aperture field
// integrated over the blocked disc), behind the dish nothing changes. Taking
// the blocked samples out in every direction instead would open a hole
// through which the feed's back radiation is no longer cancelled.
TEST(DishSolve, BlockageShadowsOnlyTheForwardHalfSpace) {
    DishResult open = analytic({6, 0.4, 2});
    Dish b{6, 0.4, 2};
    b.block = 1.5;
    DishResult blocked = analytic(b);
    // 1.5 wavelengths block the rings inside a radius of 0.75 exactly.
    const double loss = 20 * std::log10(axis_field(6, 0.4, 2, 0.75) / axis_field(6, 0.4, 2, 0));
    EXPECT_NEAR(blocked.gain - open.gain, loss, 0.02);
    EXPECT_LT(blocked.gain, open.gain - 0.3);
    for (double deg : {90.0, 120.0, 150.0, 175.0, 180.0}) {
        const int i = cut_index(open, deg);
        ASSERT_GE(i, 0) << deg;
        EXPECT_EQ(blocked.cut_e[static_cast<size_t>(i)], open.cut_e[static_cast<size_t>(i)]) << deg;
        EXPECT_EQ(blocked.cut_h[static_cast<size_t>(i)], open.cut_h[static_cast<size_t>(i)]) << deg;
    }
}

// A blockage as wide as the dish leaves the feed alone in the forward
// half-space, and an analytic feed sends nothing there: -300 dB everywhere
// in front of the focal plane; behind it the dish still shadows the feed.
TEST(DishSolve, BlockageAsWideAsTheDishLeavesTheFeedAlone) {
    Dish b{6, 0.4, 10};
    DishResult open = analytic(b);
    b.block = 6;
    DishResult r = analytic(b);
    EXPECT_EQ(r.gain, -300);
    EXPECT_LT(r.eta_ap, 1e-30);
    EXPECT_EQ(r.hpbw_e, 0);
    EXPECT_EQ(r.sll_e, 0);
    ASSERT_FALSE(r.warnings.empty());
    EXPECT_NE(r.warnings.back().find("nothing is reflected forward"), std::string::npos);
    for (int i = 0; i < r.ncut; ++i) {
        const size_t s = static_cast<size_t>(i);
        if (r.cut_th[s] < 90) {
            EXPECT_EQ(r.cut_e[s], -300) << r.cut_th[s];
            EXPECT_EQ(r.cut_h[s], -300) << r.cut_th[s];
        } else {
            EXPECT_EQ(r.cut_e[s], open.cut_e[s]) << r.cut_th[s];
        }
    }
    // The wire feed: in front of the focal plane only its own radiation.
    Dish wb{6, 0.4, 0};
    wb.block = 7;
    WireFeed w = dipole_feed(wb);
    DishResult rw = wire_dish(w, w.fr.prad);
    for (int i = 0; i < rw.ncut; i += 7) {
        const double deg = rw.cut_th[static_cast<size_t>(i)];
        if (deg >= 90) continue;
        cplx eth, eph;
        farfield(w.m, w.mesh, w.m.f0, w.cur, deg * kPi / 180, 0, eth, eph);
        EXPECT_NEAR(rw.cut_e[static_cast<size_t>(i)], gdb(eth, eph, w.fr.pin), 1e-4) << deg;
    }
}

// The dish is computed in free space whatever the model's ground: a ground
// would darken every feed direction below the horizon, which is where the
// dish is, and the reflector would radiate nothing. The same currents
// therefore give the same reflector over any ground, the radiated power of
// the feed included (integrated again in free space).
TEST(DishSolve, WireFeedIsTakenInFreeSpaceOverAnyGround) {
    WireFeed w = dipole_feed({3, 0.4, 0});
    DishResult ref = wire_dish(w, w.fr.prad);
    EXPECT_GT(ref.gain, 10);
    EXPECT_DOUBLE_EQ(ref.feed_prad, w.fr.prad);
    for (int g : {GROUND_PERFECT, GROUND_REAL, GROUND_MININEC}) {
        WireFeed over = w;
        over.m.ground = g;
        DishResult r = wire_dish(over, 2 * w.fr.prad); // the power over the ground differs
        SCOPED_TRACE(g);
        EXPECT_NEAR(r.feed_prad, w.fr.prad, 1e-12 * w.fr.prad);
        EXPECT_NEAR(r.gain, ref.gain, 1e-9);
        EXPECT_NEAR(r.eta_spill, ref.eta_spill, 1e-9);
        EXPECT_NEAR(r.edge_db, ref.edge_db, 1e-9);
        ASSERT_EQ(r.ncut, ref.ncut);
        for (int i = 0; i < r.ncut; ++i)
            EXPECT_NEAR(r.cut_h[static_cast<size_t>(i)], ref.cut_h[static_cast<size_t>(i)], 1e-4);
    }
}

// A half-wave dipole is narrower in its own E-plane (along the wire) than in
// its H-plane: the dish's aperture is lit with more taper along x, and its
// E-plane beam comes out wider. The spillover is taken against the dipole's
// whole radiated power, of which the dish intercepts a third at F/D 0.4.
TEST(DishSolve, DipoleFeedGivesDifferentPlanes) {
    WireFeed w = dipole_feed({10, 0.4, 0});
    DishResult r = wire_dish(w, w.fr.prad);
    EXPECT_EQ(r.feed_prad, w.fr.prad);
    EXPECT_GT(r.hpbw_e, 1.1 * r.hpbw_h);
    EXPECT_GT(r.eta_spill, 0.25);
    EXPECT_LT(r.eta_spill, 0.40);
    // The dipole's field along its axis is zero: the edge illumination is
    // that of the H-plane rim taper and the E-plane's deeper one, averaged.
    EXPECT_GT(r.edge_db, -8);
    EXPECT_LT(r.edge_db, -3);
}

// The dipole radiates as much forward as towards the dish, and its forward
// radiation adds to the axis gain, in or out of phase with the reflected
// wave as the focal length changes by a quarter wavelength. The spillover
// counts only the power towards the dish, so the illumination efficiency
// can pass 100 %; the figures are kept as they are.
TEST(DishSolve, DirectRadiationCanLiftTheIlluminationAboveOne) {
    WireFeed w = dipole_feed({4, 0.6, 0});
    DishResult in_phase = wire_dish(w, w.fr.prad);
    EXPECT_GT(in_phase.eta_ill, 1.2);
    WireFeed w2 = dipole_feed({4, 0.6 - 0.25 / 4, 0}); // F a quarter wavelength shorter
    DishResult out = wire_dish(w2, w2.fr.prad);
    EXPECT_LT(out.eta_ill, 1);
    EXPECT_GT(in_phase.gain, out.gain + 1);
}

// The five arrays on the run's grid: theta = i dth, phi = j dph.
TEST(DishSolve, PatternArraysOnTheGrid) {
    Model m = dish_model({4, 0.4, 2});
    Mesh mesh;
    std::vector<cplx> cur;
    const int nth = 19, nph = 25; // 10 x 15 degrees
    const size_t n = nth * nph;
    std::vector<float> gt(n), gv(n), gh(n), gr(n), gl(n);
    DishResult r;
    std::string err;
    ASSERT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, nth, nph, 10, 15, gt.data(), gv.data(),
                         gh.data(), gr.data(), gl.data(), err),
              0);
    auto at = [&](const std::vector<float>& g, int i, int j) {
        return g[static_cast<size_t>(i * nph + j)];
    };
    for (int j = 0; j < nph; ++j) {
        EXPECT_NEAR(at(gt, 0, j), r.gain, 1e-4); // the axis, any phi
        // x-polarised on the axis: both circular channels 3 dB down.
        EXPECT_NEAR(at(gr, 0, j), r.gain - 10 * std::log10(2.0), 1e-4);
        EXPECT_NEAR(at(gl, 0, j), r.gain - 10 * std::log10(2.0), 1e-4);
    }
    for (int i = 0; i < nth; ++i) {
        for (int j = 0; j < nph; ++j) {
            // Total = theta + phi channels; mirror symmetry in the xz plane.
            const double sum = std::pow(10, at(gv, i, j) / 10) + std::pow(10, at(gh, i, j) / 10);
            if (at(gt, i, j) > -200) {
                EXPECT_NEAR(at(gt, i, j), 10 * std::log10(sum), 1e-3);
            }
            EXPECT_NEAR(at(gt, i, j), at(gt, i, nph - 1 - j), 2e-3) << i << " " << j;
        }
        // The principal planes of the grid are the cuts.
        const int c = cut_index(r, 10.0 * i);
        if (c >= 0) {
            EXPECT_EQ(at(gt, i, 0), r.cut_e[static_cast<size_t>(c)]);
            EXPECT_EQ(at(gt, i, 6), r.cut_h[static_cast<size_t>(c)]);
        }
    }
    // Without the circular channels the other three are still filled.
    std::vector<float> gt2(n);
    ASSERT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, nth, nph, 10, 15, gt2.data(), gv.data(),
                         gh.data(), nullptr, nullptr, err),
              0);
    EXPECT_EQ(gt2, gt);
}

// A fine grid (361 x 182 directions, more than one slab of 65,536) is
// filled a slab of rows at a time: every row, in the first slab or the
// last, holds the same field as the cuts where the two meet.
TEST(DishSolve, FineGridMatchesTheCuts) {
    Model m = dish_model({1, 0.4, 2});
    Mesh mesh;
    std::vector<cplx> cur;
    const int nth = 361, nph = 182; // 0.5 x 2 degrees
    const size_t n = nth * nph;
    std::vector<float> gt(n, 1), gv(n, 1), gh(n, 1);
    DishResult r;
    std::string err;
    ASSERT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, nth, nph, 0.5, 2, gt.data(), gv.data(),
                         gh.data(), nullptr, nullptr, err),
              0);
    int checked = 0;
    for (int i = 0; i < nth; ++i) {
        const int c = cut_index(r, 0.5 * i);
        if (c < 0) continue;
        EXPECT_EQ(gt[static_cast<size_t>(i * nph)], r.cut_e[static_cast<size_t>(c)]) << i;
        EXPECT_EQ(gt[static_cast<size_t>(i * nph + 45)], r.cut_h[static_cast<size_t>(c)]) << i;
        ++checked;
    }
    EXPECT_GT(checked, 250);
    EXPECT_EQ(std::count(gt.begin(), gt.end(), 1.0f), 0);
}

// The plots ask for gains along cuts of their own: the same field as the
// reflector's own cuts, with the gain of the wire feed against its input
// power and of the analytic feed against 1 W.
TEST(DishSolve, PatternCutForThePlots) {
    for (double q : {2.0, 0.0}) {
        Dish s{4, 0.4, q};
        s.block = 0.5;
        WireFeed w = dipole_feed(s);
        if (q > 0) w.m.dish_q = q;
        DishResult r = wire_dish(w, w.fr.prad);
        PatternCut cut;
        for (int i = 0; i < r.ncut; i += 5) {
            cut.theta_deg.push_back(r.cut_th[static_cast<size_t>(i)]);
            cut.phi_deg.push_back(90);
        }
        ASSERT_EQ(dish_pattern_cut(w.m, w.mesh, w.m.f0, w.cur, w.fr.pin, cut), 0);
        ASSERT_EQ(cut.gt_db.size(), cut.theta_deg.size());
        for (size_t i = 0; i < cut.gt_db.size(); ++i)
            EXPECT_NEAR(cut.gt_db[i], r.cut_h[5 * i], 1e-4) << q << " " << cut.theta_deg[i];
    }
}

bool finite_cuts(const DishResult& r) {
    for (int i = 0; i < r.ncut; ++i) {
        const size_t s = static_cast<size_t>(i);
        if (!std::isfinite(r.cut_e[s]) || !std::isfinite(r.cut_h[s]) || !(r.cut_th[s] <= 180))
            return false;
    }
    return true;
}

// Inputs at the edge of the method end with finite figures, and a warning
// where the figures cannot be trusted. The only infinite figure is the edge
// illumination of a rim at or beyond the focal plane, which the analytic
// feed does not light.
TEST(DishSolve, InputsAtTheEdgeOfTheMethodGiveFiniteFigures) {
    struct Case {
        const char* what;
        Dish dish;
        const char* warning; // part of the expected warning, or nullptr
        bool edge_infinite;
    } cases[] = {
        {"half a wavelength", {0.5, 0.4, 2}, nullptr, false},
        {"a focal length of 3 mm", {3, 0.001, 2}, "too deep", true},
        {"rim in the focal plane", {10, 0.25, 2}, nullptr, true},
        {"a focal length of 3 km", {3, 1000, 2}, nullptr, false},
        {"a blockage wider than the dish", {3, 0.4, 2, 5}, "nothing is reflected", false},
        {"mesh spacing wider than the dish", {3, 0.4, 2, 0, 5, 0}, "grid reflectivity", false},
        {"q = 0.001", {3, 0.4, 0.001}, nullptr, false},
        {"q = 500", {3, 0.4, 500}, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DishResult r = analytic(c.dish);
        for (double v : {r.gain, r.eta_ap, r.eta_spill, r.eta_ill, r.mesh_refl, r.hpbw_e, r.hpbw_h,
                         r.sll_e, r.sll_h, r.theta0, r.fd})
            EXPECT_TRUE(std::isfinite(v)) << v;
        EXPECT_TRUE(finite_cuts(r));
        EXPECT_LE(r.eta_spill, 1);
        EXPECT_GE(r.eta_spill, 0);
        EXPECT_LE(r.hpbw_e, 360);
        if (c.edge_infinite)
            EXPECT_EQ(r.edge_db, -INFINITY);
        else
            EXPECT_TRUE(std::isfinite(r.edge_db));
        if (c.warning) {
            ASSERT_EQ(r.warnings.size(), 1u);
            EXPECT_NE(r.warnings[0].find(c.warning), std::string::npos) << r.warnings[0];
        } else {
            EXPECT_TRUE(r.warnings.empty()) << r.warnings[0];
        }
    }
}

// A wire feed far from the focus is seen by the dish in its near field.
TEST(DishSolve, WireFeedFarFromTheFocusIsReported) {
    WireFeed w = dipole_feed({3, 0.4, 0});
    for (Segment& s : w.mesh.seg) {
        s.a[2] += 3;
        s.b[2] += 3;
    }
    DishResult r = wire_dish(w, w.fr.prad);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("near field"), std::string::npos) << r.warnings[0];
    EXPECT_TRUE(std::isfinite(r.gain));
    EXPECT_TRUE(finite_cuts(r));
}

TEST(DishSolve, DishTooLargeToSampleIsRefused) {
    Model m = dish_model({1000, 0.4, 2});
    Mesh mesh;
    std::vector<cplx> cur;
    DishResult r;
    std::string err;
    EXPECT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr, nullptr, err),
              -1);
    EXPECT_EQ(err, "DISH diameter 1000 m is 1000 wavelengths: 5.03e+07 surface samples, more than "
                   "the 4e+06 the reflector analysis takes");
    m.dish_d = 1e300; // no overflow on the way to the message
    EXPECT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr, nullptr, err),
              -1);
}

} // namespace
