// The command line of a run, end to end on the quarlin binary: mode choice,
// version line, usage, option parsing and exit codes.
#include <gtest/gtest.h>

#include <string>

#include "driver/run.h"
#include "test_support.h"

namespace {

const char* kVersionLine = "Quarlin 1.1 Copyright (c) 2026 the Quarlin developers\n";
const char* kUsage = "usage: quarlin <input.ant|input.nec> [-o outdir] [-conv]\n";

std::string good_model() {
    return write_file("good.ant", "WIRE 0 0 -2.5 0 0 2.5 seg=9\nSOURCE 1 50\nFREQ 28\n");
}

TEST(Cli, VersionWinsWhereverItStands) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"-v"}, {"-v", "missing.ant"}, {"missing.ant", "-v"}, {"-q", "-v", "-conv"}}) {
        RunResult r = run_quarlin(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, kVersionLine); // the model is not read
        EXPECT_EQ(r.err, "");
    }
}

TEST(Cli, UsageWithoutAnInputPath) {
    for (auto args : std::vector<std::vector<std::string>>{
             {}, {"-q"}, {"-q", "-conv"}, {"-o", "dir", "-mesh"}}) {
        RunResult r = run_quarlin(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, kUsage);
    }
}

// Unknown, misplaced and dangling options are refused with the help on
// standard error, before any model is read.
TEST(Cli, UnknownAndDanglingOptionsAreRefused) {
    std::string model = good_model();
    struct Case {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{model, "-x"}, "ERROR: unknown option -x\n"},
        {{"-x", model}, "ERROR: unknown option -x\n"},
        {{model, "-"}, "ERROR: unknown option -\n"},
        {{model, "--plot"}, "ERROR: unknown option --plot\n"},
        {{model, "-o"}, "ERROR: option -o needs a value\n"},
        {{model, "-dth"}, "ERROR: option -dth needs a value\n"},
        {{model, "-q", "-dph"}, "ERROR: option -dph needs a value\n"}, // errors print when quiet
        {{"-opt"}, "ERROR: option -opt needs a value\n"},
        {{"-check"}, "ERROR: option -check needs a value\n"},
        {{model, "-opt", "x.ant"}, "ERROR: -opt must be the first argument\n"},
        {{model, "-y", "-z"}, "ERROR: unknown option -y\n"}, // the first one is named
    };
    for (const auto& c : cases) {
        RunResult r = run_quarlin(c.args);
        EXPECT_EQ(r.code, 1) << c.out;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, kHelp) << c.out;
        EXPECT_FALSE(file_exists(test_dir() + "/results.json")) << c.out;
    }
}

// A model whose name begins with '-' runs when given with its directory.
TEST(Cli, ADashModelRunsAsDotSlashName) {
    write_file("-x", "WIRE 0 0 -2.5 0 0 2.5 seg=9\nSOURCE 1 50\nFREQ 28\n");
    RunResult r = run_quarlin({"./-x", "-q", "-o", "out"});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(file_exists(test_dir() + "/out/results.json"));
}

TEST(Cli, HelpListsEveryOptionAndWinsWhereverItStands) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"-h"}, {"--help"}, {"missing.ant", "-h"}, {"-x", "--help"}, {"-dth", "abc", "-h"}}) {
        RunResult r = run_quarlin(args);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, kHelp); // the model is not read, nothing else is printed
        EXPECT_EQ(r.err, "");
    }
    for (const char* opt :
         {"-o outdir", "-q ", "-conv", "-mesh", "-dth deg", "-dph deg", "-plot", "-csv", "-s1p",
          "-dist", "-opt", "-check", "-norun", "-v ", "-h", "--help"})
        EXPECT_NE(std::string(kHelp).find(opt), std::string::npos) << opt;
}

// Pattern steps on the command line must be positive numbers; a bad one is
// refused before the model is read.
TEST(Cli, PatternStepsThatAreNoPositiveNumberAreRefused) {
    std::string model = good_model();
    for (const char* opt : {"-dth", "-dph"})
        for (const char* v : {"0", "-5", "abc", "5abc", "", "nan", "inf", "1e999", "-0"}) {
            RunResult r = run_quarlin({model, opt, v, "-o", "out"});
            EXPECT_EQ(r.code, 1) << opt << " " << v;
            EXPECT_EQ(r.out, cat({"ERROR: ", opt, " needs a positive number of degrees, not '", v,
                                  "'\n"}));
            EXPECT_EQ(r.err, "");
            EXPECT_FALSE(file_exists(test_dir() + "/out"));
        }
    RunOptions o;
    ASSERT_EQ(run_parse_args({"quarlin", "m.ant", "-dth", "2.5e0", "-dph", "0.5"}, o), PARSE_RUN);
    EXPECT_EQ(o.dth, 2.5);
    EXPECT_EQ(o.dph, 0.5);
}

// An output directory that cannot be made stops the run before anything is
// solved: no banner, no sweep, nothing created.
TEST(Cli, OutputDirectoryThatCannotBeMadeIsRefusedFirst) {
    std::string model = good_model();
    std::string file = write_file("plain", "a file\n");
    struct Case {
        std::string dir, why;
    } cases[] = {
        {"missing/out", "No such file or directory"},
        {file, "Not a directory"},
        {file + "/out", "Not a directory"},
        {"", "No such file or directory"},
    };
    for (const auto& c : cases) {
        RunResult r = run_quarlin({model, "-o", c.dir, "-plot", "-csv", "-s1p"});
        EXPECT_EQ(r.code, 5) << c.dir;
        EXPECT_EQ(r.out,
                  cat({"ERROR: cannot create the output directory '", c.dir, "' (", c.why, ")\n"}));
    }
    EXPECT_FALSE(file_exists(test_dir() + "/missing"));
    EXPECT_EQ(read_file(file), "a file\n");
}

