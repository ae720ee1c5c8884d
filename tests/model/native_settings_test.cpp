// GROUND, DISH, MESH, Z0, PATTERN and the optimizer's OPTVAR, GOAL and
// OPTSET.
#include <gtest/gtest.h>

#include <string>

#include "model/model.h"
#include "model_text.h"

namespace {

struct ErrCase {
    const char* lines; // after kHead: the first is line 4
    const char* message;
};

class SettingsError : public ::testing::TestWithParam<ErrCase> {};

TEST_P(SettingsError, StopsWithTheMessage) {
    ModelText r = read_lines(GetParam().lines);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, GetParam().message) << GetParam().lines;
}

// ---------------------------------------------------------------- GROUND

struct GroundCase {
    const char* lines;
    int ground, somm;
    double eps, sigma;
    double pcb_eps, pcb_tand, pcb_h;
    int pcb_gnd;
};

class Ground : public ::testing::TestWithParam<GroundCase> {};

TEST_P(Ground, KindAndConstants) {
    const GroundCase& c = GetParam();
    ModelText r = read_lines(c.lines);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.ground, c.ground) << c.lines;
    EXPECT_EQ(r.m.somm, c.somm) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.eps, c.eps) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.sigma, c.sigma) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.pcb_eps, c.pcb_eps) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.pcb_tand, c.pcb_tand) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.pcb_h, c.pcb_h) << c.lines;
    EXPECT_EQ(r.m.pcb_gnd, c.pcb_gnd) << c.lines;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Ground,
    ::testing::Values(
        GroundCase{"GROUND real eps=5 sigma=0.001 sommerfeld", GROUND_REAL, 1, 5, 0.001, 0, 0, 0,
                   0},
        GroundCase{"GROUND real eps=5 sigma=0.001 sommerfeld mininec", GROUND_MININEC, 0, 5, 0.001,
                   0, 0, 0, 0},
        GroundCase{"GROUND REAL", GROUND_REAL, 0, 13, 0.005, 0, 0, 0, 0},
        GroundCase{"GROUND Perfect sommerfeld", GROUND_PERFECT, 0, 13, 0.005, 0, 0, 0, 0},
        GroundCase{"GROUND free", GROUND_FREE, 0, 13, 0.005, 0, 0, 0, 0},
        GroundCase{"GROUND none eps=4", GROUND_FREE, 0, 4, 0.005, 0, 0, 0, 0},
        GroundCase{"GROUND pcb", GROUND_PCB, 0, 13, 0.005, 4.4, 0, 0.0016, 0},
        GroundCase{"GROUND board eps=3.5 h=0.8mm groundplane", GROUND_PCB, 0, 3.5, 0.005, 3.5, 0,
                   0.0008, 1},
        GroundCase{"GROUND pcb h=1 thickness=0.5mm tand=0.02 Grounded", GROUND_PCB, 0, 13, 0.005,
                   4.4, 0.02, 0.0005, 1},
        GroundCase{"UNITS mm\nGROUND pcb h=0.8", GROUND_PCB, 0, 13, 0.005, 4.4, 0, 0.0008, 0},
        GroundCase{"GROUND pcb h=62mil", GROUND_PCB, 0, 13, 0.005, 4.4, 0, 62 * 2.54e-5, 0},
        // A later line replaces the kind and somm, keeps the constants it
        // does not give; a pcb line resets the board first.
        GroundCase{"GROUND pcb eps=3 tand=0.01 groundplane\nGROUND real sigma=0.01", GROUND_REAL, 0,
                   3, 0.01, 3, 0.01, 0.0016, 1},
        GroundCase{"GROUND board eps=3 h=1mm groundplane\nGROUND pcb", GROUND_PCB, 0, 3, 0.005, 4.4,
                   0, 0.0016, 0},
        GroundCase{"GROUND real sommerfeld\nGROUND real", GROUND_REAL, 0, 13, 0.005, 0, 0, 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    Ground, SettingsError,
    ::testing::Values(
        ErrCase{"GROUND", "line 4: unknown keyword 'GROUND'"},
        ErrCase{"GROUND pcb eps=0.5", "line 4: GROUND pcb needs eps >= 1 and h > 0"},
        ErrCase{"GROUND pcb h=0", "line 4: GROUND pcb needs eps >= 1 and h > 0"},
        ErrCase{"GROUND board thickness=-1mm", "line 4: GROUND pcb needs eps >= 1 and h > 0"},
        ErrCase{"GROUND pcb eps=nan", "line 4: GROUND pcb needs eps >= 1 and h > 0"},
        ErrCase{"GROUND pcb h=inf", "line 4: GROUND pcb needs eps >= 1 and h > 0"},
        ErrCase{"GROUND real eps=nan", "line 4: GROUND eps, sigma and tand must be finite numbers"},
        ErrCase{"GROUND real sigma=1e999",
                "line 4: GROUND eps, sigma and tand must be finite numbers"},
        ErrCase{"GROUND pcb tand=nan",
                "line 4: GROUND eps, sigma and tand must be finite numbers"}));

// ---------------------------------------------------------------- DISH

struct DishCase {
    const char* lines;
    double d, f, mesh, wire_r, block, q;
};

class Dish : public ::testing::TestWithParam<DishCase> {};

TEST_P(Dish, SizesAndMesh) {
    const DishCase& c = GetParam();
    ModelText r = read_lines(c.lines);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.dish, 1);
    EXPECT_DOUBLE_EQ(r.m.dish_d, c.d) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.dish_f, c.f) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.dish_mesh, c.mesh) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.dish_wire_r, c.wire_r) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.dish_block, c.block) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.dish_q, c.q) << c.lines;
}

