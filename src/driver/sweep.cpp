#include "driver/sweep.h"

#include <algorithm>
#include <cmath>

#include "common/text.h"

double sweep_fres(const std::vector<double>& f, const std::vector<std::complex<double>>& z) {
    size_t n = std::min(f.size(), z.size());
    for (size_t i = 1; i < n; ++i) {
        double x0 = z[i - 1].imag(), x1 = z[i].imag();
        if ((x0 < 0 && x1 >= 0) || (x0 > 0 && x1 <= 0))
            return (f[i - 1] - x0 * (f[i] - f[i - 1]) / (x1 - x0)) / 1e6;
    }
    return -1;
}

double sweep_fpeak(const std::vector<double>& f, const std::vector<std::complex<double>>& z) {
    size_t n = std::min(f.size(), z.size());
    if (n < 2) return -1;
    double best = -1;
    size_t k = 0;
    for (size_t i = 0; i < n; ++i)
        if (z[i].real() > best) {
            best = z[i].real();
            k = i;
        }
    if (k == 0 || k + 1 >= n) return -1;
    double rm = z[k - 1].real(), r0 = z[k].real(), rp = z[k + 1].real();
    double d = rm - 2 * r0 + rp;
    double shift = d != 0 ? (f[k + 1] - f[k]) * 0.5 * (rm - rp) / d : 0;
    return (f[k] + shift) / 1e6;
}

std::string sweep_f0_warning(const Model& m) {
    if (m.nfreq < 2) return "";
    const double lo = std::min(m.fstart, m.fstop), hi = std::max(m.fstart, m.fstop);
    const double slack = 1e-9 * std::max(std::fabs(lo), std::fabs(hi));
    if (m.f0 >= lo - slack && m.f0 <= hi + slack) return "";
    return strfmt("design frequency %.6g MHz lies outside the sweep (%.6g to %.6g MHz)", m.f0 / 1e6,
                  lo / 1e6, hi / 1e6);
}

// The parabola through (-h, g-), (0, g0), (h, g+) has its vertex at
// x = h (g- - g+) / (2 d), d = g- - 2 g0 + g+ < 0, with the value
// g0 - (g+ - g-)^2 / (8 d).
bool sweep_gain_peak(const std::vector<double>& f, const std::vector<double>& g, double* f_mhz,
                     double* g_peak) {
    size_t n = std::min(f.size(), g.size());
    if (n < 3) return false;
    size_t k = 0;
    for (size_t i = 1; i < n; ++i)
        if (g[i] > g[k]) k = i;
    if (k == 0 || k + 1 >= n) return false;
    double gm = g[k - 1], g0 = g[k], gp = g[k + 1];
    if (!std::isfinite(gm) || !std::isfinite(g0) || !std::isfinite(gp)) return false;
    double d = gm - 2 * g0 + gp;
    double x = d < 0 ? 0.5 * (gm - gp) / d : 0;
    *f_mhz = (f[k] + x * (f[k + 1] - f[k])) / 1e6;
    *g_peak = d < 0 ? g0 - (gp - gm) * (gp - gm) / (8 * d) : g0;
    return true;
}
