// Reference feed impedances of centre-fed antennas made of parallel straight
// tubes (dipoles, Yagi-Uda arrays), independent of Quarlin's mesher and
// kernel: the reference that the thick-element tests compare with.
//
// Model: each element is a perfectly conducting open tube of radius a along
// z carrying a surface current uniform in azimuth; the current vanishes at
// the free ends and the feed is a delta gap of 1 V at the centre node of the
// driven element. Mixed-potential EFIE, triangle basis functions tested by
// themselves (Galerkin), exp(+jwt):
//   Z_mn = jw mu0 int int T_m T_n K + 1/(jw eps0) int int T_m' T_n' K.
// On one tube K is the exact azimuth-averaged kernel
//   K(u) = (1/2pi) int_0^2pi exp(-jkR)/(4 pi R) dphi,
//   R = sqrt(u^2 + 4 a^2 sin^2(phi/2)),
// whose static part is 1/(4 pi AGM(sqrt(u^2 + 4a^2), |u|)) (a complete
// elliptic integral, logarithmic at u = 0) and whose regular part
// (exp(-jkR) - 1)/R is averaged by a Gauss rule over phi; beyond |u| = 20a
// the kernel is exp(-jkR)/(4 pi R) with R^2 = u^2 + 2a^2, which matches the
// average to (a/u)^4. Between two tubes at axis distance d >> a the mean
// value theorem gives R = sqrt(u^2 + d^2). Every segment pair is reduced to
// a one-dimensional integral of K times the correlation of the two ramps,
// split at its kinks and at u = 0 and integrated by adaptive Gauss-Kronrod.
//
// Mesh: N equal segments per element (an odd N on the driven element gets
// its centre segment split), the two end segments halved toward each free
// end until the tip is at most 0.001 radii (-tip; the error falls in
// proportion to the tip), and the delta gap between two segments of at
// least 4 radii (-gap): a delta gap on a tube has a capacitance that grows
// without limit as its segments shorten, about 0.77 ohm of reactance per
// halving on the thick dipole, so the gap is held at the shortest segment
// the thin-wire kernel treats well. Results for N = 20, 40, 80, 160 and the
// extrapolation Z(2N) + (Z(2N) - Z(N))/3 of the last pair (second order in
// the segment length; the printed differences show the order).
//
//   ./build/bench/ref_tube [case ...]      cases: dipole20 yagi2m yagi6m thick thin
//   options: -n N (one mesh only), -tip radii, -gap radii, -feed halvings
//   (halve the feed segments instead of holding the gap), -f MHz (the same
//   antenna at another frequency), -reduced (Quarlin's thin-wire kernel
//   R^2 = u^2 + a^2 on each tube, for comparison with Quarlin's own result)
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/support/gauss_kronrod.h"
#include "common/constants.h"
#include "parallel/par_for.h"
#include "solver/lu.h"

