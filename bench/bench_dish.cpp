// Reflector cost: whole dish_solve runs (surface, feed, spillover, the two
// cuts and the 2 x 5 degree pattern grid of 91 x 73 directions) with the
// analytic feed at 10, 20 and 50 wavelengths, and at 20 wavelengths with a
// half-wave dipole feed (72,000 spillover directions through the far field
// of the wire). The surface sum over all points for every direction is the
// bulk of it; BM_SumFloor times the least such a sum can cost, one sine and
// cosine and one complex multiply-add per point and direction.
//
//   ./build/bench/bench_dish --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true  (one command line)
#include <benchmark/benchmark.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "common/constants.h"
#include "dish/dish.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "parallel/par_for.h"
#include "solver/sincos.h"
#include "solver/solve.h"

namespace {

constexpr double kFreq = 299792458.0; // lambda = 1 m
constexpr int kNth = 91, kNph = 73;

struct Grid {
    std::vector<float> gt, gv, gh, gr, gl;
    Grid() {
        for (auto* a : {&gt, &gv, &gh, &gr, &gl}) a->resize(kNth * kNph);
    }
};

void report(benchmark::State& state, const DishResult& r) {
    const double dirs = 2.0 * r.ncut + kNth * kNph;
    state.counters["points"] = r.npts;
    state.counters["directions"] = dirs;
    // Wall-clock time per point and direction of the whole run.
    state.counters["ns_per_term"] =
        benchmark::Counter(r.npts * dirs * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

// Arguments: diameter in wavelengths, threads (0 = all processors).
void BM_DishAnalytic(benchmark::State& state) {
    Model m;
    m.dish = 1;
    m.dish_d = static_cast<double>(state.range(0));
    m.dish_f = 0.4 * m.dish_d;
    m.dish_q = 2;
    Mesh mesh;
    std::vector<cplx> cur;
    Grid g;
    DishResult r;
    std::string err;
    set_threads(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        dish_solve(m, mesh, kFreq, cur, 0, 0, r, kNth, kNph, 2, 5, g.gt.data(), g.gv.data(),
                   g.gh.data(), g.gr.data(), g.gl.data(), err);
        benchmark::DoNotOptimize(g.gt.data());
    }
    set_threads(0);
    report(state, r);
}

// A half-wave dipole along x at the focus, solved once.
struct DipoleFeed {
    Model m;
    Mesh mesh;
    std::vector<cplx> cur;
    FreqResult fr;
    DipoleFeed() {
        const std::string path = "/tmp/quarlin_bench_dish_feed.ant";
        std::ofstream("/tmp/quarlin_bench_dish_feed.ant")
            << "FREQ 299.792458\nWIRE -0.235 0 0 0.235 0 0 r=0.0005\nSOURCE 1 50\n"
               "DISH D=20 FD=0.4\n";
        std::string err;
        model_read(path, m, err);
        mesh_build(m, mesh, m.f0, err);
        solve_freq(m, mesh, m.f0, cur, fr, 1, nullptr, err);
    }
};

void BM_DishDipole(benchmark::State& state) {
    static const DipoleFeed feed;
    Grid g;
    DishResult r;
    std::string err;
    set_threads(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        dish_solve(feed.m, feed.mesh, feed.m.f0, feed.cur, feed.fr.pin, feed.fr.prad, r, kNth, kNph,
                   2, 5, g.gt.data(), g.gv.data(), g.gh.data(), g.gr.data(), g.gl.data(), err);
        benchmark::DoNotOptimize(g.gt.data());
    }
    set_threads(0);
    report(state, r);
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#define FLOOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define FLOOR_CLONES
#endif

// sum_p J_p exp(j a_p) over n points, chunk by chunk: the phases, the batched
// sine and cosine, one complex multiply-add per point.
FLOOR_CLONES
cplx floor_sum(const double* a, const double* jr, const double* ji, int n) {
    constexpr int kChunk = 256;
    alignas(64) double sn[kChunk], cs[kChunk], re[kChunk] = {}, im[kChunk] = {};
    for (int c0 = 0; c0 < n; c0 += kChunk) {
        sincos_many(a + c0, sn, cs, kChunk);
        for (int i = 0; i < kChunk; ++i) {
            const int p = c0 + i;
            re[i] += jr[p] * cs[i] - ji[p] * sn[i];
            im[i] += jr[p] * sn[i] + ji[p] * cs[i];
        }
    }
    double r = 0, m = 0;
    for (int i = 0; i < kChunk; ++i) {
        r += re[i];
        m += im[i];
    }
    return {r, m};
}

// One thread, 20,480 points (a 20-wavelength dish).
void BM_SumFloor(benchmark::State& state) {
    const int n = 20480;
    std::vector<double> a(n), jr(n), ji(n);
    for (int i = 0; i < n; ++i) {
        a[static_cast<size_t>(i)] = 0.37 * i;
        jr[static_cast<size_t>(i)] = std::cos(0.1 * i);
        ji[static_cast<size_t>(i)] = std::sin(0.3 * i);
    }
    for (auto _ : state) benchmark::DoNotOptimize(floor_sum(a.data(), jr.data(), ji.data(), n));
    state.counters["ns_per_term"] = benchmark::Counter(
        n * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_DishAnalytic)
    ->ArgsProduct({{10, 20, 50}, {0}})
    ->Args({20, 1})
    ->Args({50, 1})
    ->ArgNames({"wavelengths", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_DishDipole)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SumFloor)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