// The design frequency outside the sweep gets a warning, also in a quiet run.
TEST(Cli, DesignFrequencyOutsideTheSweepIsWarned) {
    std::string model =
        write_file("off.ant", "WIRE 0 0 -2.5 0 0 2.5 seg=9\nSOURCE 1 50\nFREQ 29\nSWEEP 27 28 3\n");
    RunResult r = run_quarlin({model, "-q", "-o", "out"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "WARNING: design frequency 29 MHz lies outside the sweep (27 to 28 MHz)\n");
    r = run_quarlin({model, "-o", "out"});
    EXPECT_NE(r.out.find("\nWARNING: design frequency 29 MHz lies outside the sweep (27 to 28 "
                         "MHz)\n\n     f (MHz)"),
              std::string::npos)
        << r.out; // after the header, before the sweep table
}

TEST(Cli, LastInputWins) {
    RunResult r = run_quarlin({"first-missing.ant", good_model()});
    EXPECT_EQ(r.code, 0) << r.out;
    RunResult s = run_quarlin({good_model(), "second-missing.ant"});
    EXPECT_EQ(s.code, 2);
    EXPECT_EQ(s.out, "ERROR: cannot open second-missing.ant\n");
}

TEST(Cli, ModelErrorsNameTheirLine) {
    std::string bad = write_file("bad.ant", "# a model\nFREQ 14\nWIRES 0 0 0 0 0 1\n");
    RunResult r = run_quarlin({bad, "-q"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "ERROR: line 3: unknown keyword 'WIRES'\n");
    std::string nosrc = write_file("nosrc.ant", "WIRE 0 0 0 0 0 1\nFREQ 14\n");
    r = run_quarlin({nosrc});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "ERROR: no source defined\n");
}

TEST(Cli, ValueOptionsConsumeTheirArgument) {
    RunOptions o;
    ASSERT_EQ(run_parse_args({"quarlin", "-o", "x.ant", "-dth", "3", "-dph", "7.5", "m.ant", "-q",
                              "-conv", "-mesh", "-plot", "-csv", "-s1p", "-dist"},
                             o),
              PARSE_RUN);
    EXPECT_EQ(o.input, "m.ant");
    EXPECT_EQ(o.outdir, "x.ant");
    EXPECT_EQ(o.dth, 3);
    EXPECT_EQ(o.dph, 7.5);
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.conv);
    EXPECT_TRUE(o.mesh_only);
    EXPECT_TRUE(o.plot && o.csv && o.s1p && o.dist);
    RunOptions d;
    ASSERT_EQ(run_parse_args({"quarlin", "m.ant"}, d), 0);
    EXPECT_EQ(d.outdir, ".");
    EXPECT_FALSE(d.quiet || d.conv || d.mesh_only || d.plot || d.csv || d.s1p || d.dist);
    EXPECT_EQ(d.dth, 0);
}

// A mesh run solves nothing, so the options that need a solution are said to
// be ignored (also in quiet runs), and only mesh.json is written.
TEST(Cli, MeshRunSaysWhichOptionsItIgnores) {
    std::string model = source_path("examples/dipole.ant");
    std::string out = test_dir() + "/mesh_plot";
    RunResult r = run_quarlin({model, "-mesh", "-q", "-plot", "-csv", "-conv", "-o", out});
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, "WARNING: -mesh solves nothing: -plot, -csv, -conv ignored\n");
    EXPECT_FALSE(read_file(out + "/mesh.json").empty());
    for (const char* f : {"pattern.svg", "smith.svg", "sweep.csv", "results.json"})
        EXPECT_TRUE(read_file(out + "/" + f).empty()) << f;
    RunResult plain = run_quarlin({model, "-mesh", "-q", "-o", out + "_plain"});
    ASSERT_EQ(plain.code, 0);
    EXPECT_EQ(plain.out, "");
}

// -dist spreads frequencies over the ranks of an MPI job; a run of one
// process (and the build without MPI) solves exactly as without it.
TEST(Cli, DistInOneProcessChangesNothing) {
    std::string model = source_path("examples/dipole.ant");
    RunResult a = run_quarlin({model, "-o", "a"});
    RunResult b = run_quarlin({model, "-o", "a", "-dist"});
    ASSERT_EQ(a.code, 0) << a.out;
    ASSERT_EQ(b.code, 0) << b.out;
    // Only the run time may differ.
    auto without_time = [](std::string s) {
        const size_t at = s.find("  Run time");
        return at == std::string::npos ? s : s.erase(at, s.find('\n', at) - at);
    };
    EXPECT_EQ(without_time(b.out), without_time(a.out));
}

TEST(Cli, ARunCanBeCalledRepeatedlyInProcess) {
    std::string model = good_model();
    std::string dir = test_dir();
    const char* argv[] = {"quarlin", model.c_str(), "-q", "-o", dir.c_str()};
    EXPECT_EQ(run_main(5, argv), 0);
    EXPECT_EQ(run_main(5, argv), 0);
}

} // namespace
