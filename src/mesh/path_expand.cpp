// Expansion of paths (sampled curves) into straight wires of one segment
// each, cut by arc length and by the turning angle of the curve, with the
// sources, loads and line ends placed on a path moved onto the piece
// boundaries. At a free end of a path the first piece is halved toward the
// end down to tips of 2 to 4 radii, as the wires' free ends are.
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "common/constants.h"
#include "common/text.h"
#include "mesh/mesh_internal.h"
#include "mesh/spatial.h"

namespace {

// A source, lumped load or line end placed on a path, in the working copy.
struct Item {
    int* wire;
    int* path;
    double* pos;
    double at = 0;   // arc length from the path's start
    int piece = -1;  // expanded-wire index it is attached to
    double frac = 0; // 0 = start of that piece, 1 = its end
};

// The point at arc length s along the polyline with cumulative lengths cum.
void path_point(const Path& p, const std::vector<double>& cum, double s, double out[3]) {
    size_t n = cum.size();
    size_t k = static_cast<size_t>(std::lower_bound(cum.begin() + 1, cum.end(), s) - cum.begin());
    if (k >= n) k = n - 1;
    double leg = cum[k] - cum[k - 1];
    double f = leg > 0 ? std::clamp((s - cum[k - 1]) / leg, 0.0, 1.0) : 0.0;
    const Point& a = p.pts[k - 1];
    const Point& b = p.pts[k];
    out[0] = a.x + f * (b.x - a.x);
    out[1] = a.y + f * (b.y - a.y);
    out[2] = a.z + f * (b.z - a.z);
}

// Distance from p to the straight piece from a to b.
double point_seg_dist(const Point& p, const Point& a, const Point& b) {
    const double d[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
    const double r[3] = {p.x - a.x, p.y - a.y, p.z - a.z};
    const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    double t = dd > 0 ? (r[0] * d[0] + r[1] * d[1] + r[2] * d[2]) / dd : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(r[0] - t * d[0], r[1] - t * d[1], r[2] - t * d[2]);
}

// The wires and the legs of all paths of a model, in a grid, for the
// contact test of path ends: item i < nwire is wire i, the others are legs
// (path, index of the leg's second point).
struct Contacts {
    BoxGrid grid{1, 1};
    std::vector<std::pair<int, int>> legs;
    std::vector<int> cand;
    double rmax = 0; // the largest radius of a wire or path

    explicit Contacts(const Model& m) {
        double extent = 0, sum = 0;
        size_t n = 0;
        // Points that are not finite are reported later, when their path is
        // expanded; here they only must not spoil the grid.
        auto extend = [&](const Point& q) {
            for (double v : {q.x, q.y, q.z})
                if (std::isfinite(v)) extent = std::max(extent, std::fabs(v));
        };
        auto widen = [&](double r) {
            if (std::isfinite(r)) rmax = std::max(rmax, r);
        };
        for (const Wire& w : m.wires) {
            extend({w.x1, w.y1, w.z1});
            extend({w.x2, w.y2, w.z2});
            widen(w.radius);
        }
        for (const Path& p : m.paths) widen(p.radius);
        for (const Path& p : m.paths)
            for (int i = 0; i < p.npt(); ++i) {
                extend(p.pts[static_cast<size_t>(i)]);
                if (i > 0) {
                    const Point &a = p.pts[static_cast<size_t>(i - 1)],
                                &b = p.pts[static_cast<size_t>(i)];
                    double len = std::hypot(b.x - a.x, b.y - a.y, b.z - a.z);
                    if (std::isfinite(len)) {
                        sum += len;
                        ++n;
                    }
                }
            }
        grid = BoxGrid(n > 0 && sum > 0 ? 4 * sum / static_cast<double>(n) : 1, extent + 1);
        int id = 0;
        for (const Wire& w : m.wires) {
            const double lo[3] = {std::min(w.x1, w.x2), std::min(w.y1, w.y2), std::min(w.z1, w.z2)};
            const double hi[3] = {std::max(w.x1, w.x2), std::max(w.y1, w.y2), std::max(w.z1, w.z2)};
            grid.insert(id++, lo, hi);
        }
        for (int k = 0; k < m.npath(); ++k) {
            const Path& p = m.paths[static_cast<size_t>(k)];
            for (int i = 1; i < p.npt(); ++i) {
                const Point &a = p.pts[static_cast<size_t>(i - 1)],
                            &b = p.pts[static_cast<size_t>(i)];
                const double lo[3] = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
                const double hi[3] = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
                grid.insert(id++, lo, hi);
                legs.emplace_back(k, i);
            }
        }
    }
};

// Whether the end point P of path k (radius r) touches nothing: no wire,
// no other path and not its own other end within the contact tolerance of
// the wires' ends (half the larger radius plus base), and not the ground
// plane.
bool path_end_free(const Model& m, Contacts& c, int k, const Point& P, const Point& other_end,
                   double r, double base) {
    if (ground_plane(m.ground) && std::fabs(P.z) < r / 2 + base) return false;
    if (std::hypot(P.x - other_end.x, P.y - other_end.y, P.z - other_end.z) < r / 2 + base)
        return false;
    const double pad = (std::max(r, c.rmax) / 2 + base) * (1 + 1e-6);
    const double lo[3] = {P.x - pad, P.y - pad, P.z - pad},
                 hi[3] = {P.x + pad, P.y + pad, P.z + pad};
    c.cand.clear();
    c.grid.query(lo, hi, c.cand);
    const int nw = m.nwire();
    for (int id : c.cand) {
        if (id < nw) {
            const Wire& w = m.wires[static_cast<size_t>(id)];
            if (point_seg_dist(P, {w.x1, w.y1, w.z1}, {w.x2, w.y2, w.z2}) <
                std::max(r, w.radius) / 2 + base)
                return false;
            continue;
        }
        const auto [j, i] = c.legs[static_cast<size_t>(id - nw)];
        if (j == k) continue;
        const Path& q = m.paths[static_cast<size_t>(j)];
        if (point_seg_dist(P, q.pts[static_cast<size_t>(i - 1)], q.pts[static_cast<size_t>(i)]) <
            std::max(r, q.radius) / 2 + base)
            return false;
    }
    return true;
}

// Distances from a free end at which its first piece (length h) is cut:
// h/2, h/4, ... down to the first below four radii, which is then the tip
// (the last two pieces are both that long). None when h is below 4 radii;
// at most 20 cuts (a tip of a millionth of h), as on wires.
std::vector<double> end_cuts(double h, double r) {
    std::vector<double> out;
    for (double t = h; t >= 4 * r && out.size() < 20; t *= 0.5) out.push_back(0.5 * t);
    return out;
}

} // namespace

int expand_paths(const Model& src, Model& work, std::string& err, std::vector<int>* tips) {
    const double lambda = phys::c0 / src.fmax;
    const double mlen = lambda / src.segwl;
    const double theta_max = src.angle > 0 ? src.angle * phys::pi / 180 : 12 * phys::pi / 180;

    const double base = std::max(lambda, 0.001) * 1e-4; // the wires' contact tolerance
    std::optional<Contacts> contacts;
    if (src.ends) contacts.emplace(src);

    for (int k = 0; k < src.npath(); ++k) {
        const Path& P = src.paths[static_cast<size_t>(k)];
        const int npt = P.npt();
        if (npt < 2) continue;
        const char* name = P.name.c_str();
        if (!(P.radius > 0) || !std::isfinite(P.radius))
            return set_err(err, "curve %s has radius %g m (must be a positive number)", name,
                           P.radius);

        // 1. Arc length and total turning angle.
        std::vector<double> cum(static_cast<size_t>(npt), 0.0);
        for (int i = 1; i < npt; ++i) {
            const Point& a = P.pts[static_cast<size_t>(i - 1)];
            const Point& b = P.pts[static_cast<size_t>(i)];
            if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z) ||
                !std::isfinite(b.x) || !std::isfinite(b.y) || !std::isfinite(b.z))
                return set_err(err, "curve %s has a point that is not a finite number", name);
            cum[static_cast<size_t>(i)] =
                cum[static_cast<size_t>(i - 1)] + std::hypot(b.x - a.x, b.y - a.y, b.z - a.z);
        }
        const double L = cum.back();
        if (!std::isfinite(L))
            return set_err(err, "curve %s has a point that is not a finite number", name);
        if (!(L > 0)) return set_err(err, "curve %s has zero length", name);
        double turn = 0;
        for (int i = 1; i + 1 < npt; ++i) {
            const Point& a = P.pts[static_cast<size_t>(i - 1)];
            const Point& b = P.pts[static_cast<size_t>(i)];
            const Point& c = P.pts[static_cast<size_t>(i + 1)];
            double u[3] = {b.x - a.x, b.y - a.y, b.z - a.z};
            double v[3] = {c.x - b.x, c.y - b.y, c.z - b.z};
            double lu = std::hypot(u[0], u[1], u[2]), lv = std::hypot(v[0], v[1], v[2]);
            if (lu > 0 && lv > 0)
                turn += std::acos(
                    std::clamp((u[0] * v[0] + u[1] * v[1] + u[2] * v[2]) / (lu * lv), -1.0, 1.0));
        }

