// Total gain along a list of directions: the pattern cuts that plots draw.
#pragma once

#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Directions in degrees (theta from +z, phi from +x toward +y) and the
// total gain in dBi in each.
struct PatternCut {
    std::vector<double> theta_deg;
    std::vector<double> phi_deg;
    std::vector<double> gt_db; // filled by pattern_cut, one per direction
};

// Fills cut.gt_db with 10 log10 G, G = 4 pi (|E_theta|^2 + |E_phi|^2) /
// (2 eta0 pin), the gain over an isotropic radiator fed with pin watts; a
// direction without radiation (G <= 1e-30) gets -300 dB, as in the pattern
// grid. The directions are evaluated together (ff_eval_many).
void pattern_cut(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                 double pin, PatternCut& cut);
