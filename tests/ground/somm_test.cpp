// Sommerfeld integrals, table and correction field: the Bessel functions
// against high-precision values, Wynn's extrapolation, the media whose
// reflected field is known in closed form (no medium, a bare ground plane at
// depth h, a nearly perfect conductor), the table against direct evaluation,
// and inputs at and beyond the edges of the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/constants.h"
#include "ground/somm.h"
#include "ground/somm_internal.h"

namespace {

double rel_err(cplx got, cplx want) {
    return std::abs(got - want) / std::max(std::abs(want), 1e-300);
}

// ---- Bessel functions ----

TEST(Bessel, MatchesHighPrecisionValues) {
    // J0, J1 from mpmath (30 digits), on both sides of the switch at
    // |z| = 14 and on the integration path (|Im z| <= 1), and off it.
    struct Case {
        cplx z, j0, j1;
    };
    const Case cases[] = {
        {{0.5, 0.0}, {0.9384698072408129, 0.0}, {0.24226845767487389, 0.0}},
        {{3.0, 0.5},
         {-0.30753601797880278, -0.17324844577780657},
         {0.36149679840403173, -0.19336161497912512}},
        {{9.7, -0.8},
         {-0.30076605604188432, 0.10128189511836699},
         {0.14698579311461023, 0.20801461417444933}},
        {{13.9, 0.3},
         {0.19151928924510008, -0.035538633755335471},
         {0.12235526672662169, 0.053301112384206178}},
        {{14.1, 0.3},
         {0.16358619173967244, -0.045351544128065207},
         {0.15596914224171606, 0.044524770803351913}},
        {{20.0, -1.0},
         {0.25571394495998454, 0.080010338077422215},
         {0.10780526090547948, -0.19151556313020983}},
        {{55.3, 0.7},
         {-0.059989958097858802, 0.073110614167219238},
         {-0.1211038926474938, -0.035107336824247158}},
        {{300.2, -0.4},
         {-0.028424012953936705, -0.015545468655370112},
         {-0.040919275481282116, 0.010750453024032522}},
        {{0.001, 0.02},
         {1.0000997524625424, -1.000049875826401e-5},
         {0.00050007493957294328, 0.010000496258125326}},
        {{0.0, 7.0}, {168.5939085102897, 0.0}, {0.0, 156.03909286995545}},
        {{-5.0, 2.0},
         {-0.42973398507151403, -1.1922394411295847},
         {1.2287085812848446, -0.28070443605000531}},
    };
    for (const Case& c : cases) {
        cplx j0, j1;
        bessel_j01(c.z, j0, j1);
        // The series keeps about 11 digits near |z| = 14 (terms up to 3e4
        // against values near 0.2); elsewhere it and the asymptotic sums
        // reach 1e-13.
        const double tol = std::abs(c.z) > 9 && std::abs(c.z) < 14 ? 1e-10 : 1e-12;
        EXPECT_LT(std::abs(j0 - c.j0), tol * std::max(1.0, std::abs(c.j0))) << c.z;
        EXPECT_LT(std::abs(j1 - c.j1), tol * std::max(1.0, std::abs(c.j1))) << c.z;
    }
}

TEST(Bessel, SeriesAndAsymptoticAgreeAtTheSwitch) {
    for (double arg : {0.0, 0.02, -0.05, 0.07}) {
        const cplx below = std::polar(14.0 - 1e-12, arg), above = std::polar(14.0 + 1e-12, arg);
        cplx a0, a1, b0, b1;
        bessel_j01(below, a0, a1);
        bessel_j01(above, b0, b1);
        EXPECT_LT(std::abs(a0 - b0), 1e-10) << arg;
        EXPECT_LT(std::abs(a1 - b1), 1e-10) << arg;
    }
}

// ---- Wynn's epsilon algorithm ----

TEST(Wynn, GeometricSeriesGivesItsLimit) {
    // Partial sums of sum r^m converge slowly for |r| near 1; the second
    // column of the epsilon table is exact: 1/(1 - r).
    for (cplx r : {cplx(0.9, 0.0), cplx(-0.95, 0.0), cplx(0.6, 0.7)}) {
        std::vector<cplx> s;
        cplx sum = 0, term = 1;
        for (int i = 0; i < 12; ++i) {
            sum += term;
            term *= r;
            s.push_back(sum);
        }
        EXPECT_LT(rel_err(wynn(s.data(), 12), 1.0 / (1.0 - r)), 1e-12) << r;
    }
    const cplx one(2.5, -1);
    EXPECT_EQ(wynn(&one, 1), one);
}

TEST(Wynn, AlternatingSeriesConverges) {
    // ln 2 = 1 - 1/2 + 1/3 - ...: 20 partial sums are 2 % off, the
    // extrapolation 1e-12.
    std::vector<cplx> s;
    double sum = 0;
    for (int i = 1; i <= 20; ++i) {
        sum += (i % 2 ? 1.0 : -1.0) / i;
        s.push_back(sum);
    }
    EXPECT_NEAR(wynn(s.data(), 20).real(), std::log(2.0), 1e-12);
}

// ---- The integrals at points with known values ----

constexpr double kLam = 1.0; // wavelength 1 m
constexpr double kF = phys::c0 / kLam;
constexpr double kK0 = phys::two_pi / kLam;

TEST(SommIntegrals, NoMediumGivesZeros) {
    // eps = 1: no reflection from a half-space or a free slab of vacuum.
    for (LayerMode mode : {LAYER_HALFSPACE, LAYER_FREE_SLAB}) {
        for (double rho : {0.0, 0.03, 0.7, 6.0}) {
            cplx v[kSommVals];
            somm_integrals(kK0, 1.0, mode, 0.01, rho, 0.02, v);
            for (int k = 0; k < kSommVals; ++k)
                EXPECT_EQ(v[k], cplx(0.0)) << "mode " << mode << " rho " << rho << " V" << k;
        }
    }
}

TEST(SommIntegrals, ValuesWithAFactorRhoVanishOnTheAxis) {
    const cplx eps(13.0, -4.0);
    for (LayerMode mode : {LAYER_HALFSPACE, LAYER_GROUNDED_SLAB, LAYER_FREE_SLAB}) {
        cplx v[kSommVals];
        somm_integrals(kK0, eps, mode, 0.02, 0.0, 0.05, v);
        EXPECT_EQ(v[2], cplx(0.0)) << mode;
        EXPECT_EQ(v[4], cplx(0.0)) << mode;
        EXPECT_EQ(v[5], cplx(0.0)) << mode;
        EXPECT_GT(std::abs(v[6]), 0.0) << mode;
    }
}

// Field at obs of a unit current moment p at src in free space:
//   E = F [k^2 g p + grad(p . grad g)],  g = exp(-jkR)/R,
//     = F [(k^2 g + g'/R) p + (g'' - g'/R)(p . Rhat) Rhat],
// F = 1/(j 4 pi w eps0); g' = -(jk + 1/R) g, g'' = ((jk + 1/R)^2 + 1/R^2) g.
// With the reduced kernel of a wire of radius a, R = sqrt(|r|^2 + a^2) for
// the offset r, the same Hessian holds with Rhat = r/R, a vector shorter
// than 1 (grad R = r/R).
void dipole_field(double k, double omega, const double obs[3], const double src[3],
                  const double p[3], cplx E[3], double a = 0) {
    double r[3] = {obs[0] - src[0], obs[1] - src[1], obs[2] - src[2]};
    const double R = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + a * a);
    for (double& x : r) x /= R;
    const cplx g = std::polar(1.0 / R, -k * R);
    const cplx ik(1.0 / R, k);
    const cplx g1 = -ik * g, g2 = (ik * ik + 1.0 / (R * R)) * g;
    const double pr = p[0] * r[0] + p[1] * r[1] + p[2] * r[2];
    const cplx F = 1.0 / cplx(0.0, phys::four_pi * omega * phys::eps0);
    for (int d = 0; d < 3; ++d)
        E[d] = F * ((k * k * g + g1 / R) * p[d] + (g2 - g1 / R) * pr * r[d]);
}

