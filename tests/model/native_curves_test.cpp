// LOOP, HELIX, SPLINE, POLYLINE and CURVE: the wires and paths they make,
// their shared options and names, their errors and their size limits.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/model.h"
#include "model_text.h"

namespace {

constexpr double kTol = 1e-12;

void expect_point(double x, double y, double z, const Point& want, const char* what) {
    EXPECT_NEAR(x, want.x, kTol) << what;
    EXPECT_NEAR(y, want.y, kTol) << what;
    EXPECT_NEAR(z, want.z, kTol) << what;
}

Point start_of(const Wire& w) {
    return {w.x1, w.y1, w.z1};
}
Point end_of(const Wire& w) {
    return {w.x2, w.y2, w.z2};
}
bool same(const Point& a, const Point& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// ---------------------------------------------------------------- LOOP

struct LoopCase {
    const char* lines;
    int sides;
    Point v0, v1; // the first two vertices
};

class Loop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(Loop, MakesAClosedRegularPolygon) {
    const LoopCase& c = GetParam();
    ModelText r = read_lines(c.lines);
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.nwire(), 1 + c.sides) << c.lines;
    const Wire& first = r.m.wires[1];
    expect_point(first.x1, first.y1, first.z1, c.v0, c.lines);
    expect_point(first.x2, first.y2, first.z2, c.v1, c.lines);
    const double side = std::hypot(first.x2 - first.x1, first.y2 - first.y1, first.z2 - first.z1);
    for (int k = 1; k <= c.sides; ++k) {
        const Wire& w = r.m.wires[static_cast<size_t>(k)];
        const Wire& next = r.m.wires[static_cast<size_t>(k == c.sides ? 1 : k + 1)];
        // Each side ends exactly where the next begins, the last one on the
        // first vertex, so that the mesher joins them.
        EXPECT_TRUE(same(end_of(w), start_of(next))) << c.lines << " side " << k;
        EXPECT_NEAR(std::hypot(w.x2 - w.x1, w.y2 - w.y1, w.z2 - w.z1), side, 1e-9) << k;
        EXPECT_EQ(w.tag, k + 1);
        EXPECT_EQ(w.nseg, 0);
        EXPECT_EQ(w.radius, 0.001);
        EXPECT_EQ(w.name, "");
    }
}

const double kH = std::sqrt(0.5);

INSTANTIATE_TEST_SUITE_P(
    Geometry, Loop,
    ::testing::Values(LoopCase{"LOOP 0 0 10 1 4", 4, {1, 0, 10}, {0, 1, 10}},
                      LoopCase{"LOOP 0 0 10 1 4 rot=45", 4, {kH, kH, 10}, {-kH, kH, 10}},
                      LoopCase{"LOOP 0 0 10 1 4 left", 4, {1, 0, 10}, {0, -1, 10}},
                      LoopCase{"LOOP 1 2 3 1 4 axis=x", 4, {1, 3, 3}, {1, 2, 4}},
                      LoopCase{"LOOP 1 2 3 1 4 axis=Y", 4, {2, 2, 3}, {1, 2, 4}},
                      LoopCase{"LOOP 0 0 0 1 4 axis=q", 4, {1, 0, 0}, {0, 1, 0}},
                      LoopCase{"LOOP 0 0 0 1 4 axis=xenon", 4, {0, 1, 0}, {0, 0, 1}},
                      LoopCase{"LOOP 0 0 0 1 2", 3, {1, 0, 0}, {-0.5, std::sqrt(0.75), 0}},
                      LoopCase{"LOOP 0 0 0 1 -7", 3, {1, 0, 0}, {-0.5, std::sqrt(0.75), 0}},
                      LoopCase{"LOOP 0 0 0 1 nan", 3, {1, 0, 0}, {-0.5, std::sqrt(0.75), 0}},
                      // Counts are read as integers: 1e9 is 1, raised to 3.
                      LoopCase{"LOOP 0 0 0 1 1e9", 3, {1, 0, 0}, {-0.5, std::sqrt(0.75), 0}},
                      LoopCase{"LOOP 0 0 0 1 7.9",
                               7,
                               {1, 0, 0},
                               {std::cos(2 * M_PI / 7), std::sin(2 * M_PI / 7), 0}},
                      LoopCase{"VAR n=6 R=2\nLOOP 0 0 0 R n", 6, {2, 0, 0}, {1, std::sqrt(3.0), 0}},
                      LoopCase{"UNITS cm\nLOOP 0 0 100 50 4 rot=90", 4, {0, 0.5, 1}, {-0.5, 0, 1}},
                      LoopCase{"LOOP 0 0 0 -1 4", 4, {-1, 0, 0}, {0, -1, 0}}));

TEST(LoopNames, RunningNumbersOnACutBaseName) {
    ModelText r = read_lines("LOOP 0 0 0 1 8 name=ring\n"
                             "LOOP 0 0 5 1 3 name=abcdefghijklmnopqrstuvwxyz0123\n"
                             "SOURCE ring8 50\nSOURCE 10 50\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.nwire(), 12);
    for (int k = 1; k <= 8; ++k)
        EXPECT_EQ(r.m.wires[static_cast<size_t>(k)].name, "ring" + std::to_string(k));
    EXPECT_EQ(r.m.wires[9].name, "abcdefghijklmnopqrstuvw1"); // 23 characters, then the number
    EXPECT_EQ(r.m.wires[11].name, "abcdefghijklmnopqrstuvw3");
    EXPECT_EQ(r.m.srcs[1].wire, 8); // ring8
    EXPECT_EQ(r.m.srcs[2].wire, 9); // the tenth wire of the file, by number
}

// ---------------------------------------------------------------- HELIX

struct HelixCase {
    const char* line;
    int npts;
    Point first, last;
};

class Helix : public ::testing::TestWithParam<HelixCase> {};

TEST_P(Helix, SamplesSeventyTwoPiecesPerTurn) {
    const HelixCase& c = GetParam();
    ModelText r = read_lines(c.line);
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.npath(), 1);
    const Path& p = r.m.paths[0];
    ASSERT_EQ(p.npt(), c.npts) << c.line;
    if (c.npts == 0) return;
    expect_point(p.pts.front().x, p.pts.front().y, p.pts.front().z, c.first, c.line);
    expect_point(p.pts.back().x, p.pts.back().y, p.pts.back().z, c.last, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, Helix,
    ::testing::Values(
        HelixCase{"HELIX 0 0 0 0.1 0.05 3", 217, {0.1, 0, 0}, {0.1, 0, 0.15}},
        // 72 x 2.01 = 144.72 pieces, rounded up.
        HelixCase{"HELIX 0 0 0 0.1 0.05 2.01",
                  146,
                  {0.1, 0, 0},
                  {0.1 * std::cos(2 * M_PI * 2.01), 0.1 * std::sin(2 * M_PI * 2.01), 0.1005}},
        // 72 x 0.31 = 22.32 pieces: rounded up, not to the nearest.
        HelixCase{"HELIX 0 0 0 0.1 0.05 0.31",
                  24,
                  {0.1, 0, 0},
                  {0.1 * std::cos(2 * M_PI * 0.31), 0.1 * std::sin(2 * M_PI * 0.31), 0.0155}},
        HelixCase{"HELIX 1 2 3 0.1 0.05 0.25 rot=90", 19, {1, 2.1, 3}, {0.9, 2, 3.0125}},
        HelixCase{"HELIX 0 0 0 0.1 0.05 0.25 left", 19, {0.1, 0, 0}, {0, -0.1, 0.0125}},
        HelixCase{"HELIX 0 0 1 0.1 -0.2 1", 73, {0.1, 0, 1}, {0.1, 0, 0.8}},
        HelixCase{"UNITS mm\nHELIX 10 0 5 20 30 2", 145, {0.03, 0, 0.005}, {0.03, 0, 0.065}},
        // No turns: only the start point, which yields no wire.
        HelixCase{"HELIX 0 0 0 0.1 0.05 0 rot=90", 1, {0, 0.1, 0}, {0, 0.1, 0}},
        HelixCase{"HELIX 0 0 0 0.1 0.05 -2", 0, {}, {}}));

TEST(HelixShape, PointsLieOnTheCylinderAndRiseEvenly) {
    ModelText r = read_lines("HELIX 1 -1 0.5 0.2 0.1 2.5 left");
    ASSERT_EQ(r.rc, 0) << r.err;
    const Path& p = r.m.paths[0];
    ASSERT_EQ(p.npt(), 181);
    for (int i = 0; i < p.npt(); ++i) {
        const Point& q = p.pts[static_cast<size_t>(i)];
        EXPECT_NEAR(std::hypot(q.x - 1, q.y + 1), 0.2, kTol) << i;
        EXPECT_NEAR(q.z, 0.5 + 0.25 * i / 180.0, kTol) << i;
    }
    // Clockwise seen from +z: the second point lies at a negative angle.
    EXPECT_LT(p.pts[1].y, -1);
}

// ---------------------------------------------------------------- SPLINE

TEST(Spline, TwoPointsMakeAStraightPathOfFortyOnePoints) {
    ModelText r = read_lines("SPLINE 0 0 0 1 0 0 r=0.002 pieces=7");
    ASSERT_EQ(r.rc, 0) << r.err;
    const Path& p = r.m.paths[0];
    ASSERT_EQ(p.npt(), 41); // pieces= does not apply to SPLINE
    EXPECT_EQ(p.radius, 0.002);
    for (int i = 0; i < 41; ++i) {
        const Point& q = p.pts[static_cast<size_t>(i)];
        EXPECT_NEAR(q.y, 0, kTol);
        EXPECT_NEAR(q.z, 0, kTol);
        if (i > 0) {
            EXPECT_GT(q.x, p.pts[static_cast<size_t>(i - 1)].x) << i;
        }
    }
    EXPECT_EQ(p.pts.back().x, 1);
}

TEST(Spline, CatmullRomThroughEveryPoint) {
    ModelText r = read_lines("UNITS cm\nSPLINE 0 0 0 100 0 0 100 100 0 0 100 50");
    ASSERT_EQ(r.rc, 0) << r.err;
    const Path& p = r.m.paths[0];
    ASSERT_EQ(p.npt(), 121);
    const Point given[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0.5}};
    for (int k = 0; k < 4; ++k)
        EXPECT_TRUE(same(p.pts[static_cast<size_t>(40 * k)], given[k])) << k;
    // The middle of the first span, with the first point repeated as its
    // outer neighbour: S(1/2) = (2 Q1 + (Q2 - Q0)/2 + (2 Q0 - 5 Q1 + 4 Q2 - Q3)/4
    // + (-Q0 + 3 Q1 - 3 Q2 + Q3)/8) / 2 with Q0 = Q1 = P0, Q2 = P1, Q3 = P2.
    expect_point(p.pts[20].x, p.pts[20].y, p.pts[20].z, {0.5, -0.0625, 0}, "span 1");
    // The middle span uses both real neighbours: Q0 = P0, Q3 = P3.
    expect_point(p.pts[60].x, p.pts[60].y, p.pts[60].z, {1.125, 0.5, -0.03125}, "span 2");
}

TEST(Spline, PointsStopAtTheFirstTripleWithAnOption) {
    // The dangling "5 5" after two points is not a third point.
    ModelText r = read_lines("SPLINE 0 0 0 1 0 0 5 5 name=s\nSPLINE 0 0 0 1 1 1 2 2 2 d=0.01");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.paths[0].npt(), 41);
    EXPECT_EQ(r.m.paths[0].name, "s");
    EXPECT_EQ(r.m.paths[1].npt(), 81);
    EXPECT_EQ(r.m.paths[1].radius, 0.005);
}

