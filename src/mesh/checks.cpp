// Model checks before meshing, mesh statistics and the modelling-practice
// warnings after it, including the test for wires that cross or overlap
// without a junction.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "mesh/mesh_internal.h"
#include "mesh/spatial.h"

namespace {

double norm3(const double v[3]) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}
double dot3(const double a[3], const double b[3]) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

} // namespace

int check_settings(const Model& m, std::string& err) {
    // The meshing wavelength must be a finite length; the native target
    // segment length needs a positive count per wavelength as well.
    if (!(m.fmax > 0) || !std::isfinite(m.fmax) || !std::isfinite(299792458.0 / m.fmax) ||
        !(299792458.0 / m.fmax > 0))
        return set_err(err, "the meshing frequency must be a positive number (fmax = %g Hz)",
                       m.fmax);
    if (!m.is_nec && (!(m.segwl > 0) || !std::isfinite(m.segwl)))
        return set_err(err, "segments per wavelength must be a positive number (segwl = %g)",
                       m.segwl);
    return 0;
}

int validate_wires(MeshWork& w) {
    const Model& m = w.m;
    double M = 0;
    for (int i = 0; i < w.nwire(); ++i) {
        const Wire& wi = w.wires()[static_cast<size_t>(i)];
        const double c[6] = {wi.x1, wi.y1, wi.z1, wi.x2, wi.y2, wi.z2};
        double dx = wi.x2 - wi.x1, dy = wi.y2 - wi.y1, dz = wi.z2 - wi.z1;
        double len = std::sqrt(dx * dx + dy * dy + dz * dz);
        bool finite = std::isfinite(len);
        for (double v : c) finite = finite && std::isfinite(v);
        if (!finite)
            return set_err(w.err, "wire %d has a coordinate that is not a finite number", i + 1);
        if (len <= 0) return set_err(w.err, "wire %d has zero length", i + 1);
        if (!(wi.radius > 0) || !std::isfinite(wi.radius))
            return set_err(w.err, "wire %d has radius %g m (must be a positive number)", i + 1,
                           wi.radius);
        double r1 = std::sqrt(wi.x1 * wi.x1 + wi.y1 * wi.y1 + wi.z1 * wi.z1);
        double r2 = std::sqrt(wi.x2 * wi.x2 + wi.y2 * wi.y2 + wi.z2 * wi.z2);
        M = std::max(M, std::max(r1, r2));
        if (m.ground != GROUND_FREE) {
            double t = -(M + 1) * 1e-9;
            if (wi.z1 < t || wi.z2 < t) {
                if (m.ground == GROUND_PCB)
                    return set_err(w.err,
                                   "wire %d is below the board surface (z < 0); traces lie at "
                                   "z = 0 or above",
                                   i + 1);
                return set_err(w.err, "wire %d extends below ground (z < 0)", i + 1);
            }
        }
    }
    w.max_r0 = M;
    return 0;
}

void mesh_stats(MeshWork& w) {
    Mesh& mesh = w.mesh;
    mesh.minlen = 1e30;
    mesh.maxlen = 0;
    mesh.minlr = 1e30;
    mesh.maxratio = 1;
    for (const Segment& s : mesh.seg) {
        mesh.minlen = std::min(mesh.minlen, s.len);
        mesh.maxlen = std::max(mesh.maxlen, s.len);
        mesh.minlr = std::min(mesh.minlr, s.len / s.radius);
    }
    // The largest length ratio over the pairs of ends at a node is that of
    // its longest to its shortest segment.
    for (const Node& n : mesh.node) {
        if (n.n() < 2) continue;
        double lo = 1e300, hi = 0;
        for (int s : n.segs) {
            double l = mesh.seg[static_cast<size_t>(s)].len;
            lo = std::min(lo, l);
            hi = std::max(hi, l);
        }
        if (lo > 0) mesh.maxratio = std::max(mesh.maxratio, hi / lo);
    }
}

