// The far field of the reflector system: the physical-optics radiation of
// the surface currents plus the feed's own direct field.
#pragma once

#include <vector>

#include "common/constants.h"
#include "dish/surface.h"
#include "mesh/mesh.h"
#include "model/model.h"

// The surface in the layout of the field sum: positions times k, referred
// to the vertex (0, 0, zref) so that the phases stay within the size of the
// dish, and the current moments J area split into real and imaginary parts,
// in contiguous arrays. The points of the central blockage come first; each
// of the two groups is padded with zero-current points to whole chunks, so
// that the sum for the forward half-space starts on a chunk.
struct DishSurface {
    int n = 0;              // points with padding, a multiple of the chunk
    int fwd = 0;            // first point of the sum in the forward half-space
    double zref = 0;        // z of the phase reference, m
    double shift = 0;       // added to every phase so that it is never negative, rad
    bool lib_sincos = true; // phases too large for the batched sine and cosine
    std::vector<double> kx, ky, kz, jxr, jxi, jyr, jyi, jzr, jzi;
};

// Points per chunk of the field sum, and directions that share a pass
// over the surface.
constexpr int kDishChunk = 64;
constexpr int kDishDirBlock = 4;

// Packs the samples (currents filled) into the layout of the sum; the first
// nblock samples lie in the central blockage.
DishSurface dish_pack(const std::vector<DishPoint>& pts, int nblock, double k, double zref);

// The shared read-only context of one batch of field directions.
struct DishJob {
    const Model* m = nullptr;               // with a free-space ground, for the wire feed
    const Mesh* mesh = nullptr;             // the wire feed
    double freq_hz = 0;                     //
    const std::vector<cplx>* cur = nullptr; // the wire feed's currents
    double k = 0;                           // rad/m
    double pin = 0;                         // W
    const DishSurface* surf = nullptr;      //
    bool analytic = false;                  // cos^q feed instead of the wire antenna
    double q = 0;                           // its exponent
    double amp = 0;                         // its amplitude A, V
    int n = 0;                              // directions
    const double* theta = nullptr;          // directions, radians
    const double* phi = nullptr;            //
    cplx* eth = nullptr;                    // r E_theta, r E_phi out, V
    cplx* eph = nullptr;                    //
};

// The total far field r E_theta, r E_phi (V) in n directions (radians):
// the reflector's physical-optics field
//   E = -j k eta0/(4 pi) N_transverse,  N = sum_p (J area)_p exp(+j k rhat.p),
// where the blocked points are left out in the forward half-space
// (theta < 90 degrees: the blockage shadows the reflected wave, not the
// dish) plus the feed's direct field, the analytic one or the wire
// antenna's own in free space. Blocks of kDishDirBlock directions run on
// par_for.
void total_field(DishJob& job, int n, const double* theta, const double* phi, cplx* eth, cplx* eph);

// The body of total_field for the directions index * kDishDirBlock up to
// the next block or n (the analytic feed's direct field included, the wire
// feed's added afterwards by total_field). Directions are taken in blocks so
// that each chunk of the surface serves several of them from the cache.
void tot_block(int index, void* job);
