#include "solver/kernel.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "solver/block.h"
#include "solver/clones.h"
#include "solver/quadrature.h"
#include "solver/sincos.h"

const double kG4X[4] = {0.0694318442029737, 0.3300094782075719, 0.6699905217924281,
                        0.9305681557970263};
const double kG4W[4] = {0.1739274225687269, 0.3260725774312731, 0.3260725774312731,
                        0.1739274225687269};

namespace {

constexpr double kInv4Pi = 1.0 / phys::four_pi;

// kR below which (exp(-jkR) - 1)/R is taken from its Taylor series.
constexpr double kSeriesKR = 1e-3;

// Most sub-intervals of a segment in the Sommerfeld correction of a board,
// and the most points of its rule along a segment.
constexpr double kBoardMaxSub = 40.0;
constexpr int kCorrMaxPoints = 160;
// Distances from the image, in segment lengths, beyond which the correction
// takes the 2-point rule and, over real ground, the midpoint rule.
constexpr double kFarCorr = 10.0;
constexpr double kFarCorr1 = 50.0;

// A segment as pair_core sees it: geometry and its Gauss points for the
// 3-, 5- and 8-point rules (each n x 3 doubles).
struct PairSeg {
    const double* a;
    const double* dir;
    const double* c;
    double len;
    double radius;
    const double* p3;
    const double* p5;
    const double* p8;
};

inline double dot3(const double* x, const double* y) {
    return x[0] * y[0] + x[1] * y[1] + x[2] * y[2];
}

// Points a + GX[n][i] len dir of the n-point rule.
void gauss_points(const double* a, const double* dir, double len, int n, double* out) {
    for (int i = 0; i < n; ++i) {
        double s = GX[n][i] * len;
        for (int d = 0; d < 3; ++d) out[3 * i + d] = a[d] + s * dir[d];
    }
}

// Far pairs are integrated kBatch at a time: one segment of the row against
// up to kBatch others that take the same rule, the points of all of them in
// arrays with the pair innermost, so that every step runs in vector
// registers across the pairs.
constexpr int kBatch = 16;

// One pending far pair: the other segment's Gauss points, its squared
// radius, the product of the two lengths and where the four moments go.
struct FarPair {
    const double* q;
    double b2;
    double l1l2;
    cplx* out;
};

// Product rule of order N over both segments, for np <= kBatch pairs that
// share segment 1 (points P):
//   sum_i sum_j w_i w_j (1, s_i, t_j, s_i t_j) L1 L2 G(R_ij).
// Per pair the arithmetic is that of the one-pair rule: all distances, then
// the phases, then the sums (the inner sum over j first). Unused lanes
// repeat the first pair and are not stored.
template <int N>
CLONES_WIDE void far_rule_batch(const double* P, const FarPair* pr, int np, double k) {
    constexpr int NN = N * N;
    constexpr int B = kBatch;
    const double* x = GX[N];
    const double* w = GW[N];
    alignas(64) double qx[N][B], qy[N][B], qz[N][B], b2[B];
    for (int p = 0; p < B; ++p) {
        const FarPair& f = pr[p < np ? p : 0];
        b2[p] = f.b2;
        for (int j = 0; j < N; ++j) {
            qx[j][p] = f.q[3 * j];
            qy[j][p] = f.q[3 * j + 1];
            qz[j][p] = f.q[3 * j + 2];
        }
    }
    alignas(64) double kr[NN * B], wr[NN * B], sn[NN * B], cs[NN * B];
    for (int i = 0; i < N; ++i) {
        const double px = P[3 * i], py = P[3 * i + 1], pz = P[3 * i + 2];
        for (int j = 0; j < N; ++j) {
            double* krij = kr + (i * N + j) * B;
            double* wrij = wr + (i * N + j) * B;
            for (int p = 0; p < B; ++p) {
                const double dx = px - qx[j][p], dy = py - qy[j][p], dz = pz - qz[j][p];
                const double R = std::sqrt(dx * dx + dy * dy + dz * dz + b2[p]);
                krij[p] = k * R;
                wrij[p] = w[j] / R;
            }
        }
    }
    sincos_each(kr, sn, cs, NN * B);
    alignas(64) double m[8][B] = {};
    for (int i = 0; i < N; ++i) {
        alignas(64) double s0r[B] = {}, s0i[B] = {}, s1r[B] = {}, s1i[B] = {};
        for (int j = 0; j < N; ++j) {
            const double* c = cs + (i * N + j) * B;
            const double* s = sn + (i * N + j) * B;
            const double* g = wr + (i * N + j) * B;
            for (int p = 0; p < B; ++p) {
                const double gr = c[p] * g[p], gi = -s[p] * g[p];
                s0r[p] += gr;
                s0i[p] += gi;
                s1r[p] += x[j] * gr;
                s1i[p] += x[j] * gi;
            }
        }
        const double wi = w[i], wsi = w[i] * x[i];
        for (int p = 0; p < B; ++p) {
            m[0][p] += wi * s0r[p];
            m[1][p] += wi * s0i[p];
            m[2][p] += wsi * s0r[p];
            m[3][p] += wsi * s0i[p];
            m[4][p] += wi * s1r[p];
            m[5][p] += wi * s1i[p];
            m[6][p] += wsi * s1r[p];
            m[7][p] += wsi * s1i[p];
        }
    }
    for (int p = 0; p < np; ++p) {
        const double sc = pr[p].l1l2 * kInv4Pi;
        cplx* out = pr[p].out;
        for (int t = 0; t < 4; ++t) out[t] = cplx(m[2 * t][p] * sc, m[2 * t + 1][p] * sc);
    }
}

// Near pair by singularity subtraction. Segment 1 is split in halves with
// the 8-point rule on each; for every point P the static part
// int L2 dt / R over segment 2 is exact,
//   A0 = asinh((L2 - w)/rho) - asinh(-w/rho),
//   A1 = [w A0 + sqrt((L2 - w)^2 + rho^2) - sqrt(w^2 + rho^2)] / L2   (the t moment),
// with w the axial and rho the reduced radial distance of P from segment 2,
// and the regular rest (exp(-jkR) - 1)/R goes through the 8-point rule; for
// kR < 1e-3 its series -k^2 R/2 + j(k^3 R^2/6 - k) is used. exp(-jkR) - 1 is
// formed from the half angle, -2 sin^2(kR/2) - 2j sin(kR/2) cos(kR/2), which
// keeps its small real part accurate.
void near_rule(const PairSeg& s1, const PairSeg& s2, double k, cplx out[4]) {
    const double L1 = s1.len, L2 = s2.len, b = s2.radius;
    const double b2 = b * b;
    const double* Q0 = s2.a;
    const double* v = s2.dir;
    const double* x8 = GX[8];
    const double* w8 = GW[8];
    const double k2h = 0.5 * k * k, k3s = k * k * k / 6.0;
    double o0r = 0, o0i = 0, o1r = 0, o1i = 0, o2r = 0, o2i = 0, o3r = 0, o3i = 0;
    for (int h = 0; h < 2; ++h) {
        for (int i = 0; i < 8; ++i) {
            const double s = (x8[i] + h) * 0.5;
            const double W = w8[i] * 0.5 * L1;
            double P[3];
            for (int d = 0; d < 3; ++d) P[d] = s1.a[d] + (s * L1) * s1.dir[d];
            double r[3] = {P[0] - Q0[0], P[1] - Q0[1], P[2] - Q0[2]};
            double w = dot3(r, v);
            double rho2 = std::max(0.0, dot3(r, r) - w * w) + b2;
            double rho = std::sqrt(rho2);
            double as = std::asinh((L2 - w) / rho) - std::asinh(-w / rho);
            double a0r = as;
            double a1r =
                (w * as + std::sqrt((L2 - w) * (L2 - w) + rho2) - std::sqrt(w * w + rho2)) / L2;
            double R[8], kr[8], hkr[8], sh[8], ch[8];
            for (int j = 0; j < 8; ++j) {
                const double* Q = s2.p8 + 3 * j;
                double dx = P[0] - Q[0], dy = P[1] - Q[1], dz = P[2] - Q[2];
                R[j] = std::sqrt(dx * dx + dy * dy + dz * dz + b2);
                kr[j] = k * R[j];
                hkr[j] = 0.5 * kr[j];
            }
            sincos_each(hkr, sh, ch, 8);
            double a0i = 0, a1i = 0;
            for (int j = 0; j < 8; ++j) {
                double gr, gi;
                if (kr[j] < kSeriesKR) {
                    gr = -k2h * R[j];
                    gi = k3s * R[j] * R[j] - k;
                } else {
                    double m2 = -2.0 / R[j];
                    gr = m2 * sh[j] * sh[j];
                    gi = m2 * sh[j] * ch[j];
                }
                double wl = w8[j] * L2;
                a0r += wl * gr;
                a0i += wl * gi;
                a1r += x8[j] * wl * gr;
                a1i += x8[j] * wl * gi;
            }
            double sW = s * W;
            o0r += W * a0r;
            o0i += W * a0i;
            o1r += sW * a0r;
            o1i += sW * a0i;
            o2r += W * a1r;
            o2i += W * a1i;
            o3r += sW * a1r;
            o3i += sW * a1i;
        }
    }
    out[0] = cplx(o0r * kInv4Pi, o0i * kInv4Pi);
    out[1] = cplx(o1r * kInv4Pi, o1i * kInv4Pi);
    out[2] = cplx(o2r * kInv4Pi, o2i * kInv4Pi);
    out[3] = cplx(o3r * kInv4Pi, o3i * kInv4Pi);
}

// The rule of a pair: 0 for the near rule, else the order of the far
// product rule (3, 5 or 8 points).
int pair_rule(const PairSeg& s1, const PairSeg& s2, double k) {
    const double L1 = s1.len, L2 = s2.len, b = s2.radius;
    double dx = s1.c[0] - s2.c[0], dy = s1.c[1] - s2.c[1], dz = s1.c[2] - s2.c[2];
    double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    double lsum = L1 + L2;
    if (d <= 1.2 * lsum + 20.0 * b) return 0;
    if (std::max(L1, L2) * k > 1.5) return 8;
    return d > 4.0 * lsum ? 3 : 5;
}

const double* rule_points(const PairSeg& s, int n) {
    return n == 3 ? s.p3 : n == 5 ? s.p5 : s.p8;
}

void far_rule(int n, const double* P, const FarPair* pr, int np, double k) {
    if (n == 3)
        far_rule_batch<3>(P, pr, np, k);
    else if (n == 5)
        far_rule_batch<5>(P, pr, np, k);
    else
        far_rule_batch<8>(P, pr, np, k);
}

void pair_core(const PairSeg& s1, const PairSeg& s2, double k, cplx out[4]) {
    const int n = pair_rule(s1, s2, k);
    if (n == 0) {
        near_rule(s1, s2, k, out);
        return;
    }
    const FarPair fp{rule_points(s2, n), s2.radius * s2.radius, s1.len * s2.len, out};
    far_rule(n, rule_points(s1, n), &fp, 1, k);
}

PairSeg view(const FillGeom& g, int s, bool image) {
    const FillSeg& fs = image ? g.img[s] : g.seg[s];
    const std::vector<double>& p5 = image ? g.ip5 : g.p5;
    const std::vector<double>& p8 = image ? g.ip8 : g.p8;
    return PairSeg{fs.a,
                   fs.dir,
                   fs.c,
                   fs.len,
                   fs.radius,
                   &fs.p3[0][0],
                   p5.data() + static_cast<size_t>(s) * 15,
                   p8.data() + static_cast<size_t>(s) * 24};
}

// The moments of segment 1 with every segment of cols (or with their
// images) into M, one entry per column. Far pairs wait in one queue per rule
// and go through the rule kBatch at a time.
void row_moments(const PairSeg& s1, const FillGeom& g, const int* cols, int ncols, bool image,
                 double k, std::array<cplx, 4>* M) {
    struct Queue {
        int n = 0;
        FarPair pair[kBatch];
    };
    Queue queue[3];
    auto slot = [](int n) { return n == 3 ? 0 : n == 5 ? 1 : 2; };
    for (int ic = 0; ic < ncols; ++ic) {
        const PairSeg s2 = view(g, cols[ic], image);
        const int n = pair_rule(s1, s2, k);
        if (n == 0) {
            near_rule(s1, s2, k, M[ic].data());
            continue;
        }
        Queue& q = queue[slot(n)];
        q.pair[q.n++] =
            FarPair{rule_points(s2, n), s2.radius * s2.radius, s1.len * s2.len, M[ic].data()};
        if (q.n == kBatch) {
            far_rule(n, rule_points(s1, n), q.pair, q.n, k);
            q.n = 0;
        }
    }
    for (int n : {3, 5, 8}) {
        Queue& q = queue[slot(n)];
        if (q.n > 0) far_rule(n, rule_points(s1, n), q.pair, q.n, k);
    }
}

// Adds one segment pair to the matrix: for every reference p of segment f
// and q of segment o,
//   Z[p][q] += vec sp sq B + scal (sp bp)(sq bq) M0,
//   B = ap aq M0 + bp aq M1 + ap bq M2 + bp bq M3 (the integral of phi_p phi_q G),
// with the parts that depend on p only taken out of the loop over q:
//   vec sp B = aq X0 + bq X1, X0 = vec sp (ap M0 + bp M1), X1 = vec sp (ap M2 + bp M3).
// With a matrix part only the entries it holds are written; every entry it
// holds gets the same terms in the same order as in the whole matrix.
void stamp(const FillArgs& A, const FillSeg& sf, const FillSeg& so, cplx vec, cplx scal,
           const cplx M[4]) {
    const FillRef* rf = A.geom->refs.data() + sf.ref0;
    const FillRef* ro = A.geom->refs.data() + so.ref0;
    for (int i = 0; i < sf.nref; ++i) {
        const FillRef& p = rf[i];
        const cplx vs = p.sign * vec;
        const cplx x0 = vs * (p.alpha * M[0] + p.beta * M[1]);
        const cplx x1 = vs * (p.alpha * M[2] + p.beta * M[3]);
        const cplx sm = (p.sign * p.beta) * scal * M[0];
        if (A.part) {
            for (int j = 0; j < so.nref; ++j) {
                const FillRef& q = ro[j];
                if (cplx* z = A.part->at(p.unk, q.unk))
                    *z += q.sign * (q.alpha * x0 + q.beta * x1 + q.beta * sm);
            }
            continue;
        }
        cplx* row = A.matrix + static_cast<size_t>(p.unk) * static_cast<size_t>(A.ld);
        for (int j = 0; j < so.nref; ++j) {
            const FillRef& q = ro[j];
            row[q.unk] += q.sign * (q.alpha * x0 + q.beta * x1 + q.beta * sm);
        }
    }
}

// Points and weights of the rule along one segment of the Sommerfeld
// correction: m sub-intervals with the 4-point rule on each, or the 2-point
// rule for a far pair.
struct CorrRule {
    int n = 0;
    double s[kCorrMaxPoints];
    double w[kCorrMaxPoints];
};

void corr_rule(int m, int far, CorrRule& r) {
    if (far == 2) {
        r.n = 1;
        r.s[0] = 0.5;
        r.w[0] = 1.0;
        return;
    }
    if (far == 1) {
        // 2-point Gauss-Legendre on [0, 1]: 1/2 -+ 1/(2 sqrt 3).
        r.n = 2;
        r.s[0] = 0.2113248654051871;
        r.s[1] = 0.7886751345948129;
        r.w[0] = r.w[1] = 0.5;
        return;
    }
    r.n = 4 * m;
    const double inv_m = 1.0 / m;
    for (int ia = 0; ia < m; ++ia)
        for (int ii = 0; ii < 4; ++ii) {
            r.s[4 * ia + ii] = (ia + kG4X[ii]) * inv_m;
            r.w[4 * ia + ii] = kG4W[ii] * inv_m;
        }
}

// Sommerfeld correction of one pair (image pass with a table): moments
// N0..N3 of E = len_f len_o w_s w_t (dir_f . F(P, Q)), F the table's
// correction field at P on f of a unit current element at Q on the real
// segment o along dir_o, and
//   Z[p][q] -= sp sq (ap aq N0 + bp aq N1 + ap bq N2 + bp bq N3).
// The field is that of the reduced kernel with the radius of o, like the
// image pair_core integrates: the two parts of the ground's field then see
// the wire alike (for a board of permittivity 1 with a ground plane the
// table is the whole image, and it must equal the perfect ground's).
// The rule: m = ceil(1.5 max(len)/D) sub-intervals (1 to 6) of 4 points on
// each segment, D the distance from the centre of f to the image of the
// centre of o; on a board at least ceil(3 max(len)/h) (up to 40) when the
// pair is closer than 20 h + 2 max(len): the correction field there peaks
// and falls off on the scale of the thickness h (beyond it a thin board
// hardly reflects, and the correction takes the quasi-static image back),
// and sub-intervals of h/3 bring the impedance of a printed dipole within
// about 0.2 % of the converged rule, where h/2 left it 1 % off and 2h 8 %. Pairs far from the
// image, of segments short against the wavelength, take cheaper rules: the 2-point rule on each
// segment from D = 10 max(len) (k max(len) <= 1), and over real ground the
// midpoints from D = 50 max(len) (k max(len) <= 0.5). The field varies there
// by the phase k len and the relative change len/D; the impedances of
// arrays over ground and of printed antennas stay within 1e-5 of the
// 4-point rule (tests/solver/somm_fill_test.cpp).
void somm_correction(const FillArgs& A, const FillSeg& sf, const FillSeg& so, double D) {
    // Clamped as a double: for D -> 0 the quotient exceeds every int.
    const double lmax = std::max(sf.len, so.len);
    double mm = std::clamp(std::ceil(1.5 * lmax / std::max(D, 1e-12)), 1.0, 6.0);
    const double h = A.board_h;
    if (h > 0 && D < 20.0 * h + 2.0 * lmax)
        mm = std::max(mm, std::min(std::ceil(3.0 * lmax / h), kBoardMaxSub));
    if (A.corr_refine > 0) mm = std::min(mm * A.corr_refine, kBoardMaxSub);
    const int m = static_cast<int>(mm);
    int far = 0;
    if (A.corr_refine == 0 && m == 1) {
        const double kl = A.k * lmax;
        if (A.board_h == 0 && D >= kFarCorr1 * lmax && kl <= 0.5)
            far = 2;
        else if (D >= kFarCorr * lmax && kl <= 1.0)
            far = 1;
    }
    CorrRule r;
    corr_rule(m, far, r);

    double Q[kCorrMaxPoints][3];
    for (int j = 0; j < r.n; ++j)
        for (int d = 0; d < 3; ++d) Q[j][d] = so.a[d] + r.s[j] * so.len * so.dir[d];
    cplx N[4] = {};
    const double ll = sf.len * so.len;
    for (int i = 0; i < r.n; ++i) {
        const double s = r.s[i];
        double P[3];
        for (int d = 0; d < 3; ++d) P[d] = sf.a[d] + s * sf.len * sf.dir[d];
        cplx e0 = 0.0, e1 = 0.0; // sums of w_t E and t w_t E
        for (int j = 0; j < r.n; ++j) {
            cplx F[3];
            A.corr_field(A.table, P, Q[j], so.dir, F, so.radius);
            const cplx E = r.w[j] * (sf.dir[0] * F[0] + sf.dir[1] * F[1] + sf.dir[2] * F[2]);
            e0 += E;
            e1 += r.s[j] * E;
        }
        const double ws = ll * r.w[i];
        N[0] += ws * e0;
        N[1] += (s * ws) * e0;
        N[2] += ws * e1;
        N[3] += (s * ws) * e1;
    }
    const FillRef* rf = A.geom->refs.data() + sf.ref0;
    const FillRef* ro = A.geom->refs.data() + so.ref0;
    for (int i = 0; i < sf.nref; ++i) {
        const FillRef& p = rf[i];
        for (int j = 0; j < so.nref; ++j) {
            const FillRef& q = ro[j];
            cplx* z =
                A.part ? A.part->at(p.unk, q.unk)
                       : A.matrix + static_cast<size_t>(p.unk) * static_cast<size_t>(A.ld) + q.unk;
            if (!z) continue;
            cplx B = (p.alpha * q.alpha) * N[0] + (p.beta * q.alpha) * N[1] +
                     (p.alpha * q.beta) * N[2] + (p.beta * q.beta) * N[3];
            *z -= (p.sign * q.sign) * B;
        }
    }
}

} // namespace

