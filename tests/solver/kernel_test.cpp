// The segment-pair integrals against brute-force quadrature and closed
// forms, and the matrix fill: reciprocity, image theory, the Fresnel ground
// in its limits, the colouring and the thread count.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <span>
#include <vector>

#include "common/constants.h"
#include "hand_mesh.h"
#include "parallel/par_for.h"
#include "solver/kernel.h"
#include "solver/quadrature.h"
#include "solver/solve.h"

namespace {

struct Seg {
    double a[3];
    double dir[3];
    double len;
};

Seg seg_from(double ax, double ay, double az, double bx, double by, double bz) {
    Seg s{{ax, ay, az}, {bx - ax, by - ay, bz - az}, 0};
    s.len = std::sqrt(s.dir[0] * s.dir[0] + s.dir[1] * s.dir[1] + s.dir[2] * s.dir[2]);
    for (double& d : s.dir) d /= s.len;
    return s;
}

// The four moments by brute force: composite 8-point Gauss rules with
// `panels` panels on each segment and the exact exp(-jkR).
void brute(const Seg& s1, const Seg& s2, double b, double k, int panels, cplx out[4]) {
    gauss_init();
    std::vector<double> t, w;
    for (int p = 0; p < panels; ++p)
        for (int i = 0; i < 8; ++i) {
            t.push_back((p + GX[8][i]) / panels);
            w.push_back(GW[8][i] / panels);
        }
    for (int m = 0; m < 4; ++m) out[m] = 0.0;
    for (size_t i = 0; i < t.size(); ++i) {
        double P[3];
        for (int d = 0; d < 3; ++d) P[d] = s1.a[d] + t[i] * s1.len * s1.dir[d];
        for (size_t j = 0; j < t.size(); ++j) {
            double r2 = b * b;
            for (int d = 0; d < 3; ++d) {
                double q = s2.a[d] + t[j] * s2.len * s2.dir[d];
                r2 += (P[d] - q) * (P[d] - q);
            }
            double R = std::sqrt(r2);
            cplx g =
                std::exp(cplx(0.0, -k * R)) / (phys::four_pi * R) * (w[i] * w[j] * s1.len * s2.len);
            out[0] += g;
            out[1] += t[i] * g;
            out[2] += t[j] * g;
            out[3] += t[i] * t[j] * g;
        }
    }
}

void pair(const Seg& s1, const Seg& s2, double b, double k, cplx out[4]) {
    gauss_init();
    pair_int(s1.a, s1.dir, s1.len, s2.a, s2.dir, s2.len, b, k, out);
}

double max_rel(const cplx got[4], const cplx ref[4]) {
    double e = 0;
    for (int m = 0; m < 4; ++m) e = std::max(e, std::abs(got[m] - ref[m]) / std::abs(ref[0]));
    return e;
}

TEST(PairInt, AgreesWithBruteForceQuadrature) {
    // Wavelength 1 m. The brute-force panels are a fraction of the radius
    // wide so that the reduced kernel's peak is resolved.
    const double k = phys::two_pi;
    struct Case {
        const char* what;
        Seg s1, s2;
        double b;
        int panels;
        double tol; // relative to |I(1)|
    };
    const Case cases[] = {
        // Near pairs (singularity subtraction): the 2 x 8-point outer rule
        // leaves errors of 2e-6 to 2e-5 where the static potential bends
        // sharply (within a radius of the ends of the other segment).
        {"self", seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0, 0, 0, 0, 0, 0.05), 0.0025, 200, 1e-5},
        {"collinear neighbours", seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0, 0, 0.05, 0, 0, 0.1),
         0.0025, 200, 2e-5},
        {"right-angle junction", seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0, 0, 0.05, 0.05, 0, 0.05),
         0.0025, 200, 5e-5},
        {"parallel, 1 cm apart", seg_from(0, 0, 0, 0, 0, 0.05),
         seg_from(0.01, 0, 0.01, 0.01, 0, 0.06), 0.001, 100, 2e-7},
        // Far pairs: 5-point, 3-point and (segments longer than 1.5/k)
        // 8-point product rules on smooth integrands; the 3-point rule's
        // error is a few 1e-9 at four segment lengths.
        {"5-point rule", seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0.3, 0, 0, 0.3, 0.05, 0.02), 0.001,
         20, 1e-11},
        {"3-point rule", seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0.6, 0.2, 0, 0.6, 0.25, 0.0),
         0.001, 20, 1e-8},
        {"8-point rule", seg_from(0, 0, 0, 0, 0, 0.3), seg_from(1.0, 0, 0, 1.0, 0, 0.3), 0.001, 20,
         1e-11},
    };
    for (const Case& c : cases) {
        cplx got[4], ref[4];
        pair(c.s1, c.s2, c.b, k, got);
        brute(c.s1, c.s2, c.b, k, c.panels, ref);
        EXPECT_LT(max_rel(got, ref), c.tol) << c.what;
    }
}

