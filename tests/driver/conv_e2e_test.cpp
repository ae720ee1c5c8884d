// The mesh convergence check (-conv): what it refines on native models and
// on NEC decks, checked against models refined by hand, and what it says
// when the segmentation cannot be refined.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "test_support.h"

namespace {

using nlohmann::json;

// The refined impedance of one run against the design impedance of the
// model refined by hand. The two meshes are the same, so the impedances
// agree to the digits results.json keeps (convzr and convzi carry 6).
void expect_same_refined_z(const ModelRun& conv, const ModelRun& by_hand) {
    ASSERT_EQ(conv.r.code, 0) << conv.r.out;
    ASSERT_EQ(by_hand.r.code, 0) << by_hand.r.out;
    const json& c = conv.j["design"];
    const json& h = by_hand.j["design"];
    EXPECT_GE(c["convdz"].get<double>(), 0);
    const double zr = h["zr"].get<double>(), zi = h["zi"].get<double>();
    const double tol = 1e-5 * std::hypot(zr, zi);
    EXPECT_NEAR(c["convzr"].get<double>(), zr, tol);
    EXPECT_NEAR(c["convzi"].get<double>(), zi, tol);
}

// Explicit segment counts are doubled with the density: a wire of 11
// segments is checked against the same wire with 22.
TEST(Convergence, NativeExplicitCountsAreDoubled) {
    const char* model = "FREQ 14.2\nWIRE 0 0 -5 0 0 5 seg=%d\nSOURCE 1 50\n";
    char text[128];
    std::snprintf(text, sizeof text, model, 11);
    ModelRun conv = run_model(write_file("w11.ant", text), {"-conv"});
    std::snprintf(text, sizeof text, model, 22);
    ModelRun by_hand = run_model(write_file("w22.ant", text));
    expect_same_refined_z(conv, by_hand);
    // 11 segments of a 10 m dipole at 14.2 MHz are coarse: the change is
    // real, not the 0 of a mesh that was never refined.
    EXPECT_GT(conv.j["design"]["convdz"].get<double>(), 1e-3);
}

// Automatic segmentation: twice the segments per wavelength, and half the
// largest bend per piece of a curve.
TEST(Convergence, NativeDensityAndBendAreRefined) {
    ModelRun conv = run_model(
        write_file("helix.ant", "FREQ 300\nHELIX 0 0 0 0.05 0.08 3 r=0.001\nSOURCE curve1 0\n"
                                "GROUND perfect\n"),
        {"-conv"});
    ModelRun by_hand = run_model(
        write_file("helix2.ant", "FREQ 300\nHELIX 0 0 0 0.05 0.08 3 r=0.001\nSOURCE curve1 0\n"
                                 "GROUND perfect\nMESH segwl=60 angle=6\n"));
    expect_same_refined_z(conv, by_hand);
}

// A NEC deck has every segment cut in two: the 21-segment dipole fed on its
// centre segment becomes 42 equal segments fed at the centre, the mesh of a
// native wire of 42 segments fed at 50 %.
TEST(Convergence, NecSegmentsAreHalved) {
    ModelRun conv = run_model(write_file("d.nec", "CM dipole\nCE\nGW 1 21 0 0 -5 0 0 5 0.001\n"
                                                  "GE 0\nEX 0 1 11 0 1 0\nFR 0 1 0 0 14.2 0\nEN\n"),
                              {"-conv"});
    ModelRun by_hand = run_model(write_file(
        "d.ant", "FREQ 14.2\nWIRE 0 0 -5 0 0 5 r=0.001 seg=42\nSOURCE 1 50\nMESH taper=off\n"));
    expect_same_refined_z(conv, by_hand);
    EXPECT_NE(conv.r.out.find("  Mesh convergence: Z with twice the segments "), std::string::npos);
}

// Loads over a range of segments, a lumped load and a source addressed by
// its absolute segment number (tag 0) keep their places and values. The
// deck refined by hand cuts the wire into pieces so that each port's
// segment is one piece of twice the refined length (which the mesher
// halves): 10 segments, the fed segment, 4 segments, the loaded segment, 4
// segments. The load that covered deck segments 3 to 5 covers segments 5 to
// 10 at half the value each, the same impedance per metre.
TEST(Convergence, NecLoadsAndAbsoluteSegmentsKeepTheirPlaces) {
    ModelRun conv =
        run_model(write_file("ld.nec", "CM loaded\nCE\nGW 1 11 0 0 -5 0 0 5 0.001\nGE 0\n"
                                       "LD 4 1 3 5 20 30\nLD 0 1 9 9 5 1e-6\nEX 0 0 6 0 1 0\n"
                                       "FR 0 1 0 0 14.2 0\nEN\n"),
                  {"-conv"});
    // Point k of the refined wire, k segments of 10/22 m from its start.
    auto z = [](int k) { return -5 + 10.0 * k / 22; };
    char text[640];
    std::snprintf(text, sizeof text,
                  "CM loaded, refined by hand\nCE\nGW 1 10 0 0 -5 0 0 %.17g 0.001\n"
                  "GW 1 1 0 0 %.17g 0 0 %.17g 0.001\nGW 1 4 0 0 %.17g 0 0 %.17g 0.001\n"
                  "GW 1 1 0 0 %.17g 0 0 %.17g 0.001\nGW 1 4 0 0 %.17g 0 0 5 0.001\nGE 0\n"
                  "LD 4 1 5 10 10 15\nLD 0 1 16 16 5 1e-6\nEX 0 1 11 0 1 0\n"
                  "FR 0 1 0 0 14.2 0\nEN\n",
                  z(10), z(10), z(12), z(12), z(16), z(16), z(18), z(18));
    ModelRun by_hand = run_model(write_file("ld2.nec", text));
    expect_same_refined_z(conv, by_hand);
}

// A short thick dipole has one segment per half at any density that is not
// below a few radii: doubling the density gives no more segments, and the
// report says so instead of a change of 0 %.
TEST(Convergence, ASegmentationThatCannotBeRefinedIsSaid) {
    ModelRun d = run_model(
        write_file("stub.ant", "FREQ 14.2\nWIRE 0 0 -0.05 0 0 0.05 r=0.02\nSOURCE 1 50\n"),
        {"-conv"});
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    EXPECT_EQ(d.j["design"]["convdz"].get<double>(), -1);
    EXPECT_EQ(d.j["design"]["convzr"].get<double>(), 0);
    EXPECT_NE(d.r.out.find("  Mesh convergence: the segmentation could not be refined (twice the "
                           "segment density still gives 2 segments)\n"),
              std::string::npos)
        << d.r.out;
    EXPECT_EQ(d.r.out.find("change"), std::string::npos);
}

// The extrapolated impedance is given only while the two meshes are close
// enough for the error to fall linearly with the segment length: a 3-segment
// dipole (24.5 % change) and a 2-segment-per-turn helix (264 %) get the
// note and null in results.json, an 11-segment dipole (3.5 %) gets 2 Z2 - Z1.
TEST(Convergence, EstimateOnlyWhereTheMeshesAreClose) {
    struct Case {
        const char* name;
        const char* text;
        bool estimate;
    };
    const Case cases[] = {
        {"d3.ant", "FREQ 14.2\nWIRE 0 -5.28 10 0 5.28 10 r=0.001 seg=3\nSOURCE 1 50\n", false},
        {"d11.ant", "FREQ 14.2\nWIRE 0 -5.28 10 0 5.28 10 r=0.001 seg=11\nSOURCE 1 50\n", true},
        {"gh2.nec",
         "CM helix\nCE\nGH 1 2 0.1 1.0 0.1 0.1 0.1 0.1 0.001\nGE 0\nEX 0 1 1 0 1 0\n"
         "FR 0 1 0 0 300 0\nEN\n",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModelRun r = run_model(write_file(c.name, c.text), {"-conv"});
        ASSERT_EQ(r.r.code, 0) << r.r.out;
        const json& d = r.j["design"];
        ASSERT_GE(d["convdz"].get<double>(), 0);
        const bool shown = r.r.out.find("estimated converged Z") != std::string::npos;
        const bool noted = r.r.out.find("  Mesh convergence: no converged estimate (the two meshes "
                                        "are too far apart to extrapolate; refine the "
                                        "segmentation)\n") != std::string::npos;
        EXPECT_EQ(shown, c.estimate) << r.r.out;
        EXPECT_EQ(noted, !c.estimate) << r.r.out;
        if (c.estimate) {
            const double er = 2 * d["convzr"].get<double>() - d["zr"].get<double>();
            const double ei = 2 * d["convzi"].get<double>() - d["zi"].get<double>();
            EXPECT_NEAR(d["convestzr"].get<double>(), er, 1e-4 * std::abs(er));
            EXPECT_NEAR(d["convestzi"].get<double>(), ei, 1e-4 * std::hypot(er, ei));
        } else {
            EXPECT_TRUE(d["convestzr"].is_null());
            EXPECT_TRUE(d["convestzi"].is_null());
        }
    }
}

} // namespace
