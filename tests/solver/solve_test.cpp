// The frequency solution's contract: the result record, several sources,
// line currents at driven ports, a singular system, and bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/constants.h"
#include "hand_mesh.h"
#include "parallel/par_for.h"
#include "solver/loads.h"
#include "solver/solve.h"

namespace {

const double kF = 14.2e6;
const double kLam = phys::c0 / kF;
const cplx J(0.0, 1.0);

// A centre-fed dipole of `len` metres along z, centred at (x, 0, 0).
Mesh dipole(double len, int nseg, double x = 0.0, double radius = 0.001) {
    return hand_mesh({HandWire{{x, 0, -len / 2}, {x, 0, len / 2}, nseg, radius}});
}

struct Solved {
    int rc = 0;
    std::vector<cplx> cur;
    FreqResult res;
    std::vector<cplx> isrc;
    std::string err;
};

Solved solve(const Model& m, const Mesh& mesh, double f = kF, int want_prad = 0) {
    Solved s;
    s.rc = solve_freq(m, mesh, f, s.cur, s.res, want_prad, &s.isrc, s.err);
    return s;
}

TEST(SolveFreq, RecordOfOneSource) {
    Mesh mesh = dipole(0.48 * kLam, 20);
    for (double z0ref : {50.0, 300.0}) {
        Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
        m.srcs[0].v = cplx(2.0, 0.5);
        m.z0ref = z0ref;
        Solved s = solve(m, mesh);
        ASSERT_EQ(s.rc, 0) << s.err;
        const FreqResult& r = s.res;
        EXPECT_EQ(r.f, kF);
        ASSERT_EQ(static_cast<int>(s.cur.size()), mesh.nunk());
        EXPECT_EQ(r.iin, s.cur[m.srcs[0].unk]);
        EXPECT_NEAR(std::abs(r.zin - cplx(2.0, 0.5) / r.iin), 0.0, 1e-12);
        EXPECT_NEAR(r.pin, 0.5 * (cplx(2.0, 0.5) * std::conj(r.iin)).real(), 1e-15);
        const double g = std::abs((r.zin - z0ref) / (r.zin + z0ref));
        EXPECT_NEAR(r.swr, (1 + g) / (1 - g), 1e-12);
        EXPECT_EQ(s.isrc, std::vector<cplx>{r.iin});
        // Without the radiated power, prad, eff and agt stay 0, and the
        // pattern fields are left to the pattern summary.
        EXPECT_EQ(r.prad, 0.0);
        EXPECT_EQ(r.eff, 0.0);
        EXPECT_EQ(r.agt, 0.0);
        EXPECT_EQ(r.gmax, 0.0);
        EXPECT_EQ(r.thmax, 0.0);
        EXPECT_EQ(r.phmax, 0.0);
        EXPECT_EQ(r.fb, 0.0);
    }
}

TEST(SolveFreq, RadiatedPowerOnRequest) {
    // With the flag: prad from the far field, eff = agt = prad/pin; the
    // impedance and currents are those of a solution without it.
    Mesh mesh = dipole(0.48 * kLam, 20);
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    Solved with = solve(m, mesh, kF, 1), without = solve(m, mesh, kF, 0);
    ASSERT_EQ(with.rc, 0) << with.err;
    EXPECT_GT(with.res.prad, 0.0);
    EXPECT_EQ(with.res.eff, with.res.prad / with.res.pin);
    EXPECT_EQ(with.res.agt, with.res.eff);
    EXPECT_EQ(with.cur, without.cur);
    EXPECT_EQ(with.res.zin, without.res.zin);
}

TEST(SolveFreq, TotalReflectionGivesTheSwrCap) {
    // An open circuit (parallel load without elements, 1e30 ohm) in the feed
    // gap: |Gamma| = 1 to double precision and swr = 2 / 1e-12.
    Mesh mesh = dipole(0.5 * kLam, 20);
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    Load open;
    open.type = LOAD_PARALLEL;
    open.unk = m.srcs[0].unk;
    m.loads = {open};
    Solved s = solve(m, mesh);
    ASSERT_EQ(s.rc, 0) << s.err;
    EXPECT_EQ(s.res.swr, 2e12);
}

TEST(SolveFreq, TwoSourcesFirstDefinesTheFeed) {
    // Two parallel dipoles a quarter wavelength apart, driven 1 V and j V:
    // zin and iin describe the first source, pin sums both.
    Mesh mesh = hand_mesh(
        {HandWire{{0, 0, -5}, {0, 0, 5}, 20, 0.001}, HandWire{{5, 0, -5}, {5, 0, 5}, 20, 0.001}});
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    Source second = m.srcs[0];
    second.unk = hand_unk_at(mesh, 5, 0, 0);
    second.v = J;
    m.srcs.push_back(second);
    Solved s = solve(m, mesh);
    ASSERT_EQ(s.rc, 0) << s.err;
    const cplx i1 = s.cur[m.srcs[0].unk], i2 = s.cur[second.unk];
    EXPECT_EQ(s.isrc, (std::vector<cplx>{i1, i2}));
    EXPECT_EQ(s.res.iin, i1);
    EXPECT_NEAR(std::abs(s.res.zin - 1.0 / i1), 0.0, 1e-12);
    EXPECT_NEAR(s.res.pin, 0.5 * (std::conj(i1) + J * std::conj(i2)).real(), 1e-15);
    // The coupling makes the two feed currents differ by more than the phase.
    EXPECT_GT(std::abs(std::abs(i1) - std::abs(i2)), 1e-4);
}

TEST(SolveFreq, LineBetweenDrivenPortsAddsItsCurrentsToTheSources) {
    // Both ends driven: no unknown is added, and each source delivers the
    // wire current plus the line's Y V (lossless line, closed form).
    Mesh mesh = hand_mesh(
        {HandWire{{0, 0, -5}, {0, 0, 5}, 20, 0.001}, HandWire{{7, 0, -5}, {7, 0, 5}, 20, 0.001}});
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    Source second = m.srcs[0];
    second.unk = hand_unk_at(mesh, 7, 0, 0);
    second.v = cplx(0.5, -0.5);
    m.srcs.push_back(second);
    Model bare = m;
    for (int rev : {0, 1}) {
        TLine t;
        t.unk1 = m.srcs[0].unk;
        t.unk2 = second.unk;
        t.z0 = 300;
        t.len = 3.1;
        t.rev = rev;
        m.tls = {t};
        Solved s = solve(m, mesh), b = solve(bare, mesh);
        ASSERT_EQ(s.rc, 0) << s.err;
        EXPECT_EQ(s.cur, b.cur); // the driven ports fix the wire currents
        const double bl = phys::two_pi * kF / phys::c0 * 3.1;
        const cplx ys = -J / (300 * std::tan(bl));
        const cplx ym = (rev ? 1.0 : -1.0) / (300.0 * J * std::sin(bl));
        const cplx v1 = 1.0, v2 = second.v;
        EXPECT_NEAR(std::abs(s.isrc[0] - (b.isrc[0] + ys * v1 + ym * v2)), 0.0, 1e-12);
        EXPECT_NEAR(std::abs(s.isrc[1] - (b.isrc[1] + ym * v1 + ys * v2)), 0.0, 1e-12);
    }
}

TEST(SolveFreq, SolutionAgreesForOneAndTwoThreads) {
    Mesh mesh = hand_mesh(
        {HandWire{{0, 0, 1}, {0, 0, 11}, 30, 0.001}, HandWire{{0, 0, 11}, {3, 0, 13}, 10, 0.001}});
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 6), GROUND_REAL);
    set_threads(1);
    Solved a = solve(m, mesh);
    set_threads(2);
    Solved b = solve(m, mesh);
    set_threads(0);
    ASSERT_EQ(a.rc, 0);
    ASSERT_EQ(b.rc, 0);
    for (int i = 0; i < mesh.nunk(); ++i)
        EXPECT_NEAR(std::abs(a.cur[i] - b.cur[i]), 0.0, 1e-14 * std::abs(a.cur[i]) + 1e-18);
}

