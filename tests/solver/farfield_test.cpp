// Far field of known currents: the segment records, the radiation vector
// against direct quadrature, the short dipole, image theory over a perfect
// ground, the dark lower half-space, real ground and the printed board.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "common/constants.h"
#include "ff_fixtures.h"
#include "ground/layer.h"
#include "parallel/par_for.h"
#include "solver/farfield.h"
#include "solver/quadrature.h"

namespace {

using fffix::P3;
constexpr double kDeg = phys::pi / 180.0;
constexpr double kFreq = 10e6;                         // Hz
constexpr double kK = phys::two_pi * kFreq / phys::c0; // rad/m
constexpr double kCf = phys::two_pi * kFreq * phys::mu0 / phys::four_pi;

struct Field {
    cplx th, ph;
};

Field ff(const Model& m, const Mesh& mesh, const std::vector<cplx>& cur, double th_deg,
         double ph_deg) {
    Field f;
    farfield(m, mesh, kFreq, cur, th_deg * kDeg, ph_deg * kDeg, f.th, f.ph);
    return f;
}

Model with_ground(int g) {
    Model m;
    m.ground = g;
    return m;
}

double mag(const Field& f) {
    return std::sqrt(std::norm(f.th) + std::norm(f.ph));
}

// The records carry the current of every unknown touching a segment,
// whatever the segment's direction: a wire whose middle segment runs
// backwards radiates exactly like the straight one.
TEST(FsegBuild, SumsUnknownRampsWithSignsAndEnds) {
    Mesh m;
    m.seg.push_back(fffix::make_seg({0, 0, 0}, {1, 0, 0}));
    m.seg.push_back(fffix::make_seg({2, 0, 0}, {1, 0, 0})); // reversed
    m.seg.push_back(fffix::make_seg({2, 0, 0}, {3, 0, 0}));
    m.seg.push_back(fffix::make_seg({0, 5, 0}, {0, 5, 1})); // no unknown
    Unknown u0, u1;
    u0.nref = u1.nref = 2;
    u0.ref[0] = {0, 1, +1}; // into node x = 1 along seg 0
    u0.ref[1] = {1, 1, -1}; // away from x = 1 along -dir of seg 1
    u1.ref[0] = {1, 0, -1}; // into node x = 2: seg 1 starts there
    u1.ref[1] = {2, 0, +1};
    m.unk = {u0, u1};
    const cplx c1(0.4, -0.1), c2(-0.3, 0.8);
    std::vector<FfSeg> fs = fseg_build(m, {c1, c2});
    ASSERT_EQ(fs.size(), 4u);
    EXPECT_EQ(fs[0].i0, 0.0);
    EXPECT_EQ(fs[0].i1, c1);
    EXPECT_EQ(fs[1].i0, -c2); // -(c2 (1 - t) + c1 t) along seg 1
    EXPECT_EQ(fs[1].i1, c2 - c1);
    EXPECT_EQ(fs[2].i0, c2);
    EXPECT_EQ(fs[2].i1, -c2);
    EXPECT_EQ(fs[3].i0, 0.0);
    EXPECT_EQ(fs[3].i1, 0.0);
    EXPECT_EQ(fs[1].a[0], 2.0);
    EXPECT_EQ(fs[1].dir[0], -1.0);
    EXPECT_EQ(fs[1].len, 1.0);

    Mesh straight = fffix::wire({0, 0, 0}, {3, 0, 0}, 3);
    Model free = with_ground(GROUND_FREE);
    for (double th : {10.0, 60.0, 90.0, 135.0}) {
        Field a = ff(free, m, {c1, c2}, th, 30.0), b = ff(free, straight, {c1, c2}, th, 30.0);
        EXPECT_LT(std::abs(a.th - b.th) + std::abs(a.ph - b.ph), 1e-12 * mag(b)) << th;
    }
}

// N by 16-point Gauss-Legendre on 32 panels: exact to rounding for the
// phase rates used here.
std::array<cplx, 3> apot_quadrature(const FfSeg& f, const double rhat[3], double k, int image) {
    gauss_init();
    double zs = image ? -1.0 : 1.0;
    double a[3] = {f.a[0], f.a[1], zs * f.a[2]}, u[3] = {f.dir[0], f.dir[1], zs * f.dir[2]};
    cplx sum = 0;
    const int panels = 32;
    for (int p = 0; p < panels; ++p) {
        for (int i = 0; i < 16; ++i) {
            double t = (p + GX[16][i]) / panels;
            double arg = 0;
            for (int d = 0; d < 3; ++d) arg += rhat[d] * (a[d] + t * f.len * u[d]);
            sum += GW[16][i] / panels * (f.i0 + f.i1 * t) * std::exp(cplx(0.0, k * arg));
        }
    }
    sum *= zs * f.len;
    return {u[0] * sum, u[1] * sum, u[2] * sum};
}

// The closed forms and their small-psi series against quadrature, on both
// sides of the switch at |psi| = 1e-3 and for long segments; the image
// mirrors position and direction and reverses the current.
TEST(Apot, MatchesQuadratureAcrossTheSeriesSwitch) {
    struct Case {
        double len, psi;
    };
    const Case cases[] = {{0.5, 0.0},        {0.5, 0.5e-3}, {0.5, 0.999999e-3}, {0.5, 1.000001e-3},
                          {0.5, -1.0002e-3}, {0.5, 0.005},  {0.5, 0.02},        {0.5, 1.3},
                          {0.5, -2.9},       {5.0, 25.0},   {5.0, -31.0}};
    const double k = phys::two_pi; // wavelength 1 m
    FfSeg f;
    f.a[0] = 0.3, f.a[1] = -0.2, f.a[2] = 0.5;
    f.dir[0] = 1.0 / 3, f.dir[1] = 2.0 / 3, f.dir[2] = 2.0 / 3;
    f.i0 = cplx(0.7, -0.3);
    f.i1 = cplx(-0.2, 0.9);
    const double w[3] = {2.0 / 3, 1.0 / 3, -2.0 / 3}; // unit, normal to dir
    for (const Case& c : cases) {
        f.len = c.len;
        double ca = c.psi / (k * c.len), sa = std::sqrt(1.0 - ca * ca);
        double rhat[3];
        for (int d = 0; d < 3; ++d) rhat[d] = ca * f.dir[d] + sa * w[d];
        for (int image : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "psi=" << c.psi << " image=" << image);
            auto got = apot(&f, 1, rhat, k, image);
            auto want = apot_quadrature(f, rhat, k, image);
            double tol = 1e-10 * (std::abs(f.i0) + std::abs(f.i1)) * c.len;
            for (int d = 0; d < 3; ++d) EXPECT_LT(std::abs(got[d] - want[d]), tol) << d;
        }
    }
}

