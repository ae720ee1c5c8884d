// Loads, wire losses, insulation and the port network of the lines.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/constants.h"
#include "hand_mesh.h"
#include "solver/loads.h"
#include "solver/lu.h"

namespace {

const cplx J(0.0, 1.0);

Load make_load(int type, double r, double l, double c) {
    Load ld;
    ld.type = type;
    ld.r = r;
    ld.l = l;
    ld.c = c;
    return ld;
}

TEST(LoadZ, EveryTypeAgainstItsCircuit) {
    const double f = 7e6, w = phys::two_pi * f;
    struct Case {
        const char* what;
        Load load;
        cplx z;
    };
    const Case cases[] = {
        {"series R", make_load(LOAD_SERIES, 50, 0, 0), 50.0},
        {"series RLC", make_load(LOAD_SERIES, 10, 2e-6, 100e-12),
         10.0 + J * (w * 2e-6) + 1.0 / (J * (w * 100e-12))},
        {"series per metre, no capacitor", make_load(LOAD_SERIES_PER_LEN, 0.5, 1e-7, 0),
         0.5 + J * (w * 1e-7)},
        {"parallel R", make_load(LOAD_PARALLEL, 200, 0, 0), 200.0},
        {"parallel RLC", make_load(LOAD_PARALLEL, 300, 5e-6, 20e-12),
         1.0 / (1.0 / 300 + 1.0 / (J * (w * 5e-6)) + J * (w * 20e-12))},
        {"parallel C", make_load(LOAD_PARALLEL_PER_LEN, 0, 0, 50e-12), 1.0 / (J * (w * 50e-12))},
        {"open parallel", make_load(LOAD_PARALLEL, 0, 0, 0), 1e30},
        {"impedance", make_load(LOAD_IMPEDANCE, 50, -20, 0), cplx(50, -20)},
        {"conductivity", make_load(LOAD_CONDUCTIVITY, 5.8e7, 0, 0), 0.0},
        {"unknown type", make_load(9, 50, 1, 1), 0.0},
    };
    for (const Case& c : cases) {
        cplx z = load_z(c.load, f);
        EXPECT_NEAR(std::abs(z - c.z), 0.0, 1e-12 * std::abs(c.z)) << c.what;
    }
}

TEST(ConductorZ, ThickThinAndBetween) {
    const double f = 14.2e6, sigma = 5.8e7, w = phys::two_pi * f;
    const double delta = std::sqrt(2.0 / (w * phys::mu0 * sigma)); // 17.5 um
    // Thick wire: surface resistance over the circumference, R = X.
    const double a = 1e-3;
    cplx z = conductor_z(a, sigma, f);
    EXPECT_NEAR(z.real(), 1.0 / (phys::two_pi * a * sigma * delta), 1e-12);
    EXPECT_EQ(z.real(), z.imag());
    // sqrt(pi f mu0 / sigma) / (2 pi a) for 1 mm copper at 14.2 MHz, ohm/m.
    EXPECT_NEAR(z.real(), 0.156470, 1e-6);
    // Thin wire: the direct-current resistance and the internal inductance
    // mu0/(8 pi) of a uniform current (the blend's skin-effect share of the
    // reactance falls in proportion to the radius: 2e-7 here).
    const double thin = delta * 1e-6;
    cplx zt = conductor_z(thin, sigma, f);
    EXPECT_NEAR(zt.real() / (1.0 / (sigma * phys::pi * thin * thin)), 1.0, 1e-9);
    EXPECT_NEAR(zt.imag() / (w * phys::mu0 / (8 * phys::pi)), 1.0, 1e-6);
    // The blend joins the thick formula at a = 3 delta.
    cplx below = conductor_z(3 * delta * (1 - 1e-9), sigma, f);
    cplx above = conductor_z(3 * delta * (1 + 1e-9), sigma, f);
    EXPECT_NEAR(std::abs(below - above) / std::abs(above), 0.0, 1e-6);
}

// A straight wire along z of `nseg` segments of 0.1 m.
Mesh straight(int nseg, double radius = 0.001) {
    return hand_mesh({HandWire{{0, 0, 0}, {0, 0, 0.1 * nseg}, nseg, radius}});
}

TEST(WireZ, BareAndSleevedWires) {
    const double f = 14.2e6, w = phys::two_pi * f;
    Model m;
    Mesh perfect = straight(3);
    EXPECT_EQ(wire_z(m, perfect, 1, f), cplx(0.0));
    // A sleeve of permittivity 1 is air: nothing.
    Mesh air = hand_mesh({HandWire{{0, 0, 0}, {0, 0, 0.3}, 3, 0.001, 0, 0.001, 1.0}});
    EXPECT_EQ(wire_z(m, air, 1, f), cplx(0.0));
    // A PVC sleeve on copper: conductor plus j (w mu0/2pi)(1 - 1/eps) ln((a+t)/a).
    Mesh pvc = hand_mesh({HandWire{{0, 0, 0}, {0, 0, 0.3}, 3, 0.001, 5.8e7, 0.0005, 3.0}});
    cplx expect = conductor_z(0.001, 5.8e7, f) +
                  J * (w * phys::mu0 / phys::two_pi * (1 - 1 / 3.0) * std::log(1.5));
    EXPECT_NEAR(std::abs(wire_z(m, pvc, 1, f) - expect), 0.0, 1e-12);
}

TEST(StampLoads, RampIntegralsOfAUniformImpedance) {
    // Three segments of length L, two unknowns (nodes at 0.1 and 0.2 m):
    // the triangle overlaps give w L (2/3, 1/6; 1/6, 2/3).
    const double f = 10e6, L = 0.1;
    Mesh mesh = straight(3);
    mesh.seg[0].sigma = mesh.seg[1].sigma = mesh.seg[2].sigma = 1e6;
    Model m;
    const cplx w = conductor_z(0.001, 1e6, f);
    std::vector<cplx> Z(4, 0.0);
    stamp_loads(m, mesh, f, Z.data(), 2);
    EXPECT_NEAR(std::abs(Z[0] - w * L * (2.0 / 3)), 0.0, 1e-15);
    EXPECT_NEAR(std::abs(Z[3] - w * L * (2.0 / 3)), 0.0, 1e-15);
    EXPECT_NEAR(std::abs(Z[1] - w * L / 6.0), 0.0, 1e-15);
    EXPECT_NEAR(std::abs(Z[2] - w * L / 6.0), 0.0, 1e-15);
}

TEST(StampLoads, PortLoadsGoOnTheirUnknownsDiagonal) {
    const double f = 10e6;
    Mesh mesh = straight(4); // three unknowns
    Model m;
    Load a = make_load(LOAD_SERIES, 50, 0, 0);
    a.unk = 1;
    Load b = make_load(LOAD_IMPEDANCE, 10, -5, 0);
    b.unk = 1;
    Load c = make_load(LOAD_PARALLEL, 0, 0, 0); // open
    c.unk = 2;
    m.loads = {a, b, c};
    std::vector<cplx> Z(9, 0.0);
    stamp_loads(m, mesh, f, Z.data(), 3);
    std::vector<cplx> expect(9, 0.0);
    expect[4] = cplx(60, -5);
    expect[8] = 1e30;
    EXPECT_EQ(Z, expect);
}

// A NEC-style structure: tag 1 of five segments whose third was split into
// two halves by a port (so six mesh segments numbered 1 2 3 3 4 5), then
// tag 2 of five segments. Absolute numbers: 1..5 on tag 1, 6..10 on tag 2.
Mesh nec_mesh() {
    Mesh mesh = hand_mesh({HandWire{{0, 0, 0}, {0, 0, 0.6}, 6, 0.001, 0, 0, 0, 1},
                           HandWire{{1, 0, 0}, {1, 0, 0.5}, 5, 0.001, 0, 0, 0, 2}});
    const int nums[6] = {1, 2, 3, 3, 4, 5};
    for (int s = 0; s < 6; ++s) mesh.seg[s].num = nums[s];
    return mesh;
}

Load nec_load(int type, int tag, int s1, int s2, double r) {
    Load ld = make_load(type, r, 0, 0);
    ld.tag = tag;
    ld.seg1 = s1;
    ld.seg2 = s2;
    ld.unk = -1;
    return ld;
}

TEST(WireZ, NecDistributedLoadsByTagAndSegment) {
    const double f = 14e6;
    Mesh mesh = nec_mesh();
    struct Case {
        const char* what;
        std::vector<Load> loads;
        std::vector<double> r_per_m; // expected Re w per mesh segment
    };
    const double cu = conductor_z(0.001, 5.8e7, f).real();
    const std::vector<Case> cases = {
        {"per metre on segments 2..4 of tag 1",
         {nec_load(LOAD_SERIES_PER_LEN, 1, 2, 4, 2.0)},
         {0, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0}},
        {"seg2 = 0 means seg1 only",
         {nec_load(LOAD_SERIES_PER_LEN, 2, 3, 0, 1.5)},
         {0, 0, 0, 0, 0, 0, 0, 0, 1.5, 0, 0}},
        {"whole structure (tag 0, segment 0)",
         {nec_load(LOAD_PARALLEL_PER_LEN, 0, 0, 0, 4.0)},
         {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}},
        {"tag 0 counts segments over the structure: 7 is tag 2's second",
         {nec_load(LOAD_SERIES_PER_LEN, 0, 7, 7, 3.0)},
         {0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0}},
        {"conductivity replaces what came before, not what follows",
         {nec_load(LOAD_SERIES_PER_LEN, 1, 1, 5, 7.0), nec_load(LOAD_CONDUCTIVITY, 1, 2, 2, 5.8e7),
          nec_load(LOAD_SERIES_PER_LEN, 1, 1, 1, 1.0)},
         {8, cu, 7, 7, 7, 7, 0, 0, 0, 0, 0}},
        {"zero conductivity is a perfect conductor",
         {nec_load(LOAD_SERIES_PER_LEN, 1, 1, 5, 7.0), nec_load(LOAD_CONDUCTIVITY, 0, 0, 0, 0.0)},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Model m;
        m.is_nec = 1;
        m.loads = c.loads;
        for (int s = 0; s < mesh.nseg(); ++s)
            EXPECT_NEAR(wire_z(m, mesh, s, f).real(), c.r_per_m[s], 1e-12)
                << c.what << ", segment " << s;
    }
}

TEST(WireZ, LumpedNecLoadCountsOncePerSegmentAlsoWhenSplit) {
    // LD 0 over segments 2..4 of tag 1 puts 10 ohm on each NEC segment; the
    // split segment 3 gets 10 ohm in all, not 10 on each half.
    const double f = 14e6;
    Mesh mesh = nec_mesh();
    Model m;
    m.is_nec = 1;
    m.loads = {nec_load(LOAD_SERIES, 1, 2, 4, 10.0)};
    double per_num[6] = {0, 0, 0, 0, 0, 0};
    for (int s = 0; s < 6; ++s)
        per_num[mesh.seg[s].num] += wire_z(m, mesh, s, f).real() * mesh.seg[s].len;
    EXPECT_NEAR(per_num[1], 0.0, 1e-12);
    EXPECT_NEAR(per_num[2], 10.0, 1e-12);
    EXPECT_NEAR(per_num[3], 10.0, 1e-12);
    EXPECT_NEAR(per_num[4], 10.0, 1e-12);
    EXPECT_NEAR(per_num[5], 0.0, 1e-12);
}

// ---- the port network ----

TLine line(int u1, int u2, double z0, double len) {
    TLine t;
    t.unk1 = u1;
    t.unk2 = u2;
    t.z0 = z0;
    t.len = len;
    return t;
}

// The port network solved as a circuit: every wire unknown u is a lumped
// impedance zw[u] without coupling to the others, so the system holds what
// the lines and networks add and nothing else, and circuit theory gives the
// answer. Returns the whole solution (wire currents, port voltages, line
// currents).
std::vector<cplx> solve_circuit(const Model& m, const Mesh& mesh, double f,
                                const std::vector<cplx>& zw, LineNet& net) {
    std::string err;
    EXPECT_EQ(line_net(m, mesh, f, net, err), 0) << err;
    const int n = mesh.nunk(), N = n + net.nextra;
    std::vector<cplx> A(static_cast<size_t>(N) * N, 0.0), x(static_cast<size_t>(N), 0.0);
    for (int u = 0; u < n; ++u) A[static_cast<size_t>(u) * N + u] = zw[u];
    line_stamp(net, n, A.data(), N, x.data());
    for (const Source& s : m.srcs) x[s.unk] += s.v;
    EXPECT_EQ(lu_solve(A.data(), x.data(), N), 0);
    return x;
}

// Input impedance of line t from unknown 0 of a wire with unknowns 0..2,
// driven by 1 V at its end 1, its end 2 on unknown 2 closed by zl.
cplx line_zin(TLine t, cplx zl, double f) {
    Mesh mesh = straight(4);
    Model m;
    Source s;
    s.unk = 0;
    s.v = 1.0;
    m.srcs = {s};
    t.unk1 = 0;
    t.unk2 = 2;
    m.tls = {t};
    LineNet net;
    std::vector<cplx> x = solve_circuit(m, mesh, f, {1.0, 1.0, zl}, net);
    return 1.0 / line_port_current(net, 0, x.data());
}

// Pozar, Microwave Engineering 4th ed., Sec. 2.3 and 2.7: a line of
// characteristic impedance z0 and propagation constant g, length len,
// closed by zl, has the input impedance
//   z0 (zl + z0 tanh(g len)) / (z0 + zl tanh(g len)).
cplx transformed(double z0, cplx gl, cplx zl) {
    const cplx t = std::tanh(gl);
    return z0 * (zl + z0 * t) / (z0 + zl * t);
}

cplx parallel(cplx a, cplx b) {
    return a * b / (a + b);
}

const double kLineF = 100e6, kLineLam = phys::c0 / kLineF;
const cplx kLoads[] = {50.0, cplx(79.5, 43.3), cplx(5, -300), cplx(2000, 1000), 0.01};

TEST(LineNet, HalfWaveLinesRepeatTheirLoad) {
    // A lossless line of a whole number of half wavelengths repeats its
    // load, whatever its impedance and however it is connected. The
    // admittance matrix of such a line does not exist (sinh(j m pi) = 0).
    for (int halves : {1, 2, 3})
        for (double vf : {1.0, 0.66})
            for (int rev : {0, 1})
                for (cplx zl : kLoads) {
                    TLine t = line(0, 0, 300, halves * vf * kLineLam / 2);
                    t.vf = vf;
                    t.rev = rev;
                    const cplx z = line_zin(t, zl, kLineF);
                    EXPECT_LT(std::abs(z - zl) / std::abs(zl), 1e-9)
                        << halves << " half waves, vf " << vf << ", rev " << rev << ": " << z
                        << " for " << zl;
                }
}

TEST(LineNet, QuarterWaveLinesInvertTheirLoad) {
    // Z_in = z0^2 / Z_L for odd multiples of a quarter wave (lossless).
    for (int quarters : {1, 3})
        for (int rev : {0, 1})
            for (cplx zl : kLoads) {
                TLine t = line(0, 0, 75, quarters * kLineLam / 4);
                t.rev = rev;
                const cplx z = line_zin(t, zl, kLineF), expect = 75.0 * 75.0 / zl;
                EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-9)
                    << quarters << " quarter waves, rev " << rev << ": " << z << " for " << zl;
            }
}

TEST(LineNet, AnyLengthFollowsTheTransmissionLineEquation) {
    // Lengths between the special ones, lines a hair from a half wave (where
    // sinh(g len) is 1e-7), lossy lines, and lines so lossy that cosh and
    // sinh of g len overflow: they look matched (Z_in = z0) from their input.
    struct Case {
        const char* what;
        double z0, len_lam, vf, loss_db_100m;
    };
    const Case cases[] = {
        {"0.1 lambda", 50, 0.1, 1, 0},
        {"0.37 lambda, vf 0.8", 300, 0.37 * 0.8, 0.8, 0},
        {"1e-7 short of a half wave", 300, 0.5 * (1 - 1e-7), 1, 0},
        {"1e-9 over a wavelength", 50, 1 + 1e-9, 1, 0},
        {"2.3 lambda, 6 dB/100 m", 75, 2.3, 1, 6},
        {"half wave, 40 dB/100 m", 50, 0.5, 1, 40},
        {"1 ohm line, 0.2 lambda", 1, 0.2, 1, 0},
        {"10 kohm line, 0.7 lambda, lossy", 1e4, 0.7, 1, 30},
        {"loss 400 neper", 50, 1.3, 1, 400 / 3.9 * 100 * phys::db_per_neper},
        {"loss 800 neper (sinh overflows)", 50, 1.3, 1, 800 / 3.9 * 100 * phys::db_per_neper},
    };
    const double k = phys::two_pi / kLineLam;
    for (const Case& c : cases)
        for (int rev : {0, 1})
            for (cplx zl : kLoads) {
                TLine t = line(0, 0, c.z0, c.len_lam * kLineLam);
                t.vf = c.vf;
                t.loss = c.loss_db_100m;
                t.rev = rev;
                const cplx gl = cplx(c.loss_db_100m / 100 / phys::db_per_neper, k / c.vf) * t.len;
                const cplx expect = gl.real() > 700 ? cplx(c.z0) : transformed(c.z0, gl, zl);
                const cplx z = line_zin(t, zl, kLineF);
                EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-9)
                    << c.what << ", rev " << rev << ": " << z << " vs " << expect << " for " << zl;
            }
}

