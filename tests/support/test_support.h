// Helpers shared by the test executables: scratch files and directories,
// and running the quarlin binary end to end.
#pragma once

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

// A fresh, empty scratch directory for the running test (under the build
// tree), named after the test suite and test.
std::string test_dir();

// Writes text into a file of the given name in test_dir(); returns its path.
std::string write_file(const std::string& name, const std::string& text);
std::string write_file_at(const std::string& path, const std::string& text);

// The whole file, or an empty string when it cannot be read.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// Path of a file in the source tree (examples/, tests/data/ ...).
std::string source_path(const std::string& rel);

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs the quarlin binary with the given arguments (argv[1..]) in the
// test's scratch directory and captures its exit code and both streams.
RunResult run_quarlin(const std::vector<std::string>& args);

// One end-to-end run and its results.json: the text as written and the
// parsed object (strict: a value that is not finite would not parse; null
// when no file was written).
struct ModelRun {
    RunResult r;
    std::string text;
    nlohmann::json j;
};

// Runs the model with the extra arguments into test_dir()/out_name and
// reads the results.json it wrote.
ModelRun run_model(const std::string& model, const std::vector<std::string>& extra = {},
                   const std::string& out_name = "out");

// Joins text pieces (sidesteps a false -Wrestrict warning of GCC 12 on
// chains of string operator+).
std::string cat(std::initializer_list<std::string_view> parts);