TEST(PairInt, SelfTermMatchesTheStaticClosedForm) {
    // For k -> 0 the self term is int int ds dt / (4 pi R) in closed form,
    //   L1 L2 I(1) = 2 [L asinh(L/b) - sqrt(L^2 + b^2) + b] / (4 pi),
    // and by the symmetry s <-> 1 - s, I(s) = I(t) = I(1)/2. k = 1e-9 keeps
    // every point on the series branch. The outer 2 x 8-point rule loses
    // accuracy as the wire gets thinner (the potential bends within a radius
    // of the ends): 3e-10, 3e-6 and 2e-4 for these ratios.
    const struct { double ratio, tol; } cases[] = {{4.0, 1e-9}, {20.0, 1e-5}, {200.0, 5e-4}};
    for (const auto& [ratio, tol] : cases) {
        const double L = 0.1, b = L / ratio;
        Seg s = seg_from(0, 0, 0, 0.06, 0, 0.08);
        cplx out[4];
        pair(s, s, b, 1e-9, out);
        double exact = 2 * (L * std::asinh(L / b) - std::sqrt(L * L + b * b) + b) / phys::four_pi;
        EXPECT_NEAR(out[0].real() / exact, 1.0, tol) << "L/b=" << ratio;
        EXPECT_NEAR(std::abs(out[1] - 0.5 * out[0]) / std::abs(out[0]), 0.0, 1e-12);
        EXPECT_NEAR(std::abs(out[2] - 0.5 * out[0]) / std::abs(out[0]), 0.0, 1e-12);
    }
}

TEST(PairInt, SeriesBranchJoinsTheExactExpression) {
    // A short segment with itself at kR around 1e-3: points on both sides of
    // the switch. The series drops terms of order (kR)^3 relative to kR, so
    // the moments agree with brute force to the quadrature accuracy.
    const double L = 0.002, b = 1e-4;
    Seg s = seg_from(0, 0, 0, L, 0, 0);
    for (double k : {0.1, 0.8, 2.0}) { // kR up to 2e-4, 1.6e-3, 4e-3
        cplx got[4], ref[4];
        pair(s, s, b, k, got);
        brute(s, s, b, k, 200, ref);
        EXPECT_LT(max_rel(got, ref), 1e-5) << "k=" << k;
        // The imaginary part -k L^2/(4 pi) (1 - ...) comes from the regular
        // part alone; check it on its own, where a faulty series would show.
        double im_ref = ref[0].imag();
        EXPECT_NEAR(got[0].imag() / im_ref, 1.0, 1e-10) << "k=" << k;
    }
}

TEST(PairInt, IsReciprocalForEqualRadii) {
    // I(1) of (f, o) equals I(1) of (o, f), and I(s) of one order is I(t)
    // of the other: exactly for far pairs (the same product rule), to the
    // near rule's accuracy for near ones.
    const double k = phys::two_pi, b = 0.002;
    struct Case {
        Seg f, o;
        double tol;
    };
    const Case cases[] = {
        {seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0, 0, 0.05, 0.04, 0, 0.08), 1e-4},
        {seg_from(0, 0, 0, 0, 0, 0.05), seg_from(0.5, 0.1, 0, 0.5, 0.1, 0.07), 1e-14},
    };
    for (const Case& c : cases) {
        cplx fo[4], of[4];
        pair(c.f, c.o, b, k, fo);
        pair(c.o, c.f, b, k, of);
        EXPECT_LT(std::abs(fo[0] - of[0]) / std::abs(fo[0]), c.tol);
        EXPECT_LT(std::abs(fo[1] - of[2]) / std::abs(fo[0]), c.tol);
        EXPECT_LT(std::abs(fo[3] - of[3]) / std::abs(fo[0]), c.tol);
    }
}

