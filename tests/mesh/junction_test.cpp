// Nodes, current unknowns, per-segment references and the binding of ports
// to unknowns.
#include <gtest/gtest.h>

#include <cmath>

#include "mesh/mesh_internal.h"
#include "mesh_fixtures.h"

namespace {

// Every reference of every unknown is listed once, in unknown order, under
// its segment; nothing else is listed.
void expect_refs_consistent(const Mesh& mesh) {
    ASSERT_EQ(static_cast<int>(mesh.seg_nref.size()), mesh.nseg());
    std::vector<int> seen(static_cast<size_t>(mesh.nseg()), 0);
    for (int u = 0; u < mesh.nunk(); ++u) {
        const Unknown& un = mesh.unk[static_cast<size_t>(u)];
        ASSERT_TRUE(un.nref == 1 || un.nref == 2);
        for (int slot = 0; slot < un.nref; ++slot) {
            int s = un.ref[slot].seg;
            const UnkSlot& e = mesh.refs(s)[seen[static_cast<size_t>(s)]++];
            EXPECT_EQ(e.unk, u);
            EXPECT_EQ(e.slot, slot);
            // The reference names the node's end of the segment.
            const Segment& sg = mesh.seg[static_cast<size_t>(s)];
            EXPECT_EQ(un.ref[slot].end == 0 ? sg.node_a : sg.node_b, un.node);
        }
    }
    for (int s = 0; s < mesh.nseg(); ++s)
        EXPECT_EQ(mesh.seg_nref[static_cast<size_t>(s)], seen[static_cast<size_t>(s)]);
}

// A feed in the middle of a straight wire: the unknown there carries the
// current from the segment before the feed into the segment after it.
TEST(Unknowns, CentreFeedTriangle) {
    Model m = native_model(15e6);
    add_w(m, 0, 0, -2, 0, 0, 2, 0.001, 4);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.nseg(), 4);
    ASSERT_EQ(mesh.nnode(), 5);
    ASSERT_EQ(mesh.nunk(), 3);
    const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
    EXPECT_EQ(u.nref, 2);
    EXPECT_EQ(u.ref[0].seg, 1);
    EXPECT_EQ(u.ref[0].end, 1);
    EXPECT_EQ(u.ref[0].sign, 1);
    EXPECT_EQ(u.ref[1].seg, 2);
    EXPECT_EQ(u.ref[1].end, 0);
    EXPECT_EQ(u.ref[1].sign, 1);
    EXPECT_EQ(u.grounded, 0);
    // The two free ends are nodes of one segment end each, without unknowns.
    EXPECT_EQ(mesh.node[0].n(), 1);
    EXPECT_EQ(mesh.node[4].n(), 1);
    expect_refs_consistent(mesh);
}

// Two wires whose directions oppose at their common node: the signs follow
// each segment's own direction.
TEST(Unknowns, SignsFollowSegmentDirections) {
    Model m = native_model(15e6);
    add_w(m, 0, 0, 1, 1, 0, 1, 0.001, 1); // ends at x = 1
    add_w(m, 2, 0, 1, 1, 0, 1, 0.001, 1); // also ends at x = 1
    add_s(m, 0, 1.0);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.nunk(), 1);
    const Unknown& u = mesh.unk[0];
    EXPECT_EQ(u.ref[0].seg, 0);
    EXPECT_EQ(u.ref[0].sign, 1); // the node is segment 0's end: current along dir
    EXPECT_EQ(u.ref[1].seg, 1);
    EXPECT_EQ(u.ref[1].end, 1);
    EXPECT_EQ(u.ref[1].sign, -1); // leaves the node against segment 1's dir
    EXPECT_EQ(m.srcs[0].unk, 0);
}

// Over a conducting ground a wire end on the plane gets a half triangle;
// a source at that end drives it. Its sign points up into the wire.
struct GroundCase {
    const char* name;
    int ground;
    bool wire_down; // the wire runs from the top down to the plane
};

class GroundedBase : public ::testing::TestWithParam<GroundCase> {};

TEST_P(GroundedBase, HalfTriangle) {
    const GroundCase& c = GetParam();
    Model m = native_model(15e6);
    m.ground = c.ground;
    if (c.wire_down)
        add_w(m, 0, 0, 5, 0, 0, 0, 0.001, 5);
    else
        add_w(m, 0, 0, 0, 0, 0, 5, 0.001, 5);
    add_s(m, 0, c.wire_down ? 1.0 : 0.0);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "") << c.name;
    EXPECT_EQ(mesh.nunk(), 5); // 4 triangles and the half triangle
    const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
    EXPECT_EQ(u.nref, 1);
    EXPECT_EQ(u.grounded, 1);
    EXPECT_TRUE(mesh.node[static_cast<size_t>(u.node)].grounded);
    EXPECT_EQ(u.ref[0].sign, c.wire_down ? -1 : 1);
    const Segment& s = mesh.seg[static_cast<size_t>(u.ref[0].seg)];
    EXPECT_EQ(s.dir[2] * u.ref[0].sign, 1.0); // up into the wire
    expect_refs_consistent(mesh);
}

