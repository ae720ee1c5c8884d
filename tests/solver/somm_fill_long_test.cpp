// The cheaper rules of the Sommerfeld correction on the whole benchmark
// array (bench/bench_somm.cpp): 80 horizontal half-wave dipoles of 25
// segments, 2 m over average ground at 299.8 MHz, half a wavelength apart.
// Every pair of different dipoles lies at least 200 segment lengths from
// the image and takes the midpoint rule; the impedance stays within 1e-4 of
// the 4-point rule on every pair (measured 3e-6).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/constants.h"
#include "ground/somm.h"
#include "hand_mesh.h"
#include "solver/kernel.h"
#include "solver/lu.h"
#include "solver/solve.h"

namespace {

TEST(SommSolveLong, CheaperFarRulesKeepTheImpedanceOfTheBenchmarkArray) {
    const double f = 299.8e6, lam = phys::c0 / f, L = 0.5 * lam, z = 2.0;
    std::vector<HandWire> w;
    for (int i = 0; i < 80; ++i)
        w.push_back(HandWire{{i * 0.5 * lam, -L / 2, z}, {i * 0.5 * lam, L / 2, z}, 25, 0.001});
    Mesh mesh = hand_mesh(w, true);
    Model m = hand_model(f, hand_unk_at(mesh, 0, -L / 2 + 13 * L / 25, z), GROUND_REAL);
    m.eps = 13;
    m.sigma = 0.005;
    m.somm = 1;
    std::unique_ptr<SommTable> t;
    std::string err;
    ASSERT_EQ(somm_table(f, cplx(13.0, -0.005 / (phys::two_pi * f * phys::eps0)), LAYER_HALFSPACE,
                         0.0, 1.01 * std::hypot(39.5 * lam, L), 2 * z, 1.01 * 2 * z, t, err),
              0)
        << err;
    const int n = mesh.nunk();
    FillGeom g;
    fill_geom_build(mesh, true, g);
    cplx zin[2];
    for (int refine : {0, 1}) {
        std::vector<cplx> Z(static_cast<size_t>(n) * n), b(static_cast<size_t>(n));
        fill_matrix(m, mesh, f, g, Z.data(), n, t.get(), somm_corr_field, refine);
        b[m.srcs[0].unk] = 1.0;
        ASSERT_EQ(lu_solve(Z.data(), b.data(), n), 0);
        zin[refine] = 1.0 / b[m.srcs[0].unk];
    }
    EXPECT_LT(std::abs(zin[0] - zin[1]) / std::abs(zin[1]), 1e-4) << zin[0] << " vs " << zin[1];
}

} // namespace
