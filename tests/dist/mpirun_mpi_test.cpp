// Whole runs under mpirun against the same binary run alone: the printed
// report and results.json must be those of one process, for a sweep shared
// out over the ranks and for frequencies solved with the matrix spread over
// them (-dist); failures on one rank end every rank with the same error and
// exit code, and a rank that dies does not leave the others hanging.
//
// Every mpirun is bounded by `timeout`, so a hang fails the test (exit code
// 124) instead of stalling the suite.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string join(const std::vector<std::string>& args) {
    std::string s;
    for (const std::string& a : args) {
        s += ' ';
        s += quote(a);
    }
    return s;
}

// Runs a shell command line in dir with a time limit; stdout and stderr
// captured.
RunResult run_in(const std::string& dir, const std::string& cmdline, int seconds = 240) {
    fs::create_directories(dir);
    const std::string out = dir + "/.stdout", err = dir + "/.stderr";
    const std::string cmd = cat({"cd ", quote(dir), " && timeout -k 10 ", std::to_string(seconds),
                                 " ", cmdline, " >", quote(out), " 2>", quote(err)});
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

std::string mpirun(int np) {
    return cat({QUARLIN_MPIRUN, " ", QUARLIN_MPIRUN_FLAGS, " -np ", std::to_string(np)});
}

// One process alone, and np ranks, each in its own directory with -o out.
RunResult run_alone(const std::string& dir, const std::vector<std::string>& args) {
    return run_in(dir, quote(QUARLIN_BIN) + join(args));
}
RunResult run_ranks(const std::string& dir, int np, const std::vector<std::string>& args) {
    return run_in(dir, cat({mpirun(np), " ", quote(QUARLIN_BIN), join(args)}));
}

// The report without the line that differs between any two runs.
std::string report(const std::string& out) {
    std::string s;
    size_t p = 0;
    while (p < out.size()) {
        size_t e = out.find('\n', p);
        if (e == std::string::npos) e = out.size();
        const std::string line = out.substr(p, e - p);
        if (line.rfind("  Run time", 0) != 0) s += line + "\n";
        p = e + 1;
    }
    return s;
}

// Every number of two results.json trees within rel (relative, with abs
// for values that are rounding noise around zero), every text equal; the
// run time is left out.
void expect_same_json(const json& a, const json& b, double rel, double abs,
                      const std::string& path = "") {
    ASSERT_EQ(a.type(), b.type()) << path;
    if (a.is_object()) {
        ASSERT_EQ(a.size(), b.size()) << path;
        for (auto it = a.begin(); it != a.end(); ++it) {
            if (it.key() == "runtime") continue;
            ASSERT_TRUE(b.contains(it.key())) << path << "." << it.key();
            expect_same_json(it.value(), b[it.key()], rel, abs, path + "." + it.key());
        }
    } else if (a.is_array()) {
        ASSERT_EQ(a.size(), b.size()) << path;
        for (size_t i = 0; i < a.size(); ++i)
            expect_same_json(a[i], b[i], rel, abs, path + "[" + std::to_string(i) + "]");
    } else if (a.is_number()) {
        const double x = a.get<double>(), y = b.get<double>();
        EXPECT_LE(std::fabs(x - y), rel * std::max(std::fabs(x), std::fabs(y)) + abs) << path;
    } else {
        EXPECT_EQ(a, b) << path;
    }
}

json results(const std::string& dir) {
    const std::string text = read_file(dir + "/out/results.json");
    return text.empty() ? json() : json::parse(text);
}

// The bundled models: real and perfect ground, a line, three elements, and
// a reflector (whose stage runs on rank 0 alone).
TEST(Mpirun, SweepOverTheRanksGivesTheOneProcessReportAndResults) {
    struct Case {
        const char* model;
        int np;
    };
    const Case cases[] = {{"examples/dipole.ant", 2},
                          {"examples/line_fed_dipole.ant", 2},
                          {"examples/dish_dipole.ant", 2},
                          {"examples/yagi3.ant", 3}}; // 13 points over 3 ranks: uneven shares
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        const std::string base = cat({test_dir(), "/", fs::path(c.model).stem().string()});
        const std::vector<std::string> args = {source_path(c.model), "-o", "out"};
        RunResult one = run_alone(base + "/one", args);
        RunResult all = run_ranks(base + "/all", c.np, args);
        ASSERT_EQ(one.code, 0) << one.out;
        ASSERT_EQ(all.code, 0) << all.out << all.err;
        EXPECT_EQ(report(all.out), report(one.out));
        // The same arithmetic on every point: the same file to the last digit.
        expect_same_json(results(base + "/one"), results(base + "/all"), 0.0, 0.0);
    }
}

// About 250 unknowns with a junction, loads, a line to an undriven port and
// a reflection-coefficient ground: several blocks of 64 on each rank.
const char* kJunction = "TITLE junction, one frequency\n"
                        "FREQ 14.2 MHz\n"
                        "WIRE 0 -5 8 0 0 8 r=0.001 seg=90 mat=copper name=left\n"
                        "WIRE 0 0 8 0 5 8 r=0.001 seg=90 mat=copper name=right\n"
                        "WIRE 0 0 8 0 0 4 r=0.001 seg=70 name=drop\n"
                        "WIRE 6 0 1 6 0 1.2 r=0.001 name=gen\n"
                        "SOURCE gen 1\n"
                        "LOAD left 50 R=10 L=1e-6\n"
                        "TL gen 50 drop 50 Z0=75 len=10 vf=0.8\n"
                        "GROUND real eps=13 sigma=0.005\n"
                        "END\n";

