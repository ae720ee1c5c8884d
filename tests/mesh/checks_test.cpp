// Model checks before meshing, mesh statistics, the warnings and their
// order, the crossing test, and bad input that must end in a message or a
// defined mesh.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mesh/mesh_internal.h"
#include "mesh_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A centre-fed wire along x at height 1 m, for the cases below.
Model fed_wire(double len, double r = 0.001, int nseg = 0, double f = 15e6) {
    Model m = native_model(f);
    add_w(m, 0, 0, 1, len, 0, 1, r, nseg);
    add_s(m, 0, 0.5);
    return m;
}

struct BadCase {
    const char* name;
    Model model;
    const char* message;
};

std::vector<BadCase> bad_cases() {
    std::vector<BadCase> v;
    auto add = [&](const char* name, Model m, const char* msg) {
        v.push_back({name, std::move(m), msg});
    };
    {
        Model m = fed_wire(1);
        add_w(m, 2, 0, -5, 2, 0, -5); // zero length, and below any ground
        m.ground = GROUND_PERFECT;
        add("zero_length_before_ground", m, "wire 2 has zero length");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].z1 = -1e-8;
        m.ground = GROUND_PERFECT;
        add("below_perfect_ground", m, "wire 1 extends below ground (z < 0)");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].z2 = -1e-8;
        m.ground = GROUND_MININEC;
        add("below_mininec_ground", m, "wire 1 extends below ground (z < 0)");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].z1 = -1e-8;
        m.ground = GROUND_PCB;
        add("below_board", m,
            "wire 1 is below the board surface (z < 0); traces lie at z = 0 or above");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].y2 = kNaN;
        add("nan_coordinate", m, "wire 1 has a coordinate that is not a finite number");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].x1 = -kInf;
        add("infinite_coordinate", m, "wire 1 has a coordinate that is not a finite number");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].x1 = -1e300;
        m.wires[0].x2 = 1e300; // the length overflows
        add("overflowing_length", m, "wire 1 has a coordinate that is not a finite number");
    }
    {
        Model m = fed_wire(1);
        m.wires[0].x1 = 1;
        m.wires[0].x2 = 1 + 1e-30; // the same double as 1
        add("length_below_precision", m, "wire 1 has zero length");
    }
    add("zero_radius", fed_wire(1, 0), "wire 1 has radius 0 m (must be a positive number)");
    add("negative_radius", fed_wire(1, -0.001),
        "wire 1 has radius -0.001 m (must be a positive number)");
    add("nan_radius", fed_wire(1, kNaN), "wire 1 has radius nan m (must be a positive number)");
    {
        Model m = fed_wire(1);
        m.fmax = 0;
        add("no_meshing_frequency", m,
            "the meshing frequency must be a positive number (fmax = 0 Hz)");
    }
    {
        Model m = fed_wire(1);
        m.fmax = kInf;
        add("infinite_meshing_frequency", m,
            "the meshing frequency must be a positive number (fmax = inf Hz)");
    }
    {
        Model m = fed_wire(1);
        m.segwl = -3;
        add("negative_segwl", m, "segments per wavelength must be a positive number (segwl = -3)");
    }
    {
        Model m = fed_wire(1e-30);
        m.wires[0].z1 = m.wires[0].z2 = 0; // near the origin the length is representable
        add("wire_of_1e-30_m", m, "wire 1 is too short to be meshed (length 1e-30 m)");
    }
    add("million_segments", fed_wire(10, 1e-6, 1000000),
        "wire 1: too many segments (a mesh holds at most 100000)");
    {
        Model m = fed_wire(10, 1e-6, 60000);
        add_w(m, 0, 1, 1, 10, 1, 1, 1e-6, 60000);
        add("segments_over_two_wires", m,
            "wire 2: too many segments (a mesh holds at most 100000)");
    }
    {
        Model m = nec_model();
        add_w(m, 0, 0, 1, 10, 0, 1, 0.001, 1000000, 1);
        add_nec_src(m, 1, 1);
        add("nec_million_segments", m, "wire 1: too many segments (a mesh holds at most 100000)");
    }
    const char* too_many =
        "wire 1 needs more than 2048 segments between two breakpoints; lower segwl or give the "
        "wire an explicit segment count";
    add("automatic_wire_too_long", fed_wire(1e30), too_many);
    add("automatic_wire_100km", fed_wire(1e5), too_many);
    {
        Model m = fed_wire(10);
        m.segwl = 1e6;
        add("million_segments_per_wavelength", m, too_many);
    }
    {
        Model m = fed_wire(1);
        m.srcs[0].pos = 1.5;
        add("source_beyond_wire", m,
            "source 1 at 150 % of wire 1 lies outside the wire (0 to 100 %)");
    }
    {
        Model m = fed_wire(1);
        m.srcs[0].pos = kNaN;
        add("source_at_nan", m, "source 1 at nan % of wire 1 lies outside the wire (0 to 100 %)");
    }
    {
        Model m = fed_wire(1);
        Load& l = add_load(m);
        l.wire = 3;
        add("load_on_missing_wire", m, "load 1 is not on any wire");
    }
    return v;
}