// ---------------------------------------------------------------- POLYLINE

struct PolyCase {
    const char* line;
    int nwires;
    double len; // length of every wire
};

class Polyline : public ::testing::TestWithParam<PolyCase> {};

TEST_P(Polyline, CutsEachLegIntoEqualWires) {
    const PolyCase& c = GetParam();
    ModelText r = read_lines(c.line);
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.nwire(), 1 + c.nwires) << c.line;
    for (int k = 1; k <= c.nwires; ++k) {
        const Wire& w = r.m.wires[static_cast<size_t>(k)];
        EXPECT_NEAR(std::hypot(w.x2 - w.x1, w.y2 - w.y1, w.z2 - w.z1), c.len, kTol) << c.line << k;
        EXPECT_EQ(w.tag, k + 1);
        if (k > 1) {
            EXPECT_TRUE(same(start_of(w), end_of(r.m.wires[static_cast<size_t>(k - 1)])));
        }
    }
    expect_point(r.m.wires[1].x1, r.m.wires[1].y1, r.m.wires[1].z1, {0, 0, 0}, c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, Polyline,
    ::testing::Values(PolyCase{"POLYLINE 0 0 0 1 0 0 1 1 0", 2, 1},
                      PolyCase{"POLYLINE 0 0 0 1 0 0 1 1 0 pieces=2 name=p", 4, 0.5},
                      PolyCase{"POLYLINE 0 0 0 0 0 3 pieces=3", 3, 1},
                      PolyCase{"POLYLINE 0 0 0 0 0 3 pieces=0", 1, 3},
                      PolyCase{"POLYLINE 0 0 0 0 0 3 pieces=-4", 1, 3},
                      PolyCase{"POLYLINE 0 0 0 0 0 3 pieces=nan", 1, 3},
                      PolyCase{"VAR k=2\nPOLYLINE 0 0 0 0 0 3 0 3 3 pieces=k+1", 6, 1},
                      PolyCase{"UNITS ft\nPOLYLINE 0 0 0 10 0 0 pieces=2", 2, 1.524}));

