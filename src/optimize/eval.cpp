#include "optimize/eval.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "driver/pattern_summary.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "solver/solve.h"

namespace {

// Front/back reward stops growing at this ratio when the goal gives no
// positive target, dB.
constexpr double kFbCapDefault = 30.0;
// Floor of a gain before its logarithm (a null in the goal's direction).
constexpr double kGainFloor = 1e-30;

bool needs_pattern(const Model& base) {
    for (const Goal& g : base.goal)
        if (g.kind == GOAL_FB || g.kind == GOAL_GMAX) return true;
    return false;
}

int fail(std::string* why, const std::string& msg, int code) {
    if (why) *why = msg;
    return code;
}

} // namespace

const char* opt_goal_name(int kind) {
    switch (kind) {
    case GOAL_GAIN:
        return "gain";
    case GOAL_FB:
        return "fb";
    case GOAL_SWR:
        return "swr";
    case GOAL_R:
        return "r";
    case GOAL_X:
        return "x";
    case GOAL_GMAX:
        return "gmax";
    default:
        return "?";
    }
}

int opt_eval(OptResult& r, const std::string& path, const Model& base, std::span<const double> x,
             std::string* why) {
    r = OptResult{};
    model_clear_overrides();
    for (size_t k = 0; k < base.opt.size() && k < x.size(); ++k)
        model_set_override(base.opt[k].name, x[k]);

    Model m;
    std::string err;
    if (model_read(path, m, err) != 0) return fail(why, err, EXIT_MODEL);
    Mesh mesh;
    if (mesh_build(m, mesh, m.f0, err) != 0) return fail(why, err, EXIT_MESH);
    std::vector<cplx> cur;
    FreqResult fr;
    int rc = solve_freq(m, mesh, m.f0, cur, fr, 0, nullptr, err);
    if (rc != 0) return fail(why, rc == kSolveSingular ? "singular matrix" : err, EXIT_SOLVE);
    if (needs_pattern(base)) pattern_summary(m, mesh, m.f0, cur, fr.pin, fr, nullptr, nullptr);

    double cost = 0;
    for (size_t j = 0; j < base.goal.size() && j < r.goal_val.size(); ++j) {
        const Goal& g = base.goal[j];
        const double w = g.weight, t = g.target;
        double value = 0;
        switch (g.kind) {
        case GOAL_GAIN: {
            double G = gain_dir(m, mesh, m.f0, cur, fr.pin, g.theta * phys::deg, g.phi * phys::deg);
            value = 10 * std::log10(std::max(G, kGainFloor));
            cost -= w * value;
            break;
        }
        case GOAL_FB: {
            double cap = t > 0 ? t : kFbCapDefault;
            value = fr.fb;
            cost -= w * std::min(std::isnan(fr.fb) ? cap : fr.fb, cap);
            break;
        }
        case GOAL_SWR:
            value = fr.swr;
            cost += 10 * w * std::max(fr.swr - t, 0.0);
            break;
        case GOAL_R:
            value = fr.zin.real();
            cost += w * std::abs(value - t) / 10;
            break;
        case GOAL_X:
            value = fr.zin.imag();
            cost += w * std::abs(value - t) / 10;
            break;
        case GOAL_GMAX:
            value = fr.gmax;
            cost -= w * value;
            break;
        default:
            break;
        }
        r.goal_val[j] = value;
    }
    r.cost = cost;
    r.zin = fr.zin;
    r.swr = fr.swr;
    r.gmax = fr.gmax;
    r.fb = fr.fb;
    r.ok = 1;
    return 0;
}