TEST(MeshChecks, BadInputEndsWithAMessage) {
    for (BadCase& c : bad_cases()) {
        Mesh mesh;
        EXPECT_EQ(build(c.model, mesh), c.message) << c.name;
    }
}

// Wires on top of each other carry two currents on one surface: the
// system is singular or solves to nonsense, so the build stops. Wires that
// only meet end to end, run side by side or cross are no such pair. Both
// search modes agree.
TEST(MeshChecks, WiresOnTopOfEachOtherStopTheBuild) {
    const char* on_top = "wires 1 and 2 lie on top of each other";
    struct Case {
        const char* name;
        double w2[6];
        const char* message;
    };
    // Wire 1 runs from (0, 0, 1) to (2, 0, 1), fed at its middle.
    const Case cases[] = {
        {"duplicate", {0, 0, 1, 2, 0, 1}, on_top},
        {"reversed_duplicate", {2, 0, 1, 0, 0, 1}, on_top},
        {"partial_overlap", {1, 0, 1, 3, 0, 1}, on_top},
        {"inside", {0.5, 0, 1, 1.5, 0, 1}, on_top},
        {"covering", {-1, 0, 1, 3, 0, 1}, on_top},
        {"offset_below_tolerance", {0, 1e-7, 1, 2, 1e-7, 1}, on_top},
        {"end_to_end", {2, 0, 1, 3, 0, 1}, ""},
        {"collinear_with_gap", {2.5, 0, 1, 3, 0, 1}, ""},
        {"side_by_side", {0, 0.0015, 1, 2, 0.0015, 1}, ""},
        {"slightly_skewed", {0, 0, 1.001, 2, 0, 1.003}, ""},
    };
    for (const Case& c : cases) {
        for (bool linear : {false, true}) {
            Model m = native_model(15e6);
            add_w(m, 0, 0, 1, 2, 0, 1);
            add_w(m, c.w2[0], c.w2[1], c.w2[2], c.w2[3], c.w2[4], c.w2[5]);
            add_s(m, 0, 0.5);
            add_s(m, 1, 0.5);
            Mesh mesh;
            std::string err;
            int rc = mesh_build_core_with(m, mesh, err, linear);
            EXPECT_EQ(err, c.message) << c.name << (linear ? " (plain scan)" : "");
            EXPECT_EQ(rc, *c.message ? -1 : 0) << c.name;
        }
    }
    // The same for a NEC deck, where a copy laid onto its original is an
    // easy slip (a wire on the axis of a rotation).
    Model m = nec_model();
    add_w(m, 0, 0, 1, 0, 0, 6, 0.001, 11, 1);
    add_w(m, 0, 0, 1, 0, 0, 6, 0.001, 11, 2);
    add_nec_src(m, 1, 6);
    Mesh mesh;
    EXPECT_EQ(build(m, mesh), on_top);
}

// Tolerances of the ground check: (M + 1) 1e-9 below the plane is still on
// it; free space takes any z.
TEST(MeshChecks, GroundToleranceAndFreeSpace) {
    Model m = native_model(15e6);
    m.ground = GROUND_PERFECT;
    add_w(m, 1, 0, -1e-10, 1, 0, 1);
    add_s(m, 0, 0.5);
    Mesh mesh;
    EXPECT_EQ(build(m, mesh), "");
    EXPECT_TRUE(mesh.node[0].grounded);

    Model f = native_model(15e6);
    add_w(f, 0, 0, -10, 0, 0, -5);
    add_s(f, 0, 0.5);
    EXPECT_EQ(build(f, mesh), "");
}

