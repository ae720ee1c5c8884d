// The native reader's frame and core keywords: lines, comments, titles,
// dispatch, variables, substitution, WIRE, SOURCE, FREQ, SWEEP, UNITS, END.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "model/model.h"
#include "model_text.h"
#include "test_support.h"

namespace {

// A complete small model around the lines under test, so that the checks
// after reading pass.
const char* kTail = "WIRE 0 0 -1 0 0 1 name=tailwire\nSOURCE tailwire 50\nFREQ 14.2\n";

using Read = ModelText;

Read read_text(const std::string& text, const char* name = "m.ant") {
    return read_model_text(text, name);
}

Read read_with_tail(const std::string& text) {
    return read_text(text + "\n" + kTail);
}

TEST(Native, VariablesAreDefinedInOrderAndSeenByLaterLines) {
    Read r = read_with_tail("VAR a=2 b=a*3\nPARAM x 5\nWIRE 0 0 0 b x a*b\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    const Wire& w = r.m.wires[0];
    EXPECT_EQ(w.x2, 6);
    EXPECT_EQ(w.y2, 5);
    EXPECT_EQ(w.z2, 12);
}

TEST(Native, LaterVarChangesTheValueForLaterLines) {
    Read r = read_with_tail("VAR h=1\nWIRE 0 0 0 0 0 h\nVAR h=3\nWIRE 0 0 0 0 0 h\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.wires[0].z2, 1);
    EXPECT_EQ(r.m.wires[1].z2, 3);
}

struct ErrCase {
    const char* text;
    const char* message;
};

class NativeError : public ::testing::TestWithParam<ErrCase> {};

TEST_P(NativeError, ReportsTheLine) {
    Read r = read_text(GetParam().text);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, NativeError,
    ::testing::Values(
        ErrCase{"VAR x\n", "line 1: VAR needs name=value"},
        ErrCase{"VAR x = 5\n", "line 1: cannot evaluate '='"},
        ErrCase{"# c\n\nVAR y=2*(3\n", "line 3: cannot evaluate '2*(3'"},
        ErrCase{"TITLE x\nWIRE 0 0 0 0 0\n", "line 2: unknown keyword 'WIRE'"},
        ErrCase{"WIRES 0 0 0 0 0 1\n", "line 1: unknown keyword 'WIRES'"},
        ErrCase{"FREQ\n", "line 1: unknown keyword 'FREQ'"},
        ErrCase{"SWEEP 1 2\n", "line 1: unknown keyword 'SWEEP'"},
        ErrCase{"SOURCE 1\n", "line 1: unknown keyword 'SOURCE'"},
        ErrCase{"WIRE 0 0 0 0 0 1\nWIRE 0 0 1 0 0 2\nSOURCE 3 50\n", "line 3: unknown wire '3'"},
        ErrCase{"WIRE 0 0 0 0 0 1\nSOURCE nowire 50\n", "line 2: unknown wire 'nowire'"},
        ErrCase{"WIRE 0 0 0 0 0 1e999\n",
                "line 1: WIRE coordinates and radius must be finite numbers"},
        ErrCase{"WIRE 0 0 0 0 0 nan\n",
                "line 1: WIRE coordinates and radius must be finite numbers"},
        ErrCase{"VAR z=0\nWIRE 0 0 0 0 0 1/z\n",
                "line 2: WIRE coordinates and radius must be finite numbers"},
        ErrCase{"WIRE 0 0 0 0 0 1 r=inf\n",
                "line 1: WIRE coordinates and radius must be finite numbers"},
        ErrCase{"FREQ 1e999\n", "line 1: FREQ needs a finite frequency"},
        ErrCase{"WIRE 0 0 0 0 0 1 mat=nan\n",
                "line 1: mat=nan is neither a material nor a finite conductivity"},
        ErrCase{"WIRE 0 0 0 0 0 1 insmm=inf\n",
                "line 1: WIRE sleeve thickness and permittivity must be finite numbers"},
        ErrCase{"SWEEP nan 2 3\n", "line 1: SWEEP needs finite frequencies"},
        ErrCase{"WIRE 0 0 0 0 0 1\nSOURCE 1 50 V=nan\n",
                "line 2: SOURCE position and voltage must be finite numbers"},
        ErrCase{"\x7f"
                "ELF\x02\x01 junk\n",
                "line 1: unknown keyword '?ELF?\?'"}));

TEST(Native, LineNumbersCountBlankCommentAndTitleLines) {
    Read r = read_text("TITLE t\n\n# comment\n   ; another\nBOGUS\n");
    EXPECT_EQ(r.err, "line 5: unknown keyword 'BOGUS'");
}

TEST(Native, ReadingStopsAtTheFirstError) {
    Read r = read_text("WIRE 0 0 0 0 0 1\nBOGUS1\nBOGUS2\n");
    EXPECT_EQ(r.err, "line 2: unknown keyword 'BOGUS1'");
    EXPECT_EQ(r.m.nwire(), 1);
}

TEST(Native, EndStopsReading) {
    Read r = read_text(std::string(kTail) + "END\nTHIS IS NOT A MODEL LINE\n");
    EXPECT_EQ(r.rc, 0) << r.err;
}

// A bare identifier that is no variable is not substituted, and is then no
// number: refused rather than read as 0. An expression is evaluated.
TEST(Native, BareIdentifierIsNotSubstitutedButAnExpressionIs) {
    Read bare = read_with_tail("WIRE 0 0 0 pi 0 0\n");
    EXPECT_EQ(bare.err, "line 1: 'pi' is not a number (undefined variable?)");
    Read r = read_with_tail("WIRE 0 0 0 1*pi 0 0\nUNITS cm\nWIRE 0 0 0 2*pi 0 0\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(r.m.wires[0].x2, 3.14159265359); // 12 significant digits
    EXPECT_DOUBLE_EQ(r.m.wires[1].x2, 6.28318530718 * 0.01);
}

TEST(Native, TheParameterTIsZeroOutsideCurves) {
    Read r = read_with_tail("VAR t=5\nWIRE 0 0 0 0 0 t+1\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.wires[0].z2, 1);
}

struct RadiusCase {
    const char* options;
    double radius;
};

class WireRadius : public ::testing::TestWithParam<RadiusCase> {};

TEST_P(WireRadius, FromOptions) {
    Read r = read_with_tail(std::string("WIRE 0 0 0 0 0 1 ") + GetParam().options + "\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NEAR(r.m.wires[0].radius, GetParam().radius, 1e-15) << GetParam().options;
}

INSTANTIATE_TEST_SUITE_P(
    Options, WireRadius,
    ::testing::Values(RadiusCase{"", 0.001}, RadiusCase{"r=0.002", 0.002},
                      RadiusCase{"r=0.002 d=0.002", 0.001}, RadiusCase{"d=0.002 r=0.004", 0.001},
                      RadiusCase{"w=0.004", 0.001}, RadiusCase{"dmm=3", 0.0015},
                      RadiusCase{"R=0.003", 0.003}, RadiusCase{"awg=14 w=0.008", 0.002},
                      RadiusCase{"r=0.01 awg=36", 0.0000635}));

TEST(Native, AmericanWireGaugeGivesThePublishedDiameters) {
    // AWG 10, 14 and 20 are 2.588, 1.628 and 0.812 mm in diameter.
    Read r = read_with_tail(
        "WIRE 0 0 0 0 0 1 awg=10\nWIRE 0 0 0 0 0 1 awg=14\nWIRE 0 0 0 0 0 1 awg=20\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NEAR(2 * r.m.wires[0].radius, 2.588e-3, 1e-6);
    EXPECT_NEAR(2 * r.m.wires[1].radius, 1.628e-3, 1e-6);
    EXPECT_NEAR(2 * r.m.wires[2].radius, 0.812e-3, 1e-6);
}

TEST(Native, UnitsScaleLengthsButNotMillimetreDiameters) {
    Read r =
        read_with_tail("UNITS in\nWIRE 0 0 0 0 0 10 r=0.1 dmm=2\nUNITS furlong\nWIRE 0 0 0 0 0 10\n"
                       "UNITS MM\nWIRE 0 0 0 0 0 10 r=1\nUNITS ft\nWIRE 0 0 0 0 0 1\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(r.m.wires[0].z2, 0.254);
    EXPECT_DOUBLE_EQ(r.m.wires[0].radius, 0.001); // dmm wins and ignores UNITS
    EXPECT_DOUBLE_EQ(r.m.wires[1].z2, 10);
    EXPECT_DOUBLE_EQ(r.m.wires[1].radius, 0.001); // the default radius is not scaled
    EXPECT_DOUBLE_EQ(r.m.wires[2].z2, 0.01);
    EXPECT_DOUBLE_EQ(r.m.wires[2].radius, 0.001);
    EXPECT_DOUBLE_EQ(r.m.wires[3].z2, 0.3048);
}

TEST(Native, WireFieldsAndOptions) {
    Read r = read_with_tail(
        "WIRE 1 2 3 4 5 6 seg=2*5 name=averyveryveryveryverylongwirenamethatgoeson mat=copper "
        "insmm=1\nWIRE 0 0 0 0 0 1 mat=1e6 ins=0.002 inseps=3 insul=pvc\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    const Wire& w = r.m.wires[0];
    EXPECT_EQ(w.x1, 1);
    EXPECT_EQ(w.z2, 6);
    EXPECT_EQ(w.nseg, 10);
    EXPECT_EQ(w.tag, 1);
    EXPECT_EQ(w.name, "averyveryveryveryverylongwirena"); // 31 characters
    EXPECT_EQ(w.sigma, 5.8e7);
    EXPECT_EQ(w.ins_t, 0.001);
    EXPECT_EQ(w.ins_eps, 2.1); // a sleeve without permittivity is PTFE
    const Wire& v = r.m.wires[1];
    EXPECT_EQ(v.tag, 2);
    EXPECT_EQ(v.sigma, 1e6);
    EXPECT_EQ(v.ins_t, 0.002);
    EXPECT_EQ(v.ins_eps, 3.5);        // insul= wins over inseps=
    EXPECT_EQ(r.m.wires[2].sigma, 0); // no mat= and no MATERIAL: perfect
}

TEST(Native, FrequencyUnitsAreRememberedForTheSweepOnly) {
    Read r = read_with_tail("FREQ 7100 kHz\nSWEEP 7000 7200 21\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    // The tail's FREQ 14.2 comes last and has no unit: MHz.
    EXPECT_DOUBLE_EQ(r.m.f0, 14.2e6);
    EXPECT_DOUBLE_EQ(r.m.fstart, 7.0e6);
    EXPECT_DOUBLE_EQ(r.m.fstop, 7.2e6);
    EXPECT_EQ(r.m.nfreq, 21);

    Read s = read_text("FREQ 7100 kHz\nSWEEP 7 7.2 21 MHz\nSWEEP2\n");
    EXPECT_EQ(s.err, "line 3: unknown keyword 'SWEEP2'");
    EXPECT_DOUBLE_EQ(s.m.fstart, 7e6);
    EXPECT_DOUBLE_EQ(s.m.f0, 7.1e6);

    Read g = read_text("FREQ 2.4 GHz\nSWEEP 1 2 3\nSWEEP 1 2 3 Hz\nBOGUS\n");
    EXPECT_DOUBLE_EQ(g.m.f0, 2.4e9);
    EXPECT_DOUBLE_EQ(g.m.fstop, 2.0);
}

TEST(Native, SweepWithoutFreqUsesMegahertz) {
    Read r = read_text("SWEEP 13 15 3\nWIRE 0 0 -1 0 0 1\nSOURCE 1 50\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_DOUBLE_EQ(r.m.fstart, 13e6);
    EXPECT_DOUBLE_EQ(r.m.f0, 14e6); // the middle of the sweep
}

TEST(Native, SourceFieldsAndReferences) {
    Read r = read_text(
        "WIRE 0 0 0 0 0 1 name=DIP\nWIRE 0 0 1 0 0 2\nFREQ 10\nSOURCE dip 25 V=2 phase=90\n"
        "SOURCE 2 50\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(r.m.nsrc(), 2);
    const Source& s = r.m.srcs[0];
    EXPECT_EQ(s.wire, 0);
    EXPECT_EQ(s.path, -1);
    EXPECT_EQ(s.pos, 0.25);
    EXPECT_NEAR(s.v.real(), 0, 1e-15);
    EXPECT_NEAR(s.v.imag(), 2, 1e-15);
    EXPECT_EQ(s.unk, -1);
    EXPECT_EQ(r.m.srcs[1].wire, 1);
    EXPECT_EQ(r.m.srcs[1].v, std::complex<double>(1, 0));
}

TEST(Native, CommentsCutLinesEvenInsideQuotesButTitlesKeepThem) {
    Read r = read_with_tail(
        "TITLE   My # antenna ; v2   \nWIRE 0 0 0 0 0 1 \"name=a#b\"\nWIRE 0 0 0 0 0 1 ; r=0.5\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.title, "My # antenna ; v2");
    EXPECT_EQ(r.m.wires[0].name, "a");
    EXPECT_EQ(r.m.wires[1].radius, 0.001);
}

TEST(Native, QuotesGroupOnlyAtTheStartOfAToken) {
    Read r = read_with_tail("WIRE 0 0 0 0 0 1 \"name=my wire\"\nWIRE 0 0 0 0 0 1 name=\"my wire\"\n"
                            "SOURCE \"my wire\" 50\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.wires[0].name, "my wire");
    EXPECT_EQ(r.m.wires[1].name, "\"my");
    EXPECT_EQ(r.m.srcs[0].wire, 0);
}

TEST(Native, TitleForms) {
    Read a = read_with_tail("TITLE\tTabbed title\t\r\n");
    EXPECT_EQ(a.m.title, "Tabbed title");
    Read b = read_with_tail("\"TITLE\" quoted  keyword, 2*3\n");
    EXPECT_EQ(b.m.title, "quoted keyword 6"); // tokens joined, substituted
    Read c = read_with_tail("TITLE " + std::string(300, 'x') + "\n");
    EXPECT_EQ(c.m.title, std::string(255, 'x'));
    Read d = read_with_tail("TITLE,a," + std::string(250, 'y') + "\n");
    EXPECT_EQ(d.m.title, "a " + std::string(200, 'y'));
    Read e = read_text(kTail, "untitled.ant");
    EXPECT_EQ(e.m.title.substr(e.m.title.size() - 12), "untitled.ant");
}

TEST(Native, SeventyTokensKeepTheFirstSixtyFour) {
    std::string line = "WIRE 0 0 0 0 0 1";
    for (int i = 7; i < 69; ++i) line += " x";
    line += " seg=7"; // token 70: ignored
    Read r = read_with_tail(line + "\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.wires[0].nseg, 0);
}

TEST(Native, HostileInputEndsWithAMessage) {
    // An empty file: nothing to analyse.
    Read e = read_text("");
    EXPECT_EQ(e.err, "no wires defined");
    // A line of 100,000 characters is read in pieces and rejected at once.
    Read l = read_text(std::string(100000, 'A') + "\n");
    EXPECT_EQ(l.rc, -1);
    EXPECT_EQ(l.err.substr(0, 27), "line 1: unknown keyword 'AA");
    EXPECT_LE(l.err.size(), 511u);
    // A comment line of 100,000 characters continues as further pieces.
    Read c = read_text(cat({"#", std::string(100000, ' '), "x\n", kTail}));
    EXPECT_EQ(c.err, "line 98: unknown keyword 'x'");
    // A VAR nested 10,000 parentheses deep.
    Read n =
        read_text(cat({"VAR a=", std::string(10000, '('), "1", std::string(10000, ')'), "\n"}));
    EXPECT_EQ(n.rc, -1);
    EXPECT_EQ(n.err.substr(0, 25), "line 1: cannot evaluate '");
    // A file of random bytes.
    std::string bin;
    for (int i = 0; i < 4096; ++i) bin += static_cast<char>((i * 7919 + 13) % 256);
    Read b = read_text(bin);
    EXPECT_EQ(b.rc, -1);
    EXPECT_EQ(b.err.find('\n'), std::string::npos);
}

} // namespace
