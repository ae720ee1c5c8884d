// Physics checks of the frequency solution: thin dipoles and monopoles
// against converged and reference values, loads, wire losses, and
// transmission-line stubs against circuit theory.
//
// Reference values marked "nec2c" were computed with Debian's nec2c (an
// independent NEC-2 port) on the same structure: 14.2 MHz, wire radius
// 1 mm, the wire's length given in the test, N segments with the source on
// the centre segment (EX 0), free space, GN 1 or GN 0 0 0 0 13 0.005.
// To regenerate, write the GW/GE/GN/EX/FR/XQ deck and read "ANTENNA INPUT
// PARAMETERS" from `nec2c -i deck.nec -o deck.out`.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/constants.h"
#include "hand_mesh.h"
#include "mesh/mesh.h"
#include "solver/loads.h"
#include "solver/solve.h"
#include "test_support.h"

namespace {

const double kF = 14.2e6;
const double kLam = phys::c0 / kF;
const cplx J(0.0, 1.0);

// Vertical centre-fed dipole of length len (m) centred at height z.
Mesh dipole(double len, int nseg, double z = 0.0, double sigma = 0.0) {
    return hand_mesh({HandWire{{0, 0, z - len / 2}, {0, 0, z + len / 2}, nseg, 0.001, sigma}});
}

struct Solved {
    int rc = 0;
    std::vector<cplx> cur;
    FreqResult res;
    std::string err;
};

Solved solve(const Model& m, const Mesh& mesh, int want_prad = 0) {
    Solved s;
    s.rc = solve_freq(m, mesh, kF, s.cur, s.res, want_prad, nullptr, s.err);
    return s;
}

cplx zin(const Mesh& mesh, Model m) {
    Solved s = solve(m, mesh);
    EXPECT_EQ(s.rc, 0) << s.err;
    return s.res.zin;
}

cplx dipole_z(double len, int nseg) {
    Mesh mesh = dipole(len, nseg);
    return zin(mesh, hand_model(kF, hand_unk_at(mesh, 0, 0, 0)));
}

TEST(DipoleValidation, HalfWaveMatchesAConvergedThinWireSolution) {
    // nec2c with 401 segments (converged: 201 segments give 79.39 + j45.38).
    // Tolerance 3 % of |Z|: the two codes differ in the feed model (a gap
    // at a node here, an applied field over one segment there) and in the
    // kernel, which moves the reactance by about an ohm.
    const cplx ref(79.452, 45.479);
    for (int nseg : {20, 40, 50}) {
        cplx z = dipole_z(0.5 * kLam, nseg);
        EXPECT_LT(std::abs(z - ref) / std::abs(ref), 0.03) << "nseg=" << nseg << " Z=" << z;
    }
}

TEST(DipoleValidation, ReactanceCrossesZeroSlightlyBelowHalfAWavelength) {
    // A wire of finite thickness resonates short of lambda/2: for
    // 2 ln(L/a) = 18.5 near 0.485 lambda. Bisection on the length between
    // 0.46 and 0.50 lambda (40 segments); the crossing must lie within
    // 0.47 .. 0.495 lambda, where the resistance is 65 .. 77 ohm.
    double lo = 0.46, hi = 0.50;
    ASSERT_LT(dipole_z(lo * kLam, 40).imag(), 0.0);
    ASSERT_GT(dipole_z(hi * kLam, 40).imag(), 0.0);
    for (int it = 0; it < 20; ++it) {
        double mid = 0.5 * (lo + hi);
        (dipole_z(mid * kLam, 40).imag() < 0 ? lo : hi) = mid;
    }
    EXPECT_GT(lo, 0.47);
    EXPECT_LT(hi, 0.495);
    double r = dipole_z(lo * kLam, 40).real();
    EXPECT_GT(r, 65.0);
    EXPECT_LT(r, 77.0);
}

TEST(DipoleValidation, RefiningChangesTheResistanceByLessThanTwoPercent) {
    const double r20 = dipole_z(0.5 * kLam, 20).real();
    const double r40 = dipole_z(0.5 * kLam, 40).real();
    const double r80 = dipole_z(0.5 * kLam, 80).real();
    EXPECT_LT(std::fabs(r40 - r20) / r40, 0.02);
    EXPECT_LT(std::fabs(r80 - r40) / r80, 0.02);
    // and the changes shrink: the solution converges.
    EXPECT_LT(std::fabs(r80 - r40), std::fabs(r40 - r20));
}

TEST(DipoleValidation, QuarterWaveMonopoleOnPerfectGroundIsHalfTheDipole) {
    // Image theory makes the grounded half triangle and its image the
    // dipole's centre triangle: half the impedance to rounding (the task
    // asks for 3 %; anything beyond rounding would be a fault of the image
    // pass).
    for (int nseg : {10, 20}) {
        const double h = 0.25 * kLam;
        Mesh mono = hand_mesh({HandWire{{0, 0, 0}, {0, 0, h}, nseg, 0.001}}, true);
        ASSERT_EQ(mono.unk[hand_unk_at(mono, 0, 0, 0)].grounded, 1);
        cplx zm = zin(mono, hand_model(kF, hand_unk_at(mono, 0, 0, 0), GROUND_PERFECT));
        cplx zd = dipole_z(2 * h, 2 * nseg);
        EXPECT_LT(std::abs(zm - 0.5 * zd) / std::abs(0.5 * zd), 0.03);
        EXPECT_LT(std::abs(zm - 0.5 * zd) / std::abs(0.5 * zd), 1e-9);
    }
}

TEST(DipoleValidation, HorizontalDipoleOverGroundMatchesNec2c) {
    // A horizontal half-wave dipole (40 segments here, 41 in nec2c) at two
    // heights over a perfect ground and over a real ground (eps 13,
    // 5 mS/m) by reflection coefficients. Tolerance 2 %: the codes differ
    // in feed model and kernel (1 % between them in free space).
    struct Case {
        double height; // wavelengths
        int ground;
        cplx ref; // nec2c, 41 segments
    };
    const Case cases[] = {
        {0.25, GROUND_PERFECT, cplx(95.560, 76.525)},
        {0.25, GROUND_REAL, cplx(90.818, 61.854)},
        {0.50, GROUND_PERFECT, cplx(73.365, 26.349)},
        {0.50, GROUND_REAL, cplx(74.329, 34.478)},
    };
    const double L = 0.5 * kLam;
    for (const Case& c : cases) {
        const double z = c.height * kLam;
        Mesh mesh = hand_mesh({HandWire{{-L / 2, 0, z}, {L / 2, 0, z}, 40, 0.001}}, true);
        Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, z), c.ground);
        cplx got = zin(mesh, m);
        EXPECT_LT(std::abs(got - c.ref) / std::abs(c.ref), 0.02)
            << "h=" << c.height << " ground=" << c.ground << " Z=" << got;
    }
}