TEST(PolylineNames, RunOverTheWholeLineAndEndOnTheGivenPoints) {
    ModelText r = read_lines("POLYLINE 0 0 0 1 0 0 1 1 0 pieces=2 name=p\nLOAD p3 50 R=1");
    ASSERT_EQ(r.rc, 0) << r.err;
    const char* names[] = {"p1", "p2", "p3", "p4"};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(r.m.wires[static_cast<size_t>(k + 1)].name, names[k]);
    EXPECT_TRUE(same(end_of(r.m.wires[2]), Point{1, 0, 0}));
    EXPECT_TRUE(same(end_of(r.m.wires[4]), Point{1, 1, 0}));
    EXPECT_EQ(r.m.loads[0].wire, 3);
}

// ---------------------------------------------------------------- CURVE

TEST(Curve, SamplesAtLeastFourHundredPieces) {
    ModelText r = read_lines("CURVE cos(2*pi*t) sin(2*pi*t) 0 pieces=100\n"
                             "CURVE t 0 0 pieces=1000\n"
                             "VAR n=500\nCURVE t 0 0 pieces=n\n"
                             "CURVE t 0 0 pieces=1e9\n"); // read as the integer 1
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.npath(), 4);
    EXPECT_EQ(r.m.paths[0].npt(), 401);
    EXPECT_EQ(r.m.paths[1].npt(), 1001);
    EXPECT_EQ(r.m.paths[2].npt(), 501);
    EXPECT_EQ(r.m.paths[3].npt(), 401);
    const Path& circle = r.m.paths[0];
    for (int i = 0; i <= 400; ++i) {
        const Point& q = circle.pts[static_cast<size_t>(i)];
        EXPECT_NEAR(q.x, std::cos(2 * M_PI * i / 400), 1e-12) << i;
        EXPECT_NEAR(q.y, std::sin(2 * M_PI * i / 400), 1e-12) << i;
    }
}

