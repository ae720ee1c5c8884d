// The plots and data files a run writes on request (-plot, -csv, -s1p).
#pragma once

#include <string>

#include "driver/results.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"

// The two design pattern cuts through the maximum that the plots draw
// (res.cut_az, res.cut_el), in steps of 1 degree with the maximum's own
// direction among the points; only when plots are asked for.
void exports_cuts(const RunOptions& opt, const Model& m, const Mesh& mesh, RunResults& res);

// Writes every requested file into opt.outdir and, unless quiet, names
// each. Returns EXIT_OK, or EXIT_WRITE after "ERROR: cannot write %s".
int exports_write(const RunOptions& opt, const Model& m, const RunResults& res);

// sweep.csv: one row per sweep point, f MHz, R, X, SWR, Gmax, F/B and
// |S11| in dB against the model's z0ref.
std::string csv_sweep(const Model& m, const RunResults& res);

// pattern.csv: one row per grid direction, theta and phi in degrees and the
// five gains in dBi as results.json has them.
std::string csv_pattern(const Model& m, const RunResults& res);

// sweep.s1p: Touchstone (version 1) S11 over the sweep in ascending
// frequency, real and imaginary parts against the model's z0ref.
std::string touchstone_s1p(const Model& m, const RunResults& res);