namespace {

struct Element {
    double x = 0;   // axis position, m
    double len = 0; // m
    double a = 0;   // radius, m
    bool fed = false;
};

struct Case {
    const char* name;
    const char* what;
    double f_hz;
    std::vector<Element> el;
};

// Yagi of the thick-element study: reflector 0.500, driven 0.470, director
// 0.445 wavelengths, spacings 0.20 and 0.15 wavelengths.
Case yagi(const char* name, const char* what, double f_hz, double a) {
    const double lam = phys::c0 / f_hz;
    return {name,
            what,
            f_hz,
            {{-0.20 * lam, 0.500 * lam, a, false},
             {0.0, 0.470 * lam, a, true},
             {0.15 * lam, 0.445 * lam, a, false}}};
}

std::vector<Case> cases() {
    return {
        {"dipole20", "14.2 MHz dipole, 10.1 m, radius 1 mm", 14.2e6, {{0, 10.1, 0.001, true}}},
        yagi("yagi2m", "146 MHz 3-element Yagi, radius 3 mm", 146e6, 0.003),
        yagi("yagi6m", "50.15 MHz 3-element Yagi, radius 6 mm", 50.15e6, 0.006),
        {"thick",
         "299.792458 MHz dipole, 0.47 m (0.47 wl), radius 3 mm (0.003 wl)",
         phys::c0,
         {{0, 0.47, 0.003, true}}},
        {"thin",
         "299.792458 MHz dipole, 0.48 m, radius 0.05 mm (5e-5 wl)",
         phys::c0,
         {{0, 0.48, 5e-5, true}}},
    };
}

// Gauss-Kronrod 7/15 on [-1, 1].
using gauss_kronrod::kWg;
using gauss_kronrod::kWk;
using gauss_kronrod::kXk;

using cplx = std::complex<double>;
using Moments = std::array<cplx, 4>; // int K W_ab for (a, b) = 00, 10, 01, 11

// Azimuth-averaged kernel of one tube, including the 1/(4 pi).
struct TubeKernel {
    double a, k;
    double px[12], pw[12]; // Gauss rule on [0, pi] for the regular part
    TubeKernel(double radius, double wavenumber) : a(radius), k(wavenumber) {
        // 12-point Gauss-Legendre by Newton iteration on P12.
        const int n = 12;
        for (int i = 0; i < n; ++i) {
            double x = std::cos(phys::pi * (i + 0.75) / (n + 0.5));
            for (int it = 0; it < 100; ++it) {
                double p0 = 1, p1 = x;
                for (int j = 2; j <= n; ++j) {
                    double p2 = ((2 * j - 1) * x * p1 - (j - 1) * p0) / j;
                    p0 = p1;
                    p1 = p2;
                }
                double dp = n * (x * p1 - p0) / (x * x - 1);
                double dx = p1 / dp;
                x -= dx;
                if (std::fabs(dx) < 1e-16) {
                    px[i] = 0.5 * phys::pi * (1 - x);
                    pw[i] = 0.5 * phys::pi * 2 / ((1 - x * x) * dp * dp);
                    break;
                }
            }
        }
    }
    bool reduced = false; // thin-wire kernel R^2 = u^2 + a^2 instead (for comparison)
    cplx operator()(double u) const {
        u = std::fabs(u);
        if (reduced) {
            double R = std::sqrt(u * u + a * a);
            return std::exp(cplx(0, -k * R)) / (phys::four_pi * R);
        }
        if (u > 20 * a) {
            double R = std::sqrt(u * u + 2 * a * a);
            return std::exp(cplx(0, -k * R)) / (phys::four_pi * R);
        }
        // Static part: 1 / AGM(sqrt(u^2 + 4a^2), u).
        double g0 = std::sqrt(u * u + 4 * a * a), g1 = u;
        for (int it = 0; it < 60 && std::fabs(g0 - g1) > 1e-16 * g0; ++it) {
            double m = 0.5 * (g0 + g1);
            g1 = std::sqrt(g0 * g1);
            g0 = m;
        }
        cplx v = 1.0 / g0;
        cplx reg = 0;
        for (int i = 0; i < 12; ++i) {
            double s = std::sin(0.5 * px[i]);
            double R = std::sqrt(u * u + 4 * a * a * s * s);
            double h = 0.5 * k * R; // exp(-jkR) - 1 = -2 sin^2(h) - 2j sin(h) cos(h)
            double sh = std::sin(h), ch = std::cos(h);
            reg += pw[i] * cplx(-2 * sh * sh, -2 * sh * ch) / R;
        }
        v += reg / phys::pi;
        return v / phys::four_pi;
    }
};

// Kernel between two tubes whose axes are d apart.
struct PairKernel {
    double d, k;
    cplx operator()(double u) const {
        double R = std::sqrt(u * u + d * d);
        return std::exp(cplx(0, -k * R)) / (phys::four_pi * R);
    }
};

// The correlation weights of the two ramps at offset v = u - c, c the
// distance of the two segment starts: for s on [0, hi] (segment i) and
// t = s - v on [0, hj] (segment j), the integrals over s of 1, s/hi, t/hj
// and s t/(hi hj), written with the midpoints of the s and t ranges so that
// nothing cancels when one segment is far shorter than the other.
std::array<double, 4> weights(double v, double hi, double hj) {
    const double s0 = std::max(0.0, v), s1 = std::min(hi, hj + v);
    const double t0 = std::max(0.0, -v), t1 = std::min(hi - v, hj);
    const double d = s1 - s0;
    if (!(d > 0)) return {0, 0, 0, 0};
    const double ms = 0.5 * (s0 + s1), mt = 0.5 * (t0 + t1);
    return {d, d * ms / hi, d * mt / hj, d * (ms * mt + d * d / 12) / (hi * hj)};
}

template <class Kern>
void gk15(const Kern& K, double c, double hi, double hj, double v0, double v1, Moments& res,
          double& err) {
    const double m = 0.5 * (v0 + v1), r = 0.5 * (v1 - v0);
    Moments kr{}, gs{};
    auto add = [&](double v, double wk, double wg) {
        cplx kv = K(c + v);
        auto w = weights(v, hi, hj);
        for (int q = 0; q < 4; ++q) {
            kr[q] += wk * w[q] * kv;
            gs[q] += wg * w[q] * kv;
        }
    };
    add(m, kWk[7], kWg[3]);
    for (int i = 0; i < 7; ++i) {
        double wg = (i % 2 == 1) ? kWg[i / 2] : 0.0;
        add(m - r * kXk[i], kWk[i], wg);
        add(m + r * kXk[i], kWk[i], wg);
    }
    err = 0;
    for (int q = 0; q < 4; ++q) {
        res[q] = r * kr[q];
        err = std::max(err, std::abs(r * (kr[q] - gs[q])));
    }
}

// Adaptive bisection; an interval narrower than min_width is accepted as
// it is (rounding of the abscissa would decide any further step).
template <class Kern>
void adapt(const Kern& K, double c, double hi, double hj, double v0, double v1, double tol,
           double min_width, Moments& acc) {
    Moments r;
    double err;
    gk15(K, c, hi, hj, v0, v1, r, err);
    if (err <= tol || v1 - v0 < min_width) {
        for (int q = 0; q < 4; ++q) acc[q] += r[q];
        return;
    }
    double m = 0.5 * (v0 + v1);
    adapt(K, c, hi, hj, v0, m, 0.5 * tol, min_width, acc);
    adapt(K, c, hi, hj, m, v1, 0.5 * tol, min_width, acc);
}

// Moments of segment i (start zi, length hi) with segment j (zj, hj):
// int int (1, s, t, s t) K(zi + s hi - zj - t hj) ds dt hi hj, s, t in [0, 1].
// The integration variable is v = u - c in [-hj, hi]; `sing` lists the
// values of u = zi + s - zj - t where the kernel is not smooth.
template <class Kern>
Moments pair_moments(const Kern& K, double zi, double hi, double zj, double hj, double scale,
                     const std::vector<double>& sing) {
    const double c = zi - zj;
    std::vector<double> br = {-hj, 0.0, hi - hj, hi};
    for (double u : sing) {
        double v = u - c;
        if (v > -hj && v < hi) br.push_back(v);
    }
    std::sort(br.begin(), br.end());
    Moments acc{};
    // Tolerance relative to the size of the result, hi hj K at the pair's scale.
    const double tol = 1e-10 * hi * hj / scale;
    const double min_width = 1e-13 * (std::fabs(c) + hi + hj);
    for (size_t i = 0; i + 1 < br.size(); ++i)
        if (br[i + 1] > br[i]) adapt(K, c, hi, hj, br[i], br[i + 1], tol, min_width, acc);
    return acc;
}

struct Mesh1 {
    std::vector<std::vector<double>> z; // node positions of every element, ascending
    std::vector<int> base;              // first unknown of every element
    int nunk = 0;
    int feed = -1;
};

// N equal segments per element (N even), then the two end segments halved
// toward the ends until the tip is at most tip_r radii; with feed_halvings >
// 0 the two segments at the feed are halved the same number of times toward
// it.
Mesh1 make_mesh(const Case& cs, int N, double tip_r, int feed_halvings, double gap_r) {
    Mesh1 m;
    for (const Element& e : cs.el) {
        const double h = e.len / N;
        std::vector<double> z;
        for (int i = 0; i <= N; ++i) z.push_back(-0.5 * e.len + i * h);
        if (N % 2 == 1 && e.fed) z.push_back(0.0); // an odd count: the centre segment split
        std::vector<double> g;                     // extra nodes
        for (double t = 0.5 * h; t > tip_r * e.a * 0.999999; t *= 0.5) {
            g.push_back(-0.5 * e.len + t);
            g.push_back(0.5 * e.len - t);
        }
        for (int j = 1; j <= feed_halvings; ++j) {
            double d = h / std::pow(2.0, j);
            g.push_back(-d);
            g.push_back(d);
        }
        z.insert(z.end(), g.begin(), g.end());
        std::sort(z.begin(), z.end());
        // The delta gap sits between two segments of at least gap_r radii.
        const double gap = gap_r * e.a;
        if (e.fed && feed_halvings == 0 && h < gap) {
            std::vector<double> keep;
            for (double v : z)
                if (!(std::fabs(v) < gap && std::fabs(v) > 1e-9 * e.len)) keep.push_back(v);
            keep.push_back(-gap);
            keep.push_back(gap);
            std::sort(keep.begin(), keep.end());
            z = keep;
        }
        m.base.push_back(m.nunk);
        if (e.fed)
            m.feed =
                m.nunk +
                static_cast<int>(std::lower_bound(z.begin(), z.end(), -1e-12 * e.len) - z.begin()) -
                1;
        m.nunk += static_cast<int>(z.size()) - 2;
        m.z.push_back(z);
    }
    return m;
}

cplx solve_case(const Case& cs, const Mesh1& mesh, bool reduced) {
    const double k = phys::two_pi * cs.f_hz / phys::c0;
    const double w = phys::two_pi * cs.f_hz;
    const cplx jwmu(0, w * phys::mu0), inv_jweps(0, -1 / (w * phys::eps0));
    const int n = mesh.nunk;
    std::vector<cplx> Z(static_cast<size_t>(n) * n, 0.0);

    // Segment list: element, start, length; unknowns on it.
    struct Seg {
        int el;
        double z0, h;
        int unk_start,
            unk_end; // unknown whose ramp falls from the start (-1 none), rises to the end
    };
    std::vector<Seg> segs;
    for (size_t e = 0; e < cs.el.size(); ++e) {
        const auto& z = mesh.z[e];
        const int nn = static_cast<int>(z.size());
        for (int i = 0; i + 1 < nn; ++i) {
            Seg s{static_cast<int>(e), z[i], z[i + 1] - z[i], -1, -1};
            if (i >= 1) s.unk_start = mesh.base[e] + i - 1; // node i is interior
            if (i + 1 <= nn - 2) s.unk_end = mesh.base[e] + i;
            segs.push_back(s);
        }
    }
    const int ns = static_cast<int>(segs.size());
    std::vector<TubeKernel> tk;
    for (const Element& e : cs.el) {
        tk.emplace_back(e.a, k);
        tk.back().reduced = reduced;
    }

    // Row block of segment i: its moments with every segment j, stamped into
    // a private copy of the rows of its (at most two) unknowns.
    std::vector<std::vector<cplx>> part(static_cast<size_t>(ns));
    par_for(ns, [&](int i) {
        const Seg& si = segs[static_cast<size_t>(i)];
        std::vector<cplx> out(2 * static_cast<size_t>(n), 0.0);
        for (int j = 0; j < ns; ++j) {
            const Seg& sj = segs[static_cast<size_t>(j)];
            Moments M;
            if (si.el == sj.el) {
                const double a = cs.el[static_cast<size_t>(si.el)].a;
                M = pair_moments(tk[static_cast<size_t>(si.el)], si.z0, si.h, sj.z0, sj.h,
                                 phys::four_pi * a, {0.0, -20 * a, 20 * a});
            } else {
                double d = std::fabs(cs.el[static_cast<size_t>(si.el)].x -
                                     cs.el[static_cast<size_t>(sj.el)].x);
                PairKernel pk{d, k};
                M = pair_moments(pk, si.z0, si.h, sj.z0, sj.h, phys::four_pi * d, {});
            }
            // Ramps: unknown ending at the start: alpha 1, beta -1; at the end: 0, 1.
            struct R {
                int unk;
                double al, be;
            };
            R ri[2] = {{si.unk_start, 1, -1}, {si.unk_end, 0, 1}};
            R rj[2] = {{sj.unk_start, 1, -1}, {sj.unk_end, 0, 1}};
            for (int p = 0; p < 2; ++p) {
                if (ri[p].unk < 0) continue;
                for (int q = 0; q < 2; ++q) {
                    if (rj[q].unk < 0) continue;
                    cplx B = ri[p].al * rj[q].al * M[0] + ri[p].be * rj[q].al * M[1] +
                             ri[p].al * rj[q].be * M[2] + ri[p].be * rj[q].be * M[3];
                    out[static_cast<size_t>(p) * n + rj[q].unk] +=
                        jwmu * B + inv_jweps * (ri[p].be / si.h) * (rj[q].be / sj.h) * M[0];
                }
            }
        }
        part[static_cast<size_t>(i)] = std::move(out);
    });
    for (int i = 0; i < ns; ++i) {
        const Seg& si = segs[static_cast<size_t>(i)];
        int u[2] = {si.unk_start, si.unk_end};
        for (int p = 0; p < 2; ++p) {
            if (u[p] < 0) continue;
            for (int q = 0; q < n; ++q)
                Z[static_cast<size_t>(u[p]) * n + q] +=
                    part[static_cast<size_t>(i)][static_cast<size_t>(p) * n + q];
        }
    }
    std::vector<cplx> b(static_cast<size_t>(n), 0.0);
    b[static_cast<size_t>(mesh.feed)] = 1.0;
    if (lu_solve(Z.data(), b.data(), n) != 0) {
        std::fprintf(stderr, "singular matrix\n");
        std::exit(1);
    }
    return 1.0 / b[static_cast<size_t>(mesh.feed)];
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> want;
    int n_only = 0, feed_halvings = 0;
    bool reduced = false;
    double tip = 0.001, gap = 4, f_mhz = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-n") && i + 1 < argc)
            n_only = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "-tip") && i + 1 < argc)
            tip = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "-f") && i + 1 < argc)
            f_mhz = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "-gap") && i + 1 < argc)
            gap = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "-reduced"))
            reduced = true;
        else if (!std::strcmp(argv[i], "-feed") && i + 1 < argc)
            feed_halvings = std::atoi(argv[++i]);
        else
            want.push_back(argv[i]);
    }
    for (Case cs : cases()) {
        if (!want.empty() && std::find(want.begin(), want.end(), cs.name) == want.end()) continue;
        if (f_mhz > 0) cs.f_hz = f_mhz * 1e6; // the same antenna at another frequency
        std::printf("%s: %s, tip <= %g radii, feed halvings %d\n", cs.name, cs.what, tip,
                    feed_halvings);
        std::vector<int> ns = n_only ? std::vector<int>{n_only} : std::vector<int>{20, 40, 80, 160};
        cplx prev = 0, prev2 = 0;
        for (size_t t = 0; t < ns.size(); ++t) {
            Mesh1 mesh = make_mesh(cs, ns[t], tip, feed_halvings, gap);
            cplx z = solve_case(cs, mesh, reduced);
            std::printf("  N %4d  unknowns %5d  Z %10.4f %+10.4f j", ns[t], mesh.nunk, z.real(),
                        z.imag());
            if (t >= 1)
                std::printf("   change %+8.4f %+8.4f j", (z - prev).real(), (z - prev).imag());
            if (t >= 2) {
                cplx d1 = prev - prev2, d2 = z - prev;
                std::printf("   ratio %.2f", std::abs(d1) / std::max(std::abs(d2), 1e-300));
            }
            std::printf("\n");
            prev2 = prev;
            prev = z;
        }
        if (ns.size() >= 2) {
            cplx ext = prev + (prev - prev2) / 3.0;
            std::printf("  extrapolated (second order): %.3f %+.3f j ohm\n", ext.real(),
                        ext.imag());
        }
        std::fflush(stdout);
    }
    return 0;
}
