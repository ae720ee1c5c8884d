// Parabolic reflector by physical optics, fed by the wire antenna of the
// model (its far field from the solved currents, in free space) or by an
// analytic x-polarised cos^q feed radiating 1 W.
//
// Geometry: the focus at the origin, the vertex at (0, 0, -F), the axis
// along z, the dish opening towards +z with its main beam at theta = 0. The
// feed looks towards -z; a wire feed is modelled at the origin facing -z.
#pragma once

#include <string>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/pattern_cut.h"

// The reflector's figures at the design frequency.
struct DishResult {
    double D = 0;         // diameter, m
    double F = 0;         // focal length, m
    double mesh = 0;      // mesh spacing, m; 0 = solid surface
    double wire_r = 0;    // mesh wire radius, m
    double block = 0;     // diameter of the central blockage, m
    double q = 0;         // analytic feed exponent; 0 = wire feed
    double gain = 0;      // on the axis, dBi
    double eta_ap = 0;    // aperture efficiency
    double eta_spill = 0; // spillover efficiency
    double eta_ill = 0;   // illumination efficiency
    double mesh_refl = 0; // fraction of the incident power reflected (1 when solid)
    double edge_db = 0;   // edge illumination, dB
    double hpbw_e = 0;    // 3-dB beam width, E-plane (phi = 0), degrees; 0 if not found
    double hpbw_h = 0;    // H-plane (phi = 90), degrees
    double sll_e = 0;     // first side lobe against the axis, E-plane, dB; 0 if not found
    double sll_h = 0;     // H-plane, dB
    double theta0 = 0;    // rim half-angle seen from the focus, degrees
    double fd = 0;        // F/D
    double feed_prad = 0; // power radiated by the feed, W
    int ncut = 0;
    std::vector<double> cut_th; // cut angles, degrees
    std::vector<float> cut_e;   // E-plane gain at each cut angle, dBi
    std::vector<float> cut_h;   // H-plane gain, dBi
    int npts = 0;               // surface samples
    // Where the inputs leave the method's range, one line each (printed as
    // warnings by the run).
    std::vector<std::string> warnings;
};

// Most surface samples the analysis takes on (about 280 wavelengths).
constexpr double kDishMaxPoints = 4.0e6;

// Analyses the reflector of the model m at freq_hz. cur are the solved
// currents of the wire antenna at freq_hz, pin and prad its input and
// radiated power (replaced by 1 W for the analytic feed; for a wire feed
// over a ground the reflector is computed in free space and prad is that of
// the same currents in free space). res is filled (cleared first). With gt
// given, the five gain patterns (dBi, single precision, index i*nph + j for
// theta = i*dth, phi = j*dph degrees; gr and gl may be null) are the
// reflector system's. Returns 0, or -1 with a one-line message in err when
// the dish is too large in wavelengths to be sampled.
int dish_solve(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
               double pin, double prad, DishResult& res, int nth, int nph, double dth, double dph,
               float* gt, float* gv, float* gh, float* gr, float* gl, std::string& err);

// Gain in dBi of the field r E (V) for the input power p (W):
// 10 log10(4 pi (|E_th|^2 + |E_ph|^2)/(2 eta0) / p), or -300 when the ratio
// is 1e-30 or less.
double gdb(cplx eth, cplx eph, double p);

// The reflector system's total gain (dBi, against pin, 1 W for the analytic
// feed) along the directions of cut, for the plots: the surface is sampled
// and lit again as dish_solve does. Returns 0, or -1 (cut untouched) for a
// dish too large to be sampled.
int dish_pattern_cut(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                     double pin, PatternCut& cut);