TEST(LoadValidation, SeriesLoadAtTheFeedAddsItsImpedance) {
    // The load sits in the source's gap: Z_in = Z_antenna + Z_load exactly.
    Mesh mesh = dipole(0.5 * kLam, 30);
    Model m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    const cplx z0 = zin(mesh, m);
    struct Case {
        int type;
        double r, l, c;
    };
    const Case cases[] = {
        {LOAD_SERIES, 50, 0, 0}, {LOAD_IMPEDANCE, 50, -45, 0}, {LOAD_SERIES, 0, 1e-6, 0}};
    for (const Case& c : cases) {
        Load ld;
        ld.type = c.type;
        ld.r = c.r;
        ld.l = c.l;
        ld.c = c.c;
        ld.unk = m.srcs[0].unk;
        Model ml = m;
        ml.loads = {ld};
        cplx z = zin(mesh, ml);
        EXPECT_NEAR(std::abs(z - (z0 + load_z(ld, kF))), 0.0, 1e-9 * std::abs(z)) << c.type;
    }
    Load fifty;
    fifty.r = 50;
    fifty.unk = m.srcs[0].unk;
    m.loads = {fifty};
    EXPECT_NEAR(zin(mesh, m).real() - z0.real(), 50.0, 1e-9);
}

// Half the dissipated power (W per A^2) of a segment's current: the
// current I(t) = A + B t along the segment, w the impedance per metre,
// 1/2 Re(w) len int_0^1 |A + B t|^2 dt.
double segment_loss(const Mesh& mesh, const std::vector<cplx>& cur, int s, cplx w) {
    cplx A = 0.0, B = 0.0;
    const UnkSlot* r = mesh.refs(s);
    for (int i = 0; i < mesh.seg_nref[s]; ++i) {
        const SegRef& sr = mesh.unk[r[i].unk].ref[r[i].slot];
        const double alpha = sr.end == 0 ? 1.0 : 0.0, beta = sr.end == 0 ? -1.0 : 1.0;
        A += static_cast<double>(sr.sign) * alpha * cur[r[i].unk];
        B += static_cast<double>(sr.sign) * beta * cur[r[i].unk];
    }
    const double i2 = std::norm(A) + (A * std::conj(B)).real() + std::norm(B) / 3.0;
    return 0.5 * w.real() * mesh.seg[s].len * i2;
}

