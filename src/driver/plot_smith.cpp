// smith.svg: the feed impedance over the sweep on a Smith chart, the plane
// of the reflection coefficient G = (z - 1)/(z + 1) of the normalised
// impedance z = Z/Z0: inductive reactance in the upper half, the open
// circuit on the right.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "driver/plots.h"
#include "driver/sparam.h"
#include "driver/svg.h"

namespace {

constexpr double kWidth = 640, kHeight = 720;
constexpr double kCx = 320, kCy = 385, kR = 270; // the chart's rim, px

const char* kGrid = "#c8c8c8";
const char* kRim = "#606060";
const char* kTrace = "#d62728";
const char* kDesign = "#1f4fd6";

// Resistance and reactance values of the chart's circles.
const double kCircles[] = {0.2, 0.5, 1, 2, 5};

double px(cplx g) {
    return kCx + kR * g.real();
}
double py(cplx g) {
    return kCy - kR * g.imag();
}

bool finite(cplx g) {
    return std::isfinite(g.real()) && std::isfinite(g.imag());
}

} // namespace

std::string plot_smith_svg(const Model& m, const RunResults& res) {
    const double z0 = m.z0ref;
    Svg svg(kWidth, kHeight, "Smith chart: " + m.title);
    svg.text(kWidth / 2, 30, m.title, 18);
    svg.text(kWidth / 2, 52, strfmt("Feed impedance normalised to Z0 = %g ohm", z0), 13);
    svg.clip_circle("chart", kCx, kCy, kR);
    svg.clip_rect("area", 0, 70, kWidth, kHeight - 70);

    svg.group_open(strfmt("id=\"smith\" data-cx=\"%g\" data-cy=\"%g\" data-r=\"%g\" "
                          "data-z0=\"%.10g\"",
                          kCx, kCy, kR, z0));
    // Constant-resistance circles, then constant-reactance arcs inside the rim.
    svg.group_open("clip-path=\"url(#chart)\"");
    for (double r : kCircles) svg.circle(kCx + kR * r / (1 + r), kCy, kR / (1 + r), {kGrid, 1});
    for (double x : kCircles)
        for (double sign : {1.0, -1.0})
            svg.circle(kCx + kR, kCy - sign * kR / x, kR / x, {kGrid, 1});
    svg.group_close();
    svg.line(kCx - kR, kCy, kCx + kR, kCy, {kGrid, 1});
    svg.circle(kCx, kCy, kR, {kRim, 1.5});
    // SWR 2: |G| = 1/3.
    svg.circle(kCx, kCy, kR / 3, {"#909090", 1, "none", "5 4"});
    svg.text(kCx, kCy - kR / 3 - 5, "SWR 2", 11, "middle", "#707070", true);
    for (double r : kCircles)
        svg.text(px(cplx((r - 1) / (r + 1), 0)) + 3, kCy - 4, strfmt("%g", r), 11, "start",
                 "#606060", true);
    for (double x : kCircles)
        for (double sign : {1.0, -1.0}) {
            cplx g = s11_of(cplx(0, sign * x * z0), z0) * 1.07;
            svg.text(px(g), py(g) + 4, strfmt("%sj%g", sign > 0 ? "+" : "-", x), 11, "middle",
                     "#606060");
        }

    // The sweep, in its order, with a dot per point.
    std::vector<double> x, y;
    for (const FreqResult& r : res.sweep) {
        cplx g = s11_of(r.zin, z0);
        x.push_back(finite(g) ? px(g) : NAN);
        y.push_back(finite(g) ? py(g) : NAN);
    }
    svg.group_open("clip-path=\"url(#area)\"");
    svg.path(svg_polyline(x, y), {kTrace, 2.5});
    for (size_t i = 0; i < x.size(); ++i)
        if (std::isfinite(x[i])) svg.circle(x[i], y[i], 2.5, {"none", 0, kTrace});
    // The ends of the sweep, labelled with their frequencies.
    const size_t n = res.sweep.size();
    for (size_t k : {size_t(0), n - 1})
        if (n >= 2 && std::isfinite(x[k])) {
            svg.rect(x[k] - 5, y[k] - 5, 10, 10, {kTrace, 1.5});
            svg.text(x[k] + 9, y[k] - 8, strfmt("%.6g MHz", res.sweep[k].f / 1e6), 12, "start",
                     kTrace, true);
        }
    cplx gd = s11_of(res.design.zin, z0);
    if (finite(gd)) {
        svg.circle(px(gd), py(gd), 5, {"#ffffff", 1.5, kDesign});
        svg.text(px(gd) + 9, py(gd) + 16, strfmt("f0 %.6g MHz", m.f0 / 1e6), 12, "start", kDesign,
                 true);
    }
    svg.group_close();
    svg.group_close();

    svg.text(kWidth / 2, kHeight - 18,
             strfmt("Design: %.2f %+.2f j ohm, SWR %.3f", res.design.zin.real(),
                    res.design.zin.imag(), res.design.swr),
             13);
    return svg.finish();
}
