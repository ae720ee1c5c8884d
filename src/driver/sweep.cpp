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
