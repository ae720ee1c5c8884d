#include "driver/run.h"

#include <cstdio>
#include <cstdlib>

#include "driver/mesh_json.h"
#include "driver/outfile.h"

const char* const kVersion = "1.1";
const char* const kCopyright = "Copyright (c) 2026 the Quarlin developers";

int run_parse_args(const std::vector<std::string>& args, RunOptions& opt) {
    bool have_input = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool has_next = i + 1 < args.size();
        if (a == "-o" && has_next) {
            opt.outdir = args[++i];
        } else if (a == "-conv") {
            opt.conv = true;
        } else if (a == "-q") {
            opt.quiet = true;
        } else if (a == "-mesh") {
            opt.mesh_only = true;
        } else if (a == "-dth" && has_next) {
            opt.dth = std::atof(args[++i].c_str());
        } else if (a == "-dph" && has_next) {
            opt.dph = std::atof(args[++i].c_str());
        } else if (a == "-v") {
            return -1;
        } else {
            opt.input = a;
            have_input = true;
        }
    }
    if (args.size() < 2 || !have_input) return 1;
    return 0;
}

int run_main(const std::vector<std::string>& args) {
    RunOptions opt;
    int parsed = run_parse_args(args, opt);
    if (parsed < 0) {
        std::printf("Quarlin %s %s\n", kVersion, kCopyright);
        return EXIT_OK;
    }
    if (parsed > 0) {
        std::fprintf(stderr, "usage: quarlin <input.ant|input.nec> [-o outdir] [-conv]\n");
        return EXIT_USAGE;
    }

    RunClock::time_point start = RunClock::now();
    std::string err;
    Model m;
    if (model_read(opt.input, m, err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        if (opt.mesh_only) {
            make_dir(opt.outdir);
            mesh_json_error(opt.outdir + "/mesh.json", err);
        }
        return EXIT_MODEL;
    }
    if (opt.dth > 0) m.dth = opt.dth;
    if (opt.dph > 0) m.dph = opt.dph;
    return analysis_run(opt, m, err, start);
}

int run_main(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return run_main(args);
}
