// The reflector's principal-plane cuts: the list of cut angles and the beam
// width and first side lobe of one cut.
#pragma once

#include <vector>

// Most cut angles in one list.
constexpr int kDishMaxCuts = 4000;

// Cut angles in degrees for a dish of diameter D at wavelength lambda (m),
// with theta_B = 1.2 lambda/D in degrees: steps of theta_B/40 from 0 while
// below 12 theta_B (and not past 180), then, when 12 theta_B is below 40,
// steps of theta_B/10 from 12 theta_B while below 40, then 40, 40.5, ... 180.
// Fine near the axis and coarse far from it; the list is not ascending when
// the fine run passes 40 degrees. The medium run is cut short so that the
// list never holds more than 4000 angles.
std::vector<double> dish_cut_angles(double D, double lambda);

// Beam width and first side lobe of a cut g[0..n-1] (dBi) at the angles
// theta[0..n-1] (degrees), g[0] on the axis:
// - hpbw: twice the angle where g first falls 3 dB below the axis,
//   interpolated linearly between samples; 0 when it never does;
// - sll: from the first null on (the first local minimum after the 3-dB
//   point), the maximum up to and including the first local maximum, or
//   up to 60 degrees, relative to the axis (dB); 0 when there is none.
void cut_stats(const double* theta, const float* g, int n, double& hpbw, double& sll);
