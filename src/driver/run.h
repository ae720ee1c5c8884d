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
    bool plot = false; // pattern.svg, swr.svg, smith.svg
    bool csv = false;  // sweep.csv, pattern.csv
    bool s1p = false;  // sweep.s1p
    bool dist = false; // every frequency solved with the matrix spread over the MPI ranks
};

// Outcomes of run_parse_args.
enum RunParse : int {
    PARSE_RUN = 0,      // run the model
    PARSE_VERSION = -1, // print the version line and stop
    PARSE_HELP = -2,    // print the help and stop
    PARSE_USAGE = 1,    // no input path: the usage line
    PARSE_REFUSED = 2,  // a bad option value, explained in *msg
    PARSE_UNKNOWN = 3,  // an unknown, misplaced or dangling option, explained in *msg
};

// Parses the arguments after argv[0]. An argument that begins with '-' and
// is no option is refused (a model of such a name is given as ./-name), so
// are a value option without its value and a pattern step that is not a
// positive number. "-v" and "-h" win wherever they stand.
int run_parse_args(const std::vector<std::string>& args, RunOptions& opt,
                   std::string* msg = nullptr);

// The help text: the usage line, every option and the exit codes.
extern const char* const kHelp;

// A whole run from its argument vector (argv[0] is not looked at) to its
// exit code. Never ends the process and keeps no state between calls.
int run_main(int argc, const char* const* argv);
int run_main(const std::vector<std::string>& args);

// The analysis run after the model was read and the overrides applied:
// meshing, sweep, design frequency, pattern, report and results file.
// start is the moment the run began (its run time is wall-clock time).
using RunClock = std::chrono::steady_clock;
int analysis_run(const RunOptions& opt, Model& m, std::string& err, RunClock::time_point start);
