// The model record: element appends, the override table and model_read with
// its format choice, checks and completions.
#include "model/model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "common/text.h"
#include "model/expr.h"
#include "model/native.h"
#include "model/nec.h"

namespace {

struct Override {
    std::string name;
    double value;
};
std::vector<Override> g_overrides; // process-wide, set by the optimizer

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The first line that is not blank and not a '#' or ';' comment, read in
// pieces of at most 255 characters; empty when the file has none.
std::string first_significant_line(std::FILE* f) {
    LineReader in(f);
    std::string line;
    while (in.next(line, 255)) {
        size_t i = 0;
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])) &&
               line[i] != '\n')
            ++i;
        if (i < line.size() && line[i] != '\n' && line[i] != '#' && line[i] != ';') return line;
    }
    return std::string();
}

bool looks_like_nec(const std::string& path, const std::string& first) {
    size_t dot = path.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = lower(path.substr(dot));
        if (ext == ".nec" || ext == ".nec2") return true;
    }
    if (first.size() < 3) return false;
    std::string card = lower(first.substr(0, 2));
    if (card != "cm" && card != "ce" && card != "gw") return false;
    char c = first[2];
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

} // namespace

void model_set_override(const std::string& name, double value) {
    std::string n = name;
    cut(n, kNameMax);
    for (auto& o : g_overrides)
        if (iequals(o.name, n)) {
            o.value = value;
            return;
        }
    if (static_cast<int>(g_overrides.size()) < kMaxOverride) g_overrides.push_back({n, value});
}

void model_clear_overrides() {
    g_overrides.clear();
}

int model_override_count() {
    return static_cast<int>(g_overrides.size());
}

int model_get_override(const std::string& name, double* value) {
    std::string n = name;
    cut(n, kNameMax);
    for (const auto& o : g_overrides)
        if (iequals(o.name, n)) {
            if (value) *value = o.value;
            return 1;
        }
    return 0;
}

Wire& add_wire(Model& m) {
    return m.wires.emplace_back();
}
Source& add_src(Model& m) {
    return m.srcs.emplace_back();
}
Load& add_load(Model& m) {
    return m.loads.emplace_back();
}
TLine& add_tl(Model& m) {
    return m.tls.emplace_back();
}

Path& add_path(Model& m, const std::string& name, double radius, double sigma) {
    Path& p = m.paths.emplace_back();
    p.radius = radius;
    p.sigma = sigma;
    p.name = name.empty() ? strfmt("curve%d", m.npath()) : name;
    cut(p.name, kNameMax);
    return p;
}

void path_pt(Path& p, const Point& pt) {
    p.pts.push_back(pt);
}

int model_read(const std::string& path, Model& m, std::string& err) {
    m = Model();
    File f(std::fopen(path.c_str(), "r"));
    if (!f) return set_err(err, "cannot open %s", path.c_str());

    std::string first = first_significant_line(f.get());
    std::rewind(f.get());
    bool nec = looks_like_nec(path, first);

    expr_clearvars();
    // Overrides are visible as variables from the first line on.
    for (const auto& o : g_overrides) expr_setvar(o.name, o.value);

    int rc;
    if (nec) {
        m.is_nec = 1;
        rc = read_nec(f.get(), m, err);
    } else {
        rc = read_native(f.get(), m, err);
    }
    f.reset();
    if (rc != 0) return -1;

    if (m.wires.empty() && m.paths.empty()) return set_err(err, "no wires defined");
    if (!(m.f0 > 0) && m.nfreq >= 2) m.f0 = (m.fstart + m.fstop) / 2;
    if (!(m.f0 > 0)) return set_err(err, "no frequency (FREQ) given");
    if (m.srcs.empty()) return set_err(err, "no source defined");
    // Every sweep point is a full solution: a count beyond this is a typing
    // error, not a plan.
    if (m.nfreq > kMaxSweepPoints)
        return set_err(err, "sweep of %d points is too long (at most %d)", m.nfreq,
                       kMaxSweepPoints);
    for (Wire& w : m.wires)
        if (w.sigma < 0) w.sigma = m.mat_sigma;
    if (!(m.fmax > 0)) m.fmax = m.nfreq >= 2 ? std::max(m.fstart, m.fstop) : m.f0;
    if (m.title.empty()) {
        m.title = path;
        cut(m.title, kTitleMax);
    }
    return 0;
}
