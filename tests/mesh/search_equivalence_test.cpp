// The spatial grids that speed up node finding, the end-contact test and the
// crossing test must give exactly the mesh of the plain scans: the same
// segments, nodes in the same order with the same ends, the same unknowns,
// the same warnings in the same order. Tricky models on purpose: ends that
// coincide, touch middles or fall just inside or outside the tolerances,
// many crossings, lengths over several decades, long wires among short ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "mesh/mesh_internal.h"
#include "mesh_fixtures.h"

namespace {

// A small deterministic generator (64-bit LCG), the same on every platform.
struct Lcg {
    uint64_t s;
    double next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0);
    }
    int below(int n) { return static_cast<int>(next() * n); }
};

void expect_same(const Model& ma, const Mesh& a, const Model& mb, const Mesh& b) {
    ASSERT_EQ(a.nseg(), b.nseg());
    for (int i = 0; i < a.nseg(); ++i)
        ASSERT_EQ(std::memcmp(&a.seg[static_cast<size_t>(i)], &b.seg[static_cast<size_t>(i)],
                              sizeof(Segment)),
                  0)
            << "segment " << i;
    ASSERT_EQ(a.nnode(), b.nnode());
    for (int i = 0; i < a.nnode(); ++i) {
        const Node& x = a.node[static_cast<size_t>(i)];
        const Node& y = b.node[static_cast<size_t>(i)];
        ASSERT_EQ(std::memcmp(x.pos, y.pos, sizeof x.pos), 0) << "node " << i;
        ASSERT_EQ(x.segs, y.segs) << "node " << i;
        ASSERT_EQ(x.ends, y.ends) << "node " << i;
        ASSERT_EQ(x.grounded, y.grounded) << "node " << i;
    }
    ASSERT_EQ(a.nunk(), b.nunk());
    for (int i = 0; i < a.nunk(); ++i) {
        const Unknown& x = a.unk[static_cast<size_t>(i)];
        const Unknown& y = b.unk[static_cast<size_t>(i)];
        ASSERT_EQ(x.nref, y.nref);
        ASSERT_EQ(x.node, y.node);
        ASSERT_EQ(x.grounded, y.grounded);
        for (int k = 0; k < x.nref; ++k) {
            ASSERT_EQ(x.ref[k].seg, y.ref[k].seg);
            ASSERT_EQ(x.ref[k].end, y.ref[k].end);
            ASSERT_EQ(x.ref[k].sign, y.ref[k].sign);
        }
    }
    ASSERT_EQ(a.seg_nref, b.seg_nref);
    EXPECT_EQ(a.warnings, b.warnings);
    EXPECT_EQ(a.minlen, b.minlen);
    EXPECT_EQ(a.maxlen, b.maxlen);
    EXPECT_EQ(a.minlr, b.minlr);
    EXPECT_EQ(a.maxratio, b.maxratio);
    for (size_t i = 0; i < ma.srcs.size(); ++i) EXPECT_EQ(ma.srcs[i].unk, mb.srcs[i].unk);
}

// Builds the model both ways; returns the number of warnings for the
// caller's sanity checks.
int compare_builds(const Model& m) {
    Model ma = m, mb = m;
    Mesh a, b;
    std::string ea, eb;
    int ra = mesh_build_core_with(ma, a, ea, false);
    int rb = mesh_build_core_with(mb, b, eb, true);
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(ea, eb);
    EXPECT_EQ(ra, 0) << ea;
    expect_same(ma, a, mb, b);
    return a.nwarn();
}

// Wires between points of a coarse lattice (so ends meet ends and middles),
// with some ends nudged by amounts around the node and contact tolerances,
// radii over two decades, and a few long wires across everything.
Model soup(uint64_t seed, int nwire, int ground) {
    Lcg g{seed};
    Model m = native_model(30e6);
    m.ground = ground;
    auto lattice = [&]() { return 0.25 * g.below(13); };
    for (int i = 0; i < nwire; ++i) {
        double p[6];
        for (int k = 0; k < 6; ++k) p[k] = lattice();
        if (ground != GROUND_FREE) {
            p[2] = std::max(p[2], 0.0);
            p[5] = std::max(p[5], 0.0);
        }
        if (p[0] == p[3] && p[1] == p[4] && p[2] == p[5]) p[5] += 0.5;
        // Nudges: 1e-7 (inside every tolerance), 3e-4 and 5e-4 (around the
        // node tolerance of short segments), 1.1e-3 to 4e-3 (around the
        // contact tolerance, radius / 2 + 1 mm here).
        const double nudges[] = {0, 0, 1e-7, 3e-4, 5e-4, 1.1e-3, 1.4e-3, 2e-3, 3e-3, 4e-3};
        p[3] += nudges[g.below(10)];
        p[4] -= nudges[g.below(10)];
        if (g.below(3) == 0) p[0] += nudges[g.below(10)];
        double r = 0.0005 * (1 + 20 * g.next() * g.next());
        int nseg = g.below(4) == 0 ? 1 + g.below(3) : 0;
        add_w(m, p[0], p[1], p[2], p[3], p[4], p[5], r, nseg);
    }
    for (int i = 0; i < 3; ++i) add_w(m, -5, 0.1 * i + 0.05, 1.3, 8, 3.1 - 0.1 * i, 1.6, 0.002);
    // Feeds in the middle of some wires always sit on a two-segment node.
    for (int i = 0; i < nwire; i += 7) add_s(m, i, 0.5);
    return m;
}

