// Runs spread over MPI ranks (the MPI build only; make bench-mpi):
//
//   build-mpi/bench/bench_dist_mpi                 one process, every thread
//   mpirun -np 2 build-mpi/bench/bench_dist_mpi    two ranks, their threads
//                                                  shared out (one each here)
//
// DistSolve/8000: one frequency of an array of 40 dipoles, 8000 unknowns,
// solved with the matrix spread over the ranks (ScaLAPACK) or, alone, by the
// one-process solution. Sweep40/1000: a 40-point sweep of 5 dipoles of 200
// segments (1000 segments), the points going round the ranks. Every rank
// runs the same fixed number of iterations (the collective steps need it);
// rank 0 reports, with its peak resident memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "dist/dist.h"
#include "driver/results.h"
#include "driver/run.h"
#include "driver/sweep_run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

namespace {

// n dipoles 10 m long along z, 2 m apart along x, nseg segments each.
Model dipole_array(int n, int nseg, int nfreq) {
    std::string text = "TITLE array\nFREQ 14.2 MHz\n";
    if (nfreq > 1) text += strfmt("SWEEP 13 15.4 %d\n", nfreq);
    for (int i = 0; i < n; ++i)
        text += strfmt("WIRE %d 0 -5 %d 0 5 r=0.001 seg=%d name=d%d\n", 2 * i, 2 * i, nseg, i);
    text += "SOURCE d0 50\nEND\n";
    const std::string path = strfmt("/tmp/bench_dist_%d.ant", dist_rank());
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    Model m;
    std::string err;
    if (model_read(path, m, err) != 0) std::fprintf(stderr, "%s\n", err.c_str());
    return m;
}

double peak_rss_mb() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0; // kB on Linux
}

void BM_DistSolve(benchmark::State& state) {
    Model m = dipole_array(40, 201, 1);
    Mesh mesh;
    std::string err;
    mesh_build(m, mesh, m.f0, err);
    const bool spread = dist_size() > 1;
    for (auto _ : state) {
        std::vector<cplx> cur;
        FreqResult r;
        const int rc = dist_solve_freq(m, mesh, m.f0, cur, r, 0, nullptr, err, spread);
        if (rc != 0) state.SkipWithError(err.c_str());
        benchmark::DoNotOptimize(r.zin);
    }
    state.counters["unknowns"] = mesh.nunk();
    state.counters["ranks"] = dist_size();
    state.counters["rss_MB_rank0"] = peak_rss_mb();
}
BENCHMARK(BM_DistSolve)
    ->Name("DistSolve/8000")
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

void BM_Sweep(benchmark::State& state) {
    Model m = dipole_array(5, 200, 40);
    Mesh mesh;
    std::string err;
    mesh_build(m, mesh, m.f0, err);
    RunOptions opt;
    opt.quiet = true;
    for (auto _ : state) {
        RunResults res;
        if (sweep_run(opt, m, mesh, false, res, err) != EXIT_OK) state.SkipWithError(err.c_str());
        benchmark::DoNotOptimize(res.sweep.data());
    }
    state.counters["segments"] = mesh.nseg();
    state.counters["ranks"] = dist_size();
}
BENCHMARK(BM_Sweep)
    ->Name("Sweep40/1000")
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    DistSession session(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
