#include "solver/loads.h"

#include <cmath>

#include "common/text.h"
#include "solver/block.h"

cplx load_z(const Load& ld, double freq_hz) {
    const double w = phys::two_pi * freq_hz;
    const cplx j(0.0, 1.0);
    switch (ld.type) {
    case LOAD_SERIES:
    case LOAD_SERIES_PER_LEN: {
        cplx z = ld.r + j * (w * ld.l);
        if (ld.c > 0) z += 1.0 / (j * (w * ld.c));
        return z;
    }
    case LOAD_PARALLEL:
    case LOAD_PARALLEL_PER_LEN: {
        cplx y = 0.0;
        if (ld.r > 0) y += 1.0 / ld.r;
        if (ld.l > 0) y += 1.0 / (j * (w * ld.l));
        y += j * (w * ld.c);
        if (std::abs(y) == 0.0) return cplx(1e30, 0.0); // open circuit
        return 1.0 / y;
    }
    case LOAD_IMPEDANCE:
        return cplx(ld.r, ld.l);
    default:
        return 0.0;
    }
}

cplx conductor_z(double a, double sigma, double freq_hz) {
    const double w = phys::two_pi * freq_hz;
    const double delta = std::sqrt(2.0 / (w * phys::mu0 * sigma));
    const double rs = 1.0 / (phys::two_pi * a * sigma * delta);
    if (a > 3.0 * delta) return cplx(rs, rs);
    const double g2 = (a / (3.0 * delta)) * (a / (3.0 * delta));
    const cplx dc(1.0 / (sigma * phys::pi * a * a), w * phys::mu0 / (8.0 * phys::pi));
    return g2 * cplx(rs, rs) + (1.0 - g2) * dc;
}

namespace {

// Whether a distributed NEC load covers segment s, whose absolute number
// (counted over the whole structure, the two halves of a split segment
// once) is abs_num.
bool load_covers(const Load& ld, const Segment& s, int abs_num) {
    if (ld.seg1 < 1) return ld.tag == 0 || ld.tag == s.tag;
    const int last = ld.seg2 == 0 ? ld.seg1 : ld.seg2;
    // Tag 0 numbers segments over the whole structure.
    const int num = ld.tag == 0 ? abs_num : s.num;
    if (ld.tag != 0 && ld.tag != s.tag) return false;
    return ld.seg1 <= num && num <= last;
}

// Per-metre impedance with the absolute number and the length over which a
// lumped value is spread (the whole NEC segment when it was split in two).
cplx wire_z_at(const Model& m, const Segment& s, int abs_num, double spread_len, double freq_hz) {
    cplx w = 0.0;
    if (s.sigma > 0) w = conductor_z(s.radius, s.sigma, freq_hz);
    if (s.ins_t > 0 && s.ins_eps > 1) {
        const double omega = phys::two_pi * freq_hz;
        w += cplx(0.0, omega * phys::mu0 / phys::two_pi * (1.0 - 1.0 / s.ins_eps) *
                           std::log((s.radius + s.ins_t) / s.radius));
    }
    for (const Load& ld : m.loads) {
        if (ld.unk >= 0 || !load_covers(ld, s, abs_num)) continue;
        switch (ld.type) {
        case LOAD_SERIES_PER_LEN:
        case LOAD_PARALLEL_PER_LEN:
            w += load_z(ld, freq_hz);
            break;
        case LOAD_CONDUCTIVITY:
            w = ld.r > 0 ? conductor_z(s.radius, ld.r, freq_hz) : cplx(0.0);
            break;
        case LOAD_SERIES:
        case LOAD_PARALLEL:
        case LOAD_IMPEDANCE:
            w += load_z(ld, freq_hz) / spread_len;
            break;
        default:
            break;
        }
    }
    return w;
}

// Absolute segment numbers and the spreading lengths: a new number starts
// whenever the wire or the segment number changes from the previous
// segment, so the two halves of a split NEC segment share one number and
// spread a lumped load over their summed length.
void seg_numbers(const Mesh& mesh, std::vector<int>& abs_num, std::vector<double>& spread) {
    const int ns = mesh.nseg();
    abs_num.assign(static_cast<size_t>(ns), 0);
    spread.assign(static_cast<size_t>(ns), 0.0);
    std::vector<double> total(1, 0.0); // summed length per number, from 1
    for (int s = 0; s < ns; ++s) {
        const Segment& g = mesh.seg[s];
        if (s == 0 || g.wire != mesh.seg[s - 1].wire || g.num != mesh.seg[s - 1].num)
            total.push_back(0.0);
        abs_num[s] = static_cast<int>(total.size()) - 1;
        total.back() += g.len;
    }
    for (int s = 0; s < ns; ++s) spread[s] = total[abs_num[s]];
}

} // namespace