TEST(Curve, ExpressionsAreEvaluatedInTAsWritten) {
    // Substituting "t*2" with t = 0 would flatten the curve to a point.
    ModelText r = read_lines(
        "VAR h=2 t=9\nUNITS cm\nCURVE t*2 \"atan2(t, 1)\" h*t^2 t0=-1 t1=2*h name=arc\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    const Path& p = r.m.paths[0];
    EXPECT_EQ(p.name, "arc");
    ASSERT_EQ(p.npt(), 401);
    expect_point(p.pts.front().x, p.pts.front().y, p.pts.front().z,
                 {-0.02, std::atan2(-1, 1) / 100, 0.02}, "t0");
    expect_point(p.pts.back().x, p.pts.back().y, p.pts.back().z,
                 {0.08, std::atan2(4, 1) / 100, 0.32}, "t1");
    expect_point(p.pts[100].x, p.pts[100].y, p.pts[100].z,
                 {0.005, std::atan2(0.25, 1) / 100, 0.00125}, "t = 0.25");
}

// ---------------------------------------------------------------- shared

// What one keyword line made: the wires it appended or its path.
struct Made {
    double radius, sigma, ins_t, ins_eps;
};

struct OptCase {
    const char* options;
    Made want; // sigma as read, before MATERIAL fills a missing one
};

const char* const kKeywordLines[] = {
    "LOOP 0 0 5 1 4",
    "HELIX 0 0 0 0.1 0.05 2",
    "SPLINE 0 0 0 1 0 0 1 1 0",
    "POLYLINE 0 0 0 1 0 0 1 1 0",
    "CURVE t 0 1",
};

class SharedOptions : public ::testing::TestWithParam<std::tuple<const char*, OptCase>> {};

TEST_P(SharedOptions, ApplyToEveryWireOrPath) {
    const auto& [line, c] = GetParam();
    ModelText r = read_lines(cat({line, " ", c.options}));
    ASSERT_EQ(r.rc, 0) << r.err;
    auto check = [&](double radius, double sigma, double ins_t, double ins_eps) {
        EXPECT_NEAR(radius, c.want.radius, 1e-15) << line << " " << c.options;
        EXPECT_EQ(sigma, c.want.sigma) << line << " " << c.options;
        EXPECT_EQ(ins_t, c.want.ins_t) << line << " " << c.options;
        EXPECT_EQ(ins_eps, c.want.ins_eps) << line << " " << c.options;
    };
    if (r.m.npath() == 1) {
        const Path& p = r.m.paths[0];
        check(p.radius, p.sigma, p.ins_t, p.ins_eps);
    } else {
        ASSERT_GT(r.m.nwire(), 2);
        for (size_t k = 1; k < r.m.wires.size(); ++k) {
            const Wire& w = r.m.wires[k];
            // model_read gives wires without a material the MATERIAL value (0).
            check(w.radius, c.want.sigma < 0 ? -1 : w.sigma, w.ins_t, w.ins_eps);
            if (c.want.sigma < 0) {
                EXPECT_EQ(w.sigma, 0);
            }
        }
    }
}

const double kAwg14 = 0.5 * 0.000127 * std::pow(92.0, 22.0 / 39.0);

INSTANTIATE_TEST_SUITE_P(
    Keywords, SharedOptions,
    ::testing::Combine(
        ::testing::ValuesIn(kKeywordLines),
        ::testing::Values(OptCase{"", {0.001, -1, 0, 0}},
                          OptCase{"r=0.002 d=0.002", {0.001, -1, 0, 0}},       // d wins over r
                          OptCase{"dmm=3 seg=5", {0.001, -1, 0, 0}},           // not options here
                          OptCase{"w=0.008 awg=14 r=0.01", {0.002, -1, 0, 0}}, // w wins
                          OptCase{"r=0.01 awg=14", {kAwg14, -1, 0, 0}},
                          OptCase{"mat=Copper insmm=1", {0.001, 5.8e7, 0.001, 2.1}},
                          OptCase{"mat=1e6 ins=0.002 inseps=3 insul=pvc", {0.001, 1e6, 0.002, 3.5}},
                          OptCase{"mat=PERFECT inseps=4", {0.001, 0, 0, 4}})));

TEST(SharedOptionsUnits, RadiusAndSleeveScaleWithUnits) {
    ModelText r = read_lines("UNITS mm\nLOOP 0 0 50 20 4 r=2\nHELIX 0 0 0 20 10 1 d=6 ins=0.5\n"
                             "CURVE t 0 1 w=8 insmm=2\nLOOP 0 0 0 20 4\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(r.m.wires[1].radius, 0.002);
    EXPECT_DOUBLE_EQ(r.m.paths[0].radius, 0.003);
    EXPECT_DOUBLE_EQ(r.m.paths[0].ins_t, 0.0005);
    EXPECT_DOUBLE_EQ(r.m.paths[1].radius, 0.002);
    EXPECT_DOUBLE_EQ(r.m.paths[1].ins_t, 0.002); // insmm= ignores UNITS
    EXPECT_EQ(r.m.wires[5].radius, 0.001);       // the default is not scaled
}

TEST(PathNames, GivenOrNumberedAndFoundBeforeWires) {
    ModelText r = read_lines("WIRE 0 0 5 0 0 6 name=feed\n"
                             "HELIX 0 0 0 0.1 0.05 1\nCURVE t 0 2 name=feed\nSPLINE 0 0 0 1 0 0\n"
                             "SOURCE feed 50\nLOAD curve3 10 R=1\nTL CURVE1 0 2 100\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.npath(), 3);
    EXPECT_EQ(r.m.paths[0].name, "curve1");
    EXPECT_EQ(r.m.paths[1].name, "feed");
    EXPECT_EQ(r.m.paths[2].name, "curve3");
    // A path named like a wire wins.
    EXPECT_EQ(r.m.srcs[1].path, 1);
    EXPECT_EQ(r.m.srcs[1].wire, -1);
    EXPECT_EQ(r.m.srcs[1].pos, 0.5);
    EXPECT_EQ(r.m.loads[0].path, 2);
    EXPECT_EQ(r.m.tls[0].path1, 0);
    EXPECT_EQ(r.m.tls[0].wire1, -1);
    EXPECT_EQ(r.m.tls[0].wire2, 1);
}

TEST(PathOnly, AModelOfPathsAloneReads) {
    ModelText r = read_model_text("FREQ 300\nCURVE 0 0 t name=mono\nSOURCE mono 0\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.nwire(), 0);
    EXPECT_EQ(r.m.paths[0].pts.back().z, 1);
}

// ---------------------------------------------------------------- errors

struct ErrCase {
    const char* lines; // after kHead, so the first of them is line 4
    const char* message;
};

class CurveError : public ::testing::TestWithParam<ErrCase> {};

TEST_P(CurveError, StopsWithTheMessage) {
    ModelText r = read_lines(GetParam().lines);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, GetParam().message) << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CurveError,
    ::testing::Values(
        // Too few tokens: not recognised at all.
        ErrCase{"LOOP 0 0 0 1", "line 4: unknown keyword 'LOOP'"},
        ErrCase{"HELIX 0 0 0 1 1", "line 4: unknown keyword 'HELIX'"},
        ErrCase{"SPLINE 0 0 0 1 0", "line 4: unknown keyword 'SPLINE'"},
        ErrCase{"POLYLINE 0 0 0 1 0", "line 4: unknown keyword 'POLYLINE'"},
        ErrCase{"CURVE t 0", "line 4: unknown keyword 'CURVE'"},
        // Points.
        ErrCase{"SPLINE 0 0 0 r=0.002 1 0 0", "line 4: SPLINE needs at least two points"},
        ErrCase{"\nPolyLine 0 0 0 1 0 name=x 5", "line 5: PolyLine needs at least two points"},
        // Curve expressions.
        ErrCase{"CURVE 0 0 t*h", "line 4: cannot evaluate curve expression"},
        ErrCase{"CURVE 0 0 2*(t", "line 4: cannot evaluate curve expression"},
        ErrCase{"CURVE 1/t 0 0", "line 4: CURVE point at t=0 is not finite"},
        ErrCase{"CURVE 0 0 sqrt(t-0.5)", "line 4: CURVE point at t=0 is not finite"},
        ErrCase{"CURVE 0 0 log(1-t)", "line 4: CURVE point at t=1 is not finite"},
        // Values that are not finite numbers.
        ErrCase{"LOOP 0 0 nan 1 4", "line 4: LOOP coordinates and radius must be finite numbers"},
        ErrCase{"LOOP 0 0 0 1 4 rot=inf",
                "line 4: LOOP coordinates and radius must be finite numbers"},
        ErrCase{"LOOP 0 0 0 1 4 r=1e999",
                "line 4: LOOP coordinates and radius must be finite numbers"},
        ErrCase{"HELIX 0 0 0 0.1 0.05 nan",
                "line 4: HELIX coordinates, pitch, turns and radius must be finite numbers"},
        ErrCase{"VAR z=0\nHELIX 0 0 0 0.1 1/z 2",
                "line 5: HELIX coordinates, pitch, turns and radius must be finite numbers"},
        ErrCase{"SPLINE 0 0 0 1 nan 0",
                "line 4: SPLINE coordinates and radius must be finite numbers"},
        ErrCase{"POLYLINE 0 0 0 1 0 0 d=-inf",
                "line 4: POLYLINE coordinates and radius must be finite numbers"},
        ErrCase{"CURVE t 0 0 t1=nan", "line 4: CURVE t0, t1 and radius must be finite numbers"},
        // Finite fields whose points overflow.
        ErrCase{"LOOP 1e308 0 0 1e308 4",
                "line 4: LOOP coordinates and radius must be finite numbers"},
        ErrCase{"HELIX 0 0 0 1 1e306 1000",
                "line 4: HELIX coordinates, pitch, turns and radius must be finite numbers"},
        ErrCase{"SPLINE 1e308 0 0 1e308 1 0",
                "line 4: SPLINE coordinates and radius must be finite numbers"},
        ErrCase{"POLYLINE -1e308 0 0 1e308 0 0 pieces=2",
                "line 4: POLYLINE coordinates and radius must be finite numbers"},
        ErrCase{"LOOP 0 0 0 1 4 mat=nan",
                "line 4: mat=nan is neither a material nor a finite conductivity"},
        ErrCase{"HELIX 0 0 0 0.1 0.05 2 mat=1e999",
                "line 4: mat=1e999 is neither a material nor a finite conductivity"},
        ErrCase{"SPLINE 0 0 0 1 0 0 insmm=inf",
                "line 4: SPLINE sleeve thickness and permittivity must be finite numbers"},
        ErrCase{"CURVE t 0 0 ins=0.001 inseps=nan",
                "line 4: CURVE sleeve thickness and permittivity must be finite numbers"},
        // Sizes that would exhaust memory.
        ErrCase{"LOOP 0 0 0 1 1000000000", "line 4: LOOP sides must be at most 10000"},
        ErrCase{"LOOP 0 0 0 1 10001", "line 4: LOOP sides must be at most 10000"},
        ErrCase{"HELIX 0 0 0 0.1 0.05 1e9",
                "line 4: HELIX of 1e+09 turns needs more than 100000 pieces (72 per turn)"},
        ErrCase{"HELIX 0 0 0 0.1 0.05 1389",
                "line 4: HELIX of 1389 turns needs more than 100000 pieces (72 per turn)"},
        ErrCase{"CURVE t 0 0 pieces=1000000000", "line 4: CURVE pieces must be at most 100000"},
        ErrCase{"CURVE t 0 0 pieces=100001", "line 4: CURVE pieces must be at most 100000"},
        ErrCase{"POLYLINE 0 0 0 1 0 0 1 1 0 pieces=5001",
                "line 4: POLYLINE makes 10002 wires, more than 10000"}));

TEST(CurveLimits, TheLargestAcceptedSizesRead) {
    ModelText r =
        read_lines("LOOP 0 0 0 100 10000\nHELIX 0 0 0 0.1 0.05 1388\nCURVE t 0 0 pieces=100000\n"
                   "POLYLINE 0 0 0 1 0 0 pieces=10000\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.nwire(), 1 + 10000 + 10000);
    EXPECT_EQ(r.m.paths[0].npt(), 99937);
    EXPECT_EQ(r.m.paths[1].npt(), 100001);
}

TEST(CurveLimits, TheWholeModelHasAWireAndAPointBudget) {
    // Ten loops of 9999 sides and the head wire leave room for 9 wires of
    // the 100000.
    std::string loops;
    for (int i = 0; i < 10; ++i) loops += "LOOP 0 0 " + std::to_string(i) + " 1 9999\n";
    ModelText w = read_lines(loops + "LOOP 0 0 99 1 9\nLOOP 0 0 99 1 3\n");
    EXPECT_EQ(w.err, "line 15: LOOP would make the model hold more than 100000 wires");
    ModelText p = read_lines(loops + "POLYLINE 0 0 0 0 0 1 pieces=10\n");
    EXPECT_EQ(p.err, "line 14: POLYLINE would make the model hold more than 100000 wires");

    // 9 x 100001 + 99937 + 41 points fit into the million; 81 more do not.
    std::string curves;
    for (int i = 0; i < 9; ++i) curves += "CURVE t 0 0 pieces=100000\n";
    ModelText c = read_lines(
        curves + "HELIX 0 0 0 0.1 0.1 1388\nSPLINE 0 0 0 1 0 0\nSPLINE 0 0 0 1 0 0 1 1 0\n");
    EXPECT_EQ(c.err, "line 15: SPLINE would make the model's paths hold more than 1000000 points");
    EXPECT_EQ(c.m.npath(), 11);
}

} // namespace
