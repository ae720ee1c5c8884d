#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "dish/cuts.h"
#include "dish/dish.h"
#include "dish/feed.h"
#include "dish/field.h"
#include "dish/surface.h"
#include "solver/farfield.h"
#include "solver/pattern.h"

namespace {

// Spillover grid inside the rim cone: polar and azimuth steps.
constexpr int kSpillTheta = 400;
constexpr int kSpillPhi = 180;
// Azimuths round the rim for the edge illumination.
constexpr int kEdgePhi = 180;
// Pattern directions handed to total_field at a time.
constexpr int kGridSlab = 1 << 16;

// The feed's field in n directions: the analytic formula, or the wire
// antenna's far field in free space.
struct Feed {
    bool analytic;
    double q, amp;
    const Model& free; // the model with its ground removed
    const Mesh& mesh;
    double freq_hz;
    const std::vector<cplx>& cur;

    void field(int n, const double* th, const double* ph, cplx* eth, cplx* eph) const {
        if (n <= 0) return;
        if (analytic) {
            for (int i = 0; i < n; ++i) dish_feed_field(amp, q, th[i], ph[i], eth[i], eph[i]);
        } else {
            farfield_many(free, mesh, freq_hz, cur, n, th, ph, eth, eph);
        }
    }
};

double norm2(cplx a, cplx b) {
    return std::norm(a) + std::norm(b);
}

// The farthest segment end of the wire antenna from the focus, m.
double feed_reach(const Mesh& mesh) {
    double d = 0;
    for (const Segment& s : mesh.seg)
        d = std::max({d, std::hypot(s.a[0], s.a[1], s.a[2]), std::hypot(s.b[0], s.b[1], s.b[2])});
    return d;
}

// Physical-optics current moment of one sample lit by the feed field
// (eth, eph) of its direction from the focus:
//   E = (E_th th_hat + E_ph ph_hat) exp(-j k R)/R,  H = rhat x E / eta0,
//   J area = 2 rho (n x H) area,  n = (-x/(2F), -y/(2F), 1),
// n not normalised: with the area projected on the aperture it is the true
// area vector of the sample, pointing to the lit (focus) side.
void po_current(DishPoint& p, double F, double k, cplx rho, cplx eth, cplx eph) {
    const double rho_xy = std::hypot(p.x, p.y);
    const double R = std::hypot(rho_xy, p.z);
    const double st = rho_xy / R, ct = p.z / R, cp = p.x / rho_xy, sp = p.y / rho_xy;
    const double rh[3] = {st * cp, st * sp, ct};
    const double th[3] = {ct * cp, ct * sp, -st};
    const double ph[3] = {-sp, cp, 0};
    const cplx wave = std::polar(1.0 / R, -k * R);
    cplx e[3], h[3];
    for (int i = 0; i < 3; ++i) e[i] = (eth * th[i] + eph * ph[i]) * wave;
    h[0] = (rh[1] * e[2] - rh[2] * e[1]) / phys::eta0;
    h[1] = (rh[2] * e[0] - rh[0] * e[2]) / phys::eta0;
    h[2] = (rh[0] * e[1] - rh[1] * e[0]) / phys::eta0;
    const double n[3] = {-p.x / (2 * F), -p.y / (2 * F), 1};
    const cplx f = 2.0 * rho * p.area;
    p.jx = f * (n[1] * h[2] - n[2] * h[1]);
    p.jy = f * (n[2] * h[0] - n[0] * h[2]);
    p.jz = f * (n[0] * h[1] - n[1] * h[0]);
}

// The surface samples lit by the feed, with their physical-optics currents
// filled in, packed in the layout of the field sum. rho scales the currents
// (a wire mesh); the samples of the central blockage come first.
DishSurface lit_surface(const Feed& feed, DishSampling& smp, double F, double k, cplx rho,
                        double block) {
    std::vector<DishPoint>& pts = smp.pts;
    const size_t n = pts.size();
    std::vector<double> th(n), ph(n);
    for (size_t i = 0; i < n; ++i) {
        const DishPoint& p = pts[i];
        th[i] = std::acos(p.z / std::hypot(p.x, p.y, p.z));
        ph[i] = std::atan2(p.y, p.x);
    }
    std::vector<cplx> eth(n), eph(n);
    feed.field(static_cast<int>(n), th.data(), ph.data(), eth.data(), eph.data());
    for (size_t i = 0; i < n; ++i) po_current(pts[i], F, k, rho, eth[i], eph[i]);
    return dish_pack(pts, dish_blocked(smp, block), k, -F);
}

// The current factor rho = -Gamma of the surface (1 when solid).
cplx surface_rho(const Model& m, double lambda) {
    return m.dish_mesh > 0 ? -dish_mesh_gamma(m.dish_mesh, m.dish_wire_r, lambda) : cplx(1.0);
}

std::string too_large(double D, double lambda, double npts) {
    return strfmt("DISH diameter %.4g m is %.4g wavelengths: %.3g surface samples, more than the "
                  "%.3g the reflector analysis takes",
                  D, D / lambda, npts, kDishMaxPoints);
}

} // namespace