// ---- the fill ----

class Fill : public ::testing::Test {
  protected:
    void TearDown() override { set_threads(0); }
};

std::vector<cplx> fill(const Model& m, const Mesh& mesh, double f) {
    FillGeom g;
    fill_geom_build(mesh, m.ground != GROUND_FREE, g);
    std::vector<cplx> Z(static_cast<size_t>(mesh.nunk()) * mesh.nunk());
    fill_matrix(m, mesh, f, g, Z.data(), mesh.nunk());
    return Z;
}

// A small structure with a junction of three wires, a bend and unequal radii.
Mesh junction_mesh(double z0) {
    return hand_mesh({
        HandWire{{0, 0, z0}, {0, 0, z0 + 1.0}, 6, 0.002},
        HandWire{{0, 0, z0 + 1.0}, {0.8, 0, z0 + 1.0}, 5, 0.002},
        HandWire{{0, 0, z0 + 1.0}, {0, 0.7, z0 + 1.6}, 5, 0.003},
    });
}

TEST_F(Fill, FreeSpaceMatrixIsReciprocal) {
    // Equal radii: Z[p][q] = Z[q][p] to the near rule's accuracy. The
    // junction mesh has one wire of another radius; the kernel uses the
    // observation segment's radius, so those entries are only nearly equal.
    const double f = 100e6;
    Mesh mesh = hand_mesh({HandWire{{0, 0, 0}, {0, 0, 1.0}, 8, 0.002},
                           HandWire{{0, 0, 1.0}, {0.6, 0, 1.4}, 6, 0.002},
                           HandWire{{0.3, 0.2, 0}, {0.3, 0.2, 0.9}, 5, 0.002}});
    Model m = hand_model(f, 0);
    std::vector<cplx> Z = fill(m, mesh, f);
    const int n = mesh.nunk();
    double worst = 0;
    for (int p = 0; p < n; ++p)
        for (int q = 0; q < n; ++q)
            worst = std::max(worst, std::abs(Z[p * n + q] - Z[q * n + p]) / std::abs(Z[p * n + p]));
    EXPECT_LT(worst, 1e-5);
}

TEST_F(Fill, PerfectGroundIsTheMirroredStructureWithOppositeCurrents) {
    // Image theory: over a perfect ground every interaction is the free-space
    // one minus that with the mirror image of the structure, whose unknowns
    // here are numbered after the structure's own (same topology).
    const double f = 100e6, z0 = 0.3;
    Mesh up = junction_mesh(z0);
    std::vector<HandWire> both = {
        HandWire{{0, 0, z0}, {0, 0, z0 + 1.0}, 6, 0.002},
        HandWire{{0, 0, z0 + 1.0}, {0.8, 0, z0 + 1.0}, 5, 0.002},
        HandWire{{0, 0, z0 + 1.0}, {0, 0.7, z0 + 1.6}, 5, 0.003},
        HandWire{{0, 0, -z0}, {0, 0, -z0 - 1.0}, 6, 0.002},
        HandWire{{0, 0, -z0 - 1.0}, {0.8, 0, -z0 - 1.0}, 5, 0.002},
        HandWire{{0, 0, -z0 - 1.0}, {0, 0.7, -z0 - 1.6}, 5, 0.003},
    };
    Mesh pair_mesh = hand_mesh(both);
    const int n = up.nunk();
    ASSERT_EQ(pair_mesh.nunk(), 2 * n);

    Model gnd = hand_model(f, 0, GROUND_PERFECT);
    Model fs = hand_model(f, 0, GROUND_FREE);
    std::vector<cplx> Zg = fill(gnd, up, f);
    std::vector<cplx> Z2 = fill(fs, pair_mesh, f);
    // The mininec ground acts as a perfect ground in the matrix.
    Model mini = hand_model(f, 0, GROUND_MININEC);
    EXPECT_EQ(fill(mini, up, f), Zg);
    double worst = 0;
    for (int p = 0; p < n; ++p)
        for (int q = 0; q < n; ++q) {
            cplx expect = Z2[p * 2 * n + q] - Z2[p * 2 * n + n + q];
            worst = std::max(worst, std::abs(Zg[p * n + q] - expect) / std::abs(Zg[p * n + p]));
        }
    EXPECT_LT(worst, 1e-13);
}

