// quarlin: wire and planar antennas by the thin-wire method of moments.
#include <cstdio>
#include <cstring>

#include "dist/dist.h"
#include "driver/run.h"
#include "driver/validate.h"
#include "optimize/optimize.h"

int main(int argc, char** argv) {
    // Started by mpirun, every rank comes here; alone, this is a job of one.
    DistSession session(argc, argv);
    const bool opt = argc >= 3 && std::strcmp(argv[1], "-opt") == 0;
    const bool check = argc >= 3 && std::strcmp(argv[1], "-check") == 0;
    int rc = EXIT_OK;
    if (opt || check) {
        // The optimizer and the validation mode run on rank 0 alone; the
        // other ranks wait for its exit code.
        if (dist_root()) {
            if (dist_size() > 1)
                std::printf("WARNING: %s runs on rank 0 alone; the other %d ranks wait\n",
                            opt ? "the optimizer" : "the validation mode", dist_size() - 1);
            dist_solo();
            rc = opt ? opt_main(argc, argv)
                     : validate_main(std::vector<std::string>(argv, argv + argc));
        }
    } else {
        rc = run_main(argc, argv);
    }
    return dist_exit_code(rc);
}