double gdb(cplx eth, cplx eph, double p) {
    const double ratio = phys::four_pi * norm2(eth, eph) / phys::two_eta0 / p;
    return ratio > 1e-30 ? 10 * std::log10(ratio) : -300.0;
}

int dish_solve(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
               double pin, double prad, DishResult& res, int nth, int nph, double dth, double dph,
               float* gt, float* gv, float* gh, float* gr, float* gl, std::string& err) {
    // The figures of the model; the analytic feed radiates 1 W.
    res = DishResult{};
    res.D = m.dish_d;
    res.F = m.dish_f;
    res.mesh = m.dish_mesh;
    res.wire_r = m.dish_wire_r;
    res.block = m.dish_block;
    res.q = m.dish_q;
    res.fd = res.F / res.D;
    const double D = res.D, F = res.F;
    const bool analytic = res.q > 0;
    const double amp = analytic ? dish_feed_amp(res.q) : 0;
    // The reflector is computed in free space: a ground would darken every
    // feed direction below the horizon, which is where the dish is.
    Model free = m;
    free.ground = GROUND_FREE;
    if (analytic) {
        pin = prad = 1;
    } else if (m.ground != GROUND_FREE) {
        prad = prad_integrate(free, mesh, freq_hz, cur);
    }
    res.feed_prad = prad;
    const Feed feed{analytic, res.q, amp, free, mesh, freq_hz, cur};

    const double lambda = phys::c0 / freq_hz, k = phys::two_pi / lambda;
    const double npts = dish_point_count(D, lambda);
    if (!(npts <= kDishMaxPoints)) return set_err(err, "%s", too_large(D, lambda, npts).c_str());

    // Surface reflectivity; the current scales with rho = -Gamma.
    const cplx rho = surface_rho(m, lambda);
    res.mesh_refl = std::norm(rho);
    if (res.mesh > 0) {
        if (res.mesh > lambda / 2)
            res.warnings.push_back(
                strfmt("DISH mesh spacing %.4g m is %.3g wavelengths: the grid reflectivity holds "
                       "for spacings well below half a wavelength",
                       res.mesh, res.mesh / lambda));
    }

    // The surface samples lit by the feed, with their currents.
    DishSampling smp = dish_surface(D, F, lambda);
    res.npts = static_cast<int>(smp.pts.size());
    const DishSurface surf = lit_surface(feed, smp, F, k, rho, res.block);
    // Rings rise by slope * dr at the rim; beyond a quarter wavelength the
    // phase off the axis is undersampled.
    if (D / (4 * F) * smp.dr > lambda / 4)
        res.warnings.push_back(strfmt(
            "DISH F/D %.3g is too deep for the surface sampling: the rim rises %.3g wavelengths "
            "from ring to ring, and the pattern away from the axis is not reliable",
            res.fd, D / (4 * F) * smp.dr / lambda));
    if (!analytic) {
        const double reach = feed_reach(mesh);
        if (8 * reach * reach / lambda > F)
            res.warnings.push_back(strfmt(
                "DISH feed reaches %.3g m from the focus: the dish (focal length %.4g m) lies in "
                "its near field (%.3g m), and the reflector figures are approximate",
                reach, F, 8 * reach * reach / lambda));
    }
    if (res.block >= D)
        res.warnings.push_back(
            strfmt("DISH blockage %.4g m is as wide as the dish: nothing is reflected forward",
                   res.block));

    // Rim angle.
    const double th0 = 2 * std::atan(D / (4 * F));
    res.theta0 = th0 / phys::deg;

    // Spillover: the feed power inside the rim cone, by the midpoint rule.
    {
        const int n = kSpillTheta * kSpillPhi;
        std::vector<double> th(static_cast<size_t>(n)), ph(static_cast<size_t>(n));
        for (int a = 0; a < kSpillTheta; ++a)
            for (int b = 0; b < kSpillPhi; ++b) {
                const size_t i = static_cast<size_t>(a * kSpillPhi + b);
                th[i] = phys::pi - (a + 0.5) * th0 / kSpillTheta;
                ph[i] = (b + 0.5) * phys::two_pi / kSpillPhi;
            }
        std::vector<cplx> eth(static_cast<size_t>(n)), eph(static_cast<size_t>(n));
        feed.field(n, th.data(), ph.data(), eth.data(), eph.data());
        double pint = 0;
        for (int a = 0; a < kSpillTheta; ++a) {
            const double w = th0 / kSpillTheta * std::sin((a + 0.5) * th0 / kSpillTheta) *
                             (phys::two_pi / kSpillPhi);
            for (int b = 0; b < kSpillPhi; ++b) {
                const size_t i = static_cast<size_t>(a * kSpillPhi + b);
                pint += norm2(eth[i], eph[i]) / phys::two_eta0 * w;
            }
        }
        // The midpoint rule can overshoot the whole radiated power by a few
        // parts in a million for a tightly tapered feed.
        res.eta_spill = prad > 0 ? std::min(1.0, pint / prad) : 0.0;
    }

    // Edge illumination: mean rim power density against the axis, times
    // the extra spreading ((1 + cos theta0)/2)^2 of the longer path to the rim.
    {
        std::vector<double> th(kEdgePhi + 1, phys::pi - th0), ph(kEdgePhi + 1);
        for (int b = 0; b < kEdgePhi; ++b) ph[static_cast<size_t>(b)] = b * phys::two_pi / kEdgePhi;
        th[kEdgePhi] = phys::pi;
        ph[kEdgePhi] = 0;
        std::vector<cplx> eth(kEdgePhi + 1), eph(kEdgePhi + 1);
        feed.field(kEdgePhi + 1, th.data(), ph.data(), eth.data(), eph.data());
        double s = 0;
        for (int b = 0; b < kEdgePhi; ++b)
            s += norm2(eth[static_cast<size_t>(b)], eph[static_cast<size_t>(b)]);
        const double axis = norm2(eth[kEdgePhi], eph[kEdgePhi]);
        const double spread = (1 + std::cos(th0)) / 2;
        res.edge_db = 10 * std::log10(s / (kEdgePhi * axis) * spread * spread);
        // The analytic feed's rim power cos^2q(theta0) is the same all
        // round; in logarithms it does not underflow for a large q.
        if (analytic && th0 < phys::pi / 2)
            res.edge_db = 20 * (res.q * std::log10(std::cos(th0)) + std::log10(spread));
    }

    DishJob job;
    job.m = &free;
    job.mesh = &mesh;
    job.freq_hz = freq_hz;
    job.cur = &cur;
    job.k = k;
    job.pin = pin;
    job.surf = &surf;
    job.analytic = analytic;
    job.q = res.q;
    job.amp = amp;

    // The E-plane (phi = 0) and H-plane (phi = 90) cuts.
    res.cut_th = dish_cut_angles(D, lambda);
    res.ncut = static_cast<int>(res.cut_th.size());
    {
        const size_t nc = res.cut_th.size();
        std::vector<double> th(2 * nc), ph(2 * nc);
        for (size_t i = 0; i < nc; ++i) {
            th[i] = th[nc + i] = res.cut_th[i] * phys::deg;
            ph[i] = 0;
            ph[nc + i] = phys::pi / 2;
        }
        std::vector<cplx> eth(2 * nc), eph(2 * nc);
        total_field(job, static_cast<int>(2 * nc), th.data(), ph.data(), eth.data(), eph.data());
        res.cut_e.resize(nc);
        res.cut_h.resize(nc);
        for (size_t i = 0; i < nc; ++i) {
            res.cut_e[i] = static_cast<float>(gdb(eth[i], eph[i], pin));
            res.cut_h[i] = static_cast<float>(gdb(eth[nc + i], eph[nc + i], pin));
        }
        res.gain = gdb(eth[0], eph[0], pin);
        cut_stats(res.cut_th.data(), res.cut_e.data(), res.ncut, res.hpbw_e, res.sll_e);
        cut_stats(res.cut_th.data(), res.cut_h.data(), res.ncut, res.hpbw_h, res.sll_h);
    }

    // Efficiencies.
    const double ideal = phys::pi * D / lambda;
    res.eta_ap = std::pow(10.0, res.gain / 10) / (ideal * ideal);
    res.eta_ill =
        res.eta_spill > 0 ? res.eta_ap / res.eta_spill / (res.mesh > 0 ? res.mesh_refl : 1.0) : 0.0;

    // The reflector system's pattern on the run's grid, a slab of rows
    // at a time so that a fine grid needs no more than a few megabytes here.
    if (gt && nth > 0 && nph > 0) {
        const int rows = std::max(1, kGridSlab / nph);
        const size_t cap = static_cast<size_t>(std::min(rows, nth)) * static_cast<size_t>(nph);
        std::vector<double> th(cap), ph(cap);
        std::vector<cplx> eth(cap), eph(cap);
        const cplx jj(0, 1);
        for (int i0 = 0; i0 < nth; i0 += rows) {
            const int i1 = std::min(nth, i0 + rows);
            const size_t n = static_cast<size_t>(i1 - i0) * static_cast<size_t>(nph);
            for (int i = i0; i < i1; ++i)
                for (int j = 0; j < nph; ++j) {
                    const size_t x = static_cast<size_t>(i - i0) * static_cast<size_t>(nph) +
                                     static_cast<size_t>(j);
                    th[x] = i * dth * phys::deg;
                    ph[x] = j * dph * phys::deg;
                }
            total_field(job, static_cast<int>(n), th.data(), ph.data(), eth.data(), eph.data());
            const size_t base = static_cast<size_t>(i0) * static_cast<size_t>(nph);
            for (size_t x = 0; x < n; ++x) {
                const size_t o = base + x;
                gv[o] = static_cast<float>(gdb(eth[x], 0, pin));
                gh[o] = static_cast<float>(gdb(0, eph[x], pin));
                gt[o] = static_cast<float>(gdb(eth[x], eph[x], pin));
                // E_R = (E_th + j E_ph)/sqrt(2), E_L = (E_th - j E_ph)/sqrt(2)
                if (gr)
                    gr[o] =
                        static_cast<float>(gdb((eth[x] + jj * eph[x]) / std::sqrt(2.0), 0, pin));
                if (gl)
                    gl[o] =
                        static_cast<float>(gdb((eth[x] - jj * eph[x]) / std::sqrt(2.0), 0, pin));
            }
        }
    }
    return 0;
}