// Tiny and huge wires still give a defined mesh when the numbers allow it.
TEST(MeshChecks, ExtremeLengthsGiveDefinedMeshes) {
    {
        Model m = fed_wire(1e-6);
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        EXPECT_EQ(mesh.nseg(), 2);
        EXPECT_EQ(mesh.nunk(), 1);
        EXPECT_EQ(
            mesh.warnings[0],
            "segment length / radius = 0.00 (should be > 2; thin-wire approximation is poor)");
    }
    {
        // A million segments on a 10 m wire of 1 mm radius: the floor of
        // two radii per segment leaves 5000.
        Model m = fed_wire(10, 0.001, 1000000);
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        EXPECT_EQ(mesh.nseg(), 5000);
    }
    {
        Model m = fed_wire(1e30, 0.001, 11);
        Mesh mesh;
        ASSERT_EQ(build(m, mesh), "");
        EXPECT_EQ(mesh.nseg(), 12);
        for (const Segment& s : mesh.seg) EXPECT_NEAR(s.len, 1e30 / 12, 1e16);
        for (const std::string& w : mesh.warnings) EXPECT_LE(w.size(), 199u);
    }
}

// Statistics and the warnings about segment proportions.
struct WarnCase {
    const char* name;
    Model model;
    std::vector<std::string> warnings;
};

std::vector<WarnCase> warn_cases() {
    std::vector<WarnCase> v;
    v.push_back({"lr_3", fed_wire(0.006), {"segment length / radius = 3.00 (> 4 recommended)"}});
    v.push_back(
        {"lr_1_5",
         fed_wire(0.003),
         {"segment length / radius = 1.50 (should be > 2; thin-wire approximation is poor)"}});
    v.push_back({"lr_4_is_fine", fed_wire(0.008), {}});
    // lambda = 10 m exactly: segments of 1 m are not too long, 1.5 m are.
    v.push_back({"tenth_wavelength", fed_wire(2, 0.001, 2, 29979245.8), {}});
    v.push_back({"longer_than_tenth",
                 fed_wire(3, 0.001, 2, 29979245.8),
                 {"longest segment is 0.150 wavelengths (< 0.1 recommended)"}});
    {
        Model m = native_model(1e6);
        add_w(m, 0, 0, 1, 1, 0, 1, 0.001, 1);
        add_w(m, 1, 0, 1, 6, 0, 1, 0.001, 1);
        add_s(m, 0, 1.0);
        v.push_back({"ratio_5", m, {}});
        m.wires[1].x2 = 6.5;
        v.push_back({"ratio_5_5",
                     m,
                     {"adjacent segment length ratio 5.5 at a junction (< 5 recommended)"}});
    }
    {
        Model m = native_model(15e6);
        m.ground = GROUND_REAL;
        m.somm = 1;
        add_w(m, 0, 0, 0, 0, 0, 5);
        add_s(m, 0, 0.0);
        v.push_back({"real_ground_sommerfeld",
                     m,
                     {"wire touches real ground: the earth connection is idealised; the feed "
                      "resistance depends on the real ground system (radials, rods)"}});
        m.somm = 0;
        v.push_back({"real_ground_reflection",
                     m,
                     {"wire touches real ground: reflection-coefficient ground is approximate "
                      "near the ground connection"}});
        m.ground = GROUND_PERFECT;
        v.push_back({"perfect_ground", m, {}});
        m.ground = GROUND_MININEC;
        v.push_back({"mininec_ground", m, {}});
        m.ground = GROUND_REAL;
        m.wires[0].z1 = 0.5; // off the ground: no warning
        m.srcs[0].pos = 0.5;
        v.push_back({"real_ground_not_touching", m, {}});
    }
    {
        // An X through a point that is no end of either wire.
        Model m = native_model(15e6);
        add_w(m, -1, 0, 1, 1, 0, 1);
        add_w(m, 0, -1, 1, 0, 1.3, 1);
        add_s(m, 0, 0.25);
        v.push_back({"x_cross", m, {"wires 1 and 2 cross without a junction"}});
        m.wires[1].z1 = m.wires[1].z2 = 1.0015;
        v.push_back({"x_overlap", m, {"wires 1 and 2 overlap (distance 0.0015 m < sum of radii)"}});
        m.wires[1].z1 = m.wires[1].z2 = 1.0025;
        v.push_back({"x_apart", m, {}});
    }
    {
        // Parallel wires closer than their radii: the closest points are
        // ends of both, so no warning.
        Model m = native_model(15e6);
        add_w(m, 0, 0, 1, 2, 0, 1);
        add_w(m, 0, 0.0015, 1, 2, 0.0015, 1);
        add_s(m, 0, 0.5);
        add_s(m, 1, 0.5);
        v.push_back({"parallel", m, {}});
    }
    return v;
}

