// LOAD, TL, MATERIAL, the material table and the sleeve options.
#include <gtest/gtest.h>

#include <string>

#include "model/model.h"
#include "model/native.h"
#include "model_text.h"

namespace {

// Two wires: the head wire (1, "headwire") and a second one (2, "arm").
const char* kArm = "WIRE 0 0 2 0 0 4 name=arm\n";

// ---------------------------------------------------------------- LOAD

struct LoadCase {
    const char* line;
    int type;
    double pos, r, l, c;
};

class LoadFields : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadFields, TypeAndValues) {
    const LoadCase& c = GetParam();
    ModelText m = read_lines(cat({kArm, c.line}));
    ASSERT_EQ(m.rc, 0) << m.err;
    ASSERT_EQ(m.m.nload(), 1);
    const Load& ld = m.m.loads[0];
    EXPECT_EQ(ld.type, c.type) << c.line;
    EXPECT_EQ(ld.wire, 0) << c.line;
    EXPECT_EQ(ld.path, -1);
    EXPECT_DOUBLE_EQ(ld.pos, c.pos) << c.line;
    EXPECT_DOUBLE_EQ(ld.r, c.r) << c.line;
    EXPECT_DOUBLE_EQ(ld.l, c.l) << c.line;
    EXPECT_DOUBLE_EQ(ld.c, c.c) << c.line;
    EXPECT_EQ(ld.unk, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Options, LoadFields,
    ::testing::Values(
        LoadCase{"LOAD 1 50 R=10 L=1e-6", LOAD_SERIES, 0.5, 10, 1e-6, 0},
        LoadCase{"LOAD 1 50 R=10 L=1e-6 par", LOAD_PARALLEL, 0.5, 10, 1e-6, 0},
        LoadCase{"LOAD 1 50 C=1e-12 PARALLEL", LOAD_PARALLEL, 0.5, 0, 0, 1e-12},
        LoadCase{"LOAD 1 50 X=-200", LOAD_IMPEDANCE, 0.5, 0, -200, 0},
        LoadCase{"LOAD 1 50 R=5 X=100 L=3", LOAD_IMPEDANCE, 0.5, 5, 100, 0}, // X= overwrites L=
        LoadCase{"LOAD 1 50 X=100 par", LOAD_PARALLEL, 0.5, 0, 100, 0},      // the flag comes last
        LoadCase{"LOAD headwire 25 r=1 l=2 c=3", LOAD_SERIES, 0.25, 1, 2, 3},
        LoadCase{"LOAD 1 0", LOAD_SERIES, 0, 0, 0, 0},
        LoadCase{"LOAD 1 100 R=-5", LOAD_SERIES, 1, -5, 0, 0},
        LoadCase{"VAR xl=2*pi*14.2e6*1e-6\nLOAD 1 10*5 L=xl/(2*pi*14.2e6)", LOAD_SERIES, 0.5, 0,
                 1e-6, 0}));

TEST(LoadRefs, WireOrPathByNameOrNumber) {
    ModelText m =
        read_lines(cat({kArm, "LOOP 0 0 5 1 4 name=ring\nHELIX 0 0 6 0.1 0.05 2 name=coil\n"
                              "LOAD ARM 10 R=1\nLOAD 6 20 R=2\nLOAD ring3 30 R=3\n"
                              "LOAD coil 40 R=4\n"}));
    ASSERT_EQ(m.rc, 0) << m.err;
    ASSERT_EQ(m.m.nload(), 4);
    EXPECT_EQ(m.m.loads[0].wire, 1);
    EXPECT_EQ(m.m.loads[1].wire, 5);
    EXPECT_EQ(m.m.loads[2].wire, 4);
    EXPECT_EQ(m.m.loads[3].wire, -1);
    EXPECT_EQ(m.m.loads[3].path, 0);
    EXPECT_DOUBLE_EQ(m.m.loads[3].pos, 0.4);
}

// ---------------------------------------------------------------- TL

struct TlCase {
    const char* line;
    int wire1, path1, wire2, path2;
    double pos1, pos2, z0, len, vf, loss;
    int rev;
};

class TlFields : public ::testing::TestWithParam<TlCase> {};

TEST_P(TlFields, EndsAndValues) {
    const TlCase& c = GetParam();
    ModelText m = read_lines(cat({kArm, "CURVE 1 0 t name=stub\n", c.line}));
    ASSERT_EQ(m.rc, 0) << m.err;
    ASSERT_EQ(m.m.ntl(), 1);
    const TLine& tl = m.m.tls[0];
    EXPECT_EQ(tl.wire1, c.wire1) << c.line;
    EXPECT_EQ(tl.path1, c.path1) << c.line;
    EXPECT_EQ(tl.wire2, c.wire2) << c.line;
    EXPECT_EQ(tl.path2, c.path2) << c.line;
    EXPECT_DOUBLE_EQ(tl.pos1, c.pos1) << c.line;
    EXPECT_DOUBLE_EQ(tl.pos2, c.pos2) << c.line;
    EXPECT_DOUBLE_EQ(tl.z0, c.z0) << c.line;
    EXPECT_DOUBLE_EQ(tl.len, c.len) << c.line;
    EXPECT_DOUBLE_EQ(tl.vf, c.vf) << c.line;
    EXPECT_DOUBLE_EQ(tl.loss, c.loss) << c.line;
    EXPECT_EQ(tl.rev, c.rev) << c.line;
    EXPECT_EQ(tl.y11, std::complex<double>(0, 0));
    EXPECT_EQ(tl.unk1, -1);
    EXPECT_EQ(tl.unk2, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Options, TlFields,
    ::testing::Values(TlCase{"TL 1 50 2 50", 0, -1, 1, -1, 0.5, 0.5, 50, 0, 1, 0, 0},
                      TlCase{"TL arm 0 headwire 100 Z0=300 len=10 vf=0.66 loss=1.5 REV", 1, -1, 0,
                             -1, 0, 1, 300, 10, 0.66, 1.5, 1},
                      TlCase{"UNITS ft\nTL 1 50 stub 50 len=10 z0=75", 0, -1, -1, 0, 0.5, 0.5, 75,
                             3.048, 1, 0, 0},
                      TlCase{"TL stub 25 1 75 len=-1 vf=0", -1, 0, 0, -1, 0.25, 0.75, 50, -1, 0, 0,
                             0}));

// ---------------------------------------------------------------- errors

struct ErrCase {
    const char* lines; // after kHead and kArm: the first is line 5
    const char* message;
};

class LoadError : public ::testing::TestWithParam<ErrCase> {};

TEST_P(LoadError, StopsWithTheMessage) {
    ModelText m = read_lines(cat({kArm, GetParam().lines}));
    EXPECT_EQ(m.rc, -1);
    EXPECT_EQ(m.err, GetParam().message) << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LoadError,
    ::testing::Values(
        ErrCase{"LOAD 1", "line 5: unknown keyword 'LOAD'"},
        ErrCase{"TL 1 50 2", "line 5: unknown keyword 'TL'"},
        ErrCase{"MATERIAL", "line 5: unknown keyword 'MATERIAL'"},
        ErrCase{"LOAD 3 50 R=1", "line 5: unknown wire '3'"},
        // No unit suffixes: 1uH would be read as 1 H.
        ErrCase{"LOAD 1 50 L=1uH", "line 5: '1uH' is not a number (undefined variable?)"},
        ErrCase{"LOAD arms 50 R=1", "line 5: unknown wire 'arms'"},
        ErrCase{"TL 1 50 9 50", "line 5: unknown wire in TL"},
        ErrCase{"TL nowhere 50 1 50", "line 5: unknown wire in TL"},
        ErrCase{"LOAD 1 50 R=nan", "line 5: LOAD position and values must be finite numbers"},
        ErrCase{"LOAD 1 inf C=1e-12", "line 5: LOAD position and values must be finite numbers"},
        ErrCase{"VAR z=0\nLOAD 1 50 X=1/z",
                "line 6: LOAD position and values must be finite numbers"},
        ErrCase{"TL 1 50 2 50 len=nan", "line 5: TL positions and values must be finite numbers"},
        ErrCase{"TL 1 50 2 1e999", "line 5: TL positions and values must be finite numbers"},
        ErrCase{"TL 1 50 2 50 Z0=0", "line 5: TL Z0 must be positive (rev crosses the line)"},
        ErrCase{"TL 1 50 2 50 Z0=-300", "line 5: TL Z0 must be positive (rev crosses the line)"},
        ErrCase{"MATERIAL nan",
                "line 5: MATERIAL nan is neither a material nor a finite conductivity"},
        ErrCase{"MATERIAL 1e999",
                "line 5: MATERIAL 1e999 is neither a material nor a finite conductivity"}));

// ---------------------------------------------------------------- materials

TEST(Materials, TableNamesAnyCaseAndNumbers) {
    struct {
        const char* text;
        double sigma;
    } cases[] = {{"copper", 5.8e7},    {"Copper", 5.8e7},  {"ALUMINUM", 3.5e7},
                 {"aluminium", 3.5e7}, {"brass", 1.5e7},   {"steel", 1.0e7},
                 {"stainless", 1.4e6}, {"silver", 6.2e7},  {"gold", 4.1e7},
                 {"perfect", 0},       {"PEC", 0},         {"1e6", 1e6},
                 {"2.5e7xyz", 2.5e7},  {"unobtainium", 0}, {"", 0}};
    for (const auto& c : cases) EXPECT_EQ(sigma_of(c.text), c.sigma) << "'" << c.text << "'";
}

TEST(Materials, ModelWideMaterialFillsWiresWithoutTheirOwn) {
    ModelText m =
        read_lines("WIRE 0 0 2 0 0 4 mat=steel\nWIRE 0 0 4 0 0 5 mat=perfect\nLOOP 0 0 9 1 3\n"
                   "HELIX 0 0 10 0.1 0.1 1 mat=gold\nCURVE 0 0 t+20\n"
                   "MATERIAL copper\nWIRE 0 0 5 0 0 6\nMATERIAL aluminum\n");
    ASSERT_EQ(m.rc, 0) << m.err;
    EXPECT_EQ(m.m.mat_sigma, 3.5e7);      // the last MATERIAL line wins
    EXPECT_EQ(m.m.wires[0].sigma, 3.5e7); // the head wire, defined before it
    EXPECT_EQ(m.m.wires[1].sigma, 1.0e7); // its own material stays
    EXPECT_EQ(m.m.wires[2].sigma, 0);     // perfect, given explicitly
    for (int k = 3; k <= 5; ++k) EXPECT_EQ(m.m.wires[static_cast<size_t>(k)].sigma, 3.5e7) << k;
    EXPECT_EQ(m.m.wires[6].sigma, 3.5e7);
    EXPECT_EQ(m.m.paths[0].sigma, 4.1e7);
    EXPECT_EQ(m.m.paths[1].sigma, -1); // the mesher fills paths
}

TEST(Materials, MatIsNeverSubstitutedButMaterialIs) {
    ModelText m = read_lines("VAR copper=5 s=2\nWIRE 0 0 2 0 0 4 mat=copper\nMATERIAL s*1e6\n");
    ASSERT_EQ(m.rc, 0) << m.err;
    EXPECT_EQ(m.m.wires[1].sigma, 5.8e7);
    EXPECT_EQ(m.m.mat_sigma, 2e6);
}

TEST(Materials, NoMaterialLineLeavesPerfectConductors) {
    ModelText m = read_lines("LOOP 0 0 5 1 3");
    ASSERT_EQ(m.rc, 0) << m.err;
    EXPECT_EQ(m.m.mat_sigma, 0);
    for (const Wire& w : m.m.wires) EXPECT_EQ(w.sigma, 0);
}

// ---------------------------------------------------------------- sleeves

struct SleeveCase {
    const char* lines; // the last line makes wire 1
    double ins_t, ins_eps;
};

class Sleeve : public ::testing::TestWithParam<SleeveCase> {};

TEST_P(Sleeve, ThicknessAndPermittivity) {
    ModelText m = read_lines(GetParam().lines);
    ASSERT_EQ(m.rc, 0) << m.err;
    EXPECT_DOUBLE_EQ(m.m.wires[1].ins_t, GetParam().ins_t) << GetParam().lines;
    EXPECT_DOUBLE_EQ(m.m.wires[1].ins_eps, GetParam().ins_eps) << GetParam().lines;
}

INSTANTIATE_TEST_SUITE_P(
    Options, Sleeve,
    ::testing::Values(SleeveCase{"UNITS mm\nLOOP 0 0 0 100 4 ins=1 insmm=2", 0.002, 2.1},
                      SleeveCase{"UNITS mm\nLOOP 0 0 0 100 4 ins=1", 0.001, 2.1},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1", 0.001, 2.1},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 inseps=3 insul=pvc", 0.001, 3.5},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 inseps=3", 0.001, 3},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 inseps=1", 0.001, 2.1},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 insul=PTFE", 0.001, 2.1},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 insul=polyethylene", 0.001, 2.3},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 insul=pe", 0.001, 2.3},
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=1 insul=4.5", 0.001, 4.5},
                      SleeveCase{"VAR pvc=9\nLOOP 0 0 0 1 4 insmm=1 insul=pvc", 0.001,
                                 3.5},                                               // a name
                      SleeveCase{"VAR th=2\nLOOP 0 0 0 1 4 insmm=th/2", 0.001, 2.1}, // substituted
                      SleeveCase{"LOOP 0 0 0 1 4 inseps=0.5", 0, 0.5},               // no sleeve
                      SleeveCase{"LOOP 0 0 0 1 4 insmm=-1", -0.001, 0}));            // no sleeve

} // namespace
