// The optimizer end to end on the quarlin binary: its command line, header,
// progress lines, final comparison, the optimized model file and the final
// run, and every way a bad input or an unwritable output ends.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "model/expr.h"
#include "model/model.h"
#include "optimize/eval.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// A half-wave dipole in free space whose half-length `half` is tuned; the
// model's own value and the search bounds vary by test. Ten segments keep
// every evaluation well under a millisecond.
std::string dipole(const std::string& var_line, const std::string& tail) {
    return cat({"TITLE tuned dipole\n", var_line,
                "\nFREQ 14.2\nWIRE 0 -half 0 0 half 0 r=0.001 seg=9 name=dip\nSOURCE dip 50\n",
                tail});
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) out.push_back(l);
    return out;
}

// The optimizer's own output: everything before the final run's banner.
std::string search_part(const std::string& out) {
    return out.substr(0, out.find("Quarlin 1.1 - wire and planar"));
}

// The value after "name=" on the "Optimized variables:" line.
double optimized_value(const std::string& out, const std::string& name) {
    size_t at = out.find("Optimized variables:");
    EXPECT_NE(at, std::string::npos) << out;
    size_t v = out.find(" " + name + "=", at);
    EXPECT_NE(v, std::string::npos) << name;
    return std::strtod(out.c_str() + v + name.size() + 2, nullptr);
}

// Variable values after reading a model file without overrides.
double var_after_read(const std::string& path, const std::string& name) {
    Model m;
    std::string err;
    model_clear_overrides();
    EXPECT_EQ(model_read(path, m, err), 0) << err;
    double v = -1e300;
    EXPECT_EQ(expr_getvar(name, &v), 1) << name;
    return v;
}

nlohmann::json results_of(const std::string& dir) {
    std::string text = read_file(dir + "/results.json");
    EXPECT_FALSE(text.empty()) << dir;
    return text.empty() ? nlohmann::json() : nlohmann::json::parse(text);
}

