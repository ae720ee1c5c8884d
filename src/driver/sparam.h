// The reflection coefficient of a port impedance, for the Smith chart and
// the S-parameter exports.
#pragma once

#include "common/constants.h"

// S11 = (Z - Z0)/(Z + Z0) of the impedance z_ohm against the real
// reference z0_ohm.
inline cplx s11_of(cplx z_ohm, double z0_ohm) {
    return (z_ohm - z0_ohm) / (z_ohm + z0_ohm);
}