// Along a wire the start phase of each segment is carried over from the
// end of the previous one: a long chain (with breaks, tiny gaps, reversed
// segments and pieces shorter than the series switch) gives the sum of the
// segments taken one by one.
TEST(Apot, ChainedSegmentsMatchSegmentsTakenAlone) {
    std::vector<FfSeg> fs;
    fffix::P3 p = {0.3, -0.2, 0.5};
    for (int s = 0; s < 400; ++s) {
        double t = 0.05 * s;
        fffix::P3 q = {p[0] + 0.3 * std::cos(t), p[1] + 0.3 * std::sin(t),
                       p[2] + 0.01 + 1e-5 * (s % 7)};
        if (s % 97 == 0) q = {p[0] + 1e-6, p[1], p[2]}; // psi below 1e-3
        if (s % 11 == 5) p[0] += 1e-8;                  // a gap far below a wavelength
        Segment sg = (s % 53 == 0) ? fffix::make_seg(q, p) : fffix::make_seg(p, q);
        if (s % 61 == 0)
            sg = fffix::make_seg({q[0] + 2.0, q[1], q[2]}, {q[0] + 2.5, q[1] + 0.1, q[2]});
        FfSeg f;
        std::copy(sg.a, sg.a + 3, f.a);
        std::copy(sg.dir, sg.dir + 3, f.dir);
        f.len = sg.len;
        f.i0 = cplx(std::cos(0.1 * s), 0.3);
        f.i1 = cplx(-0.2, std::sin(0.07 * s));
        fs.push_back(f);
        p = q;
    }
    const double k = phys::two_pi * 3.0;
    for (double th : {0.0, 0.7, 1.9, 3.0}) {
        double rhat[3] = {std::sin(th) * std::cos(2 * th), std::sin(th) * std::sin(2 * th),
                          std::cos(th)};
        for (int image : {0, 1}) {
            auto chain = apot(fs.data(), static_cast<int>(fs.size()), rhat, k, image);
            std::array<cplx, 3> alone = {0.0, 0.0, 0.0};
            double scale = 0;
            for (const FfSeg& f : fs) {
                auto one = apot(&f, 1, rhat, k, image);
                for (int d = 0; d < 3; ++d) alone[d] += one[d];
                scale += std::abs(one[0]) + std::abs(one[1]) + std::abs(one[2]);
            }
            for (int d = 0; d < 3; ++d)
                EXPECT_LT(std::abs(chain[d] - alone[d]), 1e-13 * scale)
                    << th << " " << image << " " << d;
        }
    }
}