TEST(SearchEquivalence, WireSoupFreeSpace) {
    for (uint64_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        int nwarn = compare_builds(soup(seed, 160, GROUND_FREE));
        EXPECT_GT(nwarn, 10); // junction and crossing warnings are exercised
    }
}

TEST(SearchEquivalence, WireSoupOverGround) {
    compare_builds(soup(11, 120, GROUND_PERFECT));
    compare_builds(soup(12, 120, GROUND_REAL));
}

// Ends and wires at distances just inside and outside the contact and
// overlap tolerances, each along one axis, where a search box that is too
// small would miss them.
TEST(SearchEquivalence, NearMisses) {
    Model m = native_model(29979245.8); // lambda 10 m: contact distance r / 2 + 1 mm
    const double r = 0.001, d = r / 2 + 1e-3;
    const double f[] = {0.3, 0.6, 0.9, 0.99, 1.01, 1.5};
    for (int k = 0; k < 6; ++k) {
        double x = 3.0 * k;
        int bar = add_w(m, x, -1, 1, x, 1, 1, r);
        add_w(m, x + f[k] * d, 0, 0.2, x + f[k] * d, 0, 1, r); // end beside the bar's middle
        add_w(m, x + f[k] * d, 1, 1, x + 1.5, 1, 1, r);        // end beside the bar's end
        add_s(m, bar, 0.25);
    }
    const double g[] = {0.3, 0.6, 0.9, 1.1};
    for (int k = 0; k < 4; ++k) {
        int a = add_w(m, -1, 10 + k, 1, 1, 10 + k, 1, r);
        add_w(m, 0, 9.5 + k, 1 + g[k] * 2 * r, 0, 10.5 + k, 1 + g[k] * 2 * r, r);
        add_s(m, a, 0.25);
        add_s(m, a + 1, 0.25);
    }
    int nwarn = compare_builds(m);
    EXPECT_GE(nwarn, 6);
}

// A NEC deck: nodes from uniform division, many coincident ends.
TEST(SearchEquivalence, NecGrid) {
    Model m = nec_model(30e6);
    int tag = 0;
    for (int i = 0; i <= 12; ++i) {
        add_w(m, 0, 0.5 * i, 2, 6, 0.5 * i, 2, 0.001, 12, ++tag);
        add_w(m, 0.5 * i, 0, 2, 0.5 * i, 6, 2, 0.001, 12, ++tag);
    }
    add_nec_src(m, 1, 6);
    add_nec_src(m, 0, 100);
    compare_builds(m);
}

// Lengths over many decades: a 10 km wire whose segments' node tolerance
// (over a metre) swallows the ends of short wires near its end, before and
// after those ends made nodes of their own, and a millimetre structure.
TEST(SearchEquivalence, MixedScales) {
    Model m = soup(21, 60, GROUND_FREE);
    add_w(m, -5000, 1, 1, 5000, 1, 1, 0.01, 3);
    add_w(m, -5000, 2.1, 1.2, 1.5, 1.1, 1.3, 0.01, 3);  // ends among the soup's nodes
    add_w(m, 5000, 1, 5, 20.5, 1, 5, 0.01, 3);          // ends away from them ...
    add_w(m, 20.9, 1.3, 5.1, 22.5, 1.1, 5.3, 0.001, 0); // ... but near these ends
    add_w(m, 21.6, 1.3, 5.3, 21.6, 1.3, 6.5, 0.001, 0);
    add_s(m, m.nwire() - 1, 0.5);
    add_w(m, 1e-3, 1e-3, 1e-3, 2e-3, 1e-3, 1e-3, 1e-5, 0);
    add_w(m, 2e-3, 1e-3, 1e-3, 2e-3, 2e-3, 1e-3, 1e-5, 0);
    add_s(m, m.nwire() - 1, 0.5);
    compare_builds(m);
}

// A thick conductor cut into pieces much shorter than its radius (as a
// fine curve gives), with thin wires beside it just inside and outside the
// sum of the radii: the searches must reach a radius beyond each piece.
TEST(SearchEquivalence, ThickWireInShortPieces) {
    // The thin wires come first, so that each pair is looked up from the
    // thin wire's side.
    Model m = native_model(30e6);
    const double R = 0.05, r = 0.001;
    const double f[] = {0.9, 0.99, 1.01, 1.2};
    for (int k = 0; k < 4; ++k) {
        double y = f[k] * (R + r) + 0.004;
        add_w(m, 0.5 + 0.6 * k, y, 1, 0.6 + 0.6 * k, y, 1, r);
        add_w(m, 0.5 + 0.6 * k, 0, 1 + f[k] * (R + r), 0.5 + 0.6 * k, 0, 1.1, r);
    }
    for (int i = 0; i < 300; ++i) {
        double x0 = 0.01 * i, x1 = 0.01 * (i + 1);
        add_w(m, x0, 0.004 * (i % 2), 1, x1, 0.004 * ((i + 1) % 2), 1, R, 1);
    }
    // Many small wires elsewhere keep the grid's cells far smaller than the
    // thick radius.
    for (int i = 0; i < 700; ++i)
        add_w(m, 10 + 0.01 * (i % 30), 0.01 * (i / 30), 1, 10.001 + 0.01 * (i % 30),
              0.01 * (i / 30), 1, 1e-4, 1);
    add_s(m, 158, 0.5);
    int nwarn = compare_builds(m);
    EXPECT_GE(nwarn, 3);
}

} // namespace
