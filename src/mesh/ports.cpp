// Ports (sources, lumped loads and transmission-line ends): collecting them
// from the model, placing each on a segment and node, choosing the node's
// reference segment and binding each port to the unknown that carries it.
#include <cmath>

#include "common/text.h"
#include "mesh/mesh_internal.h"

namespace {

// A native port: its wire must exist and its fraction must lie on the wire
// (a rounding overshoot of 1e-9 is pulled back onto the end).
int native_port(MeshWork& w, Port& p, int wire, int path, double pos) {
    if (wire < 0 || wire >= w.nwire()) {
        if (path >= 0)
            return set_err(w.err, "%s is on curve %d, which has fewer than two points",
                           p.label.c_str(), path + 1);
        return set_err(w.err, "%s is not on any wire", p.label.c_str());
    }
    if (!(pos >= -1e-9 && pos <= 1 + 1e-9))
        return set_err(w.err, "%s at %g %% of wire %d lies outside the wire (0 to 100 %%)",
                       p.label.c_str(), pos * 100, wire + 1);
    p.wire = wire;
    p.pos = pos < 0 ? 0 : pos > 1 ? 1 : pos;
    return 0;
}

} // namespace

int collect_ports(MeshWork& w) {
    Model& m = w.m;
    const bool nec = m.is_nec != 0;
    for (Source& s : m.srcs) s.unk = -1;
    for (Load& l : m.loads) l.unk = -1;
    for (TLine& t : m.tls) t.unk1 = t.unk2 = -1;

    for (int i = 0; i < m.nsrc(); ++i) {
        Source& s = m.srcs[static_cast<size_t>(i)];
        Port p;
        p.label = strfmt("source %d", i + 1);
        p.unk = &s.unk;
        if (nec) {
            p.tag = s.tag;
            p.segnum = s.seg;
        } else if (native_port(w, p, s.wire, s.path, s.pos) != 0) {
            return -1;
        }
        w.ports.push_back(std::move(p));
    }
    for (int i = 0; i < m.nload(); ++i) {
        Load& l = m.loads[static_cast<size_t>(i)];
        if (nec ? !nec_lumped_port(l) : !lumped_load(l)) continue; // not a port: unk stays -1
        Port p;
        p.label = strfmt("load %d", i + 1);
        p.unk = &l.unk;
        if (nec) {
            p.tag = l.tag;
            p.segnum = l.seg1;
        } else if (native_port(w, p, l.wire, l.path, l.pos) != 0) {
            return -1;
        }
        w.ports.push_back(std::move(p));
    }
    for (int i = 0; i < m.ntl(); ++i) {
        TLine& t = m.tls[static_cast<size_t>(i)];
        for (int end = 1; end <= 2; ++end) {
            Port p;
            p.label = strfmt("transmission line %d end %d", i + 1, end);
            p.unk = end == 1 ? &t.unk1 : &t.unk2;
            if (nec) {
                p.tag = end == 1 ? t.tag1 : t.tag2;
                p.segnum = end == 1 ? t.seg1 : t.seg2;
            } else if (native_port(w, p, end == 1 ? t.wire1 : t.wire2, end == 1 ? t.path1 : t.path2,
                                   end == 1 ? t.pos1 : t.pos2) != 0) {
                return -1;
            }
            w.ports.push_back(std::move(p));
        }
    }
    return 0;
}

int place_ports(MeshWork& w) {
    Mesh& mesh = w.mesh;
    NecIndex idx;
    if (w.m.is_nec) nec_index(mesh, idx);
    for (Port& p : w.ports) {
        if (w.m.is_nec) {
            int s = nec_find(idx, p.tag, p.segnum);
            if (s < 0) return set_err(w.err, "segment %d of tag %d not found", p.segnum, p.tag);
            p.seg = s;
            p.node = mesh.seg[static_cast<size_t>(s)].node_b;
            continue;
        }
        // The segment end of the port's wire nearest to the port's point;
        // segmentation put a breakpoint there, so the distance is normally 0.
        const Wire& wi = w.wires()[static_cast<size_t>(p.wire)];
        const double x[3] = {wi.x1 + p.pos * (wi.x2 - wi.x1), wi.y1 + p.pos * (wi.y2 - wi.y1),
                             wi.z1 + p.pos * (wi.z2 - wi.z1)};
        double best = 0;
        for (int s = w.seg_lo[static_cast<size_t>(p.wire)];
             s < w.seg_hi[static_cast<size_t>(p.wire)]; ++s) {
            const Segment& sg = mesh.seg[static_cast<size_t>(s)];
            for (int end = 0; end < 2; ++end) {
                const double* q = end == 0 ? sg.a : sg.b;
                double d = std::hypot(q[0] - x[0], q[1] - x[1], q[2] - x[2]);
                if (p.seg < 0 || d < best) {
                    best = d;
                    p.seg = s;
                    p.node = end == 0 ? sg.node_a : sg.node_b;
                }
            }
        }
        if (p.seg < 0 || p.node < 0)
            return set_err(w.err, "%s is on wire %d, which has no segments", p.label.c_str(),
                           p.wire + 1);
    }
    return 0;
}

void choose_reference(MeshWork& w) {
    for (const Port& p : w.ports) {
        Node& n = w.mesh.node[static_cast<size_t>(p.node)];
        if (n.grounded || n.n() <= 2 || n.segs[0] != p.seg) continue;
        // The reference segment carries a port: the first other segment at
        // the node that carries none takes its place.
        for (int k = 1; k < n.n(); ++k) {
            bool port_seg = false;
            for (const Port& q : w.ports)
                if (q.node == p.node && q.seg == n.segs[static_cast<size_t>(k)]) port_seg = true;
            if (port_seg) continue;
            std::swap(n.segs[0], n.segs[static_cast<size_t>(k)]);
            std::swap(n.ends[0], n.ends[static_cast<size_t>(k)]);
            break;
        }
    }
}

int bind_ports(MeshWork& w) {
    const Mesh& mesh = w.mesh;
    // Unknowns are made node by node, so those of one node are contiguous.
    std::vector<int> first(static_cast<size_t>(mesh.nnode()), -1), count(first.size(), 0);
    for (int u = 0; u < mesh.nunk(); ++u) {
        size_t nd = static_cast<size_t>(mesh.unk[static_cast<size_t>(u)].node);
        if (first[nd] < 0) first[nd] = u;
        ++count[nd];
    }
    // The model's records are written only once every port is bound.
    std::vector<int> bound;
    bound.reserve(w.ports.size());
    for (const Port& p : w.ports) {
        int cand = -1;
        size_t nd = static_cast<size_t>(p.node);
        for (int u = first[nd]; u >= 0 && u < first[nd] + count[nd]; ++u) {
            const Unknown& un = mesh.unk[static_cast<size_t>(u)];
            if (un.ref[0].seg == p.seg && (cand < 0 || un.grounded)) cand = u;
            if (un.nref == 2 && un.ref[1].seg == p.seg) cand = u;
        }
        if (cand < 0) return set_err(w.err, "source/load at a free wire end (no current there)");
        bound.push_back(cand);
    }
    for (size_t i = 0; i < w.ports.size(); ++i) *w.ports[i].unk = bound[i];
    return 0;
}
