// The plots of -plot as a person sees them: each SVG file must be
// well-formed, self-contained XML, and rendered to pixels by a real SVG
// renderer (librsvg's rsvg-convert) it must show its frame and its curves
// where the run's own numbers (results.json) put them.
//
// The renderer comes with Debian's librsvg2-bin (scripts/install-deps.sh).
// Without it these tests fail; QUARLIN_SKIP_RENDER=1 skips them instead.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "png_image.h"
#include "test_support.h"

namespace {

using nlohmann::json;
constexpr double kPi = 3.141592653589793;

// Colours of the plots' curves and frames.
const Rgb kRed{214, 39, 40};   // azimuth cut, SWR, Smith trace
const Rgb kBlue{31, 79, 214};  // elevation cut, R, design point
const Rgb kGreen{44, 160, 44}; // X
const Rgb kFrame{128, 128, 128};

std::string capture(const std::string& cmd, int* status = nullptr) {
    std::string out;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (status) *status = st;
    return out;
}

bool renderer_present() {
    int st = -1;
    capture("rsvg-convert --version >/dev/null 2>&1", &st);
    return st == 0;
}

// Fails the test (or skips it when asked) without a renderer.
#define REQUIRE_RENDERER()                                                                         \
    do {                                                                                           \
        if (!renderer_present()) {                                                                 \
            if (std::getenv("QUARLIN_SKIP_RENDER")) GTEST_SKIP() << "rsvg-convert missing";        \
            FAIL() << "rsvg-convert is not installed (Debian package librsvg2-bin, installed by "  \
                      "scripts/install-deps.sh); QUARLIN_SKIP_RENDER=1 skips the rendering tests"; \
        }                                                                                          \
    } while (0)

int dist(Rgb a, Rgb b) {
    return static_cast<int>(std::sqrt((a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) +
                                      (a.b - b.b) * (a.b - b.b)));
}

// Whether a pixel of colour c (within tol) lies within win pixels of (x, y).
bool colour_near(const Image& img, double x, double y, Rgb c, int win = 3, int tol = 70) {
    int xi = static_cast<int>(std::lround(x)), yi = static_cast<int>(std::lround(y));
    for (int dy = -win; dy <= win; ++dy)
        for (int dx = -win; dx <= win; ++dx)
            if (dist(img.at(xi + dx, yi + dy), c) <= tol) return true;
    return false;
}

int count_colour(const Image& img, Rgb c, int tol = 70) {
    int n = 0;
    for (const Rgb& p : img.px) n += dist(p, c) <= tol;
    return n;
}

int count_not_white(const Image& img) {
    int n = 0;
    for (const Rgb& p : img.px) n += dist(p, Rgb{}) > 30;
    return n;
}

// The data-* attributes of the <g> with the given id: the panel's frame.
std::map<std::string, double> panel(const std::string& svg, const std::string& id) {
    std::map<std::string, double> attrs;
    size_t at = svg.find("<g id=\"" + id + "\"");
    if (at == std::string::npos) return attrs;
    std::string tag = svg.substr(at, svg.find('>', at) - at);
    // data-name="value" pairs
    for (size_t p = tag.find(" data-"); p != std::string::npos; p = tag.find(" data-", p + 1)) {
        size_t eq = tag.find("=\"", p), end = tag.find('"', eq + 2);
        if (eq == std::string::npos || end == std::string::npos) break;
        attrs[tag.substr(p + 6, eq - p - 6)] = std::atof(tag.substr(eq + 2, end - eq - 2).c_str());
    }
    return attrs;
}

struct Plot {
    std::string svg; // the document's text
    Image img;       // its rendering
};

// Parses the SVG as XML (Python's expat-based parser, strict about
// well-formedness), checks that it refers to nothing outside itself, and
// renders it to PNG.
Plot check_and_render(const std::string& path) {
    Plot p;
    p.svg = read_file(path);
    EXPECT_FALSE(p.svg.empty()) << path;
    int st = -1;
    std::string root = capture("python3 -c \"import sys, xml.etree.ElementTree as E; "
                               "print(E.parse(sys.argv[1]).getroot().tag)\" '" +
                                   path + "' 2>&1",
                               &st);
    EXPECT_EQ(st, 0) << path << ": not well-formed XML: " << root;
    EXPECT_EQ(root, "{http://www.w3.org/2000/svg}svg\n") << path;
    for (const char* outside : {"<script", "href", "@import", "<image", "<foreignObject", "url(h"})
        EXPECT_EQ(p.svg.find(outside), std::string::npos) << path << " contains " << outside;
    std::string png = path + ".png";
    std::string err = capture("rsvg-convert '" + path + "' -o '" + png + "' 2>&1", &st);
    EXPECT_EQ(st, 0) << "rsvg-convert failed on " << path << ": " << err;
    std::string why;
    p.img = png_read(png, why);
    EXPECT_TRUE(p.img.ok()) << png << ": " << why;
    // Not blank: a frame and curves cover a part of the picture.
    EXPECT_GT(count_not_white(p.img), p.img.width * p.img.height / 50) << path;
    return p;
}

struct PlotRun {
    std::string out; // output directory
    json j;          // results.json
    std::string stdout_text;
};

PlotRun run_plot(const std::string& model) {
    PlotRun r;
    r.out = test_dir() + "/out";
    RunResult rr = run_quarlin({model, "-plot", "-o", r.out});
    EXPECT_EQ(rr.code, 0) << rr.out;
    r.stdout_text = rr.out;
    std::string text = read_file(r.out + "/results.json");
    if (!text.empty()) r.j = json::parse(text);
    return r;
}

// A polar panel of pattern.svg: where a gain in a direction of the cut's
// angle is drawn.
struct Polar {
    double cx, cy, r, top, span;
    explicit Polar(const std::map<std::string, double>& a)
        : cx(a.at("cx")), cy(a.at("cy")), r(a.at("r")), top(a.at("top-db")), span(a.at("span-db")) {
    }
    double rho(double g) const { return r * std::clamp((g - (top - span)) / span, 0.0, 1.0); }
    double x(double ang, double g) const { return cx + rho(g) * std::cos(ang * kPi / 180); }
    double y(double ang, double g) const { return cy - rho(g) * std::sin(ang * kPi / 180); }
};

// Total gain of the results.json pattern grid at (theta, phi) on its nodes.
double grid_gain(const json& j, double theta, double phi) {
    const json& p = j["pattern"];
    int i = static_cast<int>(std::lround(theta / p["dth"].get<double>()));
    int k = static_cast<int>(std::lround(std::fmod(phi + 360, 360) / p["dph"].get<double>()));
    return p["gt"][static_cast<size_t>(i * p["nph"].get<int>() + k)].get<double>();
}

// The direction of the elevation cut's angle psi through azimuth phmax.
void el_direction(double psi, double phmax, double& theta, double& phi) {
    if (psi <= 90) {
        theta = 90 - psi;
        phi = phmax;
    } else if (psi <= 270) {
        theta = psi - 90;
        phi = phmax + 180;
    } else {
        theta = 450 - psi;
        phi = phmax;
    }
}

// Checks both cuts of pattern.svg against the gains of the pattern grid,
// which the run computes separately: every 10 degrees (where the grid has
// a node), away from the crowded centre.
void expect_cuts_follow_grid(const Plot& p, const json& j, bool upper) {
    const json& d = j["design"];
    const double thmax = d["thmax"].get<double>(), phmax = d["phmax"].get<double>();
    Polar az(panel(p.svg, "azimuth")), el(panel(p.svg, "elevation"));
    // The outer ring sits at most 5 dB above the maximum.
    EXPECT_GE(az.top, d["gmax"].get<double>());
    EXPECT_LT(az.top - d["gmax"].get<double>(), 5.0001);
    int checked = 0;
    for (int a = 0; a < 360; a += 10) {
        double g = grid_gain(j, thmax, a);
        if (az.rho(g) < 25) continue;
        EXPECT_TRUE(colour_near(p.img, az.x(a, g), az.y(a, g), kRed))
            << "azimuth " << a << " gain " << g;
        ++checked;
    }
    for (int a = 0; a <= (upper ? 180 : 350); a += 10) {
        double th, ph;
        el_direction(a, phmax, th, ph);
        double g = grid_gain(j, th, ph);
        if (el.rho(g) < 25) continue;
        EXPECT_TRUE(colour_near(p.img, el.x(a, g), el.y(a, g), kBlue))
            << "elevation angle " << a << " gain " << g;
        ++checked;
    }
    EXPECT_GT(checked, 10);
    // The frame: the outer ring of both diagrams, between the spokes.
    for (const Polar* q : {&az, &el})
        for (int a : {15, 75, 105, 165})
            EXPECT_TRUE(colour_near(p.img, q->cx + q->r * std::cos(a * kPi / 180),
                                    q->cy - q->r * std::sin(a * kPi / 180), kFrame, 2, 40))
                << "outer ring at " << a;
}

TEST(Plots, DipolePatternFigureEightAndCircle) {
    REQUIRE_RENDERER();
    PlotRun r = run_plot(source_path("examples/dipole_free.ant"));
    EXPECT_NE(r.stdout_text.find("Plot written to " + r.out + "/pattern.svg\n"), std::string::npos);
    Plot p = check_and_render(r.out + "/pattern.svg");
    expect_cuts_follow_grid(p, r.j, false);
    // A vertical dipole: its azimuth cut is a circle at the maximum gain,
    // its elevation cut has nulls along the wire, at the zenith and nadir.
    const double gmax = r.j["design"]["gmax"].get<double>();
    Polar az(panel(p.svg, "azimuth")), el(panel(p.svg, "elevation"));
    for (int a = 0; a < 360; a += 45)
        EXPECT_TRUE(colour_near(p.img, az.x(a, gmax), az.y(a, gmax), kRed)) << a;
    for (int a : {90, 270}) {
        EXPECT_FALSE(colour_near(p.img, el.x(a, gmax), el.y(a, gmax), kBlue, 6)) << a;
        EXPECT_FALSE(colour_near(p.img, el.x(a, gmax - 10), el.y(a, gmax - 10), kBlue, 6)) << a;
    }
    for (int a : {0, 180})
        EXPECT_TRUE(colour_near(p.img, el.x(a, gmax), el.y(a, gmax), kBlue)) << a;
}

// With a reflector the diagrams are the reflector system's: its beam on the
// axis (elevation 90), as in the pattern grid the run writes.
TEST(Plots, DishPatternIsTheReflectors) {
    REQUIRE_RENDERER();
    PlotRun r = run_plot(source_path("examples/dish_cosq.ant"));
    Plot p = check_and_render(r.out + "/pattern.svg");
    EXPECT_EQ(r.j["design"]["thmax"].get<double>(), 0);
    expect_cuts_follow_grid(p, r.j, false);
}

// The bundled three-element Yagi turned to beam toward azimuth 30 degrees,
// so that a mirrored or rotated diagram shows.
const char* kYagi30 = R"(TITLE 3-element Yagi toward azimuth 30
VAR a=30*pi/180 c=cos(a) s=sin(a)
VAR lr=10.60/2 ld=10.10/2 lf=9.80/2 sr=-4.2 sf=3.2
FREQ 14.2 MHz
WIRE sr*c+lr*s sr*s-lr*c 0  sr*c-lr*s sr*s+lr*c 0  d=0.025
WIRE ld*s -ld*c 0  -ld*s ld*c 0  d=0.025
WIRE sf*c+lf*s sf*s-lf*c 0  sf*c-lf*s sf*s+lf*c 0  d=0.025
SOURCE 2 50
MATERIAL aluminum
)";

