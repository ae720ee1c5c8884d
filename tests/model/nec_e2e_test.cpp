// NEC card decks through the quarlin binary: the bundled example decks are
// read and checked, and a deck the reader refuses ends the run with exit
// code 2 and its line-numbered message.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <string>

#include "model/model.h"
#include "test_support.h"

namespace {

// The example decks and what their cards describe.
struct ExampleDeck {
    const char* file;
    int nwire;
    int nseg;  // segments of all wires, before the ports are split
    int nport; // distinct segments holding a source, lumped load or line end
    int nsrc;
    int ntl;
    int ground;
};

const ExampleDeck kExamples[] = {
    {"dipole_20m.nec", 1, 21, 1, 1, 0, GROUND_REAL},
    {"gp_radials.nec", 5, 50, 1, 1, 0, GROUND_REAL},
    {"foursquare.nec", 4, 40, 4, 4, 0, GROUND_PERFECT},
    {"w8jk.nec", 2, 42, 2, 2, 0, GROUND_FREE},
    // The source and both lines share the dummy segment of tag 2.
    {"stub_match.nec", 3, 23, 3, 1, 2, GROUND_FREE},
};

TEST(NecExamples, ReadAsWritten) {
    for (const ExampleDeck& e : kExamples) {
        Model m;
        std::string err;
        ASSERT_EQ(model_read(source_path(std::string("examples/") + e.file), m, err), 0)
            << e.file << ": " << err;
        EXPECT_EQ(m.is_nec, 1) << e.file;
        EXPECT_FALSE(m.title.empty()) << e.file;
        EXPECT_EQ(m.nwire(), e.nwire) << e.file;
        int nseg = 0;
        for (const Wire& w : m.wires) nseg += w.nseg;
        EXPECT_EQ(nseg, e.nseg) << e.file;
        EXPECT_EQ(m.nsrc(), e.nsrc) << e.file;
        EXPECT_EQ(m.ntl(), e.ntl) << e.file;
        EXPECT_EQ(m.ground, e.ground) << e.file;
        EXPECT_GT(m.f0, 13e6) << e.file;
        EXPECT_LT(m.f0, 15e6) << e.file;
    }
}

// Details of the decks that the symmetry cards and the stub depend on.
TEST(NecExamples, SymmetryCardsAndStubShort) {
    Model m;
    std::string err;
    ASSERT_EQ(model_read(source_path("examples/gp_radials.nec"), m, err), 0) << err;
    for (int k = 0; k < 4; ++k) { // four radials from the feed point, tags 2..5
        EXPECT_EQ(m.wires[k].tag, 2 + k);
        EXPECT_DOUBLE_EQ(m.wires[k].z1, 6);
        EXPECT_NEAR(std::hypot(m.wires[k].x2, m.wires[k].y2), 3.6, 1e-12);
    }

    ASSERT_EQ(model_read(source_path("examples/w8jk.nec"), m, err), 0) << err;
    EXPECT_EQ(m.wires[1].tag, 2);
    EXPECT_DOUBLE_EQ(m.wires[1].x1, -1.32);
    EXPECT_DOUBLE_EQ(m.wires[1].y1, m.wires[0].y1); // same direction as the first dipole
    EXPECT_EQ(m.srcs[1].v, std::complex<double>(-1, 0));

    ASSERT_EQ(model_read(source_path("examples/foursquare.nec"), m, err), 0) << err;
    const double xs[] = {-2.64, 2.64, -2.64, 2.64}, ys[] = {-2.64, -2.64, 2.64, 2.64};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(m.wires[k].tag, k + 1);
        EXPECT_NEAR(m.wires[k].x1, xs[k], 1e-12);
        EXPECT_NEAR(m.wires[k].y1, ys[k], 1e-12);
    }

    ASSERT_EQ(model_read(source_path("examples/stub_match.nec"), m, err), 0) << err;
    EXPECT_EQ(m.tls[1].y2, std::complex<double>(1e10, 0));
    EXPECT_EQ(m.tls[0].y2, std::complex<double>(0, 0));
}

TEST(NecRun, ExampleDecksRun) {
    for (const ExampleDeck& e : kExamples) {
        RunResult r = run_quarlin({source_path(std::string("examples/") + e.file), "-q"});
        EXPECT_EQ(r.code, 0) << e.file << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << e.file << "\n" << r.out;
    }
}

// The integer after "key": in a JSON text, or -1.
long json_int(const std::string& text, const std::string& key) {
    size_t p = text.find("\"" + key + "\":");
    if (p == std::string::npos) return -1;
    return std::strtol(text.c_str() + p + key.size() + 3, nullptr, 10);
}

// Each wire card keeps its segment count, and every segment that holds a
// port is split in two.
TEST(NecRun, MeshKeepsCardCountsAndSplitsPorts) {
    for (const ExampleDeck& e : kExamples) {
        RunResult r =
            run_quarlin({source_path(std::string("examples/") + e.file), "-mesh", "-o", "out"});
        ASSERT_EQ(r.code, 0) << e.file << "\n" << r.out << r.err;
        std::string json = read_file(test_dir() + "/out/mesh.json");
        EXPECT_EQ(json_int(json, "nseg"), e.nseg + e.nport) << e.file;
        EXPECT_EQ(json_int(json, "nwire"), e.nwire) << e.file;
    }
}

TEST(NecRun, RefusedDecksExitWithLineNumber) {
    const struct {
        const char* file;
        const char* text;
        const char* out;
    } cases[] = {
        {"plane_wave.nec",
         "CM plane wave\nGW 1 9 0 0 0 0 0 1 0.001\nEX 1 1 1 0 1 0\nFR 0 1 0 0 300\n",
         "ERROR: line 3: only voltage sources (EX 0) are supported\n"},
        {"huge.txt", "GW 1 1000000000 0 0 0 0 0 1 0.001\nEX 0 1 1\nFR 0 1 0 0 300\n",
         "ERROR: line 1: GW would bring the deck to 1000000000 segments (at most 50000)\n"},
        {"nan.nec", "GW 1 9 0 0 0 0 0 nan 0.001\n",
         "ERROR: line 1: GW coordinates and radius must be finite numbers\n"},
        {"nosource.nec", "GW 1 9 0 0 0 0 0 1 0.001\nFR 0 1 0 0 300\n",
         "ERROR: no source defined\n"},
    };
    for (const auto& c : cases) {
        RunResult r = run_quarlin({write_file(c.file, c.text)});
        EXPECT_EQ(r.code, 2) << c.file;
        EXPECT_EQ(r.out, c.out) << c.file;
    }
}

TEST(NecRun, DeckWithoutEndCardRuns) {
    RunResult r = run_quarlin(
        {write_file("open.txt", "GW 1 9 0 0 -0.5 0 0 0.5 0.001\nEX 0 1 5\nFR 0 1 0 0 144")});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
}

} // namespace