INSTANTIATE_TEST_SUITE_P(
    Options, Dish,
    ::testing::Values(
        DishCase{"DISH D=3 FD=0.4", 3, 1.2, 0, 0, 0, 0},
        DishCase{"DISH FD=0.4 D=3", 3, 1.2, 0, 0, 0, 0},
        DishCase{"DISH D=3 F=1 FD=0.5", 3, 1.5, 0, 0, 0, 0},
        DishCase{"DISH d=3 f=1 mesh=0.01", 3, 1, 0.01, 0.0002, 0, 0},
        DishCase{"DISH D=3 F=1 wire=2mm", 3, 1, 0, 0.001, 0, 0},
        DishCase{"DISH D=3 F=1 mesh=1cm wire=1mm block=0.3 q=8", 3, 1, 0.01, 0.0005, 0.3, 8},
        DishCase{"UNITS cm\nDISH D=300 F=100 block=30", 3, 1, 0, 0, 0.3, 0},
        // A second line resets D and F but keeps the rest.
        DishCase{"DISH D=3 F=1 mesh=0.01 q=4\nDISH D=2 F=0.8", 2, 0.8, 0.01, 0.0002, 0, 4}));

INSTANTIATE_TEST_SUITE_P(
    Dish, SettingsError,
    ::testing::Values(ErrCase{"DISH D=3", "line 4: DISH needs D= and F= or FD="},
                      ErrCase{"DISH F=1", "line 4: DISH needs D= and F= or FD="},
                      ErrCase{"DISH FD=0.4", "line 4: DISH needs D= and F= or FD="},
                      ErrCase{"DISH D=3 F=0", "line 4: DISH needs D= and F= or FD="},
                      ErrCase{"DISH D=3 F=1\nDISH D=3", "line 5: DISH needs D= and F= or FD="},
                      ErrCase{"DISH D=inf F=1", "line 4: DISH needs D= and F= or FD="},
                      ErrCase{"DISH D=3 F=1 q=nan", "line 4: DISH values must be finite numbers"},
                      ErrCase{"DISH D=3 F=1 mesh=1e999",
                              "line 4: DISH values must be finite numbers"}));