TEST(SolveFreq, SingularSystemLeavesTheOutputsAlone) {
    // An unknown that lives on no segment leaves an all-zero row and column.
    Mesh mesh = dipole(0.5 * kLam, 10);
    mesh.unk.push_back(Unknown{});
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    std::vector<cplx> cur(3, cplx(7, 7)), isrc(2, cplx(8, 8));
    FreqResult res;
    res.zin = cplx(1, 2);
    res.f = 42;
    std::string err;
    EXPECT_EQ(solve_freq(m, mesh, kF, cur, res, 1, &isrc, err), kSolveSingular);
    EXPECT_EQ(err, "singular matrix at 14.2 MHz");
    EXPECT_EQ(cur, std::vector<cplx>(3, cplx(7, 7)));
    EXPECT_EQ(isrc, std::vector<cplx>(2, cplx(8, 8)));
    EXPECT_EQ(res.zin, cplx(1, 2));
    EXPECT_EQ(res.f, 42);
}

TEST(SolveFreq, BadInputIsAClearErrorAndLeavesTheOutputsAlone) {
    // A T junction: two unknowns share the node at (0, 0, 1).
    Mesh base = hand_mesh({HandWire{{0, 0, -1}, {0, 0, 1}, 4, 0.001},
                           HandWire{{0, 0, 1}, {1, 0, 1}, 2, 0.001},
                           HandWire{{0, 0, 1}, {0, 1, 1}, 2, 0.001}});
    const int feed = hand_unk_at(base, 0, 0, 0);
    std::vector<int> at_t;
    for (int u = 0; u < base.nunk(); ++u)
        if (base.unk[u].node == base.unk[hand_unk_at(base, 0, 0, 1)].node) at_t.push_back(u);
    ASSERT_EQ(at_t.size(), 2u);
    TLine good;
    good.unk1 = at_t[0];
    good.unk2 = feed;
    good.z0 = 50;
    good.len = 1;

    struct Case {
        const char* what;
        void (*edit)(Model&, Mesh&, const TLine&, const std::vector<int>&);
        double f;
        const char* message;
    };
    const Case cases[] = {
        {"no frequency", [](Model&, Mesh&, const TLine&, const std::vector<int>&) {}, 0.0,
         "frequency 0 Hz is not positive"},
        {"zero radius",
         [](Model&, Mesh& me, const TLine&, const std::vector<int>&) { me.seg[2].radius = 0; }, kF,
         "wire 1: radius 0 m is not positive"},
        {"negative conductivity",
         [](Model&, Mesh& me, const TLine&, const std::vector<int>&) { me.seg[5].sigma = -5.8e7; },
         kF, "wire 2: conductivity -5.8e+07 S/m is negative"},
        {"sleeve without permittivity",
         [](Model&, Mesh& me, const TLine&, const std::vector<int>&) { me.seg[0].ins_t = 0.001; },
         kF, "wire 1: insulation (thickness 0.001 m, permittivity 0) is not valid"},
        {"NaN load",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) {
             Load l;
             l.unk = 0;
             l.l = std::numeric_limits<double>::quiet_NaN();
             m.loads.push_back(l);
         },
         kF, "load 1 has a value that is not a number"},
        {"load without unknown",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) { m.loads.push_back(Load{}); },
         kF, "load 1 is not placed on the structure"},
        {"negative NEC conductivity",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) {
             m.is_nec = 1;
             Load l;
             l.type = LOAD_CONDUCTIVITY;
             l.r = -1;
             m.loads.push_back(l);
         },
         kF, "load 1: conductivity -1 S/m is negative"},
        {"NaN source",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) {
             m.srcs[0].v = cplx(std::numeric_limits<double>::quiet_NaN(), 0);
         },
         kF, "source 1 has a voltage that is not a number"},
        {"unplaced source",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) { m.srcs[0].unk = -1; }, kF,
         "source 1 is not placed on the structure"},
        {"dead first source",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) { m.srcs[0].v = 0.0; }, kF,
         "source 1 has zero voltage: the feed impedance is undefined"},
        {"line of zero length",
         [](Model& m, Mesh&, const TLine& g, const std::vector<int>& t) {
             TLine l = g;
             l.unk1 = t[0];
             l.unk2 = t[1];
             l.len = 0;
             m.tls.push_back(l);
         },
         kF, "transmission line 1 has zero length"},
        {"line on one unknown",
         [](Model& m, Mesh&, const TLine& g, const std::vector<int>&) {
             TLine l = g;
             l.unk2 = l.unk1;
             m.tls.push_back(l);
         },
         kF, "transmission line 1 has both ends on the same point"},
        {"NaN line",
         [](Model& m, Mesh&, const TLine& g, const std::vector<int>&) {
             TLine l = g;
             l.vf = std::numeric_limits<double>::quiet_NaN();
             m.tls.push_back(l);
         },
         kF, "transmission line 1 has a value that is not a number"},
        {"gain line",
         [](Model& m, Mesh&, const TLine& g, const std::vector<int>&) {
             TLine l = g;
             l.loss = -2;
             m.tls.push_back(l);
         },
         kF, "transmission line 1 has a negative loss (-2 dB/100 m)"},
        {"ground constants",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) {
             m.ground = GROUND_REAL;
             m.sigma = -0.01;
         },
         kF, "ground constants eps=13 sigma=-0.01 S/m are not valid"},
        {"board without thickness",
         [](Model& m, Mesh&, const TLine&, const std::vector<int>&) {
             m.ground = GROUND_PCB;
             m.pcb_eps = 4.4;
             m.pcb_h = 0;
         },
         kF, "board constants eps=4.4 tand=0 h=0 m are not valid"},
    };
    for (const Case& c : cases) {
        Model m = hand_model(kF, feed);
        Mesh mesh = base;
        c.edit(m, mesh, good, at_t);
        std::vector<cplx> cur(1, cplx(3, 3));
        FreqResult res;
        res.pin = 9;
        std::string err;
        EXPECT_EQ(solve_freq(m, mesh, c.f, cur, res, 0, nullptr, err), kSolveBadInput) << c.what;
        EXPECT_EQ(err, c.message) << c.what;
        EXPECT_EQ(cur, std::vector<cplx>(1, cplx(3, 3))) << c.what;
        EXPECT_EQ(res.pin, 9) << c.what;
    }
}

TEST(SolveFreq, RadiusLargerThanTheSegmentStillGivesAFiniteImpedance) {
    // The thin-wire approximation is poor here (the mesh warns), but the
    // reduced kernel stays finite: a fat dipole, radius twice the segment.
    Mesh mesh = dipole(0.45 * kLam, 20, 0.0, 0.95);
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    Solved s = solve(m, mesh);
    ASSERT_EQ(s.rc, 0) << s.err;
    EXPECT_TRUE(std::isfinite(s.res.zin.real()) && std::isfinite(s.res.zin.imag()));
    EXPECT_GT(s.res.zin.real(), 0.0);
    EXPECT_LT(s.res.zin.real(), 1000.0);
}

} // namespace
