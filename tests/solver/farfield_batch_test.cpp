// The far field of many directions at once against the one-direction
// evaluation (ff_eval), over every kind of ground, and its independence of
// how the directions are grouped and of the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "common/constants.h"
#include "ff_fixtures.h"
#include "parallel/par_for.h"
#include "solver/farfield.h"

namespace {

using fffix::P3;
constexpr double kDeg = phys::pi / 180.0;
constexpr double kFreq = 10e6; // Hz

// Segments and unknowns of b appended to a.
void append(Mesh& a, const Mesh& b) {
    const int off = a.nseg();
    for (const Segment& s : b.seg) a.seg.push_back(s);
    for (Unknown u : b.unk) {
        for (int r = 0; r < u.nref; ++r) u.ref[r].seg += off;
        a.unk.push_back(u);
    }
}

// A structure that takes every path of the evaluation: a straight wire of
// equal segments (shared line integrals, phases carried along the wire),
// a bent wire whose segments all differ, a horizontal wire, a separate
// element so short that its line integrals are always the series, and a
// vertical wire through z = 0 (its image overlaps it).
Mesh mixed_structure() {
    Mesh m = fffix::wire({0, 0, 0.5}, {3, 1, 4}, 9);
    std::vector<std::array<P3, 2>> arc;
    for (int i = 0; i < 12; ++i) {
        double a0 = 0.35 * i, a1 = 0.35 * (i + 1);
        arc.push_back({P3{4 * std::cos(a0), 4 * std::sin(a0), 1 + 0.1 * i},
                       P3{4 * std::cos(a1), 4 * std::sin(a1), 1 + 0.1 * (i + 1)}});
    }
    append(m, fffix::elements(arc));
    append(m, fffix::wire({-6, -2, 0.3}, {-1, -5, 0.3}, 7));
    append(m, fffix::element({2, -3, 2}, {2, -3, 2 + 1e-5}));
    append(m, fffix::wire({-3, 3, -1.5}, {-3, 3, 2.5}, 6));
    return m;
}

std::vector<cplx> some_currents(const Mesh& mesh) {
    std::vector<cplx> cur;
    for (int i = 0; i < mesh.nunk(); ++i)
        cur.push_back({std::sin(0.7 * i + 0.3), std::cos(1.3 * i) * 0.6});
    return cur;
}

struct Dirs {
    std::vector<double> th, ph;
    int n() const { return static_cast<int>(th.size()); }
};

// The whole sphere, poles and horizon included; 25 x 28 = 700 directions,
// not a whole number of blocks.
Dirs sphere() {
    Dirs d;
    for (int i = 0; i <= 24; ++i)
        for (int j = 0; j < 28; ++j) {
            d.th.push_back(i * 7.5 * kDeg);
            d.ph.push_back(j * 13.0 * kDeg);
        }
    return d;
}

struct Fields {
    std::vector<cplx> th, ph;
};

Fields batched(const Model& m, const FfArrays& fa, const Dirs& d) {
    Fields f{std::vector<cplx>(d.th.size()), std::vector<cplx>(d.th.size())};
    ff_eval_many(m, fa, kFreq, d.n(), d.th.data(), d.ph.data(), f.th.data(), f.ph.data());
    return f;
}

Fields scalar(const Model& m, const std::vector<FfSeg>& fs, const Dirs& d) {
    Fields f{std::vector<cplx>(d.th.size()), std::vector<cplx>(d.th.size())};
    for (int i = 0; i < d.n(); ++i)
        ff_eval(m, fs.data(), static_cast<int>(fs.size()), kFreq, d.th[i], d.ph[i], f.th[i],
                f.ph[i]);
    return f;
}

// Largest difference of the two evaluations relative to the peak field of
// the scalar one (a null has no relative precision in either).
double rel_diff(const Fields& a, const Fields& b) {
    double peak = 0, diff = 0;
    for (size_t i = 0; i < a.th.size(); ++i) {
        peak = std::max(peak, std::sqrt(std::norm(b.th[i]) + std::norm(b.ph[i])));
        diff = std::max({diff, std::abs(a.th[i] - b.th[i]), std::abs(a.ph[i] - b.ph[i])});
    }
    return peak > 0 ? diff / peak : diff;
}

Model ground_model(int kind, int pcb_gnd, int somm = 0) {
    Model m;
    m.ground = kind;
    m.somm = somm;
    m.eps = 13;
    m.sigma = 0.005;
    m.pcb_eps = 4.4;
    m.pcb_tand = 0.02;
    m.pcb_h = 1.6e-3;
    m.pcb_gnd = pcb_gnd;
    return m;
}

struct GroundCase {
    const char* name;
    int kind, pcb_gnd, somm;
};
// The Sommerfeld ground changes the near field only; its far field is the
// real ground's, through the same reflection coefficients.
const GroundCase kGrounds[] = {
    {"free", GROUND_FREE, 0, 0},
    {"perfect", GROUND_PERFECT, 0, 0},
    {"real", GROUND_REAL, 0, 0},
    {"sommerfeld", GROUND_REAL, 0, 1},
    {"mininec", GROUND_MININEC, 0, 0},
    {"board with plane", GROUND_PCB, 1, 0},
    {"board without plane", GROUND_PCB, 0, 0},
};

TEST(FfEvalMany, EqualsTheOneDirectionEvaluationOnEveryGround) {
    const Mesh mesh = mixed_structure();
    const std::vector<cplx> cur = some_currents(mesh);
    const std::vector<FfSeg> fs = fseg_build(mesh, cur);
    const FfArrays fa = ff_arrays(fs);
    const Dirs d = sphere();
    for (const GroundCase& g : kGrounds) {
        SCOPED_TRACE(g.name);
        const Model m = ground_model(g.kind, g.pcb_gnd, g.somm);
        const Fields ref = scalar(m, fs, d), got = batched(m, fa, d);
        EXPECT_LT(rel_diff(got, ref), 1e-12);
        // The dark half-space stays exactly dark.
        for (int i = 0; i < d.n(); ++i)
            if (ref.th[i] == cplx(0) && ref.ph[i] == cplx(0)) {
                EXPECT_EQ(got.th[i], cplx(0)) << i;
                EXPECT_EQ(got.ph[i], cplx(0)) << i;
            }
    }
}

TEST(FfEvalMany, PhasesBeyondTheBatchedRangeAgreeToo) {
    // A wire 4000 km from the origin: k rhat.a exceeds the batched sine's
    // range in most directions but not near phi = 90 degrees, so one block
    // mixes both kinds of lanes.
    const Mesh mesh = fffix::wire({4e6, 0, 1}, {4e6 + 3, 2, 6}, 8);
    const std::vector<cplx> cur = some_currents(mesh);
    const std::vector<FfSeg> fs = fseg_build(mesh, cur);
    Dirs d;
    for (int j = 0; j < 37; ++j) {
        d.th.push_back(60 * kDeg);
        d.ph.push_back((89.99 + 0.0005 * j) * kDeg);
    }
    for (const GroundCase& g : {kGrounds[0], kGrounds[2]}) {
        SCOPED_TRACE(g.name);
        const Model m = ground_model(g.kind, g.pcb_gnd, g.somm);
        EXPECT_LT(rel_diff(batched(m, ff_arrays(fs), d), scalar(m, fs, d)), 1e-12);
    }
}

TEST(FfEvalMany, ResultsDoNotDependOnGroupingOrThreads) {
    // Each direction alone, in blocks starting at another offset, on one
    // thread and on two: bit for bit the same field.
    const Mesh mesh = mixed_structure();
    const std::vector<cplx> cur = some_currents(mesh);
    const FfArrays fa = ff_arrays(mesh, cur);
    const Model m = ground_model(GROUND_REAL, 0);
    const Dirs d = sphere();
    set_threads(1);
    const Fields one = batched(m, fa, d);
    set_threads(2);
    const Fields two = batched(m, fa, d);
    set_threads(0);
    Dirs shifted{{d.th.begin() + 3, d.th.end()}, {d.ph.begin() + 3, d.ph.end()}};
    const Fields sh = batched(m, fa, shifted);
    for (int i = 0; i < d.n(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(one.th[i], two.th[i]);
        EXPECT_EQ(one.ph[i], two.ph[i]);
        cplx a, b;
        ff_eval_dirs(m, fa, kFreq, 1, &d.th[i], &d.ph[i], &a, &b);
        EXPECT_EQ(one.th[i], a);
        EXPECT_EQ(one.ph[i], b);
        if (i >= 3) {
            EXPECT_EQ(one.th[i], sh.th[i - 3]);
            EXPECT_EQ(one.ph[i], sh.ph[i - 3]);
        }
    }
}

TEST(FfEvalMany, FarfieldManyEqualsFarfield) {
    Mesh mesh = fffix::wire({0, 0, 0.5}, {3, 1, 4}, 9);
    std::vector<cplx> cur;
    for (int i = 0; i < mesh.nunk(); ++i) cur.push_back({std::sin(0.4 * i), 0.1 * i});
    const Model m = ground_model(GROUND_REAL, 0);
    const Dirs d = sphere();
    Fields many{std::vector<cplx>(d.th.size()), std::vector<cplx>(d.th.size())}, one = many;
    farfield_many(m, mesh, kFreq, cur, d.n(), d.th.data(), d.ph.data(), many.th.data(),
                  many.ph.data());
    for (int i = 0; i < d.n(); ++i)
        farfield(m, mesh, kFreq, cur, d.th[i], d.ph[i], one.th[i], one.ph[i]);
    EXPECT_LT(rel_diff(many, one), 1e-12);
}

TEST(FfEvalMany, NoSegmentsNoDirections) {
    const Model m = ground_model(GROUND_PERFECT, 0);
    const FfArrays none = ff_arrays(Mesh{}, {});
    const Dirs d = sphere();
    const Fields f = batched(m, none, d);
    for (int i = 0; i < d.n(); ++i) {
        EXPECT_EQ(f.th[i], cplx(0));
        EXPECT_EQ(f.ph[i], cplx(0));
    }
    ff_eval_many(m, none, kFreq, 0, nullptr, nullptr, nullptr, nullptr); // nothing to do
}

TEST(FfArrays, RunsFollowStraightWires) {
    // Equal segments of a straight wire continue each other, also when
    // their lengths differ in the last bits (a wire far from the origin);
    // the first segment, a parallel wire's first segment (same shape,
    // elsewhere), a bend and a slightly longer segment do not.
    Mesh mesh = fffix::wire({0, 0, 0}, {0, 0, 4}, 4);
    append(mesh, fffix::wire({1, 0, 0}, {1, 0, 4}, 4));
    append(mesh, fffix::wire({1, 0, 4}, {4, 0, 8}, 2));
    append(mesh, fffix::wire({1e3 + 0.1, 7.3, 2.9}, {1e3 + 1.3, 7.1, 3.7}, 5));
    append(mesh,
           fffix::element({1e3 + 1.3, 7.1, 3.7}, {1e3 + 1.3 + 0.24 * (1 + 1e-9), 7.06, 3.86}));
    const FfArrays fa = ff_arrays(mesh, std::vector<cplx>(mesh.unk.size(), 1.0));
    ASSERT_EQ(fa.n, 16);
    ASSERT_EQ(fa.npad, kFfChunk);
    const unsigned char want[16] = {0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0, 1, 1, 1, 1, 0};
    for (int s = 0; s < 16; ++s) EXPECT_EQ(fa.continues[s], want[s]) << s;
    // One run per wire; the padding is in none.
    const std::vector<int> heads = {0, 4, 8, 10, 15};
    EXPECT_EQ(fa.head, heads);
    EXPECT_EQ(fa.head_at, (std::vector<int>{0, 5}));
}

} // namespace
