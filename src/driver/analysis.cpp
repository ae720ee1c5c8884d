// The analysis run after the model was read: mesh, sweep, design frequency,
// pattern, convergence check, report and results file.
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "dist/dist.h"
#include "driver/convergence.h"
#include "driver/dish_stage.h"
#include "driver/exports.h"
#include "driver/mesh_json.h"
#include "driver/outfile.h"
#include "driver/pattern_summary.h"
#include "driver/report.h"
#include "driver/results.h"
#include "driver/results_json.h"
#include "driver/run.h"
#include "driver/run_checks.h"
#include "driver/sweep.h"
#include "driver/sweep_run.h"
#include "mesh/mesh.h"
#include "solver/pattern.h"
#include "solver/segment_values.h"
#include "solver/solve.h"

namespace {

// Smallest pattern step accepted: finer grids would take gigabytes.
constexpr double kMinPatternStep = 0.1;

// Pattern grid size for a step over a range of degrees; 0 for no grid.
int grid_count(double range, double step) {
    if (!(step > 0)) return 0;
    return static_cast<int>(std::floor(range / step + 1e-9)) + 1;
}

} // namespace

int analysis_run(const RunOptions& opt, Model& m, std::string& err, RunClock::time_point start) {
    for (double step : {m.dth, m.dph})
        if (step > 0 && step < kMinPatternStep) {
            std::printf(
                "ERROR: pattern step %g deg is below the smallest supported step of %g deg\n", step,
                kMinPatternStep);
            std::fflush(stdout);
            return EXIT_MODEL;
        }

    // 4. Mesh.
    Mesh mesh;
    err.clear();
    if (dist_agree(mesh_build(m, mesh, m.f0, err), err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        if (opt.mesh_only && dist_root()) {
            make_dir(opt.outdir);
            mesh_json_error(opt.outdir + "/mesh.json", err);
        }
        return EXIT_MESH;
    }

    // 5. Output directory, one level; a path that cannot hold the files is
    // refused before anything is solved.
    // Rank 0 alone writes files.
    if (dist_agree(dist_root() ? outdir_make(opt.outdir, err) : 0, err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        return EXIT_WRITE;
    }

    // 6. Mesh-only stop: the mesh file and nothing solved. The reader's
    // warnings are said here too; the mesh's go into the file.
    if (opt.mesh_only) {
        if (!dist_root()) return EXIT_OK; // rank 0's exit code is the job's
        report_warnings(m.warnings);
        // Plots, tables and the convergence check need a solution; a mesh
        // run has none, which is said rather than left to an empty folder.
        std::string unused;
        for (auto [on, name] : {std::pair{opt.plot, "-plot"}, std::pair{opt.csv, "-csv"},
                                std::pair{opt.s1p, "-s1p"}, std::pair{opt.conv, "-conv"}})
            if (on) unused += std::string(unused.empty() ? "" : ", ") + name;
        if (!unused.empty()) {
            std::printf("WARNING: -mesh solves nothing: %s ignored\n", unused.c_str());
            std::fflush(stdout);
        }
        std::string path = opt.outdir + "/mesh.json";
        if (mesh_json_write(path, m, mesh) != 0) return EXIT_WRITE;
        if (!opt.quiet) {
            std::printf("Mesh written to %s\n", path.c_str());
            std::fflush(stdout);
        }
        return EXIT_OK;
    }

    // 7. Banner and header, with the warnings: those of the reader, of the
    // mesh and about the ground. A quiet run prints the warnings alone.
    std::vector<std::string> checks;
    std::string near = run_check_near_ground(m, mesh);
    if (!near.empty()) checks.push_back(near);
    if (!opt.quiet) {
        report_header(m, mesh);
    } else {
        report_warnings(m.warnings);
        report_warnings(mesh.warnings);
    }
    report_warnings(checks);

    // A design frequency outside the sweep is run, but said (also when quiet).
    std::string f0_note = sweep_f0_warning(m);
    if (!f0_note.empty()) {
        std::printf("WARNING: %s\n", f0_note.c_str());
        std::fflush(stdout);
    }

    // 8. Sweep: impedance and pattern summary at every point. Under mpirun
    // the points go round the ranks, unless every frequency is solved by
    // all of them together (-dist, or a matrix too large for one rank).
    RunResults res;
    const bool spread = opt.dist || dist_spread_wanted(mesh.nunk());
    DesignPoint at_f0;
    if (sweep_run(opt, m, mesh, spread, res, err, &at_f0) != EXIT_OK) return EXIT_SOLVE;
    const int npts = static_cast<int>(res.sweep.size());
    if (npts >= 2) {
        std::vector<double> fs;
        std::vector<cplx> zs;
        for (const FreqResult& r : res.sweep) {
            fs.push_back(r.f);
            zs.push_back(r.zin);
        }
        res.fres = sweep_fres(fs, zs);
        res.fpeak = sweep_fpeak(fs, zs);
        std::vector<double> gs;
        for (const FreqResult& r : res.sweep) gs.push_back(r.gmax);
        res.gain_peak = sweep_gain_peak(fs, gs, &res.gpeak_f, &res.gpeak_g);
    }

    // 9. Design frequency, with radiated power and the source currents. A
    // sweep point at exactly that frequency has solved the same system and
    // searched the same pattern already (beam widths included): its
    // solution is taken, and only the radiated power is added.
    int rc = 0;
    if (at_f0.have) {
        res.cur = std::move(at_f0.cur);
        res.src_cur = std::move(at_f0.src_cur);
        res.design = at_f0.r;
        res.bwaz = at_f0.bwaz;
        res.bwel = at_f0.bwel;
        res.bwel_horizon = at_f0.bwel_horizon;
        rc = dist_radiated(m, mesh, m.f0, res.cur, res.design, err);
    } else {
        rc = dist_solve_freq(m, mesh, m.f0, res.cur, res.design, 1, &res.src_cur, err, spread);
        if (rc == 0)
            pattern_summary_ranks(m, mesh, m.f0, res.cur, res.design.pin, res.design, &res.bwaz,
                                  &res.bwel, &res.bwel_horizon);
    }
    if (rc != 0) {
        if (rc == kSolveSingular)
            std::printf("ERROR: singular matrix\n");
        else
            std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        return EXIT_SOLVE;
    }
    std::string power = run_check_power(m, res.design);
    if (!power.empty()) report_warnings({power});

    // 10. Pattern grid at the design frequency.
    const bool whole_sphere = m.ground == GROUND_FREE || (m.ground == GROUND_PCB && !m.pcb_gnd);
    res.nth = grid_count(whole_sphere ? 180.0 : 90.0, m.dth);
    res.nph = grid_count(360.0, m.dph);
    if (res.nth > 0 && res.nph > 0) {
        size_t npt = static_cast<size_t>(res.nth) * static_cast<size_t>(res.nph);
        for (auto* a : {&res.gt, &res.gv, &res.gh, &res.gr, &res.gl}) a->assign(npt, -300.0f);
        dist_pattern_grid(m, mesh, m.f0, res.cur, res.design.pin, res.nth, res.nph, m.dth, m.dph,
                          res.gt.data(), res.gv.data(), res.gh.data(), res.gr.data(),
                          res.gl.data());
    }

    // 11. Reflector: its pattern and figures replace the wire antenna's.
    // Rank 0 alone needs them (for the report and the files).
    if (dist_agree(m.dish && dist_root() ? dish_stage(m, mesh, res, err) : 0, err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        return EXIT_SOLVE;
    }

    if (dist_root()) exports_cuts(opt, m, mesh, res);

    // 12. Convergence with twice the segment density.
    if (opt.conv) {
        ConvResult c = conv_check(m, mesh.nseg(), m.f0, res.design.zin, opt.dist);
        res.convdz = c.dz;
        res.zconv = c.z2;
        res.conv_note = c.why_not;
    }
    // Richardson extrapolation of the two impedances, first order in the
    // segment length h: Z(h) = Z + c h gives Z = 2 Z(h/2) - Z(h).
    if (res.convdz >= 0) res.zconv_est = conv_estimate(res.design.zin, res.zconv, res.convdz);

    // 13. Run time.
    res.runtime = std::chrono::duration<double>(RunClock::now() - start).count();

    // 14. The design block.
    if (!opt.quiet) report_design(m, res);

    // 15. Results file, written by rank 0 alone (its exit code is the
    // job's), with the potentials at the segment centres.
    if (!dist_root()) return EXIT_OK;
    {
        std::vector<cplx> i_start, i_delta;
        seg_currents(mesh, res.cur, i_start, i_delta);
        res.seg_v = seg_potentials(m, mesh, m.f0, i_delta);
    }
    std::string path = opt.outdir + "/results.json";
    if (results_json_write(path, opt.input, m, mesh, res) != 0) {
        std::printf("ERROR: cannot write %s\n", path.c_str());
        std::fflush(stdout);
        return EXIT_WRITE;
    }
    if (!opt.quiet) {
        std::printf("\nResults written to %s\n", path.c_str());
        std::fflush(stdout);
    }
    return exports_write(opt, m, res);
}
