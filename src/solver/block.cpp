#include "solver/block.h"

#include <algorithm>
#include <cmath>

int block_count(int n, int nb, int iproc, int nproc) {
    if (n <= 0 || nb <= 0 || nproc <= 0) return 0;
    const int nblocks = n / nb;         // whole blocks
    int count = (nblocks / nproc) * nb; // whole rounds over every process
    const int extra = nblocks % nproc;  // processes with one more whole block
    if (iproc < extra)
        count += nb;
    else if (iproc == extra)
        count += n % nb; // the last, partial block
    return count;
}

int block_local(int g, int nb, int iproc, int nproc) {
    const int b = g / nb;
    if (b % nproc != iproc) return -1;
    return (b / nproc) * nb + g % nb;
}

int block_global(int l, int nb, int iproc, int nproc) {
    return ((l / nb) * nproc + iproc) * nb + l % nb;
}

void block_grid_shape(int nproc, int& nprow, int& npcol) {
    nproc = std::max(nproc, 1);
    nprow = static_cast<int>(std::sqrt(static_cast<double>(nproc)));
    while (nprow > 1 && nproc % nprow != 0) --nprow;
    nprow = std::max(nprow, 1);
    npcol = nproc / nprow;
}

void matrix_part_init(MatrixPart& part, int n, int nb, int nprow, int npcol, int myrow, int mycol) {
    part.n = n;
    part.nb = nb;
    part.nprow = nprow;
    part.npcol = npcol;
    part.myrow = myrow;
    part.mycol = mycol;
    part.mloc = block_count(n, nb, myrow, nprow);
    part.nloc = block_count(n, nb, mycol, npcol);
    part.lld = static_cast<std::size_t>(std::max(1, part.mloc));
    part.data.clear();
    part.row_at.assign(static_cast<std::size_t>(n), -1);
    part.col_at.assign(static_cast<std::size_t>(n), -1);
    for (int g = 0; g < n; ++g) {
        part.row_at[static_cast<std::size_t>(g)] = block_local(g, nb, myrow, nprow);
        part.col_at[static_cast<std::size_t>(g)] = block_local(g, nb, mycol, npcol);
    }
    part.data.assign(part.lld * static_cast<std::size_t>(part.nloc), cplx(0.0));
}
