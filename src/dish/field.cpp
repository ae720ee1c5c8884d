#include "dish/field.h"

#include <algorithm>
#include <cmath>

#include "dish/feed.h"
#include "parallel/par_for.h"
#include "solver/farfield.h"
#include "solver/sincos.h"

namespace {

// The surface sum, where the reflector spends its time, is compiled twice
// on x86-64: for the baseline and for AVX2 with FMA, chosen when the
// program loads.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 &&           \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define DISH_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define DISH_CLONES
#endif

size_t chunks(size_t n) {
    return (n + kDishChunk - 1) / kDishChunk * kDishChunk;
}

// For each of nd <= kDishDirBlock directions rhat[d], the sum over the
// points from first[d] on of (J area) exp(j a) with the phase
// a = kx rx + ky ry + kz rz + shift (never negative): out[d] holds Re Sx,
// Im Sx, Re Sy, Im Sy, Re Sz, Im Sz. Per point and direction one sine and
// cosine (batched, a chunk at a time) and three complex multiply-adds. The
// directions of a block share each chunk while it is in the first-level
// cache. The partial sums are kept per position in the chunk and added up
// at the end: an element-wise update that the compiler keeps in vector
// registers, with the order of the floating-point additions fixed by the
// code.
DISH_CLONES
void surface_sum(const DishSurface& s, int nd, const double (*rhat)[3], const int* first,
                 double (*out)[6]) {
    alignas(64) double arg[kDishChunk], sn[kDishChunk], cs[kDishChunk];
    alignas(64) double acc[kDishDirBlock][6][kDishChunk] = {};
    const double* __restrict kx = s.kx.data();
    const double* __restrict ky = s.ky.data();
    const double* __restrict kz = s.kz.data();
    const double* __restrict jxr = s.jxr.data();
    const double* __restrict jxi = s.jxi.data();
    const double* __restrict jyr = s.jyr.data();
    const double* __restrict jyi = s.jyi.data();
    const double* __restrict jzr = s.jzr.data();
    const double* __restrict jzi = s.jzi.data();
    const double shift = s.shift;
    int start = s.n;
    for (int d = 0; d < nd; ++d) start = std::min(start, first[d]);
    for (int c0 = start; c0 < s.n; c0 += kDishChunk)
        for (int d = 0; d < nd; ++d) {
            if (c0 < first[d]) continue;
            const double rx = rhat[d][0], ry = rhat[d][1], rz = rhat[d][2];
            for (int i = 0; i < kDishChunk; ++i)
                arg[i] = kx[c0 + i] * rx + ky[c0 + i] * ry + kz[c0 + i] * rz + shift;
            if (s.lib_sincos) {
                for (int i = 0; i < kDishChunk; ++i) {
                    sn[i] = std::sin(arg[i]);
                    cs[i] = std::cos(arg[i]);
                }
            } else {
                sincos_many(arg, sn, cs, kDishChunk);
            }
            double(*a)[kDishChunk] = acc[d];
            for (int i = 0; i < kDishChunk; ++i) {
                const int p = c0 + i;
                const double c = cs[i], sv = sn[i];
                a[0][i] += jxr[p] * c - jxi[p] * sv;
                a[1][i] += jxr[p] * sv + jxi[p] * c;
                a[2][i] += jyr[p] * c - jyi[p] * sv;
                a[3][i] += jyr[p] * sv + jyi[p] * c;
                a[4][i] += jzr[p] * c - jzi[p] * sv;
                a[5][i] += jzr[p] * sv + jzi[p] * c;
            }
        }
    for (int d = 0; d < nd; ++d)
        for (int m = 0; m < 6; ++m) {
            double t = 0;
            for (int i = 0; i < kDishChunk; ++i) t += acc[d][m][i];
            out[d][m] = t;
        }
}

} // namespace