TEST(Mpirun, SpreadMatrixGivesTheOneProcessReportAndResults) {
    const std::string model = write_file("junction.ant", kJunction);
    const std::string base = test_dir();
    // -conv solves a second, finer mesh the same way.
    const std::vector<std::string> args = {model, "-o", "out", "-conv"};
    std::vector<std::string> dist = args;
    dist.push_back("-dist");
    RunResult one = run_alone(base + "/one", args);
    RunResult all = run_ranks(base + "/all", 2, dist);
    ASSERT_EQ(one.code, 0) << one.out;
    ASSERT_EQ(all.code, 0) << all.out << all.err;
    EXPECT_EQ(report(all.out), report(one.out));
    // Another order of elimination: the printed digits (6 significant) agree,
    // and figures that are rounding noise around zero stay below 1e-9.
    expect_same_json(results(base + "/one"), results(base + "/all"), 2e-6, 1e-9);
}

TEST(Mpirun, FailingSweepPointOfAnotherRankEndsEveryRankAsOneProcessDoes) {
    // Points at 30, 20, 10 and 0 MHz: the last, rank 1's, cannot be solved.
    const std::string model = write_file("zero.ant", "FREQ 20 MHz\n"
                                                     "SWEEP 30 0 4\n"
                                                     "WIRE 0 0 -3.5 0 0 3.5 r=0.001 seg=21 name=d\n"
                                                     "SOURCE d 50\n"
                                                     "END\n");
    const std::string base = test_dir();
    for (bool dist : {false, true}) {
        std::vector<std::string> args = {model, "-o", "out"};
        if (dist) args.push_back("-dist");
        RunResult one = run_alone(base + "/one", args);
        RunResult all = run_ranks(base + (dist ? "/dist" : "/all"), 2, args);
        EXPECT_EQ(one.code, 4);
        EXPECT_EQ(all.code, 4) << all.err;
        EXPECT_NE(one.out.find("ERROR: frequency 0 Hz is not positive at 0 MHz\n"),
                  std::string::npos)
            << one.out;
        EXPECT_EQ(all.out, one.out);
    }
}

TEST(Mpirun, ModelMissingOnOneRankEndsEveryRank) {
    // As on a cluster whose second machine does not see the file.
    const std::string model = source_path("examples/dipole.ant");
    const std::string dir = test_dir();
    RunResult r = run_in(
        dir, cat({mpirun(1), " ", quote(QUARLIN_BIN), join({model, "-o", "out"}), " : -np 1 ",
                  quote(QUARLIN_BIN), join({"/nonexistent/dipole.ant", "-o", "out"})}));
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_EQ(r.out, "ERROR: rank 1: cannot open /nonexistent/dipole.ant\n");
    EXPECT_FALSE(file_exists(dir + "/out/results.json"));
}

TEST(Mpirun, RankThatCannotAllocateItsBlocksEndsEveryRank) {
    // About 8000 unknowns: 512 MB of blocks on each of two ranks. Rank 1 runs
    // under a 600 MB address-space limit (a rank takes about 370 MB before
    // its blocks), rank 0 without one.
    const std::string model = write_file("long.ant", "FREQ 14.2 MHz\n"
                                                     "WIRE 0 0 -200 0 0 200 r=0.001 seg=8001 "
                                                     "name=w\n"
                                                     "SOURCE w 50\n"
                                                     "END\n");
    const std::string args = join({model, "-o", "out", "-dist"});
    const std::string dir = test_dir();
    const std::string limited = cat({"ulimit -v 614400 && exec ", quote(QUARLIN_BIN), args});
    RunResult r = run_in(
        dir, cat({mpirun(1), " ", quote(QUARLIN_BIN), args, " : -np 1 sh -c ", quote(limited)}));
    EXPECT_EQ(r.code, 4) << r.out << r.err;
    // The sweep's one point fails: the rows before it (none) and the error.
    const size_t at = r.out.find("ERROR: rank 1: out of memory for its ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
    EXPECT_NE(line.find(" block of the "), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with(" impedance matrix at 14.2 MHz")) << line;
    EXPECT_EQ(r.out.size(), at + line.size() + 1) << "nothing after the error";
    EXPECT_FALSE(file_exists(dir + "/out/results.json"));
}

TEST(Mpirun, RankThatDiesDoesNotLeaveTheOthersWaiting) {
    // 6000 unknowns spread over two ranks take far longer than the 2 s after
    // which rank 1 is killed; rank 0 is then waiting in the factorization.
    const std::string model = write_file("long.ant", "FREQ 14.2 MHz\n"
                                                     "WIRE 0 0 -150 0 0 150 r=0.001 seg=6001 "
                                                     "name=w\n"
                                                     "SOURCE w 50\n"
                                                     "END\n");
    const std::string args = join({model, "-o", "out", "-dist"});
    RunResult r = run_in(test_dir(),
                         cat({mpirun(1), " ", quote(QUARLIN_BIN), args,
                              " : -np 1 timeout -s KILL 2 ", quote(QUARLIN_BIN), args}),
                         120);
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.code, 124) << "mpirun hung";
}

} // namespace
