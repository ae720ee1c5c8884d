// Paths (sampled curves) cut into straight one-segment wires, and the ports
// on them moved onto the piece boundaries: the plain rules, free ends left
// ungraded (ends off; end_grading_test.cpp covers graded path ends).
#include <gtest/gtest.h>

#include <cmath>

#include "mesh/mesh_internal.h"
#include "mesh_fixtures.h"

namespace {

constexpr double kC = 299792458.0;

Path& straight_path(Model& m, double len, double r, const char* name = "") {
    Path& p = add_path(m, name, r, -1);
    path_pt(p, {0, 0, 1});
    path_pt(p, {len, 0, 1});
    return p;
}

Source& add_path_src(Model& m, int path, double pos) {
    Source& s = add_src(m);
    s.path = path;
    s.pos = pos;
    s.v = 1.0;
    return s;
}

// Expands the model's paths into a copy, as mesh_build does.
Model expanded(const Model& m) {
    Model work = m;
    work.paths.clear();
    std::string err;
    EXPECT_EQ(expand_paths(m, work, err), 0) << err;
    return work;
}

// A path of 12 radii whose wavelength rule asks for 6 pieces: 6 and 5
// pieces would be shorter than 2.5 radii, so it gets 4 of 3 radii each.
TEST(PathExpansion, TwelveRadiiGiveFourPieces) {
    const double r = 0.001, L = 12 * r;
    Model m = plain_model(kC / (30 * L / 5.5)); // lambda / segwl = L / 5.5
    straight_path(m, L, r);
    add_path_src(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.n_expanded_wires(), 4);
    ASSERT_EQ(mesh.nseg(), 4);
    for (int i = 0; i < 4; ++i) {
        const Wire& w = mesh.expanded_wires[static_cast<size_t>(i)];
        EXPECT_NEAR(w.x2 - w.x1, 3 * r, 1e-15);
        EXPECT_EQ(w.nseg, 1);
        EXPECT_EQ(w.tag, i + 1);
        EXPECT_EQ(w.name, "curve1#" + std::to_string(i + 1));
        EXPECT_EQ(mesh.seg[static_cast<size_t>(i)].wire, i);
    }
    EXPECT_EQ(mesh.nunk(), 3);
    // The source is bound in the model's own record, which keeps its path.
    EXPECT_EQ(m.srcs[0].path, 0);
    EXPECT_EQ(m.srcs[0].wire, -1);
    ASSERT_GE(m.srcs[0].unk, 0);
    const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
    EXPECT_NEAR(mesh.node[static_cast<size_t>(u.node)].pos[0], 6 * r, 1e-15);
    EXPECT_TRUE(m.paths.size() == 1); // the model itself is not expanded
}

// Piece counts: at least 5 on a path long against its radius; the bend
// rule (12 degrees per piece unless `angle` is set) for a curved path.
struct CountCase {
    const char* name;
    double angle; // Model angle, degrees
    bool bent;    // an L of two 1 m legs, else a straight 2 m path
    int pieces;
};

class PathPieces : public ::testing::TestWithParam<CountCase> {};

TEST_P(PathPieces, Count) {
    const CountCase& c = GetParam();
    Model m = plain_model(1e6); // lambda 300 m: the length rule asks for 1
    m.angle = c.angle;
    Path& p = add_path(m, "", 0.001, -1);
    path_pt(p, {0, 0, 1});
    if (c.bent) path_pt(p, {1, 0, 1});
    path_pt(p, {c.bent ? 1.0 : 2.0, c.bent ? 1.0 : 0.0, 1});
    Model work = expanded(m);
    EXPECT_EQ(work.nwire(), c.pieces) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rules, PathPieces,
                         ::testing::Values(CountCase{"straight", 0, false, 5},
                                           CountCase{"right_angle_12deg", 0, true, 8},
                                           CountCase{"right_angle_10deg", 10, true, 9},
                                           CountCase{"right_angle_45deg", 45, true, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

// With 8 pieces of 0.25 m the corner of the L is a piece boundary.
TEST(PathExpansion, PiecesFollowTheCurve) {
    Model m = plain_model(1e6);
    Path& p = add_path(m, "ell", 0.002, 3.5e7);
    p.ins_t = 0.001;
    p.ins_eps = 2.3;
    path_pt(p, {0, 0, 1});
    path_pt(p, {1, 0, 1});
    path_pt(p, {1, 1, 1});
    Model work = expanded(m);
    ASSERT_EQ(work.nwire(), 8);
    EXPECT_NEAR(work.wires[3].x2, 1.0, 1e-15);
    EXPECT_NEAR(work.wires[3].y2, 0.0, 1e-15);
    EXPECT_NEAR(work.wires[4].y2, 0.25, 1e-15);
    EXPECT_EQ(work.wires[0].name, "ell#1");
    EXPECT_DOUBLE_EQ(work.wires[0].sigma, 3.5e7);
    EXPECT_DOUBLE_EQ(work.wires[0].radius, 0.002);
    EXPECT_DOUBLE_EQ(work.wires[0].ins_t, 0.001);
    EXPECT_DOUBLE_EQ(work.wires[0].ins_eps, 2.3);
}

// Ports on a path: at its start to the start of the first piece, at its end
// to the end of the last, in between to the piece starting at their own
// position; a uniform point closer than 0.35 of a piece to a port gives way
// to it.
TEST(PathExpansion, PortsMoveToPieceBoundaries) {
    Model m = plain_model(1e6);
    m.mat_sigma = 5.8e7;
    add_w(m, -1, 0, 1, 0, 0, 1);         // an own wire comes first in the list
    straight_path(m, 2.0, 0.001, "rod"); // 5 uniform pieces of 0.4 m
    add_path_src(m, 0, 0.0);
    add_path_src(m, 0, 1.0);
    add_path_src(m, 0, 0.3); // between the uniform points at 0.2 and 0.4 of L
    Load& l = add_load(m);
    l.path = 0;
    l.pos = 0.62; // 0.04 m from the uniform point at 1.2 m: replaces it
    TLine& t = add_tl(m);
    t.wire1 = 0;
    t.pos1 = 0.5;
    t.path2 = 0;
    t.pos2 = 0.9;
    Model work = expanded(m);
    // Boundaries (m): 0 0.4 0.6 0.8 1.24 1.6 2.0, plus the line end at 1.8.
    const double ends[] = {0.4, 0.6, 0.8, 1.24, 1.6, 1.8, 2.0};
    ASSERT_EQ(work.nwire(), 1 + 7);
    for (int i = 0; i < 7; ++i) {
        const Wire& w = work.wires[static_cast<size_t>(1 + i)];
        EXPECT_NEAR(w.x2, ends[i], 1e-12) << i;
        EXPECT_EQ(w.tag, 2 + i);
        EXPECT_EQ(w.nseg, 1);
        EXPECT_DOUBLE_EQ(w.sigma, 5.8e7); // not given: the model's material
    }
    EXPECT_EQ(work.srcs[0].wire, 1);
    EXPECT_EQ(work.srcs[0].pos, 0.0);
    EXPECT_EQ(work.srcs[1].wire, 7);
    EXPECT_EQ(work.srcs[1].pos, 1.0);
    EXPECT_EQ(work.srcs[2].wire, 3); // the piece 0.6 .. 0.8
    EXPECT_EQ(work.srcs[2].pos, 0.0);
    EXPECT_EQ(work.loads[0].wire, 5); // the piece 1.24 .. 1.6
    EXPECT_EQ(work.tls[0].wire1, 0);  // on an own wire: unchanged
    EXPECT_EQ(work.tls[0].wire2, 7);  // the piece 1.8 .. 2.0
    for (const Source& s : work.srcs) EXPECT_EQ(s.path, -1);
    EXPECT_EQ(work.loads[0].path, -1);
    EXPECT_EQ(work.tls[0].path2, -1);
}

// A wire feeding a path end to end: both are meshed together and wire
// numbers in messages count the expanded list, own wires first.
TEST(PathExpansion, WireAndPathJoinAndBind) {
    Model m = plain_model(15e6);
    add_w(m, -2, 0, 1, 0, 0, 1);
    straight_path(m, 3.0, 0.001);
    add_s(m, 0, 1.0); // at the joint of the wire and the path
    Load& l = add_load(m);
    l.path = 0;
    l.pos = 0.5;
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.n_expanded_wires(), 1 + 6); // 5 uniform pieces, one cut at the load
    ASSERT_GE(m.srcs[0].unk, 0);
    ASSERT_GE(m.loads[0].unk, 0);
    const Unknown& ul = mesh.unk[static_cast<size_t>(m.loads[0].unk)];
    EXPECT_NEAR(mesh.node[static_cast<size_t>(ul.node)].pos[0], 1.5, 1e-12);
    const Unknown& us = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
    EXPECT_NEAR(mesh.node[static_cast<size_t>(us.node)].pos[0], 0.0, 1e-12);
}

TEST(PathExpansion, BadCurvesAreReported) {
    {
        Model m = plain_model(15e6);
        Path& p = straight_path(m, 1.0, 0.001, "nanpath");
        p.pts[1].y = std::nan("");
        add_path_src(m, 0, 0.5);
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), "curve nanpath has a point that is not a finite number");
    }
    {
        Model m = plain_model(15e6);
        Path& p = add_path(m, "", 0.001, -1);
        path_pt(p, {1, 1, 1});
        path_pt(p, {1, 1, 1});
        add_path_src(m, 0, 0.5);
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), "curve curve1 has zero length");
    }
    {
        // A single-point curve is not turned into wires; a port on it has
        // no place.
        Model m = plain_model(15e6);
        add_w(m, 0, 0, 1, 1, 0, 1);
        Path& p = add_path(m, "", 0.001, -1);
        path_pt(p, {1, 1, 1});
        add_path_src(m, 0, 0.5);
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), "source 1 is on curve 1, which has fewer than two points");
    }
    {
        Model m = plain_model(15e6);
        straight_path(m, 1.0, 0.001);
        add_path_src(m, 0, 1.5);
        Mesh mesh;
        EXPECT_EQ(build(m, mesh),
                  "source 1 at 150 % of curve curve1 lies outside the curve (0 to 100 %)");
    }
    {
        Model m = plain_model(15e6);
        straight_path(m, 1.0, 0.0, "bare");
        add_path_src(m, 0, 0.5);
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), "curve bare has radius 0 m (must be a positive number)");
    }
    {
        // A curve as long as the solar system at 15 MHz.
        Model m = plain_model(15e6);
        straight_path(m, 1e13, 0.001);
        add_path_src(m, 0, 0.5);
        Mesh mesh;
        EXPECT_EQ(build(m, mesh), "curve curve1: too many segments (a mesh holds at most 100000)");
    }
}

} // namespace
