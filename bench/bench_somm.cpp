// Sommerfeld ground speed beside nec2c: an array of 80 horizontal half-wave
// dipoles (25 segments each, radius 1 mm, 2000 segments in all) 2 m above
// average ground (eps 13, sigma 5 mS/m) at 299.8 MHz, parallel, half a
// wavelength apart along x, fed at the centre of the first. Measured: the
// Sommerfeld table of the array (nodes per second, both cores), the matrix
// fill with the table (quasi-static image and correction field) beside the
// fill with the reflection-coefficient image, the whole solve_freq, and
// `nec2c -i deck -o out` on the same structure with GN 2 and GN 0. Also the
// table of the printed dipole example (2.45 GHz, 1.6 mm FR-4).
//
//   ./build/bench/bench_somm --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Medians are quoted in bench/README.md.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../tests/support/hand_mesh.h"
#include "common/constants.h"
#include "ground/somm.h"
#include "nec2c_run.h"
#include "solver/kernel.h"
#include "solver/solve.h"

namespace {

constexpr double kF = 299.8e6;
constexpr int kSegPerDipole = 25;
constexpr int kDipoles = 80;
constexpr double kHeight = 2.0;

double lam() {
    return phys::c0 / kF;
}

struct Array {
    Mesh mesh;
    Model model;
};

// The dipoles run along y at x = i lam/2, z = 2 m; the first is fed at the
// node next to its centre.
Array make_array(int ground, int somm) {
    std::vector<HandWire> w;
    const double L = 0.5 * lam(), d = 0.5 * lam();
    for (int i = 0; i < kDipoles; ++i)
        w.push_back(
            HandWire{{i * d, -L / 2, kHeight}, {i * d, L / 2, kHeight}, kSegPerDipole, 0.001});
    Array a{hand_mesh(w, true), Model{}};
    const double yfeed = -L / 2 + 13 * L / kSegPerDipole;
    a.model = hand_model(kF, hand_unk_at(a.mesh, 0, yfeed, kHeight), ground);
    a.model.eps = 13;
    a.model.sigma = 0.005;
    a.model.somm = somm;
    return a;
}

cplx eps_c() {
    return cplx(13.0, -0.005 / (phys::two_pi * kF * phys::eps0));
}

// The table solve_freq builds for the array: rho up to 1.01 times the
// diagonal of the bounding box, zs = 2 z; the array is flat, so only the
// row of zs = 4 m is computed (every row with flat = false).
std::unique_ptr<SommTable> array_table(bool flat = true) {
    const double dx = (kDipoles - 1) * 0.5 * lam(), dy = 0.5 * lam();
    std::unique_ptr<SommTable> t;
    std::string err;
    if (somm_table(kF, eps_c(), LAYER_HALFSPACE, 0.0, 1.01 * std::hypot(dx, dy), 2 * kHeight,
                   1.01 * 2 * kHeight, t, err, flat ? 2 * kHeight : -1.0) != 0)
        std::fprintf(stderr, "%s\n", err.c_str());
    return t;
}

void BM_SommTable(benchmark::State& st) {
    int nodes = 0;
    for (auto _ : st) {
        std::unique_ptr<SommTable> t = array_table(st.range(0) != 0);
        nodes = t ? t->nrho * static_cast<int>(t->rows.size()) : 0;
        benchmark::DoNotOptimize(t.get());
    }
    st.counters["nodes"] = nodes;
    st.counters["nodes/s"] =
        benchmark::Counter(nodes, benchmark::Counter::kIsIterationInvariantRate);
}

// The table of examples/pcb_dipole.ant: a 46 mm trace on 1.6 mm FR-4
// (eps 4.4, loss tangent 0.02) without ground plane at 2.45 GHz; the
// trace lies on the board, so two of the six zs rows are computed.
void BM_SommTableBoard(benchmark::State& st) {
    int nodes = 0;
    for (auto _ : st) {
        std::unique_ptr<SommTable> t;
        std::string err;
        somm_table(2.45e9, 4.4 * cplx(1.0, -0.02), LAYER_FREE_SLAB, 0.0016, 1.01 * 0.046, 0.0, 0.0,
                   t, err, 0.0);
        nodes = t ? t->nrho * static_cast<int>(t->rows.size()) : 0;
        benchmark::DoNotOptimize(t.get());
    }
    st.counters["nodes"] = nodes;
    st.counters["nodes/s"] =
        benchmark::Counter(nodes, benchmark::Counter::kIsIterationInvariantRate);
}

// The matrix fill over real ground: with range(0) = 1 the quasi-static
// image plus the table's correction field (the table built beforehand),
// with 0 the reflection-coefficient image.
void BM_Fill(benchmark::State& st) {
    const bool somm = st.range(0) != 0;
    Array a = make_array(GROUND_REAL, somm ? 1 : 0);
    const int n = a.mesh.nunk();
    std::unique_ptr<SommTable> t;
    if (somm) t = array_table();
    std::vector<cplx> Z(static_cast<size_t>(n) * n);
    FillGeom g;
    fill_geom_build(a.mesh, true, g);
    for (auto _ : st) {
        std::fill(Z.begin(), Z.end(), cplx(0.0));
        fill_matrix(a.model, a.mesh, kF, g, Z.data(), n, t.get(), somm ? somm_corr_field : nullptr);
        benchmark::DoNotOptimize(Z.data());
    }
    st.counters["unknowns"] = n;
}

// The whole solution at one frequency (table, fill, factorization).
void BM_Solve(benchmark::State& st) {
    const bool somm = st.range(0) != 0;
    Array a = make_array(GROUND_REAL, somm ? 1 : 0);
    std::vector<cplx> cur;
    FreqResult res;
    std::string err;
    for (auto _ : st) {
        if (solve_freq(a.model, a.mesh, kF, cur, res, 0, nullptr, err) != 0)
            st.SkipWithError(err.c_str());
    }
    st.counters["R"] = res.zin.real();
    st.counters["X"] = res.zin.imag();
}

// The same array as a NEC deck with GN 2 (range(0) = 1) or GN 0.
void BM_Nec2c(benchmark::State& st) {
    const bool somm = st.range(0) != 0;
    if (!nec2c_present(st)) return;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "quarlin_bench_somm";
    std::filesystem::create_directories(dir);
    const std::string name = somm ? "array_gn2" : "array_gn0";
    std::filesystem::path deck = dir / (name + ".nec"), out = dir / (name + ".out");
    {
        std::ofstream f(deck);
        f << "CM quarlin Sommerfeld benchmark\nCE\n";
        const double L = 0.5 * lam(), d = 0.5 * lam();
        char line[200];
        for (int i = 0; i < kDipoles; ++i) {
            std::snprintf(line, sizeof line, "GW %d %d %.9f %.9f %.9f %.9f %.9f %.9f 0.001\n",
                          i + 1, kSegPerDipole, i * d, -L / 2, kHeight, i * d, L / 2, kHeight);
            f << line;
        }
        f << "GE 1\nGN " << (somm ? 2 : 0)
          << " 0 0 0 13 0.005\nEX 0 1 13 0 1 0\nFR 0 1 0 0 299.8 0\nXQ\nEN\n";
    }
    nec2c_run(st, deck, out);
}

} // namespace

// The CPU column is the processor time of the whole process (every worker).
BENCHMARK(BM_SommTable)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_SommTableBoard)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Fill)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Solve)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Nec2c)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

BENCHMARK_MAIN();
