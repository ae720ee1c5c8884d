// Input that must never become a different antenna, through the quarlin
// binary: the deck or model is refused with exit code 2 and its line, or
// read with a warning that a quiet run prints.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

struct Refused {
    const char* file;
    const char* text;
    const char* out; // the whole output of the quiet run
};

TEST(Input, RefusedWithTheLine) {
    const char* tail = "GE 0\nEX 0 1 6 0 1 0\nFR 0 1 0 0 14.2 0\nEN\n";
    const Refused cases[] = {
        {"o.nec", "CM x\nCE\nGW 1 1O 0 0 -5 0 0 5 0.001\n",
         "ERROR: line 3: GW: field 2 is not a number ('1O')\n"},
        {"r.nec", "GW 1 11 0 0 -5 0 0 5\n", "ERROR: line 1: GW needs a radius\n"},
        {"p.nec", "GW 1 11 0 0 -5 0 0 5 0.001\nEX 0 1 50% 0 1 0\n",
         "ERROR: line 2: EX: field 3 is a position in percent ('50%'), as another program "
         "writes it; NEC cards take a segment number\n"},
        {"gs.nec", "GW 1 11 0 0 -5 0 0 5 0.001\nGS 1 1 0.3048\n",
         "ERROR: line 2: GS with a tag range (1 to 1) scales only those tags in another "
         "program's dialect; NEC-2 scales every wire: leave fields 1 and 2 blank\n"},
        {"gh.nec", "GH 1 16 0.1 0 0.05 0.05 0.3 0.3 0.001\n",
         "ERROR: line 1: GH with zero length (a flat spiral) is not supported: describe the "
         "spiral with GW cards\n"},
        {"sy.nec", "SY len=10\nGW 1 11 0 0 -len/2 0 0 lenn/2 0.001\n",
         "ERROR: line 2: GW: field 8 is not a number ('lenn/2')\n"},
    };
    for (const Refused& c : cases) {
        RunResult r = run_quarlin({write_file(c.file, std::string(c.text) + tail), "-q"});
        EXPECT_EQ(r.code, 2) << c.text;
        EXPECT_EQ(r.out, c.out) << c.text;
    }
    const Refused native[] = {
        {"hl.ant", "VAR h=10\nWIRE 0 0 -hl 0 0 hl\n",
         "ERROR: line 2: '-hl' is not a number (undefined variable?)\n"},
        {"mm.ant", "WIRE 0 0 -5 0 0 5 r=1mm\n",
         "ERROR: line 1: '1mm' is not a number (undefined variable?)\n"},
    };
    for (const Refused& c : native) {
        RunResult r = run_quarlin(
            {write_file(c.file, std::string(c.text) + "SOURCE 1 50\nFREQ 14.2\n"), "-q"});
        EXPECT_EQ(r.code, 2) << c.text;
        EXPECT_EQ(r.out, c.out) << c.text;
    }
}

// An option the keyword does not know is ignored, and said: the run is the
// run without it.
TEST(Input, UnknownOptionIsSaidAndChangesNothing) {
    RunResult r = run_quarlin({write_file("rad.ant", "FREQ 14.2\nWIRE 0 0 -5 0 0 5 rad=0.01\n"
                                                     "SOURCE 1 50\n"),
                               "-q", "-o", "a"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "WARNING: line 2: WIRE: unknown option 'rad=' is ignored\n");
    RunResult plain = run_quarlin(
        {write_file("plain.ant", "FREQ 14.2\nWIRE 0 0 -5 0 0 5\nSOURCE 1 50\n"), "-q", "-o", "b"});
    EXPECT_EQ(plain.out, "");
    std::string a = read_file(test_dir() + "/a/results.json");
    std::string b = read_file(test_dir() + "/b/results.json");
    ASSERT_FALSE(a.empty());
    // The same design figures (the files differ in the input path and run time).
    size_t da = a.find("\"design\""), db = b.find("\"design\"");
    ASSERT_NE(da, std::string::npos);
    EXPECT_EQ(a.substr(da, a.find('}', da) - da), b.substr(db, b.find('}', db) - db));
}

} // namespace
