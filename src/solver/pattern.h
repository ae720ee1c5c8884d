// Radiated power and the gain pattern grid, from the far field of the
// solved currents (solver/farfield.h).
#pragma once

#include <complex>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/farfield.h"

// Radiated power in W: the power density (|E_th|^2 + |E_ph|^2)/(2 eta0)
// integrated over the whole sphere in free space and below a board without
// ground plane, over the upper hemisphere otherwise.
double prad_integrate(const Model& m, const Mesh& mesh, double freq_hz,
                      const std::vector<std::complex<double>>& cur);

// The terms of that integral, for spreading it over several processes: the
// directions form kPradRows rows (6 panels in cos(theta) x 16 Gauss points)
// of kPradRowLen azimuths; prad_terms writes the kPradRowLen terms of each
// row in [row0, row1) into terms, row after row, and prad_sum adds all
// kPradRows x kPradRowLen terms in row order, as prad_integrate does.
constexpr int kPradRows = 96;
constexpr int kPradRowLen = 72;
void prad_terms(const Model& m, const Mesh& mesh, double freq_hz,
                const std::vector<std::complex<double>>& cur, int row0, int row1, double* terms);
double prad_sum(const std::vector<double>& terms);

// Gains in dB over an isotropic radiator fed with pin watts, single
// precision, nth x nph entries each, row-major by theta: entry i*nph + j is
// theta = i*dth, phi = j*dph (degrees). Channels: gt total, gv theta
// (vertical), gh phi (horizontal), gr right-hand and gl left-hand circular.
// gr may be null; then neither gr nor gl is written. Zero gain is -300 dB.
// The caller owns the arrays; rows run on worker threads.
void pattern_grid(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                  double pin, int nth, int nph, double dth, double dph, float* gt, float* gv,
                  float* gh, float* gr, float* gl);

// The argument block and row body of pattern_grid.
struct PatternArgs {
    const Model* m;
    const FfArrays* fa;
    double freq_hz;
    double pin;
    double dth;
    double dph;
    int nph;
    float* gt;
    float* gv;
    float* gh;
    float* gr;
    float* gl;
};
void pat_row(int i, void* args);
// Rough cost of one row of nph directions (ns), for sizing parallel loops.
double pat_row_ns(const Model& m, const FfArrays& fa, int nph);
