// The moment-method solution at one frequency: impedance matrix, losses,
// loads and lines, elimination, currents and the port figures.
#pragma once

#include <string>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/kernel.h"
#include "solver/loads.h"

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

// Completes the record r of a solved frequency with the radiated power prad
// (prad_integrate of its currents, W): r.prad, and r.eff = r.agt = prad/pin
// when pin > 0, as solve_freq's want_prad does. Returns 0, or kSolveBadInput
// with the message in err when prad is not finite (r is then unchanged).
int solve_radiated(double prad, FreqResult& r, std::string& err);

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
// The same into one process's part of the matrix: only the segments with
// unknowns in the part's rows are filled, only against the segments with
// unknowns in its columns, and every entry the part holds comes out as in
// the whole matrix.
void fill_matrix(const Model& m, const Mesh& mesh, double freq_hz, const FillGeom& geom,
                 MatrixPart& part, const SommTable* table = nullptr,
                 SommFieldFn corr_field = nullptr, int corr_refine = 0);

// Whether every element of the model can only absorb power: loads with a
// non-negative resistance and conductivity, lines (lossless or lossy) with
// passive end admittances, and no two-port network (its admittances may
// describe an amplifier). Such an antenna radiates at most its input power.
bool solve_passive(const Model& m);

// Colours of the segments for the parallel fill: segments that share an
// unknown get different colours (0..62; 63 when those are all taken, a class
// the fill then runs serially). Returns one colour per segment.
std::vector<int> fill_colours(const Mesh& mesh);

// The steps of solve_freq, for a solution whose matrix is held and factored
// elsewhere (spread over several processes). The system has the order
// nunk + net.nextra: the wire unknowns, then the voltages of the undriven
// line ports and the currents at the ends of the lines.

// Checks the input and builds the line network. Returns 0, or
// kSolveBadInput with the message in err.
int solve_prepare(const Model& m, const Mesh& mesh, double freq_hz, LineNet& net, std::string& err);

// Where the assembly writes the matrix: the whole of it, row-major with row
// stride ld, or one process's part of it.
struct MatrixOut {
    cplx* dense = nullptr;
    int ld = 0;
    MatrixPart* part = nullptr;
};

// Adds the radiation part, losses, loads, lines and sources into the zeroed
// matrix Z and right-hand side rhs (the whole vector). Returns 0, or
// kSolveBadInput with the message in err; throws std::bad_alloc when memory
// runs out.
int solve_assemble(const Model& m, const Mesh& mesh, double freq_hz, const LineNet& net,
                   const MatrixOut& Z, cplx* rhs, std::string& err);

// The figures of a solved system x (order nunk + net.nextra): source
// currents into isrc, the record r without radiated power. Returns 0 with x
// cut to the nunk wire currents, or a failure code with its message (x, r
// and isrc then mean nothing).
int solve_figures(const Model& m, double freq_hz, const LineNet& net, std::vector<cplx>& x,
                  FreqResult& r, std::vector<cplx>& isrc, std::string& err);
