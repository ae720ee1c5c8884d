// One analysis run: the command line of a run and its entry point.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "model/model.h"

extern const char* const kVersion;   // "1.1"
extern const char* const kCopyright; // the copyright notice

// Exit codes of a run.
enum RunExit : int {
    EXIT_OK = 0,
    EXIT_USAGE = 1,
    EXIT_MODEL = 2,
    EXIT_MESH = 3,
    EXIT_SOLVE = 4,
    EXIT_WRITE = 5,
};

struct RunOptions {
    std::string input;
    std::string outdir = ".";
    bool quiet = false;
    bool conv = false;
    bool mesh_only = false;
    double dth = 0; // degrees; > 0 overrides the model's
    double dph = 0;
};

// Parses the arguments after argv[0]. Returns -1 when the run is to print
// the version and stop, 1 for a usage error, 0 otherwise.
int run_parse_args(const std::vector<std::string>& args, RunOptions& opt);

// A whole run from its argument vector (argv[0] is not looked at) to its
// exit code. Never ends the process and keeps no state between calls.
int run_main(int argc, const char* const* argv);
int run_main(const std::vector<std::string>& args);

// The analysis run after the model was read and the overrides applied:
// meshing, sweep, design frequency, pattern, report and results file.
// start is the moment the run began (its run time is wall-clock time).
using RunClock = std::chrono::steady_clock;
int analysis_run(const RunOptions& opt, Model& m, std::string& err, RunClock::time_point start);
