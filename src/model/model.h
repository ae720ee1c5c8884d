// The in-memory antenna model: wires and sampled curves, sources, loads,
// transmission lines and networks, ground, frequencies, meshing, pattern and
// optimizer settings, and an optional parabolic reflector.
//
// Units: metres, hertz, siemens per metre; angles in degrees where a field
// holds an angle. Element arrays are owned std::vectors: a Model is released
// when it goes out of scope, and copying a Model copies its elements.
#pragma once

#include <complex>
#include <string>
#include <vector>

enum GroundKind : int {
    GROUND_FREE = 0,
    GROUND_PERFECT = 1,
    GROUND_REAL = 2,
    GROUND_MININEC = 3,
    GROUND_PCB = 4,
};

enum LoadType : int {
    LOAD_SERIES = 0,           // R + jwL + 1/(jwC)
    LOAD_PARALLEL = 1,         // R || L || C
    LOAD_SERIES_PER_LEN = 2,   // the same per metre (NEC decks only)
    LOAD_PARALLEL_PER_LEN = 3, // (NEC decks only)
    LOAD_IMPEDANCE = 4,        // R + jX, X held in `l`
    LOAD_CONDUCTIVITY = 5,     // wire conductivity held in `r` (NEC decks only)
};

enum GoalKind : int {
    GOAL_GAIN = 1,
    GOAL_FB = 2,
    GOAL_SWR = 3,
    GOAL_R = 4,
    GOAL_X = 5,
    GOAL_GMAX = 6,
};

// Length limits of names and titles (characters).
constexpr int kNameMax = 31;
constexpr int kTitleMax = 255;
constexpr int kMaxOptVar = 16;
constexpr int kMaxGoal = 12;
constexpr int kMaxOverride = 32;
constexpr int kMaxSweepPoints = 100000;

struct Point {
    double x = 0, y = 0, z = 0;
};

struct Wire {
    double x1 = 0, y1 = 0, z1 = 0;
    double x2 = 0, y2 = 0, z2 = 0;
    double radius = 0;
    int nseg = 0;       // 0 = chosen by the mesher
    int tag = 0;        // native: 1-based position; NEC: the GW tag
    double sigma = -1;  // S/m; 0 = perfect; negative = not given
    double ins_t = 0;   // insulating sleeve thickness, m; 0 = bare
    double ins_eps = 0; // sleeve relative permittivity
    std::string name;   // at most 31 characters; empty = unnamed
};

// A curve sampled as a polyline; the mesher cuts it by arc length.
struct Path {
    std::vector<Point> pts;
    double radius = 0;
    double sigma = -1;
    double ins_t = 0;
    double ins_eps = 0;
    std::string name; // given name, else "curve%d"
    int npt() const { return static_cast<int>(pts.size()); }
};

struct Source {
    int wire = -1;          // 0-based wire index, or -1
    int path = -1;          // 0-based path index, or -1
    double pos = 0;         // fraction of the length from the first end
    int tag = 0;            // NEC: tag of the excited wire
    int seg = 0;            // NEC: segment number within the tag
    std::complex<double> v; // volts
    int unk = -1;           // current unknown, set by the mesher
};

struct Load {
    int type = LOAD_SERIES;
    int wire = -1;
    int path = -1;
    double pos = 0;
    int tag = 0;
    int seg1 = 0;
    int seg2 = 0;
    double r = 0; // ohm; for LOAD_CONDUCTIVITY the conductivity
    double l = 0; // henry; for LOAD_IMPEDANCE the reactance in ohm
    double c = 0; // farad
    int unk = -1; // unknown of a lumped load; -1 until placed / distributed
};