INSTANTIATE_TEST_SUITE_P(Grounds, GroundedBase,
                         ::testing::Values(GroundCase{"perfect_up", GROUND_PERFECT, false},
                                           GroundCase{"perfect_down", GROUND_PERFECT, true},
                                           GroundCase{"real", GROUND_REAL, false},
                                           GroundCase{"mininec", GROUND_MININEC, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A board is not a ground plane for the wires: the same end is free.
TEST(Unknowns, BoardSurfaceIsNoGroundNode) {
    Model m = native_model(15e6);
    m.ground = GROUND_PCB;
    add_w(m, 0, 0, 0, 0, 0, 5, 0.001, 5);
    add_s(m, 0, 0.0);
    Mesh mesh;
    EXPECT_EQ(build(m, mesh), "source/load at a free wire end (no current there)");
}

// Two wires meeting at a grounded node give one half triangle each.
TEST(Unknowns, GroundedNodeWithTwoEnds) {
    Model m = native_model(15e6);
    m.ground = GROUND_PERFECT;
    add_w(m, 0, 0, 0, 0, 0, 2, 0.001, 2);
    add_w(m, 0, 0, 0, 1, 0, 2, 0.001, 2);
    add_s(m, 1, 0.0);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    const Node& base = mesh.node[0];
    EXPECT_EQ(base.n(), 2);
    EXPECT_TRUE(base.grounded);
    int half = 0;
    for (const Unknown& u : mesh.unk) half += u.grounded;
    EXPECT_EQ(half, 2);
    const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
    EXPECT_EQ(u.grounded, 1);
    EXPECT_EQ(mesh.seg[static_cast<size_t>(u.ref[0].seg)].wire, 1);
}

TEST(Unknowns, ErrorsOfTheStructure) {
    struct Case {
        const char* name;
        const char* message;
    };
    const Case cases[] = {
        {"single_segment_fed_at_end",
         "the structure has no current unknowns (single straight segments?)"},
        {"free_end_source", "source/load at a free wire end (no current there)"},
        {"free_end_load", "source/load at a free wire end (no current there)"},
        {"free_end_line", "source/load at a free wire end (no current there)"},
    };
    for (const Case& c : cases) {
        Model m = native_model(15e6);
        std::string n = c.name;
        if (n == "single_segment_fed_at_end") {
            add_w(m, 0, 0, 1, 1, 0, 1, 0.001, 1);
            add_s(m, 0, 1.0);
        } else {
            add_w(m, 0, 0, 1, 5, 0, 1);
            add_s(m, 0, n == "free_end_source" ? 0.0 : 0.5);
        }
        if (n == "free_end_load") {
            Load& l = add_load(m);
            l.wire = 0;
            l.pos = 1.0;
        }
        if (n == "free_end_line") {
            TLine& t = add_tl(m);
            t.wire1 = 0;
            t.pos1 = 0.25;
            t.wire2 = 0;
            t.pos2 = 0.0;
        }
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), c.message) << c.name;
        EXPECT_EQ(m.srcs[0].unk, -1) << c.name; // nothing bound after a failure
    }
}

// Three wires at one point. With the source on the second wire the node's
// reference stays the first wire's segment; with the source on the first,
// the second wire's segment takes the reference place; with ports on all
// three nothing changes.
TEST(Unknowns, ReferenceSegmentAtThreeWayJunction) {
    auto three = [](std::vector<std::pair<int, double>> feeds) {
        Model m = native_model(15e6);
        add_w(m, -1, 0, 1, 0, 0, 1, 0.001, 2); // ends at the hub
        add_w(m, 0, 0, 1, 1, 0, 1, 0.001, 2);  // starts at the hub
        add_w(m, 0, 0, 1, 0, 1, 1, 0.001, 2);  // starts at the hub
        for (auto [w, pos] : feeds) add_s(m, w, pos);
        return m;
    };
    {
        Model m = three({{1, 0.0}});
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        const Node& hub = mesh.node[static_cast<size_t>(mesh.seg[1].node_b)];
        ASSERT_EQ(hub.n(), 3);
        EXPECT_EQ(hub.segs[0], 1); // the first wire's last segment
        const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
        EXPECT_EQ(u.ref[0].seg, 1);
        EXPECT_EQ(u.ref[1].seg, 2); // the second wire's first segment
        expect_refs_consistent(mesh);
    }
    {
        Model m = three({{0, 1.0}});
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        const Node& hub = mesh.node[static_cast<size_t>(mesh.seg[1].node_b)];
        EXPECT_EQ(hub.segs[0], 2);
        EXPECT_EQ(hub.ends[0], 0);
        EXPECT_EQ(hub.segs[1], 1);
        EXPECT_EQ(hub.ends[1], 1);
        const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
        EXPECT_EQ(u.ref[0].seg, 2);
        EXPECT_EQ(u.ref[0].sign, -1); // into the hub against the second wire's dir
        EXPECT_EQ(u.ref[1].seg, 1);
        EXPECT_EQ(u.ref[1].sign, -1); // away from the hub against the first wire's dir
        expect_refs_consistent(mesh);
    }
    {
        // The source on the first wire and a load on the second: the third
        // wire's segment becomes the reference.
        Model m = three({{0, 1.0}});
        Load& l = add_load(m);
        l.wire = 1;
        l.pos = 0.0;
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        const Node& hub = mesh.node[static_cast<size_t>(mesh.seg[1].node_b)];
        EXPECT_EQ(hub.segs[0], 4);
        EXPECT_NE(m.srcs[0].unk, m.loads[0].unk);
    }
    {
        Model m = three({{0, 1.0}, {1, 0.0}, {2, 0.0}});
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        const Node& hub = mesh.node[static_cast<size_t>(mesh.seg[1].node_b)];
        EXPECT_EQ(hub.segs[0], 1);
        EXPECT_EQ(hub.segs[1], 2);
        EXPECT_EQ(hub.segs[2], 4);
        // Sources 2 and 3 drive the two triangles; source 1 (on the
        // reference segment) shares the first.
        EXPECT_EQ(m.srcs[1].unk, m.srcs[0].unk);
        EXPECT_NE(m.srcs[2].unk, m.srcs[1].unk);
    }
}

// n one-segment wires from one point to directions spread over a sphere:
// n - 1 unknowns at the hub all reference the hub's reference segment,
// which holds at most 72 references.
Model star(int n) {
    Model m = native_model(15e6);
    const double golden = M_PI * (3 - std::sqrt(5.0));
    for (int i = 0; i < n; ++i) {
        double z = 1 - 2 * (i + 0.5) / n, rho = std::sqrt(1 - z * z), ph = golden * i;
        add_w(m, 0, 0, 2, rho * std::cos(ph), rho * std::sin(ph), 2 + z, 0.001, 1);
    }
    add_s(m, 1, 0.0);
    return m;
}

TEST(Unknowns, SeventyThreeWiresAtOneJunction) {
    Model m = star(73);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.nunk(), 72);
    EXPECT_EQ(mesh.seg_nref[0], 72);
    for (int s = 1; s < 73; ++s) EXPECT_EQ(mesh.seg_nref[static_cast<size_t>(s)], 1);
    expect_refs_consistent(mesh);
    for (const std::string& w : mesh.warnings) ADD_FAILURE() << w;
}