TEST(Plots, YagiPatternShowsItsFrontToBack) {
    REQUIRE_RENDERER();
    PlotRun r = run_plot(write_file("yagi30.ant", kYagi30));
    Plot p = check_and_render(r.out + "/pattern.svg");
    expect_cuts_follow_grid(p, r.j, false);
    // Full gain toward 30 degrees on the azimuth diagram, the front/back
    // lower toward 210, nothing at full gain there.
    const json& d = r.j["design"];
    const double gmax = d["gmax"].get<double>(), fb = d["fb"].get<double>();
    ASSERT_NEAR(d["phmax"].get<double>(), 30, 0.5);
    ASSERT_GT(fb, 10);
    Polar az(panel(p.svg, "azimuth"));
    EXPECT_TRUE(colour_near(p.img, az.x(30, gmax), az.y(30, gmax), kRed));
    EXPECT_TRUE(colour_near(p.img, az.x(210, gmax - fb), az.y(210, gmax - fb), kRed));
    EXPECT_FALSE(colour_near(p.img, az.x(210, gmax), az.y(210, gmax), kRed, 6));
    EXPECT_FALSE(colour_near(p.img, az.x(210, gmax - fb + 5), az.y(210, gmax - fb + 5), kRed, 4));
    // Nulls off the element ends.
    for (int a : {120, 300})
        EXPECT_FALSE(colour_near(p.img, az.x(a, gmax - 20), az.y(a, gmax - 20), kRed, 4)) << a;
    // The elevation diagram has the beam on its right, the back on its left.
    Polar el(panel(p.svg, "elevation"));
    EXPECT_TRUE(colour_near(p.img, el.x(0, gmax), el.y(0, gmax), kBlue));
    EXPECT_TRUE(colour_near(p.img, el.x(180, gmax - fb), el.y(180, gmax - fb), kBlue));
}

