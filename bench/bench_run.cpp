// What the plots and data files (-plot -csv -s1p) add to a whole run of a
// 2000-segment model: 80 half-wave dipoles (25 segments each, radius 1 mm)
// half a wavelength apart along x, one fed, a three-point sweep around
// 14.2 MHz and the 2 x 5 degree pattern grid (91 x 73 directions). Whole
// runs through run_main, quiet, into a scratch directory; wall-clock time.
//
//   ./build/bench/bench_run --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// BM_Run/0 is the plain run, BM_Run/1 the same with every plot and export;
// BM_Cuts the two pattern cuts alone on the solved design currents.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/pattern_cut.h"
#include "solver/solve.h"

namespace {

namespace fs = std::filesystem;

const fs::path& scratch() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "quarlin_bench_run";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// The model file, written once.
std::string model_path() {
    static const std::string path = [] {
        std::string text = "TITLE 80 half-wave dipoles, 2000 segments\n"
                           "VAR lam=299.792458/14.2\nFREQ 14.2 MHz\nSWEEP 14.0 14.4 3\n";
        for (int i = 0; i < 80; ++i)
            text += strfmt("WIRE %d*lam/2 0 -lam/4  %d*lam/2 0 lam/4  r=0.001 seg=25\n", i, i);
        text += "SOURCE 1 50\nPATTERN dth=2 dph=5\n";
        fs::path p = scratch() / "array2000.ant";
        std::ofstream(p) << text;
        return p.string();
    }();
    return path;
}

void BM_Run(benchmark::State& st) {
    const bool exports = st.range(0) != 0;
    const std::string out = (scratch() / (exports ? "with" : "plain")).string();
    std::vector<std::string> args = {"quarlin", model_path(), "-q", "-o", out};
    if (exports) args.insert(args.end(), {"-plot", "-csv", "-s1p"});
    for (auto _ : st)
        if (run_main(args) != 0) st.SkipWithError("run failed");
}
BENCHMARK(BM_Run)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The far-field work the plots add: 360 azimuths and 360 elevation angles.
void BM_Cuts(benchmark::State& st) {
    Model m;
    std::string err;
    if (model_read(model_path(), m, err) != 0) {
        st.SkipWithError(err.c_str());
        return;
    }
    Mesh mesh;
    std::vector<cplx> cur;
    FreqResult r;
    if (mesh_build(m, mesh, m.f0, err) != 0 ||
        solve_freq(m, mesh, m.f0, cur, r, 0, nullptr, err) != 0) {
        st.SkipWithError(err.c_str());
        return;
    }
    PatternCut cut;
    for (int k = 0; k < 360; ++k) {
        cut.theta_deg.insert(cut.theta_deg.end(), {90.0, k <= 180 ? 90.0 - k : k - 180.0});
        cut.phi_deg.insert(cut.phi_deg.end(), {double(k), k <= 180 ? 0.0 : 180.0});
    }
    for (auto _ : st) pattern_cut(m, mesh, m.f0, cur, r.pin, cut);
}
BENCHMARK(BM_Cuts)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
