// Arbitrary bytes as a model file: reading, meshing and, for meshes small
// enough to keep the fuzzer fast, one solution at the meshing frequency.
// Every outcome is fine except a crash, a sanitizer report or a hang.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_file.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz_file("fuzz_model", data, size);
    if (path.empty()) return 0;
    model_clear_overrides();
    Model m;
    std::string err;
    if (model_read(path, m, err) != 0) return 0;
    Mesh mesh;
    if (mesh_build(m, mesh, m.fmax, err) != 0) return 0;
    if (mesh.nseg() > 80 || mesh.nunk() > 120) return 0;
    std::vector<cplx> cur;
    FreqResult res;
    solve_freq(m, mesh, m.fmax, cur, res, 1, nullptr, err);
    return 0;
}