        // 2. Number of pieces: by length and by bend, at least five on a
        // path long against its radius, none shorter than 2.5 radii.
        double nd = std::max(std::ceil(L / mlen), std::ceil(turn / theta_max));
        if (L / 5 > 8 * P.radius) nd = std::max(nd, 5.0);
        if (!(nd <= kMaxSegments) || nd + static_cast<double>(work.wires.size()) > kMaxSegments)
            return set_err(err, "curve %s: too many segments (a mesh holds at most %d)", name,
                           kMaxSegments);
        int n = static_cast<int>(nd);
        while (n >= 2 && L / n < 2.5 * P.radius) --n;
        n = std::max(n, 1);

        // 3. Candidate breakpoints: the uniform points and the placed items.
        std::vector<Item> items;
        auto take = [&](int* wire, int* path, double* pos, const char* what, int index) -> int {
            if (*path != k) return 0;
            if (!(*pos >= -1e-9 && *pos <= 1 + 1e-9))
                return set_err(err,
                               "%s %d at %g %% of curve %s lies outside the curve (0 to 100 %%)",
                               what, index, *pos * 100, name);
            Item it{wire, path, pos};
            it.at = std::clamp(*pos, 0.0, 1.0) * L;
            items.push_back(it);
            return 0;
        };
        for (size_t i = 0; i < work.srcs.size(); ++i) {
            Source& s = work.srcs[i];
            if (take(&s.wire, &s.path, &s.pos, "source", static_cast<int>(i) + 1) != 0) return -1;
        }
        for (size_t i = 0; i < work.loads.size(); ++i) {
            Load& l = work.loads[i];
            if (!lumped_load(l)) continue;
            if (take(&l.wire, &l.path, &l.pos, "load", static_cast<int>(i) + 1) != 0) return -1;
        }
        for (size_t i = 0; i < work.tls.size(); ++i) {
            TLine& t = work.tls[i];
            if (take(&t.wire1, &t.path1, &t.pos1, "transmission line", static_cast<int>(i) + 1) !=
                    0 ||
                take(&t.wire2, &t.path2, &t.pos2, "transmission line", static_cast<int>(i) + 1) !=
                    0)
                return -1;
        }
        std::vector<PathBreak> cands;
        for (int j = 0; j <= n; ++j) cands.push_back({j * L / n, -1});
        for (size_t i = 0; i < items.size(); ++i)
            cands.push_back({items[i].at, static_cast<int>(i)});
        // Free ends: the first piece halved toward the end (cuts marked -2).
        double tip[2] = {0, 0};
        for (int end = 0; end < 2 && src.ends; ++end) {
            const Point& pe = end == 0 ? P.pts.front() : P.pts.back();
            const Point& po = end == 0 ? P.pts.back() : P.pts.front();
            if (!path_end_free(src, *contacts, k, pe, po, P.radius, base)) continue;
            std::vector<double> cuts = end_cuts(L / n, P.radius);
            if (cuts.empty()) continue;
            tip[end] = cuts.back();
            for (double c : cuts) cands.push_back({end == 0 ? c : L - c, -2});
        }
        std::stable_sort(cands.begin(), cands.end(),
                         [](const PathBreak& x, const PathBreak& y) { return pb_cmp(x, y) < 0; });

