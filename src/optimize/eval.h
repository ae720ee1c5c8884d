// One candidate of the optimizer: the model read with the candidate's
// variable values, meshed, solved at the design frequency and scored
// against the model's goals.
#pragma once

#include <array>
#include <span>
#include <string>

#include "common/constants.h"
#include "model/model.h"

// Cost of a candidate that could not be read, meshed or solved: it loses
// against every solved candidate of smaller cost.
constexpr double kOptFailCost = 1e9;

// The evaluation of one candidate.
struct OptResult {
    double cost = kOptFailCost;              // to be minimised
    cplx zin;                                // feed impedance at f0, ohm
    double swr = 0;                          // against the model's z0ref
    double gmax = 0;                         // dBi; 0 unless a goal needs the pattern summary
    double fb = 0;                           // dB; 0 unless a goal needs the pattern summary
    std::array<double, kMaxGoal> goal_val{}; // achieved value of each goal, in goal order
    int ok = 0;                              // 1 when the candidate was solved
};

// Name of a goal kind as the optimizer prints it: "gain", "fb", "swr",
// "r", "x", "gmax".
const char* opt_goal_name(int kind);

// Evaluates the candidate x (one value per OPTVAR of base, in order): sets
// one override per OPTVAR, reads the model file at path again, meshes it,
// solves f0 (no radiated power, no source currents), runs the pattern
// summary when a fb or gmax goal asks for it, and sums the goal terms of
// base's goals:
//
//   gain  value = 10 log10(max(G(theta, phi), 1e-30)) dBi   cost -= w * value
//   fb    value = F/B dB; t' = target if > 0 else 30      cost -= w * min(F/B, t')
//         (a F/B that is not a number counts as t')
//   swr   value = SWR                                     cost += 10 w max(SWR - t, 0)
//   r, x  value = R or X of zin, ohm                      cost += w |value - t| / 10
//   gmax  value = peak gain, dBi                          cost -= w * value
//
// Gains and front/back are rewarded, SWR above its target and impedance
// deviations penalised. Returns 0 when solved (r.ok = 1); otherwise r keeps
// cost kOptFailCost and ok 0, and the return value is the exit code a
// single run would end with at that stage (2 read, 3 mesh, 4 solve), with
// the stage's message in *why when given.
int opt_eval(OptResult& r, const std::string& path, const Model& base, std::span<const double> x,
             std::string* why = nullptr);