// A short element of uniform current I along z centred at the origin:
// E_theta = j (w mu0 / 4 pi) I L sin(theta), E_phi = 0 (sign fixed by
// exp(+j w t)); the error is of order (k L)^2.
TEST(FfEval, ShortDipoleFieldAndSign) {
    const double len = 1e-4 / kK;
    const cplx i_a(0.6, -0.8);
    Mesh mesh = fffix::element({0, 0, -len / 2}, {0, 0, len / 2});
    Model free = with_ground(GROUND_FREE);
    for (double th : {0.0, 20.0, 90.0, 150.0}) {
        for (double ph : {0.0, 77.0, 300.0}) {
            Field f = ff(free, mesh, fffix::uniform(i_a), th, ph);
            cplx want = cplx(0.0, kCf) * i_a * len * std::sin(th * kDeg);
            EXPECT_LT(std::abs(f.th - want), 1e-9 * kCf * len) << th << " " << ph;
            EXPECT_EQ(f.ph, 0.0);
        }
    }
    Field none = ff(free, Mesh{}, {}, 45.0, 45.0);
    EXPECT_EQ(none.th, 0.0);
    EXPECT_EQ(none.ph, 0.0);
}

// Image theory: a short element centred at height h over a perfect ground
// radiates its free-space field times 2 cos(k h cos theta) when vertical
// and 2j sin(k h cos theta) when horizontal (the image current reversed).
TEST(FfEval, PerfectGroundIsTheImageArray) {
    const double len = 1e-4 / kK;
    Model free = with_ground(GROUND_FREE), pec = with_ground(GROUND_PERFECT);
    struct Case {
        P3 u;
        bool vertical;
        double h;
    };
    const Case cases[] = {{{0, 0, 1}, true, 0.0},
                          {{0, 0, 1}, true, 7.3},
                          {{1, 0, 0}, false, 7.3},
                          {{0.6, 0.8, 0}, false, 21.0}};
    for (const Case& c : cases) {
        P3 lo, hi, clo, chi;
        for (int d = 0; d < 3; ++d) {
            clo[d] = -0.5 * len * c.u[d];
            chi[d] = 0.5 * len * c.u[d];
            lo[d] = clo[d] + (d == 2 ? c.h : 0.0);
            hi[d] = chi[d] + (d == 2 ? c.h : 0.0);
        }
        Mesh raised = fffix::element(lo, hi), centred = fffix::element(clo, chi);
        for (double th : {0.0, 35.0, 70.0, 89.0}) {
            for (double ph : {0.0, 130.0}) {
                SCOPED_TRACE(testing::Message() << "h=" << c.h << " th=" << th << " ph=" << ph);
                double kz = kK * c.h * std::cos(th * kDeg);
                cplx af =
                    c.vertical ? cplx(2.0 * std::cos(kz), 0.0) : cplx(0.0, 2.0 * std::sin(kz));
                Field f0 = ff(free, centred, fffix::uniform(1.0), th, ph);
                Field g = ff(pec, raised, fffix::uniform(1.0), th, ph);
                double tol = 1e-8 * kCf * len;
                EXPECT_LT(std::abs(g.th - af * f0.th), tol);
                EXPECT_LT(std::abs(g.ph - af * f0.ph), tol);
            }
        }
    }
}

TEST(FfEval, HorizontalWireOnPerfectGroundRadiatesNothing) {
    Mesh mesh = fffix::wire({-3, 1, 0}, {4, -2, 0}, 5);
    std::vector<cplx> cur = {{1, 0}, {0.5, 2}, {-1, 1}, {0.3, -0.7}};
    Model free = with_ground(GROUND_FREE), pec = with_ground(GROUND_PERFECT);
    for (double th : {0.0, 30.0, 60.0, 89.0, 90.0}) {
        for (double ph : {0.0, 45.0, 200.0}) {
            double ref = mag(ff(free, mesh, cur, th + 1.0, ph)); // nonzero scale
            ASSERT_GT(ref, 0.0);
            EXPECT_LE(mag(ff(pec, mesh, cur, th, ph)), 1e-14 * ref) << th << " " << ph;
        }
    }
}