// The field of the mirror image of a current element in a perfect plane at
// z = -depth: the image sits at z' -> -2 depth - z', its horizontal
// components reversed; a is the radius of the reduced kernel.
void image_field(double depth, const double obs[3], const double src[3], const double dir[3],
                 cplx E[3], double a = 0) {
    const double img[3] = {src[0], src[1], -2.0 * depth - src[2]};
    const double p[3] = {-dir[0], -dir[1], dir[2]};
    dipole_field(kK0, phys::two_pi * kF, obs, img, p, E, a);
}

struct Geometry {
    double obs[3], src[3], dir[3];
};
const Geometry kGeometries[] = {
    {{0.1, 0.0, 0.05}, {0.0, 0.0, 0.02}, {0.0, 0.0, 1.0}},  // vertical, near
    {{0.4, 0.3, 0.1}, {0.0, 0.0, 0.05}, {1.0, 0.0, 0.0}},   // horizontal, oblique
    {{0.0, 0.0, 0.3}, {0.0, 0.0, 0.1}, {0.0, 1.0, 0.0}},    // straight above
    {{2.5, -1.0, 0.02}, {0.0, 0.0, 0.01}, {0.6, 0.0, 0.8}}, // far along the surface
};

TEST(SommField, BareGroundPlaneAtDepthIsItsImage) {
    // A grounded slab of vacuum is a perfect plane at z = -h: R_TM =
    // exp(-2 u0 h), R_TE = -exp(-2 u0 h). The whole reflected field is that
    // of the mirror image below the plane: all seven integrals and the
    // field formula together, for vertical and horizontal currents.
    const double h = 0.03;
    for (const Geometry& g : kGeometries) {
        cplx E[3], ref[3];
        somm_field_direct(kF, 1.0, LAYER_GROUNDED_SLAB, h, g.obs, g.src, g.dir, E);
        image_field(h, g.obs, g.src, g.dir, ref);
        const double scale = std::abs(ref[0]) + std::abs(ref[1]) + std::abs(ref[2]);
        for (int d = 0; d < 3; ++d)
            EXPECT_LT(std::abs(E[d] - ref[d]), 1e-6 * scale)
                << "obs x " << g.obs[0] << " component " << d << ": " << E[d] << " vs " << ref[d];
    }
}

