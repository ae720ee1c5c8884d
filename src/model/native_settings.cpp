// Model-wide settings of the native format: GROUND, DISH, MESH, Z0, PATTERN
// and the optimizer's OPTVAR, GOAL and OPTSET.
#include <cmath>
#include <initializer_list>

#include "common/text.h"
#include "model/expr.h"
#include "model/native.h"

namespace {

// The finest pattern step accepted: 0.1 degree already samples 6.5 million
// directions over the sphere.
constexpr double kMinPatternStepDeg = 0.1;
// OPTSET pop: differential evolution needs three donors besides the
// target member; the upper bound keeps the population array in memory.
constexpr int kMinPop = 4;
constexpr int kMaxPop = 10000;

bool all_finite(std::initializer_list<double> vals) {
    for (double v : vals)
        if (!std::isfinite(v)) return false;
    return true;
}

} // namespace

int kw_ground(NativeReader& r, Tokens& t) {
    Model& m = r.m;
    std::string kind = lower(t[1]);
    if (kind == "perfect") {
        m.ground = GROUND_PERFECT;
    } else if (kind == "real") {
        m.ground = GROUND_REAL;
    } else if (kind == "pcb" || kind == "board") {
        m.ground = GROUND_PCB;
        m.pcb_eps = 4.4;
        m.pcb_tand = 0;
        m.pcb_h = 0.0016;
        m.pcb_gnd = 0;
        if (auto v = kv(t, 2, "eps")) m.pcb_eps = num_d(*v);
        if (auto v = kv(t, 2, "tand")) m.pcb_tand = num_d(*v);
        if (auto v = kv(t, 2, "h")) m.pcb_h = len_unit(*v, r.scale);
        if (auto v = kv(t, 2, "thickness")) m.pcb_h = len_unit(*v, r.scale);
        if (flag(t, 2, "groundplane") || flag(t, 2, "grounded")) m.pcb_gnd = 1;
        // Written so that NaN fails as well.
        if (!(m.pcb_eps >= 1) || !(m.pcb_h > 0) || !std::isfinite(m.pcb_h) ||
            !std::isfinite(m.pcb_eps))
            return r.fail("GROUND pcb needs eps >= 1 and h > 0");
    } else {
        m.ground = GROUND_FREE;
    }
    if (auto v = kv(t, 2, "eps")) m.eps = num_d(*v);
    if (auto v = kv(t, 2, "sigma")) m.sigma = num_d(*v);
    if (!all_finite({m.eps, m.sigma, m.pcb_tand}))
        return r.fail("GROUND eps, sigma and tand must be finite numbers");
    m.somm = 0;
    if (m.ground == GROUND_REAL) {
        if (flag(t, 2, "mininec"))
            m.ground = GROUND_MININEC;
        else if (flag(t, 2, "sommerfeld"))
            m.somm = 1;
    }
    return 0;
}

int kw_dish(NativeReader& r, Tokens& t) {
    Model& m = r.m;
    m.dish = 1;
    m.dish_d = 0;
    m.dish_f = 0;
    if (auto v = kv(t, 1, "D")) m.dish_d = len_unit(*v, r.scale);
    if (auto v = kv(t, 1, "F")) m.dish_f = len_unit(*v, r.scale);
    if (auto v = kv(t, 1, "FD"))
        if (m.dish_d > 0) m.dish_f = m.dish_d * num_d(*v);
    if (auto v = kv(t, 1, "mesh")) m.dish_mesh = len_unit(*v, r.scale);
    if (auto v = kv(t, 1, "wire")) m.dish_wire_r = len_unit(*v, r.scale) / 2;
    if (auto v = kv(t, 1, "block")) m.dish_block = len_unit(*v, r.scale);
    if (auto v = kv(t, 1, "q")) m.dish_q = num_d(*v);
    if (!(m.dish_d > 0) || !(m.dish_f > 0) || !std::isfinite(m.dish_d) || !std::isfinite(m.dish_f))
        return r.fail("DISH needs D= and F= or FD=");
    if (!all_finite({m.dish_mesh, m.dish_wire_r, m.dish_block, m.dish_q}))
        return r.fail("DISH values must be finite numbers");
    if (m.dish_mesh > 0 && !(m.dish_wire_r > 0)) m.dish_wire_r = m.dish_mesh / 50;
    return 0;
}

