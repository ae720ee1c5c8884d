#include "driver/results_json.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "driver/dish_stage.h"
#include "driver/json.h"
#include "driver/lmatch.h"
#include "driver/names.h"
#include "driver/outfile.h"
#include "driver/run.h"
#include "solver/segment_values.h"

namespace {

// The position of the node of an unknown; the origin for none.
void unk_pos(const Mesh& mesh, int u, double p[3]) {
    p[0] = p[1] = p[2] = 0;
    if (u < 0 || u >= mesh.nunk()) return;
    const Node& n = mesh.node[static_cast<size_t>(mesh.unk[static_cast<size_t>(u)].node)];
    for (int k = 0; k < 3; ++k) p[k] = n.pos[k];
}

double phase_deg(cplx z) {
    return std::atan2(z.imag(), z.real()) * 180 / phys::pi;
}

// Writes the values with their conversions, separated by commas; values
// that are not finite are written as null.
struct Writer {
    std::FILE* f;
    void raw(const char* s) { std::fputs(s, f); }
    void num(const char* fmt, double v) { json_num(f, fmt, v); }
    void key(const char* k, const char* fmt, double v) {
        std::fprintf(f, "\"%s\":", k);
        num(fmt, v);
    }
    // "k1":v1,"k2":v2,... with each value's own conversion.
    struct Field {
        const char* k;
        const char* fmt;
        double v;
    };
    void fields(std::initializer_list<Field> list) {
        bool first = true;
        for (const Field& fl : list) {
            if (!first) raw(",");
            first = false;
            key(fl.k, fl.fmt, fl.v);
        }
    }
    // Values separated by commas, all with one conversion.
    void nums(const char* fmt, std::initializer_list<double> list) {
        bool first = true;
        for (double v : list) {
            if (!first) raw(",");
            first = false;
            num(fmt, v);
        }
    }
};

} // namespace

