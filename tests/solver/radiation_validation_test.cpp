// Solved antennas against the physics of their radiation: for a lossless
// antenna the radiated power equals the input power (the average-gain test
// prad/pin = 1), a thin half-wave dipole has 2.15 dBi broadside and a
// quarter-wave monopole over a perfect ground 3 dB more at the horizon.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/pattern.h"
#include "solver/solve.h"

namespace {

constexpr double kFreq = 14.2e6;
constexpr double kLambda = phys::c0 / kFreq;

// A thin perfectly conducting z wire from z1 to z2 fed at fraction pos,
// meshed by the ordinary rules (30 segments per wavelength, tapering).
struct Solved {
    Model m;
    Mesh mesh;
    std::vector<cplx> cur;
    FreqResult res;
};

void solve_wire(Solved& s, int ground, double z1, double z2, double pos) {
    s.m.ground = ground;
    s.m.f0 = s.m.fmax = kFreq;
    Wire& w = add_wire(s.m);
    w.z1 = z1;
    w.z2 = z2;
    w.radius = 0.001;
    w.sigma = 0;
    Source& src = add_src(s.m);
    src.wire = 0;
    src.pos = pos;
    src.v = 1.0;
    std::string err;
    ASSERT_EQ(mesh_build(s.m, s.mesh, kFreq, err), 0) << err;
    ASSERT_EQ(solve_freq(s.m, s.mesh, kFreq, s.cur, s.res, 1, nullptr, err), 0) << err;
}

struct Peak {
    double gain_db, theta_deg;
};

// Largest total gain of the 2 x 5 degree grid over theta 0..th_max.
Peak peak_gain(const Solved& s, double th_max) {
    const int nth = static_cast<int>(th_max / 2.0) + 1, nph = 72;
    std::vector<float> gt(nth * nph), gv(nth * nph), gh(nth * nph);
    pattern_grid(s.m, s.mesh, kFreq, s.cur, s.res.pin, nth, nph, 2.0, 5.0, gt.data(), gv.data(),
                 gh.data(), nullptr, nullptr);
    auto it = std::max_element(gt.begin(), gt.end());
    int i = static_cast<int>(it - gt.begin()) / nph;
    return {*it, 2.0 * i};
}

TEST(RadiationValidation, HalfWaveDipoleInFreeSpace) {
    Solved d;
    solve_wire(d, GROUND_FREE, -kLambda / 4, kLambda / 4, 0.5);
    ASSERT_GT(d.res.pin, 0.0);
    EXPECT_NEAR(d.res.agt, 1.0, 0.01);
    EXPECT_EQ(d.res.eff, d.res.agt);
    EXPECT_DOUBLE_EQ(d.res.prad, d.res.agt * d.res.pin);
    Peak p = peak_gain(d, 180.0);
    EXPECT_NEAR(p.gain_db, 2.15, 0.05);
    EXPECT_EQ(p.theta_deg, 90.0);
}

TEST(RadiationValidation, QuarterWaveMonopoleOverPerfectGround) {
    Solved q;
    solve_wire(q, GROUND_PERFECT, 0.0, kLambda / 4, 0.0);
    ASSERT_GT(q.res.pin, 0.0);
    EXPECT_NEAR(q.res.agt, 1.0, 0.01);
    Peak p = peak_gain(q, 90.0);
    EXPECT_NEAR(p.gain_db, 5.15, 0.1);
    EXPECT_EQ(p.theta_deg, 90.0);
}

// Without the radiated-power request the three figures stay 0.
TEST(RadiationValidation, NoRadiatedPowerUnlessAsked) {
    Solved d;
    solve_wire(d, GROUND_FREE, -kLambda / 4, kLambda / 4, 0.5);
    FreqResult r;
    std::vector<cplx> cur;
    std::string err;
    ASSERT_EQ(solve_freq(d.m, d.mesh, kFreq, cur, r, 0, nullptr, err), 0) << err;
    EXPECT_EQ(r.prad, 0.0);
    EXPECT_EQ(r.eff, 0.0);
    EXPECT_EQ(r.agt, 0.0);
    EXPECT_GT(d.res.prad, 0.0);
}

} // namespace
