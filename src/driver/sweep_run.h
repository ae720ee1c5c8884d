// The sweep of an analysis run: every point solved, summarised and printed
// in ascending frequency.
#pragma once

#include <string>
#include <vector>

#include "driver/results.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

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
//
// When a point lies exactly at the design frequency (the only point of a
// run without a sweep) and every rank holds its solution (one process, or
// a spread solution), that point is solved with the source currents and
// summarised with the beam widths, and kept in *design: the design step
// then takes it instead of solving the same system again.
struct DesignPoint {
    bool have = false;
    int index = -1;            // the sweep point
    std::vector<cplx> cur;     // its currents, one per unknown
    std::vector<cplx> src_cur; // terminal current of every source
    FreqResult r;              // its record, with the pattern summary
    double bwaz = 0, bwel = 0; // beam widths, degrees
    double bwel_horizon = 0;   // one-sided elevation width (PatternFigures)
};
int sweep_run(const RunOptions& opt, const Model& m, const Mesh& mesh, bool spread, RunResults& res,
              std::string& err, DesignPoint* design = nullptr);