cplx wire_z(const Model& m, const Mesh& mesh, int s, double freq_hz) {
    std::vector<int> abs_num;
    std::vector<double> spread;
    seg_numbers(mesh, abs_num, spread);
    return wire_z_at(m, mesh.seg[s], abs_num[s], spread[s], freq_hz);
}

namespace {

// The loads of stamp_loads, each entry handed to add(p, q, z).
template <class Add>
void stamp_loads_with(const Model& m, const Mesh& mesh, double freq_hz, Add add) {
    std::vector<int> abs_num;
    std::vector<double> spread;
    seg_numbers(mesh, abs_num, spread);
    for (int s = 0; s < mesh.nseg(); ++s) {
        const Segment& g = mesh.seg[s];
        const int nr = mesh.seg_nref[s];
        if (nr == 0) continue;
        const cplx w = wire_z_at(m, g, abs_num[s], spread[s], freq_hz);
        if (w == cplx(0.0)) continue;
        const UnkSlot* r = mesh.refs(s);
        for (int i = 0; i < nr; ++i) {
            const SegRef& rp = mesh.unk[r[i].unk].ref[r[i].slot];
            const double ap = rp.end == 0 ? 1.0 : 0.0, bp = rp.end == 0 ? -1.0 : 1.0;
            for (int j = 0; j < nr; ++j) {
                const SegRef& rq = mesh.unk[r[j].unk].ref[r[j].slot];
                const double aq = rq.end == 0 ? 1.0 : 0.0, bq = rq.end == 0 ? -1.0 : 1.0;
                // int_0^1 phi_p phi_q dt for the two ramps.
                const double ramp = ap * aq + (ap * bq + bp * aq) / 2.0 + bp * bq / 3.0;
                add(r[i].unk, r[j].unk, (g.len * rp.sign * rq.sign * ramp) * w);
            }
        }
    }
    for (const Load& l : m.loads) {
        if (l.unk >= 0) add(l.unk, l.unk, load_z(l, freq_hz));
    }
}

// Scale of a port's current-law row: the characteristic impedance of the
// first line with an end at the port, which turns the row into volts like
// the line's own rows; 1 (amperes) at a port of two-port networks only.
double port_row_scale(const LineNet& net, int p) {
    for (const LineWave& w : net.line)
        if (w.p1 == p || w.p2 == p) return w.z0;
    return 1.0;
}

// Currents into the two ends of a line whose both ends are driven, from the
// two wave equations solved for i1, i2 (the line's admittance matrix:
// Y11 = Y22 = (1 + e^2)/(z0 (1 - e^2)) = coth(gl)/z0, Y12 = -2e/(z0 (1 - e^2))
// = -1/(z0 sinh(gl))).
void driven_line_currents(const LineNet& net, const LineWave& w, cplx& i1, cplx& i2) {
    const cplx v1 = net.v[w.p1], v2 = w.s2 * net.v[w.p2];
    const cplx e2 = w.e * w.e, det = w.z0 * (1.0 - e2);
    i1 = ((1.0 + e2) * v1 - 2.0 * w.e * v2) / det;
    i2 = ((1.0 + e2) * v2 - 2.0 * w.e * v1) / det;
}

// The entries of line_stamp, each handed to add(row, column, a); the terms
// of driven port voltages go to rhs.
template <class Add> void line_stamp_with(const LineNet& net, cplx* rhs, Add add) {
    const int j = net.nport();
    // Port voltage V_p times c in row r: an unknown, or a known source voltage.
    auto volt = [&](int r, int p, cplx c) {
        if (net.driven[p])
            rhs[r] -= c * net.v[p];
        else
            add(r, net.sys[p], c);
    };
    // Kirchhoff's current law at every undriven port, scaled by zrow:
    // zrow (I_u + sum_J Y[M][J] V_J + line currents drawn at M) = 0.
    for (int M = 0; M < j; ++M) {
        if (net.driven[M]) continue;
        const int u = net.port[M], P = net.sys[M];
        const double zr = net.zrow[M];
        add(u, P, cplx(-1.0));
        add(P, u, cplx(zr));
        for (int J = 0; J < j; ++J) {
            const cplx y = net.Y[static_cast<size_t>(M) * j + J];
            if (y != cplx(0.0)) volt(P, J, zr * y);
        }
    }
    for (const LineWave& w : net.line) {
        if (w.cur < 0) continue;
        const int c1 = w.cur, c2 = w.cur + 1;
        if (!net.driven[w.p1]) add(net.sys[w.p1], c1, cplx(net.zrow[w.p1]));
        if (!net.driven[w.p2]) add(net.sys[w.p2], c2, cplx(w.s2 * net.zrow[w.p2]));
        // V1 - z0 i1 - e (V2 + z0 i2) = 0, with V2 = s2 V_p2.
        volt(c1, w.p1, 1.0);
        volt(c1, w.p2, -w.e * w.s2);
        add(c1, c1, cplx(-w.z0));
        add(c1, c2, -w.e * w.z0);
        // V2 - z0 i2 - e (V1 + z0 i1) = 0.
        volt(c2, w.p2, cplx(w.s2));
        volt(c2, w.p1, -w.e);
        add(c2, c2, cplx(-w.z0));
        add(c2, c1, -w.e * w.z0);
    }
}

} // namespace