TEST(OptimizeRun, WholeOutputOfASmallSearch) {
    std::string model = write_file(
        "d.ant", dipole("VAR half=5.2", "OPTVAR half 4.8 5.4\nGOAL swr target=1\nGOAL x\n"
                                        "OPTSET pop=5 gen=3 seed=9\n"));
    RunResult r = run_quarlin({"-opt", model, "-o", "out"});
    ASSERT_EQ(r.code, 0) << r.out;
    std::vector<std::string> l = lines_of(r.out);
    ASSERT_GT(l.size(), 20u);
    EXPECT_EQ(l[0], "Quarlin 1.1 - optimizer (differential evolution)");
    EXPECT_EQ(l[1], "");
    EXPECT_EQ(l[2], "Model      : " + model);
    EXPECT_EQ(l[3], "Variables  : half [4.8, 5.4]");
    EXPECT_EQ(l[4], "Goals      : swr(w=1) x(w=1)");
    EXPECT_EQ(l[5], "Population : 5, generations 3 (20 evaluations)");
    EXPECT_EQ(l[6], "");
    // One progress line per generation; without fb or gmax goals the
    // pattern figures stay 0.00.
    double last_cost = 1e300;
    for (int g = 1; g <= 3; ++g) {
        const std::string& p = l[static_cast<size_t>(6 + g)];
        int gen = 0;
        double cost = 0, zr = 0, zi = 0, swr = 0, gmax = -1, fb = -1;
        ASSERT_EQ(std::sscanf(p.c_str(), "gen %d cost %lf Z %lf %lfj SWR %lf Gmax %lf dBi F/B %lf",
                              &gen, &cost, &zr, &zi, &swr, &gmax, &fb),
                  7)
            << p;
        EXPECT_EQ(gen, g);
        EXPECT_EQ(p, strfmt("gen %3d  cost %10.4f  Z %8.2f %+8.2fj  SWR %6.3f  Gmax %6.2f dBi  "
                            "F/B %6.2f dB",
                            g, cost, zr, zi, swr, gmax, fb));
        EXPECT_EQ(gmax, 0);
        EXPECT_EQ(fb, 0);
        EXPECT_LE(cost, last_cost) << "the best member never gets worse";
        last_cost = cost;
    }
    EXPECT_EQ(l[10], "");
    EXPECT_EQ(l[11], "Result (start -> optimized):");
    EXPECT_TRUE(l[12].starts_with("  swr   ")) << l[12];
    EXPECT_TRUE(l[13].starts_with("  x     ")) << l[13];
    EXPECT_EQ(l[14], "");
    EXPECT_TRUE(l[15].starts_with("Optimized variables: half=")) << l[15];
    std::string opt_name = model.substr(0, model.size() - 4) + "_opt.ant";
    EXPECT_EQ(l[16], "Optimized model written to " + opt_name);
    EXPECT_EQ(l[17], "");
    EXPECT_EQ(l[18], "Quarlin 1.1 - wire and planar antennas (thin-wire moment method)");

    // The file: the header line, then the model with the tuned value.
    double half = optimized_value(r.out, "half");
    EXPECT_GE(half, 4.8);
    EXPECT_LE(half, 5.4);
    std::string cost = l[9].substr(14, 10);
    while (cost.starts_with(" ")) cost.erase(0, 1);
    EXPECT_EQ(read_file(opt_name), cat({"# optimized by Quarlin 1.1: cost ", cost, "\n",
                                        dipole(strfmt("VAR half=%.6g", half),
                                               "OPTVAR half 4.8 5.4\nGOAL swr target=1\nGOAL x\n"
                                               "OPTSET pop=5 gen=3 seed=9\n")}));
    // The final run analysed it: its impedance is the best member's.
    nlohmann::json j = results_of(test_dir() + "/out");
    std::string zline = l[9].substr(l[9].find("Z ") + 2);
    EXPECT_EQ(
        strfmt("%8.2f %+8.2fj", j["design"]["zr"].get<double>(), j["design"]["zi"].get<double>()),
        zline.substr(0, 18));
}

TEST(OptimizeRun, ModelPathComesRightAfterTheOption) {
    std::string model =
        write_file("d.ant", dipole("VAR half=5.2", "OPTVAR half 4.8 5.4\nGOAL swr\n"));
    RunResult r = run_quarlin({"-opt", "-o", "out", model});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "ERROR: cannot open -o\n");
    EXPECT_FALSE(file_exists(test_dir() + "/out"));
}

