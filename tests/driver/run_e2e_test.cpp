// Whole runs of the quarlin binary on the bundled models: the report, the
// numbers it gives against antenna physics, and results.json.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "test_support.h"

namespace {

using nlohmann::json;

// Values of the key in the report line that starts with the given text.
std::string report_line(const std::string& out, const std::string& start) {
    size_t p = out.find(start);
    if (p == std::string::npos) return "";
    return out.substr(p, out.find('\n', p) - p);
}

TEST(Runs, HalfWaveDipoleInFreeSpace) {
    ModelRun d = run_model(source_path("examples/dipole_free.ant"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    const json& des = d.j["design"];
    // A dipole of exactly half a wavelength, radius 1 mm: a converged
    // thin-wire solution gives about 79.5 + j46 ohm (73 + j42.5 only in the
    // limit of a vanishing radius). 3 % on R, 3 ohm on X.
    EXPECT_NEAR(des["zr"].get<double>(), 79.5, 0.03 * 79.5);
    EXPECT_NEAR(des["zi"].get<double>(), 46, 3);
    // Broadside gain of a half-wave dipole: 2.15 dBi, omnidirectional in
    // azimuth, 78 degrees between the half-power points in elevation.
    EXPECT_NEAR(des["gmax"].get<double>(), 2.15, 0.05);
    EXPECT_NEAR(des["thmax"].get<double>(), 90, 0.5);
    EXPECT_EQ(des["bwaz"].get<double>(), 360);
    EXPECT_NEAR(des["bwel"].get<double>(), 78, 1.5);
    EXPECT_NEAR(des["fb"].get<double>(), 0, 0.01);
    // Lossless: everything fed in is radiated (the average gain test).
    EXPECT_NEAR(des["agt"].get<double>(), 1, 0.01);
    EXPECT_NEAR(des["prad"].get<double>(), des["pin"].get<double>(),
                0.01 * des["pin"].get<double>());
    EXPECT_NE(report_line(d.r.out, "  Average gain test 1.0000 (0.000 dB)"), "");

    // The resonance lies below the half-wave frequency (the reactance of a
    // half-wave dipole is inductive) and within one sweep step of the
    // sweep's reactance zero.
    double fres = des["fres"].get<double>();
    EXPECT_GT(fres, 13.2);
    EXPECT_LT(fres, 14.2);
    const json& sw = d.j["sweep"];
    ASSERT_EQ(sw.size(), 21u);
    bool bracketed = false;
    for (size_t i = 1; i < sw.size(); ++i) {
        double f1 = sw[i - 1][0].get<double>() / 1e6, f2 = sw[i][0].get<double>() / 1e6;
        double x1 = sw[i - 1][2].get<double>(), x2 = sw[i][2].get<double>();
        if (x1 < 0 && x2 >= 0) {
            bracketed = true;
            EXPECT_GE(fres, f1);
            EXPECT_LE(fres, f2);
        }
    }
    EXPECT_TRUE(bracketed);

    // The report shows the same design figures.
    EXPECT_NE(report_line(d.r.out, "  Max gain         ").find("at elevation 0.0 deg"),
              std::string::npos);
    EXPECT_NE(d.r.out.find("Results written to"), std::string::npos);
}

// The front/back of a pattern symmetric about its maximum is a rounding
// residue of either sign (over real ground it comes out negative at some
// sweep points); the report shows it as 0.00, never -0.00.
TEST(Runs, SymmetricFrontBackIsShownAsZero) {
    ModelRun d = run_model(source_path("examples/dipole.ant"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    EXPECT_NE(report_line(d.r.out, "  Front/back       0.00 dB"), "");
    EXPECT_EQ(d.r.out.find(" -0.00\n"), std::string::npos) << d.r.out;
}

TEST(Runs, QuarterWaveMonopoleIsHalfTheDipole) {
    ModelRun d = run_model(source_path("examples/dipole_free.ant"));
    ModelRun m = run_model(source_path("examples/monopole.ant"));
    ASSERT_EQ(m.r.code, 0) << m.r.out;
    const json& md = m.j["design"];
    const json& dd = d.j["design"];
    // Image theory: half the impedance, 3 dB more gain, at the horizon.
    EXPECT_NEAR(md["zr"].get<double>(), dd["zr"].get<double>() / 2,
                0.03 * dd["zr"].get<double>() / 2);
    EXPECT_NEAR(md["zi"].get<double>(), dd["zi"].get<double>() / 2,
                0.03 * dd["zr"].get<double>() / 2);
    EXPECT_NEAR(md["gmax"].get<double>(), 5.15, 0.1);
    EXPECT_GT(md["thmax"].get<double>(), 89);
    EXPECT_LE(md["thmax"].get<double>(), 89.95);
    EXPECT_EQ(md["bwaz"].get<double>(), 360);
    EXPECT_EQ(md["bwel"].get<double>(), 0);        // runs into the horizon
    EXPECT_NEAR(md["agt"].get<double>(), 1, 0.01); // over the upper hemisphere
    EXPECT_EQ(m.j["ground"], "perfect ground");
    EXPECT_EQ(m.j["pattern"]["nth"], 46); // the upper hemisphere only
    EXPECT_EQ(m.j["pattern"]["nph"], 73);
}

TEST(Runs, ThreeElementYagi) {
    ModelRun y = run_model(source_path("examples/yagi3.ant"));
    ASSERT_EQ(y.r.code, 0) << y.r.out;
    const json& d = y.j["design"];
    // Published three-element designs on a 0.35-wavelength boom give about
    // 8 to 9 dBi in free space with 12 to 25 dB front/back, and a feed
    // resistance of 15 to 30 ohm.
    EXPECT_GT(d["gmax"].get<double>(), 7.5);
    EXPECT_LT(d["gmax"].get<double>(), 9.5);
    EXPECT_GT(d["fb"].get<double>(), 12);
    EXPECT_LT(d["fb"].get<double>(), 25);
    EXPECT_GT(d["zr"].get<double>(), 12);
    EXPECT_LT(d["zr"].get<double>(), 30);
    double ph = d["phmax"].get<double>();
    EXPECT_TRUE(ph < 1 || ph > 359) << ph; // toward +x
    EXPECT_NEAR(d["thmax"].get<double>(), 90, 1);
    // Aluminium elements of 25 mm at a 17-ohm feed lose about 1 %.
    EXPECT_GT(d["eff"].get<double>(), 0.97);
    EXPECT_LT(d["eff"].get<double>(), 0.999);
    EXPECT_NE(y.r.out.find("(includes losses)"), std::string::npos);
    EXPECT_GT(d["bwaz"].get<double>(), 50);
    EXPECT_LT(d["bwaz"].get<double>(), 75);
}

TEST(Runs, ResultsJsonStructure) {
    ModelRun d = run_model(source_path("examples/dipole_free.ant"));
    ASSERT_EQ(d.r.code, 0);
    const json& j = d.j;
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    // nlohmann::json sorts keys; the order on disk is checked on the text.
    std::string text = read_file(test_dir() + "/out/results.json");
    const char* order[] = {"\"program\"", "\"title\"",  "\"input\"", "\"f0\"",     "\"ground\"",
                           "\"somm\"",    "\"eps\"",    "\"sigma\"", "\"pcb\"",    "\"z0ref\"",
                           "\"runtime\"", "\"mesh\"",   "\"wires\"", "\"segs\"",   "\"sources\"",
                           "\"loads\"",   "\"tlines\"", "\"sweep\"", "\"design\"", "\"match\"",
                           "\"pattern\""};
    size_t pos = 0;
    for (const char* k : order) {
        size_t p = text.find(k, pos);
        ASSERT_NE(p, std::string::npos) << k;
        pos = p;
    }
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    EXPECT_EQ(j["program"], "Quarlin 1.1");
    EXPECT_EQ(j["title"], "Half-wave dipole, free space, 14.2 MHz");

    int nseg = j["mesh"]["nseg"];
    ASSERT_EQ(j["segs"].size(), static_cast<size_t>(nseg));
    for (const json& s : j["segs"]) {
        ASSERT_EQ(s.size(), 16u);
        // The current is linear along a segment: the centre value is the
        // mean of the end values (magnitudes and phases printed to 5 digits).
        std::complex<double> a = std::polar(s[7].get<double>(), s[10].get<double>() * M_PI / 180);
        std::complex<double> b = std::polar(s[8].get<double>(), s[11].get<double>() * M_PI / 180);
        std::complex<double> c = std::polar(s[9].get<double>(), s[12].get<double>() * M_PI / 180);
        EXPECT_NEAR(std::abs(c - (a + b) / 2.0), 0, 1e-4 * std::abs(c) + 1e-9);
    }
    // The source: 1 V at the feed, I = V / Z.
    ASSERT_EQ(j["sources"].size(), 1u);
    const json& s = j["sources"][0];
    std::complex<double> z(j["design"]["zr"].get<double>(), j["design"]["zi"].get<double>());
    std::complex<double> i(s["ir"].get<double>(), s["ii"].get<double>());
    EXPECT_NEAR(std::abs(i - 1.0 / z), 0, 1e-5 * std::abs(i));
    EXPECT_NEAR(s["z"].get<double>(), 0, 1e-12);
    EXPECT_TRUE(j["loads"].empty());
    EXPECT_TRUE(j["tlines"].empty());
    EXPECT_EQ(j["match"].size(), 2u);
    EXPECT_EQ(j["pattern"]["nth"], 91);
    EXPECT_EQ(j["pattern"]["nph"], 73);
    for (const char* ch : {"gt", "gv", "gh", "gr", "gl"})
        EXPECT_EQ(j["pattern"][ch].size(), 91u * 73u);
    // The dipole lies along z: no phi-polarised field, and nothing along the axis.
    EXPECT_EQ(j["pattern"]["gh"][45 * 73].get<double>(), -99);
    EXPECT_EQ(j["pattern"]["gt"][0].get<double>(), -99);
    EXPECT_NEAR(j["pattern"]["gt"][45 * 73].get<double>(), 2.15, 0.06);
}

TEST(Runs, QuietRunPrintsNothing) {
    ModelRun d = run_model(source_path("examples/monopole.ant"), {"-q"});
    EXPECT_EQ(d.r.code, 0);
    EXPECT_EQ(d.r.out, "");
    EXPECT_EQ(d.r.err, "");
    EXPECT_FALSE(d.j.empty());
}

TEST(Runs, SinglePointSweepAndPatternOverrides) {
    std::string model = write_file(
        "one.ant", "WIRE 0 0 -2.5 0 0 2.5\nSOURCE 1 50\nFREQ 28\nPATTERN dth=10 dph=30\n");
    ModelRun d = run_model(model, {"-dth", "7"});
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    ASSERT_EQ(d.j["sweep"].size(), 1u);
    EXPECT_EQ(d.j["sweep"][0][0].get<double>(), 28e6);
    EXPECT_EQ(d.j["design"]["fres"].get<double>(), -1);
    EXPECT_EQ(d.j["design"]["fpeak"].get<double>(), -1);
    EXPECT_EQ(d.j["pattern"]["dth"].get<double>(), 7);
    EXPECT_EQ(d.j["pattern"]["nth"], 26); // 0 .. 175 degrees
    EXPECT_EQ(d.j["pattern"]["nph"], 13); // 0 .. 360 in 30-degree steps
    // A table of one row at the design frequency.
    EXPECT_NE(d.r.out.find("\n   28.000000 "), std::string::npos);

    ModelRun e = run_model(model); // the model's own steps
    EXPECT_EQ(e.j["pattern"]["nth"], 19);
}

TEST(Runs, EmptyPatternGrid) {
    std::string model =
        write_file("nogrid.ant", "WIRE 0 0 -2.5 0 0 2.5\nSOURCE 1 50\nFREQ 28\nPATTERN dth=0\n");
    ModelRun d = run_model(model);
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    EXPECT_EQ(d.j["pattern"]["nth"], 0);
    EXPECT_TRUE(d.j["pattern"]["gt"].empty());
    EXPECT_TRUE(d.j["pattern"]["gl"].empty());
}

TEST(Runs, PatternStepTooFineIsRefused) {
    std::string model = write_file("fine.ant", "WIRE 0 0 -2.5 0 0 2.5\nSOURCE 1 50\nFREQ 28\n");
    ModelRun d = run_model(model, {"-dph", "0.0001"});
    EXPECT_EQ(d.r.code, 2);
    EXPECT_EQ(d.r.out,
              "ERROR: pattern step 0.0001 deg is below the smallest supported step of 0.1 deg\n");
}

TEST(Runs, ConvergenceRunKeepsTheDesignMesh) {
    ModelRun plain = run_model(source_path("examples/dipole_free.ant"), {"-q"});
    ModelRun conv = run_model(source_path("examples/dipole_free.ant"), {"-conv"});
    ASSERT_EQ(conv.r.code, 0);
    double dz = conv.j["design"]["convdz"].get<double>();
    EXPECT_GE(dz, 0);
    EXPECT_LT(dz, 0.05); // doubling the segments moves Z by a few percent at most
    EXPECT_NE(conv.j["design"]["convzr"].get<double>(), 0);
    EXPECT_NE(report_line(conv.r.out, "  Mesh convergence: Z with twice the segments"), "");
    EXPECT_EQ(plain.j["sources"], conv.j["sources"]);
    EXPECT_EQ(plain.j["design"]["zr"], conv.j["design"]["zr"]);
    EXPECT_EQ(plain.j["design"]["convdz"].get<double>(), -1);
    EXPECT_EQ(report_line(plain.r.out, "  Mesh convergence"), "");
}

// A title saved in Latin-1 by an older editor, and a wire name with a stray
// byte: both JSON files stay valid UTF-8 JSON, the Latin-1 letters read as
// themselves.
TEST(Runs, TitlesThatAreNotUtf8StillGiveValidJson) {
    std::string model = write_file("latin1.ant", "TITLE Antenne f\xfcr 40 m\nFREQ 7.1 MHz\n"
                                                 "WIRE 0 -10 10 0 10 10 name=\x80"
                                                 "dip\nSOURCE 1 50\n");
    ModelRun d = run_model(model);
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    EXPECT_EQ(d.j["title"].get<std::string>(), "Antenne f\xc3\xbcr 40 m");
    RunResult r = run_quarlin({model, "-mesh", "-q", "-o", "meshout"});
    ASSERT_EQ(r.code, 0);
    json mj = json::parse(read_file(test_dir() + "/meshout/mesh.json"));
    EXPECT_EQ(mj["title"].get<std::string>(), "Antenne f\xc3\xbcr 40 m");
}

// A dipole lying in a reflection-coefficient ground is outside what the
// kernel represents: its solution takes negative power from the source. The
// run stops with the reason instead of printing a NaN gain. An antenna with
// a negative-resistance load is active and may return power: it is solved.
TEST(Runs, NegativeInputPowerOfAPassiveAntennaIsAnError) {
    std::string on_ground =
        write_file("on_ground.ant", "FREQ 14.2 MHz\nGROUND real eps=13 sigma=0.005\n"
                                    "WIRE 0 -5 0 0 5 0 r=0.001\nSOURCE 1 50\n");
    ModelRun d = run_model(on_ground, {"-q"});
    EXPECT_EQ(d.r.code, 4);
    EXPECT_NE(d.r.out.find("ERROR: the solution is not physical (input power -"), std::string::npos)
        << d.r.out;
    EXPECT_NE(d.r.out.find("W of a passive antenna) at 14.2 MHz\n"), std::string::npos) << d.r.out;

    std::string active = write_file("active.ant", "FREQ 14.2 MHz\nWIRE 0 -5 10 0 5 10 r=0.001\n"
                                                  "SOURCE 1 50\nLOAD 1 50 R=-200\n");
    ModelRun a = run_model(active, {"-q"});
    ASSERT_EQ(a.r.code, 0) << a.r.out;
    EXPECT_LT(a.j["design"]["pin"].get<double>(), 0);
    EXPECT_NEAR(a.j["design"]["zr"].get<double>(), -133.8, 1);
}

// Powers that overflow a double (a source of 1e300 V, a wire radius of
// 1e152 m) end the run with the reason instead of inf and nan figures.
TEST(Runs, OverflowingPowersAreErrors) {
    struct Case {
        const char* deck;
        const char* out;
    };
    const Case cases[] = {
        {"GW 1 21 0 -6 10 0 6 10 0.001\nGE 0\nEX 0 1 11 0 1e300 0\n",
         "ERROR: the input power overflows (source voltages out of range) at 14.2 MHz\n"},
        // A quiet run still gives the mesh's warnings about such a radius.
        {"GW 1 21 0 -6 10 0 6 10 1e152\nGE 0\nEX 0 1 11 0 1 0\n",
         "WARNING: the port on segment 11 of tag 1 splits it into halves of 0.00 radii (< 4: the "
         "thin-wire kernel is poor there; NEC-2 does not split port segments)\nWARNING: segment "
         "length / radius = 0.00 (should be > 2; thin-wire approximation is poor)\nERROR: the "
         "radiated power overflows (source voltages or wire radii out of range)\n"},
    };
    for (const Case& c : cases) {
        std::string deck =
            write_file("big.nec", std::string("CM big\nCE\n") + c.deck + "FR 0 1 0 0 14.2 0\nEN\n");
        RunResult r = run_quarlin({deck, "-q", "-o", "bigout"});
        EXPECT_EQ(r.code, 4) << c.deck;
        EXPECT_EQ(r.out, c.out) << c.deck;
    }
}

TEST(Runs, MeshErrorsExitThree) {
    std::string model = write_file("free_end.ant", "WIRE 0 0 0 0 0 1 seg=1\nSOURCE 1 0\nFREQ 28\n");
    ModelRun d = run_model(model);
    EXPECT_EQ(d.r.code, 3);
    EXPECT_EQ(d.r.out,
              "ERROR: the structure has no current unknowns (single straight segments?)\n");
}

TEST(Runs, UnwritableResultsAreReportedAndNothingIsCorrupted) {
    std::string model = source_path("examples/monopole.ant");
    // The output directory cannot be made: a file stands in its place.
    std::string blocker = write_file("blocker", "not a directory\n");
    RunResult r = run_quarlin({model, "-o", blocker + "/sub"});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "ERROR: cannot create the output directory '" + blocker +
                         "/sub' (Not a directory)\n");

    // results.json cannot replace what stands there: the old entry stays
    // and no temporary file is left behind.
    std::string out = test_dir() + "/busy";
    std::filesystem::create_directories(out + "/results.json/keep");
    r = run_quarlin({model, "-q", "-o", out});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "ERROR: cannot write " + out + "/results.json\n");
    EXPECT_TRUE(std::filesystem::is_directory(out + "/results.json/keep"));
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(out)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(Runs, AGoodResultsFileIsReplacedWhole) {
    std::string out = test_dir() + "/again";
    RunResult r1 = run_quarlin({source_path("examples/monopole.ant"), "-q", "-o", out});
    ASSERT_EQ(r1.code, 0);
    RunResult r2 = run_quarlin({source_path("examples/dipole_free.ant"), "-q", "-o", out});
    ASSERT_EQ(r2.code, 0);
    json j = json::parse(read_file(out + "/results.json"));
    EXPECT_EQ(j["ground"], "free space");
}

} // namespace
