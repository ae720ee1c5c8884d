// The reflector surface: a paraboloid of revolution z = r^2/(4F) - F with
// its focus at the origin, vertex at (0, 0, -F), opening towards +z,
// sampled on rings of equal width, and the reflectivity of a wire-mesh
// surface.
#pragma once

#include <vector>

#include "common/constants.h"

// One surface sample: position (m), area projected on the aperture plane
// (m^2), and the physical-optics current of the sample times its area
// (A m), filled once the feed field is known.
struct DishPoint {
    double x = 0, y = 0, z = 0;
    double area = 0;
    cplx jx = 0, jy = 0, jz = 0;
};

// The samples ring by ring from the centre out: ring i has radius
// (i + 0.5) dr and ring_n[i] points.
struct DishSampling {
    std::vector<DishPoint> pts;
    std::vector<int> ring_n;
    double dr = 0; // ring width, m
};

// Sample spacing: an eighth of a wavelength along the radius and the rings.
constexpr double kDishStepPerLambda = 0.125;
// The fewest rings, and the fewest points on a ring.
constexpr int kDishMinRings = 40;
constexpr int kDishMinRingPoints = 16;

// ceil(x) for counts that are whole numbers in exact arithmetic: x a hair
// above an integer through rounding (D = 10 wavelengths giving 40.000000001
// rings at some frequencies) counts as that integer. Values below 1 give 1;
// x must be finite and below 2^31.
int dish_ceil(double x);

// Number of rings for diameter D (m) at wavelength lambda (m), and the
// total number of samples, in double so that absurd sizes can be refused
// before anything is allocated.
int dish_ring_count(double D, double lambda);
double dish_point_count(double D, double lambda);

// Samples the paraboloid of diameter D and focal length F at wavelength
// lambda: rings of width dr = (D/2)/N_r, N_r = ceil((D/2)/(lambda/8)) but at
// least 40; ring i of radius r_i = (i + 0.5) dr carries ceil(2 pi r_i /
// (lambda/8)) points, at least 16, at azimuths (j + 0.5) 2 pi / N_i, each of
// projected area dr r_i 2 pi / N_i. Currents are left zero.
DishSampling dish_surface(double D, double F, double lambda);

// Number of leading samples on rings whose radius is below block/2, the
// central blockage of diameter block (m).
int dish_blocked(const DishSampling& s, double block);

// Reflectivity of a surface of parallel wires of radius a (m), spacing s (m)
// at wavelength lambda, seen as a shunt reactance across the incident
// wave's line (the thin-wire grating of Marcuvitz, Waveguide Handbook
// sec. 5.21):
//   X = eta0 (s/lambda) ln(s/(2 pi a)),  Gamma = -1 / (1 + j 2X/eta0).
// A radius of 0 or less means s/50. Wires thicker than s/(2 pi) are nearly
// touching: the formula's reactance would turn capacitive there, and the
// surface is taken as solid (X = 0, Gamma = -1). s of 0 or less is a solid
// surface. Returns Gamma.
cplx dish_mesh_gamma(double s, double a, double lambda);
