// Mesh building on wire grids of about 20,000 segments: one segment per
// wire (20,200 wires), the same beside one very long wire, and automatic
// segmentation (4,140 wires of 5 segments), with the spatial-grid searches
// and, for comparison, the plain quadratic scans; and a field of 600
// centre-fed half-wave dipoles whose 1,200 free ends are graded (about
// 20,000 segments), beside the same field with ends=off.
//
//   cmake -S . -B build -DQUARLIN_BENCH=ON && cmake --build build
//   ./build/bench/bench_mesh --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <string>

#include "mesh/mesh.h"
#include "mesh/mesh_internal.h"
#include "model/model.h"

namespace {

// An n x n grid of square cells of side `cell` at height 5 m, one wire per
// cell edge, fed in the middle of one edge.
Model wire_grid(int n, double cell, int nseg) {
    Model m;
    m.f0 = m.fmax = 15e6;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j < n; ++j) {
            for (int dir = 0; dir < 2; ++dir) {
                Wire& w = add_wire(m);
                double a = i * cell, b0 = j * cell, b1 = (j + 1) * cell;
                w.x1 = dir ? a : b0;
                w.y1 = dir ? b0 : a;
                w.x2 = dir ? a : b1;
                w.y2 = dir ? b1 : a;
                w.z1 = w.z2 = 5;
                w.radius = 0.001;
                w.nseg = nseg;
                w.sigma = 0;
                w.tag = m.nwire();
            }
        }
    Source& s = add_src(m);
    s.wire = n; // an edge inside the grid
    s.pos = 0.5;
    s.v = 1.0;
    return m;
}

void run(benchmark::State& state, const Model& model, bool linear) {
    int nseg = 0;
    for (auto _ : state) {
        Model m = model;
        Mesh mesh;
        std::string err;
        int rc = linear ? mesh_build_core_with(m, mesh, err, true) : mesh_build(m, mesh, m.f0, err);
        if (rc != 0) state.SkipWithError(err.c_str());
        nseg = mesh.nseg();
        benchmark::DoNotOptimize(mesh.unk.data());
    }
    state.counters["segments"] = nseg;
}

void BM_GridOneSegmentPerWire(benchmark::State& state) {
    static const Model m = wire_grid(100, 0.1, 1); // 20,200 wires
    run(state, m, false);
}

void BM_GridAutomatic(benchmark::State& state) {
    static const Model m = wire_grid(45, 1.0, 0); // 4,140 wires of 5 segments
    run(state, m, false);
}

// The one-segment grid beside a 10 km wire of three segments, whose node
// tolerance (3 m) is 30,000 times that of the grid's segments.
void BM_GridWithLongWire(benchmark::State& state) {
    static const Model m = [] {
        Model g = wire_grid(100, 0.1, 1);
        Wire& w = add_wire(g);
        w.x1 = -5000;
        w.x2 = 5000;
        w.y1 = w.y2 = -3;
        w.z1 = w.z2 = 5;
        w.radius = 0.001;
        w.nseg = 3;
        w.sigma = 0;
        w.tag = g.nwire();
        return g;
    }();
    run(state, m, false);
}

// 600 half-wave dipoles of radius 1 mm at 15 MHz on a 30 x 20 grid, 2 m
// apart, each fed at its centre; the mesher chooses the segments.
Model dipole_field(int ends) {
    Model m;
    m.f0 = m.fmax = 15e6;
    m.ends = ends;
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 20; ++j) {
            Wire& w = add_wire(m);
            w.x1 = w.x2 = 2.0 * i;
            w.y1 = 12.0 * j;
            w.y2 = w.y1 + 10;
            w.z1 = w.z2 = 10;
            w.radius = 0.001;
            w.sigma = 0;
            w.tag = m.nwire();
            Source& s = add_src(m);
            s.wire = m.nwire() - 1;
            s.pos = 0.5;
            s.v = 1.0;
        }
    return m;
}

void BM_DipoleFieldGradedEnds(benchmark::State& state) {
    static const Model m = dipole_field(1);
    run(state, m, false);
}

void BM_DipoleFieldEndsOff(benchmark::State& state) {
    static const Model m = dipole_field(0);
    run(state, m, false);
}

void BM_GridAutomaticPlainScans(benchmark::State& state) {
    static const Model m = wire_grid(45, 1.0, 0);
    run(state, m, true);
}

} // namespace

BENCHMARK(BM_GridOneSegmentPerWire)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridAutomatic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridWithLongWire)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DipoleFieldGradedEnds)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DipoleFieldEndsOff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GridAutomaticPlainScans)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
