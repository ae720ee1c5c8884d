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

// S = sum over the points from first on of (J area) exp(j a) with the
// phase a = kx rx + ky ry + kz rz + shift (never negative): out holds
// Re Sx, Im Sx, Re Sy, Im Sy, Re Sz, Im Sz. Per point one sine and cosine
// (batched, a chunk at a time) and three complex multiply-adds. The
// partial sums are kept per position in the chunk and added up at the end:
// an element-wise update that the compiler keeps in vector registers, with
// the order of the floating-point additions fixed by the code.
DISH_CLONES
void surface_sum(const DishSurface& s, int first, double rx, double ry, double rz, double out[6]) {
    alignas(64) double arg[kDishChunk], sn[kDishChunk], cs[kDishChunk];
    alignas(64) double acc[6][kDishChunk] = {};
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
    for (int c0 = first; c0 < s.n; c0 += kDishChunk) {
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
        for (int i = 0; i < kDishChunk; ++i) {
            const int p = c0 + i;
            const double c = cs[i], sv = sn[i];
            acc[0][i] += jxr[p] * c - jxi[p] * sv;
            acc[1][i] += jxr[p] * sv + jxi[p] * c;
            acc[2][i] += jyr[p] * c - jyi[p] * sv;
            acc[3][i] += jyr[p] * sv + jyi[p] * c;
            acc[4][i] += jzr[p] * c - jzi[p] * sv;
            acc[5][i] += jzr[p] * sv + jzi[p] * c;
        }
    }
    for (int m = 0; m < 6; ++m) {
        double t = 0;
        for (int i = 0; i < kDishChunk; ++i) t += acc[m][i];
        out[m] = t;
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

void tot_one(int index, void* ctx) {
    const DishJob& job = *static_cast<const DishJob*>(ctx);
    const DishSurface& s = *job.surf;
    const double th = job.theta[index], ph = job.phi[index];
    const double st = std::sin(th), ct = std::cos(th), sp = std::sin(ph), cp = std::cos(ph);
    const double rx = st * cp, ry = st * sp, rz = ct;
    // The blockage shadows the reflected wave, which travels forward.
    const int first = ct > 1e-12 ? s.fwd : 0;
    double acc[6];
    surface_sum(s, first, rx, ry, rz, acc);
    // Undo the shift and the reference: exp(j k rhat.p) = exp(j (a - shift + k rz zref)).
    const cplx ref = std::polar(1.0, job.k * rz * s.zref - s.shift);
    const cplx nx = cplx(acc[0], acc[1]) * ref;
    const cplx ny = cplx(acc[2], acc[3]) * ref;
    const cplx nz = cplx(acc[4], acc[5]) * ref;
    const cplx nth = nx * (ct * cp) + ny * (ct * sp) - nz * st;
    const cplx nph = -nx * sp + ny * cp;
    const cplx cf(0.0, -job.k * phys::eta0 / phys::four_pi);
    cplx eth = cf * nth, eph = cf * nph;
    if (job.analytic) {
        cplx fth, fph;
        dish_feed_field(job.amp, job.q, th, ph, fth, fph);
        eth += fth;
        eph += fph;
    }
    job.eth[index] = eth;
    job.eph[index] = eph;
}

void total_field(DishJob& job, int n, const double* theta, const double* phi, cplx* eth,
                 cplx* eph) {
    if (n <= 0) return;
    job.theta = theta;
    job.phi = phi;
    job.eth = eth;
    job.eph = eph;
    par_for(n, tot_one, &job);
    if (job.analytic) return;
    std::vector<cplx> fth(static_cast<size_t>(n)), fph(static_cast<size_t>(n));
    farfield_many(*job.m, *job.mesh, job.freq_hz, *job.cur, n, theta, phi, fth.data(), fph.data());
    for (int i = 0; i < n; ++i) {
        eth[i] += fth[static_cast<size_t>(i)];
        eph[i] += fph[static_cast<size_t>(i)];
    }
}
