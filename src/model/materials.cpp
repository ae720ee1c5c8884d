// Conductor materials, insulating sleeves and wire radius options.
#include <cmath>

#include "common/text.h"
#include "model/native.h"

namespace {

struct Named {
    const char* name;
    double value;
};

// Conductivities in S/m.
const Named kMaterials[] = {
    {"copper", 5.8e7}, {"aluminum", 3.5e7},  {"aluminium", 3.5e7}, {"brass", 1.5e7},
    {"steel", 1.0e7},  {"stainless", 1.4e6}, {"silver", 6.2e7},    {"gold", 4.1e7},
    {"perfect", 0.0},  {"pec", 0.0},
};
// Relative permittivities of sleeve materials.
const Named kSleeves[] = {
    {"teflon", 2.1}, {"ptfe", 2.1}, {"pvc", 3.5}, {"pe", 2.3}, {"polyethylene", 2.3},
};

template <size_t N> const Named* find_named(const Named (&table)[N], const std::string& text) {
    for (const Named& n : table)
        if (iequals(text, n.name)) return &n;
    return nullptr;
}

double sleeve_eps(const std::string& text) {
    const Named* n = find_named(kSleeves, text);
    return n ? n->value : num_d(text);
}

} // namespace

double sigma_of(const std::string& text) {
    const Named* n = find_named(kMaterials, text);
    return n ? n->value : num_d(text);
}

bool material_known(const std::string& text) {
    return find_named(kMaterials, text) != nullptr;
}

bool sleeve_known(const std::string& text) {
    return find_named(kSleeves, text) != nullptr;
}

void ins_opts(const Tokens& t, int first, double scale, double* thickness, double* permittivity) {
    if (auto v = kv(t, first, "ins")) *thickness = num_d(*v) * scale;
    if (auto v = kv(t, first, "insmm")) *thickness = num_d(*v) * 0.001;
    if (auto v = kv(t, first, "inseps")) *permittivity = num_d(*v);
    if (auto v = kv(t, first, "insul")) *permittivity = sleeve_eps(*v);
    // A sleeve without a usable permittivity is taken as PTFE.
    if (*thickness > 0 && *permittivity <= 1) *permittivity = 2.1;
}

double radius_opts(const Tokens& t, int first, double scale, double radius, bool allow_dmm) {
    if (auto v = kv(t, first, "r")) radius = num_d(*v) * scale;
    if (auto v = kv(t, first, "d")) radius = num_d(*v) * scale / 2;
    if (allow_dmm)
        if (auto v = kv(t, first, "dmm")) radius = num_d(*v) * 0.001 / 2;
    // American wire gauge: diameter 0.127 mm * 92^((36 - n) / 39).
    if (auto v = kv(t, first, "awg"))
        radius = 0.5 * 0.000127 * std::pow(92.0, (36 - num_i(*v)) / 39.0);
    // A flat strip of width w radiates like a round wire of radius w/4.
    if (auto v = kv(t, first, "w")) radius = num_d(*v) * scale * 0.25;
    return radius;
}

int mat_opt(NativeReader& r, const Tokens& t, int first, double* sigma) {
    auto v = kv(t, first, "mat");
    if (!v) return 0;
    double s = sigma_of(*v);
    // "nan" or "1e999" would reach the skin-effect formulas as NaN or infinity.
    if (!std::isfinite(s))
        return r.fail("mat=%s is neither a material nor a finite conductivity", v->c_str());
    *sigma = s;
    return 0;
}

int sleeve_opts(NativeReader& r, const Tokens& t, int first, const char* keyword, double* thickness,
                double* permittivity) {
    ins_opts(t, first, r.scale, thickness, permittivity);
    if (!std::isfinite(*thickness) || !std::isfinite(*permittivity))
        return r.fail("%s sleeve thickness and permittivity must be finite numbers", keyword);
    return 0;
}

int kw_material(NativeReader& r, Tokens& t) {
    double s = sigma_of(t[1]);
    if (!std::isfinite(s))
        return r.fail("MATERIAL %s is neither a material nor a finite conductivity", t[1].c_str());
    r.m.mat_sigma = s;
    return 0;
}
