// The block-cyclic layout of a matrix spread over a process grid, and the
// assembly into one process's part: every part holds the entries of the
// whole matrix exactly, and together the parts hold each entry once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/block.h"
#include "solver/solve.h"
#include "test_support.h"

namespace {

// Owner of global index g by walking the blocks one by one, the way the
// layout is defined: block b goes to process b mod nproc.
int owner(int g, int nb, int nproc) {
    return (g / nb) % nproc;
}

TEST(BlockLayout, CountsAndIndicesMatchABlockByBlockWalk) {
    struct Case {
        int n, nb, nproc;
    };
    // Fewer indices than one block, exact multiples, a partial last block,
    // more processes than blocks, and a single process.
    const Case cases[] = {{3, 4, 2},   {8, 4, 2},   {10, 4, 2},   {10, 4, 3},
                          {64, 64, 2}, {65, 64, 2}, {300, 64, 2}, {7, 2, 5},
                          {1, 1, 1},   {100, 7, 4}, {5, 64, 8},   {0, 4, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "n=" << c.n << " nb=" << c.nb << " nproc=" << c.nproc);
        std::vector<int> count(static_cast<size_t>(c.nproc), 0);
        for (int g = 0; g < c.n; ++g) {
            const int p = owner(g, c.nb, c.nproc);
            // Local indices are handed out in ascending global order.
            EXPECT_EQ(block_local(g, c.nb, p, c.nproc), count[static_cast<size_t>(p)]);
            EXPECT_EQ(block_global(count[static_cast<size_t>(p)], c.nb, p, c.nproc), g);
            for (int q = 0; q < c.nproc; ++q) {
                if (q == p) continue;
                EXPECT_EQ(block_local(g, c.nb, q, c.nproc), -1);
            }
            ++count[static_cast<size_t>(p)];
        }
        for (int p = 0; p < c.nproc; ++p)
            EXPECT_EQ(block_count(c.n, c.nb, p, c.nproc), count[static_cast<size_t>(p)]);
    }
}

TEST(BlockLayout, GridShapes) {
    struct Case {
        int nproc, nprow, npcol;
    };
    const Case cases[] = {{1, 1, 1}, {2, 1, 2}, {3, 1, 3},  {4, 2, 2},  {6, 2, 3},
                          {7, 1, 7}, {8, 2, 4}, {12, 3, 4}, {32, 4, 8}, {0, 1, 1}};
    for (const Case& c : cases) {
        int r = 0, q = 0;
        block_grid_shape(c.nproc, r, q);
        EXPECT_EQ(r, c.nprow) << c.nproc;
        EXPECT_EQ(q, c.npcol) << c.nproc;
    }
}

// A structure that exercises every part of the assembly: three wires meeting
// in a junction, copper conductor loss, a lumped load, a transmission line
// from a generator wire to an undriven port (unknowns beyond the wires'
// own), and an image over a reflection-coefficient ground.
const char* kFixture = "TITLE part fixture\n"
                       "FREQ 14.2 MHz\n"
                       "WIRE 0 -5 8 0 0 8 r=0.001 seg=7 mat=copper name=left\n"
                       "WIRE 0 0 8 0 5 8 r=0.001 seg=7 mat=copper name=right\n"
                       "WIRE 0 0 8 0 0 4 r=0.001 seg=5 name=drop\n"
                       "WIRE 6 0 1 6 0 1.2 r=0.001 name=gen\n"
                       "SOURCE gen 1\n"
                       "LOAD left 50 R=10 L=1e-6\n"
                       "TL gen 50 drop 50 Z0=75 len=10 vf=0.8\n"
                       "GROUND real eps=13 sigma=0.005\n"
                       "END\n";

struct Assembled {
    int N = 0;
    std::vector<cplx> A; // row-major
    std::vector<cplx> rhs;
};

TEST(MatrixPart, PartsHoldTheWholeMatrixExactly) {
    Model m;
    std::string err;
    ASSERT_EQ(model_read(write_file("part.ant", kFixture), m, err), 0) << err;
    Mesh mesh;
    ASSERT_EQ(mesh_build(m, mesh, m.f0, err), 0) << err;

    LineNet net;
    ASSERT_EQ(solve_prepare(m, mesh, m.f0, net, err), 0) << err;
    ASSERT_GE(net.nextra, 1);
    Assembled whole;
    whole.N = mesh.nunk() + net.nextra;
    const size_t N = static_cast<size_t>(whole.N);
    whole.A.assign(N * N, cplx(0.0));
    whole.rhs.assign(N, cplx(0.0));
    MatrixOut dense;
    dense.dense = whole.A.data();
    dense.ld = whole.N;
    ASSERT_EQ(solve_assemble(m, mesh, m.f0, net, dense, whole.rhs.data(), err), 0) << err;

    // Small blocks, so that every process holds scattered pieces.
    for (int nproc : {1, 2, 6}) {
        int nprow = 0, npcol = 0;
        block_grid_shape(nproc, nprow, npcol);
        SCOPED_TRACE(::testing::Message() << nprow << " x " << npcol);
        std::vector<int> held(N * N, 0);
        for (int r = 0; r < nprow; ++r) {
            for (int c = 0; c < npcol; ++c) {
                MatrixPart part;
                matrix_part_init(part, whole.N, 3, nprow, npcol, r, c);
                std::vector<cplx> rhs(N, cplx(0.0));
                MatrixOut out;
                out.part = &part;
                ASSERT_EQ(solve_assemble(m, mesh, m.f0, net, out, rhs.data(), err), 0) << err;
                EXPECT_EQ(rhs, whole.rhs);
                for (int p = 0; p < whole.N; ++p)
                    for (int q = 0; q < whole.N; ++q)
                        if (const cplx* z = part.at(p, q)) {
                            ++held[static_cast<size_t>(p) * N + static_cast<size_t>(q)];
                            // The same terms in the same order: equal to the last bit.
                            ASSERT_EQ(*z,
                                      whole.A[static_cast<size_t>(p) * N + static_cast<size_t>(q)])
                                << p << "," << q;
                        }
            }
        }
        EXPECT_EQ(held, std::vector<int>(N * N, 1));
    }
}

} // namespace
