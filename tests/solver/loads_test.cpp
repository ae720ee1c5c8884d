// Loads, wire losses, insulation and the port network of the lines.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/constants.h"
#include "hand_mesh.h"
#include "solver/loads.h"

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

TEST(LineNet, QuarterWaveLosslessLine) {
    // Y_s = 1/(z0 tanh(j pi/2)) = 0 and Y_m = -1/(z0 sinh(j pi/2)) = j/z0,
    // -j/z0 when the line is connected reversed.
    const double f = 100e6, lam = phys::c0 / f;
    Mesh mesh = straight(4);
    for (int rev : {0, 1}) {
        Model m;
        TLine t = line(0, 2, 50, lam / 4);
        t.rev = rev;
        m.tls = {t};
        LineNet net;
        std::string err;
        ASSERT_EQ(line_net(m, mesh, f, net, err), 0) << err;
        ASSERT_EQ(net.nport(), 2);
        EXPECT_NEAR(std::abs(net.Y[0]), 0.0, 1e-15);
        EXPECT_NEAR(std::abs(net.Y[3]), 0.0, 1e-15);
        const cplx ym = rev ? -J / 50.0 : J / 50.0;
        EXPECT_NEAR(std::abs(net.Y[1] - ym), 0.0, 1e-15);
        EXPECT_NEAR(std::abs(net.Y[2] - ym), 0.0, 1e-15);
    }
}

TEST(LineNet, LossVelocityFactorAndLengthFromTheNodes) {
    // A lossy line with velocity factor 0.66 whose length comes from its end
    // nodes (0.1 m and 0.3 m up the wire): Y_s = coth(gl)/z0 with
    // g = loss/100/8.686 + j k/vf.
    const double f = 30e6, k = phys::two_pi * f / phys::c0;
    Mesh mesh = straight(4);
    Model m;
    TLine t = line(0, 2, 75, 0.0);
    t.vf = 0.66;
    t.loss = 3.0;
    m.tls = {t};
    LineNet net;
    std::string err;
    ASSERT_EQ(line_net(m, mesh, f, net, err), 0) << err;
    const cplx gl = cplx(3.0 / 100 / 8.685889638, k / 0.66) * 0.2;
    EXPECT_NEAR(std::abs(net.Y[0] - std::cosh(gl) / std::sinh(gl) / 75.0), 0.0, 1e-12);
    EXPECT_NEAR(std::abs(net.Y[1] + 1.0 / (75.0 * std::sinh(gl))), 0.0, 1e-12);
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
    EXPECT_EQ(net.sys, (std::vector<int>{-1, 5, 6}));
    EXPECT_EQ(net.nextra, 2);
    LineNet alone;
    Model only = m;
    only.tls = {shunted};
    only.tls[0].y1 = only.tls[0].y2 = 0.0;
    ASSERT_EQ(line_net(only, mesh, f, alone, err), 0);
    const cplx ys = alone.Y[0], ym = alone.Y[1];
    auto Y = [&net](int r, int c) { return net.Y[r * 3 + c]; };
    EXPECT_EQ(Y(0, 0), cplx(1, 2));
    EXPECT_EQ(Y(0, 1), cplx(3, 4));
    EXPECT_EQ(Y(1, 0), cplx(3, 4));
    EXPECT_EQ(Y(1, 1), cplx(5, 6) + ys + cplx(0.01, 0));
    EXPECT_EQ(Y(2, 2), ys + cplx(0, -0.02));
    EXPECT_EQ(Y(1, 2), ym);
    EXPECT_EQ(Y(0, 2), cplx(0.0));
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
