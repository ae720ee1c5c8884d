// Geometry cards of a NEC deck: straight wires (GW), arcs (GA), helices
// (GH), and the transformations that move, copy, rotate, reflect and scale
// the wires read so far (GM, GR, GX, GS).
//
// Lengths in metres, angles in degrees; right-handed frame, rotations
// counter-clockwise seen from the positive end of their axis. Every wire a
// card makes is counted against kNecMaxSegments before it is made.
#include <climits>
#include <cmath>

#include "common/constants.h"
#include "model/nec.h"
#include "model/nec_card.h"

namespace {

constexpr double kDefaultRadius = 0.001; // m, a wire without a usable radius

// sin and cos of an angle in degrees, exact at multiples of 90 degrees so
// that quarter-turn copies land exactly on the axes and meet their sources.
void sincos_deg(double deg, double* s, double* c) {
    double q = deg / 90.0;
    if (q == std::floor(q) && std::fabs(q) < 1e15) {
        static const double ks[4] = {0, 1, 0, -1};
        static const double kc[4] = {1, 0, -1, 0};
        long long k = static_cast<long long>(std::fmod(q, 4.0));
        k = (k + 4) % 4;
        *s = ks[k];
        *c = kc[k];
        return;
    }
    *s = std::sin(deg * phys::deg);
    *c = std::cos(deg * phys::deg);
}

// An affine map p -> R p + t.
struct Affine {
    double r[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double t[3] = {0, 0, 0};

    void apply(double& x, double& y, double& z) const {
        double p[3] = {x, y, z}, q[3];
        for (int i = 0; i < 3; ++i) q[i] = r[i][0] * p[0] + r[i][1] * p[1] + r[i][2] * p[2] + t[i];
        x = q[0];
        y = q[1];
        z = q[2];
    }
    void apply(Wire& w) const {
        apply(w.x1, w.y1, w.z1);
        apply(w.x2, w.y2, w.z2);
    }
};

// Rotation about x by ax, then about y by ay, then about z by az (degrees):
// R = Rz(az) Ry(ay) Rx(ax), with Rz(a) = [[c, -s, 0], [s, c, 0], [0, 0, 1]]
// and Rx, Ry alike; then the translation t.
Affine rotation(double ax, double ay, double az, double tx = 0, double ty = 0, double tz = 0) {
    double sx, cx, sy, cy, sz, cz;
    sincos_deg(ax, &sx, &cx);
    sincos_deg(ay, &sy, &cy);
    sincos_deg(az, &sz, &cz);
    const double rx[3][3] = {{1, 0, 0}, {0, cx, -sx}, {0, sx, cx}};
    const double ry[3][3] = {{cy, 0, sy}, {0, 1, 0}, {-sy, 0, cy}};
    const double rz[3][3] = {{cz, -sz, 0}, {sz, cz, 0}, {0, 0, 1}};
    double ryx[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            ryx[i][j] = ry[i][0] * rx[0][j] + ry[i][1] * rx[1][j] + ry[i][2] * rx[2][j];
    Affine a;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            a.r[i][j] = rz[i][0] * ryx[0][j] + rz[i][1] * ryx[1][j] + rz[i][2] * ryx[2][j];
    a.t[0] = tx;
    a.t[1] = ty;
    a.t[2] = tz;
    return a;
}

bool wire_finite(const Wire& w) {
    const double v[] = {w.x1, w.y1, w.z1, w.x2, w.y2, w.z2, w.radius};
    for (double x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

// Counts n more segments against the deck's limit.
int take_segments(NecReader& r, long long n, const char* card) {
    if (n > kNecMaxSegments - r.nseg)
        return r.fail("%s would bring the deck to %lld segments (at most %lld)", card, r.nseg + n,
                      kNecMaxSegments);
    r.nseg += n;
    return 0;
}

// A copy's tag: a non-zero tag moves by the increment, tag 0 stays 0.
int shift_tag(NecReader& r, const char* card, int tag, long long inc, int* out) {
    if (tag == 0) {
        *out = 0;
        return 0;
    }
    long long t = tag + inc;
    if (t < INT_MIN || t > INT_MAX)
        return r.fail("%s tag increment takes tag %d out of the integer range", card, tag);
    *out = static_cast<int>(t);
    return 0;
}

long long segments_of(const Model& m, size_t first, size_t last) {
    long long n = 0;
    for (size_t k = first; k < last; ++k) n += m.wires[k].nseg;
    return n;
}

} // namespace

// GW: tag I1, I2 segments, from (F3, F4, F5) to (F6, F7, F8), radius F9.
// A wire without a positive radius is tapered by the GC card that follows
// (the caller has made sure there is one): GC F3 = RDEL, the ratio of each
// segment's length to the one before; F4 = RAD1 and F5 = RAD2, the radii of
// the first and the last segment, the radius growing by the same ratio
// (RAD2/RAD1)^(1/(N-1)) from segment to segment. The first segment is
// L (1 - RDEL)/(1 - RDEL^N) long (L/N when RDEL = 1). A tapered wire
// becomes N one-segment wires of the same tag, so that each keeps its own
// length and radius; with RDEL = 1 and equal radii it stays one wire.
int nec_gw(NecReader& r, const NecCard& c, const NecCard* taper) {
    if (!nec_finite(c, 3, 9)) return r.fail("GW coordinates and radius must be finite numbers");
    if (c.I(2) < 1) return r.fail("GW needs at least one segment (got %d)", c.I(2));
    if (take_segments(r, c.I(2), "GW") != 0) return -1;
    Wire w;
    w.tag = c.I(1);
    w.nseg = c.I(2);
    w.x1 = c.F(3);
    w.y1 = c.F(4);
    w.z1 = c.F(5);
    w.x2 = c.F(6);
    w.y2 = c.F(7);
    w.z2 = c.F(8);
    w.radius = c.F(9);
    if (w.radius > 0 || !taper) {
        add_wire(r.m) = w;
        return 0;
    }
    const int gw_line = r.card_line;
    r.card_line = r.line; // the taper card's own line
    if (!nec_finite(*taper, 4, 5)) return r.fail("GC radii must be finite numbers");
    const double rdel = taper->F(3), rad1 = taper->F(4), rad2 = taper->F(5);
    if (!(rad1 > 0) || !(rad2 > 0)) return r.fail("GC needs positive end radii");
    if (!std::isfinite(rdel) || !(rdel > 0))
        return r.fail("GC needs a positive ratio of segment lengths (got %g)", rdel);
    r.card_line = gw_line;
    const int n = w.nseg;
    if (rdel == 1 && rad1 == rad2) {
        w.radius = rad1;
        add_wire(r.m) = w;
        return 0;
    }
    const double grow = n > 1 ? std::pow(rad2 / rad1, 1.0 / (n - 1)) : 1.0;
    // Fractions of the wire's length: the first segment, then each one
    // RDEL times the one before.
    double len = rdel == 1 ? 1.0 / n : (1 - rdel) / (1 - std::pow(rdel, n));
    double u0 = 0, radius = rad1;
    for (int k = 1; k <= n; ++k) {
        double u1 = k == n ? 1.0 : u0 + len;
        Wire s = w;
        s.nseg = 1;
        s.radius = radius;
        s.x1 = w.x1 + (w.x2 - w.x1) * u0;
        s.y1 = w.y1 + (w.y2 - w.y1) * u0;
        s.z1 = w.z1 + (w.z2 - w.z1) * u0;
        s.x2 = k == n ? w.x2 : w.x1 + (w.x2 - w.x1) * u1;
        s.y2 = k == n ? w.y2 : w.y1 + (w.y2 - w.y1) * u1;
        s.z2 = k == n ? w.z2 : w.z1 + (w.z2 - w.z1) * u1;
        if (!wire_finite(s) || !(s.radius > 0))
            return r.fail("GC taper makes lengths or radii that are not finite numbers");
        add_wire(r.m) = s;
        u0 = u1;
        len *= rdel;
        radius *= grow;
    }
    return 0;
}

// GA: an arc in the x-z plane about the origin, tag I1, of N = I2 one-segment
// wires (8 when I2 < 1), radius F3, from angle F4 to F5 (degrees from +x
// towards +z), wire radius F6. Wire k spans a1 + (a2 - a1)(k-1)/N to
// a1 + (a2 - a1)k/N; the point at angle a is (R cos a, 0, R sin a).
int nec_ga(NecReader& r, const NecCard& c) {
    if (!nec_finite(c, 3, 6)) return r.fail("GA values must be finite numbers");
    if (!(c.F(6) > 0)) return r.fail("GA needs a positive wire radius");
    int n = c.I(2) < 1 ? 8 : c.I(2);
    if (take_segments(r, n, "GA") != 0) return -1;
    double rad = c.F(3), a1 = c.F(4), a2 = c.F(5);
    auto point = [&](int k, double* x, double* z) {
        double s, co;
        sincos_deg(a1 + (a2 - a1) * k / n, &s, &co);
        *x = rad * co;
        *z = rad * s;
    };
    for (int k = 1; k <= n; ++k) {
        Wire w;
        w.tag = c.I(1);
        w.nseg = 1;
        w.radius = c.F(6);
        point(k - 1, &w.x1, &w.z1);
        point(k, &w.x2, &w.z2);
        add_wire(r.m) = w;
    }
    return 0;
}

// GH: a helix along +z from the origin, tag I1, of N = I2 one-segment wires
// (16 when I2 < 1), turn spacing S = F3, length HL = F4, radii A1 = F5 in x
// and B1 = F6 in y at the start, A2 = F7 and B2 = F8 at the end, wire radius
// F9; a B of 0 means a circular section (B = A), as decks usually leave the
// B fields blank. Winding angle Phi = 2 pi |HL| / |S|, negative
// (left-handed) when HL < 0; at the fraction u of the length the point is
// (a cos(Phi u), b sin(Phi u), |HL| u) with a = A1 + (A2 - A1) u and
// b = B1 + (B2 - B1) u, and wire k spans u = (k-1)/N to k/N.
int nec_gh(NecReader& r, const NecCard& c) {
    if (!nec_finite(c, 3, 9)) return r.fail("GH values must be finite numbers");
    if (c.F(3) == 0) return r.fail("GH needs a non-zero turn spacing");
    // NEC-2 leaves the flat spiral undefined (its helix divides by the
    // length): building one radial wire, or any guess, would be another
    // antenna.
    if (c.F(4) == 0)
        return r.fail("GH with zero length (a flat spiral) is not supported: describe the spiral "
                      "with GW cards");
    if (!(c.F(9) > 0)) return r.fail("GH needs a positive wire radius");
    int n = c.I(2) < 1 ? 16 : c.I(2);
    if (take_segments(r, n, "GH") != 0) return -1;
    double hl = std::fabs(c.F(4)), a1 = c.F(5), a2 = c.F(7);
    double b1 = c.F(6) != 0 ? c.F(6) : a1, b2 = c.F(8) != 0 ? c.F(8) : a2;
    double phi = phys::two_pi * hl / std::fabs(c.F(3));
    if (c.F(4) < 0) phi = -phi;
    if (!std::isfinite(phi)) return r.fail("GH makes coordinates that are not finite");
    auto point = [&](int k, double* x, double* y, double* z) {
        double u = static_cast<double>(k) / n;
        *x = (a1 + (a2 - a1) * u) * std::cos(phi * u);
        *y = (b1 + (b2 - b1) * u) * std::sin(phi * u);
        *z = hl * u;
    };
    for (int k = 1; k <= n; ++k) {
        Wire w;
        w.tag = c.I(1);
        w.nseg = 1;
        w.radius = c.F(9);
        point(k - 1, &w.x1, &w.y1, &w.z1);
        point(k, &w.x2, &w.y2, &w.z2);
        add_wire(r.m) = w;
    }
    return 0;
}

// GM: rotate the wires from the first of tag ITS = F9 on (all wires when ITS
// is 0 or absent, none when no wire has that tag) about x by F3, y by F4, z by
// F5 degrees, then translate by (F6, F7, F8). With NRPT = I2 = 0 they move in
// place; with NRPT > 0 NRPT generations of copies are appended, each made
// from the one before, so generation g is transformed g times and its
// non-zero tags are raised by g * ITGI (ITGI = I1).
int nec_gm(NecReader& r, const NecCard& c) {
    if (!nec_finite(c, 3, 9)) return r.fail("GM values must be finite numbers");
    int itgi = c.I(1), nrpt = c.I(2);
    if (nrpt < 0) return 0;
    // ITS is a real-valued field of the card layout; "2", "2.0" and "2E0"
    // all name tag 2.
    double its = c.nfield >= 9 ? std::round(c.F(9)) : 0;
    size_t first = 0, n = r.m.wires.size();
    if (its >= 1) {
        first = n;
        for (size_t k = 0; k < n; ++k)
            if (r.m.wires[k].tag == its) {
                first = k;
                break;
            }
    }
    if (first == n) return 0;
    Affine a = rotation(c.F(3), c.F(4), c.F(5), c.F(6), c.F(7), c.F(8));
    if (nrpt == 0) {
        for (size_t k = first; k < n; ++k) {
            Wire& w = r.m.wires[k];
            a.apply(w);
            if (!wire_finite(w)) return r.fail("GM makes coordinates that are not finite");
            if (shift_tag(r, "GM", w.tag, itgi, &w.tag) != 0) return -1;
        }
        return 0;
    }
    long long per = segments_of(r.m, first, n);
    if (per > 0 && nrpt > (kNecMaxSegments - r.nseg) / per)
        return r.fail("GM would bring the deck to %lld segments (at most %lld)",
                      r.nseg + per * nrpt, kNecMaxSegments);
    r.nseg += per * nrpt;
    size_t gen_first = first, gen_end = n;
    for (int g = 1; g <= nrpt; ++g) {
        for (size_t k = gen_first; k < gen_end; ++k) {
            Wire w = r.m.wires[k];
            a.apply(w);
            if (!wire_finite(w)) return r.fail("GM makes coordinates that are not finite");
            if (shift_tag(r, "GM", w.tag, itgi, &w.tag) != 0) return -1;
            add_wire(r.m) = w;
        }
        gen_first = gen_end;
        gen_end = r.m.wires.size();
    }
    return 0;
}

// GR: the structure occurs N = I2 times about the z axis: for k = 1 .. N-1
// every wire that existed before the card is copied, rotated by k * 360/N
// degrees about z, and its non-zero tag raised by k * ITGI (ITGI = I1).
int nec_gr(NecReader& r, const NecCard& c) {
    int itgi = c.I(1), n = c.I(2);
    if (n < 2) return 0;
    long long per = r.nseg;
    if (per > 0 && n - 1 > (kNecMaxSegments - r.nseg) / per)
        return r.fail("GR would bring the deck to %lld segments (at most %lld)", per * n,
                      kNecMaxSegments);
    r.nseg += per * (n - 1);
    size_t n0 = r.m.wires.size();
    for (int k = 1; k < n; ++k) {
        Affine a = rotation(0, 0, 360.0 * k / n);
        for (size_t i = 0; i < n0; ++i) {
            Wire w = r.m.wires[i];
            a.apply(w);
            if (shift_tag(r, "GR", w.tag, static_cast<long long>(k) * itgi, &w.tag) != 0) return -1;
            add_wire(r.m) = w;
        }
    }
    return 0;
}

// GX: reflections of the whole structure, I2 read as three digits: hundreds
// in the y-z plane (x -> -x), tens in the x-z plane (y -> -y), units in the
// x-y plane (z -> -z), a digit counting when it is non-zero. They apply in
// the order z, y, x; each copies every wire existing at that moment and
// negates the one coordinate of both ends, keeping the end order, so that a
// source on a copy drives it in the mirrored sense. The first, second and
// third applied reflection raise non-zero tags by ITGI, 2 ITGI and 4 ITGI
// (ITGI = I1), which keeps all tags of the up to eight images distinct.
int nec_gx(NecReader& r, const NecCard& c) {
    int itgi = c.I(1);
    long long code = c.I(2) < 0 ? -static_cast<long long>(c.I(2)) : c.I(2);
    const bool axis_on[3] = {(code / 100) % 10 != 0, (code / 10) % 10 != 0, code % 10 != 0};
    int count = 0;
    for (bool on : axis_on) count += on ? 1 : 0;
    long long total = r.nseg << count;
    if (total > kNecMaxSegments)
        return r.fail("GX would bring the deck to %lld segments (at most %lld)", total,
                      kNecMaxSegments);
    r.nseg = total;
    long long inc = itgi;
    for (int axis = 2; axis >= 0; --axis) { // z, then y, then x
        if (!axis_on[axis]) continue;
        size_t n = r.m.wires.size();
        for (size_t k = 0; k < n; ++k) {
            Wire w = r.m.wires[k];
            double* p1[3] = {&w.x1, &w.y1, &w.z1};
            double* p2[3] = {&w.x2, &w.y2, &w.z2};
            *p1[axis] = -*p1[axis];
            *p2[axis] = -*p2[axis];
            if (shift_tag(r, "GX", w.tag, inc, &w.tag) != 0) return -1;
            add_wire(r.m) = w;
        }
        inc *= 2;
    }
    return 0;
}

// GS: every wire so far has its ends and its radius multiplied by F3. One
// front-end reads a tag range from the integer fields and scales only those
// tags; NEC-2 scales everything, so a deck written that way is refused.
int nec_gs(NecReader& r, const NecCard& c) {
    if (c.I(1) != 0 || c.I(2) != 0)
        return r.fail("GS with a tag range (%d to %d) scales only those tags in another "
                      "program's dialect; NEC-2 scales every wire: leave fields 1 and 2 blank",
                      c.I(1), c.I(2));
    double s = c.F(3);
    if (!std::isfinite(s) || !(s > 0)) return r.fail("GS needs a positive finite scale factor");
    for (Wire& w : r.m.wires) {
        w.x1 *= s;
        w.y1 *= s;
        w.z1 *= s;
        w.x2 *= s;
        w.y2 *= s;
        w.z2 *= s;
        w.radius *= s;
        if (!wire_finite(w)) return r.fail("GS makes coordinates that are not finite");
        if (!(w.radius > 0)) return r.fail("GS makes a wire radius of zero");
    }
    return 0;
}
