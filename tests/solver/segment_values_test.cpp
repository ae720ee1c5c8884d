// Segment currents and centre potentials (for results.json) against closed
// forms of electrostatics at a frequency low enough to be static.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/segment_values.h"

namespace {

using cd = std::complex<double>;

// Two parallel wires along z, 10 m long, d apart in x; the first carries a
// uniform line charge.
struct TwoWires {
    Model m;
    Mesh mesh;
    TwoWires(double d, int ground) {
        for (double x : {0.0, d}) {
            Wire& w = add_wire(m);
            w.x1 = w.x2 = x;
            w.z1 = ground ? 5.0 : -5.0;
            w.z2 = w.z1 + 10.0;
            w.radius = 0.001;
            w.nseg = 40;
            w.tag = m.nwire();
            w.sigma = 0;
        }
        Source& s = add_src(m);
        s.wire = 0;
        s.pos = 0.5;
        s.v = 1;
        m.ground = ground;
        m.f0 = m.fmax = 1e3; // kL ~ 2e-4: static
        std::string err;
        EXPECT_EQ(mesh_build(m, mesh, m.f0, err), 0) << err;
    }
    // Current changes along wire 0 that give the line charge lambda (C/m):
    // q = j dI / (w len)  =>  dI = -j w lambda len.
    std::vector<cd> charge(double lambda) const {
        std::vector<cd> d(static_cast<size_t>(mesh.nseg()), 0.0);
        const double w = phys::two_pi * m.f0;
        for (int s = 0; s < mesh.nseg(); ++s)
            if (mesh.seg[static_cast<size_t>(s)].wire == 0)
                d[static_cast<size_t>(s)] =
                    cd(0, -w * lambda * mesh.seg[static_cast<size_t>(s)].len);
        return d;
    }
    // The segment of wire 1 whose centre is nearest to height z.
    int seg_at(double z) const {
        int best = -1;
        double bd = 1e30;
        for (int s = 0; s < mesh.nseg(); ++s) {
            const Segment& g = mesh.seg[static_cast<size_t>(s)];
            if (g.wire == 1 && std::fabs(g.c[2] - z) < bd) {
                bd = std::fabs(g.c[2] - z);
                best = s;
            }
        }
        return best;
    }
};

TEST(SegPotential, LineChargeSeenFromAParallelWire) {
    // A uniform line charge lambda on a segment of length L gives, at
    // distance d from its middle, V = lambda/(4 pi eps0) * 2 asinh(L/(2d)).
    const double lambda = 1e-9, d = 1.0;
    TwoWires t(d, GROUND_FREE);
    std::vector<cd> v = seg_potentials(t.m, t.mesh, t.m.f0, t.charge(lambda));
    int s = t.seg_at(0.0);
    ASSERT_GE(s, 0);
    double zc = t.mesh.seg[static_cast<size_t>(s)].c[2];
    double ref =
        lambda / phys::four_pi_eps0 * (std::asinh((5 - zc) / d) + std::asinh((5 + zc) / d));
    EXPECT_NEAR(v[static_cast<size_t>(s)].real(), ref, 1e-3 * ref);
    EXPECT_NEAR(v[static_cast<size_t>(s)].imag(), 0, 1e-3 * ref);
}

TEST(SegPotential, PerfectGroundAddsTheNegativeImage) {
    // The same charge 5 m to 15 m above a perfect ground: its image (-lambda,
    // -5 m to -15 m) lowers the potential at the neighbour's middle.
    const double lambda = 1e-9, d = 1.0;
    TwoWires t(d, GROUND_PERFECT);
    std::vector<cd> v = seg_potentials(t.m, t.mesh, t.m.f0, t.charge(lambda));
    int s = t.seg_at(10.0);
    double zc = t.mesh.seg[static_cast<size_t>(s)].c[2];
    auto line = [&](double z1, double z2) { // potential of a z-directed line charge at (d, zc)
        return std::asinh((z2 - zc) / d) - std::asinh((z1 - zc) / d);
    };
    double ref = lambda / phys::four_pi_eps0 * (line(5, 15) - line(-15, -5));
    EXPECT_NEAR(v[static_cast<size_t>(s)].real(), ref, 1e-3 * std::fabs(ref));
}

TEST(SegPotential, CurrentsFromTheUnknownsAreLinearAlongEachSegment) {
    TwoWires t(1.0, GROUND_FREE);
    std::vector<cd> cur(static_cast<size_t>(t.mesh.nunk()));
    for (size_t u = 0; u < cur.size(); ++u) cur[u] = cd(1.0 + 0.1 * static_cast<double>(u), 0.5);
    std::vector<cd> ia, d;
    seg_currents(t.mesh, cur, ia, d);
    // Along a wire, the current at a segment's end equals the current at
    // the next segment's start (both are the node's unknown), and the free
    // ends carry no current.
    for (int s = 0; s + 1 < t.mesh.nseg(); ++s) {
        const Segment& a = t.mesh.seg[static_cast<size_t>(s)];
        const Segment& b = t.mesh.seg[static_cast<size_t>(s + 1)];
        if (a.wire != b.wire || a.node_b != b.node_a) continue;
        EXPECT_NEAR(std::abs(ia[static_cast<size_t>(s)] + d[static_cast<size_t>(s)] -
                             ia[static_cast<size_t>(s + 1)]),
                    0, 1e-12);
    }
    EXPECT_EQ(ia[0], cd(0));
}

TEST(SegPotential, NoPotentialsBeyondEightThousandSegments) {
    Model m;
    Mesh mesh;
    mesh.seg.resize(8001);
    std::vector<cd> d(8001, cd(1, 0));
    std::vector<cd> v = seg_potentials(m, mesh, 1e6, d);
    ASSERT_EQ(v.size(), 8001u);
    for (const cd& x : v) EXPECT_EQ(x, cd(0));
}

} // namespace
