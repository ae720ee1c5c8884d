// Physical and mathematical constants used throughout Quarlin.
// Values: CODATA 2006 (the exact pre-2019 definitions): c is exact,
// mu0 = 4*pi*1e-7 H/m, eps0 = 1/(mu0*c^2), eta0 = mu0*c.
#pragma once

#include <complex>

namespace phys {

constexpr double pi = 3.141592653589793;
constexpr double two_pi = 6.283185307179586;
constexpr double four_pi = 12.566370614359172;
constexpr double c0 = 299792458.0;                      // speed of light, m/s
constexpr double mu0 = 1.2566370614359173e-06;          // H/m
constexpr double eps0 = 8.854187817620389e-12;          // F/m
constexpr double eta0 = 376.73031346177066;             // ohm, mu0 * c0
constexpr double two_eta0 = 753.4606269235413;          // ohm
constexpr double four_pi_eps0 = 1.1126500554478704e-10; // F/m
constexpr double deg = pi / 180.0;                      // radians per degree
constexpr double db_per_neper = 8.685889638;

} // namespace phys

using cplx = std::complex<double>;
