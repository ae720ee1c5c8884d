// Small meshes built by hand for the far-field tests, so the radiation of
// known currents can be checked without the mesher and the solver.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"

namespace fffix {

using P3 = std::array<double, 3>;

inline Segment make_seg(const P3& a, const P3& b) {
    Segment s;
    double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int i = 0; i < 3; ++i) {
        s.a[i] = a[i];
        s.b[i] = b[i];
        s.c[i] = 0.5 * (a[i] + b[i]);
        s.dir[i] = d[i] / len;
    }
    s.len = len;
    s.radius = 1e-4;
    return s;
}

inline Unknown half(int seg, int end, int sign) {
    Unknown u;
    u.nref = 1;
    u.ref[0] = SegRef{seg, end, sign};
    u.grounded = 1;
    return u;
}

// Straight current elements a -> b. Each segment carries two half
// triangles of unit value at its start and its end, both along the
// segment, so equal amplitudes on the pair give a uniform current.
// Unknowns 2e and 2e+1 belong to element e.
inline Mesh elements(const std::vector<std::array<P3, 2>>& ab) {
    Mesh m;
    for (const auto& e : ab) {
        int s = static_cast<int>(m.seg.size());
        m.seg.push_back(make_seg(e[0], e[1]));
        m.unk.push_back(half(s, 0, +1));
        m.unk.push_back(half(s, 1, +1));
    }
    return m;
}

// One uniform element a -> b carrying current i_a.
inline Mesh element(const P3& a, const P3& b) {
    return elements({{a, b}});
}
inline std::vector<cplx> uniform(cplx i_a, int n_elements = 1) {
    return std::vector<cplx>(static_cast<size_t>(2 * n_elements), i_a);
}

// A straight wire a -> b of nseg equal segments with one triangle unknown
// at every interior node (ref[0] on the segment before it, ref[1] on the
// one after, both along the wire).
inline Mesh wire(const P3& a, const P3& b, int nseg) {
    Mesh m;
    for (int s = 0; s < nseg; ++s) {
        P3 p, q;
        for (int i = 0; i < 3; ++i) {
            p[i] = a[i] + (b[i] - a[i]) * s / nseg;
            q[i] = a[i] + (b[i] - a[i]) * (s + 1) / nseg;
        }
        m.seg.push_back(make_seg(p, q));
    }
    for (int s = 0; s + 1 < nseg; ++s) {
        Unknown u;
        u.nref = 2;
        u.ref[0] = SegRef{s, 1, +1};
        u.ref[1] = SegRef{s + 1, 0, +1};
        u.node = s;
        m.unk.push_back(u);
    }
    return m;
}

} // namespace fffix
