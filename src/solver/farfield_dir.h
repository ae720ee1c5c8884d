// One far-field direction as the evaluations of solver/farfield.h share it:
// its unit vectors and what the ground does there, and the field of its
// radiation vectors with the ground's reflection or transmission.
#pragma once

#include <array>

#include "common/constants.h"
#include "model/model.h"

struct FfDir {
    double st = 0, ct = 0;      // sin and cos theta
    double rhat[3] = {0, 0, 0}; // unit vector of the direction
    double th[3] = {0, 0, 0};   // theta_hat
    double ph[3] = {0, 0, 0};   // phi_hat
    bool dark = false;          // below a ground: no field at all
    bool image = false;         // the image's radiation vector is needed
};

FfDir ff_dir(const Model& m, double theta, double phi);
// The same from sin and cos of theta and phi.
FfDir ff_dir(const Model& m, double sin_th, double cos_th, double sin_ph, double cos_ph);

// r*E_theta, r*E_phi of direction d from the radiation vectors of the
// segments (n_direct) and of their image in z = 0 (n_image, read only when
// d.image is set).
void ff_combine(const Model& m, double freq_hz, const FfDir& d, const std::array<cplx, 3>& n_direct,
                const std::array<cplx, 3>& n_image, cplx& eth, cplx& eph);
