// Far-field cost on two 2000-segment structures: the 2 x 5 degree gain grid
// (91 x 73 directions) and the 6912-direction power integration, in free
// space and over a real ground (two passes over the segments), on all
// processors and, for comparison, on one. The helix turns every segment
// (no two share a direction); the array is 80 straight half-wave dipoles of
// 25 segments each, the usual case of long straight wires.
//
//   ./build/bench/bench_farfield --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The time per segment and direction is quoted in bench/README.md.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "parallel/par_for.h"
#include "solver/pattern.h"

namespace {

constexpr double kFreq = 14e6;
constexpr int kSegs = 2000;

Segment seg_between(const double a[3], const double b[3]) {
    Segment s;
    double len = std::sqrt((b[0] - a[0]) * (b[0] - a[0]) + (b[1] - a[1]) * (b[1] - a[1]) +
                           (b[2] - a[2]) * (b[2] - a[2]));
    for (int i = 0; i < 3; ++i) {
        s.a[i] = a[i];
        s.b[i] = b[i];
        s.c[i] = 0.5 * (a[i] + b[i]);
        s.dir[i] = (b[i] - a[i]) / len;
    }
    s.len = len;
    s.radius = 1e-3;
    return s;
}

Unknown joint(int s) {
    Unknown u;
    u.nref = 2;
    u.ref[0] = SegRef{s, 1, +1};
    u.ref[1] = SegRef{s + 1, 0, +1};
    u.node = s;
    return u;
}

struct Structure {
    Mesh mesh;
    std::vector<cplx> cur;
    void helix();
    void array();
};

// A helix of 2000 segments (40 turns, radius 2 m, 0.5 m pitch, starting
// 1 m above the ground) with a triangle unknown at every interior node and
// a smooth travelling-wave current.
void Structure::helix() {
    const double turns = 40, r = 2.0, pitch = 0.5, z0 = 1.0;
    double prev[3] = {r, 0.0, z0};
    for (int s = 1; s <= kSegs; ++s) {
        double t = phys::two_pi * turns * s / kSegs;
        double p[3] = {r * std::cos(t), r * std::sin(t), z0 + pitch * t / phys::two_pi};
        mesh.seg.push_back(seg_between(prev, p));
        for (int i = 0; i < 3; ++i) prev[i] = p[i];
    }
    for (int s = 0; s + 1 < kSegs; ++s) {
        mesh.unk.push_back(joint(s));
        double x = static_cast<double>(s) / kSegs;
        cur.push_back(std::polar(1.0 - 0.6 * x, -25.0 * x));
    }
}

// 80 half-wave dipoles for 14 MHz along y, half a wavelength apart along x,
// 2 m above the ground, 25 segments each, with a half-sine current whose
// phase steps from dipole to dipole.
void Structure::array() {
    const int ndip = 80, per = kSegs / ndip;
    const double lam = phys::c0 / kFreq, half = 0.25 * lam;
    for (int d = 0; d < ndip; ++d) {
        const double x = 0.5 * lam * d;
        for (int i = 0; i < per; ++i) {
            const double a[3] = {x, -half + 2 * half * i / per, 2.0};
            const double b[3] = {x, -half + 2 * half * (i + 1) / per, 2.0};
            mesh.seg.push_back(seg_between(a, b));
        }
        for (int i = 0; i + 1 < per; ++i) {
            mesh.unk.push_back(joint(d * per + i));
            cur.push_back(std::polar(std::sin(phys::pi * (i + 1) / per), -0.3 * d));
        }
    }
}

// Argument: 0 the helix, 1 the array.
const Structure& structure(int which) {
    static const Structure helix = [] {
        Structure h;
        h.helix();
        return h;
    }();
    static const Structure array = [] {
        Structure a;
        a.array();
        return a;
    }();
    return which ? array : helix;
}

Model model_of(int ground) {
    Model m;
    m.ground = ground;
    return m;
}

void BM_PatternGrid(benchmark::State& state) {
    const Structure& s = structure(static_cast<int>(state.range(2)));
    Model m = model_of(static_cast<int>(state.range(0)));
    set_threads(static_cast<int>(state.range(1)));
    const int nth = 91, nph = 73;
    std::vector<float> gt(nth * nph), gv(nth * nph), gh(nth * nph), gr(nth * nph), gl(nth * nph);
    for (auto _ : state) {
        pattern_grid(m, s.mesh, kFreq, s.cur, 1.0, nth, nph, 2.0, 5.0, gt.data(), gv.data(),
                     gh.data(), gr.data(), gl.data());
        benchmark::DoNotOptimize(gt.data());
    }
    set_threads(0);
    state.counters["directions"] = nth * nph;
}

void BM_PradIntegrate(benchmark::State& state) {
    const Structure& s = structure(static_cast<int>(state.range(2)));
    Model m = model_of(static_cast<int>(state.range(0)));
    set_threads(static_cast<int>(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(prad_integrate(m, s.mesh, kFreq, s.cur));
    set_threads(0);
}

// Arguments: ground kind (0 free, 2 real), threads (0 = all processors),
// structure (0 helix, 1 array).
BENCHMARK(BM_PatternGrid)
    ->ArgsProduct({{GROUND_FREE, GROUND_REAL}, {0, 1}, {0, 1}})
    ->ArgNames({"ground", "threads", "structure"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PradIntegrate)
    ->ArgsProduct({{GROUND_FREE, GROUND_REAL}, {0, 1}, {0, 1}})
    ->ArgNames({"ground", "threads", "structure"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