TEST(SommField, ReducedKernelOfABarePlaneIsTheReducedImage) {
    // The image over a perfect ground is integrated with the reduced kernel,
    // distance sqrt(R^2 + a^2); the Sommerfeld field of a wire of radius a
    // must be the same kernel's: for the grounded slab of vacuum, the field
    // of the mirror image at that reduced distance, its Hessian included.
    // Horizontal offsets from 0 (a wire's own image straight below) to a
    // few radii, where the reduced and the axis-to-axis fields differ by up
    // to a^2/(zs + 2h)^2 ~ 10 %, and directions along and across the
    // offset, vertical and oblique (agreement 1e-6, as without radius).
    const double h = 0.002, a = 0.001;
    const Geometry near[] = {
        {{0.0, 0.0, 0.001}, {0.0, 0.0, 0.0005}, {0.0, 0.0, 1.0}},      // own image, vertical
        {{0.0, 0.0, 0.0005}, {0.0, 0.0, 0.0005}, {0.0, 1.0, 0.0}},     // own image, horizontal
        {{0.0, 0.0004, 0.0005}, {0.0, 0.0, 0.0005}, {0.0, 1.0, 0.0}},  // along, inside a
        {{0.0003, 0.0, 0.0005}, {0.0, 0.0, 0.0005}, {0.0, 1.0, 0.0}},  // across, inside a
        {{0.002, 0.0015, 0.001}, {0.0, 0.0, 0.0003}, {0.6, 0.0, 0.8}}, // oblique, a few a
        {{0.0, 0.003, 0.0005}, {0.0, 0.0, 0.0005}, {0.0, 0.0, 1.0}},   // vertical, offset
    };
    for (const Geometry& g : near) {
        cplx E[3], ref[3], axis[3];
        somm_field_direct(kF, 1.0, LAYER_GROUNDED_SLAB, h, g.obs, g.src, g.dir, E, a);
        image_field(h, g.obs, g.src, g.dir, ref, a);
        image_field(h, g.obs, g.src, g.dir, axis);
        double scale = 0, shift = 0;
        for (int d = 0; d < 3; ++d) {
            scale += std::abs(ref[d]);
            shift += std::abs(axis[d] - ref[d]);
        }
        EXPECT_GT(shift, 1e-3 * scale) << "the radius makes no difference at obs y " << g.obs[1];
        for (int d = 0; d < 3; ++d)
            EXPECT_LT(std::abs(E[d] - ref[d]), 1e-6 * scale)
                << "obs " << g.obs[0] << "," << g.obs[1] << " component " << d << ": " << E[d]
                << " vs " << ref[d];
    }
}

