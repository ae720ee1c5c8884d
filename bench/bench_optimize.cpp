// Optimizer speed on a 3-element Yagi-Uda for 20 m in free space (47
// segments) with 3 variables (reflector and director lengths, director
// spacing) and the goals gmax, fb and swr, at the default population of 30
// and 40 generations: 1230 evaluations, each a read, a mesh, a solve at the
// design frequency and a pattern summary. The whole -opt run, the final
// analysis alone, and one evaluation with its parts, so that the share of
// an evaluation spent outside the solve and the pattern summary shows.
// Wall-clock time throughout (the solve and the pattern search run on
// several threads).
//
//   ./build/bench/bench_optimize --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Medians are quoted in bench/README.md.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/pattern_summary.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "optimize/eval.h"
#include "optimize/optimize.h"
#include "parallel/par_for.h"
#include "solver/solve.h"

namespace {

namespace fs = std::filesystem;

// The model of examples/opt_yagi.ant.
const char* kYagi = "TITLE 3-element Yagi tuned for gain and F/B, 14.2 MHz\n"
                    "VAR f=14.2\n"
                    "VAR lrefl=10.60 ldrv=10.10 ldir=9.80\n"
                    "VAR sr=4.2 sd=3.2\n"
                    "VAR tube=0.025\n"
                    "FREQ f MHz\n"
                    "SWEEP 13.9 14.5 13\n"
                    "WIRE -sr -lrefl/2 0   -sr lrefl/2 0   d=tube name=refl\n"
                    "WIRE 0   -ldrv/2 0    0   ldrv/2 0    d=tube name=drv\n"
                    "WIRE sd  -ldir/2 0    sd  ldir/2 0    d=tube name=dir\n"
                    "SOURCE drv 50\n"
                    "MATERIAL aluminum\n"
                    "OPTVAR lrefl 10.2 11.0\n"
                    "OPTVAR ldir 9.2 10.2\n"
                    "OPTVAR sd 2.0 4.5\n"
                    "GOAL gmax\n"
                    "GOAL fb target=25 weight=0.5\n"
                    "GOAL swr target=2\n"
                    "OPTSET seed=1\n";
constexpr int kEvaluations = 41 * 30;

// The model in a scratch directory of its own (the optimized copy is
// written beside it), removed at exit.
struct Files {
    std::string dir, model, out;
    ~Files() {
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

const Files& files() {
    static Files f = [] {
        Files x;
        x.dir = (fs::temp_directory_path() / ("quarlin-bench-opt-" + std::to_string(getpid())))
                    .string();
        fs::create_directories(x.dir);
        x.model = x.dir + "/yagi.ant";
        x.out = x.dir + "/out";
        std::ofstream(x.model) << kYagi;
        return x;
    }();
    return f;
}

// Console output goes to /dev/null while a run is timed.
struct Silence {
    int saved;
    Silence() {
        std::fflush(stdout);
        saved = dup(1);
        std::FILE* null = std::fopen("/dev/null", "w");
        dup2(fileno(null), 1);
        std::fclose(null);
    }
    ~Silence() {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_OptimizeYagi(benchmark::State& st) {
    const Files& f = files();
    for (auto _ : st) {
        auto t0 = std::chrono::steady_clock::now();
        int code;
        {
            Silence quiet;
            code = opt_main(std::vector<std::string>{"quarlin", "-opt", f.model, "-o", f.out});
        }
        double s = seconds_since(t0);
        if (code != 0) st.SkipWithError("the optimizer failed");
        st.counters["evals_per_s"] = kEvaluations / s;
    }
}

// The same search on one worker thread, with st.range(0) generations:
// everything then runs on the calling thread, which is how the share of
// the solve and the pattern summary is counted with callgrind:
//   valgrind --tool=callgrind ./build/bench/bench_optimize
//       --benchmark_filter=Serial/4  (one command line)
void BM_OptimizeYagiSerial(benchmark::State& st) {
    const Files& f = files();
    const int gen = static_cast<int>(st.range(0));
    std::string model = f.dir + "/yagi_g" + std::to_string(gen) + ".ant";
    std::ofstream(model) << kYagi << "OPTSET gen=" << gen << "\n";
    set_threads(1);
    for (auto _ : st) {
        auto t0 = std::chrono::steady_clock::now();
        int code;
        {
            Silence quiet;
            code = opt_main(std::vector<std::string>{"quarlin", "-opt", model, "-o", f.out});
        }
        double s = seconds_since(t0);
        if (code != 0) st.SkipWithError("the optimizer failed");
        st.counters["evals_per_s"] = 30.0 * (gen + 1) / s;
    }
    set_threads(0);
}

void BM_FinalRunYagi(benchmark::State& st) {
    const Files& f = files();
    for (auto _ : st) {
        Silence quiet;
        if (run_main(std::vector<std::string>{"quarlin", "-o", f.out, f.model}) != 0)
            st.SkipWithError("the run failed");
    }
}

Model base_model() {
    Model m;
    std::string err;
    model_clear_overrides();
    model_read(files().model, m, err);
    return m;
}

// One evaluation at the model's own values.
void BM_Eval(benchmark::State& st) {
    Model base = base_model();
    const double x[] = {10.6, 9.8, 3.2};
    for (auto _ : st) {
        OptResult r;
        opt_eval(r, files().model, base, x);
        benchmark::DoNotOptimize(r.cost);
    }
    model_clear_overrides();
}

// Its parts: read and mesh (the optimizer's overhead), the solve, the
// pattern summary.
void BM_EvalReadMesh(benchmark::State& st) {
    for (auto _ : st) {
        Model m;
        Mesh mesh;
        std::string err;
        model_read(files().model, m, err);
        mesh_build(m, mesh, m.f0, err);
        benchmark::DoNotOptimize(mesh.seg.data());
    }
}

struct Solved {
    Model m;
    Mesh mesh;
    std::vector<cplx> cur;
    FreqResult fr;
    std::string err;
    Solved() {
        model_clear_overrides();
        model_read(files().model, m, err);
        mesh_build(m, mesh, m.f0, err);
        solve_freq(m, mesh, m.f0, cur, fr, 0, nullptr, err);
    }
};

void BM_EvalSolve(benchmark::State& st) {
    Solved s;
    for (auto _ : st) {
        solve_freq(s.m, s.mesh, s.m.f0, s.cur, s.fr, 0, nullptr, s.err);
        benchmark::DoNotOptimize(s.fr.zin);
    }
}

void BM_EvalPatternSummary(benchmark::State& st) {
    Solved s;
    for (auto _ : st) {
        pattern_summary(s.m, s.mesh, s.m.f0, s.cur, s.fr.pin, s.fr, nullptr, nullptr);
        benchmark::DoNotOptimize(s.fr.fb);
    }
}

} // namespace

BENCHMARK(BM_OptimizeYagi)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_OptimizeYagiSerial)
    ->Arg(4)
    ->Arg(40)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_FinalRunYagi)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Eval)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EvalReadMesh)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_EvalSolve)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EvalPatternSummary)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
