// Whole runs of transmission lines: a dipole fed through lines of whole
// half wavelengths, from a native model and from a NEC deck, against the
// same dipole and generator wire run alone.
#include <gtest/gtest.h>

#include <complex>
#include <nlohmann/json.hpp>
#include <string>

#include "test_support.h"

namespace {

using nlohmann::json;
using cplx = std::complex<double>;

// Runs a model file written into the test directory and returns the design
// impedance of results.json (each run into an output directory of its own).
cplx run_zin(const std::string& name, const std::string& text) {
    static int runs = 0;
    const std::string out = test_dir() + "/out" + std::to_string(++runs);
    RunResult r = run_quarlin({write_file(name, text), "-q", "-o", out});
    EXPECT_EQ(r.code, 0) << name << "\n" << r.out << r.err;
    const std::string results = read_file(out + "/results.json");
    if (results.empty()) return 0.0;
    const json j = json::parse(results);
    return {j["design"]["zr"].get<double>(), j["design"]["zi"].get<double>()};
}

// The line's input sees the dipole's impedance repeated, in parallel with
// the gap of the generator wire (a short wire across the dipole's
// broadside plane, which the dipole does not couple into): Pozar,
// Microwave Engineering 4th ed., Sec. 2.3. results.json holds 8 digits.
void expect_repeated(cplx z, cplx zdip, cplx zgen, const std::string& what) {
    const cplx expect = 1.0 / (1.0 / zdip + 1.0 / zgen);
    EXPECT_LT(std::abs(z - expect) / std::abs(expect), 2e-7)
        << what << ": " << z << " vs " << expect;
}

const std::string kAntHead = "TITLE Line-fed dipole\n"
                             "FREQ 299.792458 MHz\n"
                             "PATTERN dth=30 dph=90\n";
const std::string kAntDipole = "WIRE 0 0 -0.25 0 0 0.25 r=1e-4 seg=20 name=dip\n";
const std::string kAntGen = "WIRE 10 -0.0005 0 10 0.0005 0 r=1e-5 seg=2 name=gen\n";

TEST(LineRuns, NativeLinesOfWholeHalfWavesRepeatTheLoad) {
    const cplx zdip = run_zin("dip.ant", kAntHead + kAntDipole + "SOURCE dip 50\nEND\n");
    const cplx zgen = run_zin("gen.ant", kAntHead + kAntGen + "SOURCE gen 50\nEND\n");
    for (const std::string line :
         {"TL gen 50 dip 50 Z0=300 len=0.5", "TL gen 50 dip 50 Z0=50 len=1 rev",
          "TL gen 50 dip 50 Z0=450 len=0.99 vf=0.66"}) {
        const cplx z = run_zin("fed.ant", kAntHead + kAntDipole + kAntGen + "SOURCE gen 50\n" +
                                              line + "\nEND\n");
        expect_repeated(z, zdip, zgen, line);
    }
}

TEST(LineRuns, NecLinesOfWholeHalfWavesRepeatTheLoad) {
    const std::string dip = "GW 1 21 0 0 -0.25 0 0 0.25 1e-4\n";
    const std::string gen = "GW 2 1 10 -0.0005 0 10 0.0005 0 1e-5\n";
    const std::string tail = "FR 0 1 0 0 299.792458 0\nXQ\nEN\n";
    const cplx zdip =
        run_zin("dip.nec", "CM dipole\nCE\n" + dip + "GE 0\nEX 0 1 11 0 1 0\n" + tail);
    const cplx zgen =
        run_zin("gen.nec", "CM generator\nCE\n" + gen + "GE 0\nEX 0 2 1 0 1 0\n" + tail);
    // A negative Z0 connects the line reversed.
    for (const std::string line : {"TL 2 1 1 11 300 0.5 0 0 0 0", "TL 2 1 1 11 -75 1.5 0 0 0 0"}) {
        const cplx z = run_zin("fed.nec", "CM fed\nCE\n" + dip + gen + "GE 0\n" + line +
                                              "\nEX 0 2 1 0 1 0\n" + tail);
        expect_repeated(z, zdip, zgen, line);
    }
}

} // namespace