// A transmission line between two points of the structure, or a NEC
// two-port network given by its short-circuit admittances.
struct TLine {
    int wire1 = -1, path1 = -1;
    double pos1 = 0;
    int tag1 = 0, seg1 = 0;
    int wire2 = -1, path2 = -1;
    double pos2 = 0;
    int tag2 = 0, seg2 = 0;
    double z0 = 0;                      // ohm; 0 for a network
    double len = 0;                     // m; <= 0 = straight distance between the ends
    double vf = 1.0;                    // velocity factor
    double loss = 0;                    // dB per 100 m
    int rev = 0;                        // 1 = connected reversed (crossed)
    std::complex<double> y11, y12, y22; // network admittances, S
    // Shunt admittances across the line's two ports (NEC TL fields F7..F10),
    // added to the port admittance matrix; zero for native lines.
    std::complex<double> y1, y2;
    int unk1 = -1, unk2 = -1; // unknowns of the two ends, set by the mesher
};

struct OptVar {
    std::string name;
    double lo = 0, hi = 0;
};

struct Goal {
    int kind = GOAL_GMAX;
    double theta = 90;
    double phi = 0;
    double target = 0;
    double weight = 1.0;
};

struct Model {
    std::string title;
    std::vector<Wire> wires;
    std::vector<Path> paths;
    std::vector<Source> srcs;
    std::vector<Load> loads;
    std::vector<TLine> tls;

    int ground = GROUND_FREE;
    double eps = 13.0;    // real ground relative permittivity
    double sigma = 0.005; // real ground conductivity, S/m
    int somm = 0;         // 1 = Sommerfeld correction (GROUND_REAL only)
    double pcb_eps = 0;
    double pcb_tand = 0;
    double pcb_h = 0;
    int pcb_gnd = 0;

    double f0 = 0; // design frequency, Hz
    double fstart = 0;
    double fstop = 0;
    int nfreq = 0; // sweep exists when >= 2
    double z0ref = 50.0;
    double segwl = 30.0; // segments per wavelength
    double angle = 0;    // largest bend per path segment, degrees; 0 = default
    int taper = 1;
    int ends = 1;         // 1 = native meshes grade toward free wire ends
    double mat_sigma = 0; // default wire conductivity; 0 = perfect
    double dth = 2.0;     // pattern steps, degrees
    double dph = 5.0;
    int is_nec = 0;
    // NEC decks: sub-segments per segment of the deck (1, or 2 for the mesh
    // convergence check). The sub-segments of one deck segment share its
    // number, and a port sits on the node between the two of them.
    int nec_refine = 1;
    double fmax = 0; // meshing frequency, Hz

    // Warnings of the reader, "line %d: ...": input that is read but not used
    // as written (cards this build does not model, unknown options).
    std::vector<std::string> warnings;

    std::vector<OptVar> opt; // at most 16
    std::vector<Goal> goal;  // at most 12
    int pop = 0;
    int gen = 0;
    int seed = 0;

    int dish = 0;
    double dish_d = 0;
    double dish_f = 0;
    double dish_mesh = 0;
    double dish_wire_r = 0;
    double dish_block = 0;
    double dish_q = 0;

    int nwire() const { return static_cast<int>(wires.size()); }
    int npath() const { return static_cast<int>(paths.size()); }
    int nsrc() const { return static_cast<int>(srcs.size()); }
    int nload() const { return static_cast<int>(loads.size()); }
    int ntl() const { return static_cast<int>(tls.size()); }
    int nopt() const { return static_cast<int>(opt.size()); }
    int ngoal() const { return static_cast<int>(goal.size()); }
};

// Reads a model file (native format or NEC card deck), then checks and
// completes it. Returns 0, or -1 with a one-line message in err (at most
// 511 bytes). The model is always reset first.
int model_read(const std::string& path, Model& m, std::string& err);

// Override table: named values that replace the model's own VAR values on
// the next reads (used by the optimizer). Names compare without regard to
// case; at most 32 names of at most 31 characters.
void model_set_override(const std::string& name, double value);
void model_clear_overrides();
int model_override_count();
// Looks an override up by name; returns 1 and the value when it exists.
int model_get_override(const std::string& name, double* value);

// Append operations; each returns a reference to the new element, valid
// until the next append to the same array.
Wire& add_wire(Model& m);
Source& add_src(Model& m);
Load& add_load(Model& m);
TLine& add_tl(Model& m);
Path& add_path(Model& m, const std::string& name, double radius, double sigma);
void path_pt(Path& p, const Point& pt);