TEST(Plots, PatternOverGroundDrawsTheUpperHalf) {
    REQUIRE_RENDERER();
    PlotRun r = run_plot(source_path("examples/dipole.ant")); // 10 m over real ground
    Plot p = check_and_render(r.out + "/pattern.svg");
    expect_cuts_follow_grid(p, r.j, true);
    auto a = panel(p.svg, "elevation");
    EXPECT_EQ(a.at("upper"), 1);
    // Nothing of the elevation cut (nor its grid) below the horizon.
    Polar el(a);
    int below = 0, grid_below = 0;
    for (int y = static_cast<int>(el.cy) + 4; y < static_cast<int>(el.cy + el.r); ++y)
        for (int x = static_cast<int>(el.cx - el.r); x <= static_cast<int>(el.cx + el.r); ++x) {
            below += dist(p.img.at(x, y), kBlue) <= 70;
            grid_below += dist(p.img.at(x, y), Rgb{}) > 30;
        }
    EXPECT_EQ(below, 0);
    EXPECT_LT(grid_below, 200); // only the labels of the horizon
}

// swr.svg of a swept dipole: every sweep point on its curve.
TEST(Plots, SwrAndImpedanceCurvesFollowTheSweep) {
    REQUIRE_RENDERER();
    PlotRun r = run_plot(source_path("examples/dipole_free.ant"));
    Plot p = check_and_render(r.out + "/swr.svg");
    auto s = panel(p.svg, "swr"), z = panel(p.svg, "impedance");
    ASSERT_EQ(s.size(), 9u);
    ASSERT_EQ(z.size(), 9u);
    auto x_of = [&](double f_mhz) {
        return s["x0"] + (f_mhz - s["fmin"]) / (s["fmax"] - s["fmin"]) * (s["x1"] - s["x0"]);
    };
    auto swr_y = [&](double v) {
        return s["y1"] - std::log(v) / std::log(s["vtop"]) * (s["y1"] - s["y0"]);
    };
    auto z_y = [&](double v) {
        return z["y1"] - (v - z["vbottom"]) / (z["vtop"] - z["vbottom"]) * (z["y1"] - z["y0"]);
    };
    const json& sw = r.j["sweep"];
    ASSERT_EQ(sw.size(), 21u);
    EXPECT_NEAR(s["fmin"], 13.2, 1e-9);
    EXPECT_NEAR(s["fmax"], 15.2, 1e-9);
    double swr_max = 0;
    for (const json& pt : sw) {
        double f = pt[0].get<double>() / 1e6, R = pt[1].get<double>(), X = pt[2].get<double>();
        double swr = pt[3].get<double>();
        swr_max = std::max(swr_max, swr);
        EXPECT_TRUE(colour_near(p.img, x_of(f), swr_y(swr), kRed)) << f << " MHz SWR " << swr;
        if (std::fabs(z_y(R) - z_y(X)) > 6) { // where the curves cross either may be on top
            EXPECT_TRUE(colour_near(p.img, x_of(f), z_y(R), kBlue)) << f << " MHz R " << R;
            EXPECT_TRUE(colour_near(p.img, x_of(f), z_y(X), kGreen)) << f << " MHz X " << X;
        }
    }
    EXPECT_GE(s["vtop"], swr_max); // the axis holds the whole curve
    EXPECT_LE(s["vbottom"], 1);
    // X crosses zero at the resonance, on the axis line.
    double fres = r.j["design"]["fres"].get<double>();
    EXPECT_TRUE(colour_near(p.img, x_of(fres), z_y(0), kGreen));
    // The frames' corners.
    for (auto* q : {&s, &z})
        for (double x : {(*q)["x0"], (*q)["x1"]})
            for (double y : {(*q)["y0"], (*q)["y1"]})
                EXPECT_TRUE(colour_near(p.img, x, y, Rgb{64, 64, 64}, 1, 60)) << x << "," << y;
}

