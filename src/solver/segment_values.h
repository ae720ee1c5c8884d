// Values per segment for the results file: the current at both ends of
// every segment and the scalar potential at its centre.
#pragma once

#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Segment currents from the unknowns (cur: one amplitude per unknown): the
// current at each segment's start and the change along it (the current is
// linear along a segment).
void seg_currents(const Mesh& mesh, const std::vector<cplx>& cur, std::vector<cplx>& i_start,
                  std::vector<cplx>& i_delta);

// Meshes with more segments than this get no potentials (the sum is over
// all pairs of segments).
constexpr int kMaxPotentialSegs = 8000;

// Scalar potential (V) at every segment centre from the line charges
// q = j dI/(w len) of all segments (i_delta: the change of the current
// along each segment), with the ground's image where there is one. Zero
// for meshes of more than kMaxPotentialSegs segments.
std::vector<cplx> seg_potentials(const Model& m, const Mesh& mesh, double freq_hz,
                                 const std::vector<cplx>& i_delta);
