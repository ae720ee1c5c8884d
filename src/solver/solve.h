// The moment-method solution at one frequency: impedance matrix, losses,
// loads and lines, elimination, currents and the port figures.
#pragma once

#include <string>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/kernel.h"

// The figures of one solved frequency. solve_freq sets f .. agt and zeroes
// the rest; gmax, thmax, phmax and fb come from the pattern summary.
struct FreqResult {
    double f = 0;     // Hz
    cplx zin;         // V/I at the first source, ohm
    cplx iin;         // current at the first source, A
    double swr = 0;   // against the model's z0ref
    double pin = 0;   // 1/2 sum over the sources of Re(V conj(I)), W
    double prad = 0;  // radiated power when asked for, W
    double eff = 0;   // prad / pin when asked for
    double agt = 0;   // average-gain test, prad / pin when asked for
    double gmax = 0;  // dBi
    double thmax = 0; // degrees
    double phmax = 0; // degrees
    double fb = 0;    // dB
};

// Return codes of solve_freq besides 0.
constexpr int kSolveNoMemory = -1; // the matrix or the right-hand side cannot be allocated
constexpr int kSolveSingular = -2; // a pivot column is exactly zero
constexpr int kSolveBadInput = -3; // the model cannot be solved as given (message in err)

// Solves the mesh at freq_hz. On success returns 0, cur holds one complex
// amplitude (A) per unknown, res the figures, and src_cur (when given) the
// terminal current of every source in source order. want_prad asks for the
// radiated power (prad_integrate), the efficiency and the average-gain test,
// both prad/pin (0 unless pin > 0). On failure
// returns one of the codes above with a one-line message in err and leaves
// cur, res and src_cur untouched.
//
// Reads the model's source, load and line unknowns written by mesh_build.
// The fill and the factorization run on par_for workers.
int solve_freq(const Model& m, const Mesh& mesh, double freq_hz, std::vector<cplx>& cur,
               FreqResult& res, int want_prad, std::vector<cplx>* src_cur, std::string& err);

// The radiation part of the impedance matrix at freq_hz: free-space and
// ground interactions of every segment pair, filled colour class by colour
// class on par_for workers into the n x n block of Z (row stride ld, Z
// zeroed by the caller). geom comes from fill_geom_build with the image
// when the model has a ground. With a Sommerfeld table and its field
// function the image is the quasi-static one plus the table's correction;
// corr_refine k >= 1 takes the correction's 4-point rule on every pair with
// k times the sub-intervals (the reference for the cheaper rules far from
// the image, and for the convergence of the rule; at most 40 sub-intervals).
// Throws std::bad_alloc when memory runs out.
void fill_matrix(const Model& m, const Mesh& mesh, double freq_hz, const FillGeom& geom, cplx* Z,
                 int ld, const SommTable* table = nullptr, SommFieldFn corr_field = nullptr,
                 int corr_refine = 0);

// Colours of the segments for the parallel fill: segments that share an
// unknown get different colours (0..62; 63 when those are all taken, a class
// the fill then runs serially). Returns one colour per segment.
std::vector<int> fill_colours(const Mesh& mesh);
