// Whole runs with a reflector: the example dishes, the report lines, the
// "dish" object of results.json and the design figures it replaces, and
// reflectors over a ground or at the edge of the method.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "test_support.h"

namespace {

using nlohmann::json;
constexpr double kPi = 3.141592653589793;

// A coarse pattern grid where the test does not look at the pattern.
const std::vector<std::string> kCoarse = {"-dth", "10", "-dph", "30"};

std::string report_line(const std::string& out, const std::string& start) {
    size_t p = out.find(start);
    if (p == std::string::npos) return "";
    return out.substr(p, out.find('\n', p) - p);
}

// A dipole at the focus (the wire antenna every model needs) and a DISH line.
std::string dish_model(const std::string& dish, const std::string& extra = "") {
    return write_file("dish.ant", cat({"FREQ 299.792458\n"
                                       "WIRE -0.235 0 0 0.235 0 0 r=0.0005 name=feed\n"
                                       "SOURCE feed 50\n",
                                       dish, "\n", extra, "\n"}));
}

// Aperture efficiency of a cos^2 field feed by aperture integration,
// 40 [sin^4(t0/2) + ln cos(t0/2)]^2 cot^2(t0/2) (Silver, Microwave Antenna
// Theory and Design, sec. 12.5; Stutzman and Thiele, sec. 8.4).
double eta_q2(double fd) {
    const double h = std::atan(1 / (4 * fd));
    return 40 * std::pow(std::pow(std::sin(h), 4) + std::log(std::cos(h)), 2) /
           std::pow(std::tan(h), 2);
}

TEST(DishRuns, AnalyticFeedExample) {
    ModelRun d = run_model(source_path("examples/dish_cosq.ant"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    const json& s = d.j["dish"];
    // Key order as written.
    const char* keys[] = {"D",         "F",       "fd",     "mesh",   "wire",      "block",
                          "q",         "gain",    "gideal", "eta_ap", "eta_spill", "eta_ill",
                          "mesh_refl", "edge_db", "theta0", "hpbw_e", "hpbw_h",    "sll_e",
                          "sll_h",     "npts",    "cut_th", "cut_e",  "cut_h"};
    size_t pos = d.text.find(",\"dish\":{\"D\":");
    ASSERT_NE(pos, std::string::npos);
    EXPECT_LT(d.text.find("\"match\":["), pos);
    EXPECT_LT(pos, d.text.find(",\"pattern\":{"));
    for (const char* k : keys) {
        size_t p = d.text.find(cat({"\"", k, "\":"}), pos);
        EXPECT_NE(p, std::string::npos) << k;
        pos = p;
    }
    EXPECT_EQ(s["npts"].get<int>(), 5064);
    EXPECT_EQ(s["cut_th"].size(), 761u);
    EXPECT_EQ(s["cut_e"].size(), 761u);
    EXPECT_EQ(s["cut_h"].size(), 761u);
    EXPECT_EQ(s["q"].get<double>(), 2);
    EXPECT_NEAR(s["fd"].get<double>(), 0.4, 1e-12);
    EXPECT_NEAR(s["theta0"].get<double>(), 64.0108, 1e-4);
    EXPECT_NEAR(s["gideal"].get<double>(), 20 * std::log10(10 * kPi), 1e-4);
    EXPECT_NEAR(10 * std::log10(s["eta_ap"].get<double>() / eta_q2(0.4)), 0, 0.05);
    EXPECT_NEAR(s["eta_spill"].get<double>(), 1 - std::pow(std::cos(64.0108 * kPi / 180), 5), 1e-4);
    EXPECT_EQ(s["mesh_refl"].get<double>(), 1);

    // The reflector's figures in the design record and in the report.
    const json& des = d.j["design"];
    EXPECT_NEAR(des["gmax"].get<double>(), s["gain"].get<double>(), 1e-3);
    EXPECT_EQ(des["thmax"].get<double>(), 0);
    EXPECT_EQ(des["phmax"].get<double>(), 0);
    EXPECT_NEAR(des["fb"].get<double>(),
                s["cut_e"][0].get<double>() - s["cut_e"][760].get<double>(), 2e-3);
    EXPECT_NEAR(des["bwaz"].get<double>(), s["hpbw_h"].get<double>(), 1e-3);
    EXPECT_NEAR(des["bwel"].get<double>(), s["hpbw_e"].get<double>(), 1e-3);
    // The pattern is the reflector system's: its peak on the axis.
    const json& gt = d.j["pattern"]["gt"];
    ASSERT_EQ(gt.size(), 91u * 73u);
    double peak = -1000;
    for (const json& g : gt) peak = std::max(peak, g.get<double>());
    EXPECT_NEAR(peak, s["gain"].get<double>(), 0.01);
    EXPECT_NEAR(gt[0].get<double>(), s["gain"].get<double>(), 0.01);

    EXPECT_EQ(report_line(d.r.out, "  Max gain"), "");
    EXPECT_EQ(report_line(d.r.out, "\nParabolic reflector"), "");
    EXPECT_EQ(report_line(d.r.out, "Parabolic reflector"),
              "Parabolic reflector (physical optics, feed = analytic cos^q)");
    EXPECT_EQ(report_line(d.r.out, "  Diameter"),
              "  Diameter 0.2998 m, focal length 0.1199 m, F/D 0.400, rim angle 64.0 deg, 10.0 "
              "wavelengths, 5064 surface points");
    char line[200];
    std::snprintf(line, sizeof line,
                  "  Gain             %.2f dBi on the axis (ideal uniform aperture 29.94 dBi)",
                  s["gain"].get<double>());
    EXPECT_EQ(report_line(d.r.out, "  Gain  "), line);
    std::snprintf(line, sizeof line,
                  "  Aperture efficiency %.1f %% = spillover %.1f %% x illumination %.1f %%",
                  100 * s["eta_ap"].get<double>(), 100 * s["eta_spill"].get<double>(),
                  100 * s["eta_ill"].get<double>());
    EXPECT_EQ(report_line(d.r.out, "  Aperture efficiency"), line);
    EXPECT_EQ(report_line(d.r.out, "  Edge illumination"),
              "  Edge illumination -17.2 dB (feed pattern and spreading)");
    EXPECT_NE(report_line(d.r.out, "  3-dB beam width  E-plane (xz) 7.1"), "");
    EXPECT_NE(report_line(d.r.out, "  First side lobe  E-plane -"), "");
    // The order: reflector lines, then the front/back line.
    EXPECT_LT(d.r.out.find("Parabolic reflector"), d.r.out.find("  Diameter"));
    EXPECT_LT(d.r.out.find("  First side lobe"), d.r.out.find("  Front/back"));
    EXPECT_EQ(report_line(d.r.out, "  Wire mesh"), "");
    EXPECT_EQ(report_line(d.r.out, "  Central blockage"), "");
    EXPECT_EQ(report_line(d.r.out, "WARNING"), "");
}

TEST(DishRuns, DipoleFeedExample) {
    ModelRun d = run_model(source_path("examples/dish_dipole.ant"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    const json& s = d.j["dish"];
    EXPECT_EQ(s["q"].get<double>(), 0);
    EXPECT_EQ(report_line(d.r.out, "Parabolic reflector"),
              "Parabolic reflector (physical optics, feed = the wire antenna above)");
    // The dipole's pattern is narrower along its wire (x): the dish's
    // E-plane beam is the wider one.
    EXPECT_GT(s["hpbw_e"].get<double>(), 1.1 * s["hpbw_h"].get<double>());
    EXPECT_GT(s["gain"].get<double>(), 20);
    EXPECT_LT(s["gain"].get<double>(), s["gideal"].get<double>());
    EXPECT_NEAR(d.j["design"]["bwel"].get<double>(), s["hpbw_e"].get<double>(), 1e-3);
    // The sweep row keeps the dipole's own figures.
    EXPECT_NEAR(d.j["sweep"][0][4].get<double>(), 2.1, 0.1);
}

// Mesh, blockage and the illumination above 100 % of a dipole feed whose
// forward radiation adds to the axis gain in phase.
TEST(DishRuns, MeshBlockageAndDirectRadiationLines) {
    ModelRun d = run_model(dish_model("DISH D=4 FD=0.6 mesh=0.1 wire=4mm block=0.5"), kCoarse);
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    const json& s = d.j["dish"];
    EXPECT_NEAR(s["mesh_refl"].get<double>(), 0.853, 0.001);
    EXPECT_NEAR(s["wire"].get<double>(), 0.004, 1e-12);
    EXPECT_EQ(report_line(d.r.out, "  Wire mesh"),
              "  Wire mesh 0.1 m, wire diameter 0.004 m: reflected power 85.32 % (0.69 dB loss)");
    EXPECT_EQ(report_line(d.r.out, "  Central blockage"), "  Central blockage 0.5 m diameter");
    char line[200];
    std::snprintf(line, sizeof line,
                  "  Aperture efficiency %.1f %% = spillover %.1f %% x illumination %.1f %% x "
                  "mesh 85.3 %%",
                  100 * s["eta_ap"].get<double>(), 100 * s["eta_spill"].get<double>(),
                  100 * s["eta_ill"].get<double>());
    EXPECT_EQ(report_line(d.r.out, "  Aperture efficiency"), line);
    EXPECT_GT(s["eta_ill"].get<double>(), 1);
    EXPECT_NE(report_line(d.r.out, "  (illumination above 100 %: the feed's own forward"), "");

    ModelRun solid = run_model(dish_model("DISH D=4 FD=0.8"), kCoarse);
    ASSERT_EQ(solid.r.code, 0);
    EXPECT_LT(solid.j["dish"]["eta_ill"].get<double>(), 1);
    EXPECT_EQ(report_line(solid.r.out, "  (illumination above"), "");
}

// Over a ground the reflector is still computed in free space, and the run
// says so, also when it is quiet. The analytic feed makes the figures
// independent of the wire antenna, which over a perfect ground has to be
// lifted off it.
TEST(DishRuns, OverAGroundTheReflectorIsInFreeSpace) {
    const std::string dish = "DISH D=4 FD=0.4 q=2";
    std::string lifted = write_file("lifted.ant", "FREQ 299.792458\n"
                                                  "WIRE -0.235 0 0.5 0.235 0 0.5 r=0.0005\n"
                                                  "SOURCE 1 50\n" +
                                                      dish + "\n");
    ModelRun free = run_model(lifted, kCoarse);
    ASSERT_EQ(free.r.code, 0) << free.r.out;
    for (const char* g : {"GROUND perfect", "GROUND real"}) {
        std::string over = write_file("over.ant", read_file(lifted) + g + "\n");
        ModelRun q = run_model(over, {"-q", "-dth", "10", "-dph", "30"});
        ASSERT_EQ(q.r.code, 0) << q.r.out;
        EXPECT_EQ(q.r.out, "WARNING: DISH is computed in free space (ground ignored for the "
                           "reflector)\n");
        for (const char* k : {"gain", "eta_spill", "hpbw_e", "hpbw_h"})
            EXPECT_EQ(q.j["dish"][k], free.j["dish"][k]) << g << " " << k;
        // The grid over a ground covers the upper hemisphere only.
        EXPECT_EQ(q.j["pattern"]["nth"].get<int>(), 10);
        EXPECT_NEAR(q.j["pattern"]["gt"][0].get<double>(), q.j["dish"]["gain"].get<double>(), 0.01);
    }
    EXPECT_EQ(report_line(free.r.out, "WARNING"), "");
    EXPECT_EQ(free.j["pattern"]["nth"].get<int>(), 19);
}

// A rim in the focal plane (F/D 0.25) or behind it is not lit by the
// analytic feed at all: the edge illumination is minus infinity, written as
// null and explained; every other figure stays finite.
TEST(DishRuns, RimBeyondTheFeedsHemisphere) {
    for (const char* dish : {"DISH D=4 FD=0.25 q=2", "DISH D=3 F=3mm q=2"}) {
        ModelRun d = run_model(dish_model(dish), kCoarse);
        ASSERT_EQ(d.r.code, 0) << d.r.out;
        SCOPED_TRACE(dish);
        EXPECT_TRUE(d.j["dish"]["edge_db"].is_null());
        EXPECT_TRUE(d.j["dish"]["gain"].is_number());
        EXPECT_TRUE(d.j["dish"]["eta_ill"].is_number());
        EXPECT_NE(report_line(d.r.out, "  Edge illumination -inf dB"), "");
        EXPECT_NE(report_line(d.r.out, "  (the feed sends no field towards the rim"), "");
    }
    // The 3 mm focus also warns that the deep dish is undersampled.
    ModelRun deep = run_model(dish_model("DISH D=3 F=3mm q=2"), {"-q", "-dth", "10", "-dph", "30"});
    EXPECT_NE(report_line(deep.r.out, "WARNING: DISH F/D 0.001 is too deep"), "");
}

TEST(DishRuns, BadDishesEndWithAMessage) {
    struct Case {
        const char* dish;
        int code;
        const char* line; // start of a line the run prints
    } cases[] = {
        {"DISH D=2000 F=800 q=2", 4, "ERROR: DISH diameter 2000 m is 2000 wavelengths"},
        {"DISH D=0.5 FD=0.4 q=2", 0, "  Diameter 0.5 m"},
        {"DISH D=3 F=3000 q=2", 0, "  Diameter 3 m, focal length 3000 m"},
        {"DISH D=3 FD=0.4 block=5 q=2", 0, "WARNING: DISH blockage 5 m is as wide as the dish"},
        {"DISH D=3 FD=0.4 mesh=5", 0, "WARNING: DISH mesh spacing 5 m"},
        {"DISH D=3 FD=0.4 q=500", 0, "  Edge illumination -3"},
        {"DISH D=3 FD=0.4 q=0.001", 0, "  Edge illumination -2.9 dB"},
    };
    for (const Case& c : cases) {
        ModelRun d = run_model(dish_model(c.dish), kCoarse);
        SCOPED_TRACE(c.dish);
        EXPECT_EQ(d.r.code, c.code) << d.r.out;
        EXPECT_NE(report_line(d.r.out, c.line), "") << d.r.out;
        if (c.code == 0) {
            EXPECT_TRUE(d.j["dish"]["gain"].is_number());
            for (const json& g : d.j["dish"]["cut_e"]) EXPECT_TRUE(g.is_number());
        }
    }
}

} // namespace