void pair_int(const double P0[3], const double u[3], double L1, const double Q0[3],
              const double v[3], double L2, double b, double k, cplx out[4]) {
    double c1[3], c2[3];
    for (int d = 0; d < 3; ++d) {
        c1[d] = P0[d] + 0.5 * L1 * u[d];
        c2[d] = Q0[d] + 0.5 * L2 * v[d];
    }
    double p3[9], p5[15], p8[24], q3[9], q5[15], q8[24];
    gauss_points(P0, u, L1, 3, p3);
    gauss_points(P0, u, L1, 5, p5);
    gauss_points(P0, u, L1, 8, p8);
    gauss_points(Q0, v, L2, 3, q3);
    gauss_points(Q0, v, L2, 5, q5);
    gauss_points(Q0, v, L2, 8, q8);
    PairSeg s1{P0, u, c1, L1, 0.0, p3, p5, p8};
    PairSeg s2{Q0, v, c2, L2, b, q3, q5, q8};
    pair_core(s1, s2, k, out);
}

void fill_geom_build(const Mesh& mesh, bool with_image, FillGeom& g) {
    gauss_init();
    const int ns = mesh.nseg();
    g.nseg = ns;
    g.seg.assign(static_cast<size_t>(ns), FillSeg{});
    g.p5.assign(static_cast<size_t>(ns) * 15, 0.0);
    g.p8.assign(static_cast<size_t>(ns) * 24, 0.0);
    g.refs.clear();
    g.active.clear();
    for (int s = 0; s < ns; ++s) {
        const Segment& m = mesh.seg[s];
        FillSeg& fs = g.seg[s];
        for (int d = 0; d < 3; ++d) {
            fs.a[d] = m.a[d];
            fs.dir[d] = m.dir[d];
            fs.c[d] = m.c[d];
        }
        fs.len = m.len;
        fs.radius = m.radius;
        gauss_points(fs.a, fs.dir, fs.len, 3, &fs.p3[0][0]);
        gauss_points(fs.a, fs.dir, fs.len, 5, g.p5.data() + static_cast<size_t>(s) * 15);
        gauss_points(fs.a, fs.dir, fs.len, 8, g.p8.data() + static_cast<size_t>(s) * 24);
        fs.ref0 = static_cast<int>(g.refs.size());
        fs.nref = s < static_cast<int>(mesh.seg_nref.size()) ? mesh.seg_nref[s] : 0;
        const UnkSlot* r = fs.nref > 0 ? mesh.refs(s) : nullptr;
        for (int i = 0; i < fs.nref; ++i) {
            const SegRef& sr = mesh.unk[r[i].unk].ref[r[i].slot];
            FillRef fr;
            fr.unk = r[i].unk;
            fr.alpha = sr.end == 0 ? 1.0 : 0.0;
            fr.beta = sr.end == 0 ? -1.0 : 1.0;
            fr.sign = sr.sign;
            g.refs.push_back(fr);
        }
        if (fs.nref > 0) g.active.push_back(s);
    }
    g.img.clear();
    g.ip5.clear();
    g.ip8.clear();
    if (!with_image) return;
    // Mirror images in z = 0: every z coordinate and z component negated.
    g.img = g.seg;
    g.ip5 = g.p5;
    g.ip8 = g.p8;
    for (FillSeg& fs : g.img) {
        fs.a[2] = -fs.a[2];
        fs.dir[2] = -fs.dir[2];
        fs.c[2] = -fs.c[2];
        for (auto& p : fs.p3) p[2] = -p[2];
    }
    for (size_t i = 2; i < g.ip5.size(); i += 3) g.ip5[i] = -g.ip5[i];
    for (size_t i = 2; i < g.ip8.size(); i += 3) g.ip8[i] = -g.ip8[i];
}

