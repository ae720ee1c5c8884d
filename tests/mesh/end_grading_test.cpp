// Native meshes halve the segments toward free wire ends (ends joined to no
// other wire and not on the ground plane) until the tip is 2 to 4 radii
// long, on wires and on paths; joined and grounded ends, wires with explicit
// segment counts and models with ends off keep the plain segmentation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "mesh_fixtures.h"

namespace {

std::vector<const Segment*> wire_segs(const Mesh& mesh, int wire) {
    std::vector<const Segment*> out;
    for (const Segment& s : mesh.seg)
        if (s.wire == wire) out.push_back(&s);
    return out;
}

// Checks the halving run at one end of a wire (first segments when
// from_start, last ones otherwise): two tips of 2 to 4 radii at the end,
// then each segment exactly twice as long as the one before, until the
// stretch's own division takes over at no more than about 2.6 times the
// last halved size (its second segment, 1.3 times the first).
void expect_halving(const std::vector<const Segment*>& segs, bool from_start,
                    const std::string& what) {
    ASSERT_GE(segs.size(), 3u) << what;
    auto at = [&](size_t i) { return segs[from_start ? i : segs.size() - 1 - i]->len; };
    const double r = segs.front()->radius;
    EXPECT_GE(at(0), 2 * r * (1 - 1e-9)) << what;
    EXPECT_LT(at(0), 4 * r) << what;
    EXPECT_NEAR(at(1), at(0), 1e-9 * at(0)) << what;
    size_t i = 2;
    while (i < segs.size() && std::fabs(at(i) - 2 * at(i - 1)) < 1e-9 * at(i)) ++i;
    if (i < segs.size()) {
        EXPECT_GE(at(i), at(i - 1) * (1 - 1e-9)) << what;
        EXPECT_LT(at(i), 3 * at(i - 1)) << what;
    }
}

// The worked example's 10 m wire of radius 1 mm fed at its centre (15 MHz,
// segwl 30, taper on: fine length 0.2665 m), now with its ends graded:
// seven halvings of the fine length, 0.2665 m / 128 = 2.08 mm at the tips.
TEST(EndGrading, CentreFedWireHalvesTowardBothEnds) {
    Model m = native_model(15e6);
    add_w(m, 0, -5, 10, 0, 5, 10);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    const double fine = std::max(4 * 0.001, 299792458.0 / 15e6 / 30 / 2.5);
    ASSERT_NEAR(fine, 0.26649, 1e-5);
    // Symmetric about the feed, contiguous, exactly 10 m long.
    const int n = mesh.nseg();
    ASSERT_EQ(n % 2, 0);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const Segment& s = mesh.seg[static_cast<size_t>(i)];
        EXPECT_NEAR(s.len, mesh.seg[static_cast<size_t>(n - 1 - i)].len, 1e-12) << i;
        if (i > 0) {
            EXPECT_EQ(s.a[1], mesh.seg[static_cast<size_t>(i - 1)].b[1]);
        }
        EXPECT_EQ(s.num, i + 1);
        sum += s.len;
    }
    EXPECT_NEAR(sum, 10.0, 1e-12);
    EXPECT_EQ(mesh.seg[static_cast<size_t>(n / 2 - 1)].b[1], 0.0);
    // The stretch's end segment keeps the fine length (as at a junction)
    // and is halved seven times toward the end: from the tip fine / 128
    // twice, then fine / 64, ..., fine / 2, then the stretch's second size.
    for (int k = 0; k < 8; ++k) {
        double want = fine / std::pow(2.0, k == 0 ? 7 : 8 - k);
        EXPECT_NEAR(mesh.seg[static_cast<size_t>(k)].len, want, 1e-12) << k;
        EXPECT_NEAR(mesh.seg[static_cast<size_t>(n - 1 - k)].len, want, 1e-12) << k;
    }
    EXPECT_NEAR(mesh.seg[8].len, 1.3 * fine, 0.1 * fine);
    // The tips are the shortest segments, 2.08 radii; the mesher made them
    // on purpose, so no length/radius advice is given.
    EXPECT_NEAR(mesh.minlr, fine / 128 / 0.001, 1e-9);
    EXPECT_EQ(mesh.nwarn(), 0) << mesh.warnings[0];
    EXPECT_LT(mesh.maxratio, 3.0);
    EXPECT_EQ(mesh.nunk(), n - 1);
    EXPECT_GE(m.srcs[0].unk, 0);
}