// Models of every ground kind; the real-ground and board values are
// ordinary ones.
std::vector<Model> all_grounds() {
    std::vector<Model> ms;
    for (int g : {GROUND_FREE, GROUND_PERFECT, GROUND_REAL, GROUND_MININEC})
        ms.push_back(with_ground(g));
    for (int gnd : {1, 0}) {
        Model b = with_ground(GROUND_PCB);
        b.pcb_eps = 4.4;
        b.pcb_tand = 0.02;
        b.pcb_h = 0.0016;
        b.pcb_gnd = gnd;
        ms.push_back(b);
    }
    return ms;
}

// Below a ground the field is exactly zero; free space and a board without
// ground plane radiate there.
TEST(FfEval, LowerHalfSpaceIsDarkOverEveryGround) {
    Mesh mesh = fffix::element({0, 0, 1.0}, {0.6, 0.3, 1.8});
    for (const Model& m : all_grounds()) {
        bool dark = m.ground != GROUND_FREE && !(m.ground == GROUND_PCB && !m.pcb_gnd);
        SCOPED_TRACE(testing::Message() << "ground=" << m.ground << " gnd=" << m.pcb_gnd);
        for (double th : {90.0001, 120.0, 180.0}) {
            Field f = ff(m, mesh, fffix::uniform({0.2, 1.0}), th, 40.0);
            if (dark) {
                EXPECT_EQ(f.th, 0.0) << th;
                EXPECT_EQ(f.ph, 0.0) << th;
            } else {
                EXPECT_GT(mag(f), 1e-6) << th;
            }
        }
        Field up = ff(m, mesh, fffix::uniform({0.2, 1.0}), 60.0, 40.0);
        EXPECT_GT(mag(up), 1e-6);
        EXPECT_TRUE(std::isfinite(mag(up)));
    }
}

// At the horizon a real ground reflects with -1 in both polarisations and
// cancels the direct wave; a perfect ground doubles E_theta and cancels
// E_phi.
TEST(FfEval, HorizonOverRealAndPerfectGround) {
    Mesh mesh = fffix::element({0, 0, 1.0}, {0.6, 0.3, 1.8});
    std::vector<cplx> cur = fffix::uniform({0.2, 1.0});
    Field f0 = ff(with_ground(GROUND_FREE), mesh, cur, 90.0, 40.0);
    ASSERT_GT(std::abs(f0.th), 0.0);
    ASSERT_GT(std::abs(f0.ph), 0.0);
    for (int g : {GROUND_REAL, GROUND_MININEC}) {
        EXPECT_LT(mag(ff(with_ground(g), mesh, cur, 90.0, 40.0)), 1e-12 * mag(f0)) << g;
    }
    Field p = ff(with_ground(GROUND_PERFECT), mesh, cur, 90.0, 40.0);
    EXPECT_LT(std::abs(p.th - 2.0 * f0.th), 1e-12 * mag(f0));
    EXPECT_LT(std::abs(p.ph), 1e-12 * mag(f0));
}

// A very good conductor is a perfect ground; a lossless dielectric ground
// reflects nothing of the vertical polarisation at the Brewster angle
// tan(theta) = sqrt(eps).
TEST(FfEval, RealGroundLimits) {
    Mesh mesh = fffix::element({0, 0, 3.0}, {0.6, 0.3, 3.8});
    std::vector<cplx> cur = fffix::uniform({0.2, 1.0});
    Model pec = with_ground(GROUND_PERFECT);
    for (int g : {GROUND_REAL, GROUND_MININEC}) {
        Model m = with_ground(g);
        m.sigma = 1e10;
        for (double th : {0.0, 40.0, 80.0}) {
            Field a = ff(m, mesh, cur, th, 15.0), b = ff(pec, mesh, cur, th, 15.0);
            EXPECT_LT(std::abs(a.th - b.th) + std::abs(a.ph - b.ph), 1e-5 * mag(b))
                << g << " " << th;
        }
    }
    Mesh vert = fffix::element({0, 0, 2.0}, {0, 0, 2.5});
    Model diel = with_ground(GROUND_REAL);
    diel.eps = 4.0;
    diel.sigma = 0.0;
    double th_b = std::atan(2.0) / kDeg;
    Field direct = ff(with_ground(GROUND_FREE), vert, cur, th_b, 0.0);
    Field over = ff(diel, vert, cur, th_b, 0.0);
    EXPECT_LT(std::abs(over.th - direct.th), 1e-12 * std::abs(direct.th));
    // Off the Brewster angle the reflection is there.
    EXPECT_GT(std::abs(ff(diel, vert, cur, 40.0, 0.0).th -
                       ff(with_ground(GROUND_FREE), vert, cur, 40.0, 0.0).th),
              1e-3 * std::abs(direct.th));
}

