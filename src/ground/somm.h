// Sommerfeld integrals of a stratified medium below z = 0 (lossy half-space,
// grounded or free dielectric slab), their interpolation table over the
// horizontal distance rho and the height sum zs = z + z', and the ground
// correction field that the matrix fill adds to the quasi-static image.
//
// Convention: time dependence exp(+j w t). A unit current moment (1 A m) at
// the source point along the unit vector u radiates in free space
//   E = F [k0^2 g u + grad(u . grad g)],  g = exp(-j k0 R)/R,  F = 1/(j 4 pi w eps0).
// Its field reflected by the medium is expressed by seven Sommerfeld
// integrals V0 .. V6 over the radial spectral variable lambda,
//   V0 = int l^3 (Y - X u0) E0 B1       V4 = int l^2 X E0 J1
//   V1 = int l^3 (Y - X u0) E0 J0       V5 = int l^2 R_TM E0 J1
//   V2 = int l^2 u0 (Y - X u0) E0 J1    V6 = int l^3 (R_TM / u0) E0 J0
//   V3 = int l Y E0 J0
// with u0 = sqrt(l^2 - k0^2), X = (R_TM + R_TE)/l^2, Y = R_TE/u0,
// E0 = exp(-u0 zs), J0 = J0(l rho), J1 = J1(l rho), B1 = J1/(l rho), and
// R_TM, R_TE the spectral reflection coefficients of ground/layer.h.
// With rho_hat the horizontal unit vector from source to observation point
// and u_rho = u . rho_hat the reflected field is
//   E_xy = F [rho_hat (V5 u_z + (V0 - V1) u_rho) - V0 (u - u_rho rho_hat)_xy + k0^2 V3 u_xy],
//   E_z  = F [V6 u_z + (V2 - k0^2 V4) u_rho].
// The quasi-static image (coefficient kappa = (eps - 1)/(eps + 1) on the
// vertical current and -kappa on the charge) is the part K0 .. K6 of these
// values that the fill adds as an ordinary image; the table holds V - K.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/constants.h"
#include "ground/layer.h"

// Number of Sommerfeld values per point.
constexpr int kSommVals = 7;

// The seven Sommerfeld values V0 .. V6 at horizontal distance rho >= 0 (m)
// and height sum zs > 0 (m) over the medium (eps: complex relative
// permittivity, h: slab thickness in m, unused for the half-space), k0 in
// rad/m. A zs of zero or below is evaluated at a tiny positive height
// (1e-6 / k0); every loop is bounded, so any finite input gives finite
// values.
void somm_integrals(double k0, cplx eps, LayerMode mode, double h, double rho, double zs,
                    cplx out[kSommVals]);

// The quasi-static image values K0 .. K6 (kappa times derivatives of
// G = exp(-j k0 R)/R, R = sqrt(rho^2 + zs^2)); zero for kappa = 0.
void kimg_integrals(double k0, cplx kappa, double rho, double zs, cplx out[kSommVals]);

// Node values (V - K) exp(+j k0 R) on a grid of rho nodes (ascending, the
// first 0) and zs nodes (geometric, ascending). Read-only once built; lives
// for one frequency.
struct SommTable {
    int nrho = 0;
    int nzs = 0;
    std::vector<double> rho; // m
    std::vector<double> zs;  // m
    // Node (i, j) holds its seven values at (i nzs + j) 7 + k.
    std::vector<cplx> val;
    double k0 = 0;    // rad/m
    double omega = 0; // rad/s
    cplx eps;         // relative permittivity of the half-space or slab
    cplx kappa;       // (eps - 1)/(eps + 1)
    double zs_min = 0;
    LayerMode mode = LAYER_HALFSPACE;
    double h = 0; // slab thickness, m (0 for the half-space)
    // The rho nodes from index rho_lin on are rho[rho_lin] + i rho_step:
    // the bracket there is found by division instead of a search.
    int rho_lin = 0;
    double rho_step = 0;
    // 1 / prod_{b != a} (x_a - x_b) of the 4-point stencil starting at node
    // s, at [4 s + a], for rho and for zs: the Lagrange weights without a
    // division.
    std::vector<double> rho_iden, zs_iden;
    // The zs rows whose nodes were computed (all but those a flat structure
    // never reads), and their number.
    std::vector<int> rows;
};