TEST(OptimizeRun, ModelsThatCannotBeOptimized) {
    const struct {
        const char* name;
        std::string text;
        const char* out;
    } cases[] = {
        {"no_optvar.ant", dipole("VAR half=5", "GOAL swr\n"),
         "ERROR: the model needs OPTVAR and GOAL lines\n"},
        {"no_goal.ant", dipole("VAR half=5", "OPTVAR half 4 6\n"),
         "ERROR: the model needs OPTVAR and GOAL lines\n"},
        {"bad.ant", dipole("VAR half=5", "OPTVAR half 4 x\nGOAL swr\n"),
         "ERROR: line 6: OPTVAR limits\n"},
        {"nec.nec", "GW 1 9 0 -5 0 0 5 0 0.001\nGE\nEX 0 1 5 0 1 0\nFR 0 1 0 0 14.2\n",
         "ERROR: the model needs OPTVAR and GOAL lines\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run_quarlin({"-opt", write_file(c.name, c.text)});
        EXPECT_EQ(r.code, 2) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
    RunResult r = run_quarlin({"-opt", "missing.ant", "-o", "out"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "ERROR: cannot open missing.ant\n");
}

// Candidates that all fail at one stage: a radius variable whose bounds are
// all negative (the mesh refuses them), a frequency variable whose bounds
// are not positive (the reader refuses them). The model's own values lie
// outside the bounds, so member 0 is drawn too. The header shows the
// default population and generations for one, two and three variables.
TEST(OptimizeRun, NoCandidateSolvedEndsWithTheFirstFailure) {
    const struct {
        const char* optvars;
        const char* vars;
        const char* popline;
        int lines, code;
        const char* error;
    } cases[] = {
        {"OPTVAR k -2 -1\n", "Variables  : k [-2, -1]",
         "Population : 15, generations 40 (615 evaluations)", 40, 3,
         "ERROR: no candidate could be solved; the first failed with: wire 1 has radius "},
        {"OPTVAR k -2 -1\nOPTVAR a 0 1\n", "Variables  : k [-2, -1] a [0, 1]",
         "Population : 20, generations 40 (820 evaluations)", 40, 3,
         "ERROR: no candidate could be solved; the first failed with: wire 1 has radius "},
        {"OPTVAR k -2 -1\nOPTVAR a 0 1\nOPTVAR b 0 1\nOPTSET gen=2\n",
         "Variables  : k [-2, -1] a [0, 1] b [0, 1]",
         "Population : 30, generations 2 (90 evaluations)", 2, 3,
         "ERROR: no candidate could be solved; the first failed with: wire 1 has radius "},
        {"OPTVAR f -10 0\nOPTSET pop=4 gen=3\n", "Variables  : f [-10, 0]",
         "Population : 4, generations 3 (16 evaluations)", 3, 2,
         "ERROR: no candidate could be solved; the first failed with: no frequency (FREQ) given"},
    };
    for (const auto& c : cases) {
        std::string model =
            write_file("fail.ant", cat({"VAR k=0.001 a=0.5 b=0.5 f=14.2\nFREQ f\n"
                                        "WIRE 0 0 -5 0 0 5 r=k seg=9\nSOURCE 1 50\nGOAL swr\n",
                                        c.optvars}));
        RunResult r = run_quarlin({"-opt", model, "-o", "out"});
        EXPECT_EQ(r.code, c.code) << c.optvars << r.out;
        std::vector<std::string> l = lines_of(r.out);
        ASSERT_EQ(l.size(), 7u + static_cast<size_t>(c.lines) + 1) << r.out;
        EXPECT_EQ(l[3], c.vars);
        EXPECT_EQ(l[5], c.popline);
        for (int g = 1; g <= c.lines; ++g)
            EXPECT_TRUE(l[static_cast<size_t>(6 + g)].starts_with(
                strfmt("gen %3d  cost 1000000000.0000  Z     0.00    +0.00j", g)))
                << l[static_cast<size_t>(6 + g)];
        EXPECT_TRUE(l.back().starts_with(c.error)) << l.back();
        EXPECT_FALSE(file_exists(test_dir() + "/fail_opt.ant")); // no optimum to write
        EXPECT_FALSE(file_exists(test_dir() + "/out/results.json"));
    }
}

// The "start" column of the final comparison is member 0's evaluation: the
// model's own value when it lies inside the bounds, otherwise the first
// draw of the generator, lo + (hi - lo) * 0.2569350004196167 (seed 1).
TEST(OptimizeRun, MemberZeroStartsFromTheModelValueInsideTheBounds) {
    const struct {
        const char* var;
        double half0;
    } cases[] = {
        {"VAR half=5.1", 5.1},
        {"VAR half=5.6", 4.8 + 0.6 * 0.2569350004196167},
        {"VAR half=4.7", 4.8 + 0.6 * 0.2569350004196167},
    };
    for (const auto& c : cases) {
        std::string tail = "OPTVAR half 4.8 5.4\nGOAL r\nOPTSET pop=4 gen=1\n";
        std::string model = write_file("d.ant", dipole(c.var, tail));
        RunResult r = run_quarlin({"-opt", model, "-o", "out"});
        ASSERT_EQ(r.code, 0) << r.out;
        // The feed resistance of that start, evaluated here.
        Model base;
        std::string err;
        model_clear_overrides();
        ASSERT_EQ(model_read(model, base, err), 0) << err;
        OptResult start;
        const double x[] = {c.half0};
        ASSERT_EQ(opt_eval(start, model, base, x), 0);
        model_clear_overrides();
        std::string row = strfmt("  r     %10.4g -> ", start.zin.real());
        EXPECT_NE(r.out.find(row), std::string::npos) << c.var << "\n" << search_part(r.out);
    }
}

TEST(OptimizeRun, SeedsZeroAndOneGiveTheSameRun) {
    std::string tail = "OPTVAR half 4.8 5.4\nGOAL swr target=1\nOPTSET pop=6 gen=4";
    RunResult a =
        run_quarlin({"-opt", write_file("a.ant", dipole("VAR half=5", tail + "\n")), "-o", "out"});
    RunResult b = run_quarlin(
        {"-opt", write_file("b.ant", dipole("VAR half=5", tail + " seed=1\n")), "-o", "out"});
    RunResult c = run_quarlin(
        {"-opt", write_file("c.ant", dipole("VAR half=5", tail + " seed=2\n")), "-o", "out"});
    ASSERT_EQ(a.code, 0);
    ASSERT_EQ(b.code, 0);
    ASSERT_EQ(c.code, 0);
    auto progress = [](const std::string& out) {
        std::string s = search_part(out);
        return s.substr(s.find("gen   1"), s.find("Optimized model") - s.find("gen   1"));
    };
    EXPECT_EQ(progress(a.out), progress(b.out));
    EXPECT_NE(progress(a.out), progress(c.out)); // the seed does change the search
}

TEST(OptimizeRun, OptimizedFileNamedBesideTheModel) {
    std::string tail = "OPTVAR half 4.8 5.4\nGOAL swr\nOPTSET pop=4 gen=1\n";
    fs::create_directories(test_dir() + "/sub");
    write_file("sub/m.ant", dipole("VAR half=5", tail));
    write_file("plain", dipole("VAR half=5", tail));
    write_file("-dash.ant", dipole("VAR half=5", tail));
    const struct {
        const char* arg;
        const char* written;
    } cases[] = {
        {"sub/m.ant", "sub/m_opt.ant"},
        {"plain", "plain_opt.ant"},
        {"./plain", "_opt.ant"},        // the path's last dot is the one of "./"
        {"-dash.ant", "-dash_opt.ant"}, // analysed although it looks like an option
    };
    for (const auto& c : cases) {
        RunResult r = run_quarlin({"-opt", c.arg, "-o", "out"});
        EXPECT_EQ(r.code, 0) << r.out;
        EXPECT_NE(r.out.find(cat({"\nOptimized model written to ", c.written, "\n\n"})),
                  std::string::npos)
            << search_part(r.out);
        EXPECT_TRUE(read_file(test_dir() + "/" + c.written).starts_with("# optimized by Quarlin"))
            << c.written;
    }
}

// An optimized file that cannot be written ends the run with exit code 5
// before anything is searched or analysed: a stale file of that name is
// never reported as the optimized antenna.
TEST(OptimizeRun, UnwritableOutputsEndWithExitCodeFive) {
    std::string tail = "OPTVAR half 4.8 5.4\nGOAL swr\nOPTSET pop=4 gen=1\n";
    std::string dir = test_dir();
    // The name is taken by a directory.
    std::string model = write_file("d.ant", dipole("VAR half=5", tail));
    fs::create_directory(dir + "/d_opt.ant");
    RunResult r = run_quarlin({"-opt", model, "-o", "out"});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "ERROR: cannot write " + dir + "/d_opt.ant\n");
    EXPECT_FALSE(file_exists(dir + "/out/results.json"));
    // The name is longer than a file name may be.
    std::string long_model = write_file(std::string(250, 'm') + ".ant", dipole("VAR half=5", tail));
    r = run_quarlin({"-opt", long_model});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "ERROR: cannot write " + dir + "/" + std::string(250, 'm') + "_opt.ant\n");
    // The output directory cannot be made (its parent is a file).
    std::string model2 = write_file("e.ant", dipole("VAR half=5", tail));
    write_file("afile", "x");
    r = run_quarlin({"-opt", model2, "-o", "afile/out"});
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "ERROR: cannot create the output directory afile/out\n");
    EXPECT_FALSE(file_exists(dir + "/e_opt.ant"));
}

