// What the impedance matrix gets besides radiation: the internal impedance of
// imperfect conductors, insulating sleeves, distributed and lumped loads,
// and transmission lines or two-port networks between ports.
//
// Conventions: exp(+jwt); impedances in ohm, per-length values in ohm/m,
// admittances in siemens. Z is row-major with row stride ld.
#pragma once

#include <string>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"

struct MatrixPart;

// Impedance of a load at freq_hz (ohm, or ohm/m for the per-length types):
//   series:   Z = R + jwL + 1/(jwC), the capacitor only when C > 0;
//   parallel: Y = 1/R (R > 0) + 1/(jwL) (L > 0) + jwC, Z = 1/Y, 1e30 when Y = 0;
//   impedance: Z = R + jX (X held in l); conductivity and unknown types: 0.
cplx load_z(const Load& ld, double freq_hz);

// Internal impedance per metre of a round wire of radius a (m) and
// conductivity sigma (S/m > 0): with the skin depth delta = sqrt(2/(w mu0
// sigma)) and Rs = 1/(2 pi a sigma delta),
//   a > 3 delta:  Rs (1 + j);
//   otherwise:    g^2 Rs (1 + j) + (1 - g^2)(1/(sigma pi a^2) + j w mu0/(8 pi)),
//                 g = a/(3 delta), a blend toward the direct-current
//                 resistance plus the internal inductance of a round wire.
cplx conductor_z(double radius, double sigma, double freq_hz);

// Impedance per metre of segment s (ohm/m): conductor loss, the sleeve
// inductance j (w mu0/(2 pi))(1 - 1/eps_ins) ln((a + t)/a), and the NEC
// loads that are not ports (unk < 0) and apply to the segment by tag and
// segment number (tag 0: numbers counted over the whole structure); a
// conductivity load replaces everything before it. A lumped value spread
// over a range counts once per NEC segment, also where a port split the
// segment in two halves.
cplx wire_z(const Model& m, const Mesh& mesh, int s, double freq_hz);

// Adds wire_z over every segment with the ramps of its references,
//   Z[p][q] += len sp sq w (ap aq + (ap bq + bp aq)/2 + bp bq/3),
// and every port load's load_z to the diagonal of its unknown.
void stamp_loads(const Model& m, const Mesh& mesh, double freq_hz, cplx* Z, int ld);
// The same into one process's part of the matrix (the entries it holds).
void stamp_loads(const Model& m, const Mesh& mesh, double freq_hz, MatrixPart& part);

// One transmission line between two ports, in wave form. With
// g = loss/100/8.686 + j k/vf, e = exp(-g len), and i1, i2 the currents
// flowing into the line at its ends (V1, V2 across them),
//   V1 - z0 i1 = e (V2 + z0 i2),   V2 - z0 i2 = e (V1 + z0 i1):
// the wave leaving each end is the wave entering the other, delayed and
// attenuated by e. Unlike the admittance matrix (Y11 = coth(g len)/z0,
// Y12 = -1/(z0 sinh(g len))) these equations exist for every length, a
// lossless line of whole half waves included, and their coefficients stay
// bounded (|e| <= 1) for a line of any loss.
struct LineWave {
    int p1 = -1, p2 = -1; // ports of end 1 and end 2
    double z0 = 0;        // characteristic impedance, ohm
    cplx e = 0.0;         // exp(-g len)
    double s2 = 1.0;      // -1 when reversed: V2 = s2 V_p2, the port draws s2 i2
    int cur = -1;         // system index of i1 (i2 follows); -1 when both ends are driven
};

// The port network of the transmission lines and two-ports.
struct LineNet {
    std::vector<int> port;      // H: distinct line-port unknowns, in line order
    std::vector<cplx> Y;        // j x j admittances of the two-ports and shunts, row-major
    std::vector<LineWave> line; // the transmission lines, in model order
    std::vector<int> driven;    // 1 = a source drives the port
    std::vector<cplx> v;        // summed source voltage of a driven port
    std::vector<int> sys;       // system index of an undriven port (n, n+1, ...), else -1
    std::vector<double> zrow;   // scale of a port's current-law row, ohm (1 without a line)
    int nextra = 0;             // unknowns added to the system: port voltages, line currents
    int nport() const { return static_cast<int>(port.size()); }
};

// Builds the port network at freq_hz. A line's length is len or, when
// len <= 0, the distance of its two end nodes; a two-port adds y11, y22 and
// y12 (both off-diagonal places) to Y; the shunt admittances y1 and y2 are
// added across ends 1 and 2. The undriven ports get the system indices
// n, n+1, ... in port order, then every line with an undriven end two
// indices for its end currents. Returns 0, or -1 with a message for a line
// that cannot be connected (zero length, z0 <= 0, both ends on one unknown,
// an end off the structure).
int line_net(const Model& m, const Mesh& mesh, double freq_hz, LineNet& net, std::string& err);

// Enlarges the system. A is the (n + nextra) square matrix with Z in its
// top-left n x n block, rhs its right-hand side (zero in the added rows);
// known source voltages are moved to rhs. For undriven port M with wire
// unknown u and system index P: A[u][P] -= 1 (the gap voltage V_P), and
// row P is the current law zrow (I_u + sum_J Y[M][J] V_J + sum of the line
// currents drawn at M) = 0. The two rows of a line are its wave equations.
// The line rows, and the current-law rows of ports with a line (scaled by
// that line's z0), are in volts with coefficients of the size of z0, like
// the impedance rows beside them, so that partial pivoting compares like
// with like.
void line_stamp(const LineNet& net, int n, cplx* A, int ld, cplx* rhs);
// The same into one process's part of the matrix; rhs is whole.
void line_stamp(const LineNet& net, MatrixPart& part, cplx* rhs);

// Current drawn by the network at port M: sum_J Y[M][J] V_J plus the
// currents into the lines that end at M, with the undriven port voltages
// and the line currents taken from the solution x (a line between two
// driven ports is solved here from its wave equations).
cplx line_port_current(const LineNet& net, int M, const cplx* x);