TEST(LineNet, TandemLinesMeetAtAnUndrivenPort) {
    // Line A (0.3 lambda, 50 ohm, lossy) from the driven unknown 0 to
    // unknown 1, which carries a shunt zs; line B from unknown 1 to the load
    // on unknown 2, reversed, with both its ends undriven. At unknown 1 the
    // load seen through B is in parallel with zs; A transforms the sum.
    const double k = phys::two_pi / kLineLam, za = 50, zb = 300;
    const cplx zs(200, -100);
    const cplx gla = cplx(5.0 / 100 / phys::db_per_neper, k) * (0.3 * kLineLam);
    Mesh mesh = straight(4);
    for (double lb : {0.5, 1.0, 0.25, 0.61})
        for (cplx zl : kLoads) {
            Model m;
            Source s;
            s.unk = 0;
            s.v = 1.0;
            m.srcs = {s};
            TLine a = line(0, 1, za, 0.3 * kLineLam);
            a.loss = 5;
            TLine b = line(1, 2, zb, lb * kLineLam);
            b.rev = 1;
            m.tls = {a, b};
            LineNet net;
            std::vector<cplx> x = solve_circuit(m, mesh, kLineF, {1.0, zs, zl}, net);
            ASSERT_EQ(net.nextra,
                      2 + 2 + 2); // the voltages of unknowns 1 and 2, two currents a line
            const cplx z = 1.0 / line_port_current(net, 0, x.data());
            const cplx zb_in = transformed(zb, cplx(0, k * lb * kLineLam), zl);
            const cplx expect = transformed(za, gla, parallel(zs, zb_in));
            EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-9)
                << "B of " << lb << " lambda: " << z << " vs " << expect << " for " << zl;
        }
}

