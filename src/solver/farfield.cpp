#include "solver/farfield.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "ground/layer.h"
#include "solver/farfield_dir.h"

// Each unknown is a triangle (or, at a grounded node, a half triangle) of
// unit value at its node falling linearly to zero at the far end of every
// segment it touches. With v = sign * I: a reference at the segment start
// adds v (1 - t), one at the segment end adds v t.
std::vector<FfSeg> fseg_build(const Mesh& mesh, const std::vector<cplx>& cur) {
    std::vector<FfSeg> fs(mesh.seg.size());
    for (size_t s = 0; s < fs.size(); ++s) {
        const Segment& sg = mesh.seg[s];
        std::copy(sg.a, sg.a + 3, fs[s].a);
        std::copy(sg.dir, sg.dir + 3, fs[s].dir);
        fs[s].len = sg.len;
    }
    assert(cur.size() >= mesh.unk.size());
    size_t nu = std::min(cur.size(), mesh.unk.size());
    for (size_t i = 0; i < nu; ++i) {
        const Unknown& u = mesh.unk[i];
        for (int r = 0; r < u.nref && r < 2; ++r) {
            const SegRef& ref = u.ref[r];
            assert(ref.seg >= 0 && static_cast<size_t>(ref.seg) < fs.size());
            if (ref.seg < 0 || static_cast<size_t>(ref.seg) >= fs.size()) continue;
            cplx v = static_cast<double>(ref.sign) * cur[i];
            FfSeg& f = fs[static_cast<size_t>(ref.seg)];
            if (ref.end == 0) {
                f.i0 += v;
                f.i1 -= v;
            } else {
                f.i1 += v;
            }
        }
    }
    return fs;
}

// Radiation vector of straight segments with linear current,
//   N = sum_s u_s L_s exp(j k rhat.a_s) int_0^1 (i0 + i1 t) exp(j psi t) dt,
//   psi = k L rhat.u,
// with the line integrals in closed form:
//   I0 = (exp(j psi) - 1)/(j psi),  I1 = exp(j psi)/(j psi) + (exp(j psi) - 1)/psi^2,
// and below |psi| = 1e-3 by their series I0 = 1 - psi^2/6 + j psi/2,
// I1 = 1/2 - psi^2/8 + j psi/3 (truncation ~ psi^3/24 < 5e-11). The closed
// forms use the half angle (sin psi = 2 sh ch, 1 - cos psi = 2 sh^2) so that
// 1 - cos psi keeps its precision near the switch. Exact for any segment
// length; time dependence exp(+j w t).
// The image (image = 1) is the perfect-conductor mirror in z = 0: a and u
// mirrored in z and the current reversed, so horizontal currents flip and
// vertical ones do not.
// Cost: one sine/cosine pair per segment. The start phase exp(j k rhat.a)
// of a segment that continues the previous one (along a wire) is that
// segment's end phase exp(j k rhat.a_prev) exp(j psi_prev), corrected to
// second order for the small gap d between the two arguments (|d| < 1e-6,
// error below d^3/6); any other segment takes its own sine and cosine.
std::array<cplx, 3> apot(const FfSeg* fs, int n, const double rhat[3], double k, int image) {
    const double zs = image ? -1.0 : 1.0; // z mirror, also the current sign
    const double rx = rhat[0], ry = rhat[1], rz = rhat[2] * zs;
    double nre[3] = {0, 0, 0}, nim[3] = {0, 0, 0};
    // Phase exp(j k rhat.b) at the end of the previous segment and its
    // argument: the start phase of a segment that continues the previous one.
    double end_arg = 0, end_c = 0, end_s = 0;
    bool have_end = false;
    for (int s = 0; s < n; ++s) {
        const FfSeg& f = fs[s];
        const double* u = f.dir;
        double psi = k * f.len * (rx * u[0] + ry * u[1] + rz * u[2]);
        double i0r, i0i, i1r, i1i, ec, es;
        if (std::fabs(psi) < 1e-3) {
            double p2 = psi * psi;
            i0r = 1.0 - p2 / 6.0;
            i0i = psi / 2.0;
            i1r = 0.5 - p2 / 8.0;
            i1i = psi / 3.0;
            ec = 1.0 - p2 / 2.0 + p2 * p2 / 24.0;
            es = psi * (1.0 - p2 / 6.0);
        } else {
            double sh = std::sin(0.5 * psi), ch = std::cos(0.5 * psi);
            double sn = 2.0 * sh * ch;  // sin psi
            double omc = 2.0 * sh * sh; // 1 - cos psi
            double inv = 1.0 / psi, inv2 = inv * inv;
            i0r = sn * inv;
            i0i = omc * inv;
            i1r = sn * inv - omc * inv2;
            i1i = (omc - 1.0) * inv + sn * inv2; // -cos psi / psi + sin psi / psi^2
            ec = 1.0 - omc;
            es = sn;
        }
        // Segment term q = zs L exp(j k rhat.a) (i0 I0 + i1 I1).
        double cr = f.i0.real() * i0r - f.i0.imag() * i0i + f.i1.real() * i1r - f.i1.imag() * i1i;
        double ci = f.i0.real() * i0i + f.i0.imag() * i0r + f.i1.real() * i1i + f.i1.imag() * i1r;
        double ph = k * (rx * f.a[0] + ry * f.a[1] + rz * f.a[2]);
        double pc, ps;
        double d = ph - end_arg;
        if (have_end && std::fabs(d) < 1e-6) {
            double c1 = 1.0 - 0.5 * d * d;
            pc = end_c * c1 - end_s * d;
            ps = end_s * c1 + end_c * d;
        } else {
            pc = std::cos(ph);
            ps = std::sin(ph);
        }
        end_arg = ph + psi;
        end_c = pc * ec - ps * es;
        end_s = pc * es + ps * ec;
        have_end = true;
        double sl = zs * f.len;
        double qr = sl * (pc * cr - ps * ci);
        double qi = sl * (pc * ci + ps * cr);
        // u of the image is (ux, uy, -uz); with the sign zs folded into q,
        // its x and y parts flip and its z part does not.
        nre[0] += u[0] * qr;
        nim[0] += u[0] * qi;
        nre[1] += u[1] * qr;
        nim[1] += u[1] * qi;
        nre[2] += zs * u[2] * qr;
        nim[2] += zs * u[2] * qi;
    }
    return {cplx(nre[0], nim[0]), cplx(nre[1], nim[1]), cplx(nre[2], nim[2])};
}

