// Small meshes built by hand for solver tests and benchmarks: straight
// wires cut into equal segments, nodes where segment ends coincide, and the
// triangle unknowns of every node (a half triangle per segment end on the
// ground plane when there is a ground). The unknowns follow the mesher's
// rules: at a node with n ends the first end is the reference and unknown k
// pairs it with end k; the current runs into the node on the reference
// segment and away from it on the other one.
#pragma once

#include <cmath>
#include <vector>

#include "mesh/mesh.h"

struct HandWire {
    double a[3];
    double b[3];
    int nseg = 1;
    double radius = 0.001;
    double sigma = 0;
    double ins_t = 0;
    double ins_eps = 0;
    int tag = 0; // 0 = the wire's 1-based position
};

inline Mesh hand_mesh(const std::vector<HandWire>& wires, bool ground = false) {
    Mesh m;
    for (int w = 0; w < static_cast<int>(wires.size()); ++w) {
        const HandWire& hw = wires[w];
        for (int i = 0; i < hw.nseg; ++i) {
            Segment s;
            double t0 = static_cast<double>(i) / hw.nseg, t1 = static_cast<double>(i + 1) / hw.nseg;
            for (int d = 0; d < 3; ++d) {
                s.a[d] = hw.a[d] + t0 * (hw.b[d] - hw.a[d]);
                s.b[d] = i + 1 == hw.nseg ? hw.b[d] : hw.a[d] + t1 * (hw.b[d] - hw.a[d]);
            }
            double l2 = 0;
            for (int d = 0; d < 3; ++d) {
                s.c[d] = 0.5 * (s.a[d] + s.b[d]);
                l2 += (s.b[d] - s.a[d]) * (s.b[d] - s.a[d]);
            }
            s.len = std::sqrt(l2);
            for (int d = 0; d < 3; ++d) s.dir[d] = (s.b[d] - s.a[d]) / s.len;
            s.radius = hw.radius;
            s.wire = w;
            s.tag = hw.tag ? hw.tag : w + 1;
            s.num = i + 1;
            s.sigma = hw.sigma;
            s.ins_t = hw.ins_t;
            s.ins_eps = hw.ins_eps;
            m.seg.push_back(s);
        }
    }
    // Nodes.
    for (int s = 0; s < m.nseg(); ++s) {
        for (int e = 0; e < 2; ++e) {
            const double* p = e == 0 ? m.seg[s].a : m.seg[s].b;
            int found = -1;
            for (int k = 0; k < m.nnode() && found < 0; ++k) {
                const Node& nd = m.node[k];
                double d = std::sqrt((p[0] - nd.pos[0]) * (p[0] - nd.pos[0]) +
                                     (p[1] - nd.pos[1]) * (p[1] - nd.pos[1]) +
                                     (p[2] - nd.pos[2]) * (p[2] - nd.pos[2]));
                double tol = 0.001 * std::max(m.seg[s].len, m.seg[nd.segs[0]].len);
                if (d < tol) found = k;
            }
            if (found < 0) {
                Node nd;
                for (int d = 0; d < 3; ++d) nd.pos[d] = p[d];
                m.node.push_back(nd);
                found = m.nnode() - 1;
            }
            m.node[found].segs.push_back(s);
            m.node[found].ends.push_back(e);
            (e == 0 ? m.seg[s].node_a : m.seg[s].node_b) = found;
        }
    }
    // Unknowns.
    for (int k = 0; k < m.nnode(); ++k) {
        Node& nd = m.node[k];
        nd.grounded = ground && std::fabs(nd.pos[2]) < 0.001 * m.seg[nd.segs[0]].len;
        if (nd.grounded) {
            for (int i = 0; i < nd.n(); ++i) {
                Unknown u;
                u.nref = 1;
                u.ref[0] = SegRef{nd.segs[i], nd.ends[i], nd.ends[i] == 0 ? 1 : -1};
                u.node = k;
                u.grounded = 1;
                m.unk.push_back(u);
            }
            continue;
        }
        for (int i = 1; i < nd.n(); ++i) {
            Unknown u;
            u.nref = 2;
            u.ref[0] = SegRef{nd.segs[0], nd.ends[0], nd.ends[0] == 1 ? 1 : -1};
            u.ref[1] = SegRef{nd.segs[i], nd.ends[i], nd.ends[i] == 0 ? 1 : -1};
            u.node = k;
            m.unk.push_back(u);
        }
    }
    // Per-segment references.
    m.seg_nref.assign(m.seg.size(), 0);
    m.seg_ref.assign(m.seg.size() * kMaxSegRef, UnkSlot{});
    for (int u = 0; u < m.nunk(); ++u) {
        for (int r = 0; r < m.unk[u].nref; ++r) {
            int s = m.unk[u].ref[r].seg;
            m.seg_ref[static_cast<size_t>(s) * kMaxSegRef + m.seg_nref[s]] = UnkSlot{u, r};
            ++m.seg_nref[s];
        }
    }
    m.minlen = 1e30;
    m.minlr = 1e30;
    for (const Segment& s : m.seg) {
        m.minlen = std::min(m.minlen, s.len);
        m.maxlen = std::max(m.maxlen, s.len);
        m.minlr = std::min(m.minlr, s.len / s.radius);
    }
    return m;
}

// The first unknown whose node lies at p (within 1e-9 m), or -1.
inline int hand_unk_at(const Mesh& m, double x, double y, double z) {
    for (int u = 0; u < m.nunk(); ++u) {
        const double* q = m.node[m.unk[u].node].pos;
        if (std::fabs(q[0] - x) < 1e-9 && std::fabs(q[1] - y) < 1e-9 && std::fabs(q[2] - z) < 1e-9)
            return u;
    }
    return -1;
}

// A model with one 1 V source on unknown `unk` at freq_hz (the unknown
// indices of sources, loads and lines are what the mesher would write).
inline Model hand_model(double freq_hz, int unk, int ground = GROUND_FREE) {
    Model m;
    m.f0 = freq_hz;
    m.fmax = freq_hz;
    m.ground = ground;
    Source s;
    s.v = 1.0;
    s.unk = unk;
    m.srcs.push_back(s);
    return m;
}