TEST(SommField, NearlyPerfectGroundIsThePerfectImage) {
    // sigma = 1e6 S/m: eps_c ~ -j 6e4 at 300 MHz; the coefficients differ
    // from +-1 by about 1/sqrt(|eps|) = 4e-3 (less at steep incidence).
    const cplx eps(13.0, -1e6 / (phys::two_pi * kF * phys::eps0));
    for (const Geometry& g : kGeometries) {
        cplx E[3], ref[3];
        somm_field_direct(kF, eps, LAYER_HALFSPACE, 0.0, g.obs, g.src, g.dir, E);
        image_field(0.0, g.obs, g.src, g.dir, ref);
        const double scale = std::abs(ref[0]) + std::abs(ref[1]) + std::abs(ref[2]);
        for (int d = 0; d < 3; ++d)
            EXPECT_LT(std::abs(E[d] - ref[d]), 1e-2 * scale)
                << "obs x " << g.obs[0] << " component " << d << ": " << E[d] << " vs " << ref[d];
    }
}

TEST(SommField, QuasiStaticImageIsTheNearField) {
    // Close to the interface (zs and rho a few thousandths of a wavelength)
    // the reflected field is that of the quasi-static image: the
    // correction is a small part of the whole.
    const cplx eps(13.0, -4.0);
    const double obs[3] = {0.004, 0.0, 0.002}, src[3] = {0.0, 0.0, 0.001};
    for (const double* dir : {kGeometries[0].dir, kGeometries[1].dir}) {
        cplx E[3], C[3];
        somm_field_direct(kF, eps, LAYER_HALFSPACE, 0.0, obs, src, dir, E);
        somm_corr_field_direct(kF, eps, LAYER_HALFSPACE, 0.0, obs, src, dir, C);
        const double whole = std::abs(E[0]) + std::abs(E[1]) + std::abs(E[2]);
        const double corr = std::abs(C[0]) + std::abs(C[1]) + std::abs(C[2]);
        EXPECT_LT(corr, 0.02 * whole);
    }
}

// ---- Table ----

struct Medium {
    const char* what;
    cplx eps;
    LayerMode mode;
    double h;
};
const Medium kMedia[] = {
    {"half-space", cplx(13.0, -0.005 / (phys::two_pi * kF * phys::eps0) - 3.0), LAYER_HALFSPACE,
     0.0},
    {"grounded slab", 4.4 * cplx(1.0, -0.02), LAYER_GROUNDED_SLAB, 0.02},
    {"free slab", 4.4 * cplx(1.0, -0.02), LAYER_FREE_SLAB, 0.02},
};

std::unique_ptr<SommTable> make_table(const Medium& m, double rho_max, double zs_min,
                                      double zs_max) {
    std::unique_ptr<SommTable> t;
    std::string err;
    EXPECT_EQ(somm_table(kF, m.eps, m.mode, m.h, rho_max, zs_min, zs_max, t, err), 0) << err;
    return t;
}

TEST(SommTable, NodeValuesAreTheDirectOnes) {
    for (const Medium& m : kMedia) {
        std::unique_ptr<SommTable> t = make_table(m, 0.3, 0.05, 0.1);
        ASSERT_TRUE(t);
        for (int i : {0, 3, t->nrho / 2, t->nrho - 1}) {
            for (int j : {0, t->nzs / 2, t->nzs - 1}) {
                cplx got[kSommVals], V[kSommVals], K[kSommVals];
                tab_interp(*t, t->rho[i], t->zs[j], got);
                somm_integrals(t->k0, t->eps, t->mode, t->h, t->rho[i], t->zs[j], V);
                kimg_integrals(t->k0, t->kappa, t->rho[i], t->zs[j], K);
                for (int k = 0; k < kSommVals; ++k)
                    EXPECT_LE(std::abs(got[k] - (V[k] - K[k])),
                              1e-12 * std::abs(V[k] - K[k]) + 1e-300)
                        << m.what << " node " << i << "," << j << " V" << k;
            }
        }
    }
}

