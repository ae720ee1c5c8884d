// Nodes where segment ends meet, grounded nodes, and the triangular current
// unknowns with their per-segment references.
//
// Current basis: an unknown with nref = 2 is a triangle across its node,
// unit current at the node falling linearly to zero at the far ends of its
// two segments; ref[0] carries the current into the node, ref[1] away from
// it. At a grounded node each segment end gets a half triangle (nref = 1)
// whose image in the ground plane completes it.
#include <algorithm>
#include <array>
#include <cmath>

#include "common/text.h"
#include "mesh/mesh_internal.h"
#include "mesh/spatial.h"

namespace {

double dist3(const double a[3], const double b[3]) {
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

void attach(Mesh& mesh, int node, int s, int end) {
    Node& n = mesh.node[static_cast<size_t>(node)];
    n.segs.push_back(s);
    n.ends.push_back(end);
    Segment& sg = mesh.seg[static_cast<size_t>(s)];
    (end == 0 ? sg.node_a : sg.node_b) = node;
}

int new_node(Mesh& mesh, const double p[3]) {
    if (mesh.node.capacity() == 0) mesh.node.reserve(256);
    Node& n = mesh.node.emplace_back();
    for (int k = 0; k < 3; ++k) n.pos[k] = p[k];
    return mesh.nnode() - 1;
}

} // namespace

// Segment ends join the first node, in creation order, closer than
// max(0.001 len(s), 0.001 len(first segment of the node)); otherwise they
// start a new node.
void find_nodes(MeshWork& w) {
    Mesh& mesh = w.mesh;
    std::vector<double> tol; // per node: 0.001 x length of its first segment
    tol.reserve(static_cast<size_t>(mesh.nseg()) + 2);

    if (w.linear) {
        for (int s = 0; s < mesh.nseg(); ++s)
            for (int end = 0; end < 2; ++end) {
                const Segment& sg = mesh.seg[static_cast<size_t>(s)];
                const double* p = end == 0 ? sg.a : sg.b;
                double ts = 0.001 * sg.len;
                int found = -1;
                for (int n = 0; n < mesh.nnode() && found < 0; ++n)
                    if (dist3(p, mesh.node[static_cast<size_t>(n)].pos) <
                        std::max(ts, tol[static_cast<size_t>(n)]))
                        found = n;
                if (found < 0) {
                    found = new_node(mesh, p);
                    tol.push_back(ts);
                }
                attach(mesh, found, s, end);
            }
        return;
    }

    // A node N matches P when P lies within N's own tolerance or N within
    // the tolerance of P's segment. Each node is entered into the grid with
    // the box of its own tolerance and each point queries the box of its
    // segment's, so every node that can match is a candidate; among the
    // candidates the lowest index (the earliest node) that passes the exact
    // test wins, as in the plain scan. The cell follows the median
    // tolerance, so that a few long segments do not coarsen the grid.
    std::vector<double> tols;
    double extent = 0;
    for (const Segment& sg : mesh.seg) {
        tols.push_back(0.001 * sg.len);
        for (int k = 0; k < 3; ++k)
            extent = std::max({extent, std::fabs(sg.a[k]), std::fabs(sg.b[k])});
    }
    double cell = 1;
    if (!tols.empty()) {
        auto mid = tols.begin() + static_cast<std::ptrdiff_t>(tols.size() / 2);
        std::nth_element(tols.begin(), mid, tols.end());
        cell = 4 * *mid;
    }
    const double slack = 1 + 1e-6;
    BoxGrid grid(cell, 2 * extent + 1);
    std::vector<int> cand;
    for (int s = 0; s < mesh.nseg(); ++s)
        for (int end = 0; end < 2; ++end) {
            const Segment& sg = mesh.seg[static_cast<size_t>(s)];
            const double* p = end == 0 ? sg.a : sg.b;
            double ts = 0.001 * sg.len, pad = ts * slack;
            const double lo[3] = {p[0] - pad, p[1] - pad, p[2] - pad};
            const double hi[3] = {p[0] + pad, p[1] + pad, p[2] + pad};
            cand.clear();
            grid.query(lo, hi, cand);
            int found = -1;
            for (int n : cand)
                if ((found < 0 || n < found) && dist3(p, mesh.node[static_cast<size_t>(n)].pos) <
                                                    std::max(ts, tol[static_cast<size_t>(n)]))
                    found = n;
            if (found < 0) {
                found = new_node(mesh, p);
                tol.push_back(ts);
                grid.insert(found, lo, hi);
            }
            attach(mesh, found, s, end);
        }
}

void mark_grounded(MeshWork& w) {
    if (!ground_plane(w.m.ground)) return;
    for (Node& n : w.mesh.node) {
        double len0 = w.mesh.seg[static_cast<size_t>(n.segs[0])].len;
        n.grounded = std::fabs(n.pos[2]) < 0.001 * len0 ? 1 : 0;
    }
}

int crowded_ends(MeshWork& w) {
    // Wire ends at exactly one point always share a node; more than
    // kMaxSegRef + 1 of them make the junction fail later in any case. A
    // point that may lie on a ground plane is left alone: its node may be
    // grounded, and grounded nodes take any number of wires.
    const std::vector<Wire>& wires = w.wires();
    const bool plane = ground_plane(w.m.ground);
    double longest = 0;
    for (const Wire& wi : wires)
        longest = std::max(longest, std::hypot(wi.x2 - wi.x1, wi.y2 - wi.y1, wi.z2 - wi.z1));
    std::vector<std::array<double, 3>> ends;
    ends.reserve(2 * wires.size());
    for (const Wire& wi : wires) {
        for (const std::array<double, 3>& p : {std::array<double, 3>{wi.x1, wi.y1, wi.z1},
                                               std::array<double, 3>{wi.x2, wi.y2, wi.z2}})
            if (!plane || std::fabs(p[2]) >= 0.001 * longest) ends.push_back(p);
    }
    if (ends.size() <= static_cast<size_t>(kMaxSegRef) + 1) return 0;
    std::sort(ends.begin(), ends.end());
    size_t run = 1;
    for (size_t i = 1; i < ends.size(); ++i) {
        run = ends[i] == ends[i - 1] ? run + 1 : 1;
        if (run > static_cast<size_t>(kMaxSegRef) + 1)
            return set_err(w.err, "too many wires at one junction");
    }
    return 0;
}

// True when an ungrounded node joins so many segments that its reference
// segment would need more than kMaxSegRef unknown slots: build_unknowns is
// then bound to fail, and the stages before it can skip their work.
bool junction_overfull(const Mesh& mesh) {
    for (const Node& n : mesh.node)
        if (!n.grounded && n.n() - 1 > kMaxSegRef) return true;
    return false;
}

int build_unknowns(MeshWork& w) {
    Mesh& mesh = w.mesh;
    mesh.unk.reserve(256);
    for (int nd = 0; nd < mesh.nnode(); ++nd) {
        const Node& n = mesh.node[static_cast<size_t>(nd)];
        if (n.grounded) {
            // Half triangles: current from the ground up into each segment.
            for (int k = 0; k < n.n(); ++k) {
                Unknown& u = mesh.unk.emplace_back();
                u.nref = 1;
                u.grounded = 1;
                u.node = nd;
                u.ref[0].seg = n.segs[static_cast<size_t>(k)];
                u.ref[0].end = n.ends[static_cast<size_t>(k)];
                u.ref[0].sign = u.ref[0].end == 0 ? 1 : -1;
                u.ref[1] = SegRef{};
            }
            continue;
        }
        // Triangles pairing the reference segment with each other segment.
        for (int k = 1; k < n.n(); ++k) {
            Unknown& u = mesh.unk.emplace_back();
            u.nref = 2;
            u.grounded = 0;
            u.node = nd;
            u.ref[0].seg = n.segs[0];
            u.ref[0].end = n.ends[0];
            u.ref[0].sign = u.ref[0].end == 1 ? 1 : -1;
            u.ref[1].seg = n.segs[static_cast<size_t>(k)];
            u.ref[1].end = n.ends[static_cast<size_t>(k)];
            u.ref[1].sign = u.ref[1].end == 0 ? 1 : -1;
        }
    }
    if (mesh.nnode() == 0 || mesh.nunk() == 0)
        return set_err(w.err, "the structure has no current unknowns (single straight segments?)");

    const size_t ns = static_cast<size_t>(mesh.nseg());
    mesh.seg_nref.assign(ns, 0);
    mesh.seg_ref.assign(ns * kMaxSegRef, UnkSlot{});
    for (int u = 0; u < mesh.nunk(); ++u) {
        const Unknown& un = mesh.unk[static_cast<size_t>(u)];
        for (int slot = 0; slot < un.nref; ++slot) {
            size_t s = static_cast<size_t>(un.ref[slot].seg);
            if (mesh.seg_nref[s] >= kMaxSegRef)
                return set_err(w.err, "too many wires at one junction");
            mesh.seg_ref[s * kMaxSegRef + static_cast<size_t>(mesh.seg_nref[s])] = UnkSlot{u, slot};
            ++mesh.seg_nref[s];
        }
    }
    return 0;
}
