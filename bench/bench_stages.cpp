// Where the time of a whole run goes, on the NEC decks in bench/decks/:
// reading and meshing, the solutions (every sweep point, and the design
// frequency unless a point lies on it; without the radiated power), the far
// field (power integration, pattern summary at every point with the beam
// widths at the design frequency, the gain grid of the deck's RP steps),
// the segment potentials, writing results.json, and the whole run through
// run_main as the command line does it (-q, results.json into a scratch
// directory).
//
//   ./build/bench/bench_stages --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// bench/whole_run.sh times the same decks beside nec2c; medians are quoted
// in bench/README.md.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "driver/pattern_summary.h"
#include "driver/results.h"
#include "driver/results_json.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/pattern.h"
#include "solver/segment_values.h"
#include "solver/solve.h"

namespace {

const char* const kDecks[] = {
    "yagi63", "gp4", "dipole11", "gm4", "array2000", "array2000_sweep13", "array4000"};

std::string deck_path(int d) {
    return std::string(QUARLIN_SOURCE_DIR) + "/bench/decks/" + kDecks[d] + ".nec";
}

std::string scratch_dir() {
    std::string dir = (std::filesystem::temp_directory_path() / "quarlin_bench_stages").string();
    std::filesystem::create_directories(dir);
    return dir;
}

struct Prepared {
    Model m;
    Mesh mesh;
    RunResults res;
};

bool whole_sphere(const Model& m) {
    return m.ground == GROUND_FREE || (m.ground == GROUND_PCB && !m.pcb_gnd);
}

int read_and_mesh(int d, Model& m, Mesh& mesh) {
    std::string err;
    if (model_read(deck_path(d), m, err) != 0) return -1;
    return mesh_build(m, mesh, m.f0, err);
}

double sweep_freq(const Model& m, int j, int npts) {
    return npts >= 2 ? m.fstart + j * (m.fstop - m.fstart) / (npts - 1) : m.f0;
}

int points(const Model& m) {
    return m.nfreq >= 2 ? m.nfreq : 1;
}

// The last sweep point at exactly the design frequency, or -1: the run
// takes its solution and pattern search for the design frequency.
int f0_point(const Model& m) {
    const int npts = points(m);
    int at = -1;
    for (int j = 0; j < npts; ++j)
        if (sweep_freq(m, j, npts) == m.f0) at = j;
    return at;
}

// Sweep and design solutions as the run does them, without the power
// integration; the design currents stay in res.
int solve_all(const Model& m, const Mesh& mesh, RunResults& res) {
    std::string err;
    const int npts = points(m), at = f0_point(m);
    res.sweep.resize(static_cast<size_t>(npts));
    std::vector<cplx> design_cur;
    for (int j = 0; j < npts; ++j) {
        FreqResult& r = res.sweep[static_cast<size_t>(j)];
        if (solve_freq(m, mesh, sweep_freq(m, j, npts), res.cur, r, 0,
                       j == at ? &res.src_cur : nullptr, err) != 0)
            return -1;
        if (j == at) {
            design_cur = res.cur;
            res.design = r;
        }
    }
    if (at >= 0) {
        res.cur = std::move(design_cur);
        return 0;
    }
    return solve_freq(m, mesh, m.f0, res.cur, res.design, 0, &res.src_cur, err);
}

// The far-field work of a run once the currents are known: the power
// integration, the pattern search of every sweep point (with the beam
// widths at the design frequency's) and the pattern grid. The sweep points
// reuse the design currents: the cost does not depend on their values.
void far_field(const Model& m, const Mesh& mesh, RunResults& res) {
    res.design.prad = prad_integrate(m, mesh, m.f0, res.cur);
    const int at = f0_point(m);
    for (size_t j = 0; j < res.sweep.size(); ++j) {
        FreqResult& r = res.sweep[j];
        const bool design = static_cast<int>(j) == at;
        pattern_summary(m, mesh, r.f, res.cur, res.design.pin, r, design ? &res.bwaz : nullptr,
                        design ? &res.bwel : nullptr);
    }
    if (at < 0)
        pattern_summary(m, mesh, m.f0, res.cur, res.design.pin, res.design, &res.bwaz, &res.bwel);
    res.nth = static_cast<int>(std::floor((whole_sphere(m) ? 180.0 : 90.0) / m.dth + 1e-9)) + 1;
    res.nph = static_cast<int>(std::floor(360.0 / m.dph + 1e-9)) + 1;
    const size_t npt = static_cast<size_t>(res.nth) * static_cast<size_t>(res.nph);
    for (auto* a : {&res.gt, &res.gv, &res.gh, &res.gr, &res.gl}) a->assign(npt, -300.0f);
    pattern_grid(m, mesh, m.f0, res.cur, res.design.pin, res.nth, res.nph, m.dth, m.dph,
                 res.gt.data(), res.gv.data(), res.gh.data(), res.gr.data(), res.gl.data());
}

std::vector<cplx> potentials(const Model& m, const Mesh& mesh, const RunResults& res) {
    std::vector<cplx> i_start, i_delta;
    seg_currents(mesh, res.cur, i_start, i_delta);
    return seg_potentials(m, mesh, m.f0, i_delta);
}

// Each deck read, meshed, solved and its far field done once, for the
// stages that need what the earlier ones produce.
Prepared& prepared(int d) {
    static std::map<int, Prepared> cache;
    auto it = cache.find(d);
    if (it != cache.end()) return it->second;
    Prepared& p = cache[d];
    if (read_and_mesh(d, p.m, p.mesh) != 0 || solve_all(p.m, p.mesh, p.res) != 0) return p;
    far_field(p.m, p.mesh, p.res);
    p.res.seg_v = potentials(p.m, p.mesh, p.res);
    return p;
}

void BM_ReadMesh(benchmark::State& st) {
    const int d = static_cast<int>(st.range(0));
    for (auto _ : st) {
        Model m;
        Mesh mesh;
        if (read_and_mesh(d, m, mesh) != 0) st.SkipWithError("deck not readable");
        benchmark::DoNotOptimize(mesh.seg.data());
    }
    st.SetLabel(kDecks[d]);
}

void BM_Solve(benchmark::State& st) {
    const int d = static_cast<int>(st.range(0));
    Prepared& p = prepared(d);
    for (auto _ : st) {
        RunResults r;
        if (solve_all(p.m, p.mesh, r) != 0) st.SkipWithError("solve failed");
        benchmark::DoNotOptimize(r.cur.data());
    }
    st.SetLabel(kDecks[d]);
}

void BM_FarField(benchmark::State& st) {
    const int d = static_cast<int>(st.range(0));
    Prepared& p = prepared(d);
    for (auto _ : st) {
        RunResults r = p.res;
        far_field(p.m, p.mesh, r);
        benchmark::DoNotOptimize(r.gt.data());
    }
    st.SetLabel(kDecks[d]);
}

void BM_Potentials(benchmark::State& st) {
    const int d = static_cast<int>(st.range(0));
    Prepared& p = prepared(d);
    for (auto _ : st) benchmark::DoNotOptimize(potentials(p.m, p.mesh, p.res).data());
    st.SetLabel(kDecks[d]);
}

void BM_Write(benchmark::State& st) {
    const int d = static_cast<int>(st.range(0));
    Prepared& p = prepared(d);
    const std::string path = scratch_dir() + "/results.json";
    for (auto _ : st)
        if (results_json_write(path, deck_path(d), p.m, p.mesh, p.res) != 0)
            st.SkipWithError("cannot write");
    st.SetLabel(kDecks[d]);
}

void BM_WholeRun(benchmark::State& st) {
    const int d = static_cast<int>(st.range(0));
    const std::vector<std::string> args{"quarlin", deck_path(d), "-q", "-o", scratch_dir()};
    for (auto _ : st)
        if (run_main(args) != 0) st.SkipWithError("run failed");
    st.SetLabel(kDecks[d]);
}

// Argument: deck index into kDecks.
#define DECKS DenseRange(0, static_cast<int>(std::size(kDecks)) - 1)
BENCHMARK(BM_ReadMesh)->DECKS->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Solve)->DECKS->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FarField)->DECKS->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Potentials)->DECKS->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Write)->DECKS->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeRun)->DECKS->Unit(benchmark::kMillisecond)->UseRealTime();
#undef DECKS

} // namespace

BENCHMARK_MAIN();