TEST(LineNet, ShortCircuitAdmittances) {
    // Y11 = coth(g len)/z0 and Y21 = -1/(z0 sinh(g len)) (+ when reversed),
    // g = loss/100/8.686 + j k/vf: with end 2 shorted by a zero impedance
    // (an undriven end: the line's currents are unknowns of the system), and
    // with both ends driven, 1 V and 0 V (no unknown is added: the currents
    // are the line's own). A lossless quarter-wave line has Y11 = 0 and
    // Y21 = j/z0; the lossy one (vf 0.66) takes its length, 0.2 m, from its
    // end nodes 0.1 m and 0.3 m up the wire.
    const double f = 30e6, k = phys::two_pi * f / phys::c0;
    Mesh mesh = straight(4);
    struct Case {
        const char* what;
        TLine t;
        cplx gl;
    };
    TLine quarter = line(0, 2, 50, phys::c0 / f / 4);
    TLine lossy = line(0, 2, 75, 0.0);
    lossy.vf = 0.66;
    lossy.loss = 3.0;
    const Case cases[] = {
        {"quarter wave", quarter, cplx(0, phys::pi / 2)},
        {"lossy, vf 0.66", lossy, cplx(3.0 / 100 / phys::db_per_neper, k / 0.66) * 0.2},
    };
    for (const Case& c : cases) {
        for (int rev : {0, 1}) {
            TLine t = c.t;
            t.rev = rev;
            const cplx y11 = std::cosh(c.gl) / std::sinh(c.gl) / t.z0;
            const cplx y21 = (rev ? 1.0 : -1.0) / (t.z0 * std::sinh(c.gl));
            for (int driven2 : {0, 1}) {
                Model m;
                Source s;
                s.unk = 0;
                s.v = 1.0;
                m.srcs = {s};
                if (driven2) {
                    s.unk = 2;
                    s.v = 0.0;
                    m.srcs.push_back(s);
                }
                m.tls = {t};
                LineNet net;
                // A driven unknown's own impedance only adds to its source's
                // current, so it can be anything but zero.
                const cplx z2 = driven2 ? 1.0 : 0.0;
                std::vector<cplx> x = solve_circuit(m, mesh, f, {1.0, 1.0, z2}, net);
                EXPECT_EQ(net.nextra, driven2 ? 0 : 3);
                const cplx i1 = line_port_current(net, 0, x.data());
                const cplx i2 = line_port_current(net, 1, x.data());
                EXPECT_NEAR(std::abs(i1 - y11), 0.0, 1e-12 * std::abs(y21))
                    << c.what << " rev " << rev << " driven " << driven2;
                EXPECT_NEAR(std::abs(i2 - y21), 0.0, 1e-12 * std::abs(y21))
                    << c.what << " rev " << rev << " driven " << driven2;
            }
        }
    }
}

