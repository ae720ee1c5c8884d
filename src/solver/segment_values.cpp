#include "solver/segment_values.h"

#include <algorithm>
#include <cmath>

#include "parallel/par_for.h"
#include "solver/clones.h"
#include "solver/kernel.h"
#include "solver/quadrature.h"
#include "solver/sincos.h"

namespace {

constexpr size_t kPts = 8; // Gauss-Legendre points per segment

// The ground mirrors the charges in z = 0 (an image of opposite sign).
bool has_image(const Model& m) {
    return m.ground == GROUND_PERFECT || m.ground == GROUND_REAL || m.ground == GROUND_MININEC ||
           (m.ground == GROUND_PCB && m.pcb_gnd);
}

// The quadrature points of all segments as contiguous arrays, with each
// point's weight (the charge q_L len_L times the rule's weight, complex) and
// its segment's squared radius.
struct Points {
    size_t n = 0;
    std::vector<double> x, y, z, a2, wr, wi;
};

// Points taken together: a tile of kTile points keeps the distances,
// phases and their sines in the first-level cache.
constexpr size_t kTile = 32 * kPts;

// One centre c: sum over the points p of w_p [G(R) - G(R')], G(R) =
// exp(-jkR)/R, R = sqrt(|c - p|^2 + a^2), R' the same to the image point
// (cz + pz instead of cz - pz) when Image is set. Tile by tile: distances,
// phases, then the terms, each in one pass over contiguous arrays; the
// terms are summed in kPts partial sums (point q of every segment into
// sum q), added up at the end.
template <bool Image>
[[gnu::always_inline]] inline cplx centre_sum(const Points& p, const double c[3], double k) {
    constexpr size_t T = Image ? 2 * kTile : kTile;
    alignas(64) double inv[T], kr[T], sn[T], cs[T];
    double sre[kPts] = {}, sim[kPts] = {};
    for (size_t t0 = 0; t0 < p.n; t0 += kTile) {
        const size_t nt = std::min(kTile, p.n - t0); // a whole number of segments
        const size_t nr = Image ? 2 * nt : nt;
        for (size_t j = 0; j < nt; ++j) {
            const size_t i = t0 + j;
            const double dx = c[0] - p.x[i], dy = c[1] - p.y[i], dz = c[2] - p.z[i];
            const double h2 = dx * dx + dy * dy + p.a2[i];
            const double r = std::sqrt(h2 + dz * dz);
            inv[j] = 1.0 / r;
            kr[j] = k * r;
            if (Image) {
                const double dzi = c[2] + p.z[i];
                const double ri = std::sqrt(h2 + dzi * dzi);
                inv[nt + j] = 1.0 / ri;
                kr[nt + j] = k * ri;
            }
        }
        sincos_each(kr, sn, cs, static_cast<int>(nr));
        // w (cos - j sin)/R, minus the same for the image.
        for (size_t s = 0; s < nt; s += kPts) {
#pragma GCC unroll 1
            for (size_t q = 0; q < kPts; ++q) {
                const size_t j = s + q, i = t0 + j;
                double gr = cs[j] * inv[j], gi = -sn[j] * inv[j];
                if (Image) {
                    gr -= cs[nt + j] * inv[nt + j];
                    gi += sn[nt + j] * inv[nt + j];
                }
                sre[q] += p.wr[i] * gr - p.wi[i] * gi;
                sim[q] += p.wr[i] * gi + p.wi[i] * gr;
            }
        }
    }
    double re = 0, im = 0;
    for (size_t q = 0; q < kPts; ++q) {
        re += sre[q];
        im += sim[q];
    }
    return {re, im};
}

CLONES_WIDE cplx centre_direct(const Points& p, const double c[3], double k) {
    return centre_sum<false>(p, c, k);
}

CLONES_WIDE cplx centre_image(const Points& p, const double c[3], double k) {
    return centre_sum<true>(p, c, k);
}

} // namespace

void seg_currents(const Mesh& mesh, const std::vector<cplx>& cur, std::vector<cplx>& ia,
                  std::vector<cplx>& d) {
    ia.assign(static_cast<size_t>(mesh.nseg()), cplx(0));
    d.assign(static_cast<size_t>(mesh.nseg()), cplx(0));
    for (int u = 0; u < mesh.nunk() && u < static_cast<int>(cur.size()); ++u) {
        const Unknown& un = mesh.unk[static_cast<size_t>(u)];
        for (int r = 0; r < un.nref; ++r) {
            const SegRef& ref = un.ref[r];
            cplx v = static_cast<double>(ref.sign) * cur[static_cast<size_t>(u)];
            size_t s = static_cast<size_t>(ref.seg);
            if (ref.end == 1) {
                d[s] += v;
            } else {
                ia[s] += v;
                d[s] -= v;
            }
        }
    }
}

// V(m) = 1/(4 pi eps0) sum_L q_L len_L sum_n w_n [G(R) - G(R')], with
// G(R) = exp(-jkR)/R, R = sqrt(|c_m - p_n|^2 + a_L^2) from the centre of m
// to the n-th point of the 8-point Gauss-Legendre rule on segment L (the
// fill's points, weights w_n on [0, 1]), R' the same to the image point in
// z = 0 where the ground has one, and q_L len_L = j dI_L / w. The centres
// run on the workers; each writes only its own potential.
std::vector<cplx> seg_potentials(const Model& m, const Mesh& mesh, double freq_hz,
                                 const std::vector<cplx>& d) {
    const int n = mesh.nseg();
    std::vector<cplx> v(static_cast<size_t>(n), cplx(0));
    if (n > kMaxPotentialSegs || n == 0) return v;
    const double w = phys::two_pi * freq_hz, k = w / phys::c0;
    const bool image = has_image(m);

    FillGeom geom;
    fill_geom_build(mesh, false, geom);
    Points p;
    p.n = static_cast<size_t>(n) * kPts;
    for (auto* a : {&p.x, &p.y, &p.z, &p.a2, &p.wr, &p.wi}) a->resize(p.n);
    for (int L = 0; L < n; ++L) {
        const Segment& sl = mesh.seg[static_cast<size_t>(L)];
        const cplx qlen = cplx(0, 1) * d[static_cast<size_t>(L)] / w;
        for (size_t q = 0; q < kPts; ++q) {
            const size_t i = static_cast<size_t>(L) * kPts + q;
            p.x[i] = geom.p8[3 * i];
            p.y[i] = geom.p8[3 * i + 1];
            p.z[i] = geom.p8[3 * i + 2];
            p.a2[i] = sl.radius * sl.radius;
            p.wr[i] = qlen.real() * GW[kPts][q];
            p.wi[i] = qlen.imag() * GW[kPts][q];
        }
    }

    // About 3 ns per point and centre (a square root, a division, a sine).
    const double ns_per_centre = (image ? 2.0 : 1.0) * 3.0 * static_cast<double>(p.n);
    par_for_sized(n, ns_per_centre, [&](int mi) {
        const double* c = mesh.seg[static_cast<size_t>(mi)].c;
        const cplx sum = image ? centre_image(p, c, k) : centre_direct(p, c, k);
        v[static_cast<size_t>(mi)] = sum / phys::four_pi_eps0;
    });
    return v;
}