TEST(LossValidation, CopperLowersTheEfficiencySlightly) {
    // A copper half-wave dipole. Three views of its efficiency must agree:
    // the radiated power over the input power (far-field integration), one
    // minus the loss computed from the currents over the input power (the
    // two to 1e-6: the moment method conserves power), and the textbook
    // R_rad/(R_rad + R' L/2) for a sinusoidal current (R' the surface
    // resistance per metre), about 99 %, within 0.1 percentage point. The
    // input resistance grows by about the loss resistance 2 P_loss/|I|^2:
    // within 10 %, since the first-order change of Z_in is I^T W I / I_in^2,
    // which differs from the dissipated power where the current's phase
    // varies along the wire, and the internal inductance lengthens the wire
    // electrically.
    const double L = 0.5 * kLam, sigma = 5.8e7;
    Mesh pec = dipole(L, 40), cu = dipole(L, 40, 0.0, sigma);
    const int feed = hand_unk_at(cu, 0, 0, 0);
    Solved p = solve(hand_model(kF, feed), pec, 1);
    Solved c = solve(hand_model(kF, feed), cu, 1);
    ASSERT_EQ(p.rc, 0);
    ASSERT_EQ(c.rc, 0);
    const cplx w = conductor_z(0.001, sigma, kF);
    double ploss = 0;
    for (int s = 0; s < cu.nseg(); ++s) ploss += segment_loss(cu, c.cur, s, w);
    const double eff_loss = 1.0 - ploss / c.res.pin;
    const double rrad = p.res.zin.real();
    const double textbook = rrad / (rrad + w.real() * L / 2);
    EXPECT_NEAR(c.res.eff, eff_loss, 1e-6);
    EXPECT_EQ(c.res.eff, c.res.prad / c.res.pin);
    EXPECT_LT(c.res.eff, 0.995);
    EXPECT_GT(c.res.eff, 0.98);
    EXPECT_NEAR(c.res.eff, textbook, 0.001);
    EXPECT_NEAR(p.res.eff, 1.0, 1e-6);
    const double rloss = 2 * ploss / std::norm(c.res.iin);
    EXPECT_NEAR((c.res.zin.real() - p.res.zin.real()) / rloss, 1.0, 0.1);
}

// ---- transmission lines against circuit theory ----