TEST_F(Fill, FresnelGroundMeetsItsLimits) {
    // eps = 1 and no conductivity reflects nothing: free space. A very good
    // conductor reflects like a perfect ground (R_v -> 1, R_h -> -1 with
    // errors of order 1/sqrt|eps_c|).
    const double f = 30e6;
    Mesh mesh = junction_mesh(2.0);
    Model fs = hand_model(f, 0, GROUND_FREE);
    Model perfect = hand_model(f, 0, GROUND_PERFECT);
    Model air = hand_model(f, 0, GROUND_REAL);
    air.eps = 1.0;
    air.sigma = 0.0;
    Model metal = hand_model(f, 0, GROUND_REAL);
    metal.eps = 1.0;
    metal.sigma = 1e12;
    const std::vector<cplx> Zf = fill(fs, mesh, f), Zp = fill(perfect, mesh, f);
    const std::vector<cplx> Za = fill(air, mesh, f), Zm = fill(metal, mesh, f);
    const int n = mesh.nunk();
    double e_air = 0, e_metal = 0, shift = 0;
    for (int i = 0; i < n * n; ++i) {
        double scale = std::abs(Zf[(i / n) * (n + 1)]);
        e_air = std::max(e_air, std::abs(Za[i] - Zf[i]) / scale);
        e_metal = std::max(e_metal, std::abs(Zm[i] - Zp[i]) / scale);
        shift = std::max(shift, std::abs(Zp[i] - Zf[i]) / scale);
    }
    EXPECT_LT(e_air, 1e-14);
    EXPECT_GT(shift, 1e-5); // the ground does matter at this height
    EXPECT_LT(e_metal, 1e-4 * shift);
}

TEST_F(Fill, OneAndTwoThreadsGiveBitIdenticalMatrices) {
    const double f = 50e6;
    Mesh mesh = junction_mesh(0.5);
    for (int ground : {GROUND_FREE, GROUND_REAL}) {
        Model m = hand_model(f, 0, ground);
        set_threads(1);
        std::vector<cplx> Z1 = fill(m, mesh, f);
        set_threads(2);
        std::vector<cplx> Z2 = fill(m, mesh, f);
        EXPECT_EQ(Z1, Z2) << "ground " << ground;
    }
}

// The matrix assembled pair by pair from pair_int with the Galerkin ramps:
// the reference for the fill, which integrates the far pairs of a row in
// batches.
std::vector<cplx> fill_by_pairs(const Mesh& mesh, double f, bool perfect_ground) {
    gauss_init();
    const int n = mesh.nunk();
    const double w = phys::two_pi * f, k = w / phys::c0;
    const cplx jwmu(0, w * phys::mu0), inv_jweps = 1.0 / cplx(0, w * phys::eps0);
    std::vector<cplx> Z(static_cast<size_t>(n) * n);
    for (int p = 0; p < n; ++p)
        for (const SegRef& rp : std::span(mesh.unk[p].ref, mesh.unk[p].nref))
            for (int q = 0; q < n; ++q)
                for (const SegRef& rq : std::span(mesh.unk[q].ref, mesh.unk[q].nref)) {
                    const Segment& sf = mesh.seg[rp.seg];
                    const Segment& so = mesh.seg[rq.seg];
                    const double ap = rp.end == 0 ? 1 : 0, bp = rp.end == 0 ? -1 : 1;
                    const double aq = rq.end == 0 ? 1 : 0, bq = rq.end == 0 ? -1 : 1;
                    const double sg = rp.sign * rq.sign;
                    const double chg = sg * bp * bq / (sf.len * so.len);
                    for (int img = 0; img < (perfect_ground ? 2 : 1); ++img) {
                        const double zs = img ? -1 : 1;
                        const double a[3] = {so.a[0], so.a[1], zs * so.a[2]};
                        const double v[3] = {so.dir[0], so.dir[1], zs * so.dir[2]};
                        cplx M[4];
                        pair_int(sf.a, sf.dir, sf.len, a, v, so.len, so.radius, k, M);
                        const cplx B =
                            ap * aq * M[0] + bp * aq * M[1] + ap * bq * M[2] + bp * bq * M[3];
                        // The image current: vertical part as it is, horizontal
                        // part reversed; the image charge reversed.
                        const double uv = img ? sf.dir[2] * so.dir[2] - sf.dir[0] * so.dir[0] -
                                                    sf.dir[1] * so.dir[1]
                                              : sf.dir[0] * so.dir[0] + sf.dir[1] * so.dir[1] +
                                                    sf.dir[2] * so.dir[2];
                        Z[static_cast<size_t>(p) * n + q] +=
                            jwmu * sg * uv * B + (img ? -1.0 : 1.0) * inv_jweps * chg * M[0];
                    }
                }
    return Z;
}

