// Conductors that are not single straight wires: LOOP and POLYLINE expand at
// once into straight wires; HELIX, SPLINE and CURVE become sampled paths that
// the mesher cuts by arc length and bend angle.
#include <cmath>
#include <vector>

#include "common/constants.h"
#include "common/text.h"
#include "model/expr.h"
#include "model/native.h"

namespace {

// Base names get a running number appended ("ring12"), so they are kept
// short enough for the number to fit into a 31-character name.
constexpr size_t kBaseNameMax = 23;
// Samples per turn of a helix and per span of a spline; a curve is sampled
// at no fewer than kCurvePieces pieces.
constexpr int kHelixPiecesPerTurn = 72;
constexpr int kSplinePiecesPerSpan = 40;
constexpr int kCurvePieces = 400;

// Options shared by the five keywords.
struct CurveOpts {
    double radius = 0.001; // m; the default is not scaled
    double sigma = -1;     // not given
    double ins_t = 0;
    double ins_eps = 0;
    std::string name; // base name, empty = unnamed
};

int curve_opts(NativeReader& r, const Tokens& t, int first, const char* keyword, CurveOpts* o) {
    o->radius = radius_opts(t, first, r.scale, 0.001, false);
    if (auto v = kv(t, first, "name")) {
        o->name = *v;
        cut(o->name, kBaseNameMax);
    }
    if (mat_opt(r, t, first, &o->sigma) != 0) return -1;
    return sleeve_opts(r, t, first, keyword, &o->ins_t, &o->ins_eps);
}

bool finite(const Point& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Rejects a keyword that would push the model past its wire budget.
int wire_budget(NativeReader& r, const char* keyword, long long more) {
    if (r.m.nwire() + more > kMaxModelWires)
        return r.fail("%s would make the model hold more than %d wires", keyword, kMaxModelWires);
    return 0;
}

// Appends the straight wire a-b with the shared options, named
// "<base><number>" when a base name was given. Returns false when an end is
// not finite (finite fields can still overflow, as 1e308 + 1e308 does).
bool append_wire(Model& m, const Point& a, const Point& b, const CurveOpts& o, int number) {
    if (!finite(a) || !finite(b)) return false;
    Wire w;
    w.x1 = a.x;
    w.y1 = a.y;
    w.z1 = a.z;
    w.x2 = b.x;
    w.y2 = b.y;
    w.z2 = b.z;
    w.radius = o.radius;
    w.tag = m.nwire() + 1;
    w.sigma = o.sigma;
    w.ins_t = o.ins_t;
    w.ins_eps = o.ins_eps;
    if (!o.name.empty()) w.name = strfmt("%s%d", o.name.c_str(), number);
    add_wire(m) = w;
    return true;
}

// Appends a path of `npts` points with the shared options, after checking
// the model's point budget. Returns the path, or nullptr after r.fail().
Path* new_path(NativeReader& r, const char* keyword, const CurveOpts& o, long long npts) {
    if (r.path_points + npts > kMaxModelPathPoints) {
        r.fail("%s would make the model's paths hold more than %lld points", keyword,
               kMaxModelPathPoints);
        return nullptr;
    }
    r.path_points += npts;
    Path& p = add_path(r.m, o.name, o.radius, o.sigma);
    p.ins_t = o.ins_t;
    p.ins_eps = o.ins_eps;
    p.pts.reserve(static_cast<size_t>(npts));
    return &p;
}

// Reads the x y z triples of a SPLINE or POLYLINE line from the second token
// on, scaled. Reading stops at a triple with an option in it, when fewer
// than three tokens remain, or after 64 points; *opts is where the options
// start.
std::vector<Point> read_points(const Tokens& t, double scale, int* opts) {
    std::vector<Point> pts;
    size_t i = 1;
    auto has_eq = [&](size_t k) { return t[k].find('=') != std::string::npos; };
    while (static_cast<int>(pts.size()) < kMaxLinePoints && i + 3 <= t.size() && !has_eq(i) &&
           !has_eq(i + 1) && !has_eq(i + 2)) {
        pts.push_back({num_d(t[i]) * scale, num_d(t[i + 1]) * scale, num_d(t[i + 2]) * scale});
        i += 3;
    }
    *opts = static_cast<int>(i);
    return pts;
}

// The points of a SPLINE or POLYLINE line with its options; -1 after
// r.fail().
int line_points(NativeReader& r, const Tokens& t, const char* keyword, std::vector<Point>* pts,
                CurveOpts* o, int* opts) {
    *pts = read_points(t, r.scale, opts);
    if (pts->size() < 2) return r.fail("%s needs at least two points", t[0].c_str());
    if (curve_opts(r, t, *opts, keyword, o) != 0) return -1;
    for (const Point& p : *pts)
        if (!finite(p) || !std::isfinite(o->radius))
            return r.fail("%s coordinates and radius must be finite numbers", keyword);
    return 0;
}

} // namespace

// LOOP cx cy cz r n: a regular polygon of n sides (at least 3) inscribed in
// the circle of radius r about (cx, cy, cz), in the plane normal to axis=
// (z by default). Vertex k lies at the angle a_k = rot + s * 2 pi k / n,
// s = +1 counter-clockwise seen from the positive axis, -1 with "left";
// angle 0 points to +x for axis z and y and to +y for axis x.
int kw_loop(NativeReader& r, Tokens& t) {
    const double cx = num_d(t[1]) * r.scale, cy = num_d(t[2]) * r.scale, cz = num_d(t[3]) * r.scale,
                 rad = num_d(t[4]) * r.scale;
    int n = num_i(t[5]);
    if (n < 3) n = 3;
    if (n > kMaxKeywordWires) return r.fail("LOOP sides must be at most %d", kMaxKeywordWires);
    CurveOpts o;
    if (curve_opts(r, t, 6, "LOOP", &o) != 0) return -1;
    double rot = 0;
    if (auto v = kv(t, 6, "rot")) rot = num_d(*v) * phys::deg;
    const double sense = flag(t, 6, "left") ? -1.0 : 1.0;
    char axis = 'z';
    if (auto v = kv(t, 6, "axis")) {
        char c = lower(v->substr(0, 1))[0];
        if (c == 'x' || c == 'y') axis = c;
    }
    const double vals[] = {cx, cy, cz, rad, rot, o.radius};
    for (double v : vals)
        if (!std::isfinite(v)) return r.fail("LOOP coordinates and radius must be finite numbers");
    if (wire_budget(r, "LOOP", n) != 0) return -1;

    // Vertex n is vertex 0, so that the polygon closes exactly.
    auto vertex = [&](int k) {
        double a = rot + sense * phys::two_pi * (k % n) / n;
        double u = rad * std::cos(a), w = rad * std::sin(a);
        if (axis == 'x') return Point{cx, cy + u, cz + w};
        if (axis == 'y') return Point{cx + u, cy, cz + w};
        return Point{cx + u, cy + w, cz};
    };
    for (int k = 0; k < n; ++k)
        if (!append_wire(r.m, vertex(k), vertex(k + 1), o, k + 1))
            return r.fail("LOOP coordinates and radius must be finite numbers");
    return 0;
}

// HELIX cx cy cz r pitch turns: a helix about the z axis through (cx, cy),
// sampled at P = ceil(72 turns) pieces. The point at u = i / P is
//   (cx + r cos a, cy + r sin a, cz + pitch * turns * u),  a = s * 2 pi turns u + rot,
// with s = +1 (counter-clockwise seen from +z) or -1 with "left"; pitch is
// the rise per turn. With turns <= 0 the path has at most its start point
// and yields no wire.
int kw_helix(NativeReader& r, Tokens& t) {
    const double cx = num_d(t[1]) * r.scale, cy = num_d(t[2]) * r.scale, cz = num_d(t[3]) * r.scale,
                 rad = num_d(t[4]) * r.scale, pitch = num_d(t[5]) * r.scale, turns = num_d(t[6]);
    CurveOpts o;
    if (curve_opts(r, t, 7, "HELIX", &o) != 0) return -1;
    double rot = 0;
    if (auto v = kv(t, 7, "rot")) rot = num_d(*v) * phys::deg;
    const double sense = flag(t, 7, "left") ? -1.0 : 1.0;
    const double vals[] = {cx, cy, cz, rad, pitch, turns, rot, o.radius};
    for (double v : vals)
        if (!std::isfinite(v))
            return r.fail("HELIX coordinates, pitch, turns and radius must be finite numbers");
    const double pieces = std::ceil(kHelixPiecesPerTurn * turns);
    if (pieces > kMaxPathPieces)
        return r.fail("HELIX of %g turns needs more than %d pieces (%d per turn)", turns,
                      kMaxPathPieces, kHelixPiecesPerTurn);
    const int np = pieces < 0 ? -1 : static_cast<int>(pieces);

    Path* p = new_path(r, "HELIX", o, np + 1);
    if (!p) return -1;
    for (int i = 0; i <= np; ++i) {
        double u = np > 0 ? static_cast<double>(i) / np : 0.0;
        double a = sense * phys::two_pi * turns * u + rot;
        Point q{cx + rad * std::cos(a), cy + rad * std::sin(a), cz + pitch * turns * u};
        if (!finite(q))
            return r.fail("HELIX coordinates, pitch, turns and radius must be finite numbers");
        path_pt(*p, q);
    }
    return 0;
}

// SPLINE x1 y1 z1 x2 y2 z2 ...: the uniform Catmull-Rom curve through the
// points P_0 .. P_(N-1), 40 samples per span. On the span from Q1 = P_d to
// Q2 = P_(d+1), with the neighbours Q0 = P_(d-1) and Q3 = P_(d+2) (the end
// points repeated at the two ends),
//   S(s) = 0.5 (2 Q1 + (Q2 - Q0) s + (2 Q0 - 5 Q1 + 4 Q2 - Q3) s^2
//               + (-Q0 + 3 Q1 - 3 Q2 + Q3) s^3),  0 <= s <= 1,
// so S(0) = Q1, S(1) = Q2 and the tangent is continuous at every point.
int kw_spline(NativeReader& r, Tokens& t) {
    std::vector<Point> pts;
    CurveOpts o;
    int opts = 0;
    if (line_points(r, t, "SPLINE", &pts, &o, &opts) != 0) return -1;
    const int n = static_cast<int>(pts.size());
    Path* p = new_path(r, "SPLINE", o, 1 + static_cast<long long>(kSplinePiecesPerSpan) * (n - 1));
    if (!p) return -1;
    path_pt(*p, pts[0]);
    for (int d = 0; d + 1 < n; ++d) {
        const Point& q0 = pts[static_cast<size_t>(d > 0 ? d - 1 : 0)];
        const Point& q1 = pts[static_cast<size_t>(d)];
        const Point& q2 = pts[static_cast<size_t>(d + 1)];
        const Point& q3 = pts[static_cast<size_t>(d + 2 < n ? d + 2 : n - 1)];
        auto s_of = [](double a0, double a1, double a2, double a3, double s) {
            return 0.5 * (2 * a1 + (a2 - a0) * s + (2 * a0 - 5 * a1 + 4 * a2 - a3) * s * s +
                          (-a0 + 3 * a1 - 3 * a2 + a3) * s * s * s);
        };
        for (int j = 1; j < kSplinePiecesPerSpan; ++j) {
            double s = static_cast<double>(j) / kSplinePiecesPerSpan;
            Point q{s_of(q0.x, q1.x, q2.x, q3.x, s), s_of(q0.y, q1.y, q2.y, q3.y, s),
                    s_of(q0.z, q1.z, q2.z, q3.z, s)};
            if (!finite(q)) return r.fail("SPLINE coordinates and radius must be finite numbers");
            path_pt(*p, q);
        }
        path_pt(*p, q2); // S(1) exactly, so that the curve meets its points
    }
    return 0;
}

// POLYLINE x1 y1 z1 x2 y2 z2 ...: straight legs between the points, each
// cut into pieces= equal wires (at least 1).
int kw_polyline(NativeReader& r, Tokens& t) {
    std::vector<Point> pts;
    CurveOpts o;
    int opts = 0;
    if (line_points(r, t, "POLYLINE", &pts, &o, &opts) != 0) return -1;
    int pieces = 1;
    if (auto v = kv(t, opts, "pieces")) pieces = num_i(*v);
    if (pieces < 1) pieces = 1;
    const long long nwires =
        static_cast<long long>(pieces) * static_cast<long long>(pts.size() - 1);
    if (nwires > kMaxKeywordWires)
        return r.fail("POLYLINE makes %lld wires, more than %d", nwires, kMaxKeywordWires);
    if (wire_budget(r, "POLYLINE", nwires) != 0) return -1;

    int number = 0;
    for (size_t d = 0; d + 1 < pts.size(); ++d) {
        const Point& a = pts[d];
        const Point& b = pts[d + 1];
        auto at = [&](int j) {
            if (j == 0) return a;
            if (j == pieces) return b; // the leg ends exactly on its point
            double f = static_cast<double>(j) / pieces;
            return Point{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f};
        };
        for (int j = 1; j <= pieces; ++j)
            if (!append_wire(r.m, at(j - 1), at(j), o, ++number))
                return r.fail("POLYLINE coordinates and radius must be finite numbers");
    }
    return 0;
}

// CURVE xexpr yexpr zexpr: the parametric curve (x(t), y(t), z(t)) for t
// from t0= (default 0) to t1= (default 1), sampled at pieces= equal steps of
// t, at least 400. The expressions are evaluated as written, with the
// variables defined so far; the points are scaled by UNITS.
int kw_curve(NativeReader& r, Tokens& t) {
    CurveOpts o;
    if (curve_opts(r, t, 4, "CURVE", &o) != 0) return -1;
    double t0 = 0, t1 = 1;
    if (auto v = kv(t, 4, "t0")) t0 = num_d(*v);
    if (auto v = kv(t, 4, "t1")) t1 = num_d(*v);
    int pieces = kCurvePieces;
    if (auto v = kv(t, 4, "pieces")) {
        int n = num_i(*v);
        if (n > kMaxPathPieces) return r.fail("CURVE pieces must be at most %d", kMaxPathPieces);
        if (n > kCurvePieces) pieces = n;
    }
    if (!std::isfinite(t0) || !std::isfinite(t1) || !std::isfinite(o.radius))
        return r.fail("CURVE t0, t1 and radius must be finite numbers");

    Path* p = new_path(r, "CURVE", o, pieces + 1);
    if (!p) return -1;
    for (int i = 0; i <= pieces; ++i) {
        double tp = t0 + i * (t1 - t0) / pieces;
        Point q;
        if (expr_eval(t[1], tp, &q.x) != 0 || expr_eval(t[2], tp, &q.y) != 0 ||
            expr_eval(t[3], tp, &q.z) != 0)
            return r.fail("cannot evaluate curve expression");
        q = {q.x * r.scale, q.y * r.scale, q.z * r.scale};
        if (!finite(q)) return r.fail("CURVE point at t=%g is not finite", tp);
        path_pt(*p, q);
    }
    return 0;
}
