// The console report of an analysis run.
#pragma once

#include <string>
#include <vector>

#include "driver/results.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Banner, header, the reader's and the mesh's warnings.
void report_header(const Model& m, const Mesh& mesh);
// "WARNING: %s" lines (quiet runs print them without the header).
void report_warnings(const std::vector<std::string>& lines);
// Head of the sweep table and one row per solved point (flushed at once, so
// a long sweep shows its progress).
void report_sweep_head();
void report_sweep_row(const FreqResult& r);
// The design-frequency block: impedance, power, gain, front/back, matching,
// convergence and run time.
void report_design(const Model& m, const RunResults& res);
