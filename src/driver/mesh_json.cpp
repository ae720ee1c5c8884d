#include "driver/mesh_json.h"

#include <cstdio>

#include "driver/json.h"
#include "driver/names.h"
#include "driver/outfile.h"

namespace {

// The position of a port: the node of the unknown that carries it.
void port_pos(std::FILE* f, const Mesh& mesh, int unk) {
    const double* p = mesh.node[static_cast<size_t>(mesh.unk[static_cast<size_t>(unk)].node)].pos;
    std::fputs("{\"x\":", f);
    json_num(f, "%g", p[0]);
    std::fputs(",\"y\":", f);
    json_num(f, "%g", p[1]);
    std::fputs(",\"z\":", f);
    json_num(f, "%g", p[2]);
    std::fputc('}', f);
}

bool valid_unk(const Mesh& mesh, int u) {
    return u >= 0 && u < mesh.nunk();
}

} // namespace

int mesh_json_write(const std::string& path, const Model& m, const Mesh& mesh) {
    OutFile out(path);
    if (!out.open()) return -1;
    std::FILE* f = out.file();

    int nwire = wire_count(m, mesh);
    std::fputs("{\"title\":", f);
    json_str(f, m.title);
    std::fputs(",\"f0\":", f);
    json_num(f, "%.10g", m.f0);
    std::fprintf(f, ",\"ground\":\"%s\",\"mesh\":{\"nwire\":%d,\"nseg\":%d,\"nunk\":%d,\"minlen\":",
                 ground_name(m.ground), nwire, mesh.nseg(), mesh.nunk());
    json_num(f, "%g", mesh.minlen);
    std::fputs(",\"maxlen\":", f);
    json_num(f, "%g", mesh.maxlen);
    std::fputs(",\"minlr\":", f);
    json_num(f, "%g", mesh.minlr);
    std::fputs(",\"warnings\":[", f);
    for (int i = 0; i < mesh.nwarn(); ++i) {
        if (i > 0) std::fputc(',', f);
        json_str(f, mesh.warnings[static_cast<size_t>(i)]);
    }
    std::fputs("]},\"segs\":[", f);
    for (int i = 0; i < mesh.nseg(); ++i) {
        const Segment& s = mesh.seg[static_cast<size_t>(i)];
        std::fputs(i > 0 ? ",[" : "[", f);
        const double v[6] = {s.a[0], s.a[1], s.a[2], s.b[0], s.b[1], s.b[2]};
        for (double x : v) {
            json_num(f, "%.6g", x);
            std::fputc(',', f);
        }
        std::fprintf(f, "%d,0,0,0,0,0,0,%d]", s.wire + 1, s.tag);
    }
    std::fputs("],\"sources\":[", f);
    bool first = true;
    for (const Source& s : m.srcs) {
        if (!valid_unk(mesh, s.unk)) continue;
        if (!first) std::fputc(',', f);
        first = false;
        port_pos(f, mesh, s.unk);
    }
    std::fputs("],\"loads\":[", f);
    first = true;
    for (const Load& l : m.loads) {
        if (!valid_unk(mesh, l.unk)) continue;
        if (!first) std::fputc(',', f);
        first = false;
        port_pos(f, mesh, l.unk);
    }
    std::fputs("]}\n", f);
    return out.commit() ? 0 : -1;
}

int mesh_json_error(const std::string& path, const std::string& message) {
    OutFile out(path);
    if (!out.open()) return -1;
    std::fputs("{\"error\":", out.file());
    json_str(out.file(), message);
    std::fputs("}\n", out.file());
    return out.commit() ? 0 : -1;
}