// Every form of assignment the reader accepts carries the optimum into the
// optimized file: reading it back gives the printed values, and the final
// run analyses the best member (its impedance and SWR are those of the
// last progress line).
TEST(OptimizeRun, FinalRunAnalysesTheOptimumWhateverTheVarForm) {
    const char* forms[] = {
        "PARAM half=5.0",
        "VAR half 5.0",
        "var   f=14.2,half=5.0 ; the old value",
        "VAR half=5.0;old value",
        "Var\tHALF=5.0  # the name in upper case",
    };
    for (const char* form : forms) {
        std::string model = write_file(
            "d.ant", cat({"VAR f=14.2\n", form,
                          "\nFREQ f\nWIRE 0 -half 0 0 half 0 r=0.001 seg=9\nSOURCE 1 50\n"
                          "OPTVAR Half 4.8 5.4\nOPTVAR f 14 14.4\nGOAL swr target=1\n"
                          "OPTSET pop=6 gen=3\n"}));
        RunResult r = run_quarlin({"-opt", model, "-o", "out"});
        ASSERT_EQ(r.code, 0) << form << "\n" << r.out;
        std::string opt = test_dir() + "/d_opt.ant";
        EXPECT_EQ(var_after_read(opt, "half"), optimized_value(r.out, "Half")) << form;
        EXPECT_EQ(var_after_read(opt, "f"), optimized_value(r.out, "f")) << form;
        std::string s = search_part(r.out);
        std::string last = s.substr(s.find("gen   3"));
        nlohmann::json j = results_of(test_dir() + "/out");
        EXPECT_EQ(strfmt("Z %8.2f %+8.2fj  SWR %6.3f", j["design"]["zr"].get<double>(),
                         j["design"]["zi"].get<double>(), j["design"]["swr"].get<double>()),
                  last.substr(last.find("Z "), 32))
            << form;
        for (const char* comment : {";old value", "; the old value", "# the name in upper case"})
            if (std::string(form).find(comment) != std::string::npos) {
                EXPECT_NE(read_file(opt).find(comment), std::string::npos) << form;
            }
    }
}

