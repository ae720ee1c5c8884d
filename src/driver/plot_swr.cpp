// swr.svg: SWR against frequency on a logarithmic axis above the feed
// resistance and reactance on a linear one, over the sweep.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "driver/plots.h"
#include "driver/svg.h"

namespace {

constexpr double kWidth = 1000, kHeight = 660;
constexpr double kX0 = 90, kX1 = 960; // plot area, px
constexpr double kSwrTop = 80, kSwrBottom = 300;
constexpr double kZTop = 360, kZBottom = 590;

const char* kGrid = "#d8d8d8";
const char* kAxis = "#404040";
const char* kSwrColour = "#d62728";
const char* kRColour = "#1f4fd6";
const char* kXColour = "#2ca02c";

// The SWR values that label the logarithmic axis; the top of the axis is
// the first of them at or above the largest SWR (1000 at most).
const double kSwrTicks[] = {1, 1.5, 2, 3, 5, 10, 20, 50, 100, 200, 500, 1000};

// A linear axis from lo to hi with ticks a round step apart.
struct Axis {
    double lo, hi, step;
};

// Round bounds and a 1, 2 or 5 times 10^k step giving about six intervals.
Axis nice_axis(double lo, double hi) {
    if (!(hi > lo)) {
        double pad = std::max(1.0, std::fabs(lo) * 0.1);
        lo -= pad;
        hi += pad;
    }
    double raw = (hi - lo) / 6;
    double mag = std::pow(10, std::floor(std::log10(raw)));
    double step = mag;
    for (double k : {1.0, 2.0, 5.0, 10.0})
        if (k * mag >= raw) {
            step = k * mag;
            break;
        }
    return {std::floor(lo / step + 1e-9) * step, std::ceil(hi / step - 1e-9) * step, step};
}

// Frequencies printed with the digits their spacing needs.
std::string freq_label(double f_mhz, double step_mhz) {
    int dec = std::clamp(static_cast<int>(std::ceil(-std::log10(step_mhz) - 1e-9)), 0, 9);
    return strfmt("%.*f", dec, f_mhz);
}

struct Frame {
    double fmin, fmax; // MHz
    double x(double f_mhz) const { return kX0 + (f_mhz - fmin) / (fmax - fmin) * (kX1 - kX0); }
};

std::string panel_attrs(const char* id, const Frame& fr, double top_px, double bottom_px,
                        double vtop, double vbottom, const char* scale) {
    return strfmt("id=\"%s\" data-x0=\"%g\" data-x1=\"%g\" data-fmin=\"%.10g\" "
                  "data-fmax=\"%.10g\" data-y0=\"%g\" data-y1=\"%g\" data-vtop=\"%.10g\" "
                  "data-vbottom=\"%.10g\" data-scale=\"%s\"",
                  id, kX0, kX1, fr.fmin, fr.fmax, top_px, bottom_px, vtop, vbottom, scale);
}

// Vertical grid lines and frequency labels under a panel.
void freq_grid(Svg& svg, const Frame& fr, const Axis& fa, double top, double bottom, bool labels) {
    for (double f = fa.lo; f <= fa.hi + fa.step * 1e-6; f += fa.step) {
        if (f < fr.fmin - fa.step * 1e-6 || f > fr.fmax + fa.step * 1e-6) continue;
        svg.line(fr.x(f), top, fr.x(f), bottom, {kGrid, 1});
        if (labels) svg.text(fr.x(f), bottom + 18, freq_label(f, fa.step), 12);
    }
}

// The design frequency as a dashed line, when it lies within the sweep.
void design_line(Svg& svg, const Frame& fr, double f0_mhz, double top, double bottom) {
    if (f0_mhz < fr.fmin || f0_mhz > fr.fmax) return;
    svg.line(fr.x(f0_mhz), top, fr.x(f0_mhz), bottom, {"#707070", 1.2, "none", "5 4"});
}

} // namespace

bool plot_has_sweep(const RunResults& res) {
    double lo = INFINITY, hi = -INFINITY;
    for (const FreqResult& r : res.sweep) {
        lo = std::min(lo, r.f);
        hi = std::max(hi, r.f);
    }
    return res.sweep.size() >= 2 && std::isfinite(lo) && std::isfinite(hi) && hi > lo;
}