// A dipole fed at its centre, and far away (200 m) a short dummy wire whose
// centre gap is opened by a 1e12 ohm series load: a line from the feed to
// the dummy is a stub whose far end is open unless its shunt admittance
// closes it.
struct StubRig {
    Mesh mesh;
    Model model;
    int dummy = -1;
    StubRig() {
        const double L = 0.48 * kLam;
        mesh = hand_mesh({HandWire{{0, 0, -L / 2}, {0, 0, L / 2}, 40, 0.001},
                          HandWire{{200, 0, -0.1}, {200, 0, 0.1}, 2, 0.001}});
        model = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
        dummy = hand_unk_at(mesh, 200, 0, 0);
        Load open;
        open.type = LOAD_IMPEDANCE;
        open.r = 1e12;
        open.unk = dummy;
        model.loads = {open};
    }
    TLine line(double z0, double len) const {
        TLine t;
        t.unk1 = model.srcs[0].unk;
        t.unk2 = dummy;
        t.z0 = z0;
        t.len = len;
        return t;
    }
};

TEST(LineValidation, StubsInParallelWithTheFeed) {
    // Z_in = 1 / (1/Z_antenna + Y_stub): an open stub has Y = tanh(g l)/z0,
    // one shorted at its far end (a large shunt admittance there) has
    // Y = coth(g l)/z0, g = loss/100/8.686 + j k/vf; a shunt at the feed end
    // adds its admittance. The open dummy (1e-12 S) and the finite short
    // (1e6 S) perturb Y by parts in 1e8.
    StubRig rig;
    const cplx zant = zin(rig.mesh, rig.model);
    const double k = phys::two_pi * kF / phys::c0;
    struct Case {
        const char* what;
        TLine t;
        cplx y_stub;
    };
    auto with = [](TLine t, auto edit) {
        edit(t);
        return t;
    };
    const double z0 = 50;
    const cplx g_lossy = cplx(10.0 / 100 / phys::db_per_neper, k / 0.8);
    const Case cases[] = {
        {"open lambda/8", rig.line(z0, kLam / 8), std::tanh(J * (phys::pi / 4)) / z0},
        {"open lambda/8 reversed", with(rig.line(z0, kLam / 8), [](TLine& t) { t.rev = 1; }),
         std::tanh(J * (phys::pi / 4)) / z0},
        {"open 3/16 lambda, lossy, vf 0.8",
         with(rig.line(z0, 0.8 * 3 * kLam / 16),
              [](TLine& t) {
                  t.vf = 0.8;
                  t.loss = 10;
              }),
         std::tanh(g_lossy * (0.8 * 3 * kLam / 16)) / z0},
        {"shorted lambda/8 (y2 = 1e6 S)",
         with(rig.line(z0, kLam / 8), [](TLine& t) { t.y2 = 1e6; }),
         1.0 / std::tanh(J * (phys::pi / 4)) / z0},
        {"open lambda/8 with 100 ohm across the feed",
         with(rig.line(z0, kLam / 8), [](TLine& t) { t.y1 = 0.01; }),
         std::tanh(J * (phys::pi / 4)) / z0 + 0.01},
        {"two-port with the lambda/8 line's admittances",
         with(rig.line(0, 0),
              [](TLine& t) {
                  t.y11 = t.y22 = 1.0 / (50.0 * std::tanh(J * (phys::pi / 4)));
                  t.y12 = -1.0 / (50.0 * std::sinh(J * (phys::pi / 4)));
              }),
         std::tanh(J * (phys::pi / 4)) / z0},
    };
    for (const Case& c : cases) {
        Model m = rig.model;
        m.tls = {c.t};
        cplx z = zin(rig.mesh, m);
        cplx expect = 1.0 / (1.0 / zant + c.y_stub);
        EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-6)
            << c.what << ": " << z << " vs " << expect;
    }
}

TEST(LineValidation, QuarterWaveOpenStubShortsTheFeed) {
    // tanh(j pi/2) is infinite: the open quarter-wave stub is a short
    // across the generator (|Z_in| a few nano-ohm; the 1e12 ohm dummy
    // is not quite open, and the voltage at the open end is huge).
    StubRig rig;
    Model m = rig.model;
    m.tls = {rig.line(50, kLam / 4)};
    Solved s = solve(m, rig.mesh);
    ASSERT_EQ(s.rc, 0) << s.err;
    EXPECT_LT(std::abs(s.res.zin), 1e-6);
}

