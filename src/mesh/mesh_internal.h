// Working data and stages shared by the files of the mesh module. Not part
// of the module's public interface (tests use it to exercise the stages and
// to compare the accelerated searches with the plain scans).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "mesh/mesh.h"
#include "model/model.h"

// A mandatory cut on a wire: a fraction 0..1 from its start, and whether the
// segments next to it use the fine length.
struct Breakpoint {
    double pos = 0;
    int fine = 0;
};

// A candidate cut on a path: an arc length from the path's start and the
// placed item it stands for (-1 for a uniform division point).
struct PathBreak {
    double pos = 0;
    int item = -1;
};

// Ordering by the leading position, ascending: -1, 0 or 1.
int pb_cmp(const PathBreak& x, const PathBreak& y);
int bp_cmp(const Breakpoint& x, const Breakpoint& y);

// A source, lumped load or transmission-line end being placed on the mesh.
struct Port {
    int wire = -1;  // native: wire index in the build's wire list
    double pos = 0; // native: fraction along that wire
    int tag = 0;    // NEC: tag and segment number
    int segnum = 0;
    std::string label;  // for messages: "source 1", "transmission line 2 end 1"
    int* unk = nullptr; // where the bound unknown is written
    int seg = -1;       // placement result: segment ...
    int node = -1;      // ... and node
};

// State of one build: the model, its wire list, the meshing wavelength and
// the ports, plus the choice between the accelerated searches and the plain
// scans (which give identical results; the scans are the reference).
struct MeshWork {
    MeshWork(Model& model, Mesh& out, std::string& error) : m(model), mesh(out), err(error) {}
    Model& m;
    Mesh& mesh;
    std::string& err;
    bool linear = false; // plain quadratic scans instead of spatial grids
    double lambda = 0;   // meshing wavelength c / fmax, m
    double max_r0 = 0;   // largest distance of a wire end from the origin
    std::vector<Port> ports;
    std::vector<int> seg_lo, seg_hi;             // native: segment range [lo, hi) of each wire
    std::vector<int> tip_seg;                    // native: the segments at graded free ends
    const std::vector<int>* tip_wires = nullptr; // path pieces that are such tips

    const std::vector<Wire>& wires() const { return m.wires; }
    int nwire() const { return m.nwire(); }
};

// Appends one segment from a to b cut from wire w (index wire_index), with
// segment number num; returns its index.
int add_seg(Mesh& mesh, const double a[3], const double b[3], const Wire& w, int wire_index,
            int num);

// Appends a formatted warning line while fewer than 64 are stored, cut to
// 199 characters; later warnings are dropped.
void warn(Mesh& mesh, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The builder with a choice of search strategy (false = spatial grids, the
// normal build; true = the plain scans). tip_wires lists wires (path pieces)
// that are tips at a graded free end, or is null.
int mesh_build_core_with(Model& m, Mesh& mesh, std::string& err, bool linear_scans,
                         const std::vector<int>* tip_wires = nullptr);

// Path expansion of mesh_build: appends the pieces of every path of `src` to
// `work.wires` and re-attaches the placed items. `work` starts as a copy of
// `src` without paths. With `src.ends` the free ends of paths are graded;
// the indices of their tip pieces are appended to `tips` when it is given.
// Returns 0 or -1 with a message.
int expand_paths(const Model& src, Model& work, std::string& err, std::vector<int>* tips = nullptr);

// Segment lookup of NEC decks: by tag and number within the tag (the first
// segment that matches), and for tag 0 by the running number over the whole
// structure, where the two halves of a split segment count once.
struct NecIndex {
    std::unordered_map<uint64_t, int> by_tag;
    std::vector<int> by_count; // first segment of running number k + 1
};
void nec_index(const Mesh& mesh, NecIndex& idx);
int nec_find(const NecIndex& idx, int tag, int num); // segment index, -1 when absent

// Stages of mesh_build_core, in calling order; each returns 0 or -1.
int check_settings(const Model& m, std::string& err);
int validate_wires(MeshWork& w);
int coincidence_test(MeshWork& w); // wires on top of each other are an error
int crowded_ends(MeshWork& w);     // more wire ends at one point than a junction takes
int collect_ports(MeshWork& w);
int segment_native(MeshWork& w);
int segment_nec(MeshWork& w);
void find_nodes(MeshWork& w);
void mark_grounded(MeshWork& w);
void mesh_stats(MeshWork& w);
void mesh_warnings(MeshWork& w);
void crossing_test(MeshWork& w);
bool junction_overfull(const Mesh& mesh);
int place_ports(MeshWork& w);
void choose_reference(MeshWork& w);
int build_unknowns(MeshWork& w);
int bind_ports(MeshWork& w);

// The point at fraction t of a wire, exact at both ends.
inline void wire_point(const Wire& w, double t, double p[3]) {
    double u = 1 - t;
    p[0] = u * w.x1 + t * w.x2;
    p[1] = u * w.y1 + t * w.y2;
    p[2] = u * w.z1 + t * w.z2;
}

// Ground kinds whose plane is a conductor at z = 0 for the wires' ends.
inline bool ground_plane(int ground) {
    return ground == GROUND_PERFECT || ground == GROUND_REAL || ground == GROUND_MININEC;
}

// Loads that act at one point: series, parallel and impedance loads.
inline bool lumped_load(const Load& l) {
    return l.type == LOAD_SERIES || l.type == LOAD_PARALLEL || l.type == LOAD_IMPEDANCE;
}

// A NEC load is a port when it is lumped and names exactly one segment.
inline bool nec_lumped_port(const Load& l) {
    return lumped_load(l) && l.seg1 >= 1 && (l.seg2 == 0 || l.seg2 == l.seg1);
}

// A cell size for a grid over the wires: the median of the wires' largest
// extents along an axis, so that a few very long wires do not coarsen it,
// or twice the median radius when that is larger.
double wire_grid_cell(const std::vector<Wire>& wires);
