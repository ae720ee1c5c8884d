// pattern.svg: two polar diagrams of the total gain through the direction
// of the maximum. Angles run counter-clockwise; the azimuth diagram has
// phi = 0 (+x) on the right, the elevation diagram the horizon in the
// direction of the maximum on the right and the zenith at the top.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "driver/plots.h"
#include "driver/svg.h"

namespace {

constexpr double kWidth = 1000, kHeight = 580;
constexpr double kRadius = 200;  // outer ring, px
constexpr double kCentreY = 310; // both diagrams
constexpr double kAzX = 250, kElX = 750;
constexpr double kSpanDb = 40; // centre of a diagram is 40 dB below the outer ring
constexpr double kRingDb = 10;

const char* kGrid = "#c8c8c8";
const char* kFrame = "#808080";
const char* kAzColour = "#d62728";
const char* kElColour = "#1f4fd6";

struct Polar {
    double cx, cy, r;
    double top_db; // gain on the outer ring
    double rho(double g_db) const {
        double t = (g_db - (top_db - kSpanDb)) / kSpanDb;
        if (!std::isfinite(t)) t = 0;
        return r * std::clamp(t, 0.0, 1.0);
    }
    double x(double ang_deg, double rr) const { return cx + rr * std::cos(ang_deg * kDeg); }
    double y(double ang_deg, double rr) const { return cy - rr * std::sin(ang_deg * kDeg); }
    static constexpr double kDeg = 3.141592653589793 / 180;
};

// Rings, spokes and angle labels over 0..360 degrees, or over 0..180 (the
// upper half) over a ground.
void grid(Svg& svg, const Polar& p, bool upper, bool elevation) {
    const double end = upper ? 180 : 360;
    for (int k = 0; k < 4; ++k) {
        double rr = p.r * (kSpanDb - k * kRingDb) / kSpanDb;
        SvgStyle st{k == 0 ? kFrame : kGrid, k == 0 ? 1.5 : 1};
        if (upper)
            svg.path(strfmt("M%s,%s A%s,%s 0 0 1 %s,%s Z", svg_num(p.cx - rr).c_str(),
                            svg_num(p.cy).c_str(), svg_num(rr).c_str(), svg_num(rr).c_str(),
                            svg_num(p.cx + rr).c_str(), svg_num(p.cy).c_str()),
                     st);
        else
            svg.circle(p.cx, p.cy, rr, st);
    }
    for (int a = 0; a < end || (upper && a == 180); a += 30) {
        svg.line(p.cx, p.cy, p.x(a, p.r), p.y(a, p.r), {kGrid, 1});
        int label = a;
        if (elevation) label = a <= 90 ? a : (a <= 270 ? 180 - a : a - 360);
        svg.text(p.x(a, p.r + 18), p.y(a, p.r + 18) + 5, strfmt("%d\u00B0", label), 12);
    }
}

// Ring values along the vertical spoke, over the curves.
void ring_labels(Svg& svg, const Polar& p) {
    for (int k = 0; k < 4; ++k) {
        double rr = p.r * (kSpanDb - k * kRingDb) / kSpanDb;
        svg.text(p.cx + 4, p.cy - rr + 13, strfmt("%g", p.top_db - k * kRingDb), 11, "start",
                 "#606060", true);
    }
}

void trace(Svg& svg, const Polar& p, const CutCurve& c, bool closed, const char* colour) {
    std::vector<double> x, y;
    for (size_t i = 0; i < c.ang_deg.size() && i < c.g_db.size(); ++i) {
        double rr = p.rho(c.g_db[i]);
        x.push_back(p.x(c.ang_deg[i], rr));
        y.push_back(p.y(c.ang_deg[i], rr));
    }
    std::string d = svg_polyline(x, y);
    if (closed && !d.empty()) d += " Z";
    svg.path(d, {colour, 2.5});
}

std::string panel_attrs(const char* id, const Polar& p) {
    return strfmt("id=\"%s\" data-cx=\"%g\" data-cy=\"%g\" data-r=\"%g\" data-top-db=\"%g\" "
                  "data-span-db=\"%g\"",
                  id, p.cx, p.cy, p.r, p.top_db, kSpanDb);
}

} // namespace

std::string plot_pattern_svg(const Model& m, const RunResults& res) {
    const FreqResult& d = res.design;
    // The outer ring: the largest gain drawn, rounded up to 5 dB.
    double gmax = -300;
    for (const CutCurve* c : {&res.cut_az, &res.cut_el})
        for (double g : c->g_db)
            if (std::isfinite(g)) gmax = std::max(gmax, g);
    if (std::isfinite(d.gmax)) gmax = std::max(gmax, d.gmax);
    const double top = 5 * std::ceil(gmax / 5 - 1e-9);
    const bool upper = !(m.ground == GROUND_FREE || (m.ground == GROUND_PCB && !m.pcb_gnd));

    Svg svg(kWidth, kHeight, "Radiation pattern: " + m.title);
    svg.text(kWidth / 2, 30, m.title, 18);
    svg.text(kWidth / 2, 52,
             strfmt("%.6g MHz: max gain %.2f dBi at elevation %.1f\u00B0, azimuth %.1f\u00B0; "
                    "front/back %.2f dB",
                    m.f0 / 1e6, d.gmax, 90 - d.thmax, d.phmax, d.fb),
             13);

    const Polar az{kAzX, kCentreY, kRadius, top};
    svg.text(kAzX, 84, strfmt("Azimuth at elevation %.1f\u00B0", 90 - d.thmax), 15);
    svg.group_open(panel_attrs("azimuth", az));
    grid(svg, az, false, false);
    trace(svg, az, res.cut_az, true, kAzColour);
    ring_labels(svg, az);
    svg.group_close();

    const Polar el{kElX, kCentreY, kRadius, top};
    svg.text(kElX, 84,
             strfmt("Elevation at azimuth %.1f\u00B0 (its direction on the right)", d.phmax), 15);
    svg.group_open(panel_attrs("elevation", el) + strfmt(" data-upper=\"%d\"", upper ? 1 : 0));
    grid(svg, el, upper, true);
    trace(svg, el, res.cut_el, !upper, kElColour);
    ring_labels(svg, el);
    svg.group_close();

    svg.text(kWidth / 2, kHeight - 14,
             strfmt("Total gain in dBi, rings every %g dB, outer ring %g dBi", kRingDb, top), 13);
    return svg.finish();
}