// ---------------------------------------------------------------- MESH

struct MeshCase {
    const char* lines;
    double segwl, angle;
    int taper;
    double fmax;  // after model_read completes it
    int ends = 1; // grading toward free wire ends
};

class MeshLine : public ::testing::TestWithParam<MeshCase> {};

TEST_P(MeshLine, Settings) {
    const MeshCase& c = GetParam();
    ModelText r = read_lines(c.lines);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(r.m.segwl, c.segwl) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.angle, c.angle) << c.lines;
    EXPECT_EQ(r.m.taper, c.taper) << c.lines;
    EXPECT_DOUBLE_EQ(r.m.fmax, c.fmax) << c.lines;
    EXPECT_EQ(r.m.ends, c.ends) << c.lines;
}

INSTANTIATE_TEST_SUITE_P(
    Options, MeshLine,
    ::testing::Values(MeshCase{"MESH", 30, 0, 1, 14.2e6},
                      MeshCase{"MESH taper=off", 30, 0, 0, 14.2e6},
                      MeshCase{"MESH taper=OFF segwl=20 angle=5", 20, 5, 0, 14.2e6},
                      MeshCase{"MESH taper=0", 30, 0, 1, 14.2e6},
                      MeshCase{"MESH taper=off\nMESH taper=on", 30, 0, 1, 14.2e6},
                      MeshCase{"MESH angle=-5", 30, -5, 1, 14.2e6},
                      MeshCase{"FREQ 7 MHz\nMESH fmax=7.3", 30, 0, 1, 7.3e6},
                      MeshCase{"FREQ 7100 kHz\nMESH fmax=7.3", 30, 0, 1, 7.3e3},
                      MeshCase{"FREQ 2.4 GHz\nSWEEP 1 2 3 MHz\nMESH fmax=2.5", 30, 0, 1, 2.5e9},
                      MeshCase{"VAR n=2\nMESH segwl=10*n", 20, 0, 1, 14.2e6},
                      MeshCase{"MESH ends=off", 30, 0, 1, 14.2e6, 0},
                      MeshCase{"MESH ENDS=Off taper=off", 30, 0, 0, 14.2e6, 0},
                      MeshCase{"MESH ends=on", 30, 0, 1, 14.2e6, 1},
                      MeshCase{"MESH ends=off\nMESH ends=0", 30, 0, 1, 14.2e6, 1}));

