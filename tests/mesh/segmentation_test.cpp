// Native segmentation: graded and uniform division of stretches, explicit
// counts, automatic junctions and fine flags at joints. The worked examples
// are those of the plain segmentation, free ends left ungraded (ends off);
// end_grading_test.cpp covers the graded free ends.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mesh_fixtures.h"

namespace {

constexpr double kC = 299792458.0;

std::vector<double> lengths(const Mesh& mesh, int wire = -1) {
    std::vector<double> out;
    for (const Segment& s : mesh.seg)
        if (wire < 0 || s.wire == wire) out.push_back(s.len);
    return out;
}

// The 10 m wire of radius 1 mm fed at its centre, fmax 15 MHz, segwl 30,
// taper on: nine graded segments per half, coarse at the free ends and
// fine at the feed.
TEST(NativeSegmentation, TaperedCentreFedWire) {
    Model m = plain_model(15e6);
    add_w(m, 0, -5, 10, 0, 5, 10);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.nseg(), 18);
    const double half[9] = {0.6689, 0.6689, 0.6689, 0.6689, 0.6689, 0.5878, 0.4522, 0.3478, 0.2676};
    for (int i = 0; i < 9; ++i) {
        EXPECT_NEAR(mesh.seg[static_cast<size_t>(i)].len, half[i], 0.5e-4) << "segment " << i;
        EXPECT_NEAR(mesh.seg[static_cast<size_t>(17 - i)].len, half[i], 0.5e-4) << "mirror " << i;
    }
    // Contiguous along the wire, numbered 1..18, the feed exactly at y = 0.
    double sum = 0;
    for (int i = 0; i < 18; ++i) {
        const Segment& s = mesh.seg[static_cast<size_t>(i)];
        EXPECT_EQ(s.num, i + 1);
        EXPECT_EQ(s.wire, 0);
        EXPECT_EQ(s.tag, 1);
        EXPECT_DOUBLE_EQ(s.radius, 0.001);
        if (i > 0) {
            EXPECT_EQ(s.a[1], mesh.seg[static_cast<size_t>(i - 1)].b[1]);
        }
        EXPECT_NEAR(s.c[1], 0.5 * (s.a[1] + s.b[1]), 1e-15);
        EXPECT_NEAR(s.dir[1], 1.0, 1e-15);
        sum += s.len;
    }
    EXPECT_NEAR(sum, 10.0, 1e-12);
    EXPECT_EQ(mesh.seg[8].b[1], 0.0);
    EXPECT_EQ(mesh.seg[0].a[1], -5.0);
    EXPECT_EQ(mesh.seg[17].b[1], 5.0);
    EXPECT_EQ(mesh.nunk(), 17);
    EXPECT_NEAR(mesh.minlen, 0.2676, 0.5e-4);
    EXPECT_NEAR(mesh.maxlen, 0.6689, 0.5e-4);
    EXPECT_NEAR(mesh.minlr, 267.6, 0.05);
    EXPECT_NEAR(mesh.maxratio, 1.3, 1e-9); // the growth factor of the graded sizes
    EXPECT_EQ(mesh.nwarn(), 0);
}

// Half-wave dipole, no taper, segwl 20: two stretches of a quarter
// wavelength, each five equal segments of lambda/20.
TEST(NativeSegmentation, UntaperedHalfWaveDipole) {
    const double f = 100e6, lam = kC / f;
    Model m = plain_model(f);
    m.taper = 0;
    m.segwl = 20;
    add_w(m, 0, 0, -lam / 4, 0, 0, lam / 4);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.nseg(), 10);
    for (const Segment& s : mesh.seg) EXPECT_NEAR(s.len, lam / 20, 1e-12);
    EXPECT_EQ(mesh.nunk(), 9);
    // The feed binds to the unknown at the centre node.
    const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
    EXPECT_NEAR(mesh.node[static_cast<size_t>(u.node)].pos[2], 0.0, 1e-15);
}

// With an explicit count of 7 and a feed at the centre each half holds 3.5
// segment lengths and rounds up to 4, for every wire length, including
// those where the quotient comes out as 3.4999999999999996 in doubles.
class ExplicitSevenFedAtCentre : public ::testing::TestWithParam<double> {};

TEST_P(ExplicitSevenFedAtCentre, GivesEightSegments) {
    const double len = GetParam();
    for (int placement = 0; placement < 2; ++placement) {
        Model m = native_model(15e6);
        if (placement == 0)
            add_w(m, 0, 0, 1, len, 0, 1, 0.0005, 7);
        else
            add_w(m, -len / 2, 0, 1, len / 2, 0, 1, 0.0005, 7);
        add_s(m, 0, 0.5);
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "") << len;
        ASSERT_EQ(mesh.nseg(), 8) << "length " << len << " placement " << placement;
        for (const Segment& s : mesh.seg) EXPECT_NEAR(s.len, len / 8, 1e-12 * len);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ExplicitSevenFedAtCentre,
                         ::testing::Values(0.9, 1.0, 1.1, 2.2, 3.0, 4.4, 4.5, 7.2, 9.0, 10.0, 14.1,
                                           33.3));