// smith.svg: the sweep's impedances at their reflection coefficients, the
// design point marked, the chart's rim drawn.
TEST(Plots, SmithChartPlacesEveryImpedance) {
    REQUIRE_RENDERER();
    PlotRun r = run_plot(source_path("examples/dipole_free.ant"));
    Plot p = check_and_render(r.out + "/smith.svg");
    auto c = panel(p.svg, "smith");
    ASSERT_EQ(c.size(), 4u);
    const double z0 = r.j["z0ref"].get<double>();
    EXPECT_EQ(c["z0"], z0);
    auto at = [&](std::complex<double> zin, double& x, double& y) {
        std::complex<double> g = (zin - z0) / (zin + z0); // the reflection coefficient
        x = c["cx"] + c["r"] * g.real();
        y = c["cy"] - c["r"] * g.imag();
    };
    double x, y;
    at({r.j["design"]["zr"].get<double>(), r.j["design"]["zi"].get<double>()}, x, y);
    EXPECT_TRUE(colour_near(p.img, x, y, kBlue, 2));
    for (const json& pt : r.j["sweep"]) {
        double xs, ys;
        at({pt[1].get<double>(), pt[2].get<double>()}, xs, ys);
        if (std::hypot(xs - x, ys - y) < 8) continue; // under the design point's marker
        EXPECT_TRUE(colour_near(p.img, xs, ys, kRed)) << pt[0].get<double>() / 1e6 << " MHz";
    }
    // The rim, away from the labels.
    for (int a : {20, 110, 200, 300})
        EXPECT_TRUE(colour_near(p.img, c["cx"] + c["r"] * std::cos(a * kPi / 180),
                                c["cy"] - c["r"] * std::sin(a * kPi / 180), Rgb{96, 96, 96}, 2, 40))
            << a;
    // An inductive dipole (X > 0 at f0) lies in the upper half.
    EXPECT_LT(y, c["cy"]);
}

// A title with XML's special characters and a Latin-1 byte still makes
// well-formed documents that render; without a sweep there is no swr.svg.
TEST(Plots, AwkwardTitleAndNoSweep) {
    REQUIRE_RENDERER();
    std::string model = write_file(
        "odd.ant", "TITLE A <b> & \"c\" 'd' caf\xE9\nWIRE 0 0 -2.5 0 0 2.5 seg=9\nSOURCE 1 50\n"
                   "FREQ 28\n");
    std::string out = test_dir() + "/out";
    RunResult rr = run_quarlin({model, "-plot", "-o", out});
    ASSERT_EQ(rr.code, 0) << rr.out;
    EXPECT_NE(rr.out.find("No swr.svg: the sweep has a single frequency\n"), std::string::npos);
    EXPECT_FALSE(file_exists(out + "/swr.svg"));
    for (const char* f : {"pattern.svg", "smith.svg"}) {
        Plot p = check_and_render(out + "/" + f);
        EXPECT_NE(p.svg.find("A &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos; caf&#xE9;"),
                  std::string::npos)
            << f;
        EXPECT_GT(count_colour(p.img, std::string(f) == "smith.svg" ? kBlue : kRed), 20) << f;
    }
}

} // namespace
