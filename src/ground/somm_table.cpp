// The Sommerfeld table of one frequency: the grids over rho and zs, the
// node values (V - K) exp(+j k0 R) computed on par_for workers, and their
// 4 x 4-point Lagrange interpolation.
//
// With the phase exp(-j k0 R) of the direct path divided out, and the
// quasi-static image K (which carries the near-field singularity) taken
// away, what remains varies slowly enough for a grid that is geometric in
// zs and, up to a switch point, in rho, and linear in rho beyond.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "ground/somm_internal.h"
#include "parallel/par_for.h"

namespace {

constexpr double kRatioHalfspace = 1.12; // grid ratio q
constexpr double kRatioSlab = 1.06;
constexpr int kMaxGeoRho = 599;
constexpr int kMaxZsSteps = 158;

bool is_fin(double x) {
    return std::isfinite(x);
}

// Bracket of x among n ascending nodes: i with node_i <= x < node_{i+1},
// 0 at or below the first node, n - 2 at or above the last, 0 when n < 3.
int bracket(const double* node, int n, double x) {
    if (n < 3 || x <= node[0]) return 0;
    if (x >= node[n - 1]) return n - 2;
    int lo = 0, hi = n - 1;
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        if (node[mid] <= x)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

// The rho bracket: by division on the linear part of the grid.
int rho_bracket(const SommTable& t, double x) {
    const int n = t.nrho;
    const double* node = t.rho.data();
    if (n < 3 || x <= node[0]) return 0;
    if (x >= node[n - 1]) return n - 2;
    const double base = node[t.rho_lin];
    if (x < base || !(t.rho_step > 0)) return bracket(node, t.rho_lin + 1, x);
    int i = t.rho_lin + static_cast<int>((x - base) / t.rho_step);
    i = std::clamp(i, t.rho_lin, n - 2);
    while (i > t.rho_lin && node[i] > x) --i;
    while (i < n - 2 && node[i + 1] <= x) ++i;
    return i;
}

// The inverse Lagrange denominators of every 4-point stencil of the nodes.
std::vector<double> stencil_dens(const std::vector<double>& node) {
    const int n = static_cast<int>(node.size());
    std::vector<double> iden(static_cast<size_t>(std::max(n - 3, 0)) * 4);
    for (int s = 0; s + 3 < n; ++s) {
        const double* p = node.data() + s;
        for (int a = 0; a < 4; ++a) {
            double den = 1;
            for (int b = 0; b < 4; ++b)
                if (b != a) den *= p[a] - p[b];
            iden[4 * s + a] = 1.0 / den;
        }
    }
    return iden;
}

// First node of the 4-point stencil around bracket i, and the Lagrange
// weights at x clamped to the grid.
int stencil(const double* node, const double* iden, int n, int i, double x, double w[4]) {
    const int s = std::max(std::min(i - 1, n - 4), 0);
    x = std::clamp(x, node[0], node[n - 1]);
    const double* p = node + s;
    const double* id = iden + 4 * s;
    const double d0 = x - p[0], d1 = x - p[1], d2 = x - p[2], d3 = x - p[3];
    w[0] = d1 * d2 * d3 * id[0];
    w[1] = d0 * d2 * d3 * id[1];
    w[2] = d0 * d1 * d3 * id[2];
    w[3] = d0 * d1 * d2 * id[3];
    return s;
}

// The zs rows that somm_corr_field reads with a non-zero weight at the
// height sum zs: the stencil at zs, or, below the first node, at the first
// node and (slabs) at the fourth.
std::vector<int> rows_read(const SommTable& t, double zs) {
    std::vector<double> at;
    if (zs >= t.zs_min) {
        at.push_back(zs);
    } else {
        at.push_back(t.zs[0]);
        if (t.mode != LAYER_HALFSPACE && t.nzs >= 4) at.push_back(t.zs[3]);
    }
    std::vector<int> rows;
    for (double v : at) {
        double w[4];
        const int j0 =
            stencil(t.zs.data(), t.zs_iden.data(), t.nzs, bracket(t.zs.data(), t.nzs, v), v, w);
        for (int b = 0; b < 4; ++b)
            if (w[b] != 0.0 && std::find(rows.begin(), rows.end(), j0 + b) == rows.end())
                rows.push_back(j0 + b);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

SommGrid somm_grid(LayerMode mode, double h, double lam_m, double rho_max, double zs_min,
                   double zs_max, double a_end) {
    SommGrid g;
    const bool half = mode == LAYER_HALFSPACE;
    const double q = half ? kRatioHalfspace : kRatioSlab;

    // zs: geometric from zs0 to at least zs_max, 4 to 160 nodes.
    double zs0 = half ? 0.001 * lam_m : std::min(0.1 * h, 0.001 * lam_m);
    zs0 = std::max(zs0, zs_min);
    g.zs_min = zs0;
    const double Rz = std::max(1.2 * zs0, zs_max) / zs0;
    const int r = static_cast<int>(std::min(std::ceil(std::log(Rz) / std::log(q)), 1e6));
    const int t = std::min(r, kMaxZsSteps);
    g.zs.resize(static_cast<size_t>(t) + 2);
    for (int j = 0; j <= t + 1; ++j)
        g.zs[j] = j == t + 1 ? zs0 * Rz : zs0 * std::pow(Rz, static_cast<double>(j) / (t + 1));

    // rho: 0, geometric nodes 0.25 zs0 q^m below the switch point, then
    // nodes spaced step from the last one until rho_end is reached.
    const double rho_sw = half ? 3.0 * lam_m / 40.0 : std::max(8.0 * h, 3.0 * lam_m / 40.0);
    const double step = half ? lam_m / 40.0 : std::min(0.5 * h, lam_m / 40.0);
    const double rho_end = std::max(0.001 * lam_m, rho_max);
    g.rho.push_back(0.0);
    for (int m = 0; m < kMaxGeoRho; ++m) {
        const double x = 0.25 * zs0 * std::pow(q, m);
        if (!(x < rho_sw)) break;
        g.rho.push_back(x);
    }
    g.rho_lin = static_cast<int>(g.rho.size()) - 1;
    g.rho_step = step;
    const double base = g.rho.back();
    // Linear nodes base + i step, i = 1 .. nlin, the last one >= rho_end;
    // at least one, and at least four nodes in all so that the 4-point
    // stencil fits (an antenna high above ground with a small horizontal
    // extent has no geometric node and reaches rho_end in one step).
    double nl = std::max(1.0, std::ceil((rho_end - base) / step));
    while (nl > 1 && base + (nl - 1) * step >= rho_end) nl -= 1;
    while (base + nl * step < rho_end) nl += 1;
    nl = std::max(nl, 4.0 - static_cast<double>(g.rho.size()));
    g.nodes = (static_cast<double>(g.rho.size()) + nl) * static_cast<double>(g.zs.size());
    // A grid beyond the limits is refused by the caller: not built.
    if (g.nodes > static_cast<double>(kSommMaxNodes)) return g;
    const auto node_work = [&](double rho) {
        const double pieces =
            std::min(4.0 * std::ceil((rho + g.zs.back()) * a_end / phys::pi), 3976.0) + 24.0;
        return (8.0 * pieces + 1000.0) * static_cast<double>(g.zs.size());
    };
    for (double r : g.rho) g.work += node_work(r);
    for (double i = 1; i <= nl; i += 1) g.work += node_work(base + i * step);
    if (g.work > kSommMaxWork) return g;
    const int n_lin = static_cast<int>(nl);
    g.rho.reserve(g.rho.size() + static_cast<size_t>(n_lin));
    for (int i = 1; i <= n_lin; ++i) g.rho.push_back(base + i * step);
    return g;
}

void kimg_integrals(double k0, cplx kappa, double rho, double zs, cplx out[kSommVals]) {
    const double R2 = rho * rho + zs * zs, R = std::sqrt(R2);
    const double iR = 1.0 / R;
    const cplx G = std::polar(iR, -k0 * R);
    const cplx a = cplx(iR, k0); // 1/R + j k0
    const cplx G1 = -a * G;
    const cplx G2 = (a * a + iR * iR) * G;
    const double r2 = rho * rho / R2, z2 = zs * zs / R2;
    const cplx Grr = G2 * r2 + G1 * (iR - r2 * iR);
    const cplx Grz = (rho * zs / R2) * (G2 - G1 * iR);
    const cplx Gzz = G2 * z2 + G1 * (iR - z2 * iR);
    out[0] = kappa * G1 * iR;
    out[1] = kappa * (G1 * iR + Grr);
    out[2] = -kappa * Grz;
    out[3] = 0.0;
    out[4] = 0.0;
    out[5] = kappa * Grz;
    out[6] = kappa * (k0 * k0 * G + Gzz);
}

void tab_node(int n, void* ctx) {
    SommTable& t = *static_cast<SommTable*>(ctx);
    const int nrow = static_cast<int>(t.rows.size());
    const int i = n / nrow, j = t.rows[n % nrow];
    const double rho = t.rho[i], zs = t.zs[j];
    cplx V[kSommVals], K[kSommVals];
    somm_integrals(t.k0, t.eps, t.mode, t.h, rho, zs, V);
    kimg_integrals(t.k0, t.kappa, rho, zs, K);
    const cplx ph = std::polar(1.0, t.k0 * std::sqrt(rho * rho + zs * zs));
    cplx* out = t.val.data() + (static_cast<size_t>(i) * t.nzs + j) * kSommVals;
    for (int k = 0; k < kSommVals; ++k) out[k] = (V[k] - K[k]) * ph;
}

int somm_table(double f_hz, cplx eps, LayerMode mode, double h, double rho_max, double zs_min,
               double zs_max, std::unique_ptr<SommTable>& out, std::string& err, double zs_only) {
    out.reset();
    const bool slab = mode != LAYER_HALFSPACE;
    if (!(f_hz > 0) || !is_fin(f_hz) || !is_fin(eps.real()) || !is_fin(eps.imag()) ||
        eps + 1.0 == cplx(0.0))
        return set_err(err, "Sommerfeld table: frequency %g Hz or permittivity %g%+gj not valid",
                       f_hz, eps.real(), eps.imag());
    if (slab && !(h > 0 && is_fin(h)))
        return set_err(err, "Sommerfeld table: board thickness %g m is not positive", h);
    if (!is_fin(rho_max) || !is_fin(zs_min) || !is_fin(zs_max))
        return set_err(err, "Sommerfeld table: the structure's extent is not finite");
    const double lam = phys::c0 / f_hz;
    const double k0 = phys::two_pi / lam;
    SommGrid g = somm_grid(mode, slab ? h : 0.0, lam, std::max(rho_max, 0.0), std::max(zs_min, 0.0),
                           std::max(zs_max, 0.0), somm_arc_end(k0, eps, mode));
    if (g.nodes > static_cast<double>(kSommMaxNodes) || g.work > kSommMaxWork)
        return set_err(err,
                       "the Sommerfeld table would need %.0f nodes over %.4g wavelengths: the "
                       "structure is too large for the wavelength%s",
                       g.nodes, std::max(rho_max, 0.0) / lam, slab ? " or the board too thin" : "");

    auto t = std::make_unique<SommTable>();
    t->nrho = static_cast<int>(g.rho.size());
    t->nzs = static_cast<int>(g.zs.size());
    t->rho = std::move(g.rho);
    t->zs = std::move(g.zs);
    t->rho_lin = g.rho_lin;
    t->rho_step = g.rho_step;
    t->zs_min = g.zs_min;
    t->k0 = k0;
    t->omega = phys::two_pi * f_hz;
    t->eps = eps;
    t->kappa = (eps - 1.0) / (eps + 1.0);
    t->mode = mode;
    t->h = slab ? h : 0.0;
    t->rho_iden = stencil_dens(t->rho);
    t->zs_iden = stencil_dens(t->zs);
    t->rows = zs_only >= 0 ? rows_read(*t, zs_only) : std::vector<int>();
    if (t->rows.empty())
        for (int j = 0; j < t->nzs; ++j) t->rows.push_back(j);
    const bool all_rows = static_cast<int>(t->rows.size()) == t->nzs;
    t->val.assign(static_cast<size_t>(t->nrho) * t->nzs * kSommVals,
                  all_rows ? cplx(0.0) : cplx(std::nan(""), 0.0));
    par_for(t->nrho * static_cast<int>(t->rows.size()), tab_node, t.get());
    out = std::move(t);
    return 0;
}

void somm_free(std::unique_ptr<SommTable>& t) {
    t.reset();
}

void tab_interp(const SommTable& t, double rho, double zs, cplx out[kSommVals]) {
    double wr[4], wz[4];
    const int i0 = stencil(t.rho.data(), t.rho_iden.data(), t.nrho, rho_bracket(t, rho), rho, wr);
    const int j0 =
        stencil(t.zs.data(), t.zs_iden.data(), t.nzs, bracket(t.zs.data(), t.nzs, zs), zs, wz);
    // The 4 x 4 weighted sum of the seven values as 14 doubles per node
    // (the loop over them vectorises); zs weights that vanish (a point on a
    // zs node, as for a flat structure) are skipped.
    constexpr int kD = 2 * kSommVals;
    double acc[kD] = {};
    for (int b = 0; b < 4; ++b) {
        if (wz[b] == 0.0) continue;
        for (int a = 0; a < 4; ++a) {
            const double w = wr[a] * wz[b];
            const double* v = reinterpret_cast<const double*>(
                t.val.data() + (static_cast<size_t>(i0 + a) * t.nzs + (j0 + b)) * kSommVals);
            for (int q = 0; q < kD; ++q) acc[q] += w * v[q];
        }
    }
    const double ph = -t.k0 * std::sqrt(rho * rho + zs * zs);
    const cplx e(std::cos(ph), std::sin(ph));
    for (int k = 0; k < kSommVals; ++k) out[k] = cplx(acc[2 * k], acc[2 * k + 1]) * e;
}