void mesh_warnings(MeshWork& w) {
    Mesh& mesh = w.mesh;
    const Model& m = w.m;
    if (mesh.nseg() > 0) {
        // The tips that the mesher grades toward free ends are 2 to 4 radii
        // long by design: the advice concerns the other segments.
        double lr = mesh.minlr;
        if (!w.tip_seg.empty()) {
            std::vector<char> tip(static_cast<size_t>(mesh.nseg()), 0);
            for (int s : w.tip_seg) tip[static_cast<size_t>(s)] = 1;
            lr = 1e30;
            for (int s = 0; s < mesh.nseg(); ++s) {
                const Segment& g = mesh.seg[static_cast<size_t>(s)];
                if (!tip[static_cast<size_t>(s)]) lr = std::min(lr, g.len / g.radius);
            }
        }
        if (lr < 2)
            warn(mesh,
                 "segment length / radius = %.2f (should be > 2; thin-wire approximation is poor)",
                 lr);
        else if (lr < 4)
            warn(mesh, "segment length / radius = %.2f (> 4 recommended)", lr);
    }
    if (mesh.maxlen > w.lambda / 10)
        warn(mesh, "longest segment is %.3f wavelengths (< 0.1 recommended)",
             mesh.maxlen / w.lambda);
    if (mesh.maxratio > 5)
        warn(mesh, "adjacent segment length ratio %.1f at a junction (< 5 recommended)",
             mesh.maxratio);
    if (m.ground == GROUND_REAL) {
        bool touches = false;
        for (const Node& n : mesh.node) touches = touches || n.grounded;
        if (touches) {
            if (m.somm)
                warn(mesh, "wire touches real ground: the earth connection is idealised; the feed "
                           "resistance depends on the real ground system (radials, rods)");
            else
                warn(mesh,
                     "wire touches real ground: reflection-coefficient ground is approximate near "
                     "the ground connection");
        }
    }
}