TEST(SommTable, CorrectionFieldAgreesWithDirectBetweenNodes) {
    // Points between nodes in both directions, above the first zs node
    // (where no extrapolation applies), for the three media; the slabs'
    // finer grids are kept to a smaller extent.
    for (const Medium& m : kMedia) {
        const bool half = m.mode == LAYER_HALFSPACE;
        std::unique_ptr<SommTable> t = make_table(m, half ? 1.2 : 0.25, 0.004, half ? 0.3 : 0.06);
        ASSERT_TRUE(t);
        const Geometry near[] = {
            {{0.0123, 0.0071, 0.0213}, {0.0, 0.0, 0.0049}, {0.0, 0.0, 1.0}},
            {{0.0031, 0.0, 0.0029}, {0.0, 0.0, 0.0021}, {1.0, 0.0, 0.0}},
            {{0.17, 0.05, 0.0117}, {0.01, 0.02, 0.0151}, {0.8, 0.6, 0.0}},
        };
        const Geometry far[] = {
            {{0.37, 0.21, 0.113}, {0.01, 0.02, 0.0311}, {0.8, 0.6, 0.0}},
            {{1.07, -0.3, 0.0517}, {0.0, 0.0, 0.0073}, {0.0, 0.6, 0.8}},
        };
        std::vector<Geometry> pts(std::begin(near), std::end(near));
        if (half) pts.insert(pts.end(), std::begin(far), std::end(far));
        // Each point also for a wire of radius 3 mm (the reduced distance).
        for (const Geometry& g : pts) {
            for (double a : {0.0, 0.003}) {
                cplx E[3], ref[3];
                somm_corr_field(t.get(), g.obs, g.src, g.dir, E, a);
                somm_corr_field_direct(kF, m.eps, m.mode, m.h, g.obs, g.src, g.dir, ref, a);
                const double scale = std::abs(ref[0]) + std::abs(ref[1]) + std::abs(ref[2]);
                for (int d = 0; d < 3; ++d)
                    EXPECT_LT(std::abs(E[d] - ref[d]), 1e-3 * scale)
                        << m.what << " a " << a << " obs " << g.obs[0] << " component " << d << ": "
                        << E[d] << " vs " << ref[d];
            }
        }
    }
}

TEST(SommTable, NoMediumGivesNoCorrection) {
    for (LayerMode mode : {LAYER_HALFSPACE, LAYER_FREE_SLAB}) {
        std::unique_ptr<SommTable> t;
        std::string err;
        ASSERT_EQ(somm_table(kF, 1.0, mode, 0.01, 0.5, 0.1, 0.2, t, err), 0) << err;
        for (const cplx& v : t->val) ASSERT_EQ(v, cplx(0.0)) << mode;
        const Geometry& g = kGeometries[1];
        cplx E[3];
        somm_corr_field(t.get(), g.obs, g.src, g.dir, E);
        for (const cplx& e : E) EXPECT_EQ(e, cplx(0.0));
    }
}

TEST(SommTable, HighSmallAntennaStillHasAFourNodeStencil) {
    // A short vertical dipole 0.2 to 0.4 wavelengths up: zs starts at 0.4,
    // beyond four times the switch point of the rho grid, so there is no
    // geometric node, and rho_max = 0 is reached in one linear step. The
    // grid is padded to four nodes, and values between them are right.
    const Medium& m = kMedia[0];
    std::unique_ptr<SommTable> t = make_table(m, 0.0, 0.4, 1.01 * 0.8);
    ASSERT_TRUE(t);
    ASSERT_GE(t->nrho, 4);
    const double obs[3] = {0.031, 0.0, 0.33}, src[3] = {0.0, 0.0, 0.27}, dir[3] = {0, 0, 1};
    cplx E[3], ref[3];
    somm_corr_field(t.get(), obs, src, dir, E);
    somm_corr_field_direct(kF, m.eps, m.mode, m.h, obs, src, dir, ref);
    EXPECT_LT(std::abs(E[2] - ref[2]), 1e-3 * std::abs(ref[2])) << E[2] << " vs " << ref[2];
}