TEST(NativeSegmentation, ExplicitCountWithoutPortsIsExact) {
    Model m = native_model(15e6);
    add_w(m, 0, 0, 1, 3, 0, 1, 0.001, 13);
    add_w(m, 3, 0, 1, 3, 2, 1, 0.001, 1);
    add_s(m, 1, 0.0);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(lengths(mesh, 0).size(), 13u);
    EXPECT_EQ(lengths(mesh, 1).size(), 1u);
}

// A T: the stem's end on the middle of the bar splits the bar there, makes
// both sides of the split fine and reports an automatic junction.
TEST(NativeSegmentation, TJunctionSplitsTheOtherWire) {
    Model m = plain_model(15e6);
    add_w(m, -5, 0, 10, 5, 0, 10);    // bar
    add_w(m, 1, 0, 10 - 4, 1, 0, 10); // stem ends on the bar at x = 1
    add_s(m, 1, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_GE(mesh.nwarn(), 1);
    EXPECT_EQ(mesh.warnings[0], "automatic junction: end of wire 2 joined to the middle of wire 1");
    // A bar segment ends exactly at x = 1, and the bar segments next to it
    // are the fine ones (shorter than every other bar segment).
    int at = -1;
    for (int i = 0; i < mesh.nseg(); ++i)
        if (mesh.seg[static_cast<size_t>(i)].wire == 0 &&
            mesh.seg[static_cast<size_t>(i)].b[0] == 1.0)
            at = i;
    ASSERT_GE(at, 0);
    const double l_left = mesh.seg[static_cast<size_t>(at)].len;
    const double l_right = mesh.seg[static_cast<size_t>(at + 1)].len;
    for (const Segment& s : mesh.seg) {
        if (s.wire != 0) continue;
        EXPECT_GE(s.len, std::min(l_left, l_right) - 1e-12);
    }
    EXPECT_LT(l_left, 0.35);
    EXPECT_LT(l_right, 0.35);
    // The stem's end at the bar is fine as well: its last segment is its
    // shortest.
    std::vector<double> stem = lengths(mesh, 1);
    EXPECT_LT(stem.back(), stem.front());
    // The junction node joins three segment ends.
    const Node& n = mesh.node[static_cast<size_t>(mesh.seg[static_cast<size_t>(at)].node_b)];
    EXPECT_EQ(n.n(), 3);
    // No crossing warning for a T.
    for (const std::string& w : mesh.warnings) EXPECT_EQ(w.find("cross"), std::string::npos) << w;
}

// Two wires meeting end to end: collinear with equal radii the joint is not
// refined; at 90 degrees, or with radii 1 and 2 mm, it is.
struct JointCase {
    const char* name;
    double x2, z2; // far end of the second wire (the first runs along x from 0 to 4)
    double r2;
    bool fine;
};

class EndToEndJoint : public ::testing::TestWithParam<JointCase> {};

TEST_P(EndToEndJoint, FineFlagAtJoint) {
    const JointCase& c = GetParam();
    Model m = plain_model(15e6);
    add_w(m, 0, 0, 10, 4, 0, 10, 0.001);
    add_w(m, 4, 0, 10, c.x2, 0, c.z2, c.r2);
    add_s(m, 0, 0.0);
    m.srcs[0].pos = 0.5;
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "") << c.name;
    std::vector<double> w2 = lengths(mesh, 1);
    ASSERT_GE(w2.size(), 2u);
    // The first segment of wire 2 starts at the joint; graded when fine.
    if (c.fine)
        EXPECT_LT(w2.front(), 0.9 * w2.back()) << c.name;
    else
        EXPECT_NEAR(w2.front(), w2.back(), 1e-9) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Joints, EndToEndJoint,
                         ::testing::Values(JointCase{"straight", 8, 10, 0.001, false},
                                           JointCase{"right_angle", 4, 14, 0.001, true},
                                           JointCase{"thicker", 8, 10, 0.002, true},
                                           JointCase{"slightly_thicker", 8, 10, 0.0014, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Over a conducting ground a wire end on the plane is a junction end.
TEST(NativeSegmentation, EndOnGroundIsFine) {
    Model m = plain_model(15e6);
    m.ground = GROUND_PERFECT;
    add_w(m, 0, 0, 0, 0, 0, 5);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    // In free space the same lower end is free and coarse.
    Model f = m;
    f.ground = GROUND_FREE;
    Mesh fm;
    ASSERT_EQ(build(f, fm), "");
    EXPECT_LT(mesh.seg.front().len, 0.5 * fm.seg.front().len);
    EXPECT_NEAR(mesh.seg.back().len, fm.seg.back().len, 1e-12);
}

// A wire shorter than its diameter still meshes (one segment per stretch)
// and the thin-wire warning tells the user.
TEST(NativeSegmentation, RadiusLargerThanWire) {
    Model m = native_model(15e6);
    add_w(m, 0, 0, 1, 0.002, 0, 1, 0.005);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.nseg(), 2);
    ASSERT_GE(mesh.nwarn(), 1);
    EXPECT_EQ(mesh.warnings[0],
              "segment length / radius = 0.20 (should be > 2; thin-wire approximation is poor)");
}

// Short wires (below 0.02 wavelength) keep the coarse length lambda/segwl
// and become a single segment per stretch.
TEST(NativeSegmentation, ShortWireIsOneSegmentPerStretch) {
    Model m = plain_model(15e6);
    add_w(m, 0, 0, 1, 0.2, 0, 1);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.nseg(), 2);
}

} // namespace