// Limits of a table: its nodes (about 110 MB of values), and the integrand
// evaluations they take by the rule of the integration path (8 per piece of
// an arc of 24 + 4 (rho + zs) a / pi pieces, at most 4000, and about 1000
// for the tail), about a minute of both cores. A larger table belongs to a
// structure far too large for the wavelength (or a board far too thin for
// its extent) and is refused.
constexpr long kSommMaxNodes = 1L << 20;
constexpr double kSommMaxWork = 1e9;

// Builds the table at f_hz for the medium, with a rho grid reaching at least
// rho_max and a zs grid starting at or above zs_min and reaching zs_max (m),
// the node values computed on par_for workers. A flat structure (every
// field request at the one height sum zs_only >= 0) has only the zs rows
// computed that somm_corr_field reads at that height; the others hold NaN
// and must not be interpolated. Returns 0, or -1 with a one-line message in
// err when the arguments are not finite or the grid would exceed the limits
// above. Throws std::bad_alloc when memory runs out.
int somm_table(double f_hz, cplx eps, LayerMode mode, double h, double rho_max, double zs_min,
               double zs_max, std::unique_ptr<SommTable>& out, std::string& err,
               double zs_only = -1);

// par_for body of the table build: computes node (n / nzs, n mod nzs) of the
// SommTable that ctx points to.
void tab_node(int n, void* ctx);

// Releases a table; nothing for a null one.
void somm_free(std::unique_ptr<SommTable>& t);

// The seven values V - K at (rho, zs), by 4 x 4-point Lagrange interpolation
// of the node values (coordinates clamped to the grid) times
// exp(-j k0 sqrt(rho^2 + zs^2)) at the true point.
void tab_interp(const SommTable& t, double rho, double zs, cplx out[kSommVals]);

// Wire radius. The fill integrates the image of a segment, like the segment
// itself, with the reduced kernel: the distance from a point of one wire to
// the current of another (or of an image) is sqrt(R^2 + a^2), a the radius
// of the source wire. The field functions below take that radius and return
// the reflected field of the same reduced kernel: the seven values at the
// horizontal distance sqrt(rho^2 + a^2), and their radial derivatives along
// the horizontal offset divided by it. In the spectral integrals that is
// J0(l sqrt(rho^2 + a^2)), which for a perfect conductor gives the image
// Green function at sqrt(rho^2 + zs^2 + a^2) exactly, and it keeps the
// quasi-static part K of the table equal to the image the fill adds. A
// radius of 0 evaluates the field from axis to axis.

// The field (x, y, z) at obs of a unit current moment at src along the unit
// vector dir from seven values as above (taken at the reduced distance for
// the given radius).
void somm_field_from(const cplx v[kSommVals], double k0, double omega, const double obs[3],
                     const double src[3], const double dir[3], cplx field[3], double radius = 0);

// The ground correction field (reflected field minus the quasi-static image
// field) at obs of a unit current moment at src along dir, from the table,
// for a source wire of the given radius. Below the first zs node a slab is
// extrapolated linearly from the first and the fourth zs node, a
// half-space takes the value at the first node.
void somm_corr_field(const SommTable* t, const double obs[3], const double src[3],
                     const double dir[3], cplx field[3], double radius = 0);

// The same correction field evaluated directly at the point (no table, no
// handling of small zs), and the whole reflected field (K not subtracted).
// References for tests; the solution itself uses the table.
void somm_corr_field_direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
                            const double src[3], const double dir[3], cplx field[3],
                            double radius = 0);
void somm_field_direct(double f_hz, cplx eps, LayerMode mode, double h, const double obs[3],
                       const double src[3], const double dir[3], cplx field[3], double radius = 0);