namespace {

// Closest points of two straight wires A(s) = ai + s*di and B(t) = aj + t*dj,
// s, t in [0, 1], by the clamped segment-segment rule; the distance between
// them and whether s and t lie at a wire end. Returns 1 for a crossing, 2
// for an overlap, 0 for neither.
int pair_test(const Wire& wi, const Wire& wj, double tau, double* dist_out) {
    const double ai[3] = {wi.x1, wi.y1, wi.z1}, aj[3] = {wj.x1, wj.y1, wj.z1};
    const double di[3] = {wi.x2 - wi.x1, wi.y2 - wi.y1, wi.z2 - wi.z1};
    const double dj[3] = {wj.x2 - wj.x1, wj.y2 - wj.y1, wj.z2 - wj.z1};
    const double r[3] = {ai[0] - aj[0], ai[1] - aj[1], ai[2] - aj[2]};
    double ii = dot3(di, di), jj = dot3(dj, dj), ij = dot3(di, dj);
    double ir = dot3(di, r), jr = dot3(dj, r);
    double D = ii * jj - ij * ij;
    double s = 0;
    if (D > 1e-14 * ii * jj) s = std::clamp((ij * jr - jj * ir) / D, 0.0, 1.0);
    double t = (ij * s + jr) / jj;
    if (t < 0) {
        t = 0;
        s = std::clamp(-ir / ii, 0.0, 1.0);
    } else if (t > 1) {
        t = 1;
        s = std::clamp((ij - ir) / ii, 0.0, 1.0);
    }
    bool s_end = s > 0.999999 || s < 1e-6;
    bool t_end = t > 0.999999 || t < 1e-6;
    if (s_end && t_end) return 0;
    double p[3];
    for (int k = 0; k < 3; ++k) p[k] = ai[k] + s * di[k] - (aj[k] + t * dj[k]);
    double dist = norm3(p);
    *dist_out = dist;
    if ((s_end || t_end) && dist < tau) return 0;
    if (dist < tau) return 1;
    if (dist < wi.radius + wj.radius) return 2;
    return 0;
}

// Distance of point p from the infinite line through a with direction d.
double line_dist(const double p[3], const double a[3], const double d[3]) {
    double r[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
    double u = dot3(r, d) / dot3(d, d);
    for (int k = 0; k < 3; ++k) r[k] -= u * d[k];
    return norm3(r);
}

// Whether two wires lie on one line and share a stretch longer than tau.
// Two currents on one surface make the moment-method system singular (or
// nearly so, which is worse: it solves to nonsense), so such a pair stops
// the build. Wires that only meet end to end share a point, not a stretch.
bool coincident(const Wire& wi, const Wire& wj, double tau) {
    const double ai[3] = {wi.x1, wi.y1, wi.z1}, bi[3] = {wi.x2, wi.y2, wi.z2};
    const double aj[3] = {wj.x1, wj.y1, wj.z1}, bj[3] = {wj.x2, wj.y2, wj.z2};
    const double di[3] = {bi[0] - ai[0], bi[1] - ai[1], bi[2] - ai[2]};
    const double dj[3] = {bj[0] - aj[0], bj[1] - aj[1], bj[2] - aj[2]};
    if (line_dist(aj, ai, di) >= tau || line_dist(bj, ai, di) >= tau ||
        line_dist(ai, aj, dj) >= tau || line_dist(bi, aj, dj) >= tau)
        return false;
    const double ii = dot3(di, di);
    const double ra[3] = {aj[0] - ai[0], aj[1] - ai[1], aj[2] - ai[2]};
    const double rb[3] = {bj[0] - ai[0], bj[1] - ai[1], bj[2] - ai[2]};
    double s1 = dot3(ra, di) / ii, s2 = dot3(rb, di) / ii;
    double lo = std::max(0.0, std::min(s1, s2)), hi = std::min(1.0, std::max(s1, s2));
    return (hi - lo) * std::sqrt(ii) > tau;
}

void wire_box(const Wire& w, double pad, double lo[3], double hi[3]) {
    lo[0] = std::min(w.x1, w.x2) - pad;
    lo[1] = std::min(w.y1, w.y2) - pad;
    lo[2] = std::min(w.z1, w.z2) - pad;
    hi[0] = std::max(w.x1, w.x2) + pad;
    hi[1] = std::max(w.y1, w.y2) + pad;
    hi[2] = std::max(w.z1, w.z2) + pad;
}

} // namespace

double wire_grid_cell(const std::vector<Wire>& wires) {
    if (wires.empty()) return 1;
    std::vector<double> ext, rad;
    ext.reserve(wires.size());
    rad.reserve(wires.size());
    for (const Wire& wi : wires) {
        ext.push_back(std::max(
            {std::fabs(wi.x2 - wi.x1), std::fabs(wi.y2 - wi.y1), std::fabs(wi.z2 - wi.z1)}));
        rad.push_back(wi.radius);
    }
    auto median = [](std::vector<double>& v) {
        auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
        std::nth_element(v.begin(), mid, v.end());
        return *mid;
    };
    // Searches reach a radius or two beyond a wire: short pieces of a thick
    // wire (a curve cut fine) would otherwise make every search box span
    // more cells than the grid walks, and every search a full scan.
    double r = median(rad);
    double cell = median(ext);
    return std::isfinite(r) && 2 * r > cell ? 2 * r : cell;
}

namespace {

// Calls visit(i, j) for the wire pairs i < j that can be near each other, i
// ascending and j ascending within each i, as the plain double loop over
// all pairs would (which the linear mode runs); visit returns false to stop.
// Wire j is entered with its box grown by grow(j) and wire i looked up with
// its box grown by reach(i), so a pair closer than grow(j) + reach(i) is
// always visited.
template <class Grow, class Reach, class Visit>
void near_pairs(const MeshWork& w, Grow grow, Reach reach, Visit visit) {
    const std::vector<Wire>& wires = w.wires();
    const int nw = static_cast<int>(wires.size());
    if (w.linear) {
        for (int i = 0; i < nw; ++i)
            for (int j = i + 1; j < nw; ++j)
                if (!visit(i, j)) return;
        return;
    }
    const double slack = (w.max_r0 + 1) * 1e-12;
    BoxGrid grid(wire_grid_cell(wires), w.max_r0 + 1);
    double lo[3], hi[3];
    for (int j = 0; j < nw; ++j) {
        wire_box(wires[static_cast<size_t>(j)], grow(j) * (1 + 1e-6) + slack, lo, hi);
        grid.insert(j, lo, hi);
    }
    std::vector<int> cand;
    for (int i = 0; i < nw; ++i) {
        wire_box(wires[static_cast<size_t>(i)], reach(i) * (1 + 1e-6) + slack, lo, hi);
        cand.clear();
        grid.query(lo, hi, cand);
        std::sort(cand.begin(), cand.end());
        for (int j : cand)
            if (j > i && !visit(i, j)) return;
    }
}

} // namespace

int coincidence_test(MeshWork& w) {
    const std::vector<Wire>& wires = w.wires();
    const double tau = (w.max_r0 + 1) * 1e-6;
    // Coincident wires come within tau of each other all along the shared
    // stretch, so the pair is found with boxes grown by tau.
    int rc = 0;
    auto tau_of = [&](int) { return tau; };
    near_pairs(w, tau_of, tau_of, [&](int i, int j) {
        if (!coincident(wires[static_cast<size_t>(i)], wires[static_cast<size_t>(j)], tau))
            return true;
        rc = set_err(w.err, "wires %d and %d lie on top of each other", i + 1, j + 1);
        return false;
    });
    return rc;
}

void crossing_test(MeshWork& w) {
    const std::vector<Wire>& wires = w.wires();
    const double tau = (w.max_r0 + 1) * 1e-6;
    // Only pairs closer than tau or than the sum of their radii can warn:
    // each wire's box grows by its radius, and by tau where that is larger.
    int count = 0;
    near_pairs(
        w, [&](int j) { return wires[static_cast<size_t>(j)].radius; },
        [&](int i) { return std::max(tau, wires[static_cast<size_t>(i)].radius); },
        [&](int i, int j) {
            double dist = 0;
            int kind =
                pair_test(wires[static_cast<size_t>(i)], wires[static_cast<size_t>(j)], tau, &dist);
            if (kind == 1) {
                warn(w.mesh, "wires %d and %d cross without a junction", i + 1, j + 1);
                ++count;
            } else if (kind == 2) {
                warn(w.mesh, "wires %d and %d overlap (distance %.3g m < sum of radii)", i + 1,
                     j + 1, dist);
                ++count;
            }
            return count < 10;
        });
}
