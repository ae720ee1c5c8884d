// Dense complex linear systems A x = b by LU factorization with partial
// pivoting.
//
// A is n x n, row-major; b has n entries. Both are solved in place: on
// success b holds x and A holds the factors. A singular matrix (a pivot
// column whose largest entry is exactly zero) returns kLuSingular and leaves
// b untouched; A is then overwritten with a partial factorization.
//
// lu_solve factors through LAPACK and BLAS (single-threaded OpenBLAS, in
// panels spread over the par_for workers) when the build found OpenBLAS,
// and otherwise through lu_solve_ref, the built-in row-by-row elimination,
// which is also the reference the tests compare against.
#pragma once

#include "common/constants.h"

constexpr int kLuSingular = -2;

// The rows below one pivot are eliminated in this many parallel tasks while
// more than kLuSerialTail pivot steps remain; the tail runs serially.
constexpr int kLuTasks = 16;
constexpr int kLuSerialTail = 400;

// LAPACK path: systems of more than kLuSerialTail unknowns are factored in
// panels of kLuPanel columns, the columns right of a panel updated in
// blocks of kLuColumns on the workers.
constexpr int kLuPanel = 128;
constexpr int kLuColumns = 256;

// Work of one pivot step, shared read-only by the kLuTasks tasks.
struct LuArgs {
    cplx* a = nullptr; // n x n, row-major
    cplx* b = nullptr; // n
    int n = 0;
    int k = 0;      // pivot index
    cplx inv_pivot; // 1 / A[k][k]
};

// par_for body: eliminates column k from task t's block of the rows below
// the pivot (rows k+1 .. n-1 split into kLuTasks consecutive blocks).
void lu_rows(int t, void* args);

// The reference Gaussian elimination: pivot on the largest complex modulus
// (the first row on ties), eliminate b together with A, back-substitute.
// Returns 0 or kLuSingular.
int lu_solve_ref(cplx* a, cplx* b, int n);

// The factorization a build uses: LAPACK when available, else lu_solve_ref.
// LAPACK picks pivots by |Re| + |Im|, so near ties may choose another row;
// the solutions agree to rounding. Returns 0, kLuSingular, or -1 when the
// working memory cannot be allocated.
int lu_solve(cplx* a, cplx* b, int n);

// "LAPACK" or "built-in elimination": what lu_solve uses in this build.
const char* lu_backend();
