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

// n directions (theta[i], phi[i]) into eth[i], eph[i], on worker threads
// (through ff_eval_many).
void farfield_many(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                   int n, const double* theta, const double* phi, cplx* eth, cplx* eph);

// The records as contiguous arrays, one entry per segment, for evaluating
// many directions at once. The arrays are padded to whole chunks of
// kFfChunk segments with segments of zero length and current, which belong
// to no run.
// continues[s] is 1 when segment s has the length and direction of segment
// s - 1 and starts at its end (to 1e-13, or to the rounding of the end
// points' coordinates): it then shares its line integrals and the phase
// step along the wire. The runs of such segments, cut at chunk boundaries,
// start at the segments listed in head[], chunk c's from head_at[c] to
// head_at[c + 1].
struct FfArrays {
    int n = 0;                      // segments
    int npad = 0;                   // padded length of the arrays
    std::vector<double> ax, ay, az; // start point, m
    std::vector<double> ux, uy, uz; // unit direction
    std::vector<double> len;        // m
    std::vector<double> i0r, i0i;   // current at the start, A
    std::vector<double> i1r, i1i;   // slope term, A
    std::vector<unsigned char> continues;
    std::vector<int> head, head_at;
};
FfArrays ff_arrays(const std::vector<FfSeg>& fs);
FfArrays ff_arrays(const Mesh& mesh, const std::vector<cplx>& cur);

// Directions evaluated together by ff_eval_dirs, one per vector lane, and
// segments whose phases are computed together for them.
constexpr int kFfLanes = 8;
constexpr int kFfChunk = 32;

// ff_eval for n directions (theta[i], phi[i]) into eth[i], eph[i], on the
// calling thread: the segments are traversed once per block of kFfLanes
// directions (twice over a ground), the line integrals and phases of a
// chunk of segments for the block computed together with the batched sine
// and cosine. Each
// direction's result depends on that direction alone, not on the others in
// its block, and equals ff_eval's to rounding.
void ff_eval_dirs(const Model& m, const FfArrays& fa, double freq_hz, int n, const double* theta,
                  const double* phi, cplx* eth, cplx* eph);
// Rough cost of one direction (ns), for sizing parallel loops.
double ff_dir_ns(const Model& m, const FfArrays& fa);
// The same with the blocks spread over the workers when the work pays for
// it; the results do not depend on the number of threads.
void ff_eval_many(const Model& m, const FfArrays& fa, double freq_hz, int n, const double* theta,
                  const double* phi, cplx* eth, cplx* eph);
