// sweep.s1p: S11 of the feed over the sweep as a Touchstone version 1 file,
// the format circuit simulators read: '!' comments, the option line
// "# HZ S RI R <z0>" and one line per frequency, ascending, with the real
// and imaginary part of S11.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "driver/exports.h"
#include "driver/run.h"
#include "driver/sparam.h"

namespace {

// A comment line's text: one line, printable.
std::string one_line(const std::string& s) {
    std::string out;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 32) out += c;
    return out;
}

} // namespace

std::string touchstone_s1p(const Model& m, const RunResults& res) {
    std::string t = strfmt("! Quarlin %s: %s\n", kVersion, one_line(m.title).c_str());
    t += strfmt("! S11 of the feed against Z0 = %g ohm over the sweep\n", m.z0ref);
    t += strfmt("# HZ S RI R %.10g\n", m.z0ref);
    // Ascending frequency, each frequency once (a sweep may run downward,
    // or start and stop at one frequency).
    std::vector<const FreqResult*> pts;
    for (const FreqResult& r : res.sweep)
        if (std::isfinite(r.f)) pts.push_back(&r);
    std::stable_sort(pts.begin(), pts.end(),
                     [](const FreqResult* a, const FreqResult* b) { return a->f < b->f; });
    std::string last;
    for (const FreqResult* r : pts) {
        cplx s = s11_of(r->zin, m.z0ref);
        std::string f = strfmt("%.12g", r->f);
        if (f == last || !std::isfinite(s.real()) || !std::isfinite(s.imag())) continue;
        last = f;
        t += f + strfmt(" %.10g %.10g\n", s.real(), s.imag());
    }
    return t;
}