int dish_pattern_cut(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                     double pin, PatternCut& cut) {
    const bool analytic = m.dish_q > 0;
    const double amp = analytic ? dish_feed_amp(m.dish_q) : 0;
    if (analytic) pin = 1;
    Model free = m;
    free.ground = GROUND_FREE;
    const double lambda = phys::c0 / freq_hz, k = phys::two_pi / lambda;
    if (!(dish_point_count(m.dish_d, lambda) <= kDishMaxPoints)) return -1;
    const Feed feed{analytic, m.dish_q, amp, free, mesh, freq_hz, cur};
    DishSampling smp = dish_surface(m.dish_d, m.dish_f, lambda);
    const DishSurface surf =
        lit_surface(feed, smp, m.dish_f, k, surface_rho(m, lambda), m.dish_block);
    DishJob job;
    job.m = &free;
    job.mesh = &mesh;
    job.freq_hz = freq_hz;
    job.cur = &cur;
    job.k = k;
    job.pin = pin;
    job.surf = &surf;
    job.analytic = analytic;
    job.q = m.dish_q;
    job.amp = amp;
    const size_t n = std::min(cut.theta_deg.size(), cut.phi_deg.size());
    std::vector<double> th(n), ph(n);
    for (size_t i = 0; i < n; ++i) {
        th[i] = cut.theta_deg[i] * phys::deg;
        ph[i] = cut.phi_deg[i] * phys::deg;
    }
    std::vector<cplx> eth(n), eph(n);
    total_field(job, static_cast<int>(n), th.data(), ph.data(), eth.data(), eph.data());
    cut.gt_db.resize(n);
    for (size_t i = 0; i < n; ++i) cut.gt_db[i] = gdb(eth[i], eph[i], pin);
    return 0;
}
