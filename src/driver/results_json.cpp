#include "driver/results_json.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "driver/dish_stage.h"
#include "driver/json.h"
#include "driver/lmatch.h"
#include "driver/names.h"
#include "driver/outfile.h"
#include "driver/run.h"
#include "parallel/par_for.h"
#include "solver/sincos.h"

namespace {

constexpr int kMaxPotentialSegs = 8000;

// The position of the node of an unknown; the origin for none.
void unk_pos(const Mesh& mesh, int u, double p[3]) {
    p[0] = p[1] = p[2] = 0;
    if (u < 0 || u >= mesh.nunk()) return;
    const Node& n = mesh.node[static_cast<size_t>(mesh.unk[static_cast<size_t>(u)].node)];
    for (int k = 0; k < 3; ++k) p[k] = n.pos[k];
}

double phase_deg(cplx z) {
    return std::atan2(z.imag(), z.real()) * 180 / phys::pi;
}

// Writes the values with their conversions, separated by commas; values
// that are not finite are written as null.
struct Writer {
    std::FILE* f;
    void raw(const char* s) { std::fputs(s, f); }
    void num(const char* fmt, double v) { json_num(f, fmt, v); }
    void key(const char* k, const char* fmt, double v) {
        std::fprintf(f, "\"%s\":", k);
        num(fmt, v);
    }
    // "k1":v1,"k2":v2,... with each value's own conversion.
    struct Field {
        const char* k;
        const char* fmt;
        double v;
    };
    void fields(std::initializer_list<Field> list) {
        bool first = true;
        for (const Field& fl : list) {
            if (!first) raw(",");
            first = false;
            key(fl.k, fl.fmt, fl.v);
        }
    }
    // Values separated by commas, all with one conversion.
    void nums(const char* fmt, std::initializer_list<double> list) {
        bool first = true;
        for (double v : list) {
            if (!first) raw(",");
            first = false;
            num(fmt, v);
        }
    }
};

bool has_image(const Model& m) {
    return m.ground == GROUND_PERFECT || m.ground == GROUND_REAL || m.ground == GROUND_MININEC ||
           (m.ground == GROUND_PCB && m.pcb_gnd);
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

// V(m) = 1/(4 pi eps0) sum_L q_L len_L sum_n (w_n/2) [G(R) - G(R')], with
// G(R) = exp(-jkR)/R, R = sqrt(|c_m - p_n|^2 + a_L^2) from the centre of m
// to the n-th point of an 8-point Gauss-Legendre rule on segment L, and R'
// the same to the image point in z = 0 where the ground has one.
std::vector<cplx> seg_potentials(const Model& m, const Mesh& mesh, double freq_hz,
                                 const std::vector<cplx>& d) {
    const int n = mesh.nseg();
    std::vector<cplx> v(static_cast<size_t>(n), cplx(0));
    if (n > kMaxPotentialSegs || n == 0) return v;
    // 8-point rule on [-1, 1], ten decimals, from the most negative node up.
    static const double gx[8] = {-0.9602898565, -0.7966664774, -0.5255324099, -0.1834346425,
                                 0.1834346425,  0.5255324099,  0.7966664774,  0.9602898565};
    static const double gw[8] = {0.1012285363, 0.2223810345, 0.3137066459, 0.3626837834,
                                 0.3626837834, 0.3137066459, 0.2223810345, 0.1012285363};
    const double w = phys::two_pi * freq_hz, k = w / phys::c0;
    const bool image = has_image(m);
    // q_L len_L = j d_L / w
    std::vector<cplx> qlen(static_cast<size_t>(n));
    for (int L = 0; L < n; ++L)
        qlen[static_cast<size_t>(L)] = cplx(0, 1) * d[static_cast<size_t>(L)] / w;

    // The quadrature points of every segment, computed once.
    const size_t npt = static_cast<size_t>(n) * 8;
    std::vector<double> px(npt), py(npt), pz(npt), a2(static_cast<size_t>(n));
    for (int L = 0; L < n; ++L) {
        const Segment& sl = mesh.seg[static_cast<size_t>(L)];
        a2[static_cast<size_t>(L)] = sl.radius * sl.radius;
        for (int q = 0; q < 8; ++q) {
            double t = (1 + gx[q]) / 2;
            size_t i = static_cast<size_t>(L) * 8 + static_cast<size_t>(q);
            px[i] = sl.a[0] + t * (sl.b[0] - sl.a[0]);
            py[i] = sl.a[1] + t * (sl.b[1] - sl.a[1]);
            pz[i] = sl.a[2] + t * (sl.b[2] - sl.a[2]);
        }
    }

    par_for(n, [&](int mi) {
        const Segment& sm = mesh.seg[static_cast<size_t>(mi)];
        // Distances to every point (and to its image), then all phases at once.
        const size_t nr = image ? 2 * npt : npt;
        std::vector<double> R(nr), kr(nr), sn(nr), cs(nr);
        for (size_t i = 0; i < npt; ++i) {
            double dx = sm.c[0] - px[i], dy = sm.c[1] - py[i], dz = sm.c[2] - pz[i];
            double h2 = dx * dx + dy * dy + a2[i / 8];
            R[i] = std::sqrt(h2 + dz * dz);
            if (image) {
                double dzi = sm.c[2] + pz[i];
                R[npt + i] = std::sqrt(h2 + dzi * dzi);
            }
        }
        for (size_t i = 0; i < nr; ++i) kr[i] = k * R[i];
        bool small = true;
        for (size_t i = 0; i < nr; ++i) small = small && kr[i] < kSincosMax;
        if (small) {
            sincos_many(kr.data(), sn.data(), cs.data(), static_cast<int>(nr));
        } else {
            for (size_t i = 0; i < nr; ++i) {
                sn[i] = std::sin(kr[i]);
                cs[i] = std::cos(kr[i]);
            }
        }
        cplx sum = 0;
        for (int L = 0; L < n; ++L) {
            double re = 0, im = 0; // sum over q of (w_q/2) [G(R) - G(R')], G = exp(-jkR)/R
            for (int q = 0; q < 8; ++q) {
                size_t i = static_cast<size_t>(L) * 8 + static_cast<size_t>(q);
                double w = gw[q] / 2 / R[i];
                re += w * cs[i];
                im -= w * sn[i];
                if (image) {
                    double wi = gw[q] / 2 / R[npt + i];
                    re -= wi * cs[npt + i];
                    im += wi * sn[npt + i];
                }
            }
            sum += qlen[static_cast<size_t>(L)] * cplx(re, im);
        }
        v[static_cast<size_t>(mi)] = sum / phys::four_pi_eps0;
    });
    return v;
}

int results_json_write(const std::string& path, const std::string& input, const Model& m,
                       const Mesh& mesh, const RunResults& res) {
    OutFile out(path);
    if (!out.open()) return -1;
    Writer w{out.file()};
    std::FILE* f = out.file();
    const FreqResult& d = res.design;

    std::fprintf(f, "{\"program\":\"Quarlin %s\",\"title\":", kVersion);
    json_str(f, m.title);
    w.raw(",\"input\":");
    json_str(f, input);
    w.raw(",");
    w.key("f0", "%.10g", m.f0);
    std::fprintf(f, ",\"ground\":\"%s\",\"somm\":%d,", ground_name(m.ground), m.somm);
    w.fields({{"eps", "%g", m.eps}, {"sigma", "%g", m.sigma}});
    w.raw(",\"pcb\":{");
    w.fields({{"eps", "%g", m.pcb_eps}, {"tand", "%g", m.pcb_tand}, {"h", "%g", m.pcb_h}});
    std::fprintf(f, ",\"gnd\":%d},", m.pcb_gnd);
    w.fields({{"z0ref", "%g", m.z0ref}, {"runtime", "%.3f", res.runtime}});

    std::fprintf(f, ",\"mesh\":{\"nwire\":%d,\"nseg\":%d,\"nunk\":%d,", wire_count(m, mesh),
                 mesh.nseg(), mesh.nunk());
    w.fields({{"minlen", "%g", mesh.minlen},
              {"maxlen", "%g", mesh.maxlen},
              {"minlr", "%g", mesh.minlr},
              {"maxratio", "%g", mesh.maxratio}});
    w.raw(",\"warnings\":[");
    for (int i = 0; i < mesh.nwarn(); ++i) {
        if (i) w.raw(",");
        json_str(f, mesh.warnings[static_cast<size_t>(i)]);
    }
    w.raw("]}");

    w.raw(",\"wires\":[");
    const std::vector<Wire>& wires = mesh.expanded_wires.empty() ? m.wires : mesh.expanded_wires;
    for (size_t i = 0; i < wires.size(); ++i) {
        const Wire& wi = wires[i];
        w.raw(i ? ",[" : "[");
        w.nums("%g", {wi.x1, wi.y1, wi.z1, wi.x2, wi.y2, wi.z2, wi.radius});
        std::fprintf(f, ",%d]", wi.tag);
    }

    std::vector<cplx> ia, dl;
    seg_currents(mesh, res.cur, ia, dl);
    std::vector<cplx> pot = seg_potentials(m, mesh, m.f0, dl);
    w.raw("],\"segs\":[");
    for (int s = 0; s < mesh.nseg(); ++s) {
        const Segment& sg = mesh.seg[static_cast<size_t>(s)];
        size_t si = static_cast<size_t>(s);
        cplx a = ia[si], b = ia[si] + dl[si], c = ia[si] + dl[si] / 2.0;
        w.raw(s ? ",[" : "[");
        w.nums("%.6g", {sg.a[0], sg.a[1], sg.a[2], sg.b[0], sg.b[1], sg.b[2]});
        std::fprintf(f, ",%d,", sg.wire + 1);
        w.nums("%.5g",
               {std::abs(a), std::abs(b), std::abs(c), phase_deg(a), phase_deg(b), phase_deg(c)});
        std::fprintf(f, ",%d,", sg.tag);
        w.nums("%.5g", {std::abs(pot[si]), phase_deg(pot[si])});
        w.raw("]");
    }

    w.raw("],\"sources\":[");
    for (int i = 0; i < m.nsrc(); ++i) {
        const Source& s = m.srcs[static_cast<size_t>(i)];
        double p[3];
        unk_pos(mesh, s.unk, p);
        cplx I = i < static_cast<int>(res.src_cur.size()) ? res.src_cur[static_cast<size_t>(i)]
                                                          : cplx(0);
        cplx z = s.v / I;
        w.raw(i ? ",{" : "{");
        w.fields({{"x", "%g", p[0]},
                  {"y", "%g", p[1]},
                  {"z", "%g", p[2]},
                  {"vr", "%g", s.v.real()},
                  {"vi", "%g", s.v.imag()},
                  {"ir", "%g", I.real()},
                  {"ii", "%g", I.imag()},
                  {"zr", "%g", z.real()},
                  {"zi", "%g", z.imag()}});
        w.raw("}");
    }

    w.raw("],\"loads\":[");
    bool first = true;
    for (const Load& l : m.loads) {
        if (l.unk < 0) continue;
        double p[3];
        unk_pos(mesh, l.unk, p);
        w.raw(first ? "{" : ",{");
        first = false;
        w.fields({{"x", "%g", p[0]}, {"y", "%g", p[1]}, {"z", "%g", p[2]}});
        w.raw("}");
    }

    w.raw("],\"tlines\":[");
    for (int i = 0; i < m.ntl(); ++i) {
        const TLine& t = m.tls[static_cast<size_t>(i)];
        double p1[3], p2[3];
        unk_pos(mesh, t.unk1, p1);
        unk_pos(mesh, t.unk2, p2);
        w.raw(i ? ",[" : "[");
        w.nums("%g", {p1[0], p1[1], p1[2], p2[0], p2[1], p2[2], t.z0});
        w.raw("]");
    }

    w.raw("],\"sweep\":[");
    for (size_t i = 0; i < res.sweep.size(); ++i) {
        const FreqResult& r = res.sweep[i];
        w.raw(i ? ",[" : "[");
        w.num("%.9g", r.f);
        w.raw(",");
        w.nums("%.6g", {r.zin.real(), r.zin.imag()});
        w.raw(",");
        w.num("%.5g", r.swr);
        w.raw(",");
        w.nums("%.4g", {r.gmax, r.fb, r.thmax, r.phmax});
        w.raw("]");
    }

    w.raw("],\"design\":{");
    w.fields({{"fres", "%.8g", res.fres},
              {"fpeak", "%.8g", res.fpeak},
              {"f", "%.10g", m.f0},
              {"zr", "%.8g", d.zin.real()},
              {"zi", "%.8g", d.zin.imag()},
              {"swr", "%.6g", d.swr},
              {"pin", "%.8g", d.pin},
              {"prad", "%.8g", d.prad},
              {"eff", "%.6g", d.eff},
              {"agt", "%.6g", d.agt},
              {"gmax", "%.5g", d.gmax},
              {"thmax", "%.4g", d.thmax},
              {"phmax", "%.4g", d.phmax},
              {"fb", "%.5g", d.fb},
              {"bwaz", "%.4g", res.bwaz},
              {"bwel", "%.4g", res.bwel},
              {"convdz", "%.5g", res.convdz},
              {"convzr", "%.6g", res.zconv.real()},
              {"convzi", "%.6g", res.zconv.imag()},
              {"convestzr", "%.6g", res.zconv_est.real()},
              {"convestzi", "%.6g", res.zconv_est.imag()}});
    w.raw("}");

    w.raw(",\"match\":[");
    MatchSolution ms[2];
    int nm = lmatch(d.zin.real(), d.zin.imag(), m.z0ref, m.f0, ms);
    for (int i = 0; i < nm; ++i) {
        std::fprintf(f, "%s{\"at_antenna\":\"%s\",\"toward_line\":\"%s\",\"sh\":%d,", i ? "," : "",
                     ms[i].at_antenna.c_str(), ms[i].toward_line.c_str(), ms[i].sh);
        w.key("xs", "%.10g", ms[i].xs);
        w.raw(",");
        w.key("bp", "%.10g", ms[i].bp);
        w.raw("}");
    }
    w.raw("]");
    if (m.dish) dish_json(f, m, res.dish);

    w.raw(",\"pattern\":{");
    w.key("dth", "%g", m.dth);
    w.raw(",");
    w.key("dph", "%g", m.dph);
    std::fprintf(f, ",\"nth\":%d,\"nph\":%d", res.nth, res.nph);
    const std::pair<const char*, const std::vector<float>*> arrays[] = {
        {"gt", &res.gt}, {"gv", &res.gv}, {"gh", &res.gh}, {"gr", &res.gr}, {"gl", &res.gl}};
    size_t npt = res.nth > 0 && res.nph > 0
                     ? static_cast<size_t>(res.nth) * static_cast<size_t>(res.nph)
                     : 0;
    for (const auto& [name, arr] : arrays) {
        std::fprintf(f, ",\"%s\":[", name);
        for (size_t i = 0; i < npt && i < arr->size(); ++i) {
            double g = (*arr)[i];
            if (!(g >= -99) || !std::isfinite(g)) g = -99; // below -99 dB, or not a number
            std::fprintf(f, i ? ",%.2f" : "%.2f", g);
        }
        w.raw("]");
    }
    w.raw("}}\n");
    return out.commit() ? 0 : -1;
}
