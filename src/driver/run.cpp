#include "driver/run.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "dist/dist.h"
#include "driver/mesh_json.h"
#include "driver/outfile.h"

const char* const kVersion = "1.1";
const char* const kCopyright = "Copyright (c) 2026 the Quarlin developers";

const char* const kHelp =
    "usage: quarlin <input.ant|input.nec> [-o outdir] [-conv]\n"
    "       [-q] [-mesh] [-dth deg] [-dph deg] [-plot] [-csv] [-s1p] [-dist]\n"
    "       quarlin -opt <model.ant> [-o outdir]\n"
    "       quarlin -check <checks-file> [dir] [-norun]\n"
    "       quarlin -v | -h | --help\n"
    "\n"
    "  -o outdir   directory of results.json and the other output files (default .)\n"
    "  -q          quiet: print only error and warning lines\n"
    "  -conv       solve again with twice the segment density and report the change\n"
    "  -mesh       build the mesh and write mesh.json; nothing is solved\n"
    "  -dth deg    polar step of the pattern grid, in place of the model's\n"
    "  -dph deg    azimuth step of the pattern grid, in place of the model's\n"
    "  -plot       write pattern.svg, swr.svg (with a sweep) and smith.svg\n"
    "  -csv        write sweep.csv and pattern.csv\n"
    "  -s1p        write sweep.s1p, S11 of the feed over the sweep (Touchstone)\n"
    "  -dist       under mpirun, solve every frequency with the matrix spread over\n"
    "              all ranks (large structures are spread without it)\n"
    "  -opt        tune the model's OPTVAR variables toward its GOALs\n"
    "  -check      run the reference models of a checks file and compare\n"
    "  -v          print the version and stop\n"
    "  -h, --help  print this help and stop\n"
    "\n"
    "A model whose name begins with '-' is given with its directory: ./-name\n"
    "Exit codes: 0 done, 1 usage, 2 model not readable, 3 mesh not buildable,\n"
    "4 a frequency failed to solve, 5 an output file could not be written.\n";

namespace {

// A pattern step from the command line: a whole positive, finite number.
bool positive_number(const std::string& s, double& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(v) && v > 0;
}

} // namespace

int run_parse_args(const std::vector<std::string>& args, RunOptions& opt, std::string* msg) {
    bool have_input = false;
    // The first bad argument; -v and -h still win.
    std::string refusal;
    int refused = PARSE_RUN;
    auto refuse = [&](int kind, std::string text) {
        if (refused != PARSE_RUN) return;
        refused = kind;
        refusal = std::move(text);
    };
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool has_next = i + 1 < args.size();
        if (a == "-v") return PARSE_VERSION;
        if (a == "-h" || a == "--help") return PARSE_HELP;
        if (a == "-o" || a == "-dth" || a == "-dph") {
            if (!has_next) {
                refuse(PARSE_UNKNOWN, strfmt("option %s needs a value", a.c_str()));
                continue;
            }
            const std::string& val = args[++i];
            if (a == "-o") {
                opt.outdir = val;
                continue;
            }
            double step = 0;
            if (!positive_number(val, step))
                refuse(PARSE_REFUSED, strfmt("%s needs a positive number of degrees, not '%s'",
                                             a.c_str(), val.c_str()));
            (a == "-dth" ? opt.dth : opt.dph) = step;
        } else if (a == "-conv") {
            opt.conv = true;
        } else if (a == "-q") {
            opt.quiet = true;
        } else if (a == "-mesh") {
            opt.mesh_only = true;
        } else if (a == "-plot") {
            opt.plot = true;
        } else if (a == "-csv") {
            opt.csv = true;
        } else if (a == "-s1p") {
            opt.s1p = true;
        } else if (a == "-dist") {
            opt.dist = true;
        } else if (a == "-opt" || a == "-check") {
            // Modes of their own, chosen by main when they come first.
            if (i == 1 && !has_next)
                refuse(PARSE_UNKNOWN, strfmt("option %s needs a value", a.c_str()));
            else
                refuse(PARSE_UNKNOWN, strfmt("%s must be the first argument", a.c_str()));
        } else if (!a.empty() && a[0] == '-') {
            refuse(PARSE_UNKNOWN, strfmt("unknown option %s", a.c_str()));
        } else {
            opt.input = a;
            have_input = true;
        }
    }
    if (refused != PARSE_RUN) {
        if (msg) *msg = refusal;
        return refused;
    }
    if (args.size() < 2 || !have_input) return PARSE_USAGE;
    return PARSE_RUN;
}

int run_main(const std::vector<std::string>& args) {
    RunOptions opt;
    std::string msg;
    const int parsed = run_parse_args(args, opt, &msg);
    switch (parsed) {
    case PARSE_VERSION:
        std::printf("Quarlin %s %s\n", kVersion, kCopyright);
        return EXIT_OK;
    case PARSE_HELP:
        std::fputs(kHelp, stdout);
        return EXIT_OK;
    case PARSE_USAGE:
        std::fprintf(stderr, "usage: quarlin <input.ant|input.nec> [-o outdir] [-conv]\n");
        return EXIT_USAGE;
    case PARSE_REFUSED:
    case PARSE_UNKNOWN:
        std::printf("ERROR: %s\n", msg.c_str());
        std::fflush(stdout);
        // A misspelt or misplaced option gets the list of the right ones.
        if (parsed == PARSE_UNKNOWN) std::fputs(kHelp, stderr);
        return EXIT_USAGE;
    default:
        break;
    }

    RunClock::time_point start = RunClock::now();
    std::string err;
    Model m;
    // Under mpirun every rank reads the model (a rank on another machine
    // may not find the file).
    if (dist_agree(model_read(opt.input, m, err) != 0 ? EXIT_MODEL : 0, err) != 0) {
        std::printf("ERROR: %s\n", err.c_str());
        std::fflush(stdout);
        if (opt.mesh_only && dist_root()) {
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
