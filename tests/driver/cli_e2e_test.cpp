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

TEST(Cli, UnrecognisedAndDanglingOptionsBecomeTheInputPath) {
    std::string model = good_model();
    struct Case {
        std::vector<std::string> args;
        const char* out;
    } cases[] = {
        {{model, "-x"}, "ERROR: cannot open -x\n"},
        {{model, "-o"}, "ERROR: cannot open -o\n"},
        {{model, "-dth"}, "ERROR: cannot open -dth\n"},
        {{model, "-q", "-dph"}, "ERROR: cannot open -dph\n"}, // errors print even when quiet
        {{"-opt"}, "ERROR: cannot open -opt\n"},
        {{"-check"}, "ERROR: cannot open -check\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run_quarlin(c.args);
        EXPECT_EQ(r.code, 2) << c.args.back();
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
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
                              "-conv", "-mesh"},
                             o),
              0);
    EXPECT_EQ(o.input, "m.ant");
    EXPECT_EQ(o.outdir, "x.ant");
    EXPECT_EQ(o.dth, 3);
    EXPECT_EQ(o.dph, 7.5);
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.conv);
    EXPECT_TRUE(o.mesh_only);
    RunOptions d;
    ASSERT_EQ(run_parse_args({"quarlin", "m.ant"}, d), 0);
    EXPECT_EQ(d.outdir, ".");
    EXPECT_FALSE(d.quiet || d.conv || d.mesh_only);
    EXPECT_EQ(d.dth, 0);
}

TEST(Cli, PatternStepOverridesOnlyWhenPositive) {
    for (const char* v : {"0", "-5", "abc"}) {
        RunOptions o;
        ASSERT_EQ(run_parse_args({"quarlin", "m.ant", "-dth", v}, o), 0);
        EXPECT_LE(o.dth, 0) << v; // run_main applies only a step > 0
    }
}

TEST(Cli, ARunCanBeCalledRepeatedlyInProcess) {
    std::string model = good_model();
    std::string dir = test_dir();
    const char* argv[] = {"quarlin", model.c_str(), "-q", "-o", dir.c_str()};
    EXPECT_EQ(run_main(5, argv), 0);
    EXPECT_EQ(run_main(5, argv), 0);
}

} // namespace
