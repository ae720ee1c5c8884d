// Far field of many directions at once: the radiation vectors of a block of
// kFfLanes directions are summed over the segments together, one direction
// per vector lane, with the line integrals and phases of apot (farfield.cpp)
// evaluated lane by lane in the same arithmetic.
#include <algorithm>
#include <cmath>
#include <limits>

#include "parallel/par_for.h"
#include "solver/clones.h"
#include "solver/farfield.h"
#include "solver/farfield_dir.h"
#include "solver/sincos.h"

namespace {

constexpr int L = kFfLanes;

// Rough cost of one segment in one direction, one pass (ns), for deciding
// whether a batch is worth spreading over the workers.
constexpr double kSegDirNs = 1.5;

constexpr int C = kFfChunk;
constexpr double kSixth = 1.0 / 6.0, kThird = 1.0 / 3.0;
constexpr double kShapeTol = 1e-13;
constexpr double kCoordUlps = 8 * std::numeric_limits<double>::epsilon();

// Radiation vectors of one block, per lane: re[c][l] + j im[c][l].
struct LaneN {
    double re[3][L];
    double im[3][L];
};

// apot for every lane (unit directions rx, ry, rz); Image: the mirror image
// in z = 0 with the current reversed. The segments are taken in runs: a
// segment that continues the previous one (same length and direction,
// starting where it ends) joins its run. A run of M segments of length L,
// direction u, first start point a and psi = k L rhat.u has the phases
// exp(j k rhat.a) w^m, w = exp(j psi), and the same line integrals I0, I1
// (apot's closed forms from the half angle, or their series below
// |psi| = 1e-3), so its term is
//   zs L u exp(j k rhat.a) (I0 S0 + I1 S1),  S0 = sum_m w^m i0_m, S1 likewise,
// with S0, S1 summed by Horner's rule from the run's last segment. Per run
// one sine and cosine of the half angle and of the phase, per segment two
// complex multiply-adds. Chunk by chunk, every loop over lanes free of
// dependences between them, so that it runs in vector registers.
template <bool Image>
[[gnu::always_inline]] inline void apot_lanes(const FfArrays& fa, const double* rx,
                                              const double* ry, const double* rz_in, double k,
                                              LaneN& out) {
    constexpr double zs = Image ? -1.0 : 1.0;
    double rz[L];
    for (int l = 0; l < L; ++l) rz[l] = rz_in[l] * zs;
    double n0r[L] = {}, n0i[L] = {}, n1r[L] = {}, n1i[L] = {}, n2r[L] = {}, n2i[L] = {};
    // Per run: psi, the half angle, their sines and cosines, the line
    // integrals, w and the start phase.
    alignas(64) double psi[C * L], h[C * L], sh[C * L], ch[C * L], ph[C * L], ps[C * L], pc[C * L];
    alignas(64) double c0r[C * L], c0i[C * L], c1r[C * L], c1i[C * L], wr[C * L], wi[C * L];
    const int nchunk = fa.npad / C;
    for (int c = 0; c < nchunk; ++c) {
        const int h0 = fa.head_at[c];
        const int nh = fa.head_at[c + 1] - h0;
        for (int r = 0; r < nh; ++r) {
            const int s = fa.head[h0 + r];
            const double kl = k * fa.len[s], ux = fa.ux[s], uy = fa.uy[s], uz = fa.uz[s];
            const double ax = fa.ax[s], ay = fa.ay[s], az = fa.az[s];
            double* pr = psi + r * L;
            double* hr = h + r * L;
            double* phr = ph + r * L;
#pragma GCC unroll 1
            for (int l = 0; l < L; ++l) {
                pr[l] = kl * (rx[l] * ux + ry[l] * uy + rz[l] * uz);
                hr[l] = 0.5 * pr[l];
                phr[l] = k * (rx[l] * ax + ry[l] * ay + rz[l] * az);
            }
        }
        sincos_each(h, sh, ch, nh * L);
        sincos_each(ph, ps, pc, nh * L);
        for (int e = 0; e < nh * L; ++e) {
            const double p = psi[e], p2 = p * p;
            const bool series = std::fabs(p) < 1e-3;
            const double sn = 2.0 * sh[e] * ch[e];  // sin psi
            const double omc = 2.0 * sh[e] * sh[e]; // 1 - cos psi
            const double inv = 1.0 / p, inv2 = inv * inv;
            c0r[e] = series ? 1.0 - p2 * kSixth : sn * inv;
            c0i[e] = series ? 0.5 * p : omc * inv;
            c1r[e] = series ? 0.5 - 0.125 * p2 : sn * inv - omc * inv2;
            c1i[e] = series ? p * kThird : (omc - 1.0) * inv + sn * inv2;
            wr[e] = series ? 1.0 - 0.5 * p2 + p2 * p2 * (1.0 / 24) : 1.0 - omc;
            wi[e] = series ? p * (1.0 - p2 * kSixth) : sn;
        }
        const int chunk_end = std::min((c + 1) * C, fa.n);
        for (int r = 0; r < nh; ++r) {
            const int first = fa.head[h0 + r];
            const int last = r + 1 < nh ? fa.head[h0 + r + 1] : chunk_end;
            const double* w_r = wr + r * L;
            const double* w_i = wi + r * L;
            double s0r[L] = {}, s0i[L] = {}, s1r[L] = {}, s1i[L] = {};
            for (int s = last - 1; s >= first; --s) {
                const double i0r = fa.i0r[s], i0i = fa.i0i[s], i1r = fa.i1r[s], i1i = fa.i1i[s];
#pragma GCC unroll 1
                for (int l = 0; l < L; ++l) {
                    const double a0r = s0r[l] * w_r[l] - s0i[l] * w_i[l] + i0r;
                    const double a0i = s0r[l] * w_i[l] + s0i[l] * w_r[l] + i0i;
                    const double a1r = s1r[l] * w_r[l] - s1i[l] * w_i[l] + i1r;
                    const double a1i = s1r[l] * w_i[l] + s1i[l] * w_r[l] + i1i;
                    s0r[l] = a0r;
                    s0i[l] = a0i;
                    s1r[l] = a1r;
                    s1i[l] = a1i;
                }
            }
            const double* k0r = c0r + r * L;
            const double* k0i = c0i + r * L;
            const double* k1r = c1r + r * L;
            const double* k1i = c1i + r * L;
            const double* e_c = pc + r * L;
            const double* e_s = ps + r * L;
            const double sl = zs * fa.len[first], ux = fa.ux[first], uy = fa.uy[first],
                         uzs = zs * fa.uz[first];
#pragma GCC unroll 1
            for (int l = 0; l < L; ++l) {
                const double cr =
                    k0r[l] * s0r[l] - k0i[l] * s0i[l] + k1r[l] * s1r[l] - k1i[l] * s1i[l];
                const double ci =
                    k0r[l] * s0i[l] + k0i[l] * s0r[l] + k1r[l] * s1i[l] + k1i[l] * s1r[l];
                const double qr = sl * (e_c[l] * cr - e_s[l] * ci);
                const double qi = sl * (e_c[l] * ci + e_s[l] * cr);
                n0r[l] += ux * qr;
                n0i[l] += ux * qi;
                n1r[l] += uy * qr;
                n1i[l] += uy * qi;
                n2r[l] += uzs * qr;
                n2i[l] += uzs * qi;
            }
        }
    }
    for (int l = 0; l < L; ++l) {
        out.re[0][l] = n0r[l];
        out.im[0][l] = n0i[l];
        out.re[1][l] = n1r[l];
        out.im[1][l] = n1i[l];
        out.re[2][l] = n2r[l];
        out.im[2][l] = n2i[l];
    }
}

CLONES_WIDE void apot_direct(const FfArrays& fa, const double* rx, const double* ry,
                             const double* rz, double k, LaneN& out) {
    apot_lanes<false>(fa, rx, ry, rz, k, out);
}

CLONES_WIDE void apot_image(const FfArrays& fa, const double* rx, const double* ry,
                            const double* rz, double k, LaneN& out) {
    apot_lanes<true>(fa, rx, ry, rz, k, out);
}

std::array<cplx, 3> lane_vector(const LaneN& nv, int l) {
    return {cplx(nv.re[0][l], nv.im[0][l]), cplx(nv.re[1][l], nv.im[1][l]),
            cplx(nv.re[2][l], nv.im[2][l])};
}

// Up to L directions; unused lanes repeat the first direction.
void eval_block(const Model& m, const FfArrays& fa, double freq_hz, int cnt, const double* theta,
                const double* phi, cplx* eth, cplx* eph) {
    FfDir dir[L];
    double rx[L], ry[L], rz[L];
    // sin and cos of both angles of every lane in one batch.
    double ang[2 * L], sn[2 * L], cs[2 * L];
    for (int l = 0; l < L; ++l) {
        const int i = l < cnt ? l : 0;
        ang[l] = theta[i];
        ang[L + l] = phi[i];
    }
    sincos_each(ang, sn, cs, 2 * L);
    bool lit = false, image = false;
    for (int l = 0; l < L; ++l) {
        dir[l] = ff_dir(m, sn[l], cs[l], sn[L + l], cs[L + l]);
        rx[l] = dir[l].rhat[0];
        ry[l] = dir[l].rhat[1];
        rz[l] = dir[l].rhat[2];
        lit |= !dir[l].dark;
        image |= dir[l].image;
    }
    const double k = phys::two_pi * freq_hz / phys::c0;
    LaneN direct{}, mirror{};
    if (lit) apot_direct(fa, rx, ry, rz, k, direct);
    if (image) apot_image(fa, rx, ry, rz, k, mirror);
    // Lanes of one polar angle (a row of the grid, a ring of the power
    // integration) share the ground's coefficients.
    FfGround g;
    for (int l = 0; l < cnt; ++l) {
        const bool same = l > 0 && dir[l].st == dir[l - 1].st && dir[l].ct == dir[l - 1].ct;
        if (!same) g = ff_ground(m, freq_hz, dir[l]);
        ff_combine(m, freq_hz, dir[l], g, lane_vector(direct, l), lane_vector(mirror, l), eth[l],
                   eph[l]);
    }
}

} // namespace