void stamp_loads(const Model& m, const Mesh& mesh, double freq_hz, cplx* Z, int ld) {
    const size_t LD = static_cast<size_t>(ld);
    stamp_loads_with(m, mesh, freq_hz, [Z, LD](int p, int q, cplx z) {
        Z[static_cast<size_t>(p) * LD + static_cast<size_t>(q)] += z;
    });
}

void stamp_loads(const Model& m, const Mesh& mesh, double freq_hz, MatrixPart& part) {
    stamp_loads_with(m, mesh, freq_hz, [&part](int p, int q, cplx z) {
        if (cplx* e = part.at(p, q)) *e += z;
    });
}

int line_net(const Model& m, const Mesh& mesh, double freq_hz, LineNet& net, std::string& err) {
    net = LineNet{};
    const int nl = m.ntl();
    if (nl == 0) return 0;
    auto port_of = [&net](int u) {
        for (int i = 0; i < net.nport(); ++i)
            if (net.port[i] == u) return i;
        net.port.push_back(u);
        return net.nport() - 1;
    };
    std::vector<int> L(static_cast<size_t>(nl)), K(static_cast<size_t>(nl));
    for (int i = 0; i < nl; ++i) {
        const TLine& t = m.tls[i];
        if (t.unk1 < 0 || t.unk1 >= mesh.nunk() || t.unk2 < 0 || t.unk2 >= mesh.nunk())
            return set_err(err, "transmission line %d is not connected to the structure", i + 1);
        if (t.unk1 == t.unk2)
            return set_err(err, "transmission line %d has both ends on the same point", i + 1);
        L[i] = port_of(t.unk1);
        K[i] = port_of(t.unk2);
    }
    const int j = net.nport();
    net.Y.assign(static_cast<size_t>(j) * j, 0.0);
    auto Y = [&net, j](int r, int c) -> cplx& { return net.Y[static_cast<size_t>(r) * j + c]; };
    const double k = phys::two_pi * freq_hz / phys::c0;
    for (int i = 0; i < nl; ++i) {
        const TLine& t = m.tls[i];
        const int l = L[i], kk = K[i];
        const bool network = t.y11 != cplx(0.0) || t.y12 != cplx(0.0) || t.y22 != cplx(0.0);
        if (network) {
            Y(l, l) += t.y11;
            Y(kk, kk) += t.y22;
            Y(l, kk) += t.y12;
            Y(kk, l) += t.y12;
        } else {
            if (!(t.z0 > 0))
                return set_err(
                    err, "transmission line %d has no positive characteristic impedance (z0 = %g)",
                    i + 1, t.z0);
            double len = t.len;
            if (len <= 0) {
                const double* a = mesh.node[mesh.unk[t.unk1].node].pos;
                const double* b = mesh.node[mesh.unk[t.unk2].node].pos;
                len = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                (a[2] - b[2]) * (a[2] - b[2]));
            }
            if (!(len > 0)) return set_err(err, "transmission line %d has zero length", i + 1);
            const double vf = t.vf > 0 ? t.vf : 1.0;
            const cplx gl = cplx(t.loss / 100.0 / phys::db_per_neper, k / vf) * len;
            LineWave w;
            w.p1 = l;
            w.p2 = kk;
            w.z0 = t.z0;
            // |e| <= 1 for a passive line; it underflows to 0 for a very
            // long lossy one, which then looks matched from either end.
            w.e = std::exp(-gl);
            w.s2 = t.rev ? -1.0 : 1.0;
            net.line.push_back(w);
        }
        // Shunt admittances across the two ends.
        Y(l, l) += t.y1;
        Y(kk, kk) += t.y2;
    }
    net.driven.assign(static_cast<size_t>(j), 0);
    net.v.assign(static_cast<size_t>(j), 0.0);
    net.sys.assign(static_cast<size_t>(j), -1);
    net.zrow.assign(static_cast<size_t>(j), 1.0);
    for (int p = 0; p < j; ++p) {
        for (const Source& s : m.srcs) {
            if (s.unk == net.port[p]) {
                net.driven[p] = 1;
                net.v[p] += s.v;
            }
        }
        net.zrow[p] = port_row_scale(net, p);
    }
    const int n = mesh.nunk();
    for (int p = 0; p < j; ++p)
        if (!net.driven[p]) net.sys[p] = n + net.nextra++;
    for (LineWave& w : net.line) {
        if (net.driven[w.p1] && net.driven[w.p2]) continue;
        w.cur = n + net.nextra;
        net.nextra += 2;
    }
    return 0;
}