TEST(MeshFmax, WithoutFreqBeforeItIsInMegahertz) {
    ModelText r = read_model_text("MESH fmax=7.3\nFREQ 7100 kHz\nWIRE 0 0 0 0 0 1\nSOURCE 1 50\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(r.m.fmax, 7.3e6);
}

INSTANTIATE_TEST_SUITE_P(
    Mesh, SettingsError,
    ::testing::Values(ErrCase{"MESH segwl=0", "line 4: MESH segwl must be positive"},
                      ErrCase{"MESH segwl=-10", "line 4: MESH segwl must be positive"},
                      ErrCase{"MESH segwl=nan", "line 4: MESH values must be finite numbers"},
                      ErrCase{"MESH angle=inf", "line 4: MESH values must be finite numbers"},
                      ErrCase{"MESH fmax=1e999", "line 4: MESH values must be finite numbers"}));

// ---------------------------------------------------------------- Z0, PATTERN

TEST(ReferenceAndPattern, Values) {
    ModelText r = read_lines("Z0 75\nPATTERN dth=1 dph=10\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.z0ref, 75);
    EXPECT_EQ(r.m.dth, 1);
    EXPECT_EQ(r.m.dph, 10);

    ModelText d = read_lines("PATTERN dph=2.5\nVAR z=25\nZ0 2*z\n");
    ASSERT_EQ(d.rc, 0) << d.err;
    EXPECT_EQ(d.m.dth, 2); // the default stays
    EXPECT_EQ(d.m.dph, 2.5);
    EXPECT_EQ(d.m.z0ref, 50);

    // A step of 0 or less asks for no grid at all; 0.1 degree is the finest.
    ModelText n = read_lines("PATTERN dth=0 dph=-1\nPATTERN dth=0.1\n");
    ASSERT_EQ(n.rc, 0) << n.err;
    EXPECT_EQ(n.m.dth, 0.1);
    EXPECT_EQ(n.m.dph, -1);
}

INSTANTIATE_TEST_SUITE_P(
    ReferenceAndPattern, SettingsError,
    ::testing::Values(ErrCase{"Z0", "line 4: unknown keyword 'Z0'"},
                      ErrCase{"Z0 0", "line 4: Z0 must be a positive number of ohms"},
                      ErrCase{"Z0 -50", "line 4: Z0 must be a positive number of ohms"},
                      ErrCase{"Z0 nan", "line 4: Z0 must be a positive number of ohms"},
                      ErrCase{"PATTERN dth=0.05",
                              "line 4: PATTERN steps must be at least 0.1 degrees (0 for no grid)"},
                      ErrCase{"PATTERN dph=1e-9",
                              "line 4: PATTERN steps must be at least 0.1 degrees (0 for no grid)"},
                      ErrCase{
                          "PATTERN dth=nan",
                          "line 4: PATTERN steps must be at least 0.1 degrees (0 for no grid)"}));

// ---------------------------------------------------------------- OPTVAR

TEST(OptVar, LimitsAreExpressionsOverTheVariables) {
    ModelText r = read_lines("OPTVAR len 4.5 5.5\nVAR a=2\nOPTVAR x a*2 a^3\nOPTVAR "
                             "abcdefghijklmnopqrstuvwxyz0123456789 5 1\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.nopt(), 3);
    EXPECT_EQ(r.m.opt[0].name, "len");
    EXPECT_EQ(r.m.opt[0].lo, 4.5);
    EXPECT_EQ(r.m.opt[0].hi, 5.5);
    EXPECT_EQ(r.m.opt[1].lo, 4);
    EXPECT_EQ(r.m.opt[1].hi, 8);
    EXPECT_EQ(r.m.opt[2].name, "abcdefghijklmnopqrstuvwxyz01234"); // 31 characters
    EXPECT_EQ(r.m.opt[2].lo, 5);                                   // not compared with hi
    EXPECT_EQ(r.m.opt[2].hi, 1);
}

TEST(OptVar, SixteenAreKeptAndFurtherLinesIgnored) {
    std::string lines;
    for (int i = 0; i < 16; ++i) lines += "OPTVAR v" + std::to_string(i) + " 0 1\n";
    ModelText r = read_lines(lines + "OPTVAR late 2 3\nOPTVAR bad a b\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.nopt(), 16);
    EXPECT_EQ(r.m.opt[15].name, "v15");
}

INSTANTIATE_TEST_SUITE_P(OptVar, SettingsError,
                         ::testing::Values(ErrCase{"OPTVAR x 1",
                                                   "line 4: unknown keyword 'OPTVAR'"},
                                           ErrCase{"OPTVAR len a b", "line 4: OPTVAR limits"},
                                           ErrCase{"OPTVAR len 1 2*(3", "line 4: OPTVAR limits"},
                                           ErrCase{"OPTVAR len 0/0 1", "line 4: OPTVAR limits"},
                                           ErrCase{"OPTVAR len 0 1/0", "line 4: OPTVAR limits"}));

// ---------------------------------------------------------------- GOAL

struct GoalCase {
    const char* lines;
    int kind;
    double theta, phi, target, weight;
};

class GoalLine : public ::testing::TestWithParam<GoalCase> {};

TEST_P(GoalLine, KindDefaultsAndOptions) {
    const GoalCase& c = GetParam();
    ModelText r = read_lines(c.lines);
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.ngoal(), 1);
    const Goal& g = r.m.goal[0];
    EXPECT_EQ(g.kind, c.kind) << c.lines;
    EXPECT_DOUBLE_EQ(g.theta, c.theta) << c.lines;
    EXPECT_DOUBLE_EQ(g.phi, c.phi) << c.lines;
    EXPECT_DOUBLE_EQ(g.target, c.target) << c.lines;
    EXPECT_DOUBLE_EQ(g.weight, c.weight) << c.lines;
}

INSTANTIATE_TEST_SUITE_P(
    Words, GoalLine,
    ::testing::Values(GoalCase{"GOAL swr", GOAL_SWR, 90, 0, 1.5, 1},
                      GoalCase{"GOAL R", GOAL_R, 90, 0, 50, 1},
                      GoalCase{"GOAL x target=-10", GOAL_X, 90, 0, -10, 1},
                      GoalCase{"GOAL fb weight=2*3", GOAL_FB, 90, 0, 0, 6},
                      GoalCase{"GOAL gain elev=10 az=90", GOAL_GAIN, 80, 90, 0, 1},
                      GoalCase{"GOAL gain theta=30 elev=10 phi=5 az=90", GOAL_GAIN, 80, 90, 0, 1},
                      GoalCase{"GOAL Gain THETA=30 phi=45 target=12", GOAL_GAIN, 30, 45, 12, 1},
                      GoalCase{"GOAL maxgain", GOAL_GMAX, 90, 0, 0, 1},
                      GoalCase{"VAR w=4\nGOAL gmax weight=w", GOAL_GMAX, 90, 0, 0, 4}));

TEST(GoalLimit, TwelveAreKeptAndFurtherLinesIgnored) {
    std::string lines;
    for (int i = 0; i < 12; ++i) lines += "GOAL swr weight=" + std::to_string(i + 1) + "\n";
    ModelText r = read_lines(lines + "GOAL gain\nGOAL r target=nan\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.ngoal(), 12);
    EXPECT_EQ(r.m.goal[11].kind, GOAL_SWR);
    EXPECT_EQ(r.m.goal[11].weight, 12);
}

INSTANTIATE_TEST_SUITE_P(Goal, SettingsError,
                         ::testing::Values(ErrCase{"GOAL", "line 4: unknown keyword 'GOAL'"},
                                           ErrCase{"GOAL gain theta=nan",
                                                   "line 4: GOAL values must be finite numbers"},
                                           ErrCase{"VAR z=0\nGOAL swr weight=1/z",
                                                   "line 5: GOAL values must be finite numbers"}));

// ---------------------------------------------------------------- OPTSET

TEST(OptSet, PlainIntegersLeftUnchangedWhenNotGiven) {
    ModelText r = read_lines("OPTSET pop=30 gen=100\nOPTSET seed=7\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.pop, 30);
    EXPECT_EQ(r.m.gen, 100);
    EXPECT_EQ(r.m.seed, 7);

    ModelText d = read_lines("OPTSET\nOPTSET pop=0\nOPTSET pop=-3\n");
    ASSERT_EQ(d.rc, 0) << d.err;
    EXPECT_EQ(d.m.pop, -3); // 0 or less: the optimizer's default
}

INSTANTIATE_TEST_SUITE_P(
    OptSet, SettingsError,
    ::testing::Values(
        ErrCase{"OPTSET pop=3", "line 4: OPTSET pop must be 4 to 10000 (0 for the default)"},
        ErrCase{"OPTSET pop=10001", "line 4: OPTSET pop must be 4 to 10000 (0 for the default)"},
        // Not substituted: an expression or a variable is no plain integer.
        ErrCase{"OPTSET pop=30 gen=2*50", "line 4: '2*50' is not a number (undefined variable?)"},
        ErrCase{"VAR n=9\nOPTSET seed=n", "line 5: 'n' is not a number (undefined variable?)"}));

} // namespace
