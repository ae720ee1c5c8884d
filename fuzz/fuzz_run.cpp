// Arbitrary bytes as a model file for a whole run (report, pattern search,
// matching, results.json), with and without the convergence run. Models
// that mesh to more than 50 segments or sweep more than 4 points are
// skipped to keep the fuzzer fast.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/run.h"
#include "fuzz_file.h"
#include "mesh/mesh.h"
#include "model/model.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The report goes nowhere; the fuzzer's own output stays on stderr.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string out = "/tmp/quarlin_fuzz_run_out_" + std::to_string(getpid());
    const std::string path = fuzz_file("fuzz_run", data, size);
    if (path.empty()) return 0;
    {
        model_clear_overrides();
        Model m;
        std::string err;
        if (model_read(path, m, err) == 0) {
            Mesh mesh;
            if (mesh_build(m, mesh, m.fmax, err) == 0 && (mesh.nseg() > 50 || m.nfreq > 4))
                return 0;
        }
    }
    std::vector<std::string> args = {"quarlin", path, "-q", "-o", out, "-dth", "15", "-dph", "30"};
    if (size % 2) args.push_back("-conv");
    run_main(args);
    return 0;
}
