// The design block's figures beyond the first source: one line per further
// source, the resonance and the peak gain of the sweep, the one-sided
// elevation beam width over a ground, and the efficiency line over a lossy
// ground; each checked against results.json and the physics behind it.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using nlohmann::json;
using cplx = std::complex<double>;

// The report lines that start with the given text, in order.
std::vector<std::string> lines_starting(const std::string& out, const std::string& start) {
    std::vector<std::string> found;
    size_t p = 0;
    while ((p = out.find(start, p)) != std::string::npos) {
        size_t e = out.find('\n', p);
        found.push_back(out.substr(p, e - p));
        p = e;
    }
    return found;
}

double swr(cplx z, double z0) {
    double g = std::abs((z - z0) / (z + z0));
    return (1 + g) / (1 - g);
}

// The four-square: the feed line of the back element and one line for each
// other element, against the sources of results.json. The front element
// returns power to its feed (a negative resistance); the powers of the four
// ports add up to the input power.
TEST(Ports, FourSquareLinesMatchResults) {
    ModelRun d = run_model(source_path("examples/foursquare.nec"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    const json& src = d.j["sources"];
    ASSERT_EQ(src.size(), 4u);
    const double z0 = d.j["z0ref"].get<double>();

    std::vector<std::string> feed = lines_starting(d.r.out, "  Feed impedance ");
    ASSERT_EQ(feed.size(), 1u);
    double r1, x1;
    ASSERT_EQ(std::sscanf(feed[0].c_str(), "  Feed impedance %lf %lf j", &r1, &x1), 2);
    EXPECT_NEAR(r1, src[0]["zr"].get<double>(), 1e-3);
    EXPECT_NEAR(x1, src[0]["zi"].get<double>(), 1e-3);

    std::vector<std::string> lines = lines_starting(d.r.out, "  Source ");
    ASSERT_EQ(lines.size(), 3u) << d.r.out;
    double total = 0;
    for (size_t k = 0; k < 4; ++k) {
        const json& s = src[k];
        cplx v(s["vr"].get<double>(), s["vi"].get<double>());
        cplx i(s["ir"].get<double>(), s["ii"].get<double>());
        double p = 0.5 * (v * std::conj(i)).real();
        total += p;
        if (k == 0) continue;
        int n = 0, tag = 0, seg = 0;
        double r = 0, x = 0, p_line = 0;
        char swr_text[32] = {};
        ASSERT_EQ(std::sscanf(lines[k - 1].c_str(),
                              "  Source %d at tag %d segment %d: %lf %lf j ohm   SWR %31s   "
                              "delivers %lf W",
                              &n, &tag, &seg, &r, &x, swr_text, &p_line),
                  7)
            << lines[k - 1];
        EXPECT_EQ(n, static_cast<int>(k + 1));
        EXPECT_EQ(tag, static_cast<int>(k + 1)); // each vertical is its own tag
        EXPECT_EQ(seg, 1);
        // The console prints 3 decimals, the file 6 significant digits.
        EXPECT_NEAR(r, s["zr"].get<double>(), 1e-3 + 1e-5 * std::abs(r)) << lines[k - 1];
        EXPECT_NEAR(x, s["zi"].get<double>(), 1e-3 + 1e-5 * std::abs(x)) << lines[k - 1];
        EXPECT_NEAR(p_line, p, 2e-5 * std::abs(p)) << lines[k - 1];
        if (r > 0)
            EXPECT_NEAR(std::atof(swr_text), swr(cplx(r, x), z0), 2e-3) << lines[k - 1];
        else
            EXPECT_STREQ(swr_text, "inf") << lines[k - 1];
    }
    // The front element (tag 4) takes power back.
    EXPECT_NE(lines[2].find("delivers -"), std::string::npos) << lines[2];
    EXPECT_NEAR(total, d.j["design"]["pin"].get<double>(), 1e-5 * total);
}

// Native sources are named by their wire (or its name) and the percentage
// along it.
TEST(Ports, NativeSourcesNamedByWire) {
    ModelRun d = run_model(
        write_file("two.ant", "FREQ 14.2\nWIRE 0 -5 0 0 5 0\nWIRE 3 -5 0 3 5 0 name=back\n"
                              "SOURCE 1 50\nSOURCE back 25 V=1 phase=-90\nSOURCE 1 75 V=0.5\n"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    std::vector<std::string> lines = lines_starting(d.r.out, "  Source ");
    ASSERT_EQ(lines.size(), 2u) << d.r.out;
    EXPECT_EQ(lines[0].rfind("  Source 2 at back at 25.0 %: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("  Source 3 at wire 1 at 75.0 %: ", 0), 0u) << lines[1];
    // A single source gives no such line.
    ModelRun one = run_model(source_path("examples/dipole_free.ant"), {"-q"});
    EXPECT_TRUE(lines_starting(one.r.out, "  Source ").empty());
}

// The resonance is the sweep's fres; the peak gain lies inside the sweep,
// at least as high as the best sweep row and within its neighbours.
TEST(Ports, ResonanceAndPeakGainOfTheSweep) {
    ModelRun d = run_model(source_path("examples/yagi3.ant"));
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    std::vector<std::string> res = lines_starting(d.r.out, "  Resonance ");
    ASSERT_EQ(res.size(), 1u);
    double fres = 0;
    ASSERT_EQ(std::sscanf(res[0].c_str(), "  Resonance %lf MHz", &fres), 1);
    EXPECT_NEAR(fres, d.j["design"]["fres"].get<double>(), 1e-6);

    std::vector<std::string> peak = lines_starting(d.r.out, "  Peak gain ");
    ASSERT_EQ(peak.size(), 1u) << d.r.out;
    double g = 0, f = 0;
    ASSERT_EQ(std::sscanf(peak[0].c_str(), "  Peak gain %lf dBi at %lf MHz", &g, &f), 2);
    const json& sw = d.j["sweep"];
    size_t k = 0;
    for (size_t i = 1; i < sw.size(); ++i)
        if (sw[i][4].get<double>() > sw[k][4].get<double>()) k = i;
    ASSERT_GT(k, 0u);
    ASSERT_LT(k + 1, sw.size());
    EXPECT_GT(f, sw[k - 1][0].get<double>() / 1e6);
    EXPECT_LT(f, sw[k + 1][0].get<double>() / 1e6);
    EXPECT_GE(g, sw[k][4].get<double>() - 0.005);
    EXPECT_LT(g, sw[k][4].get<double>() + 0.1);

    // A dipole's gain rises across its sweep: no peak inside it, no line.
    ModelRun dip = run_model(source_path("examples/dipole_free.ant"));
    EXPECT_TRUE(lines_starting(dip.r.out, "  Peak gain ").empty());
    EXPECT_EQ(lines_starting(dip.r.out, "  Resonance ").size(), 1u);
}

// Over a ground, a pattern whose maximum lies at the horizon has no lower
// 3-dB point: the console gives the width from the horizon up to the upper
// one, marked as one-sided; results.json keeps 0. The width is checked on
// the pattern grid itself (1-degree rows) in the direction of the maximum.
TEST(Ports, OneSidedElevationWidthAtTheHorizon) {
    ModelRun d = run_model(source_path("examples/foursquare.nec"), {"-dth", "1", "-dph", "5"});
    ASSERT_EQ(d.r.code, 0) << d.r.out;
    const json& des = d.j["design"];
    EXPECT_EQ(des["bwel"].get<double>(), 0);
    std::vector<std::string> fb = lines_starting(d.r.out, "  Front/back ");
    ASSERT_EQ(fb.size(), 1u);
    double w = 0;
    ASSERT_EQ(std::sscanf(fb[0].c_str(),
                          "  Front/back %*f dB   3-dB beam width: azimuth %*f deg, elevation %lf "
                          "deg (one-sided, from the horizon up)",
                          &w),
              1)
        << fb[0];
    ASSERT_GT(w, 5);
    ASSERT_LT(w, 80);
    const json& pat = d.j["pattern"];
    const int nph = pat["nph"].get<int>();
    const int col = static_cast<int>(std::lround(des["phmax"].get<double>() / 5));
    auto gain_at_elevation = [&](int elev) {
        return pat["gt"][static_cast<size_t>((90 - elev) * nph + col)].get<double>();
    };
    const double half = des["gmax"].get<double>() - 10 * std::log10(2.0);
    const int e = static_cast<int>(std::floor(w));
    EXPECT_GT(gain_at_elevation(e - 1), half - 0.05);
    EXPECT_LT(gain_at_elevation(e + 2), half + 0.05);
    // A dipole in free space closes both sides: no mark.
    ModelRun dip = run_model(source_path("examples/dipole_free.ant"));
    EXPECT_EQ(dip.r.out.find("one-sided"), std::string::npos);
}

// Over a lossy ground the efficiency counts only what leaves the ground
// upward: the line says the ground's loss is in it.
TEST(Ports, EfficiencyLineSaysWhenGroundLossIsIncluded) {
    ModelRun real = run_model(source_path("examples/dipole_20m.nec"));
    ASSERT_EQ(real.r.code, 0) << real.r.out;
    std::vector<std::string> eff = lines_starting(real.r.out, "  Input power ");
    ASSERT_EQ(eff.size(), 1u);
    EXPECT_EQ(eff[0].substr(eff[0].size() - 23), " (includes ground loss)") << eff[0];
    EXPECT_LT(real.j["design"]["eff"].get<double>(), 0.95); // the ground does absorb
    ModelRun free = run_model(source_path("examples/dipole_free.ant"));
    eff = lines_starting(free.r.out, "  Input power ");
    ASSERT_EQ(eff.size(), 1u);
    EXPECT_EQ(eff[0].find("ground loss"), std::string::npos) << eff[0];
}

} // namespace