TEST(OptimizeRun, ReversedBoundsAndUnknownNamesAreSearchedWithAWarning) {
    std::string model = write_file(
        "d.ant", dipole("VAR half=5.0", "OPTVAR half 5.4 4.8\nOPTVAR nothing 0 1\nGOAL swr\n"
                                        "OPTSET pop=4 gen=2\n"));
    RunResult r = run_quarlin({"-opt", model, "-o", "out"});
    ASSERT_EQ(r.code, 0) << r.out;
    std::vector<std::string> l = lines_of(r.out);
    EXPECT_EQ(l[3], "Variables  : half [5.4, 4.8] nothing [0, 1]");
    EXPECT_EQ(l[7],
              "WARNING: OPTVAR half has its bounds in reverse order: searched from 4.8 to 5.4");
    EXPECT_EQ(l[8],
              "WARNING: OPTVAR nothing names no VAR of the model; its value is not written to "
              "the optimized model");
    EXPECT_TRUE(l[9].starts_with("gen   1")) << l[9];
    double half = optimized_value(r.out, "half");
    EXPECT_GE(half, 4.8);
    EXPECT_LE(half, 5.4);
    double nothing = optimized_value(r.out, "nothing");
    EXPECT_GE(nothing, 0);
    EXPECT_LE(nothing, 1);
    // Its line in the file is what the model had: it has none.
    EXPECT_EQ(read_file(test_dir() + "/d_opt.ant").find("nothing="), std::string::npos);
}

