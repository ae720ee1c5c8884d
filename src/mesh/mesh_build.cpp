// The mesh builder's entry points and its small shared helpers: segment
// appending, warning lines and the breakpoint orderings.
#include <cmath>
#include <cstdarg>

#include "common/text.h"
#include "mesh/mesh.h"
#include "mesh/mesh_internal.h"

int pb_cmp(const PathBreak& x, const PathBreak& y) {
    double d = x.pos - y.pos;
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

int bp_cmp(const Breakpoint& x, const Breakpoint& y) {
    double d = x.pos - y.pos;
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

int add_seg(Mesh& mesh, const double a[3], const double b[3], const Wire& w, int wire_index,
            int num) {
    if (mesh.seg.capacity() == 0) mesh.seg.reserve(256);
    Segment& s = mesh.seg.emplace_back();
    double d[3];
    for (int k = 0; k < 3; ++k) {
        s.a[k] = a[k];
        s.b[k] = b[k];
        s.c[k] = 0.5 * (a[k] + b[k]);
        d[k] = b[k] - a[k];
    }
    s.len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int k = 0; k < 3; ++k) s.dir[k] = s.len > 0 ? d[k] / s.len : 0.0;
    s.radius = w.radius;
    s.tag = w.tag;
    s.sigma = w.sigma;
    s.ins_t = w.ins_t;
    s.ins_eps = w.ins_eps;
    s.wire = wire_index;
    s.num = num;
    s.node_a = s.node_b = -1;
    return mesh.nseg() - 1;
}

void warn(Mesh& mesh, const char* fmt, ...) {
    if (mesh.nwarn() >= kMaxWarnings) return;
    std::va_list ap;
    va_start(ap, fmt);
    std::string line = vstrfmt(fmt, ap);
    va_end(ap);
    cut(line, kWarningMax);
    mesh.warnings.push_back(std::move(line));
}

void mesh_free(Mesh& mesh) {
    mesh = Mesh();
}

int mesh_build_core_with(Model& m, Mesh& mesh, std::string& err, bool linear_scans,
                         const std::vector<int>* tip_wires) {
    mesh = Mesh();
    MeshWork w(m, mesh, err);
    w.linear = linear_scans;
    w.tip_wires = tip_wires;
    if (check_settings(m, err) != 0) return -1;
    w.lambda = 299792458.0 / m.fmax;
    if (validate_wires(w) != 0) return -1;
    if (crowded_ends(w) != 0) return -1;
    if (coincidence_test(w) != 0) return -1;
    if (collect_ports(w) != 0) return -1;
    if (m.is_nec) {
        if (segment_nec(w) != 0) return -1;
    } else {
        if (segment_native(w) != 0) return -1;
    }
    find_nodes(w);
    mark_grounded(w);
    mesh_stats(w);
    mesh_warnings(w);
    // The crossing test is quadratic when many wires share one point; a mesh
    // that will fail at that junction gets no warnings, so skip it.
    if (!junction_overfull(mesh)) crossing_test(w);
    if (place_ports(w) != 0) return -1;
    choose_reference(w);
    if (build_unknowns(w) != 0) return -1;
    return bind_ports(w);
}

int mesh_build_core(Model& m, Mesh& mesh, std::string& err) {
    return mesh_build_core_with(m, mesh, err, false);
}

int mesh_build(Model& m, Mesh& mesh, double /*freq_hz*/, std::string& err) {
    if (m.paths.empty() || m.is_nec) return mesh_build_core(m, mesh, err);

    // Paths become straight one-segment wires appended to a copy of the
    // model; the core meshes the copy and the unknown indices it binds are
    // copied back into the model's own ports.
    mesh = Mesh();
    for (Source& s : m.srcs) s.unk = -1;
    for (Load& l : m.loads) l.unk = -1;
    for (TLine& t : m.tls) t.unk1 = t.unk2 = -1;
    if (check_settings(m, err) != 0) return -1;
    Model work = m;
    work.paths.clear();
    work.wires.reserve(m.wires.size() + 64);
    std::vector<int> tips;
    if (expand_paths(m, work, err, &tips) != 0) {
        mesh.expanded_wires = std::move(work.wires);
        return -1;
    }
    int rc = mesh_build_core_with(work, mesh, err, false, &tips);
    for (size_t i = 0; i < m.srcs.size(); ++i) m.srcs[i].unk = work.srcs[i].unk;
    for (size_t i = 0; i < m.loads.size(); ++i) m.loads[i].unk = work.loads[i].unk;
    for (size_t i = 0; i < m.tls.size(); ++i) {
        m.tls[i].unk1 = work.tls[i].unk1;
        m.tls[i].unk2 = work.tls[i].unk2;
    }
    mesh.expanded_wires = std::move(work.wires);
    return rc;
}