TEST(Unknowns, SeventyFourWiresAtOneJunction) {
    Model m = star(74);
    Mesh mesh;
    EXPECT_EQ(build(m, mesh), "too many wires at one junction");
}

// A hub over a ground plane carries half triangles, one per wire, so any
// number of wires may meet there; only an ungrounded hub of more than 73
// wires is bound to fail, and only then may the crossing test be skipped.
TEST(Unknowns, OverfullJunctionIsKnownBeforeTheUnknowns) {
    for (int n : {73, 74}) {
        // Hub ends picometres apart: one node, but not one point.
        Model m = star(n);
        for (int i = 0; i < n; ++i) m.wires[static_cast<size_t>(i)].x1 = 1e-12 * i;
        Mesh mesh;
        std::string err;
        EXPECT_EQ(mesh_build_core_with(m, mesh, err, false), n == 74 ? -1 : 0);
        EXPECT_EQ(junction_overfull(mesh), n == 74) << n;
    }
    // Ends at exactly one point are counted before anything is meshed.
    Model exact = star(74);
    Mesh none;
    EXPECT_EQ(build(exact, none), "too many wires at one junction");
    EXPECT_EQ(none.nseg(), 0);
    Model m = native_model(15e6);
    m.ground = GROUND_PERFECT;
    for (int i = 0; i < 100; ++i) {
        double ph = 2 * M_PI * i / 100;
        add_w(m, 0, 0, 0, std::cos(ph), std::sin(ph), 1, 0.001, 1);
    }
    add_s(m, 0, 0.0);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_FALSE(junction_overfull(mesh));
    EXPECT_EQ(mesh.nunk(), 100);
}

// Transmission-line ends on two native wires bind to the unknowns at their
// positions; a source and a line end may share one unknown.
TEST(Unknowns, NativeLineEnds) {
    Model m = native_model(15e6);
    add_w(m, 0, -2, 5, 0, 2, 5);
    add_w(m, 3, -2, 5, 3, 2, 5);
    add_s(m, 0, 0.5);
    TLine& t = add_tl(m);
    t.wire1 = 0;
    t.pos1 = 0.5;
    t.wire2 = 1;
    t.pos2 = 0.25;
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(m.tls[0].unk1, m.srcs[0].unk);
    const Unknown& u = mesh.unk[static_cast<size_t>(m.tls[0].unk2)];
    const double* p = mesh.node[static_cast<size_t>(u.node)].pos;
    EXPECT_NEAR(p[0], 3, 1e-12);
    EXPECT_NEAR(p[1], -1, 1e-12);
    EXPECT_EQ(mesh.seg[static_cast<size_t>(u.ref[1].seg)].wire, 1);
}

} // namespace
