// Native models as people write them: a field that is to be a number and is
// none after substitution is refused; an unknown option, an extra field and
// an unknown unit or kind word are warned about; the words the keywords
// expect pass untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/model.h"
#include "model_text.h"

namespace {

struct Refused {
    const char* line;
    const char* message; // after "line 4: "
};

TEST(NativeFields, TextThatIsNoNumberIsRefused) {
    const Refused cases[] = {
        {"WIRE 0 0 -hl 0 0 hl", "'-hl' is not a number (undefined variable?)"},
        {"VAR h=2\nWIRE 0 0 -h 0 0 hh", "'hh' is not a number (undefined variable?)"},
        {"WIRE 0 0 0 0 0 1 r=1mm", "'1mm' is not a number (undefined variable?)"},
        {"WIRE 0 0 0 pi 0 0", "'pi' is not a number (undefined variable?)"},
        {"WIRE 0 0 0 0 0 1O", "'1O' is not a number (undefined variable?)"},
        {"WIRE 0 0 0 0 0 1 seg=2*(3", "'2*(3' is not a number (undefined variable?)"},
        {"FREQ f MHz", "'f' is not a number (undefined variable?)"},
        {"SWEEP 13 14 n", "'n' is not a number (undefined variable?)"},
        {"SOURCE headwire 5O", "'5O' is not a number (undefined variable?)"},
        {"SOURCE headwire 50 phase=ph", "'ph' is not a number (undefined variable?)"},
        {"LOAD headwire 50 R=r1", "'r1' is not a number (undefined variable?)"},
        {"TL headwire 10 headwire 90 Z0=zz", "'zz' is not a number (undefined variable?)"},
        {"LOOP 0 0 5 rl 8", "'rl' is not a number (undefined variable?)"},
        {"HELIX 0 0 0 0.1 0.05 turns", "'turns' is not a number (undefined variable?)"},
        {"POLYLINE 0 0 0 0 0 1 x 0 2", "'x' is not a number (undefined variable?)"},
        {"CURVE t 0 0 t1=tmax", "'tmax' is not a number (undefined variable?)"},
        {"GROUND real eps=epsr", "'epsr' is not a number (undefined variable?)"},
        {"GROUND pcb h=1.6ft", "'1.6ft' is not a number (undefined variable?)"},
        {"DISH D=3 FD=f_d", "'f_d' is not a number (undefined variable?)"},
        {"MESH segwl=n", "'n' is not a number (undefined variable?)"},
        {"PATTERN dth=x", "'x' is not a number (undefined variable?)"},
        {"Z0 z", "'z' is not a number (undefined variable?)"},
        {"GOAL gain theta=th", "'th' is not a number (undefined variable?)"},
        {"OPTSET gen=2*50", "'2*50' is not a number (undefined variable?)"},
        // Materials by name or by number, nothing else.
        {"WIRE 0 0 0 0 0 1 mat=coper", "'coper' is neither a material nor a conductivity"},
        {"MATERIAL coper", "'coper' is neither a material nor a conductivity"},
        {"WIRE 0 0 0 0 0 1 ins=0.001 insul=nylon",
         "'nylon' is neither a sleeve material nor a permittivity"},
    };
    for (const Refused& c : cases) {
        ModelText r = read_lines(c.line);
        EXPECT_EQ(r.rc, -1) << c.line;
        std::string line = c.line;
        int n = kFirstLine + static_cast<int>(std::count(line.begin(), line.end(), '\n'));
        EXPECT_EQ(r.err, "line " + std::to_string(n) + ": " + c.message) << c.line;
    }
}

// The words the keywords expect, numbers with units where lengths take
// them, and expressions that evaluate: read without a word.
TEST(NativeFields, ExpectedWordsAndUnitsPass) {
    ModelText r = read_lines(
        "VAR h=10 len=5.05*2\nUNITS cm\nUNITS m\nFREQ 7100 kHz\nSWEEP 7 7.2 5 MHz\n"
        "WIRE 0 -len/2 h 0 len/2 h d=0.002 seg=11 name=dip mat=Copper ins=0.001 insul=PVC\n"
        "LOOP 0 0 2 1 8 axis=x rot=45 left w=0.01\nHELIX 0 0 3 0.1 0.05 2 left mat=1e6\n"
        "POLYLINE 0 0 4 0 1 4 1 1 4 pieces=2\nCURVE cos(t) sin(t) 5 t1=2*pi pieces=400\n"
        "SOURCE dip 50 V=2 phase=90\nLOAD dip 25 R=1 L=1e-6 par\nLOAD dip 75 X=-30\n"
        "TL dip 10 dip 90 Z0=75 len=3 vf=0.66 loss=1 rev\n"
        "GROUND real eps=13 sigma=0.005 sommerfeld\nGROUND pcb eps=4.4 h=1.6mm groundplane\n"
        "GROUND free\nDISH D=3 F=1 wire=2mm mesh=1cm q=0\nMATERIAL aluminium\n"
        "MESH segwl=40 angle=10 taper=off ends=off fmax=7.3\nZ0 75\nPATTERN dth=5 dph=10\n"
        "GOAL gain elev=10 az=90 weight=2\nOPTSET pop=20 gen=50 seed=7\n");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.m.warnings, std::vector<std::string>{});
}

struct Warned {
    const char* lines;
    std::vector<std::string> warnings;
};

TEST(NativeFields, IgnoredInputIsWarnedAbout) {
    const Warned cases[] = {
        {"WIRE 0 0 0 0 0 1 rad=0.002", {"line 4: WIRE: unknown option 'rad=' is ignored"}},
        {"WIRE 0 0 0 0 0 1 0.005", {"line 4: WIRE: extra field '0.005' is ignored"}},
        {"LOOP 0 0 5 1 8 dmm=2", {"line 4: LOOP: unknown option 'dmm=' is ignored"}},
        {"SOURCE headwire 50 volts=2", {"line 4: SOURCE: unknown option 'volts=' is ignored"}},
        {"GROUND real sommerfield", {"line 4: GROUND: extra field 'sommerfield' is ignored"}},
        {"POLYLINE 0 0 0 0 0 1 0 0",
         {"line 4: POLYLINE: extra field '0' is ignored (points are x y z triples)",
          "line 4: POLYLINE: extra field '0' is ignored (points are x y z triples)"}},
        {"UNITS furlong\nWIRE 0 0 0 0 0 1",
         {"line 4: UNITS: unknown unit 'furlong'; lengths are in metres"}},
        {"FREQ 2.4 GH", {"line 4: FREQ: unknown frequency unit 'GH'; MHz is taken"}},
        {"SWEEP 2.3 2.5 3 Ghz", {}},
        {"GROUND sommerfeld",
         {"line 4: GROUND: unknown kind 'sommerfeld'; the antenna is in "
          "free space"}},
        {"VAR t=5",
         {"line 4: VAR t is never read: in expressions t is the curve parameter (0 outside "
          "CURVE)"}},
    };
    for (const Warned& c : cases) {
        ModelText r = read_lines(c.lines);
        ASSERT_EQ(r.rc, 0) << c.lines << ": " << r.err;
        EXPECT_EQ(r.m.warnings, c.warnings) << c.lines;
    }
    // The ignored option changes nothing: the default radius stays.
    ModelText r = read_lines("WIRE 0 0 0 0 0 1 rad=0.002");
    ASSERT_EQ(r.m.nwire(), 2);
    EXPECT_EQ(r.m.wires[1].radius, 0.001);
}

} // namespace