TEST(MeshChecks, WarningTexts) {
    for (WarnCase& c : warn_cases()) {
        Mesh mesh;
        ASSERT_EQ(build(c.model, mesh), "") << c.name;
        EXPECT_EQ(mesh.warnings, c.warnings) << c.name;
    }
}

TEST(MeshChecks, Statistics) {
    Model m = native_model(1e6);
    add_w(m, 0, 0, 1, 1, 0, 1, 0.002, 2);
    add_w(m, 1, 0, 1, 1, 0, 4, 0.001, 1);
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_DOUBLE_EQ(mesh.minlen, 0.5);
    EXPECT_DOUBLE_EQ(mesh.maxlen, 3.0);
    EXPECT_DOUBLE_EQ(mesh.minlr, 250.0);
    EXPECT_DOUBLE_EQ(mesh.maxratio, 6.0);
    // Before any build the statistics are those of an empty mesh.
    Mesh empty;
    EXPECT_EQ(empty.minlen, 1e30);
    EXPECT_EQ(empty.maxlen, 0);
    EXPECT_EQ(empty.minlr, 1e30);
    EXPECT_EQ(empty.maxratio, 1);
}

// The warnings come in a fixed order: automatic junctions (found while
// segmenting), proportions, ground, then crossings.
TEST(MeshChecks, WarningOrder) {
    Model m = native_model(15e6);
    m.ground = GROUND_REAL;
    add_w(m, 0, 0, 0, 0, 0, 0.003, 0.001);     // touches ground, one segment, lr 3
    add_w(m, 0, 0, 0.003, 1, 0, 0.003, 0.001); // 0.2 m segments: ratio 67 at the joint
    add_w(m, 2, -1, 5, 2, 1, 5);               // bar
    add_w(m, 2, 0, 3, 2, 0, 5);                // stem ending on the bar
    add_w(m, 1, 0.5, 5.1, 3, 0.5, 5.1, 0.2);   // fat wire close above the bar
    add_s(m, 0, 0.0);
    add_s(m, 2, 0.25);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    ASSERT_EQ(mesh.nwarn(), 5);
    EXPECT_EQ(mesh.warnings[0], "automatic junction: end of wire 4 joined to the middle of wire 3");
    EXPECT_EQ(mesh.warnings[1].rfind("segment length / radius = ", 0), 0u);
    EXPECT_EQ(mesh.warnings[2].rfind("adjacent segment length ratio", 0), 0u);
    EXPECT_EQ(mesh.warnings[3].rfind("wire touches real ground", 0), 0u);
    EXPECT_EQ(mesh.warnings[4], "wires 3 and 5 overlap (distance 0.1 m < sum of radii)");
}

// Twenty crossing pairs: the first ten in pair order.
TEST(MeshChecks, AtMostTenCrossings) {
    Model m = native_model(15e6);
    for (int i = 0; i < 5; ++i) add_w(m, -1, i, 1, 5, i, 1);             // wires 1..5
    for (int j = 0; j < 4; ++j) add_w(m, 0.5 + j, -1, 1, 0.5 + j, 5, 1); // wires 6..9
    add_s(m, 0, 0.5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    std::vector<std::string> want;
    for (int i = 1; i <= 5 && want.size() < 10; ++i)
        for (int j = 6; j <= 9 && want.size() < 10; ++j)
            want.push_back("wires " + std::to_string(i) + " and " + std::to_string(j) +
                           " cross without a junction");
    EXPECT_EQ(mesh.warnings, want);
}

TEST(MeshChecks, WarnKeepsSixtyFourLinesOf199Characters) {
    Mesh mesh;
    std::string longtext(300, 'x');
    warn(mesh, "%s", longtext.c_str());
    for (int i = 1; i < 70; ++i) warn(mesh, "warning %d", i);
    ASSERT_EQ(mesh.nwarn(), 64);
    EXPECT_EQ(mesh.warnings[0], std::string(199, 'x'));
    EXPECT_EQ(mesh.warnings[63], "warning 63");
}

// A build starts from an empty mesh, whatever the record held before.
TEST(MeshChecks, RebuildAndFree) {
    Model m = fed_wire(5);
    Mesh mesh;
    ASSERT_EQ(build(m, mesh), "");
    int nseg = mesh.nseg();
    ASSERT_EQ(build(m, mesh), "");
    EXPECT_EQ(mesh.nseg(), nseg);
    mesh_free(mesh);
    EXPECT_EQ(mesh.nseg(), 0);
    EXPECT_EQ(mesh.nunk(), 0);
    EXPECT_EQ(mesh.minlen, 1e30);
    mesh_free(mesh); // safe on an empty mesh
}

} // namespace