TEST_F(Fill, BatchedRowsEqualThePairByPairMatrix) {
    // Rows with near pairs between far ones and more far pairs of the 3-,
    // 5- and 8-point rules than one batch holds, with partly filled batches
    // left at the end of every row: three wires of 14, 9 and 23 segments
    // with unequal radii, at a frequency where the segments are short (3-
    // and 5-point rules) and at one where they exceed 1.5/k (8 points),
    // in free space and over a perfect ground.
    const Mesh mesh = hand_mesh({HandWire{{0, 0, 0.4}, {0, 0, 2.4}, 14, 0.002},
                                 HandWire{{0.3, 0, 2.4}, {1.5, 0.4, 2.9}, 9, 0.003},
                                 HandWire{{-3, 1, 0.6}, {3, 1.2, 0.7}, 23, 0.001}});
    for (double f : {100e6, 1.5e9})
        for (int ground : {GROUND_FREE, GROUND_PERFECT}) {
            const Model m = hand_model(f, 0, ground);
            const std::vector<cplx> Z = fill(m, mesh, f);
            const std::vector<cplx> R = fill_by_pairs(mesh, f, ground == GROUND_PERFECT);
            double top = 0, worst = 0;
            for (size_t i = 0; i < Z.size(); ++i) {
                top = std::max(top, std::abs(R[i]));
                worst = std::max(worst, std::abs(Z[i] - R[i]));
            }
            EXPECT_LT(worst / top, 1e-13) << "f " << f << " ground " << ground;
        }
}

// A mesh record (no geometry needed) in which every pair of the nseg
// segments shares an unknown, so that the greedy colouring needs nseg colours.
Mesh clique_mesh(int nseg) {
    Mesh m;
    m.seg.resize(static_cast<size_t>(nseg));
    m.seg_nref.assign(static_cast<size_t>(nseg), 0);
    m.seg_ref.assign(static_cast<size_t>(nseg) * kMaxSegRef, UnkSlot{});
    for (int a = 0; a < nseg; ++a)
        for (int b = a + 1; b < nseg; ++b) {
            Unknown u;
            u.nref = 2;
            u.ref[0] = SegRef{a, 1, 1};
            u.ref[1] = SegRef{b, 0, 1};
            m.unk.push_back(u);
            int id = m.nunk() - 1;
            m.seg_ref[static_cast<size_t>(a) * kMaxSegRef + m.seg_nref[a]++] = UnkSlot{id, 0};
            m.seg_ref[static_cast<size_t>(b) * kMaxSegRef + m.seg_nref[b]++] = UnkSlot{id, 1};
        }
    return m;
}

TEST_F(Fill, ColoursSeparateSegmentsThatShareAnUnknown) {
    // A straight wire alternates two colours; the junction mesh and a
    // 65-segment clique never give two segments of one colour below 63 a
    // common unknown; the clique's last two segments land in the serial
    // class 63.
    const Mesh wire = hand_mesh({HandWire{{0, 0, 0}, {0, 0, 1}, 7, 0.001}});
    EXPECT_EQ(fill_colours(wire), (std::vector<int>{0, 1, 0, 1, 0, 1, 0}));
    for (const Mesh& m : {junction_mesh(0.0), clique_mesh(65)}) {
        std::vector<int> col = fill_colours(m);
        for (const Unknown& u : m.unk) {
            if (u.nref < 2) continue;
            int c0 = col[u.ref[0].seg], c1 = col[u.ref[1].seg];
            EXPECT_TRUE(c0 != c1 || c0 == 63);
        }
    }
    std::vector<int> col = fill_colours(clique_mesh(65));
    for (int s = 0; s < 63; ++s) EXPECT_EQ(col[s], s);
    EXPECT_EQ(col[63], 63);
    EXPECT_EQ(col[64], 63);
}

