// The native keyword reader and the pieces its keyword handlers share.
#pragma once

#include <cstdio>
#include <string>

#include "model/model.h"
#include "model/tokens.h"

// Reads an open native model file to its end or to END. Returns 0, or -1
// with "line %d: ..." in err.
int read_native(std::FILE* f, Model& m, std::string& err);

// State of one read_native call, handed to every keyword handler.
struct NativeReader {
    Model& m;
    std::string& err;
    int line = 0;              // physical lines read so far
    double scale = 1.0;        // UNITS length scale
    double freq_unit = 1e6;    // unit of the last FREQ line (Hz per unit)
    long long path_points = 0; // points in all paths made so far

    // Writes "line %d: <message>" into err and returns -1.
    int fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Adds "line %d: <message>" to the model's warnings.
    void warn(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

// Checks a line's fields against what its keyword reads, after the
// expressions were substituted: a field that is to be a number and is none
// is refused (-1 after r.fail()); an unknown option, a field beyond those
// the keyword reads and an unknown unit or kind word are warned about.
int native_check_fields(NativeReader& r, const Tokens& t);

// A keyword handler reads one line's tokens (t[0] is the keyword) and
// returns 0, or -1 after r.fail().
using KeywordFn = int (*)(NativeReader& r, Tokens& t);

struct Keyword {
    const char* name;
    int min_tokens; // keyword included; fewer makes the keyword unknown
    int subst_from; // first token position substituted; -1 = none
    KeywordFn fn;
};

// Resolves a wire or path reference: a path name, a wire name (both any
// case), or a 1-based wire number. Returns the wire index (>= 0), -1 when
// not found, or -2 - k for path k.
int wire_ref(const Model& m, const std::string& text);
// Stores a wire_ref result into an element's wire/path fields.
void store_ref(int ref, int* wire, int* path);

// Conductivity of a material name or number, S/m (0 = perfect conductor).
double sigma_of(const std::string& text);
// Whether the text names a conductor material (copper, perfect ...) or a
// sleeve material (teflon, pvc ...), in any case.
bool material_known(const std::string& text);
bool sleeve_known(const std::string& text);
// Sleeve options ins=, insmm=, inseps=, insul= from token `first` on; the
// outputs hold the current values and keep them when no option is given.
void ins_opts(const Tokens& t, int first, double scale, double* thickness, double* permittivity);
// mat= from token `first` on into *sigma (kept when absent); -1 after
// r.fail() when the value is neither a material nor a finite number.
int mat_opt(NativeReader& r, const Tokens& t, int first, double* sigma);
// ins_opts with the UNITS scale; -1 after r.fail() naming the keyword when
// the thickness or permittivity is not finite.
int sleeve_opts(NativeReader& r, const Tokens& t, int first, const char* keyword, double* thickness,
                double* permittivity);
// Radius options shared by the wire-making keywords: r=, d=, dmm= (when
// allow_dmm), awg=, w=; the last present in that order wins.
double radius_opts(const Tokens& t, int first, double scale, double radius, bool allow_dmm);

// Bounds on what one line can make, so that a mistyped count cannot exhaust
// memory: the wires of one LOOP or POLYLINE, the pieces of one HELIX or
// CURVE path, and the wires and path points of the whole model.
constexpr int kMaxKeywordWires = 10000;
constexpr int kMaxPathPieces = 100000;
constexpr int kMaxModelWires = 100000;
constexpr int kMaxLinePoints = 64; // points a SPLINE or POLYLINE line reads at most
constexpr long long kMaxModelPathPoints = 1000000;

// Keyword handlers, grouped by file.
int kw_var(NativeReader& r, Tokens& t); // native.cpp
int kw_title(NativeReader& r, Tokens& t);
int kw_units(NativeReader& r, Tokens& t);
int kw_freq(NativeReader& r, Tokens& t);
int kw_sweep(NativeReader& r, Tokens& t);
int kw_wire(NativeReader& r, Tokens& t);
int kw_source(NativeReader& r, Tokens& t);
int kw_ground(NativeReader& r, Tokens& t); // native_settings.cpp
int kw_dish(NativeReader& r, Tokens& t);
int kw_mesh(NativeReader& r, Tokens& t);
int kw_z0(NativeReader& r, Tokens& t);
int kw_pattern(NativeReader& r, Tokens& t);
int kw_optvar(NativeReader& r, Tokens& t);
int kw_goal(NativeReader& r, Tokens& t);
int kw_optset(NativeReader& r, Tokens& t);
int kw_loop(NativeReader& r, Tokens& t); // native_curves.cpp
int kw_helix(NativeReader& r, Tokens& t);
int kw_spline(NativeReader& r, Tokens& t);
int kw_polyline(NativeReader& r, Tokens& t);
int kw_curve(NativeReader& r, Tokens& t);
int kw_load(NativeReader& r, Tokens& t); // native_loads.cpp
int kw_tl(NativeReader& r, Tokens& t);
int kw_material(NativeReader& r, Tokens& t); // materials.cpp
