// The analysis run after the model was read: meshing, the mesh-only stop,
// and (to come) the sweep, the design frequency, the pattern, the report and
// the results file.
#include <cstdio>

#include "driver/mesh_json.h"
#include "driver/outfile.h"
#include "driver/run.h"
#include "mesh/mesh.h"

int analysis_run(const RunOptions& opt, Model& m, std::string& err, std::clock_t /*start*/) {
    // 4. Mesh.
    Mesh mesh;
    err.clear();
    if (mesh_build(m, mesh, m.f0, err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        if (opt.mesh_only) {
            make_dir(opt.outdir);
            mesh_json_error(opt.outdir + "/mesh.json", err);
        }
        return EXIT_MESH;
    }

    // 5. Output directory, one level.
    make_dir(opt.outdir);

    // 6. Mesh-only stop: the mesh file and nothing solved.
    if (opt.mesh_only) {
        std::string path = opt.outdir + "/mesh.json";
        if (mesh_json_write(path, m, mesh) != 0) return EXIT_WRITE;
        if (!opt.quiet) {
            std::printf("Mesh written to %s\n", path.c_str());
            std::fflush(stdout);
        }
        return EXIT_OK;
    }

    // 7. onwards: banner and header, sweep, design frequency, pattern grid,
    // reflector, convergence, report and results.json.
    return EXIT_OK;
}