std::string plot_swr_svg(const Model& m, const RunResults& res) {
    Frame fr{INFINITY, -INFINITY};
    double swr_max = 1, zlo = 0, zhi = 0, swr_min = INFINITY, f_swr_min = 0;
    for (const FreqResult& r : res.sweep) {
        fr.fmin = std::min(fr.fmin, r.f / 1e6);
        fr.fmax = std::max(fr.fmax, r.f / 1e6);
        if (std::isfinite(r.swr)) {
            swr_max = std::max(swr_max, r.swr);
            if (r.swr < swr_min) {
                swr_min = r.swr;
                f_swr_min = r.f / 1e6;
            }
        }
        for (double v : {r.zin.real(), r.zin.imag()})
            if (std::isfinite(v)) {
                zlo = std::min(zlo, v);
                zhi = std::max(zhi, v);
            }
    }
    if (!(fr.fmax > fr.fmin)) return ""; // no frequency range to draw
    const Axis fa = nice_axis(fr.fmin, fr.fmax);
    double swr_top = 1000; // larger SWRs leave the plot at the top
    for (double t : kSwrTicks)
        if (t > 1 && t >= swr_max * (1 - 1e-9)) {
            swr_top = t;
            break;
        }
    const Axis za = nice_axis(zlo, zhi);
    const double f0 = m.f0 / 1e6;

    Svg svg(kWidth, kHeight, "SWR and feed impedance: " + m.title);
    svg.text(kWidth / 2, 30, m.title, 18);
    svg.text(kWidth / 2, 52,
             std::isfinite(swr_min) ? strfmt("SWR against Z0 = %g ohm: lowest %.3f at %.6g MHz",
                                             m.z0ref, swr_min, f_swr_min)
                                    : strfmt("SWR against Z0 = %g ohm", m.z0ref),
             13);
    svg.clip_rect("swr-area", kX0, kSwrTop, kX1 - kX0, kSwrBottom - kSwrTop);
    svg.clip_rect("z-area", kX0, kZTop, kX1 - kX0, kZBottom - kZTop);

    // SWR, logarithmic from 1 at the bottom to swr_top at the top.
    auto swr_y = [&](double s) {
        return kSwrBottom - std::log(std::max(s, 1.0)) / std::log(swr_top) * (kSwrBottom - kSwrTop);
    };
    svg.group_open(panel_attrs("swr", fr, kSwrTop, kSwrBottom, swr_top, 1, "log"));
    freq_grid(svg, fr, fa, kSwrTop, kSwrBottom, false);
    for (double t : kSwrTicks) {
        if (t > swr_top) break;
        svg.line(kX0, swr_y(t), kX1, swr_y(t), {kGrid, 1});
        svg.text(kX0 - 8, swr_y(t) + 4, strfmt("%g", t), 12, "end");
    }
    svg.rect(kX0, kSwrTop, kX1 - kX0, kSwrBottom - kSwrTop, {kAxis, 2});
    design_line(svg, fr, f0, kSwrTop, kSwrBottom);
    std::vector<double> x, y;
    for (const FreqResult& r : res.sweep) {
        x.push_back(fr.x(r.f / 1e6));
        y.push_back(std::isfinite(r.swr) ? swr_y(std::min(r.swr, swr_top * 10)) : NAN);
    }
    svg.group_open("clip-path=\"url(#swr-area)\"");
    svg.path(svg_polyline(x, y), {kSwrColour, 2.5});
    svg.group_close();
    svg.text(30, (kSwrTop + kSwrBottom) / 2, "SWR", 14);
    svg.group_close();

    // R and X, linear.
    auto z_y = [&](double v) {
        return kZBottom - (v - za.lo) / (za.hi - za.lo) * (kZBottom - kZTop);
    };
    svg.group_open(panel_attrs("impedance", fr, kZTop, kZBottom, za.hi, za.lo, "linear"));
    freq_grid(svg, fr, fa, kZTop, kZBottom, true);
    for (double v = za.lo; v <= za.hi + za.step * 1e-6; v += za.step) {
        double shown = std::fabs(v) < za.step * 1e-6 ? 0 : v;
        svg.line(kX0, z_y(shown), kX1, z_y(shown), {shown == 0 ? kAxis : kGrid, 1});
        svg.text(kX0 - 8, z_y(shown) + 4, strfmt("%g", shown), 12, "end");
    }
    svg.rect(kX0, kZTop, kX1 - kX0, kZBottom - kZTop, {kAxis, 2});
    design_line(svg, fr, f0, kZTop, kZBottom);
    svg.group_open("clip-path=\"url(#z-area)\"");
    for (int part = 0; part < 2; ++part) {
        std::vector<double> zy;
        for (const FreqResult& r : res.sweep) {
            double v = part == 0 ? r.zin.real() : r.zin.imag();
            zy.push_back(std::isfinite(v) ? z_y(v) : NAN);
        }
        svg.path(svg_polyline(x, zy), {part == 0 ? kRColour : kXColour, 2.5});
    }
    svg.group_close();
    svg.text(30, (kZTop + kZBottom) / 2, "ohm", 14);
    svg.group_close();

    // Legend and axis title.
    svg.line(kX1 - 170, kZTop - 16, kX1 - 146, kZTop - 16, {kRColour, 2.5});
    svg.text(kX1 - 140, kZTop - 12, "R", 13, "start");
    svg.line(kX1 - 110, kZTop - 16, kX1 - 86, kZTop - 16, {kXColour, 2.5});
    svg.text(kX1 - 80, kZTop - 12, "X", 13, "start");
    svg.text((kX0 + kX1) / 2, kHeight - 22, "Frequency (MHz)", 14);
    return svg.finish();
}
