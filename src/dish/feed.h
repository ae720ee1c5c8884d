// The analytic feed: an x-polarised cos^q radiator at the focus looking
// towards -z, radiating 1 W.
#pragma once

#include "common/constants.h"

// Amplitude A of the field A cos^q(theta') (theta' the angle off -z) that
// radiates 1 W into the back hemisphere:
//   P = A^2/(2 eta0) 2 pi int_0^{pi/2} cos^{2q} t sin t dt = A^2 2 pi / (2 eta0 (2q + 1)),
// so A = sqrt((2q + 1) 2 eta0 / (2 pi)). Volts (r E).
double dish_feed_amp(double q);

// r E_theta, r E_phi of the analytic feed in the direction (theta, phi),
// radians; zero in the forward half-space theta' = pi - theta >= pi/2.
// The polarisation is Ludwig's third definition of an x-polarised co-polar
// field for a source looking towards -z:
//   e = (-c u^2 + v^2, u v (1 + c), u s),  s = sin theta, c = cos theta,
//   u = cos phi, v = -sin phi (u = 1, v = 0 on the axis),
// a unit vector transverse to the direction, e = x_hat on the axis; then
// E = A cos^q(theta') e. The field is real: the phase centre is the focus.
void dish_feed_field(double amp, double q, double theta, double phi, cplx& eth, cplx& eph);