// A dipole fed through a line from a generator on a short wire 200 m
// away: the line runs from the generator's gap (driven) to the dipole's
// centre (undriven). The generator wire's own gap impedance is in parallel
// with the line's input. The generator wire lies across the dipole's
// broadside plane, where the dipole's field is parallel to the dipole, so
// the two wires do not couple.
struct FeedRig {
    Mesh mesh, gen_only, dip_only;
    Model model;
    int feed = -1;
    FeedRig() {
        const double L = 0.48 * kLam;
        const HandWire dip{{0, 0, -L / 2}, {0, 0, L / 2}, 40, 0.001};
        const HandWire gen{{200, -0.1, 0}, {200, 0.1, 0}, 2, 0.001};
        mesh = hand_mesh({dip, gen});
        gen_only = hand_mesh({gen});
        dip_only = hand_mesh({dip});
        model = hand_model(kF, hand_unk_at(mesh, 200, 0, 0));
        feed = hand_unk_at(mesh, 0, 0, 0);
    }
    TLine line(double z0, double len) const {
        TLine t;
        t.unk1 = model.srcs[0].unk;
        t.unk2 = feed;
        t.z0 = z0;
        t.len = len;
        return t;
    }
};

TEST(LineValidation, FeedLinesTransformTheAntennaImpedance) {
    // Z_in = Z_gen || Z_line with Z_line = z0 (Z_ant + z0 tanh(g l)) /
    // (z0 + Z_ant tanh(g l)) (Pozar, Microwave Engineering 4th ed., Sec.
    // 2.3): whole half waves of lossless line repeat Z_ant, a quarter wave
    // gives z0^2 / Z_ant. 1e-9 for rounding (7e-14 seen).
    FeedRig rig;
    const cplx zgen = zin(rig.gen_only, hand_model(kF, hand_unk_at(rig.gen_only, 200, 0, 0)));
    const cplx zant = zin(rig.dip_only, hand_model(kF, hand_unk_at(rig.dip_only, 0, 0, 0)));
    const double k = phys::two_pi * kF / phys::c0;
    struct Case {
        const char* what;
        double z0, len, vf, loss;
        cplx zline;
    };
    const cplx g_coax(6.6 / 100 / phys::db_per_neper, k / 0.66);
    const Case cases[] = {
        {"half wave", 300, kLam / 2, 1, 0, zant},
        {"two half waves", 50, kLam, 1, 0, zant},
        {"three half waves, vf 0.66", 450, 0.66 * 1.5 * kLam, 0.66, 0, zant},
        {"quarter wave", 75, kLam / 4, 1, 0, 75.0 * 75.0 / zant},
        {"20 m of lossy coax", 50, 20, 0.66, 6.6,
         50.0 * (zant + 50.0 * std::tanh(g_coax * 20.0)) /
             (50.0 + zant * std::tanh(g_coax * 20.0))},
    };
    for (const Case& c : cases) {
        for (int rev : {0, 1}) {
            Model m = rig.model;
            TLine t = rig.line(c.z0, c.len);
            t.vf = c.vf;
            t.loss = c.loss;
            t.rev = rev;
            m.tls = {t};
            const cplx z = zin(rig.mesh, m), expect = 1.0 / (1.0 / zgen + 1.0 / c.zline);
            EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-9)
                << c.what << ", rev " << rev << ": " << z << " vs " << expect;
        }
    }
}

TEST(LineValidation, ALosslessHalfWaveLineDeliversThePowerItTakes) {
    // Whatever goes into a lossless line comes out at the antenna: prad/pin
    // is 1 to the far-field integration's 1e-6, for a line that repeats the
    // antenna's impedance as for one that transforms it.
    FeedRig rig;
    for (double len : {kLam / 2, 0.37 * kLam}) {
        Model m = rig.model;
        m.tls = {rig.line(300, len)};
        Solved s = solve(m, rig.mesh, 1);
        ASSERT_EQ(s.rc, 0) << s.err;
        EXPECT_NEAR(s.res.agt, 1.0, 1e-6) << len;
    }
}

