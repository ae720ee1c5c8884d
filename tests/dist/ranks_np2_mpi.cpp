// The collective steps of a run under mpirun, in process: this executable
// is started as a job of two ranks (mpirun -np 2), and every test runs on
// both. Each test makes its collective calls on every rank unconditionally
// and checks afterwards, so that a failing check on one rank never leaves
// the other waiting.
//
// References: solve_freq, pattern_summary, pattern_grid and prad_integrate
// of one process. A spread solution factors in another order (ScaLAPACK's
// blocked LU against LAPACK's), so it agrees to rounding times the
// condition number: 1e-10 relative is asked of the impedance and currents.
// Everything else (rank 0's solution sent to the others, the far field
// split by direction) does the same arithmetic as one process and must
// agree to the last bit.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "dist/dist.h"
#include "driver/pattern_summary.h"
#include "hand_mesh.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/pattern.h"
#include "solver/solve.h"
#include "test_support.h"

namespace {

const double kF = 14.2e6;

// The same value on every rank (compared bit for bit).
bool same_on_all_ranks(double v) {
    std::vector<double> all(static_cast<size_t>(dist_size()), 0.0);
    int lo = 0, hi = 0;
    dist_share(dist_size(), lo, hi);
    for (int i = lo; i < hi; ++i) all[static_cast<size_t>(i)] = v;
    dist_allgather(all.data(), dist_size(), 1);
    return std::all_of(all.begin(), all.end(), [v](double x) { return x == v; });
}

double max_rel_diff(const std::vector<cplx>& a, const std::vector<cplx>& b) {
    if (a.size() != b.size()) return 1e300;
    double scale = 0, d = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        scale = std::max(scale, std::abs(a[i]));
        d = std::max(d, std::abs(a[i] - b[i]));
    }
    return scale > 0 ? d / scale : d;
}

struct Built {
    Model m;
    Mesh mesh;
    std::string err;
    int rc = -1;
};

// A model file read and meshed as a run does it.
Built build(const std::string& text) {
    Built b;
    // Every rank reads its own copy.
    const std::filesystem::path dir = std::filesystem::path(QUARLIN_TEST_TMP) / "ranks_np2";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / ("rank" + std::to_string(dist_rank()) + ".ant")).string();
    b.rc = model_read(write_file_at(path, text), b.m, b.err);
    if (b.rc == 0) b.rc = mesh_build(b.m, b.mesh, b.m.f0, b.err);
    return b;
}

// Three wires in a junction with copper loss, a lumped load, a line to an
// undriven port and a reflection-coefficient ground; seg counts chosen for
// about 200 unknowns, several blocks of 64 on each rank.
const char* kJunction = "TITLE junction\n"
                        "FREQ 14.2 MHz\n"
                        "WIRE 0 -5 8 0 0 8 r=0.001 seg=70 mat=copper name=left\n"
                        "WIRE 0 0 8 0 5 8 r=0.001 seg=70 mat=copper name=right\n"
                        "WIRE 0 0 8 0 0 4 r=0.001 seg=60 name=drop\n"
                        "WIRE 6 0 1 6 0 1.2 r=0.001 name=gen\n"
                        "SOURCE gen 1\n"
                        "LOAD left 50 R=10 L=1e-6\n"
                        "TL gen 50 drop 50 Z0=75 len=10 vf=0.8\n"
                        "GROUND real eps=13 sigma=0.005\n"
                        "END\n";

// A 3-element beam in free space, two sources.
const char* kBeam = "TITLE beam\n"
                    "FREQ 14.2 MHz\n"
                    "WIRE -4.2 -5.3 0 -4.2 5.3 0 r=0.0125 seg=31 name=refl\n"
                    "WIRE 0 -5.05 0 0 5.05 0 r=0.0125 seg=31 name=drv\n"
                    "WIRE 3.2 -4.9 0 3.2 4.9 0 r=0.0125 seg=31 name=dir\n"
                    "SOURCE drv 50\n"
                    "SOURCE refl 50 V=0.1\n"
                    "END\n";

// A printed dipole and a parasitic trace on a board, with the Sommerfeld
// correction table that every rank builds for its own blocks.
const char* kBoard = "TITLE board\n"
                     "UNITS mm\n"
                     "FREQ 2.45 GHz\n"
                     "WIRE 0 -23 0 0 23 0 w=1.5 seg=80 mat=copper name=dip\n"
                     "WIRE 10 -23 0 10 23 0 w=1.5 seg=80 mat=copper name=par\n"
                     "SOURCE dip 50\n"
                     "GROUND pcb eps=4.4 tand=0.02 h=1.6mm\n"
                     "END\n";

struct Solved {
    int rc = -99;
    std::vector<cplx> cur, isrc;
    FreqResult res;
    std::string err;
};

