// Helpers shared by the test executables: scratch files and directories,
// and running the quarlin binary end to end.
#pragma once

#include <initializer_list>
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

// Joins text pieces (sidesteps a false -Wrestrict warning of GCC 12 on
// chains of string operator+).
std::string cat(std::initializer_list<std::string_view> parts);
