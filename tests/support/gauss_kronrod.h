// The 7-point Gauss / 15-point Kronrod pair on [-1, 1], for the reference
// integrations of the tests and benchmarks: Kronrod nodes kXk (positive
// half, the last is the centre), their weights kWk, and the Gauss weights
// kWg of the odd-numbered nodes kXk[1], kXk[3], kXk[5], kXk[7].
#pragma once

namespace gauss_kronrod {

constexpr double kXk[8] = {
    0.991455371120812639, 0.949107912342758525, 0.864864423359769073, 0.741531185599394440,
    0.586087235467691130, 0.405845151377397167, 0.207784955007898468, 0.0};
constexpr double kWk[8] = {0.022935322010529225, 0.063092092629978553, 0.104790010322250184,
                           0.140653259715525919, 0.169004726639267903, 0.190350578064785410,
                           0.204432940075298892, 0.209482141084727828};
constexpr double kWg[4] = {0.129484966168869693, 0.279705391489276668, 0.381830050505118945,
                           0.417959183673469388};

} // namespace gauss_kronrod