// Which ends are free: a table of small structures, each end looked at
// through its end segment (graded ends have tips below 4 radii, all other
// segments are far longer).
struct EndCase {
    const char* name;
    int ground;
    int ends;
    std::vector<std::vector<double>> wires; // x1 y1 z1 x2 y2 z2 [nseg]
    std::vector<std::vector<int>> graded;   // per wire: start graded, end graded
};

class WhichEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(WhichEnds, OnlyFreeEndsOfAutomaticWiresAreGraded) {
    const EndCase& c = GetParam();
    Model m = native_model(15e6);
    m.ground = c.ground;
    m.ends = c.ends;
    for (const auto& w : c.wires)
        add_w(m, w[0], w[1], w[2], w[3], w[4], w[5], 0.001, w.size() > 6 ? int(w[6]) : 0);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "") << c.name;
    for (size_t wi = 0; wi < c.wires.size(); ++wi) {
        std::vector<const Segment*> segs = wire_segs(mesh, static_cast<int>(wi));
        ASSERT_FALSE(segs.empty());
        for (int end = 0; end < 2; ++end) {
            const Segment* s = end == 0 ? segs.front() : segs.back();
            std::string what = std::string(c.name) + " wire " + std::to_string(wi + 1) +
                               (end == 0 ? " start" : " end");
            if (c.graded[wi][static_cast<size_t>(end)])
                expect_halving(segs, end == 0, what);
            else
                EXPECT_GT(s->len, 0.1) << what;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Structures, WhichEnds,
    ::testing::Values(
        EndCase{"dipole", GROUND_FREE, 1, {{0, -5, 10, 0, 5, 10}}, {{1, 1}}},
        EndCase{"ends_off", GROUND_FREE, 0, {{0, -5, 10, 0, 5, 10}}, {{0, 0}}},
        EndCase{"explicit_count", GROUND_FREE, 1, {{0, -5, 10, 0, 5, 10, 20}}, {{0, 0}}},
        // Two collinear wires joined end to end: the joint is no free end.
        EndCase{"joined_straight",
                GROUND_FREE,
                1,
                {{0, -5, 10, 0, 0, 10}, {0, 0, 10, 0, 5, 10}},
                {{1, 0}, {0, 1}}},
        // An L: the corner is a junction, the two far ends are free.
        EndCase{"corner",
                GROUND_FREE,
                1,
                {{0, -5, 10, 0, 0, 10}, {0, 0, 10, 4, 0, 10}},
                {{1, 0}, {0, 1}}},
        // A T: the stem's end on the bar is a junction; the bar's ends and
        // the stem's lower end are free.
        EndCase{
            "tee", GROUND_FREE, 1, {{0, -5, 10, 0, 5, 10}, {0, 1, 6, 0, 1, 10}}, {{1, 1}, {1, 0}}},
        // A vertical wire standing on a perfect ground: the foot is joined
        // to the ground, the top is free; in free space both are free.
        EndCase{"on_ground", GROUND_PERFECT, 1, {{0, 0, 0, 0, 0, 5}}, {{0, 1}}},
        EndCase{"above_free_space", GROUND_FREE, 1, {{0, 0, 0, 0, 0, 5}}, {{1, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Short and thick wires: the halvings start from at most a third of the
// stretch, so that the two graded runs of a short wire never meet, and the
// tip stays between 2 and 4 radii; a wire whose segments are already near
// two radii is left as it is.
TEST(EndGrading, ShortAndThickWiresKeepTheirLengthAndTips) {
    struct Case {
        double len, r;
        bool graded;
    };
    const Case cases[] = {
        {0.2, 0.001, true},  // 0.01 wavelength, fed at its centre
        {0.05, 0.001, true}, // stretches of 25 radii
        {10, 0.05, true},    // fine length 0.27 m, 5.3 radii: one halving
        {10, 0.07, true},    // fine length 4 radii: one halving to exactly 2
        {0.01, 0.001, false} // stretches of 5 radii, coarse floor 2 radii
    };
    for (const Case& c : cases) {
        Model m = native_model(15e6);
        add_w(m, 0, 0, 5, 0, c.len, 5, c.r);
        add_s(m, 0, 0.5);
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "") << c.len << " " << c.r;
        double sum = 0;
        for (const Segment& s : mesh.seg) sum += s.len;
        EXPECT_NEAR(sum, c.len, 1e-12 * c.len) << c.len << " " << c.r;
        std::vector<const Segment*> segs = wire_segs(mesh, 0);
        if (c.graded) {
            expect_halving(segs, true, "start");
            expect_halving(segs, false, "end");
        } else {
            EXPECT_GE(mesh.minlr, 2 - 1e-9);
        }
        // The feed stays on its node at the centre.
        const Unknown& u = mesh.unk[static_cast<size_t>(m.srcs[0].unk)];
        EXPECT_NEAR(mesh.node[static_cast<size_t>(u.node)].pos[1], c.len / 2, 1e-12 * c.len);
    }
}

// A wire far thinner than any real one (radius 1e-30 m) would need some 90
// halvings to reach its tips; they stop after 20 (a millionth of the end
// segment), where the coordinates still resolve the segments, and the wire
// meshes as before the grading.
TEST(EndGrading, HalvingsStopForAbsurdlyThinWires) {
    Model m = native_model(15e6);
    add_w(m, 0, -5, 10, 0, 5, 10, 1e-30);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    const std::vector<const Segment*> segs = wire_segs(mesh, 0);
    EXPECT_NEAR(segs[0]->len * std::pow(2.0, 20), segs[20]->len * 2, 1e-9);
    EXPECT_GT(mesh.minlen, 1e-7);
    double sum = 0;
    for (const Segment* s : segs) sum += s->len;
    EXPECT_NEAR(sum, 10, 1e-12);
}

// The length/radius advice still speaks of segments the user asked for: a
// wire with explicit segments of 3 radii beside a graded one gets the
// advice with its own 3.00, not the graded tips' value.
TEST(EndGrading, AdviceOnShortSegmentsIgnoresOnlyTheTips) {
    Model m = native_model(15e6);
    add_w(m, 0, -5, 10, 0, 5, 10);              // graded, tips of 2.08 radii
    add_w(m, 3, 0, 10, 3, 0.03, 10, 0.001, 10); // ten segments of 3 mm
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_NEAR(mesh.minlr, 2.08, 0.01);
    ASSERT_GE(mesh.nwarn(), 1);
    EXPECT_EQ(mesh.warnings[0], "segment length / radius = 3.00 (> 4 recommended)");
}

// Paths (helices, splines, curves) are cut into one-segment pieces by the
// mesher; a free end of a path gets its first piece halved the same way.
// Cases: a straight path of 10 m (15 MHz: 38 pieces of 0.26 m), alone, with
// a wire joined to its start, closed into a triangle, standing on a
// perfect ground, and alone with ends off.
struct PathCase {
    const char* name;
    int ground;
    int ends;
    bool closed;
    bool wire_at_start;
    bool graded[2]; // start, end
};

class PathEnds : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathEnds, FreeEndsOfPathsAreGraded) {
    const PathCase& c = GetParam();
    Model m = native_model(15e6);
    m.ground = c.ground;
    m.ends = c.ends;
    Path& p = add_path(m, "p", 0.001, 0);
    path_pt(p, {0, 0, 0});
    path_pt(p, {0, 0, 10});
    if (c.closed) {
        path_pt(p, {0, 5, 5});
        path_pt(p, {0, 0, 0});
    }
    if (c.wire_at_start) add_w(m, 0, 0, 0, 0, -3, -1);
    Source& s = add_src(m);
    s.path = 0;
    s.pos = 0.3;
    s.v = 1.0;
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "") << c.name;
    // The pieces of the path, in order along it.
    std::vector<const Segment*> segs;
    for (const Segment& sg : mesh.seg)
        if (mesh.expanded_wires[static_cast<size_t>(sg.wire)].name.rfind("p#", 0) == 0)
            segs.push_back(&sg);
    ASSERT_GE(segs.size(), 10u) << c.name;
    if (!c.closed) { // a straight path: the pieces add up to its length
        double total = 0;
        for (const Segment* sg : segs) total += sg->len;
        EXPECT_NEAR(total, 10, 1e-9) << c.name;
    }
    for (int end = 0; end < 2; ++end) {
        std::string what = std::string(c.name) + (end == 0 ? " start" : " end");
        if (c.graded[end])
            expect_halving(segs, end == 0, what);
        else
            EXPECT_GT((end == 0 ? segs.front() : segs.back())->len, 0.1) << what;
    }
    // The tips are the mesher's: no length/radius advice.
    for (const std::string& w : mesh.warnings)
        EXPECT_EQ(w.find("length / radius"), std::string::npos) << c.name << ": " << w;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathEnds,
    ::testing::Values(PathCase{"alone", GROUND_FREE, 1, false, false, {true, true}},
                      PathCase{"wire_at_start", GROUND_FREE, 1, false, true, {false, true}},
                      PathCase{"closed", GROUND_FREE, 1, true, false, {false, false}},
                      PathCase{"on_ground", GROUND_PERFECT, 1, false, false, {false, true}},
                      PathCase{"ends_off", GROUND_FREE, 0, false, false, {false, false}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