TEST(PowerValidation, LosslessAntennasRadiateWhatTheyTake) {
    // The average-gain test prad/pin is 1 for lossless structures (to the
    // far-field integration's 1e-6): a dipole in free space, a monopole and
    // a horizontal dipole over perfect ground, a dipole with a reactive load
    // and with a lossless stub across its feed. A resistive load in the feed
    // takes its share 1/2 R |I|^2.
    const double L = 0.48 * kLam, h = 0.25 * kLam;
    Mesh dip = dipole(L, 30);
    const int feed = hand_unk_at(dip, 0, 0, 0);
    Mesh mono = hand_mesh({HandWire{{0, 0, 0}, {0, 0, h}, 15, 0.001}}, true);
    Mesh horiz =
        hand_mesh({HandWire{{-L / 2, 0, 0.3 * kLam}, {L / 2, 0, 0.3 * kLam}, 30, 0.001}}, true);

    Model coil = hand_model(kF, feed);
    Load lc;
    lc.type = LOAD_SERIES;
    lc.l = 1e-6;
    lc.c = 200e-12;
    lc.unk = hand_unk_at(dip, 0, 0, 0.2 * L);
    coil.loads = {lc};

    StubRig rig;
    Model stub = rig.model;
    stub.loads.clear(); // the dummy's own gap stays closed: a lossless load-free structure
    stub.tls = {rig.line(50, kLam / 8)};

    struct Case {
        const char* what;
        const Mesh* mesh;
        Model model;
    };
    const Case cases[] = {
        {"dipole", &dip, hand_model(kF, feed)},
        {"monopole on perfect ground", &mono,
         hand_model(kF, hand_unk_at(mono, 0, 0, 0), GROUND_PERFECT)},
        {"horizontal dipole over perfect ground", &horiz,
         hand_model(kF, hand_unk_at(horiz, 0, 0, 0.3 * kLam), GROUND_PERFECT)},
        {"dipole with an LC load", &dip, coil},
        {"dipole with a stub to another wire", &rig.mesh, stub},
    };
    for (const Case& c : cases) {
        Solved s = solve(c.model, *c.mesh, 1);
        ASSERT_EQ(s.rc, 0) << c.what << ": " << s.err;
        EXPECT_NEAR(s.res.agt, 1.0, 1e-6) << c.what;
        EXPECT_EQ(s.res.agt, s.res.eff);
    }
    Model r50 = hand_model(kF, feed);
    Load fifty;
    fifty.r = 50;
    fifty.unk = feed;
    r50.loads = {fifty};
    Solved s = solve(r50, dip, 1);
    ASSERT_EQ(s.rc, 0);
    EXPECT_NEAR(s.res.eff, 1.0 - 0.5 * 50 * std::norm(s.res.iin) / s.res.pin, 1e-6);
}