        // 4. A placed item replaces a uniform point inside the path that lies
        // closer than 0.35 of a piece.
        std::vector<PathBreak> kept;
        // A cut toward a free end gives way to an item closer than 0.35 of
        // its distance from the end.
        for (const PathBreak& c : cands) {
            if (c.item == -1 && c.pos > 1e-12 && c.pos < L - 1e-12) {
                bool near_item = false;
                for (const Item& it : items)
                    if (std::fabs(it.at - c.pos) < 0.35 * L / n) near_item = true;
                if (near_item) continue;
            }
            if (c.item == -2) {
                const double from_end = std::min(c.pos, L - c.pos);
                bool near_item = false;
                for (const Item& it : items)
                    if (std::fabs(it.at - c.pos) < 0.35 * from_end) near_item = true;
                if (near_item) continue;
            }
            kept.push_back(c);
        }

        // 5./6. Pieces between consecutive kept points.
        const double tol = (L + 1) * 1e-12;
        bool have_g = false;
        double G = 0;
        int piece_no = 0, last_piece = -1;
        std::vector<int> pending; // items waiting for the piece that starts at them
        for (const PathBreak& c : kept) {
            if (have_g && c.pos - G > tol) {
                Wire& wr = work.wires.emplace_back();
                double a[3], b[3];
                path_point(P, cum, G, a);
                path_point(P, cum, c.pos, b);
                wr.x1 = a[0];
                wr.y1 = a[1];
                wr.z1 = a[2];
                wr.x2 = b[0];
                wr.y2 = b[1];
                wr.z2 = b[2];
                wr.radius = P.radius;
                wr.nseg = 1;
                wr.tag = static_cast<int>(work.wires.size());
                wr.sigma = P.sigma < 0 ? src.mat_sigma : P.sigma;
                wr.ins_t = P.ins_t;
                wr.ins_eps = P.ins_eps;
                wr.name = strfmt("%s#%d", name, ++piece_no);
                cut(wr.name, kNameMax);
                last_piece = static_cast<int>(work.wires.size()) - 1;
                // The two tips at a free end, for the length/radius advice.
                const double slack = 1 + 1e-9;
                if (tips && ((tip[0] > 0 && c.pos <= 2 * tip[0] * slack) ||
                             (tip[1] > 0 && G >= L - 2 * tip[1] * slack)))
                    tips->push_back(last_piece);
                for (int i : pending) items[static_cast<size_t>(i)].piece = last_piece;
                pending.clear();
                G = c.pos;
            } else if (!have_g) {
                have_g = true;
                G = c.pos;
            }
            if (c.item >= 0) pending.push_back(c.item);
        }

        // 7. Re-attach the items: at the path's end to the end of the last
        // piece, otherwise to the start of the piece beginning at them.
        for (Item& it : items) {
            if (it.at >= L - tol || it.piece < 0) {
                it.piece = last_piece;
                it.frac = 1;
            } else {
                it.frac = 0;
            }
            *it.wire = it.piece;
            *it.pos = it.frac;
            *it.path = -1;
        }
    }
    return 0;
}
