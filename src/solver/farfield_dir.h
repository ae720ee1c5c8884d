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

// What the ground does to the field of one direction: the coefficients of
// the image's field, E_theta + gv E'_theta and E_phi - gh E'_phi (1 and -1
// over a perfect ground; Fresnel's over a real one; the slab's over a
// board), or below a board without ground plane the slab's transmission
// coefficients of the direct field, E_theta gv and E_phi gh. They depend on
// the direction's polar angle alone.
struct FfGround {
    cplx gv = 1.0, gh = -1.0;
};
FfGround ff_ground(const Model& m, double freq_hz, const FfDir& d);

// r*E_theta, r*E_phi of direction d from the radiation vectors of the
// segments (n_direct) and of their image in z = 0 (n_image, read only when
// d.image is set).
void ff_combine(const Model& m, double freq_hz, const FfDir& d, const std::array<cplx, 3>& n_direct,
                const std::array<cplx, 3>& n_image, cplx& eth, cplx& eph);
// The same with the ground's coefficients of d given (ff_ground).
void ff_combine(const Model& m, double freq_hz, const FfDir& d, const FfGround& g,
                const std::array<cplx, 3>& n_direct, const std::array<cplx, 3>& n_image, cplx& eth,
                cplx& eph);