TEST(SommTable, BelowAndBeyondTheGrid) {
    const Medium& hs = kMedia[0];
    std::unique_ptr<SommTable> t = make_table(hs, 0.2, 0.0, 0.01);
    ASSERT_TRUE(t);
    const double dir[3] = {1, 0, 0}, src[3] = {0, 0, 0};
    // Half-space below the first zs node (a wire on the ground, zs = 0):
    // the value at zs_min, with the phase of that height.
    {
        const double obs[3] = {0.2, 0.0, 0.0};
        cplx v[kSommVals];
        tab_interp(*t, 0.2, t->zs_min, v);
        cplx want[3], got[3];
        somm_field_from(v, t->k0, t->omega, obs, src, dir, want);
        somm_corr_field(t.get(), obs, src, dir, got);
        for (int d = 0; d < 3; ++d) EXPECT_EQ(got[d], want[d]);
    }
    // Beyond the last rho node: the boundary polynomial with the phase of
    // the true distance.
    {
        const double last = t->rho.back(), far = last + 7.3, zs = 0.05;
        cplx at[kSommVals], beyond[kSommVals];
        tab_interp(*t, last, zs, at);
        tab_interp(*t, far, zs, beyond);
        const cplx ph = std::polar(1.0, -t->k0 * (std::hypot(far, zs) - std::hypot(last, zs)));
        for (int k = 0; k < kSommVals; ++k)
            EXPECT_LT(std::abs(beyond[k] - at[k] * ph), 1e-12 * std::abs(at[k]));
    }
    // A board's traces at zs = 0 are extrapolated from the first and the
    // fourth zs node.
    std::unique_ptr<SommTable> b = make_table(kMedia[1], 0.2, 0.0, 0.0);
    ASSERT_TRUE(b);
    ASSERT_GE(b->nzs, 4);
    cplx w0[kSommVals], w3[kSommVals];
    tab_interp(*b, 0.1, b->zs[0], w0);
    tab_interp(*b, 0.1, b->zs[3], w3);
    const double s = -b->zs[0] / (b->zs[3] - b->zs[0]);
    cplx v[kSommVals];
    for (int k = 0; k < kSommVals; ++k) v[k] = w0[k] + s * (w3[k] - w0[k]);
    const double obs[3] = {0.1, 0.0, 0.0};
    cplx want[3], got[3];
    somm_field_from(v, b->k0, b->omega, obs, src, dir, want);
    somm_corr_field(b.get(), obs, src, dir, got);
    const double scale = std::abs(want[0]) + std::abs(want[1]) + std::abs(want[2]);
    for (int d = 0; d < 3; ++d) EXPECT_LE(std::abs(got[d] - want[d]), 1e-12 * scale);
}

TEST(SommTable, FlatStructureComputesOnlyTheRowsItReads) {
    // All field requests of a flat structure share one height sum: over a
    // half-space at 2 z = 0.1 (one row), on a board at z = 0 (the first and
    // fourth rows, for the extrapolation). The correction field there is
    // the full table's, exactly; the rows left out hold NaN.
    struct Case {
        const Medium& m;
        double z;
        size_t rows;
    };
    const Case cases[] = {{kMedia[0], 0.05, 1}, {kMedia[1], 0.0, 2}, {kMedia[2], 0.0, 2}};
    for (const Case& c : cases) {
        const double zs = 2 * c.z;
        std::unique_ptr<SommTable> full = make_table(c.m, 0.2, zs, 1.01 * zs);
        std::unique_ptr<SommTable> flat;
        std::string err;
        ASSERT_EQ(somm_table(kF, c.m.eps, c.m.mode, c.m.h, 0.2, zs, 1.01 * zs, flat, err, zs), 0);
        EXPECT_EQ(flat->rows.size(), c.rows) << c.m.what;
        EXPECT_EQ(full->rows.size(), static_cast<size_t>(full->nzs)) << c.m.what;
        for (double x : {0.0, 0.0137, 0.09, 0.18}) {
            const double obs[3] = {x, 0.3 * x, c.z}, src[3] = {0, 0, c.z}, dir[3] = {0.6, 0.8, 0};
            cplx a[3], b[3];
            somm_corr_field(full.get(), obs, src, dir, a);
            somm_corr_field(flat.get(), obs, src, dir, b);
            for (int d = 0; d < 3; ++d) EXPECT_EQ(a[d], b[d]) << c.m.what << " x " << x;
        }
        int nan_rows = 0;
        for (int j = 0; j < flat->nzs; ++j)
            nan_rows += std::isnan(flat->val[static_cast<size_t>(j) * kSommVals].real());
        EXPECT_EQ(nan_rows, flat->nzs - static_cast<int>(c.rows)) << c.m.what;
    }
}