namespace {

// E_theta, E_phi = -j (w mu0 / 4 pi) (N.theta_hat, N.phi_hat).
void field_of(const std::array<cplx, 3>& nv, const double th[3], const double ph[3], double cf,
              cplx& eth, cplx& eph) {
    cplx nth = nv[0] * th[0] + nv[1] * th[1] + nv[2] * th[2];
    cplx nph = nv[0] * ph[0] + nv[1] * ph[1];
    eth = cplx(0.0, -cf) * nth;
    eph = cplx(0.0, -cf) * nph;
}

} // namespace

FfDir ff_dir(const Model& m, double theta, double phi) {
    return ff_dir(m, std::sin(theta), std::cos(theta), std::sin(phi), std::cos(phi));
}

FfDir ff_dir(const Model& m, double st, double ct, double sp, double cp) {
    FfDir d;
    d.st = st;
    d.ct = ct;
    const bool through_board = m.ground == GROUND_PCB && !m.pcb_gnd;
    d.dark = m.ground != GROUND_FREE && ct < 0 && !through_board;
    d.image = m.ground != GROUND_FREE && !d.dark && !(m.ground == GROUND_PCB && ct < 0);
    d.rhat[0] = st * cp;
    d.rhat[1] = st * sp;
    d.rhat[2] = ct;
    d.th[0] = ct * cp;
    d.th[1] = ct * sp;
    d.th[2] = -st;
    d.ph[0] = -sp;
    d.ph[1] = cp;
    d.ph[2] = 0.0;
    return d;
}

