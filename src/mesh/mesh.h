// The mesh: straight segments cut from the model's wires, the nodes where
// segment ends meet, and the triangular current unknowns that live on them.
//
// Lengths in metres, right-handed frame with z up; the ground plane and the
// board surface are z = 0. Indices are 0-based.
#pragma once

#include <string>
#include <vector>

#include "model/model.h"

struct Segment {
    double a[3] = {0, 0, 0};   // start point
    double b[3] = {0, 0, 0};   // end point
    double c[3] = {0, 0, 0};   // centre (a + b) / 2
    double dir[3] = {0, 0, 0}; // unit vector from a to b
    double len = 0;
    double radius = 0;
    int wire = 0; // index in the wire list the mesh was built from
    int tag = 0;
    int num = 0; // native: running number along the wire; NEC: within the tag
    int node_a = -1;
    int node_b = -1;
    double sigma = 0; // S/m, 0 = perfect conductor
    double ins_t = 0;
    double ins_eps = 0;
};

struct Node {
    double pos[3] = {0, 0, 0};
    std::vector<int> segs; // segment indices in attachment order; segs[0] is the reference
    std::vector<int> ends; // 0 = the node is that segment's start, 1 = its end
    int grounded = 0;
    int n() const { return static_cast<int>(segs.size()); }
};

struct SegRef {
    int seg = 0;
    int end = 0;  // 0 = node at the segment start, 1 = at its end
    int sign = 1; // +1 = current along the segment's dir
};

// A triangle basis function across a node (nref = 2), or a half triangle at
// a grounded node (nref = 1) completed by its image.
struct Unknown {
    int nref = 0;
    SegRef ref[2];
    int node = 0;
    int grounded = 0;
};

// One reference of an unknown to a segment: the unknown and which of its
// two SegRef slots points at the segment.
struct UnkSlot {
    int unk = 0;
    int slot = 0;
};

constexpr int kMaxSegRef = 72;       // unknown references per segment
constexpr int kMaxSegments = 100000; // segments of one mesh; more is refused
constexpr int kMaxWarnings = 64;
constexpr int kWarningMax = 199; // characters per warning line

struct Mesh {
    std::vector<Segment> seg;
    std::vector<Node> node;
    std::vector<Unknown> unk;
    std::vector<int> seg_nref;         // per segment
    std::vector<UnkSlot> seg_ref;      // per segment, kMaxSegRef slots
    std::vector<std::string> warnings; // at most 64 lines
    double minlen = 1e30;
    double maxlen = 0;
    double maxratio = 1;
    double minlr = 1e30;
    std::vector<Wire> expanded_wires; // the wire list, when paths were expanded

    int nseg() const { return static_cast<int>(seg.size()); }
    int nnode() const { return static_cast<int>(node.size()); }
    int nunk() const { return static_cast<int>(unk.size()); }
    int nwarn() const { return static_cast<int>(warnings.size()); }
    int n_expanded_wires() const { return static_cast<int>(expanded_wires.size()); }
    // The references of segment s: seg_nref[s] entries.
    const UnkSlot* refs(int s) const {
        return seg_ref.data() + static_cast<size_t>(s) * kMaxSegRef;
    }
};

// Builds the mesh of a model. freq_hz is accepted for the caller's symmetry
// and not used (segmentation follows the model's fmax). On success returns
// 0 and writes each source's, lumped load's and line end's unknown index
// into the model; on failure returns -1 with a one-line message in err.
int mesh_build(Model& m, Mesh& mesh, double freq_hz, std::string& err);

// The builder proper for a model without paths (or a NEC deck).
int mesh_build_core(Model& m, Mesh& mesh, std::string& err);

// Releases everything the mesh holds and resets it to an empty mesh.
void mesh_free(Mesh& mesh);
