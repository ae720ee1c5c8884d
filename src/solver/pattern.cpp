#include "solver/pattern.h"

#include <algorithm>
#include <cmath>

#include "parallel/par_for.h"
#include "solver/quadrature.h"

namespace {

constexpr int kPanels = 6;             // equal panels in cos(theta)
constexpr int kNodes = 16;             // Gauss-Legendre points per panel
constexpr int kAzimuths = kPradRowLen; // phi = m * 5 degrees
static_assert(kPanels * kNodes == kPradRows);
constexpr double kSqrt2 = 1.4142135623730951;

// Whole sphere where the antenna can radiate downward (free space, or
// through a board without ground plane); upper hemisphere over a ground.
bool whole_sphere(const Model& m) {
    return m.ground == GROUND_FREE || (m.ground == GROUND_PCB && !m.pcb_gnd);
}

// 10 log10(g), with -300 for a gain of 1e-30 or less (and for nan).
float db(double g) {
    return static_cast<float>(g > 1e-30 ? 10.0 * std::log10(g) : -300.0);
}

} // namespace

// P = int (|E_th|^2 + |E_ph|^2)/(2 eta0) dOmega over c = cos(theta) in
// [b, 1] (b = -1 whole sphere, 0 hemisphere) and phi in [0, 2 pi):
// 6 equal panels in c with the 16-point Gauss-Legendre rule each, times
// 72 equally spaced azimuths. Exact for a density that is independent of
// phi and a polynomial of degree <= 31 in c on each panel, so a short
// dipole (density ~ 1 - c^2) comes out to rounding. The rings of 72
// directions run on worker threads, each evaluated together and writing its
// own terms; the terms are then summed on the calling thread in a fixed
// order (panels, nodes, azimuths), so the result does not depend on the
// number of threads, nor on how the rows are shared out over processes.
void prad_terms(const Model& m, const Mesh& mesh, double freq_hz,
                const std::vector<std::complex<double>>& cur, int row0, int row1, double* terms) {
    gauss_init();
    const double b = whole_sphere(m) ? -1.0 : 0.0;
    const double span = (1.0 - b) / kPanels;
    const double dphi = phys::two_pi / kAzimuths;
    const FfArrays fa = ff_arrays(mesh, cur);
    double phis[kAzimuths];
    for (int a = 0; a < kAzimuths; ++a) phis[a] = a * dphi;
    par_for_sized(row1 - row0, ff_dir_ns(m, fa) * kAzimuths, [&](int k) {
        const int row = row0 + k;
        int p = row / kNodes, i = row % kNodes;
        double c = b + (p + GX[kNodes][i]) * span;
        double wgt = GW[kNodes][i] * span * dphi / phys::two_eta0;
        double thetas[kAzimuths];
        std::fill(thetas, thetas + kAzimuths, std::acos(c));
        cplx eth[kAzimuths], eph[kAzimuths];
        ff_eval_dirs(m, fa, freq_hz, kAzimuths, thetas, phis, eth, eph);
        double* out = terms + static_cast<size_t>(k) * kAzimuths;
        for (int a = 0; a < kAzimuths; ++a) out[a] = (std::norm(eth[a]) + std::norm(eph[a])) * wgt;
    });
}

double prad_sum(const std::vector<double>& terms) {
    double sum = 0;
    for (double t : terms) sum += t;
    return sum;
}

double prad_integrate(const Model& m, const Mesh& mesh, double freq_hz,
                      const std::vector<std::complex<double>>& cur) {
    std::vector<double> terms(static_cast<size_t>(kPradRows * kPradRowLen));
    prad_terms(m, mesh, freq_hz, cur, 0, kPradRows, terms.data());
    return prad_sum(terms);
}

// Row i of the grid: theta = i dth, phi = j dph (degrees), gains
// G_x = 4 pi |E_x|^2 / (2 eta0 pin) for E_theta, E_phi, their sum, and the
// circular components E_R = (E_th + j E_ph)/sqrt 2, E_L = (E_th - j E_ph)/sqrt 2
// (exp(+j w t): E_R is right-hand circular for a wave leaving the origin).
// The row's directions are evaluated together.
void pat_row(int i, void* args) {
    const PatternArgs& a = *static_cast<const PatternArgs*>(args);
    if (a.nph <= 0) return;
    const size_t nph = static_cast<size_t>(a.nph);
    const double theta = i * a.dth * phys::pi / 180.0;
    const double scale = phys::four_pi / (phys::two_eta0 * a.pin);
    std::vector<double> th(nph, theta), ph(nph);
    std::vector<cplx> e_th(nph), e_ph(nph);
    for (size_t j = 0; j < nph; ++j) ph[j] = static_cast<double>(j) * a.dph * phys::pi / 180.0;
    ff_eval_dirs(*a.m, *a.fa, a.freq_hz, a.nph, th.data(), ph.data(), e_th.data(), e_ph.data());
    const size_t row = static_cast<size_t>(i) * nph;
    for (size_t j = 0; j < nph; ++j) {
        const cplx eth = e_th[j], eph = e_ph[j];
        const double g_th = scale * std::norm(eth), g_ph = scale * std::norm(eph);
        const size_t at = row + j;
        a.gv[at] = db(g_th);
        a.gh[at] = db(g_ph);
        a.gt[at] = db(g_th + g_ph);
        if (a.gr) {
            const cplx jeph(-eph.imag(), eph.real());
            a.gr[at] = db(scale * std::norm((eth + jeph) / kSqrt2));
            if (a.gl) a.gl[at] = db(scale * std::norm((eth - jeph) / kSqrt2));
        }
    }
}

double pat_row_ns(const Model& m, const FfArrays& fa, int nph) {
    return ff_dir_ns(m, fa) * nph;
}

void pattern_grid(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                  double pin, int nth, int nph, double dth, double dph, float* gt, float* gv,
                  float* gh, float* gr, float* gl) {
    if (nth <= 0 || nph <= 0) return;
    const FfArrays fa = ff_arrays(mesh, cur);
    PatternArgs args{&m, &fa, freq_hz, pin, dth, dph, nph, gt, gv, gh, gr, gl};
    par_for_sized(nth, pat_row_ns(m, fa, nph), pat_row, &args);
}
