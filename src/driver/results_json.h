// results.json: everything a run found, on one line in a fixed key order.
#pragma once

#include <string>
#include <vector>

#include "driver/results.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Writes the document to path through a temporary file renamed into place.
// Returns 0, or -1 when it could not be written (an existing file is then
// left as it was).
int results_json_write(const std::string& path, const std::string& input, const Model& m,
                       const Mesh& mesh, const RunResults& res);

// Segment currents from the unknowns: the current at each segment's start
// and the change along it (the current is linear along a segment).
void seg_currents(const Mesh& mesh, const std::vector<cplx>& cur, std::vector<cplx>& i_start,
                  std::vector<cplx>& i_delta);

// Scalar potential (V) at every segment centre from the line charges
// q = j dI/(w len) of all segments, with the ground's image where there is
// one. Zero for meshes of more than 8000 segments.
std::vector<cplx> seg_potentials(const Model& m, const Mesh& mesh, double freq_hz,
                                 const std::vector<cplx>& i_delta);