bool all_finite(const cplx* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i].real()) || !std::isfinite(v[i].imag())) return false;
    return true;
}

TEST(SommIntegrals, ExtremeInputsGiveFiniteValues) {
    // Height sum zero or negative, a board a micrometre thin, a slab a
    // hundred wavelengths thick and very lossy, sigma = 1e6 S/m, and a
    // point kilometres away: finite values, every loop bounded.
    struct Case {
        const char* what;
        cplx eps;
        LayerMode mode;
        double h, rho, zs;
    };
    const Case cases[] = {
        {"zs = 0", cplx(13, -4), LAYER_HALFSPACE, 0, 0.3, 0.0},
        {"zs < 0", cplx(13, -4), LAYER_HALFSPACE, 0, 0.3, -0.2},
        {"thin board", 4.4, LAYER_GROUNDED_SLAB, 1e-6, 0.01, 1e-7},
        {"thick lossy slab", cplx(10, -500), LAYER_FREE_SLAB, 100.0, 0.2, 0.01},
        {"sigma 1e6", cplx(13, -6e4), LAYER_HALFSPACE, 0, 0.1, 0.01},
        {"kilometres", cplx(13, -3), LAYER_HALFSPACE, 0, 5000.0, 0.5},
    };
    for (const Case& c : cases) {
        cplx v[kSommVals];
        somm_integrals(kK0, c.eps, c.mode, c.h, c.rho, c.zs, v);
        EXPECT_TRUE(all_finite(v, kSommVals)) << c.what;
    }
}

TEST(SommTable, RefusesGridsItCannotBuild) {
    struct Case {
        const char* what;
        cplx eps;
        LayerMode mode;
        double h, rho_max;
        std::string message;
    };
    const Case cases[] = {
        {"board 1 nm thin", 4.4, LAYER_GROUNDED_SLAB, 1e-9, 0.5,
         "the Sommerfeld table would need 136693209440 nodes over 0.5 wavelengths: the structure "
         "is too large for the wavelength or the board too thin"},
        {"200 km across", cplx(13, -3), LAYER_HALFSPACE, 0, 2e5,
         "the Sommerfeld table would need 344002150 nodes over 2e+05 wavelengths: the structure is "
         "too large for the wavelength"},
        // Fewer nodes than the limit, but far too many integrand calls.
        {"500 m across", cplx(13, -3), LAYER_HALFSPACE, 0, 500,
         "the Sommerfeld table would need 862150 nodes over 500 wavelengths: the structure is "
         "too large for the wavelength"},
        {"no thickness", 4.4, LAYER_FREE_SLAB, 0.0, 0.5,
         "Sommerfeld table: board thickness 0 m is not positive"},
        {"NaN extent", 4.4, LAYER_FREE_SLAB, 0.001, std::nan(""),
         "Sommerfeld table: the structure's extent is not finite"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<SommTable> t;
        std::string err;
        EXPECT_EQ(somm_table(kF, c.eps, c.mode, c.h, c.rho_max, 0.0, 0.1, t, err), -1) << c.what;
        EXPECT_EQ(err, c.message) << c.what;
        EXPECT_FALSE(t) << c.what;
    }
}

} // namespace
