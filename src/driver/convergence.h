// The mesh convergence check: the design frequency solved again on a mesh
// of twice the segment density.
#pragma once

#include <string>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

struct ConvResult {
    double dz = -1;      // |Z2 - Z1| / |Z2|, -1 when not computed
    cplx z2;             // the impedance with twice the segments, 0 when not computed
    int nseg2 = 0;       // segments of the refined mesh
    std::string why_not; // why the segmentation could not be refined, empty when it was
};

// A copy of the model with twice the segment density, for a mesh of its own:
// native models double their segments per wavelength and every explicit
// segment count, and halve the largest bend per path piece; NEC decks cut
// every segment of their GW, GA and GH cards in two (nec_refine 2), so that
// each port keeps its place. The copy has its own sources, loads and lines.
// Returns 0, or -1 with the reason in why.
int conv_refine(const Model& m, Model& out, std::string& why);

// Solves freq_hz on the refined copy of m and compares the feed impedance
// with z1, the design mesh's. The design mesh (nseg1 segments) and the
// unknown indices in m stay untouched. A refinement that gives no more
// segments, fails to mesh or fails to solve leaves dz at -1 and says why.
// Every rank of a spread run takes part (dist: spread the matrix as -dist
// asks) and gets the same result.
ConvResult conv_check(const Model& m, int nseg1, double freq_hz, cplx z1, bool dist);

// The impedance extrapolated from the design mesh's z1 and the refined
// mesh's z2 (first order in the segment length: 2 z2 - z1), or NaN when the
// two meshes are too far apart for the error to be in its linear regime:
// a change dz above a fifth (the extrapolation then moves Z by more than
// twice that), or a negative resistance from two positive
// ones (a passive antenna's feed cannot have one). NaN is written as null
// and the report says why no estimate is given.
cplx conv_estimate(cplx z1, cplx z2, double dz);