TEST_F(Fill, SerialColourClassIsFilledDeterministically) {
    // The clique's class 63 holds two segments with a common unknown; the
    // fill must not run them at the same time, and any thread count gives
    // the same matrix.
    Mesh m = clique_mesh(65);
    for (int s = 0; s < m.nseg(); ++s) {
        Segment& g = m.seg[s];
        double x = 0.1 * s;
        double a[3] = {x, 0, 0}, b[3] = {x, 0, 0.05};
        for (int d = 0; d < 3; ++d) {
            g.a[d] = a[d];
            g.b[d] = b[d];
            g.c[d] = 0.5 * (a[d] + b[d]);
        }
        g.dir[2] = 1;
        g.len = 0.05;
        g.radius = 0.001;
    }
    Model model = hand_model(100e6, 0);
    set_threads(1);
    std::vector<cplx> Z1 = fill(model, m, 100e6);
    set_threads(2);
    std::vector<cplx> Z2 = fill(model, m, 100e6);
    EXPECT_EQ(Z1, Z2);
}

// ---- the fill with a Sommerfeld table (fake field functions) ----

std::atomic<long> g_field_calls{0};
cplx g_field[3];
// Calls whose radius is not that of the wire the source point lies on
// (wires at x < 1 have radius g_radius_left, the others g_radius_right).
std::atomic<long> g_wrong_radius{0};
double g_radius_left = -1, g_radius_right = -1;

void const_field(const SommTable*, const double*, const double* src, const double*, cplx out[3],
                 double radius) {
    g_field_calls.fetch_add(1);
    if (g_radius_left >= 0 && radius != (src[0] < 1.0 ? g_radius_left : g_radius_right))
        g_wrong_radius.fetch_add(1);
    for (int d = 0; d < 3; ++d) out[d] = g_field[d];
}

const SommTable* fake_table() {
    static const int dummy = 0;
    return reinterpret_cast<const SommTable*>(&dummy);
}

std::vector<cplx> fill_with_table(const Model& m, const Mesh& mesh, double f) {
    FillGeom g;
    fill_geom_build(mesh, true, g);
    std::vector<cplx> Z(static_cast<size_t>(mesh.nunk()) * mesh.nunk());
    fill_matrix(m, mesh, f, g, Z.data(), mesh.nunk(), fake_table(), const_field);
    return Z;
}