Solved solve_one(const Built& b, int want_prad) {
    Solved s;
    s.rc = solve_freq(b.m, b.mesh, b.m.f0, s.cur, s.res, want_prad, &s.isrc, s.err);
    return s;
}

Solved solve_ranks(const Built& b, int want_prad, bool spread) {
    Solved s;
    s.rc = dist_solve_freq(b.m, b.mesh, b.m.f0, s.cur, s.res, want_prad, &s.isrc, s.err, spread);
    return s;
}

TEST(DistAgree, LowestFailingRankSpeaksForAll) {
    struct Case {
        int rc0, rc1;
        const char* want_err;
        int want_rc;
    };
    const Case cases[] = {
        {0, 0, "", 0},
        {0, 3, "rank 1: message of rank 1", 3}, // a failure rank 0 did not see
        {2, 5, "message of rank 0", 2},         // rank 0's own: no prefix
        {4, 0, "message of rank 0", 4},
    };
    for (const Case& c : cases) {
        const int me = dist_rank();
        int rc = me == 0 ? c.rc0 : me == 1 ? c.rc1 : 0;
        std::string err = rc ? "message of rank " + std::to_string(me) : "";
        const int got = dist_agree(rc, err);
        EXPECT_EQ(got, c.want_rc);
        if (c.want_rc != 0) {
            EXPECT_EQ(err, c.want_err);
        }
    }
}

TEST(DistShare, EveryItemOnceAndGatheredEverywhere) {
    for (int count : {0, 1, 2, 7, 96}) {
        int lo = 0, hi = 0;
        dist_share(count, lo, hi);
        std::vector<double> v(static_cast<size_t>(2 * std::max(count, 1)), -1.0);
        for (int i = lo; i < hi; ++i) {
            v[static_cast<size_t>(2 * i)] = i;
            v[static_cast<size_t>(2 * i + 1)] = dist_rank();
        }
        dist_allgather(v.data(), count, 2);
        for (int i = 0; i < count; ++i) EXPECT_EQ(v[static_cast<size_t>(2 * i)], i) << count;
        // Consecutive pieces in rank order.
        for (int i = 1; i < count; ++i)
            EXPECT_LE(v[static_cast<size_t>(2 * i - 1)], v[static_cast<size_t>(2 * i + 1)]);
    }
}

TEST(DistSolve, SpreadMatrixGivesTheOneProcessSolution) {
    for (const char* text : {kJunction, kBeam, kBoard}) {
        Built b = build(text);
        ASSERT_EQ(dist_agree(b.rc, b.err), 0) << b.err;
        SCOPED_TRACE(b.m.title);
        const Solved one = solve_one(b, 1);
        const Solved all = solve_ranks(b, 1, true);
        ASSERT_EQ(one.rc, 0) << one.err;
        ASSERT_EQ(all.rc, 0) << all.err;
        EXPECT_GT(b.mesh.nunk(), b.m.tls.empty() ? 64 : 128) << "blocks on both ranks";
        EXPECT_LT(std::abs(all.res.zin - one.res.zin), 1e-10 * std::abs(one.res.zin));
        EXPECT_LT(max_rel_diff(all.cur, one.cur), 1e-10);
        EXPECT_LT(max_rel_diff(all.isrc, one.isrc), 1e-10);
        EXPECT_NEAR(all.res.pin, one.res.pin, 1e-10 * std::abs(one.res.pin));
        EXPECT_NEAR(all.res.swr, one.res.swr, 1e-10 * one.res.swr);
        EXPECT_NEAR(all.res.prad, one.res.prad, 1e-10 * one.res.prad);
        EXPECT_EQ(all.res.eff, all.res.prad / all.res.pin);
        // Every rank holds the very same solution.
        EXPECT_TRUE(same_on_all_ranks(all.res.zin.real()));
        EXPECT_TRUE(same_on_all_ranks(all.res.zin.imag()));
        EXPECT_TRUE(same_on_all_ranks(all.res.prad));
    }
}

TEST(DistSolve, RankZeroSolutionReachesEveryRankBitForBit) {
    Built b = build(kJunction);
    ASSERT_EQ(dist_agree(b.rc, b.err), 0) << b.err;
    const Solved one = solve_one(b, 1);
    const Solved all = solve_ranks(b, 1, false);
    ASSERT_EQ(all.rc, 0) << all.err;
    EXPECT_EQ(all.cur, one.cur);
    EXPECT_EQ(all.isrc, one.isrc);
    EXPECT_EQ(all.res.zin, one.res.zin);
    // The power integral split by direction sums the same terms in the same order.
    EXPECT_EQ(all.res.prad, one.res.prad);
    EXPECT_EQ(all.res.agt, one.res.agt);
}

