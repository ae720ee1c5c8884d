#include "driver/report.h"

#include <cmath>
#include <cstdio>

#include "common/text.h"
#include "driver/dish_stage.h"
#include "driver/lmatch.h"
#include "driver/names.h"
#include "driver/run.h"

namespace {

// The front/back ratio of a symmetric pattern is the difference of two equal
// gains and comes out as +-1e-15; below half the last printed digit it is
// shown as 0.00, not -0.00.
double shown_fb(double fb) {
    return std::fabs(fb) < 0.005 ? 0.0 : fb;
}

// Where a source sits: its wire (by name when it has one) or curve and the
// percentage along it; on a NEC deck its tag and segment.
std::string source_place(const Model& m, const Source& s) {
    if (m.is_nec)
        return s.tag != 0 ? strfmt("tag %d segment %d", s.tag, s.seg) : strfmt("segment %d", s.seg);
    std::string what;
    if (s.path >= 0 && s.path < m.npath())
        what = m.paths[static_cast<size_t>(s.path)].name;
    else if (s.wire >= 0 && s.wire < m.nwire() &&
             !m.wires[static_cast<size_t>(s.wire)].name.empty())
        what = m.wires[static_cast<size_t>(s.wire)].name;
    else
        what = strfmt("wire %d", s.wire + 1);
    return strfmt("%s at %.1f %%", what.c_str(), 100 * s.pos);
}

// SWR of an impedance against z0; infinite when the reflection is total or
// more (a port that returns power).
double swr_of(cplx z, double z0) {
    const double g = std::abs((z - z0) / (z + z0));
    return g < 1 ? (1 + g) / (1 - g) : INFINITY;
}

// The sources after the first, each with its impedance, SWR and the power
// it delivers (negative when it takes power back).
void report_further_sources(const Model& m, const RunResults& res) {
    for (int i = 1; i < m.nsrc() && i < static_cast<int>(res.src_cur.size()); ++i) {
        const Source& s = m.srcs[static_cast<size_t>(i)];
        const cplx cur = res.src_cur[static_cast<size_t>(i)];
        const cplx z = s.v / cur;
        const double p = 0.5 * (s.v * std::conj(cur)).real();
        std::printf("  Source %d at %s: %.3f %+.3f j ohm   SWR %.3f   delivers %.6g W\n", i + 1,
                    source_place(m, s).c_str(), z.real(), z.imag(), swr_of(z, m.z0ref), p);
    }
}

} // namespace

void report_header(const Model& m, const Mesh& mesh) {
    std::printf("Quarlin %s - wire and planar antennas (thin-wire moment method)\n", kVersion);
    std::printf("%s\n\n", kCopyright);
    std::printf("Title       : %s\n", m.title.c_str());
    std::printf("Wires       : %d   segments: %d   unknowns: %d   ground: %s%s\n",
                wire_count(m, mesh), mesh.nseg(), mesh.nunk(), ground_name(m.ground),
                m.somm ? " (Sommerfeld)" : "");
    double wl = m.f0 / phys::c0;
    std::printf(
        "Segments    : %.4g ... %.4g m (%.4f ... %.4f wavelengths), min length/radius %.1f\n",
        mesh.minlen, mesh.maxlen, mesh.minlen * wl, mesh.maxlen * wl, mesh.minlr);
    report_warnings(m.warnings);
    report_warnings(mesh.warnings);
}

void report_warnings(const std::vector<std::string>& lines) {
    for (const std::string& w : lines) std::printf("WARNING: %s\n", w.c_str());
    std::fflush(stdout);
}

void report_sweep_head() {
    std::printf("\n%12s %10s %10s %7s %8s %7s\n", "f (MHz)", "R (ohm)", "X (ohm)", "SWR",
                "Gmax dBi", "F/B dB");
    std::fflush(stdout);
}

void report_sweep_row(const FreqResult& r) {
    std::printf("%12.6f %10.3f %10.3f %7.3f %8.2f %7.2f\n", r.f / 1e6, r.zin.real(), r.zin.imag(),
                r.swr, r.gmax, shown_fb(r.fb));
    std::fflush(stdout);
}