Model board(double eps, double h, int gnd) {
    Model b = with_ground(GROUND_PCB);
    b.pcb_eps = eps;
    b.pcb_h = h;
    b.pcb_gnd = gnd;
    return b;
}

// A board of vacuum without ground plane is free space, below it too
// (except the grazing band where the transmission is cut); with a ground
// plane it is a perfect ground at depth h, i.e. the structure raised by h
// over a perfect ground seen from an origin h lower.
TEST(FfEval, BoardLimits) {
    Mesh mesh = fffix::element({0.1, 0, 0.05}, {0.7, 0.4, 0.5});
    std::vector<cplx> cur = fffix::uniform({0.2, 1.0});
    const double h = 1.3;
    Model free = with_ground(GROUND_FREE), pec = with_ground(GROUND_PERFECT);
    Model air = board(1.0, h, 0), air_gnd = board(1.0, h, 1);
    Mesh raised = fffix::element({0.1, 0, 0.05 + h}, {0.7, 0.4, 0.5 + h});
    for (double th : {0.0, 30.0, 75.0, 89.0, 91.0, 140.0, 180.0}) {
        for (double ph : {0.0, 250.0}) {
            SCOPED_TRACE(testing::Message() << th << " " << ph);
            Field f0 = ff(free, mesh, cur, th, ph), b = ff(air, mesh, cur, th, ph);
            EXPECT_LT(std::abs(b.th - f0.th) + std::abs(b.ph - f0.ph), 1e-11 * mag(f0));
            if (th > 90.0) continue;
            Field g = ff(air_gnd, mesh, cur, th, ph), p = ff(pec, raised, cur, th, ph);
            cplx shift = std::exp(cplx(0.0, -kK * h * std::cos(th * kDeg)));
            EXPECT_LT(std::abs(g.th - shift * p.th) + std::abs(g.ph - shift * p.ph),
                      1e-11 * mag(p));
        }
    }
    Field grazing;
    farfield(air, mesh, kFreq, cur, phys::pi / 2 + 1e-10, 0.3, grazing.th, grazing.ph);
    EXPECT_EQ(grazing.th, 0.0);
    EXPECT_EQ(grazing.ph, 0.0);
    // A thin lossy board on a ground plane is a perfect ground.
    Model thin = board(4.4, 1e-9, 1);
    thin.pcb_tand = 0.02;
    for (double th : {0.0, 45.0, 85.0}) {
        Field a = ff(thin, mesh, cur, th, 20.0), p = ff(pec, mesh, cur, th, 20.0);
        EXPECT_LT(std::abs(a.th - p.th) + std::abs(a.ph - p.ph), 1e-6 * mag(p)) << th;
    }
}

// Below a board without ground plane the direct field passes the slab:
// E_theta (TM) and E_phi (TE) each with their own transmission for the
// mirrored angle, which differ off normal incidence.
TEST(FfEval, BelowBoardTransmitsEachPolarisation) {
    Mesh mesh = fffix::element({0.1, 0, 0.05}, {0.7, 0.4, 0.5});
    std::vector<cplx> cur = fffix::uniform({0.2, 1.0});
    Model b = board(4.4, 0.3, 0);
    for (double th : {180.0, 150.0, 100.0}) {
        SCOPED_TRACE(th);
        double t = th * kDeg;
        LayerCoef lc = layer_coef(kK, 4.4, LAYER_FREE_SLAB, 0.3, std::sin(t), -std::cos(t));
        if (th < 180.0) {
            ASSERT_GT(std::abs(lc.t_tm - lc.t_te), 1e-3);
        }
        Field f0 = ff(with_ground(GROUND_FREE), mesh, cur, th, 20.0),
              f = ff(b, mesh, cur, th, 20.0);
        EXPECT_LT(std::abs(f.th - lc.t_tm * f0.th), 1e-13 * mag(f0));
        EXPECT_LT(std::abs(f.ph - lc.t_te * f0.ph), 1e-13 * mag(f0));
    }
}

} // namespace