TEST(MeshedValidation, MesherAndHandMeshAgree) {
    // A native model meshed by mesh_build (explicit 40 segments, source at
    // the centre, a series load and a quarter-wave stub line to a second
    // wire's centre) gives the hand-built mesh's results: the mesher's
    // unknowns, signs and port binding are what the solver assumes.
    const double L = 0.5 * kLam;
    Model m;
    m.f0 = m.fmax = kF;
    m.taper = 0;
    Wire& w = add_wire(m);
    w.z1 = -L / 2;
    w.z2 = L / 2;
    w.radius = 0.001;
    w.nseg = 40;
    w.sigma = 0;
    Wire& w2 = add_wire(m);
    w2.x1 = w2.x2 = 3.0;
    w2.z1 = -L / 2;
    w2.z2 = L / 2;
    w2.radius = 0.001;
    w2.nseg = 40;
    w2.sigma = 0;
    Source& src = add_src(m);
    src.wire = 0;
    src.pos = 0.5;
    src.v = 1.0;
    Load& ld = add_load(m);
    ld.wire = 0;
    ld.pos = 0.5;
    ld.r = 20;
    TLine& tl = add_tl(m);
    tl.wire1 = 0;
    tl.pos1 = 0.5;
    tl.wire2 = 1;
    tl.pos2 = 0.5;
    tl.z0 = 300;
    tl.len = kLam / 4;
    Mesh meshed;
    std::string err;
    ASSERT_EQ(mesh_build(m, meshed, kF, err), 0) << err;
    ASSERT_EQ(meshed.nseg(), 80);

    Mesh hand = hand_mesh({HandWire{{0, 0, -L / 2}, {0, 0, L / 2}, 40, 0.001},
                           HandWire{{3, 0, -L / 2}, {3, 0, L / 2}, 40, 0.001}});
    Model hm = hand_model(kF, hand_unk_at(hand, 0, 0, 0));
    Load hl = m.loads[0];
    hl.unk = hm.srcs[0].unk;
    hm.loads = {hl};
    TLine ht = m.tls[0];
    ht.unk1 = hm.srcs[0].unk;
    ht.unk2 = hand_unk_at(hand, 3, 0, 0);
    hm.tls = {ht};

    Solved a = solve(m, meshed, 1), b = solve(hm, hand, 1);
    ASSERT_EQ(a.rc, 0) << a.err;
    ASSERT_EQ(b.rc, 0) << b.err;
    EXPECT_LT(std::abs(a.res.zin - b.res.zin) / std::abs(b.res.zin), 1e-10);
    EXPECT_NEAR(a.res.agt, 1.0 - 0.5 * 20 * std::norm(a.cur[m.srcs[0].unk]) / a.res.pin, 1e-6);
}

TEST(LineValidation, NecDeckShuntAdmittancesGiveTheStubsDesignedImpedance) {
    // A NEC deck: a dipole fed at its centre segment, and a 50-ohm line of
    // lambda/8 from that segment to a dummy wire far away. TL fields 9 and
    // 10 put 1e10 S across the far end: a shorted stub, j 50 tan(k l) =
    // j 50 ohm in parallel with the antenna. Fields 7 and 8 put 0.02 S (50
    // ohm) across the near end. Reference: the same deck without the line,
    // and circuit theory; the finite short perturbs by parts in 1e12.
    const double len = kLam / 8;
    auto deck = [len](const std::string& tl) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "TL 1 11 2 1 50 %.9f %s\n", len, tl.c_str());
        return std::string(
                   "CM stub\nCE\nGW 1 21 0 0 -5 0 0 5 0.001\nGW 2 1 100 0 0 100 0 0.2 0.001\n"
                   "GE 0\nEX 0 1 11 0 1 0\n") +
               (tl.empty() ? std::string() : std::string(buf)) + "FR 0 1 0 0 14.2 0\nXQ\nEN\n";
    };
    auto deck_z = [](const std::string& name, const std::string& text) {
        Model m;
        Mesh mesh;
        std::string err;
        EXPECT_EQ(model_read(write_file(name, text), m, err), 0) << err;
        EXPECT_EQ(mesh_build(m, mesh, m.f0, err), 0) << err;
        Solved s = solve(m, mesh);
        EXPECT_EQ(s.rc, 0) << s.err;
        return s.res.zin;
    };
    const cplx zant = deck_z("bare.nec", deck(""));
    const double kl = phys::two_pi * kF / phys::c0 * len;
    const cplx ystub = 1.0 / (J * 50.0 * std::tan(kl));
    struct Case {
        const char* fields; // TL fields 7 to 10
        cplx y;             // admittance added across the feed
    };
    const Case cases[] = {
        {"0 0 1e10 0", ystub},
        {"0.02 0 1e10 0", ystub + 0.02},
    };
    for (const Case& c : cases) {
        cplx z = deck_z("stub.nec", deck(c.fields));
        cplx expect = 1.0 / (1.0 / zant + c.y);
        EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-8) << c.fields << ": " << z;
    }
}

} // namespace