void line_stamp(const LineNet& net, int /*n*/, cplx* A, int ld, cplx* rhs) {
    const size_t LD = static_cast<size_t>(ld);
    line_stamp_with(net, rhs, [A, LD](int p, int q, cplx a) {
        A[static_cast<size_t>(p) * LD + static_cast<size_t>(q)] += a;
    });
}

void line_stamp(const LineNet& net, MatrixPart& part, cplx* rhs) {
    line_stamp_with(net, rhs, [&part](int p, int q, cplx a) {
        if (cplx* e = part.at(p, q)) *e += a;
    });
}

cplx line_port_current(const LineNet& net, int M, const cplx* x) {
    const int j = net.nport();
    cplx i = 0.0;
    for (int J = 0; J < j; ++J) {
        const cplx vj = net.driven[J] ? net.v[J] : x[net.sys[J]];
        i += net.Y[static_cast<size_t>(M) * j + J] * vj;
    }
    for (const LineWave& w : net.line) {
        if (w.p1 != M && w.p2 != M) continue;
        cplx i1, i2;
        if (w.cur >= 0) {
            i1 = x[w.cur];
            i2 = x[w.cur + 1];
        } else {
            driven_line_currents(net, w, i1, i2);
        }
        if (w.p1 == M) i += i1;
        if (w.p2 == M) i += w.s2 * i2;
    }
    return i;
}