namespace {

// Step by step, in the document's key order.

void write_head(Writer& w, const std::string& input, const Model& m, const RunResults& res) {
    std::FILE* f = w.f;
    std::fprintf(f, "{\"program\":\"Quarlin %s\",\"title\":", kVersion);
    json_str(f, m.title);
    w.raw(",\"input\":");
    json_str(f, input);
    w.raw(",");
    w.key("f0", "%.10g", m.f0);
    std::fprintf(f, ",\"ground\":\"%s\",\"somm\":%d,", ground_name(m.ground), m.somm);
    w.fields({{"eps", "%g", m.eps}, {"sigma", "%g", m.sigma}});
    w.raw(",\"pcb\":{");
    w.fields({{"eps", "%g", m.pcb_eps}, {"tand", "%g", m.pcb_tand}, {"h", "%g", m.pcb_h}});
    std::fprintf(f, ",\"gnd\":%d},", m.pcb_gnd);
    w.fields({{"z0ref", "%g", m.z0ref}, {"runtime", "%.3f", res.runtime}});
}

void write_mesh(Writer& w, const Model& m, const Mesh& mesh) {
    std::fprintf(w.f, ",\"mesh\":{\"nwire\":%d,\"nseg\":%d,\"nunk\":%d,", wire_count(m, mesh),
                 mesh.nseg(), mesh.nunk());
    w.fields({{"minlen", "%g", mesh.minlen},
              {"maxlen", "%g", mesh.maxlen},
              {"minlr", "%g", mesh.minlr},
              {"maxratio", "%g", mesh.maxratio}});
    w.raw(",\"warnings\":[");
    for (int i = 0; i < mesh.nwarn(); ++i) {
        if (i) w.raw(",");
        json_str(w.f, mesh.warnings[static_cast<size_t>(i)]);
    }
    w.raw("]}");
}

void write_wires(Writer& w, const Model& m, const Mesh& mesh) {
    w.raw(",\"wires\":[");
    const std::vector<Wire>& wires = mesh.expanded_wires.empty() ? m.wires : mesh.expanded_wires;
    for (size_t i = 0; i < wires.size(); ++i) {
        const Wire& wi = wires[i];
        w.raw(i ? ",[" : "[");
        w.nums("%g", {wi.x1, wi.y1, wi.z1, wi.x2, wi.y2, wi.z2, wi.radius});
        std::fprintf(w.f, ",%d]", wi.tag);
    }
    w.raw("]");
}

// Per segment: end points, wire, the currents at start, end and centre
// (magnitudes, then phases), tag and the centre potential.
void write_segs(Writer& w, const Mesh& mesh, const RunResults& res) {
    std::vector<cplx> ia, dl;
    seg_currents(mesh, res.cur, ia, dl);
    w.raw(",\"segs\":[");
    for (int s = 0; s < mesh.nseg(); ++s) {
        const Segment& sg = mesh.seg[static_cast<size_t>(s)];
        const size_t si = static_cast<size_t>(s);
        const cplx a = ia[si], b = ia[si] + dl[si], c = ia[si] + dl[si] / 2.0;
        const cplx v = si < res.seg_v.size() ? res.seg_v[si] : cplx(0);
        w.raw(s ? ",[" : "[");
        w.nums("%.6g", {sg.a[0], sg.a[1], sg.a[2], sg.b[0], sg.b[1], sg.b[2]});
        std::fprintf(w.f, ",%d,", sg.wire + 1);
        w.nums("%.5g",
               {std::abs(a), std::abs(b), std::abs(c), phase_deg(a), phase_deg(b), phase_deg(c)});
        std::fprintf(w.f, ",%d,", sg.tag);
        w.nums("%.5g", {std::abs(v), phase_deg(v)});
        w.raw("]");
    }
    w.raw("]");
}

void write_sources(Writer& w, const Model& m, const Mesh& mesh, const RunResults& res) {
    w.raw(",\"sources\":[");
    for (int i = 0; i < m.nsrc(); ++i) {
        const Source& s = m.srcs[static_cast<size_t>(i)];
        double p[3];
        unk_pos(mesh, s.unk, p);
        cplx I = i < static_cast<int>(res.src_cur.size()) ? res.src_cur[static_cast<size_t>(i)]
                                                          : cplx(0);
        cplx z = s.v / I;
        w.raw(i ? ",{" : "{");
        w.fields({{"x", "%g", p[0]},
                  {"y", "%g", p[1]},
                  {"z", "%g", p[2]},
                  {"vr", "%g", s.v.real()},
                  {"vi", "%g", s.v.imag()},
                  {"ir", "%g", I.real()},
                  {"ii", "%g", I.imag()},
                  {"zr", "%g", z.real()},
                  {"zi", "%g", z.imag()}});
        w.raw("}");
    }
    w.raw("]");
}

// Loads without an unknown are left out.
void write_loads(Writer& w, const Model& m, const Mesh& mesh) {
    w.raw(",\"loads\":[");
    bool first = true;
    for (const Load& l : m.loads) {
        if (l.unk < 0) continue;
        double p[3];
        unk_pos(mesh, l.unk, p);
        w.raw(first ? "{" : ",{");
        first = false;
        w.fields({{"x", "%g", p[0]}, {"y", "%g", p[1]}, {"z", "%g", p[2]}});
        w.raw("}");
    }
    w.raw("]");
}

void write_tlines(Writer& w, const Model& m, const Mesh& mesh) {
    w.raw(",\"tlines\":[");
    for (int i = 0; i < m.ntl(); ++i) {
        const TLine& t = m.tls[static_cast<size_t>(i)];
        double p1[3], p2[3];
        unk_pos(mesh, t.unk1, p1);
        unk_pos(mesh, t.unk2, p2);
        w.raw(i ? ",[" : "[");
        w.nums("%g", {p1[0], p1[1], p1[2], p2[0], p2[1], p2[2], t.z0});
        w.raw("]");
    }
    w.raw("]");
}

void write_sweep(Writer& w, const RunResults& res) {
    w.raw(",\"sweep\":[");
    for (size_t i = 0; i < res.sweep.size(); ++i) {
        const FreqResult& r = res.sweep[i];
        w.raw(i ? ",[" : "[");
        w.num("%.9g", r.f);
        w.raw(",");
        w.nums("%.6g", {r.zin.real(), r.zin.imag()});
        w.raw(",");
        w.num("%.5g", r.swr);
        w.raw(",");
        w.nums("%.4g", {r.gmax, r.fb, r.thmax, r.phmax});
        w.raw("]");
    }
    w.raw("]");
}

void write_design(Writer& w, const Model& m, const RunResults& res) {
    const FreqResult& d = res.design;
    w.raw(",\"design\":{");
    w.fields({{"fres", "%.8g", res.fres},
              {"fpeak", "%.8g", res.fpeak},
              {"f", "%.10g", m.f0},
              {"zr", "%.8g", d.zin.real()},
              {"zi", "%.8g", d.zin.imag()},
              {"swr", "%.6g", d.swr},
              {"pin", "%.8g", d.pin},
              {"prad", "%.8g", d.prad},
              {"eff", "%.6g", d.eff},
              {"agt", "%.6g", d.agt},
              {"gmax", "%.5g", d.gmax},
              {"thmax", "%.4g", d.thmax},
              {"phmax", "%.4g", d.phmax},
              {"fb", "%.5g", d.fb},
              {"bwaz", "%.4g", res.bwaz},
              {"bwel", "%.4g", res.bwel},
              {"convdz", "%.5g", res.convdz},
              {"convzr", "%.6g", res.zconv.real()},
              {"convzi", "%.6g", res.zconv.imag()},
              {"convestzr", "%.6g", res.zconv_est.real()},
              {"convestzi", "%.6g", res.zconv_est.imag()}});
    w.raw("}");
}

// The L networks of the report, computed again with the same inputs.
void write_match(Writer& w, const Model& m, const RunResults& res) {
    const FreqResult& d = res.design;
    w.raw(",\"match\":[");
    MatchSolution ms[2];
    int nm = lmatch(d.zin.real(), d.zin.imag(), m.z0ref, m.f0, ms);
    for (int i = 0; i < nm; ++i) {
        std::fprintf(w.f, "%s{\"at_antenna\":\"%s\",\"toward_line\":\"%s\",\"sh\":%d,",
                     i ? "," : "", ms[i].at_antenna.c_str(), ms[i].toward_line.c_str(), ms[i].sh);
        w.key("xs", "%.10g", ms[i].xs);
        w.raw(",");
        w.key("bp", "%.10g", ms[i].bp);
        w.raw("}");
    }
    w.raw("]");
}

// The five gain arrays, each value below -99 dB (or not a number) as -99.
void write_pattern(Writer& w, const Model& m, const RunResults& res) {
    std::FILE* f = w.f;
    w.raw(",\"pattern\":{");
    w.key("dth", "%g", m.dth);
    w.raw(",");
    w.key("dph", "%g", m.dph);
    std::fprintf(f, ",\"nth\":%d,\"nph\":%d", res.nth, res.nph);
    const std::pair<const char*, const std::vector<float>*> arrays[] = {
        {"gt", &res.gt}, {"gv", &res.gv}, {"gh", &res.gh}, {"gr", &res.gr}, {"gl", &res.gl}};
    size_t npt = res.nth > 0 && res.nph > 0
                     ? static_cast<size_t>(res.nth) * static_cast<size_t>(res.nph)
                     : 0;
    std::string text;
    for (const auto& [name, arr] : arrays) {
        std::fprintf(f, ",\"%s\":[", name);
        text.clear();
        for (size_t i = 0; i < npt && i < arr->size(); ++i) {
            double g = (*arr)[i];
            if (!(g >= -99) || !std::isfinite(g)) g = -99; // below -99 dB, or not a number
            if (i) text += ',';
            json_append_fixed2(text, g);
        }
        std::fwrite(text.data(), 1, text.size(), f);
        w.raw("]");
    }
    w.raw("}");
}

} // namespace

int results_json_write(const std::string& path, const std::string& input, const Model& m,
                       const Mesh& mesh, const RunResults& res) {
    OutFile out(path);
    if (!out.open()) return -1;
    Writer w{out.file()};
    write_head(w, input, m, res);
    write_mesh(w, m, mesh);
    write_wires(w, m, mesh);
    write_segs(w, mesh, res);
    write_sources(w, m, mesh, res);
    write_loads(w, m, mesh);
    write_tlines(w, m, mesh);
    write_sweep(w, res);
    write_design(w, m, res);
    write_match(w, m, res);
    if (m.dish) dish_json(w.f, m, res.dish);
    write_pattern(w, m, res);
    w.raw("}\n");
    return out.commit() ? 0 : -1;
}
