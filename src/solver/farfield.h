// Far field of the solved segment currents, over every kind of ground.
//
// The field is r*E in volts: the complex components E_theta, E_phi times
// the distance r, with the spherical factor exp(-j k r) left out and the
// phase referred to the origin. Time dependence exp(+j w t); theta is the
// polar angle from +z, phi the azimuth from +x toward +y, both in radians.
#pragma once

#include <array>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"

// Geometry and current of one segment: I(t) = i0 + i1 t along the segment,
// t = 0 at the start point a and 1 at the end.
struct FfSeg {
    double a[3] = {0, 0, 0};   // start point, m
    double dir[3] = {0, 0, 0}; // unit vector from start to end
    double len = 0;            // m
    cplx i0 = 0;               // A
    cplx i1 = 0;               // A
};

// One record per segment, in segment order, with the current of the
// unknowns (cur: one amplitude per unknown, in the mesh's order) summed in.
std::vector<FfSeg> fseg_build(const Mesh& mesh, const std::vector<cplx>& cur);

// Radiation vector N = sum over segments of u L int_0^1 I(t)
// exp(j k rhat.(a + t L u)) dt for the unit direction rhat; with image = 1
// the same for the perfect-conductor image in z = 0.
std::array<cplx, 3> apot(const FfSeg* fs, int n, const double rhat[3], double k, int image);

// r*E_theta, r*E_phi of the records in direction (theta, phi), the ground of
// the model included.
void ff_eval(const Model& m, const FfSeg* fs, int n, double freq_hz, double theta, double phi,
             cplx& eth, cplx& eph);

// One direction from the mesh and current vector.
void farfield(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
              double theta, double phi, cplx& eth, cplx& eph);

// n directions (theta[i], phi[i]) into eth[i], eph[i], on worker threads.
void farfield_many(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                   int n, const double* theta, const double* phi, cplx* eth, cplx* eph);

// The argument block and loop body of farfield_many.
struct FfManyArgs {
    const Model* m;
    const FfSeg* fs;
    int nseg;
    double freq_hz;
    const double* theta;
    const double* phi;
    cplx* eth;
    cplx* eph;
};
void ff_many_one(int i, void* args);