int kw_mesh(NativeReader& r, Tokens& t) {
    Model& m = r.m;
    if (auto v = kv(t, 1, "segwl")) m.segwl = num_d(*v);
    if (auto v = kv(t, 1, "angle")) m.angle = num_d(*v);
    if (auto v = kv(t, 1, "taper")) m.taper = iequals(*v, "off") ? 0 : 1;
    if (auto v = kv(t, 1, "ends")) m.ends = iequals(*v, "off") ? 0 : 1;
    if (auto v = kv(t, 1, "fmax")) m.fmax = num_d(*v) * r.freq_unit;
    if (!all_finite({m.segwl, m.angle, m.fmax}))
        return r.fail("MESH values must be finite numbers");
    // The mesher's target segment length is the wavelength / segwl.
    if (!(m.segwl > 0)) return r.fail("MESH segwl must be positive");
    return 0;
}

int kw_z0(NativeReader& r, Tokens& t) {
    double z = num_d(t[1]);
    // The SWR and the matching networks divide by it.
    if (!(z > 0) || !std::isfinite(z)) return r.fail("Z0 must be a positive number of ohms");
    r.m.z0ref = z;
    return 0;
}

int kw_pattern(NativeReader& r, Tokens& t) {
    if (auto v = kv(t, 1, "dth")) r.m.dth = num_d(*v);
    if (auto v = kv(t, 1, "dph")) r.m.dph = num_d(*v);
    // A step of 0 or less asks for no grid; a tiny positive one would ask
    // for billions of directions.
    for (double step : {r.m.dth, r.m.dph})
        if (!std::isfinite(step) || (step > 0 && step < kMinPatternStepDeg))
            return r.fail("PATTERN steps must be at least %g degrees (0 for no grid)",
                          kMinPatternStepDeg);
    return 0;
}

int kw_optvar(NativeReader& r, Tokens& t) {
    if (r.m.nopt() >= kMaxOptVar) return 0;
    OptVar v;
    v.name = t[1];
    cut(v.name, kNameMax);
    if (expr_eval(t[2], 0.0, &v.lo) != 0 || expr_eval(t[3], 0.0, &v.hi) != 0 ||
        !all_finite({v.lo, v.hi}))
        return r.fail("OPTVAR limits");
    r.m.opt.push_back(v);
    return 0;
}

int kw_goal(NativeReader& r, Tokens& t) {
    if (r.m.ngoal() >= kMaxGoal) return 0;
    Goal g;
    std::string word = lower(t[1]);
    if (word == "gain")
        g.kind = GOAL_GAIN;
    else if (word == "fb")
        g.kind = GOAL_FB;
    else if (word == "swr")
        g.kind = GOAL_SWR;
    else if (word == "r")
        g.kind = GOAL_R;
    else if (word == "x")
        g.kind = GOAL_X;
    else
        g.kind = GOAL_GMAX;
    g.target = g.kind == GOAL_SWR ? 1.5 : g.kind == GOAL_R ? 50.0 : 0.0;
    subst_tokens(t, 2);
    if (auto v = kv(t, 2, "theta")) g.theta = num_d(*v);
    if (auto v = kv(t, 2, "elev")) g.theta = 90 - num_d(*v);
    if (auto v = kv(t, 2, "phi")) g.phi = num_d(*v);
    if (auto v = kv(t, 2, "az")) g.phi = num_d(*v);
    if (auto v = kv(t, 2, "target")) g.target = num_d(*v);
    if (auto v = kv(t, 2, "weight")) g.weight = num_d(*v);
    if (!all_finite({g.theta, g.phi, g.target, g.weight}))
        return r.fail("GOAL values must be finite numbers");
    r.m.goal.push_back(g);
    return 0;
}

int kw_optset(NativeReader& r, Tokens& t) {
    if (auto v = kv(t, 1, "pop")) r.m.pop = num_i(*v);
    if (auto v = kv(t, 1, "gen")) r.m.gen = num_i(*v);
    if (auto v = kv(t, 1, "seed")) r.m.seed = num_i(*v);
    if (r.m.pop > 0 && (r.m.pop < kMinPop || r.m.pop > kMaxPop))
        return r.fail("OPTSET pop must be %d to %d (0 for the default)", kMinPop, kMaxPop);
    return 0;
}