FfArrays ff_arrays(const std::vector<FfSeg>& fs) {
    FfArrays fa;
    const size_t n = fs.size();
    const size_t npad = (n + C - 1) / C * C;
    fa.n = static_cast<int>(n);
    fa.npad = static_cast<int>(npad);
    for (auto* v : {&fa.ax, &fa.ay, &fa.az, &fa.ux, &fa.uy, &fa.uz, &fa.len, &fa.i0r, &fa.i0i,
                    &fa.i1r, &fa.i1i})
        v->assign(npad, 0.0);
    fa.continues.assign(npad, 0);
    fa.head_at.assign(npad / C + 1, 0);
    for (size_t s = 0; s < n; ++s) {
        const FfSeg& f = fs[s];
        fa.ax[s] = f.a[0];
        fa.ay[s] = f.a[1];
        fa.az[s] = f.a[2];
        fa.ux[s] = f.dir[0];
        fa.uy[s] = f.dir[1];
        fa.uz[s] = f.dir[2];
        fa.len[s] = f.len;
        fa.i0r[s] = f.i0.real();
        fa.i0i[s] = f.i0.imag();
        fa.i1r[s] = f.i1.real();
        fa.i1i[s] = f.i1.imag();
    }
    // A segment continues the previous one when it has its length and
    // direction and starts at its end. Segments cut from one straight wire
    // do, up to the last bits of their end points' coordinates: within that
    // (and 1e-13 of the length) the run's line integrals and phase steps
    // stand for each segment's own, which differ from them by as little.
    for (size_t s = 1; s < n; ++s) {
        const double l0 = fa.len[s - 1], l1 = fa.len[s];
        const double far =
            std::max({std::fabs(fa.ax[s]), std::fabs(fa.ay[s]), std::fabs(fa.az[s])});
        const double slack = kShapeTol * std::max(l0, l1) + kCoordUlps * far;
        const double dir_slack = l1 > 0 ? slack / l1 : 0.0;
        const double gap[3] = {fa.ax[s] - (fa.ax[s - 1] + l0 * fa.ux[s - 1]),
                               fa.ay[s] - (fa.ay[s - 1] + l0 * fa.uy[s - 1]),
                               fa.az[s] - (fa.az[s - 1] + l0 * fa.uz[s - 1])};
        fa.continues[s] =
            std::fabs(l1 - l0) <= slack && std::fabs(fa.ux[s] - fa.ux[s - 1]) <= dir_slack &&
            std::fabs(fa.uy[s] - fa.uy[s - 1]) <= dir_slack &&
            std::fabs(fa.uz[s] - fa.uz[s - 1]) <= dir_slack && std::fabs(gap[0]) <= slack &&
            std::fabs(gap[1]) <= slack && std::fabs(gap[2]) <= slack;
    }
    // Runs, cut at chunk boundaries; the padding belongs to none.
    for (size_t s = 0; s < npad; ++s) {
        if (s < n && (s % C == 0 || !fa.continues[s])) fa.head.push_back(static_cast<int>(s));
        const int chunk = static_cast<int>(s / C);
        fa.head_at[chunk + 1] = static_cast<int>(fa.head.size());
    }
    return fa;
}

