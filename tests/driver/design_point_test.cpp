// A sweep point at exactly the design frequency is kept for the design step
// (sweep_run's DesignPoint): its currents, source currents, record and beam
// widths must be those the design step would compute by solving the same
// system again, bit for bit; a design frequency between the points keeps
// nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/pattern_summary.h"
#include "driver/results.h"
#include "driver/run.h"
#include "driver/sweep_run.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"
#include "test_support.h"

namespace {

// Two fed dipoles over a reflection-coefficient ground (two source
// currents, an upper-half-space search), with the given frequency lines.
std::string model_text(const std::string& freq_lines) {
    return cat({"TITLE two fed dipoles over ground\n", freq_lines,
                "WIRE 0 -5 8  0 5 8  r=0.001 seg=15 name=a\n"
                "WIRE 4 -5 8  4 5 8  r=0.001 seg=15 name=b\n"
                "SOURCE a 50\n"
                "SOURCE b 50 phase=90\n"
                "GROUND real eps=13 sigma=0.005\n"
                "END\n"});
}

struct Case {
    const char* name;
    const char* freq_lines;
    int kept; // index of the kept point, -1 for none
};

const Case kCases[] = {
    {"single frequency", "FREQ 14.2 MHz\n", 0},
    {"design frequency on a middle point", "FREQ 14.2 MHz\nSWEEP 14.0 14.4 3\n", 1},
    {"design frequency on the first point", "FREQ 14 MHz\nSWEEP 14 14.5 6\n", 0},
    {"design frequency between the points", "FREQ 14.25 MHz\nSWEEP 14.0 14.4 3\n", -1},
};

TEST(DesignPoint, KeptPointEqualsSolvingTheDesignFrequencyAgain) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Model m;
        Mesh mesh;
        std::string err;
        ASSERT_EQ(model_read(write_file("m.ant", model_text(c.freq_lines)), m, err), 0) << err;
        ASSERT_EQ(mesh_build(m, mesh, m.f0, err), 0) << err;
        RunOptions opt;
        opt.quiet = true;
        RunResults res;
        DesignPoint d;
        ASSERT_EQ(sweep_run(opt, m, mesh, false, res, err, &d), EXIT_OK) << err;
        if (c.kept < 0) {
            EXPECT_FALSE(d.have);
            continue;
        }
        ASSERT_TRUE(d.have);
        EXPECT_EQ(d.index, c.kept);

        // The design step's own solution and search.
        std::vector<cplx> cur, src;
        FreqResult r;
        ASSERT_EQ(solve_freq(m, mesh, m.f0, cur, r, 0, &src, err), 0) << err;
        double bwaz = -1, bwel = -1, bwh = -1;
        pattern_summary(m, mesh, m.f0, cur, r.pin, r, &bwaz, &bwel, &bwh);

        EXPECT_EQ(d.cur, cur);
        ASSERT_EQ(d.src_cur.size(), 2u);
        EXPECT_EQ(d.src_cur, src);
        EXPECT_EQ(d.r.f, m.f0);
        EXPECT_EQ(d.r.zin, r.zin);
        EXPECT_EQ(d.r.pin, r.pin);
        EXPECT_EQ(d.r.gmax, r.gmax);
        EXPECT_EQ(d.r.thmax, r.thmax);
        EXPECT_EQ(d.r.phmax, r.phmax);
        EXPECT_EQ(d.r.fb, r.fb);
        EXPECT_EQ(d.r.prad, 0.0); // added by the design step
        EXPECT_EQ(d.bwaz, bwaz);
        EXPECT_EQ(d.bwel, bwel);
        EXPECT_EQ(d.bwel_horizon, bwh);
        EXPECT_GT(bwaz, 0.0);
        // The sweep's row is the kept record.
        const FreqResult& row = res.sweep[static_cast<size_t>(c.kept)];
        EXPECT_EQ(row.zin, r.zin);
        EXPECT_EQ(row.gmax, r.gmax);
    }
}

} // namespace