// The model file is removed while the search runs: the remaining
// candidates fail, and at the end the model cannot be copied: exit code 2
// with the message, after the optimized values were shown.
TEST(OptimizeRun, ModelFileRemovedDuringTheRun) {
    std::string dir = test_dir();
    std::string model = write_file(
        "d.ant", dipole("VAR half=5.0", "OPTVAR half 4.8 5.4\nGOAL swr\nOPTSET pop=4 gen=3000\n"));
    std::string cmd = cat({"cd '", dir, "' && '", QUARLIN_BIN, "' -opt d.ant -o out"});
    std::FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    std::vector<char> buf(4096);
    bool removed = false;
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), p)) {
        out += buf.data();
        if (!removed && out.find("gen   1 ") != std::string::npos) {
            ASSERT_TRUE(fs::remove(model));
            removed = true;
        }
    }
    int status = pclose(p);
    ASSERT_TRUE(removed) << out;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    std::vector<std::string> l = lines_of(out);
    ASSERT_GE(l.size(), 3u);
    EXPECT_TRUE(l[l.size() - 2].starts_with("Optimized variables: half=")) << l[l.size() - 2];
    EXPECT_EQ(l.back(), "ERROR: cannot open d.ant");
    EXPECT_NE(out.find("gen 3000  cost "), std::string::npos); // the search ran to its end
    EXPECT_FALSE(file_exists(dir + "/d_opt.ant"));
}

// The bundled optimizer examples, with a small population and few
// generations: they run to the final analysis of their optimized copy,
// which has the best member's figures, and the best cost never rises from
// one generation to the next.
TEST(OptimizeExamples, RunWithASmallPopulation) {
    for (const char* name : {"opt_dipole", "opt_yagi"}) {
        std::string text = read_file(source_path(cat({"examples/", name, ".ant"})));
        size_t end = text.rfind("\nEND");
        ASSERT_NE(end, std::string::npos) << name;
        text.insert(end, "\nOPTSET pop=6 gen=3");
        std::string model = write_file(cat({name, ".ant"}), text);
        std::string out_dir = cat({test_dir(), "/out_", name});
        RunResult r = run_quarlin({"-opt", model, "-o", out_dir});
        ASSERT_EQ(r.code, 0) << name << "\n" << r.out;
        EXPECT_EQ(r.out.find("WARNING"), std::string::npos) << r.out;
        std::vector<std::string> l = lines_of(search_part(r.out));
        double prev = 1e300;
        std::string last;
        for (const std::string& line : l)
            if (line.starts_with("gen ")) {
                double cost = std::strtod(line.c_str() + 14, nullptr);
                EXPECT_LE(cost, prev) << line;
                prev = cost;
                last = line;
            }
        ASSERT_TRUE(last.starts_with("gen   3")) << name;
        nlohmann::json j = results_of(out_dir);
        EXPECT_EQ(strfmt("Z %8.2f %+8.2fj  SWR %6.3f", j["design"]["zr"].get<double>(),
                         j["design"]["zi"].get<double>(), j["design"]["swr"].get<double>()),
                  last.substr(last.find("Z "), 32))
            << name;
        Model base;
        std::string err;
        model_clear_overrides();
        ASSERT_EQ(model_read(model, base, err), 0) << err;
        std::string opt = cat({test_dir(), "/", name, "_opt.ant"});
        for (const OptVar& v : base.opt)
            EXPECT_EQ(var_after_read(opt, v.name), optimized_value(r.out, v.name)) << v.name;
    }
}

} // namespace
