// Thin-wire kernel: the segment-pair integrals of the mixed-potential
// electric-field integral equation and the row fill of the impedance matrix.
//
// Basis and testing functions are the triangles of the mesh (Galerkin). On a
// segment of length len each reference of an unknown is a ramp
// phi(t) = alpha + beta t, t in [0, 1] from the segment's start, with
// (alpha, beta) = (1, -1) when the unknown's node is the start and (0, 1)
// when it is the end; its sign says whether the current runs along the
// segment's direction. Time dependence exp(+jwt).
#pragma once

#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"

struct SommTable;
struct MatrixPart;

// Correction field at obs of a unit current moment (1 A m) at src along the
// unit vector dir on a wire of the given radius (the reduced kernel), from a
// Sommerfeld table; three complex components x, y, z.
using SommFieldFn = void (*)(const SommTable* table, const double obs[3], const double src[3],
                             const double dir[3], cplx field[3], double radius);

// Moment integrals of the reduced-kernel Green function between two straight
// segments,
//   out[0] = I(1), out[1] = I(s), out[2] = I(t), out[3] = I(s t),
//   I(h) = L1 L2 int_0^1 int_0^1 h(s, t) G(R) ds dt,
//   G(R) = exp(-jkR) / (4 pi R),  R = sqrt(|P(s) - Q(t)|^2 + b^2),
// with P(s) = P0 + s L1 u on segment 1 and Q(t) = Q0 + t L2 v on segment 2
// (u, v unit vectors), b the radius of segment 2. Far pairs (centre distance
// d > 1.2 (L1 + L2) + 20 b) use a product Gauss rule of 3, 5 or 8 points;
// near pairs integrate 1/(4 pi R) over segment 2 in closed form and the
// regular rest (exp(-jkR) - 1)/(4 pi R) by Gauss rules. Valid for thin wires
// (b much smaller than the wavelength). Needs gauss_init().
void pair_int(const double P0[3], const double u[3], double L1, const double Q0[3],
              const double v[3], double L2, double b, double k, cplx out[4]);

// One reference of an unknown to a segment, as the fill uses it.
struct FillRef {
    int unk = 0;
    double alpha = 0, beta = 0; // ramp alpha + beta t
    double sign = 1;
};

// A segment as the fill reads it, for the segment itself or its mirror
// image in z = 0: end point a, unit direction, centre, length, radius, the
// 3-point Gauss points along it and its slice of FillGeom::refs.
struct FillSeg {
    double a[3];
    double dir[3];
    double c[3];
    double len;
    double radius;
    double p3[3][3];
    int ref0; // first reference in FillGeom::refs
    int nref;
};

// Per-segment data derived from the mesh once per solution: everything the
// fill needs that depends on one segment only.
struct FillGeom {
    int nseg = 0;
    std::vector<FillSeg> seg;     // the segments
    std::vector<FillSeg> img;     // their images in z = 0 (empty without a ground)
    std::vector<double> p5, p8;   // 5- and 8-point Gauss points, nseg x n x 3
    std::vector<double> ip5, ip8; // the same for the images
    std::vector<FillRef> refs;
    std::vector<int> active; // segments with at least one reference, ascending
};

// Prepares the fill data of a mesh; with_image adds the mirror images.
// Throws std::bad_alloc when memory runs out.
void fill_geom_build(const Mesh& mesh, bool with_image, FillGeom& geom);

// Arguments of one fill, shared read-only by the workers.
struct FillArgs {
    const Mesh* mesh = nullptr;
    cplx* matrix = nullptr; // row p starts at matrix + p * ld
    int n = 0;              // number of unknowns
    int ld = 0;             // row stride of matrix, >= n
    int nseg = 0;
    int image = 0;                    // 1 = add the image of every segment in z = 0
    int refl = 0;                     // 1 = Fresnel coefficients (real ground without table)
    double k = 0;                     // free-space wavenumber, rad/m
    cplx jwmu;                        // j w mu0
    cplx inv_jweps;                   // 1 / (j w eps0)
    cplx eps_c;                       // complex relative permittivity of the ground or board
    const int* list = nullptr;        // segment indices of the current colour class
    const SommTable* table = nullptr; // Sommerfeld table or null
    SommFieldFn corr_field = nullptr; // its field function (set together with table)
    double board_h = 0;               // board thickness, m (0 unless the ground is a board)
    int corr_refine = 0; // k >= 1: the correction's 4-point rule on every pair, k times as many
                         // sub-intervals (the reference for the cheaper rules)
    const FillGeom* geom = nullptr;
    // One process's part of a matrix spread over several (solver/block.h):
    // when set, the entries go there instead of matrix, only those the part
    // holds, and the columns come from the segments in cols (ncols of them,
    // ascending) instead of every active segment.
    MatrixPart* part = nullptr;
    const int* cols = nullptr;
    int ncols = 0;
};

// par_for body: adds to the rows of the unknowns on segment list[index] its
// interaction with every segment of the mesh (and every image).
void fill_seg(int index, void* args);

// 4-point Gauss-Legendre rule on [0, 1] used by the Sommerfeld correction.
extern const double kG4X[4];
extern const double kG4W[4];
