// The sweep of an analysis run: every point solved, summarised and printed
// in ascending frequency.
#pragma once

#include <string>

#include "driver/results.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Solves every sweep point into res.sweep (at rank 0; the other ranks of a
// run under mpirun keep no rows) and prints the table unless quiet. A point
// that fails ends the sweep after the rows before it with
// "ERROR: singular matrix at %.6g MHz" (or the failure's own message and
// the frequency) and EXIT_SOLVE on every rank; otherwise EXIT_OK.
//
// Under mpirun the points go round the ranks (point j to rank j mod N), each
// rank solving its own on its threads; rank 0 prints the rows in order as
// they arrive. When spread (-dist, or a matrix too large for one rank) every
// point is solved by all ranks together instead, one after the other.
int sweep_run(const RunOptions& opt, const Model& m, const Mesh& mesh, bool spread, RunResults& res,
              std::string& err);