void report_design(const Model& m, const RunResults& res) {
    const FreqResult& d = res.design;
    std::printf("\nDesign frequency %.6f MHz\n", m.f0 / 1e6);
    std::printf("  Feed impedance   %.3f %+.3f j ohm   SWR %.3f (Z0 = %g ohm)\n", d.zin.real(),
                d.zin.imag(), d.swr, m.z0ref);
    report_further_sources(m, res);
    // Over a lossy ground only the power that leaves the ground's surface
    // upward counts as radiated: what the ground absorbs is lost.
    const bool ground_loss = m.ground == GROUND_REAL || m.ground == GROUND_MININEC;
    std::printf("  Input power      %.6g W   radiated %.6g W   efficiency %.2f %%%s\n", d.pin,
                d.prad, 100 * d.eff, ground_loss ? " (includes ground loss)" : "");
    if (m.ground != GROUND_REAL && m.ground != GROUND_PCB) {
        bool lossy = m.nload() > 0 || m.mat_sigma > 0;
        std::printf("  Average gain test %.4f (%.3f dB)%s\n", d.agt, 10 * std::log10(d.agt),
                    lossy ? "  (includes losses)" : "");
    }
    if (m.dish)
        report_dish(m, res.dish);
    else
        std::printf("  Max gain         %.2f dBi at elevation %.1f deg, azimuth %.1f deg\n", d.gmax,
                    90 - d.thmax, d.phmax);
    // The one-sided width belongs to the wire antenna's own pattern; after a
    // reflector the widths are the reflector's.
    if (!m.dish && res.bwel == 0 && res.bwel_horizon > 0)
        std::printf("  Front/back       %.2f dB   3-dB beam width: azimuth %.1f deg, elevation "
                    "%.1f deg (one-sided, from the horizon up)\n",
                    shown_fb(d.fb), res.bwaz, res.bwel_horizon);
    else
        std::printf(
            "  Front/back       %.2f dB   3-dB beam width: azimuth %.1f deg, elevation %.1f deg\n",
            shown_fb(d.fb), res.bwaz, res.bwel);
    if (res.fres > 0) std::printf("  Resonance        %.6f MHz (reactance zero)\n", res.fres);
    if (res.gain_peak)
        std::printf("  Peak gain        %.2f dBi at %.6f MHz\n", res.gpeak_g, res.gpeak_f);
    MatchSolution ms[2];
    int nm = lmatch(d.zin.real(), d.zin.imag(), m.z0ref, m.f0, ms);
    if (nm > 0) {
        std::printf("  Matching to %g ohm (L network, lossless):\n", m.z0ref);
        for (int i = 0; i < nm; ++i)
            std::printf("    %d) at the antenna: %s; toward the line: %s\n", i + 1,
                        ms[i].at_antenna.c_str(), ms[i].toward_line.c_str());
    }
    if (res.convdz >= 0) {
        std::printf(
            "  Mesh convergence: Z with twice the segments %.3f %+.3f j ohm (change %.2f %%)\n",
            res.zconv.real(), res.zconv.imag(), 100 * res.convdz);
        if (std::isfinite(res.zconv_est.real())) {
            std::printf("  Mesh convergence: estimated converged Z %.3f %+.3f j ohm (first-order "
                        "extrapolation",
                        res.zconv_est.real(), res.zconv_est.imag());
            if (std::abs(res.zconv_est) > 0)
                std::printf("; the design Z differs by %.2f %%",
                            100 * std::abs(res.zconv_est - res.design.zin) /
                                std::abs(res.zconv_est));
            std::printf(")\n");
        } else {
            std::printf("  Mesh convergence: no converged estimate (the two meshes are too far "
                        "apart to extrapolate; refine the segmentation)\n");
        }
    } else if (!res.conv_note.empty()) {
        std::printf("  Mesh convergence: the segmentation could not be refined (%s)\n",
                    res.conv_note.c_str());
    }
    std::printf("  Run time         %.2f s\n", res.runtime);
    std::fflush(stdout);
}
