// sweep.csv and pattern.csv: the sweep and the pattern grid as plain
// comma-separated tables with a header row, for spreadsheets and scripts.
#include <charconv>
#include <cmath>

#include "common/text.h"
#include "driver/exports.h"
#include "driver/sparam.h"

namespace {

// A value with its conversion, or an empty field when it is not finite.
std::string field(const char* fmt, double v) {
    return std::isfinite(v) ? strfmt(fmt, v) : std::string();
}

// |S| in dB, with the pattern's floor of -300 dB for a perfect match.
double s_db(cplx s) {
    double p = std::norm(s);
    return p > 1e-30 ? 10 * std::log10(p) : -300;
}

// Appends v as "%.2f" (fixed) or "%g" (general, 6 digits) would write it,
// without the cost of a printf call per value: the grid has tens of
// thousands of them.
void append(std::string& t, double v, std::chars_format fmt, int precision) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, fmt, precision);
    t.append(buf, res.ec == std::errc() ? res.ptr : buf);
}

} // namespace

std::string csv_sweep(const Model& m, const RunResults& res) {
    std::string t = "f_MHz,R_ohm,X_ohm,SWR,Gmax_dBi,FB_dB,S11_dB\n";
    for (const FreqResult& r : res.sweep) {
        t += field("%.10g", r.f / 1e6) + "," + field("%.8g", r.zin.real()) + "," +
             field("%.8g", r.zin.imag()) + "," + field("%.8g", r.swr) + "," +
             field("%.4f", r.gmax) + "," + field("%.4f", r.fb) + "," +
             field("%.4f", s_db(s11_of(r.zin, m.z0ref))) + "\n";
    }
    return t;
}

std::string csv_pattern(const Model& m, const RunResults& res) {
    std::string t = "theta_deg,phi_deg,gt_dBi,gv_dBi,gh_dBi,gr_dBi,gl_dBi\n";
    if (res.nth <= 0 || res.nph <= 0) return t;
    const size_t nph = static_cast<size_t>(res.nph);
    const size_t npt = static_cast<size_t>(res.nth) * nph;
    const std::vector<float>* arrays[] = {&res.gt, &res.gv, &res.gh, &res.gr, &res.gl};
    for (const auto* a : arrays)
        if (a->size() < npt) return t;
    t.reserve(npt * 48);
    for (size_t k = 0; k < npt; ++k) {
        append(t, static_cast<double>(k / nph) * m.dth, std::chars_format::general, 6);
        t += ',';
        append(t, static_cast<double>(k % nph) * m.dph, std::chars_format::general, 6);
        for (const auto* a : arrays) {
            double g = (*a)[k];
            if (!(g >= -99) || !std::isfinite(g)) g = -99; // the floor of results.json
            t += ',';
            append(t, g, std::chars_format::fixed, 2);
        }
        t += '\n';
    }
    return t;
}