TEST(DistSolve, SingularSystemEndsAlikeOnEveryRank) {
    // An unknown that lives on no segment leaves an all-zero row and column.
    Mesh mesh = hand_mesh({HandWire{{0, 0, -5}, {0, 0, 5}, 10, 0.001}});
    mesh.unk.push_back(Unknown{});
    Built b;
    b.mesh = mesh;
    b.m = hand_model(kF, hand_unk_at(mesh, 0, 0, 0));
    for (bool spread : {true, false}) {
        Solved s;
        s.cur.assign(3, cplx(7, 7));
        s.res.f = 42;
        s.rc = dist_solve_freq(b.m, b.mesh, kF, s.cur, s.res, 1, &s.isrc, s.err, spread);
        EXPECT_EQ(s.rc, kSolveSingular) << spread;
        EXPECT_EQ(s.err, "singular matrix at 14.2 MHz") << spread;
        EXPECT_EQ(s.cur, std::vector<cplx>(3, cplx(7, 7)));
        EXPECT_EQ(s.res.f, 42);
    }
}

// Address space in use by this process, bytes.
double address_space_bytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    unsigned long pages = 0;
    const int got = std::fscanf(f, "%lu", &pages);
    std::fclose(f);
    return got == 1 ? static_cast<double>(pages) * static_cast<double>(sysconf(_SC_PAGESIZE)) : -1;
}

TEST(DistSolve, RankWithoutMemoryForItsBlocksEndsAlikeOnEveryRank) {
    if (dist_size() < 2) GTEST_SKIP() << "needs two ranks";
    // 3000 unknowns: 72 MB of blocks on each rank of a 1 x 2 grid (47
    // column blocks of 64, the last of 56: rank 1 holds 23 of them).
    Built b;
    b.mesh = hand_mesh({HandWire{{0, 0, -150}, {0, 0, 150}, 3001, 0.001}});
    b.m = hand_model(kF, 1500);
    // Rank 1 gets 24 MB more address space than it uses now, so its blocks
    // cannot be had, while rank 0 allocates its own.
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    const double used = address_space_bytes();
    bool limited = false;
    if (dist_rank() == 1 && used > 0) {
        rlimit lim = old;
        lim.rlim_cur = static_cast<rlim_t>(used + 24e6);
        limited = setrlimit(RLIMIT_AS, &lim) == 0;
    }
    Solved s;
    s.rc = dist_solve_freq(b.m, b.mesh, kF, s.cur, s.res, 0, nullptr, s.err, true);
    if (limited) setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(s.rc, kSolveNoMemory);
    EXPECT_EQ(s.err, "rank 1: out of memory for its 3000 x 1472 block of the 3000 x 3000 "
                     "impedance matrix");
    EXPECT_TRUE(s.cur.empty());
}

TEST(DistFarField, SummaryGridAndPowerMatchOneProcessBitForBit) {
    Built b = build(kBeam);
    ASSERT_EQ(dist_agree(b.rc, b.err), 0) << b.err;
    const Solved one = solve_one(b, 0);
    ASSERT_EQ(one.rc, 0) << one.err;

    FreqResult r1 = one.res, r2 = one.res;
    double az1 = 0, el1 = 0, az2 = 0, el2 = 0;
    pattern_summary(b.m, b.mesh, kF, one.cur, one.res.pin, r1, &az1, &el1);
    pattern_summary_ranks(b.m, b.mesh, kF, one.cur, one.res.pin, r2, &az2, &el2);
    EXPECT_EQ(r2.gmax, r1.gmax);
    EXPECT_EQ(r2.thmax, r1.thmax);
    EXPECT_EQ(r2.phmax, r1.phmax);
    EXPECT_EQ(r2.fb, r1.fb);
    EXPECT_EQ(az2, az1);
    EXPECT_EQ(el2, el1);

    // 7 polar rows: uneven shares.
    const int nth = 7, nph = 13;
    const size_t npt = static_cast<size_t>(nth * nph);
    std::vector<std::vector<float>> g1(5, std::vector<float>(npt, 1.0f)), g2 = g1;
    pattern_grid(b.m, b.mesh, kF, one.cur, one.res.pin, nth, nph, 30.0, 30.0, g1[0].data(),
                 g1[1].data(), g1[2].data(), g1[3].data(), g1[4].data());
    dist_pattern_grid(b.m, b.mesh, kF, one.cur, one.res.pin, nth, nph, 30.0, 30.0, g2[0].data(),
                      g2[1].data(), g2[2].data(), g2[3].data(), g2[4].data());
    if (dist_root()) {
        for (size_t c = 0; c < 5; ++c) EXPECT_EQ(g2[c], g1[c]) << c;
    }
}

} // namespace

int main(int argc, char** argv) {
    DistSession session(argc, argv);
    // The other ranks report their failures too, on standard error.
    if (!dist_root()) {
        std::fflush(stdout);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        GTEST_FLAG_SET(brief, true);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
