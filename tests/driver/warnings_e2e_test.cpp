// Warnings through whole runs: printed also in quiet runs (which print
// nothing else), on decks and models of the kind they are about.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct QuietCase {
    const char* name;
    const char* file;
    const char* text;
    std::vector<std::string> args;
    const char* out; // the whole output of the quiet run
};

TEST(Warnings, QuietRunsPrintWarningsAndNothingElse) {
    const QuietCase cases[] = {
        {"NearFieldCards",
         "ne.nec",
         "CM x\nCE\nGW 1 11 0 0 -5 0 0 5 0.001\nGE 0\nEX 0 1 6 0 1 0\nFR 0 1 0 0 14.2 0\n"
         "NE 0 1 1 1 0 0 0\nXQ\nEN\n",
         {"-q"},
         "WARNING: line 7: NE: near fields are not computed\n"},
        {"LowWireOverReflectionGround",
         "low.ant",
         "FREQ 14.2\nWIRE 0 -5 1 0 5 1 r=0.001\nSOURCE 1 50\nGROUND real\n",
         {"-q"},
         "WARNING: wire 1 comes within 1 m (0.047 wavelengths at 14.2 MHz) of the real ground, "
         "where the reflection-coefficient ground is not accurate (below 0.1 wavelength): the "
         "Sommerfeld ground (GROUND real sommerfeld) is the accurate one\n"},
        {"Clean", "dip.ant", "FREQ 14.2\nWIRE 0 -5 0 0 5 0\nSOURCE 1 50\n", {"-q"}, ""},
        // The reader's warnings are said in a mesh-only run too.
        {"MeshOnly",
         "mesh.nec",
         "GW 1 11 0 0 -5 0 0 5 0.001\nEX 0 1 6 0 1 0\nFR 0 1 0 0 14.2 0\nEK\n",
         {"-q", "-mesh"},
         "WARNING: line 4: EK: the extended thin-wire kernel is not used; the run uses the "
         "reduced kernel\n"},
    };
    for (const QuietCase& c : cases) {
        std::vector<std::string> args = {write_file(c.file, c.text), "-o", "out"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = run_quarlin(args);
        EXPECT_EQ(r.code, 0) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

// The mininec ground under a low wire: an efficiency of about 1100 %, said
// with the ground that is not valid for the antenna.
TEST(Warnings, PowerAboveInputUnderALowWire) {
    RunResult r = run_quarlin(
        {write_file("mn.ant",
                    "FREQ 14.2\nWIRE 0 -5 0.3 0 5 0.3 r=0.001\nSOURCE 1 50\nGROUND real mininec\n"),
         "-q"});
    EXPECT_EQ(r.code, 0);
    double ratio = 0, eff = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(),
                          "WARNING: this passive antenna radiates %lf times its input power "
                          "(efficiency %lf %%)",
                          &ratio, &eff),
              2)
        << r.out;
    EXPECT_GT(ratio, 10);
    EXPECT_NEAR(eff, 100 * ratio, 0.06); // the ratio is printed to 3 decimals
    const std::string tail = "): the mininec ground is not valid for this antenna\n";
    ASSERT_GT(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
}

// Without -q the same warnings stand in the header, after the mesh lines.
TEST(Warnings, ReportedRunsShowThemInTheHeader) {
    RunResult r =
        run_quarlin({write_file("ne.nec", "GW 1 11 0 0 -5 0 0 5 0.001\nEX 0 1 6 0 1 0\nNH 0 1 1 1\n"
                                          "FR 0 1 0 0 14.2 0\nFR 0 1 0 0 21.2 0\n"),
                     "-o", "out"});
    ASSERT_EQ(r.code, 0) << r.out;
    const std::string head = "min length/radius";
    size_t seg = r.out.find(head);
    size_t w1 = r.out.find("WARNING: line 3: NH: near fields are not computed\n");
    size_t w2 = r.out.find(
        "WARNING: line 5: FR: ignored; the run uses the frequencies of the FR card on line 4\n");
    size_t table = r.out.find("f (MHz)");
    ASSERT_NE(seg, std::string::npos);
    ASSERT_NE(w1, std::string::npos) << r.out;
    ASSERT_NE(w2, std::string::npos) << r.out;
    EXPECT_LT(seg, w1);
    EXPECT_LT(w1, w2);
    EXPECT_LT(w2, table);
}

} // namespace
