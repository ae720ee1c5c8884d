// The optimizer: differential evolution (DE/rand/1/bin with immediate
// replacement) over the model variables named by OPTVAR lines, against the
// weighted GOAL lines, then the optimized model file and its analysis.
//
//   quarlin -opt model.ant [-o dir]
#pragma once

#include <string>
#include <vector>

#include "optimize/eval.h"

// The whole optimizer run from its argument vector (args[1] is "-opt",
// args[2] the model path; after it every "-o" followed by an argument sets
// the output directory, everything else is ignored). Returns the exit code:
// that of the final analysis of the optimized model, or 2 (model not
// readable, no OPTVAR or GOAL, no candidate solvable at the read), 3 or 4
// (no candidate could be meshed or solved), 5 (the optimized model file or
// the output directory cannot be written).
int opt_main(const std::vector<std::string>& args);
int opt_main(int argc, const char* const* argv);

// Index of the best result: the smallest cost that is a number among the
// solved candidates, the first of equal costs winning; when none was
// solved, the smallest cost that is a number among all; -1 when no cost is
// a number.
int opt_best(const std::vector<OptResult>& res);

// Population size for a model: its OPTSET pop when positive, else ten per
// variable when that is at least 16, else 15.
int opt_population(const Model& m);
// Generations: OPTSET gen when positive, else 40.
int opt_generations(const Model& m);
