// quarlin: wire and planar antennas by the thin-wire method of moments.
#include <cstdio>
#include <cstring>

#include "driver/run.h"
#include "driver/validate.h"
#include "optimize/optimize.h"

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "-opt") == 0) return opt_main(argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "-check") == 0)
        return validate_main(std::vector<std::string>(argv, argv + argc));
    return run_main(argc, argv);
}
