// The stage of a run that writes the plots and data files asked for on the
// command line, after results.json; and the two pattern cuts the plots
// draw, made at the design frequency when plots are asked for.
#include "driver/exports.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dish/dish.h"
#include "driver/outfile.h"
#include "driver/plots.h"
#include "solver/pattern_cut.h"

namespace {

// 0, 1, 2, ... degrees below end (and end itself when closed), with extra
// inserted in order: every whole degree plus the maximum's own angle.
std::vector<double> degrees(int end, bool closed, double extra) {
    std::vector<double> a;
    for (int k = 0; k < end || (closed && k == end); ++k) a.push_back(k);
    if (std::isfinite(extra) && extra >= 0 && extra <= end && extra != std::floor(extra))
        a.insert(std::upper_bound(a.begin(), a.end(), extra), extra);
    return a;
}

// The gains along a cut: the reflector system's when the model has a dish.
void cut_gains(const Model& m, const Mesh& mesh, const RunResults& res, PatternCut& cut) {
    if (m.dish)
        dish_pattern_cut(m, mesh, m.f0, res.cur, res.design.pin, cut);
    else
        pattern_cut(m, mesh, m.f0, res.cur, res.design.pin, cut);
}

} // namespace

void exports_cuts(const RunOptions& opt, const Model& m, const Mesh& mesh, RunResults& res) {
    if (!opt.plot) return;
    const FreqResult& d = res.design;
    const bool upper = !(m.ground == GROUND_FREE || (m.ground == GROUND_PCB && !m.pcb_gnd));

    // Around the azimuth at the polar angle of the maximum.
    PatternCut az;
    az.phi_deg = degrees(360, false, d.phmax);
    az.theta_deg.assign(az.phi_deg.size(), d.thmax);
    cut_gains(m, mesh, res, az);
    res.cut_az = {az.phi_deg, az.gt_db};

    // Around the vertical plane through the maximum's azimuth: the angle is
    // the elevation seen from the maximum's side, 90 at the zenith, 180 the
    // horizon behind, 270 the nadir.
    const double el_max = 90 - d.thmax;
    PatternCut el;
    std::vector<double> psi = upper ? degrees(180, true, el_max)
                                    : degrees(360, false, el_max >= 0 ? el_max : 360 + el_max);
    for (double p : psi) {
        if (p <= 90) {
            el.theta_deg.push_back(90 - p);
            el.phi_deg.push_back(d.phmax);
        } else if (p <= 270) {
            el.theta_deg.push_back(p - 90);
            el.phi_deg.push_back(d.phmax + 180);
        } else {
            el.theta_deg.push_back(450 - p);
            el.phi_deg.push_back(d.phmax);
        }
    }
    cut_gains(m, mesh, res, el);
    res.cut_el = {psi, el.gt_db};
}

int exports_write(const RunOptions& opt, const Model& m, const RunResults& res) {
    struct File {
        bool wanted;
        const char* name;
        const char* kind;
        std::string (*make)(const Model&, const RunResults&);
    };
    const bool sweep = plot_has_sweep(res);
    const File files[] = {
        {opt.plot, "pattern.svg", "Plot", plot_pattern_svg},
        {opt.plot && sweep, "swr.svg", "Plot", plot_swr_svg},
        {opt.plot, "smith.svg", "Plot", plot_smith_svg},
        {opt.csv, "sweep.csv", "Table", csv_sweep},
        {opt.csv, "pattern.csv", "Table", csv_pattern},
        {opt.s1p, "sweep.s1p", "Touchstone file", touchstone_s1p},
    };
    for (const File& f : files) {
        if (!f.wanted) continue;
        std::string path = opt.outdir + "/" + f.name;
        if (write_text_file(path, f.make(m, res)) != 0) {
            std::printf("ERROR: cannot write %s\n", path.c_str());
            std::fflush(stdout);
            return EXIT_WRITE;
        }
        if (!opt.quiet) std::printf("%s written to %s\n", f.kind, path.c_str());
    }
    if (opt.plot && !sweep && !opt.quiet)
        std::printf("No swr.svg: the sweep has a single frequency\n");
    std::fflush(stdout);
    return EXIT_OK;
}