DishSurface dish_pack(const std::vector<DishPoint>& pts, int nblock, double k, double zref) {
    DishSurface s;
    const size_t nb = std::clamp(static_cast<size_t>(std::max(nblock, 0)), size_t{0}, pts.size());
    const size_t nb_pad = chunks(nb);
    const size_t n = nb_pad + chunks(pts.size() - nb);
    s.n = static_cast<int>(n);
    s.fwd = static_cast<int>(nb_pad);
    s.zref = zref;
    for (auto* v : {&s.kx, &s.ky, &s.kz, &s.jxr, &s.jxi, &s.jyr, &s.jyi, &s.jzr, &s.jzi})
        v->assign(n, 0.0);
    double rmax = 0, zmax = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        const DishPoint& p = pts[i];
        const size_t d = i < nb ? i : nb_pad + (i - nb);
        s.kx[d] = k * p.x;
        s.ky[d] = k * p.y;
        s.kz[d] = k * (p.z - zref);
        s.jxr[d] = p.jx.real();
        s.jxi[d] = p.jx.imag();
        s.jyr[d] = p.jy.real();
        s.jyi[d] = p.jy.imag();
        s.jzr[d] = p.jz.real();
        s.jzi[d] = p.jz.imag();
        rmax = std::max(rmax, std::hypot(p.x, p.y));
        zmax = std::max(zmax, std::fabs(p.z - zref));
    }
    // |kx rx + ky ry| <= k rmax and |kz rz| <= k zmax: with this shift every
    // phase lies in [0, 2 shift].
    s.shift = k * (rmax + zmax);
    s.lib_sincos = !(2 * s.shift < kSincosMax);
    return s;
}

void tot_block(int index, void* ctx) {
    const DishJob& job = *static_cast<const DishJob*>(ctx);
    const DishSurface& s = *job.surf;
    const int i0 = index * kDishDirBlock;
    const int nd = std::min(kDishDirBlock, job.n - i0);
    double rhat[kDishDirBlock][3] = {}, sum[kDishDirBlock][6] = {};
    int first[kDishDirBlock] = {};
    for (int d = 0; d < nd; ++d) {
        const double th = job.theta[i0 + d], ph = job.phi[i0 + d];
        rhat[d][0] = std::sin(th) * std::cos(ph);
        rhat[d][1] = std::sin(th) * std::sin(ph);
        rhat[d][2] = std::cos(th);
        // The blockage shadows the reflected wave, which travels forward.
        first[d] = rhat[d][2] > 1e-12 ? s.fwd : 0;
    }
    surface_sum(s, nd, rhat, first, sum);
    const cplx cf(0.0, -job.k * phys::eta0 / phys::four_pi);
    for (int d = 0; d < nd; ++d) {
        const double th = job.theta[i0 + d], ph = job.phi[i0 + d];
        const double st = std::sin(th), ct = std::cos(th), sp = std::sin(ph), cp = std::cos(ph);
        // Undo the shift and the reference: exp(j k rhat.p) = exp(j (a - shift + k rz zref)).
        const cplx ref = std::polar(1.0, job.k * ct * s.zref - s.shift);
        const cplx nx = cplx(sum[d][0], sum[d][1]) * ref;
        const cplx ny = cplx(sum[d][2], sum[d][3]) * ref;
        const cplx nz = cplx(sum[d][4], sum[d][5]) * ref;
        cplx eth = cf * (nx * (ct * cp) + ny * (ct * sp) - nz * st);
        cplx eph = cf * (-nx * sp + ny * cp);
        if (job.analytic) {
            cplx fth, fph;
            dish_feed_field(job.amp, job.q, th, ph, fth, fph);
            eth += fth;
            eph += fph;
        }
        job.eth[i0 + d] = eth;
        job.eph[i0 + d] = eph;
    }
}

void total_field(DishJob& job, int n, const double* theta, const double* phi, cplx* eth,
                 cplx* eph) {
    if (n <= 0) return;
    job.n = n;
    job.theta = theta;
    job.phi = phi;
    job.eth = eth;
    job.eph = eph;
    par_for((n + kDishDirBlock - 1) / kDishDirBlock, tot_block, &job);
    if (job.analytic) return;
    std::vector<cplx> fth(static_cast<size_t>(n)), fph(static_cast<size_t>(n));
    farfield_many(*job.m, *job.mesh, job.freq_hz, *job.cur, n, theta, phi, fth.data(), fph.data());
    for (int i = 0; i < n; ++i) {
        eth[i] += fth[static_cast<size_t>(i)];
        eph[i] += fph[static_cast<size_t>(i)];
    }
}
