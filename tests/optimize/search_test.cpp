// The optimizer's pieces in-process: the choice of the best member, the
// population defaults and the cost of one candidate.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "driver/pattern_summary.h"
#include "driver/run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "optimize/eval.h"
#include "optimize/optimize.h"
#include "parallel/par_for.h"
#include "solver/solve.h"
#include "test_support.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

OptResult result(double cost, int ok = 1) {
    OptResult r;
    r.cost = cost;
    r.ok = ok;
    return r;
}

TEST(OptBest, SmallestNumberCostOfTheSolvedFirstOfEqual) {
    const struct {
        std::vector<OptResult> res;
        int best;
    } cases[] = {
        {{result(3), result(1), result(2)}, 1},
        {{result(1), result(1), result(0.5), result(0.5)}, 2}, // the first of equal costs
        // A cost that is not a number is never the best, in any place.
        {{result(kNaN), result(5), result(4)}, 2},
        {{result(5), result(kNaN), result(6)}, 0},
        {{result(-1), result(-std::numeric_limits<double>::infinity())}, 1},
        // A failed candidate is not the best while a solved one exists,
        // even when the solved one costs more than the failure cost.
        {{result(kOptFailCost, 0), result(2 * kOptFailCost)}, 1},
        // Nothing solved: the smallest number all the same; nothing a number: -1.
        {{result(kOptFailCost, 0), result(kOptFailCost, 0)}, 0},
        {{result(kNaN), result(kNaN)}, -1},
        {{}, -1},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(opt_best(cases[i].res), cases[i].best) << "case " << i;
}

TEST(OptDefaults, PopulationAndGenerations) {
    Model m;
    const struct {
        int nopt, pop, gen, P, G;
    } cases[] = {
        {1, 0, 0, 15, 40}, {2, 0, 0, 20, 40},   {3, 0, 0, 30, 40}, {16, 0, 0, 160, 40},
        {1, 4, 7, 4, 7},   {3, -2, -1, 30, 40}, {2, 50, 1, 50, 1},
    };
    for (const auto& c : cases) {
        m.opt.assign(static_cast<size_t>(c.nopt), OptVar{"v", 0, 1});
        m.pop = c.pop;
        m.gen = c.gen;
        EXPECT_EQ(opt_population(m), c.P) << c.nopt << " variables, pop " << c.pop;
        EXPECT_EQ(opt_generations(m), c.G) << "gen " << c.gen;
    }
}

// A two-element beam in free space: a driven dipole along y and a parasitic
// element behind it along -x, whose length lp and spacing sp are tuned.
const char* kBeam = "VAR lp=10.6 sp=3\n"
                    "FREQ 14.2\n"
                    "WIRE 0 -5.05 0 0 5.05 0 r=0.01 seg=15 name=drv\n"
                    "WIRE -sp -lp/2 0 -sp lp/2 0 r=0.01 seg=15\n"
                    "SOURCE drv 50\n"
                    "OPTVAR lp 9.5 11.5\n"
                    "OPTVAR sp 1.5 4\n";

Model read_base(const std::string& path) {
    Model m;
    std::string err;
    model_clear_overrides();
    EXPECT_EQ(model_read(path, m, err), 0) << err;
    return m;
}

// The same candidate solved step by step, as a reference for the cost.
struct Solved {
    Model m;
    Mesh mesh;
    std::vector<cplx> cur;
    FreqResult fr;
};

void solve_candidate(const std::string& path, double lp, double sp, Solved& s) {
    model_clear_overrides();
    model_set_override("lp", lp);
    model_set_override("sp", sp);
    std::string err;
    ASSERT_EQ(model_read(path, s.m, err), 0) << err;
    ASSERT_EQ(mesh_build(s.m, s.mesh, s.m.f0, err), 0) << err;
    ASSERT_EQ(solve_freq(s.m, s.mesh, s.m.f0, s.cur, s.fr, 0, nullptr, err), 0) << err;
    pattern_summary(s.m, s.mesh, s.m.f0, s.cur, s.fr.pin, s.fr, nullptr, nullptr);
    model_clear_overrides();
}

TEST(OptEval, EachGoalTermAsDocumented) {
    std::string path = write_file("beam.ant", cat({kBeam, "GOAL gain elev=10 az=180 weight=2\n"
                                                          "GOAL fb target=5 weight=3\n"
                                                          "GOAL swr target=1.2 weight=0.5\n"
                                                          "GOAL r target=50 weight=4\n"
                                                          "GOAL x target=10\n"
                                                          "GOAL gmax weight=1.5\n"
                                                          "GOAL fb\n"}));
    Model base = read_base(path);
    ASSERT_EQ(base.ngoal(), 7);
    const double x[] = {10.4, 2.5};
    OptResult r;
    std::string why = "unchanged";
    ASSERT_EQ(opt_eval(r, path, base, x, &why), 0);
    EXPECT_EQ(why, "unchanged");

    Solved s;
    solve_candidate(path, 10.4, 2.5, s);
    const double gain_db = 10 * std::log10(gain_dir(s.m, s.mesh, s.m.f0, s.cur, s.fr.pin,
                                                    80 * phys::deg, 180 * phys::deg));
    ASSERT_GT(s.fr.fb, 5.0) << "the beam must beat the fb target for the cap to show";
    ASSERT_LT(s.fr.fb, 30.0);
    const double R = s.fr.zin.real(), X = s.fr.zin.imag();
    const double expect_val[] = {gain_db, s.fr.fb, s.fr.swr, R, X, s.fr.gmax, s.fr.fb};
    const double expect_cost = -2 * gain_db // gain rewarded
                               - 3 * 5.0    // fb rewarded up to its target
                               + 10 * 0.5 * std::max(s.fr.swr - 1.2, 0.0) // swr above target
                               + 4 * std::abs(R - 50) / 10 + std::abs(X - 10) / 10 //
                               - 1.5 * s.fr.gmax // peak gain rewarded
                               - s.fr.fb;        // fb below the default cap of 30
    for (int j = 0; j < 7; ++j)
        EXPECT_NEAR(r.goal_val[static_cast<size_t>(j)], expect_val[j], 1e-9) << j;
    EXPECT_NEAR(r.cost, expect_cost, 1e-9);
    EXPECT_EQ(r.ok, 1);
    EXPECT_NEAR(std::abs(r.zin - s.fr.zin), 0, 1e-9);
    EXPECT_NEAR(r.gmax, s.fr.gmax, 1e-9);
    EXPECT_NEAR(r.fb, s.fr.fb, 1e-9);
    EXPECT_GT(r.swr, 1.2); // the swr term is not trivially zero
}

TEST(OptEval, PatternSummaryOnlyForFbAndGmaxGoals) {
    std::string path = write_file("beam.ant", cat({kBeam, "GOAL swr\nGOAL r\n"}));
    Model base = read_base(path);
    const double x[] = {10.6, 3};
    OptResult r;
    ASSERT_EQ(opt_eval(r, path, base, x), 0);
    EXPECT_EQ(r.gmax, 0);
    EXPECT_EQ(r.fb, 0);
    EXPECT_GT(r.zin.real(), 0);
}

TEST(OptEval, FailuresCostTheFailureCostAndNameTheirStage) {
    // A radius variable: a negative radius cannot be meshed; a frequency
    // variable: a frequency of zero cannot be read.
    std::string path =
        write_file("k.ant", "VAR k=0.001 f=14\nFREQ f\nWIRE 0 0 -5 0 0 5 r=k\nSOURCE 1 50\n"
                            "OPTVAR k -1 1\nOPTVAR f 0 30\nGOAL swr\n");
    Model base = read_base(path);
    const struct {
        double k, f;
        int code;
        const char* why;
    } cases[] = {
        {0.001, 14, 0, ""},
        {-0.001, 14, EXIT_MESH, "wire 1 has radius -0.001 m (must be a positive number)"},
        {0.001, 0, EXIT_MODEL, "no frequency (FREQ) given"},
    };
    for (const auto& c : cases) {
        const double x[] = {c.k, c.f};
        OptResult r;
        std::string why;
        EXPECT_EQ(opt_eval(r, path, base, x, &why), c.code);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(r.ok, c.code == 0 ? 1 : 0);
        if (c.code != 0) {
            EXPECT_EQ(r.cost, kOptFailCost);
        }
        EXPECT_EQ(model_override_count(), 2); // the candidate's, cleared by the next one
    }
    // The file gone: a read failure like any other.
    OptResult r;
    std::string why;
    const double x[] = {0.001, 14};
    EXPECT_EQ(opt_eval(r, test_dir() + "/gone.ant", base, x, &why), EXIT_MODEL);
    EXPECT_EQ(why, "cannot open " + test_dir() + "/gone.ant");
    model_clear_overrides();
}

// The search is sequential; only the solves and the pattern search inside
// an evaluation run on worker threads, and they write disjoint outputs: the
// progress is the same, byte for byte, whatever the number of workers.
TEST(OptSearch, SameSeedSameProgressOnOneAndTwoThreads) {
    std::string model = write_file("beam.ant", cat({kBeam, "GOAL gmax\nGOAL fb\nGOAL swr\n"
                                                           "OPTSET pop=6 gen=4 seed=12345\n"}));
    std::string progress[2];
    for (int threads : {1, 2}) {
        set_threads(threads);
        testing::internal::CaptureStdout();
        int code =
            opt_main(std::vector<std::string>{"quarlin", "-opt", model, "-o", test_dir() + "/out"});
        std::fflush(stdout);
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(code, 0) << out;
        size_t from = out.find("gen   1"), to = out.find("Optimized model written");
        ASSERT_NE(from, std::string::npos) << out;
        ASSERT_NE(to, std::string::npos) << out;
        progress[threads - 1] = out.substr(from, to - from);
    }
    set_threads(0);
    EXPECT_EQ(progress[0], progress[1]);
    EXPECT_EQ(model_override_count(), 0); // the optimizer leaves no override behind
}

} // namespace