TEST(LineNet, NetworksShuntsSharedPortsAndDrivenPorts) {
    const double f = 30e6;
    Mesh mesh = straight(6); // unknowns 0..4
    Model m;
    Source s;
    s.unk = 3;
    s.v = 2.0;
    Source s2 = s;
    s2.v = cplx(0, 1);
    m.srcs = {s, s2};
    TLine net1 = line(3, 1, 0, 0); // a two-port network between unknowns 3 and 1
    net1.y11 = cplx(1, 2);
    net1.y12 = cplx(3, 4);
    net1.y22 = cplx(5, 6);
    TLine shunted = line(1, 4, 50, 1.3); // shares unknown 1; shunts at both ends
    shunted.y1 = cplx(0.01, 0);
    shunted.y2 = cplx(0, -0.02);
    m.tls = {net1, shunted};
    LineNet net;
    std::string err;
    ASSERT_EQ(line_net(m, mesh, f, net, err), 0) << err;
    EXPECT_EQ(net.port, (std::vector<int>{3, 1, 4}));
    EXPECT_EQ(net.driven, (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(net.v[0], cplx(2, 1)); // both sources sit on unknown 3
    // The undriven ports' voltages, then the line's two end currents.
    EXPECT_EQ(net.sys, (std::vector<int>{-1, 5, 6}));
    EXPECT_EQ(net.nextra, 4);
    ASSERT_EQ(net.line.size(), 1u);
    EXPECT_EQ(net.line[0].cur, 7);
    EXPECT_EQ(net.line[0].p1, 1);
    EXPECT_EQ(net.line[0].p2, 2);
    // The current-law rows of ports with a line are scaled by its z0.
    EXPECT_EQ(net.zrow, (std::vector<double>{1, 50, 50}));
    // Y holds the network and the shunts; the line is not in it.
    auto Y = [&net](int r, int c) { return net.Y[r * 3 + c]; };
    EXPECT_EQ(Y(0, 0), cplx(1, 2));
    EXPECT_EQ(Y(0, 1), cplx(3, 4));
    EXPECT_EQ(Y(1, 0), cplx(3, 4));
    EXPECT_EQ(Y(1, 1), cplx(5, 6) + cplx(0.01, 0));
    EXPECT_EQ(Y(2, 2), cplx(0, -0.02));
    EXPECT_EQ(Y(1, 2), cplx(0.0));
    EXPECT_EQ(Y(0, 2), cplx(0.0));
}

TEST(LineNet, NetworkAndShuntsAgainstTheirCircuit) {
    // The two-port between the driven unknown 0 and unknown 2, closed there
    // by zl, has Y_in = y11 - y12^2/(y22 + 1/zl); a shunt y1 across its
    // input adds to that.
    const cplx y11(0.01, 0.02), y12(-0.005, 0.01), y22(0.02, -0.01), y1(0.001, 0.003);
    for (cplx zl : kLoads) {
        TLine nt = line(0, 0, 0, 0);
        nt.y11 = y11;
        nt.y12 = y12;
        nt.y22 = y22;
        nt.y1 = y1;
        const cplx expect = 1.0 / (y11 + y1 - y12 * y12 / (y22 + 1.0 / zl));
        const cplx z = line_zin(nt, zl, kLineF);
        EXPECT_LT(std::abs(z - expect) / std::abs(expect), 1e-12) << z << " vs " << expect;
    }
}

TEST(LineNet, LinesWithoutAFiniteAdmittanceAreRejected) {
    const double f = 30e6;
    // Two unknowns at one node: the junction of three wires.
    Mesh mesh = hand_mesh({HandWire{{0, 0, 0}, {0, 0, 1}, 2, 0.001},
                           HandWire{{0, 0, 1}, {1, 0, 1}, 2, 0.001},
                           HandWire{{0, 0, 1}, {0, 1, 1}, 2, 0.001}});
    int a = -1, b = -1;
    for (int u = 0; u < mesh.nunk(); ++u) {
        const double* p = mesh.node[mesh.unk[u].node].pos;
        if (p[0] == 0 && p[1] == 0 && p[2] == 1) (a < 0 ? a : b) = u;
    }
    ASSERT_GE(b, 0);
    struct Case {
        TLine t;
        const char* message;
    };
    const Case cases[] = {
        {line(a, b, 50, 0), "transmission line 1 has zero length"},
        {line(a, a, 50, 2.0), "transmission line 1 has both ends on the same point"},
        {line(a, 0, 0, 2.0),
         "transmission line 1 has no positive characteristic impedance (z0 = 0)"},
        {line(-1, 0, 50, 2.0), "transmission line 1 is not connected to the structure"},
    };
    for (const Case& c : cases) {
        Model m;
        m.tls = {c.t};
        LineNet net;
        std::string err;
        EXPECT_EQ(line_net(m, mesh, f, net, err), -1);
        EXPECT_EQ(err, c.message);
    }
}

} // namespace
