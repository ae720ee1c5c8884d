// Maximum gain and its direction, front/back ratio and beam widths of one
// solved frequency, searched on the far field direction by direction.
#pragma once

#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

// Power gain (a plain ratio) in one direction (radians) for the input power
// pin: 4 pi (|E_theta|^2 + |E_phi|^2) / (2 eta0) / pin.
double gain_dir(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                double pin, double theta, double phi);

// Fills res.gmax, thmax, phmax and fb; when bwaz is given also writes both
// beam widths (give both or neither), and bwel_horizon when given: the
// one-sided elevation width from the horizon up (PatternFigures). Over a
// ground, and over a board with ground plane, only the upper half-space is
// searched.
void pattern_summary(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                     double pin, FreqResult& res, double* bwaz, double* bwel,
                     double* bwel_horizon = nullptr);

// The same for every rank of the run together: the directions of each step
// of the search are shared out over the ranks, and every rank ends with the
// same figures (those of one process, to the last bit).
void pattern_summary_ranks(const Model& m, const Mesh& mesh, double freq_hz,
                           const std::vector<cplx>& cur, double pin, FreqResult& res, double* bwaz,
                           double* bwel, double* bwel_horizon = nullptr);
