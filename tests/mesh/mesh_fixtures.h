// Small models built in code for the mesh tests.
#pragma once

#include <cmath>
#include <string>

#include "mesh/mesh.h"
#include "model/model.h"

// A native model with the meshing settings of the model reader's defaults
// (segwl 30, taper on) at the given meshing frequency.
inline Model native_model(double fmax_hz = 15e6) {
    Model m;
    m.f0 = fmax_hz;
    m.fmax = fmax_hz;
    return m;
}

// The same with free wire ends left as they are (MESH ends=off): the plain
// segmentation, whose worked examples the segmentation tests check.
inline Model plain_model(double fmax_hz = 15e6) {
    Model m = native_model(fmax_hz);
    m.ends = 0;
    return m;
}

// A NEC deck as the card reader leaves it.
inline Model nec_model(double f_hz = 15e6) {
    Model m = native_model(f_hz);
    m.is_nec = 1;
    return m;
}

inline int add_w(Model& m, double x1, double y1, double z1, double x2, double y2, double z2,
                 double r = 0.001, int nseg = 0, int tag = 0) {
    Wire& w = add_wire(m);
    w.x1 = x1;
    w.y1 = y1;
    w.z1 = z1;
    w.x2 = x2;
    w.y2 = y2;
    w.z2 = z2;
    w.radius = r;
    w.nseg = nseg;
    w.sigma = 0;
    w.tag = tag > 0 ? tag : m.nwire();
    return m.nwire() - 1;
}

inline Source& add_s(Model& m, int wire, double pos) {
    Source& s = add_src(m);
    s.wire = wire;
    s.pos = pos;
    s.v = 1.0;
    return s;
}

inline Source& add_nec_src(Model& m, int tag, int seg) {
    Source& s = add_src(m);
    s.tag = tag;
    s.seg = seg;
    s.v = 1.0;
    return s;
}

inline double seg_len(const Segment& s) {
    return s.len;
}

// Builds and returns the error text ("" on success).
inline std::string build(Model& m, Mesh& mesh) {
    std::string err;
    if (mesh_build(m, mesh, m.f0, err) != 0) return err.empty() ? "(empty error)" : err;
    return "";
}
