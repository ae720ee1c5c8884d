// One process's part of a square matrix spread over a grid of processes in
// the two-dimensional block-cyclic layout of ScaLAPACK.
//
// The n rows are cut into blocks of nb; row block b lives on process row
// b mod nprow, where it is local block b div nprow, so global row g sits at
// local row (g div (nb nprow)) nb + g mod nb of process row (g div nb) mod
// nprow. Columns go the same way over the npcol process columns. A process
// keeps its rows x columns column-major with leading dimension lld, as the
// distributed factorization reads them. Nothing here talks to another
// process: the layout is plain arithmetic, and the matrix assembly writes
// into a part exactly the entries it would write into the whole matrix.
#pragma once

#include <cstddef>
#include <vector>

#include "common/constants.h"

// Number of the n indices that process iproc of nproc holds (ScaLAPACK's
// numroc with the first block on process 0).
int block_count(int n, int nb, int iproc, int nproc);

// Local index of global index g on process iproc, or -1 when another
// process holds it.
int block_local(int g, int nb, int iproc, int nproc);

// Global index of local index l on process iproc.
int block_global(int l, int nb, int iproc, int nproc);

// A grid of nproc processes as square as it goes, nprow <= npcol and
// nprow * npcol = nproc (2 -> 1 x 2, 4 -> 2 x 2, 8 -> 2 x 4, 6 -> 2 x 3).
void block_grid_shape(int nproc, int& nprow, int& npcol);

// Where a process sits in the grid and which rows and columns it holds.
struct MatrixPart {
    int n = 0;  // global order
    int nb = 0; // block size, rows and columns
    int nprow = 1, npcol = 1;
    int myrow = 0, mycol = 0;
    int mloc = 0, nloc = 0;          // local rows and columns
    std::size_t lld = 1;             // local leading dimension, max(1, mloc)
    std::vector<int> row_at, col_at; // local index of every global row / column, or -1
    std::vector<cplx> data;          // lld x nloc, column-major

    // The local entry of global (p, q), or null when another process holds it.
    cplx* at(int p, int q) {
        const int r = row_at[static_cast<std::size_t>(p)];
        const int c = col_at[static_cast<std::size_t>(q)];
        if (r < 0 || c < 0) return nullptr;
        return data.data() + static_cast<std::size_t>(r) + static_cast<std::size_t>(c) * lld;
    }
};

// Sets up the part of an n x n matrix that process (myrow, mycol) of an
// nprow x npcol grid holds, and allocates its entries as zeros. Throws
// std::bad_alloc when memory runs out (the layout is then set, data empty).
void matrix_part_init(MatrixPart& part, int n, int nb, int nprow, int npcol, int myrow, int mycol);
