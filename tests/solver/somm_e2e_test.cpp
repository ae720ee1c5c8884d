// Sommerfeld ground and printed boards through the quarlin binary: the
// bundled low-dipole deck (GN 2) against nec2c, the printed dipole against
// the same trace in free space, the warning for a wire that touches the
// ground, and structures too large for the table.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using nlohmann::json;

TEST(SommRun, LowDipoleDeckAgreesWithNec2c) {
    // examples/nvis_dipole_40m.nec: a dipole a tenth of a wavelength over
    // average ground. nec2c (GN 2, the same deck) gives the impedances
    // below; the codes differ in feed model and kernel by about 1 % in free
    // space, and the reflection-coefficient ground is off by 30 % here.
    ModelRun run = run_model(source_path("examples/nvis_dipole_40m.nec"));
    ASSERT_EQ(run.r.code, 0) << run.r.out << run.r.err;
    EXPECT_NE(run.r.out.find("ground: real ground (Sommerfeld)"), std::string::npos) << run.r.out;
    EXPECT_EQ(run.j["somm"], 1);
    const std::complex<double> nec2c[] = {
        {49.328, -18.174}, {51.474, 4.8129}, {53.726, 27.824}, {56.091, 50.880}};
    const json& sweep = run.j["sweep"];
    ASSERT_EQ(sweep.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const std::complex<double> z(sweep[i][1].get<double>(), sweep[i][2].get<double>());
        EXPECT_LT(std::abs(z - nec2c[i]) / std::abs(nec2c[i]), 0.03)
            << sweep[i][0].get<double>() << " Hz: " << z << " nec2c " << nec2c[i];
    }
}

TEST(SommRun, QuarterWaveHighDipoleAgreesWithNec2c) {
    // A horizontal half-wave dipole (41 segments, radius 1 mm) a quarter
    // wavelength over average ground at 14.2 MHz. nec2c with GN 2 on the
    // same deck: 90.212 + j60.588 ohm, 5.84 dBi (RP in 1-degree steps).
    // Tolerances 3 % and 0.2 dB: the codes differ in feed model and kernel
    // by about 1 % in free space.
    const std::string deck = write_file("hd.nec", "CM dipole a quarter wave up\nCE\n"
                                                  "GW 1 41 0 -5.2779 5.2779 0 5.2779 5.2779 0.001\n"
                                                  "GE 1\nGN 2 0 0 0 13 0.005\nEX 0 1 21 0 1 0\n"
                                                  "FR 0 1 0 0 14.2 0\nXQ\nEN\n");
    ModelRun run = run_model(deck);
    ASSERT_EQ(run.r.code, 0) << run.r.out << run.r.err;
    const json& d = run.j["design"];
    const std::complex<double> z(d["zr"].get<double>(), d["zi"].get<double>()),
        nec2c(90.212, 60.588);
    EXPECT_LT(std::abs(z - nec2c) / std::abs(nec2c), 0.03) << z;
    EXPECT_NEAR(d["gmax"].get<double>(), 5.84, 0.2);
}

TEST(SommRun, PrintedDipoleResonatesBelowTheSameTraceInFreeSpace) {
    // The board slows the wave: the resonance falls by a factor between 1
    // (no dielectric) and sqrt((eps + 1)/2) = 1.64 (a trace embedded half
    // in FR-4, half in air, on a board of unlimited thickness).
    ModelRun board = run_model(source_path("examples/pcb_dipole.ant"));
    ASSERT_EQ(board.r.code, 0) << board.r.out << board.r.err;
    EXPECT_NE(board.r.out.find("ground: printed board"), std::string::npos);
    std::string text = read_file(source_path("examples/pcb_dipole.ant"));
    text.replace(text.find("GROUND pcb"), 10, "# GROUND pcb");
    text.replace(text.find("SWEEP 2.2 2.7 11 GHz"), 20, "SWEEP 2.6 3.4 17 GHz");
    ModelRun free = run_model(write_file("free.ant", text));
    ASSERT_EQ(free.r.code, 0) << free.r.out << free.r.err;
    const double f_board = board.j["design"]["fres"], f_free = free.j["design"]["fres"];
    ASSERT_GT(f_board, 0);
    ASSERT_GT(f_free, 0);
    EXPECT_GT(f_free / f_board, 1.05);
    EXPECT_LT(f_free / f_board, std::sqrt((4.4 + 1) / 2));
}

TEST(SommRun, MonopoleTouchingTheGroundIsIdealised) {
    // The earth contact of a ground-mounted wire is ideal: the run warns and
    // gives the impedance of that ideal contact (finite, with a radiation
    // resistance near the perfect-ground value and the ground loss on top).
    const std::string model = write_file("mono.ant", "FREQ 14.2 MHz\n"
                                                     "WIRE 0 0 0 0 0 5.278 r=0.001 name=v\n"
                                                     "SOURCE v 0\n"
                                                     "GROUND real eps=13 sigma=0.005 sommerfeld\n");
    ModelRun run = run_model(model);
    ASSERT_EQ(run.r.code, 0) << run.r.out << run.r.err;
    EXPECT_NE(run.r.out.find("WARNING: wire touches real ground: the earth connection is "
                             "idealised; the feed resistance depends on the real ground system "
                             "(radials, rods)"),
              std::string::npos)
        << run.r.out;
    const double r = run.j["design"]["zr"];
    EXPECT_GT(r, 36.0);
    EXPECT_LT(r, 80.0);
}

TEST(SommRun, StructuresTooLargeForTheTableAreRefused) {
    // Two short dipoles 50 km apart at 30 MHz over Sommerfeld ground, and a
    // trace on a board a nanometre thick: the table would take hours; the
    // frequency fails with a clear message (exit 4), nothing is reported.
    struct Case {
        const char* file;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"far.ant",
         "FREQ 30 MHz\nWIRE 0 -2.4 10 0 2.4 10 name=a\nWIRE 50000 -2.4 10 50000 2.4 10\n"
         "SOURCE a 50\nGROUND real sommerfeld\n",
         "the Sommerfeld table would need 808564 nodes over 5053 wavelengths: the structure is "
         "too large for the wavelength"},
        {"thin.ant",
         "FREQ 2.45 GHz\nUNITS mm\nWIRE 0 -30 0 0 30 0 name=a\nSOURCE a 50\n"
         "GROUND pcb h=0.000001mm\n",
         "the Sommerfeld table would need 620026752 nodes over 0.4953 wavelengths: the "
         "structure is too large for the wavelength or the board too thin"},
    };
    for (const Case& c : cases) {
        ModelRun run = run_model(write_file(c.file, c.text));
        EXPECT_EQ(run.r.code, 4) << c.file << "\n" << run.r.out;
        EXPECT_NE(run.r.out.find(std::string("ERROR: ") + c.message), std::string::npos)
            << c.file << "\n"
            << run.r.out;
    }
}

} // namespace