TEST_F(Fill, TableImageIsTheQuasiStaticImagePlusTheCorrection) {
    // With a table the image has R_v = kappa = (eps_c - 1)/(eps_c + 1) and
    // R_h = 0. For vertical wires only R_v acts, so with a zero correction
    // field Z - Z_free = kappa (Z_perfect - Z_free). A constant field F adds
    // the moments N0 = len_f len_o (dir_f . F), N1 = N2 = N0/2, N3 = N0/4:
    //   Z[p][q] -= sp sq (ap aq + (bp aq + ap bq)/2 + bp bq/4) N0.
    const double f = 14e6;
    Mesh mesh = hand_mesh(
        {HandWire{{0, 0, 0.5}, {0, 0, 6}, 6, 0.002}, HandWire{{3, 1, 1}, {3, 1, 7}, 5, 0.002}});
    Model real = hand_model(f, 0, GROUND_REAL);
    real.eps = 9;
    real.sigma = 0.01;
    const cplx eps_c(9.0, -0.01 / (phys::two_pi * f * phys::eps0));
    const cplx kappa = (eps_c - 1.0) / (eps_c + 1.0);
    const int n = mesh.nunk();
    const std::vector<cplx> Zf = fill(hand_model(f, 0, GROUND_FREE), mesh, f);
    const std::vector<cplx> Zp = fill(hand_model(f, 0, GROUND_PERFECT), mesh, f);
    for (cplx& c : g_field) c = 0.0;
    const std::vector<cplx> Z0 = fill_with_table(real, mesh, f);
    for (int i = 0; i < n * n; ++i)
        EXPECT_NEAR(std::abs(Z0[i] - Zf[i] - kappa * (Zp[i] - Zf[i])), 0.0,
                    1e-12 * std::abs(Zf[i % n * (n + 1)]));

    g_field[0] = cplx(1, 2);
    g_field[1] = cplx(-3, 0.5);
    g_field[2] = cplx(0.25, -4);
    const std::vector<cplx> Zc = fill_with_table(real, mesh, f);
    std::vector<cplx> dZ(static_cast<size_t>(n) * n, 0.0);
    for (int s = 0; s < mesh.nseg(); ++s)
        for (int o = 0; o < mesh.nseg(); ++o) {
            const Segment &sf = mesh.seg[s], &so = mesh.seg[o];
            const cplx n0 =
                sf.len * so.len *
                (sf.dir[0] * g_field[0] + sf.dir[1] * g_field[1] + sf.dir[2] * g_field[2]);
            for (int i = 0; i < mesh.seg_nref[s]; ++i)
                for (int j = 0; j < mesh.seg_nref[o]; ++j) {
                    const UnkSlot p = mesh.refs(s)[i], q = mesh.refs(o)[j];
                    const SegRef &rp = mesh.unk[p.unk].ref[p.slot],
                                 &rq = mesh.unk[q.unk].ref[q.slot];
                    const double ap = rp.end == 0, bp = rp.end == 0 ? -1 : 1;
                    const double aq = rq.end == 0, bq = rq.end == 0 ? -1 : 1;
                    dZ[p.unk * n + q.unk] -= static_cast<double>(rp.sign * rq.sign) *
                                             (ap * aq + (bp * aq + ap * bq) / 2 + bp * bq / 4) * n0;
                }
        }
    for (int i = 0; i < n * n; ++i)
        EXPECT_NEAR(std::abs(Zc[i] - Z0[i] - dZ[i]), 0.0, 1e-12 * (std::abs(dZ[i]) + 1.0));
}

TEST_F(Fill, CorrectionFieldIsThatOfTheSourceWiresRadius) {
    // The image pass integrates the image of segment o with o's radius in
    // the reduced kernel; the correction field of a current on o must be
    // asked for with the same radius (not the observing segment's, not 0).
    // Two wires of different radius, every pair in both orders.
    const double f = 14e6;
    for (cplx& c : g_field) c = 0.0;
    Mesh mesh = hand_mesh(
        {HandWire{{0, 0, 0.5}, {0, 0, 6}, 4, 0.002}, HandWire{{3, 1, 1}, {3, 5, 1}, 3, 0.03}});
    g_radius_left = 0.002;
    g_radius_right = 0.03;
    g_field_calls = 0;
    g_wrong_radius = 0;
    fill_with_table(hand_model(f, 0, GROUND_REAL), mesh, f);
    g_radius_left = g_radius_right = -1;
    EXPECT_GT(g_field_calls.load(), 0);
    EXPECT_EQ(g_wrong_radius.load(), 0);
}

TEST_F(Fill, CorrectionSubdividesSegmentsNearTheGround) {
    // Two segments of 0.5 m (k len = 0.15): high above the ground (D = 20 m,
    // 40 lengths) every pair takes the 2-point rule on each segment, 2 x 2
    // field evaluations; at D = 4 m (8 lengths) one sub-interval, 4 x 4;
    // lying on the ground a segment and its own image coincide (D = 0, six
    // sub-intervals, 24 x 24) and the neighbours are D = 0.5 m apart (two,
    // 8 x 8).
    const double f = 14e6;
    for (cplx& c : g_field) c = 0.0;
    struct Case {
        double z;
        long calls;
    };
    const Case cases[] = {{10.0, 4 * 4}, {2.0, 4 * 16}, {0.0, 2 * 576 + 2 * 64}};
    for (const Case& c : cases) {
        Mesh mesh = hand_mesh({HandWire{{0, 0, c.z}, {1, 0, c.z}, 2, 0.001}});
        Model m = hand_model(f, 0, GROUND_REAL);
        g_field_calls = 0;
        fill_with_table(m, mesh, f);
        EXPECT_EQ(g_field_calls.load(), c.calls) << "z=" << c.z;
    }
}

} // namespace