// r*E = -j (w mu0/(4 pi)) N_transverse (far-zone magnetic vector potential),
// plus the ground's reflected wave built from the image radiation vector N':
//   perfect ground  E_th + E'_th,        E_ph + E'_ph
//   real ground     E_th + Gv E'_th,     E_ph - Gh E'_ph  (Fresnel, eps_c =
//                   eps - j sigma/(w eps0), s = sqrt(eps_c - sin^2 theta),
//                   Gv = (eps_c cos - s)/(eps_c cos + s), Gh = (cos - s)/(cos + s))
//   board           E_th + g_tm E'_th,   E_ph - g_te E'_ph  (layer_coef)
// The half-space z < 0 is dark over a ground, except below a board without
// ground plane, where the direct field passes through the slab (t_tm, t_te).
FfGround ff_ground(const Model& m, double freq_hz, const FfDir& d) {
    FfGround g; // perfect conductor
    const int ground = m.ground;
    if (d.dark || ground == GROUND_FREE || ground == GROUND_PERFECT) return g;
    const double k = phys::two_pi * freq_hz / phys::c0;
    const double w = phys::two_pi * freq_hz;
    const double st = d.st, ct = d.ct;
    if (ground == GROUND_PCB && ct < 0) {
        LayerCoef lc =
            layer_coef(k, m.pcb_eps * cplx(1.0, -m.pcb_tand), LAYER_FREE_SLAB, m.pcb_h, st, -ct);
        g.gv = lc.t_tm;
        g.gh = lc.t_te;
    } else if (ground == GROUND_REAL || ground == GROUND_MININEC) {
        cplx epsc(m.eps, -m.sigma / (w * phys::eps0));
        cplx s = std::sqrt(epsc - (1.0 - ct * ct));
        g.gv = (epsc * ct - s) / (epsc * ct + s);
        g.gh = (ct - s) / (ct + s);
    } else {
        assert(ground == GROUND_PCB);
        LayerMode mode = m.pcb_gnd ? LAYER_GROUNDED_SLAB : LAYER_FREE_SLAB;
        LayerCoef lc = layer_coef(k, m.pcb_eps * cplx(1.0, -m.pcb_tand), mode, m.pcb_h, st, ct);
        g.gv = lc.g_tm;
        g.gh = lc.g_te;
    }
    return g;
}

void ff_combine(const Model& m, double freq_hz, const FfDir& d, const FfGround& g,
                const std::array<cplx, 3>& n_direct, const std::array<cplx, 3>& n_image, cplx& eth,
                cplx& eph) {
    if (d.dark) {
        eth = 0.0;
        eph = 0.0;
        return;
    }
    const double w = phys::two_pi * freq_hz;
    const double cf = w * phys::mu0 / phys::four_pi;
    field_of(n_direct, d.th, d.ph, cf, eth, eph);
    if (m.ground == GROUND_FREE) return;
    if (m.ground == GROUND_PCB && d.ct < 0) {
        eth *= g.gv;
        eph *= g.gh;
        return;
    }
    cplx ith, iph;
    field_of(n_image, d.th, d.ph, cf, ith, iph);
    eth += g.gv * ith;
    eph -= g.gh * iph;
}

void ff_combine(const Model& m, double freq_hz, const FfDir& d, const std::array<cplx, 3>& n_direct,
                const std::array<cplx, 3>& n_image, cplx& eth, cplx& eph) {
    ff_combine(m, freq_hz, d, ff_ground(m, freq_hz, d), n_direct, n_image, eth, eph);
}

void ff_eval(const Model& m, const FfSeg* fs, int n, double freq_hz, double theta, double phi,
             cplx& eth, cplx& eph) {
    const FfDir d = ff_dir(m, theta, phi);
    if (d.dark) {
        eth = 0.0;
        eph = 0.0;
        return;
    }
    const double k = phys::two_pi * freq_hz / phys::c0;
    const std::array<cplx, 3> direct = apot(fs, n, d.rhat, k, 0);
    const std::array<cplx, 3> image = d.image ? apot(fs, n, d.rhat, k, 1) : std::array<cplx, 3>{};
    ff_combine(m, freq_hz, d, direct, image, eth, eph);
}

void farfield(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
              double theta, double phi, cplx& eth, cplx& eph) {
    std::vector<FfSeg> fs = fseg_build(mesh, cur);
    ff_eval(m, fs.data(), static_cast<int>(fs.size()), freq_hz, theta, phi, eth, eph);
}

void farfield_many(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                   int n, const double* theta, const double* phi, cplx* eth, cplx* eph) {
    if (n <= 0) return;
    const FfArrays fa = ff_arrays(mesh, cur);
    ff_eval_many(m, fa, freq_hz, n, theta, phi, eth, eph);
}