FfArrays ff_arrays(const Mesh& mesh, const std::vector<cplx>& cur) {
    return ff_arrays(fseg_build(mesh, cur));
}

void ff_eval_dirs(const Model& m, const FfArrays& fa, double freq_hz, int n, const double* theta,
                  const double* phi, cplx* eth, cplx* eph) {
    for (int b = 0; b < n; b += L) {
        const int cnt = std::min(L, n - b);
        eval_block(m, fa, freq_hz, cnt, theta + b, phi + b, eth + b, eph + b);
    }
}

double ff_dir_ns(const Model& m, const FfArrays& fa) {
    const double passes = m.ground == GROUND_FREE ? 1.0 : 2.0;
    return kSegDirNs * passes * std::max(fa.n, 1);
}

void ff_eval_many(const Model& m, const FfArrays& fa, double freq_hz, int n, const double* theta,
                  const double* phi, cplx* eth, cplx* eph) {
    if (n <= 0) return;
    const int nblocks = (n + L - 1) / L;
    par_for_sized(nblocks, ff_dir_ns(m, fa) * L, [&](int b) {
        const int at = b * L;
        const int cnt = std::min(L, n - at);
        eval_block(m, fa, freq_hz, cnt, theta + at, phi + at, eth + at, eph + at);
    });
}
