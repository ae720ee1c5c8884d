// Moment-method solver speed beside nec2c on free-space arrays of half-wave
// dipoles (25 segments each, radius 1 mm, 14.2 MHz, spaced half a
// wavelength along x): matrix fill, factorization, the whole solution, and
// `nec2c -i deck -o out` on the same structure (same segment count, one
// frequency, no pattern). Wall-clock time throughout (the fill and the
// factorization run on several threads).
//
//   ./build/bench/bench_solver --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Medians are quoted in bench/README.md.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/support/hand_mesh.h"
#include "common/constants.h"
#include "nec2c_run.h"
#include "solver/kernel.h"
#include "solver/lu.h"
#include "solver/solve.h"

#if QUARLIN_HAVE_LAPACK
extern "C" void zgetrf_(const int* m, const int* n, cplx* a, const int* lda, int* ipiv, int* info);
#endif

namespace {

constexpr double kF = 14.2e6;
constexpr int kSegPerDipole = 25;

double lam() {
    return phys::c0 / kF;
}
double dipole_len() {
    return 0.5 * lam();
}

struct Array {
    Mesh mesh;
    Model model;
};

// nseg / 25 parallel dipoles along z, half a wavelength apart along x; the
// first one is fed at the node next to its centre.
Array make_array(int nseg) {
    std::vector<HandWire> w;
    const double L = dipole_len(), d = 0.5 * lam();
    for (int i = 0; i < nseg / kSegPerDipole; ++i)
        w.push_back(HandWire{{i * d, 0, -L / 2}, {i * d, 0, L / 2}, kSegPerDipole, 0.001});
    Array a{hand_mesh(w), Model{}};
    const double zfeed = -L / 2 + 13 * L / kSegPerDipole;
    a.model = hand_model(kF, hand_unk_at(a.mesh, 0, 0, zfeed));
    return a;
}

void BM_Fill(benchmark::State& st) {
    Array a = make_array(static_cast<int>(st.range(0)));
    const int n = a.mesh.nunk();
    std::vector<cplx> Z(static_cast<size_t>(n) * n);
    for (auto _ : st) {
        std::fill(Z.begin(), Z.end(), cplx(0.0));
        FillGeom g;
        fill_geom_build(a.mesh, false, g);
        fill_matrix(a.model, a.mesh, kF, g, Z.data(), n);
        benchmark::DoNotOptimize(Z.data());
    }
    st.counters["unknowns"] = n;
}

// A filled impedance matrix of the array, to factor.
std::vector<cplx> filled(const Array& a) {
    const int n = a.mesh.nunk();
    std::vector<cplx> Z(static_cast<size_t>(n) * n);
    FillGeom g;
    fill_geom_build(a.mesh, false, g);
    fill_matrix(a.model, a.mesh, kF, g, Z.data(), n);
    return Z;
}

template <int (*Solve)(cplx*, cplx*, int)> void BM_Factor(benchmark::State& st) {
    Array a = make_array(static_cast<int>(st.range(0)));
    const int n = a.mesh.nunk();
    const std::vector<cplx> Z0 = filled(a);
    std::vector<cplx> Z, b;
    for (auto _ : st) {
        st.PauseTiming();
        Z = Z0;
        b.assign(static_cast<size_t>(n), cplx(0.0));
        b[a.model.srcs[0].unk] = 1.0;
        st.ResumeTiming();
        if (Solve(Z.data(), b.data(), n) != 0) st.SkipWithError("singular");
    }
    // Complex LU: 8 n^3 / 3 real floating-point operations.
    st.counters["GFLOP/s"] = benchmark::Counter(8.0 * n * n * n / 3.0 * 1e-9,
                                                benchmark::Counter::kIsIterationInvariantRate);
    st.counters["unknowns"] = n;
}

#if QUARLIN_HAVE_LAPACK
// OpenBLAS's own zgetrf on the same matrix, the yardstick of the factorization.
void BM_Zgetrf(benchmark::State& st) {
    Array a = make_array(static_cast<int>(st.range(0)));
    const int n = a.mesh.nunk();
    const std::vector<cplx> Z0 = filled(a);
    std::vector<cplx> Z;
    std::vector<int> ipiv(static_cast<size_t>(n));
    for (auto _ : st) {
        st.PauseTiming();
        Z = Z0;
        st.ResumeTiming();
        int info = 0;
        zgetrf_(&n, &n, Z.data(), &n, ipiv.data(), &info);
        if (info != 0) st.SkipWithError("singular");
    }
    st.counters["GFLOP/s"] = benchmark::Counter(8.0 * n * n * n / 3.0 * 1e-9,
                                                benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Zgetrf)->Arg(2000)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

void BM_Solve(benchmark::State& st) {
    Array a = make_array(static_cast<int>(st.range(0)));
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

// The same array as a NEC deck, fed at the centre segment of the first dipole.
void BM_Nec2c(benchmark::State& st) {
    const int nseg = static_cast<int>(st.range(0));
    if (!nec2c_present(st)) return;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "quarlin_bench_nec";
    std::filesystem::create_directories(dir);
    std::filesystem::path deck = dir / ("array" + std::to_string(nseg) + ".nec");
    std::filesystem::path out = dir / ("array" + std::to_string(nseg) + ".out");
    {
        std::ofstream f(deck);
        f << "CM quarlin solver benchmark\nCE\n";
        const double L = dipole_len(), d = 0.5 * lam();
        char line[200];
        for (int i = 0; i < nseg / kSegPerDipole; ++i) {
            std::snprintf(line, sizeof line, "GW %d %d %.9f 0 %.9f %.9f 0 %.9f 0.001\n", i + 1,
                          kSegPerDipole, i * d, -L / 2, i * d, L / 2);
            f << line;
        }
        f << "GE 0\nEX 0 1 13 0 1 0\nFR 0 1 0 0 14.2 0\nXQ\nEN\n";
    }
    nec2c_run(st, deck, out);
}

const std::vector<int64_t> kSizes = {250, 500, 1000, 2000, 4000};

void sizes(benchmark::internal::Benchmark* b) {
    for (int64_t n : kSizes) b->Arg(n);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_Fill)->Apply(sizes);
BENCHMARK(BM_Factor<lu_solve>)->Name("BM_Factor")->Apply(sizes);
BENCHMARK(BM_Factor<lu_solve_ref>)
    ->Name("BM_FactorReference")
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Solve)->Apply(sizes);
BENCHMARK(BM_Nec2c)->Apply(sizes)->Iterations(1)->Repetitions(3);

BENCHMARK_MAIN();
