// The warnings about how far a run's figures can be trusted: their texts and
// where they start, on small hand-built meshes and solution records.
#include <gtest/gtest.h>

#include <string>

#include "common/constants.h"
#include "driver/run_checks.h"
#include "hand_mesh.h"

namespace {

// A horizontal dipole at height z (m) over a ground of the given kind.
std::string near_ground(double z, int ground, int somm, double f0, int nfreq = 0, double fstart = 0,
                        double fstop = 0, int is_nec = 0) {
    Mesh mesh = hand_mesh({{{0, -5, z}, {0, 5, z}, 11, 0.001}});
    Model m = hand_model(f0, 5, ground);
    m.somm = somm;
    m.nfreq = nfreq;
    m.fstart = fstart;
    m.fstop = fstop;
    m.is_nec = is_nec;
    return run_check_near_ground(m, mesh);
}

TEST(RunChecks, NearReflectionCoefficientGround) {
    const double f = 14.2e6, wl = phys::c0 / f;
    const std::string text =
        "wire 1 comes within 1 m (0.047 wavelengths at 14.2 MHz) of the real ground, where the "
        "reflection-coefficient ground is not accurate (below 0.1 wavelength): the Sommerfeld "
        "ground (GROUND real sommerfeld) is the accurate one";
    EXPECT_EQ(near_ground(1.0, GROUND_REAL, 0, f), text);
    const struct {
        double z;
        int ground, somm;
        bool warned;
    } cases[] = {
        {0.0999 * wl, GROUND_REAL, 0, true},   {0.1001 * wl, GROUND_REAL, 0, false},
        {0.0, GROUND_REAL, 0, true},        // touching the ground
        {0.05 * wl, GROUND_REAL, 1, false}, // the Sommerfeld ground is accurate there
        {0.05 * wl, GROUND_MININEC, 0, false}, {0.05 * wl, GROUND_PERFECT, 0, false},
        {0.05 * wl, GROUND_FREE, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(!near_ground(c.z, c.ground, c.somm, f).empty(), c.warned)
            << c.z / wl << " wavelengths, ground " << c.ground << " somm " << c.somm;
    // A sweep is judged at its lowest frequency, where the wavelength is
    // longest: 0.12 wavelength at the design frequency is 0.0986 at 14 MHz.
    EXPECT_TRUE(near_ground(0.12 * wl, GROUND_REAL, 0, f).empty());
    EXPECT_FALSE(
        near_ground(0.0986 * phys::c0 / 14e6, GROUND_REAL, 0, f, 11, 14e6, 17.3e6).empty());
    // NEC decks name the tag and the card.
    std::string nec = near_ground(1.0, GROUND_REAL, 0, f, 0, 0, 0, 1);
    EXPECT_EQ(nec.rfind("tag 1 comes within 1 m", 0), 0u) << nec;
    EXPECT_NE(nec.find("the Sommerfeld ground (GN 2) is the accurate one"), std::string::npos);
}

TEST(RunChecks, PowerAboveInputOfAPassiveAntenna) {
    Model m = hand_model(14.2e6, 0, GROUND_MININEC);
    FreqResult d;
    d.eff = d.agt = 11.1809;
    EXPECT_EQ(run_check_power(m, d),
              "this passive antenna radiates 11.181 times its input power (efficiency 1118.09 %): "
              "the mininec ground is not valid for this antenna");
    const struct {
        double ratio;
        int ground;
        bool warned;
    } cases[] = {
        {1.0199, GROUND_MININEC, false}, {1.0201, GROUND_MININEC, true},
        {1.0201, GROUND_PERFECT, true},  {1.0201, GROUND_FREE, true},
        {0.5, GROUND_REAL, false},       {1.0201, GROUND_REAL, true},
    };
    for (const auto& c : cases) {
        m.ground = c.ground;
        d.eff = d.agt = c.ratio;
        EXPECT_EQ(!run_check_power(m, d).empty(), c.warned) << c.ratio << " " << c.ground;
    }
    // The average gain test alone above the bound is named as such, not as
    // an efficiency.
    m.ground = GROUND_PERFECT;
    d.eff = 0.98;
    d.agt = 1.25;
    EXPECT_EQ(run_check_power(m, d),
              "this passive antenna radiates 1.250 times its input power (average gain test "
              "1.250): the perfect ground is not valid for this antenna");
    // An antenna with a negative resistance may radiate more than it is fed.
    m.ground = GROUND_FREE;
    Load active;
    active.r = -20;
    m.loads.push_back(active);
    d.eff = d.agt = 3;
    EXPECT_EQ(run_check_power(m, d), "");
}

} // namespace
