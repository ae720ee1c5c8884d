// Segmentation of NEC card decks: each wire keeps its own segment count,
// divided uniformly; segments are numbered within their tag, and every
// segment that holds a port is split into two halves so that the port sits
// on the node between them. A deck refined for the convergence check
// (nec_refine 2) has every segment cut in two halves from the start: both
// keep the deck segment's number, and its ports sit on the node between
// them without a further split.
#include <algorithm>
#include <unordered_map>

#include "common/text.h"
#include "mesh/mesh_internal.h"

namespace {

uint64_t tag_key(int tag, int num) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(tag)) << 32) | static_cast<uint32_t>(num);
}

} // namespace

void nec_index(const Mesh& mesh, NecIndex& idx) {
    idx.by_tag.clear();
    idx.by_count.clear();
    for (int s = 0; s < mesh.nseg(); ++s) {
        const Segment& sg = mesh.seg[static_cast<size_t>(s)];
        idx.by_tag.emplace(tag_key(sg.tag, sg.num), s); // keeps the first
        const Segment* prev = s > 0 ? &mesh.seg[static_cast<size_t>(s - 1)] : nullptr;
        if (!prev || prev->num != sg.num || prev->wire != sg.wire) idx.by_count.push_back(s);
    }
}

int nec_find(const NecIndex& idx, int tag, int num) {
    if (tag == 0) {
        if (num < 1 || num > static_cast<int>(idx.by_count.size())) return -1;
        return idx.by_count[static_cast<size_t>(num - 1)];
    }
    auto it = idx.by_tag.find(tag_key(tag, num));
    return it == idx.by_tag.end() ? -1 : it->second;
}

int segment_nec(MeshWork& w) {
    Mesh& mesh = w.mesh;
    const std::vector<Wire>& wires = w.wires();

    const int refine = w.m.nec_refine;
    if (refine != 1 && refine != 2)
        return set_err(w.err, "segment refinement %d is not 1 or 2", refine);

    // 1. Uniform division of every wire.
    for (int wi = 0; wi < w.nwire(); ++wi) {
        const Wire& W = wires[static_cast<size_t>(wi)];
        long long n = static_cast<long long>(std::max(W.nseg, 1)) * refine;
        if (n + mesh.nseg() > kMaxSegments)
            return set_err(w.err, "wire %d: too many segments (a mesh holds at most %d)", wi + 1,
                           kMaxSegments);
        double a[3], b[3];
        wire_point(W, 0.0, a);
        for (long long k = 1; k <= n; ++k) {
            wire_point(W, k == n ? 1.0 : static_cast<double>(k) / static_cast<double>(n), b);
            int s = add_seg(mesh, a, b, W, wi, static_cast<int>(k));
            if (!(mesh.seg[static_cast<size_t>(s)].len > 0))
                return set_err(w.err,
                               "wire %d cannot be divided: its segments would be shorter than the "
                               "precision of its coordinates",
                               wi + 1);
            for (int c = 0; c < 3; ++c) a[c] = b[c];
        }
    }

    // 2. Number the segments within their tag, the sub-segments of one
    // deck segment alike.
    std::unordered_map<int, int> per_tag;
    for (Segment& sg : mesh.seg) sg.num = (++per_tag[sg.tag] + refine - 1) / refine;

    // 3. Mark the segments that hold a port. Sources and line ends must
    // exist; a load on a missing segment is left to the placement, which
    // reports it.
    NecIndex idx;
    nec_index(mesh, idx);
    std::vector<char> marked(static_cast<size_t>(mesh.nseg()), 0);
    const Model& m = w.m;
    for (const Source& s : m.srcs) {
        int k = nec_find(idx, s.tag, s.seg);
        if (k < 0) return set_err(w.err, "EX: segment %d of tag %d not found", s.seg, s.tag);
        marked[static_cast<size_t>(k)] = 1;
    }
    for (const Load& l : m.loads) {
        if (!nec_lumped_port(l)) continue;
        int k = nec_find(idx, l.tag, l.seg1);
        if (k >= 0) marked[static_cast<size_t>(k)] = 1;
    }
    for (const TLine& t : m.tls) {
        int k1 = nec_find(idx, t.tag1, t.seg1);
        int k2 = nec_find(idx, t.tag2, t.seg2);
        if (k1 < 0 || k2 < 0) return set_err(w.err, "TL: segment not found");
        marked[static_cast<size_t>(k1)] = marked[static_cast<size_t>(k2)] = 1;
    }

    // 4. Rebuild the list with every marked segment split at its centre (a
    // refined deck has the node there already).
    if (refine == 2) return 0;
    // Halves shorter than four radii are beyond the thin-wire kernel: the
    // deck's author chose the segment for NEC-2, which does not split it.
    int nshort = 0, short_k = -1;
    for (size_t k = 0; k < marked.size(); ++k) {
        const Segment& s = mesh.seg[k];
        if (!marked[k] || !(0.5 * s.len < 4 * s.radius)) continue;
        ++nshort;
        if (short_k < 0 || s.len / s.radius < mesh.seg[static_cast<size_t>(short_k)].len /
                                                  mesh.seg[static_cast<size_t>(short_k)].radius)
            short_k = static_cast<int>(k);
    }
    if (nshort > 0) {
        const Segment& s = mesh.seg[static_cast<size_t>(short_k)];
        const double halves = 0.5 * s.len / s.radius;
        if (nshort == 1)
            warn(mesh,
                 "the port on segment %d of tag %d splits it into halves of %.2f radii (< 4: the "
                 "thin-wire kernel is poor there; NEC-2 does not split port segments)",
                 s.num, s.tag, halves);
        else
            warn(mesh,
                 "%d port segments are split into halves shorter than 4 radii, the shortest %.2f "
                 "radii on segment %d of tag %d (the thin-wire kernel is poor there; NEC-2 does "
                 "not split port segments)",
                 nshort, halves, s.num, s.tag);
    }
    std::vector<Segment> old;
    old.swap(mesh.seg);
    size_t extra = static_cast<size_t>(std::count(marked.begin(), marked.end(), 1));
    mesh.seg.reserve(std::max<size_t>(256, old.size() + extra));
    for (size_t k = 0; k < old.size(); ++k) {
        const Segment& s = old[k];
        if (!marked[k]) {
            mesh.seg.push_back(s);
            continue;
        }
        const Wire& W = wires[static_cast<size_t>(s.wire)];
        int h1 = add_seg(mesh, s.a, s.c, W, s.wire, s.num);
        int h2 = add_seg(mesh, s.c, s.b, W, s.wire, s.num);
        if (!(mesh.seg[static_cast<size_t>(h1)].len > 0) ||
            !(mesh.seg[static_cast<size_t>(h2)].len > 0))
            return set_err(w.err,
                           "wire %d cannot be divided: its segments would be shorter than the "
                           "precision of its coordinates",
                           s.wire + 1);
    }
    return 0;
}