void fill_seg(int index, void* args) {
    const FillArgs& A = *static_cast<const FillArgs*>(args);
    const FillGeom& g = *A.geom;
    const int f = A.list[index];
    const FillSeg& sf = g.seg[f];
    if (sf.nref == 0) return;
    const PairSeg s1 = view(g, f, false);
    const double lf = sf.len;
    const int* cols = A.cols ? A.cols : g.active.data();
    const int ncols = A.cols ? A.ncols : static_cast<int>(g.active.size());

    // The moments of the whole row first (with every segment, then with
    // every image), then the entries in column order.
    thread_local std::vector<std::array<cplx, 4>> md, mi;
    md.resize(static_cast<size_t>(ncols));
    row_moments(s1, g, cols, ncols, false, A.k, md.data());
    if (A.image) {
        mi.resize(static_cast<size_t>(ncols));
        row_moments(s1, g, cols, ncols, true, A.k, mi.data());
    }
    for (int ic = 0; ic < ncols; ++ic) {
        const int o = cols[ic];
        const FillSeg& so = g.seg[o];
        const double uv = dot3(sf.dir, so.dir);
        stamp(A, sf, so, A.jwmu * uv, A.inv_jweps / (lf * so.len), md[ic].data());
        if (!A.image) continue;

        // Image of o in z = 0. The coefficients weight the vertical and the
        // horizontal parts of the image current and the image charge.
        const FillSeg& si = g.img[o];
        cplx rv(1.0, 0.0), rh(-1.0, 0.0);
        double dx = sf.c[0] - si.c[0], dy = sf.c[1] - si.c[1], dz = sf.c[2] - si.c[2];
        double D = std::sqrt(dx * dx + dy * dy + dz * dz);
        if (A.table) {
            // Quasi-static image; the table's correction field adds the rest.
            rv = (A.eps_c - 1.0) / (A.eps_c + 1.0);
            rh = 0.0;
        } else if (A.refl) {
            // Fresnel coefficients at the specular angle of the two centres.
            double ct = D > 0 ? (sf.c[2] + so.c[2]) / D : 1.0;
            cplx S = std::sqrt(A.eps_c - (1.0 - ct * ct));
            rv = (A.eps_c * ct - S) / (A.eps_c * ct + S);
            rh = (ct - S) / (ct + S);
        }
        const double* u = sf.dir;
        const double* v = so.dir; // the real direction of o
        cplx vec = A.jwmu * (rv * (u[2] * v[2]) + rh * (u[0] * v[0] + u[1] * v[1]));
        cplx scal = -rv * A.inv_jweps / (lf * so.len);
        stamp(A, sf, so, vec, scal, mi[ic].data());
        if (A.table && A.corr_field) somm_correction(A, sf, so, D);
    }
}
