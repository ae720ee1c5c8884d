#include "driver/dish_stage.h"

#include <algorithm>
#include <cmath>

#include "driver/json.h"

namespace {

// Gain of a uniformly lit aperture of the dish's diameter, (pi D/lambda)^2, dBi.
double ideal_gain_db(const Model& m, double D) {
    const double x = phys::pi * D * m.f0 / phys::c0;
    return 10 * std::log10(x * x);
}

} // namespace

int dish_stage(const Model& m, const Mesh& mesh, RunResults& res, std::string& err) {
    if (!m.dish) return 0;
    if (m.ground != GROUND_FREE) {
        std::printf("WARNING: DISH is computed in free space (ground ignored for the reflector)\n");
        std::fflush(stdout);
    }
    const bool grid = res.nth > 0 && res.nph > 0 && !res.gt.empty();
    if (dish_solve(m, mesh, m.f0, res.cur, res.design.pin, res.design.prad, res.dish, res.nth,
                   res.nph, m.dth, m.dph, grid ? res.gt.data() : nullptr, res.gv.data(),
                   res.gh.data(), res.gr.data(), res.gl.data(), err) != 0)
        return -1;
    for (const std::string& w : res.dish.warnings) std::printf("WARNING: %s\n", w.c_str());
    std::fflush(stdout);
    const DishResult& d = res.dish;
    res.design.gmax = d.gain;
    res.design.thmax = 0;
    res.design.phmax = 0;
    res.design.fb = static_cast<double>(d.cut_e.front() - d.cut_e.back());
    res.bwaz = d.hpbw_h;
    res.bwel = d.hpbw_e;
    return 0;
}

void report_dish(const Model& m, const DishResult& d) {
    const double wl = m.f0 / phys::c0;
    std::printf("\nParabolic reflector (physical optics, feed = %s)\n",
                m.dish_q > 0 ? "analytic cos^q" : "the wire antenna above");
    std::printf("  Diameter %.4g m, focal length %.4g m, F/D %.3f, rim angle %.1f deg, %.1f "
                "wavelengths, %d surface points\n",
                d.D, d.F, d.fd, d.theta0, d.D * wl, d.npts);
    if (d.mesh > 0)
        std::printf("  Wire mesh %.4g m, wire diameter %.4g m: reflected power %.2f %% (%.2f dB "
                    "loss)\n",
                    d.mesh, 2 * d.wire_r, 100 * d.mesh_refl, -10 * std::log10(d.mesh_refl));
    if (d.block > 0) std::printf("  Central blockage %.4g m diameter\n", d.block);
    std::printf("  Gain             %.2f dBi on the axis (ideal uniform aperture %.2f dBi)\n",
                d.gain, ideal_gain_db(m, d.D));
    if (d.mesh > 0)
        std::printf("  Aperture efficiency %.1f %% = spillover %.1f %% x illumination %.1f %% x "
                    "mesh %.1f %%\n",
                    100 * d.eta_ap, 100 * d.eta_spill, 100 * d.eta_ill, 100 * d.mesh_refl);
    else
        std::printf("  Aperture efficiency %.1f %% = spillover %.1f %% x illumination %.1f %%\n",
                    100 * d.eta_ap, 100 * d.eta_spill, 100 * d.eta_ill);
    if (d.eta_ill > 1)
        std::printf("  (illumination above 100 %%: the feed's own forward radiation adds to the "
                    "axis gain, and the spillover counts only the power towards the dish)\n");
    std::printf("  Edge illumination %.1f dB (feed pattern and spreading)\n", d.edge_db);
    if (!std::isfinite(d.edge_db)) {
        if (d.edge_db < 0)
            std::printf("  (the feed sends no field towards the rim, %.1f deg off its axis)\n",
                        d.theta0);
        else
            std::printf("  (the feed sends no field along its axis towards the dish centre: "
                        "the edge taper has no reference)\n");
    }
    std::printf("  3-dB beam width  E-plane (xz) %.3f deg, H-plane (yz) %.3f deg\n", d.hpbw_e,
                d.hpbw_h);
    std::printf("  First side lobe  E-plane %.1f dB, H-plane %.1f dB\n", d.sll_e, d.sll_h);
}

void dish_json(std::FILE* f, const Model& m, const DishResult& d) {
    struct Field {
        const char* key;
        const char* fmt;
        double v;
    };
    const Field fields[] = {{"D", "%g", d.D},
                            {"F", "%g", d.F},
                            {"fd", "%g", d.fd},
                            {"mesh", "%g", d.mesh},
                            {"wire", "%g", 2 * d.wire_r},
                            {"block", "%g", d.block},
                            {"q", "%g", d.q},
                            {"gain", "%.4f", d.gain},
                            {"gideal", "%.4f", ideal_gain_db(m, d.D)},
                            {"eta_ap", "%.5f", d.eta_ap},
                            {"eta_spill", "%.5f", d.eta_spill},
                            {"eta_ill", "%.5f", d.eta_ill},
                            {"mesh_refl", "%.5f", d.mesh_refl},
                            {"edge_db", "%.3f", d.edge_db},
                            {"theta0", "%.4f", d.theta0},
                            {"hpbw_e", "%.5f", d.hpbw_e},
                            {"hpbw_h", "%.5f", d.hpbw_h},
                            {"sll_e", "%.3f", d.sll_e},
                            {"sll_h", "%.3f", d.sll_h}};
    std::fputs(",\"dish\":{", f);
    for (const Field& x : fields) {
        std::fprintf(f, "%s\"%s\":", &x == fields ? "" : ",", x.key);
        json_num(f, x.fmt, x.v);
    }
    std::fprintf(f, ",\"npts\":%d,\"cut_th\":[", d.npts);
    for (size_t i = 0; i < d.cut_th.size(); ++i) {
        if (i) std::fputc(',', f);
        json_num(f, "%.5g", d.cut_th[i]);
    }
    // Gains below -99 dB (and any that is not a number) are written as -99.
    for (const auto* cut : {&d.cut_e, &d.cut_h}) {
        std::fputs(cut == &d.cut_e ? "],\"cut_e\":[" : "],\"cut_h\":[", f);
        for (size_t i = 0; i < cut->size(); ++i) {
            double g = (*cut)[i];
            if (!(g >= -99) || !std::isfinite(g)) g = -99;
            std::fprintf(f, i ? ",%.3f" : "%.3f", g);
        }
    }
    std::fputs("]}", f);
}
