#include "solver/lu.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "parallel/par_for.h"

#if QUARLIN_HAVE_LAPACK
// LAPACK and BLAS (column-major, 32-bit integers as in Debian's OpenBLAS).
// The trailing size_t arguments are the hidden lengths of the character
// arguments that Fortran compilers pass; implementations written in C
// ignore them.
extern "C" {
void zgetrf_(const int* m, const int* n, cplx* a, const int* lda, int* ipiv, int* info);
void zgetrs_(const char* trans, const int* n, const int* nrhs, const cplx* a, const int* lda,
             const int* ipiv, cplx* b, const int* ldb, int* info, std::size_t trans_len);
void zlaswp_(const int* n, cplx* a, const int* lda, const int* k1, const int* k2, const int* ipiv,
             const int* incx);
void ztrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m,
            const int* n, const cplx* alpha, const cplx* a, const int* lda, cplx* b, const int* ldb,
            std::size_t, std::size_t, std::size_t, std::size_t);
void zgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k,
            const cplx* alpha, const cplx* a, const int* lda, const cplx* b, const int* ldb,
            const cplx* beta, cplx* c, const int* ldc, std::size_t, std::size_t);
// OpenBLAS's own thread count: 1, for a build that links a threaded OpenBLAS.
void openblas_set_num_threads(int num_threads);
}
#endif

namespace {

// Eliminates column k from rows [r0, r1): A[i][k] becomes the multiplier m,
// A[i][j] -= m * A[k][j] for j > k and b[i] -= m * b[k]; rows with m = 0
// are left as they are.
void eliminate_rows(const LuArgs& w, int r0, int r1) {
    const std::size_t n = static_cast<std::size_t>(w.n);
    const std::size_t k = static_cast<std::size_t>(w.k);
    const cplx* pivot_row = w.a + k * n;
    for (int i = r0; i < r1; ++i) {
        cplx* row = w.a + static_cast<std::size_t>(i) * n;
        cplx m = row[k] * w.inv_pivot;
        if (m == cplx(0.0, 0.0)) continue;
        row[k] = m;
        for (std::size_t j = k + 1; j < n; ++j) row[j] -= m * pivot_row[j];
        w.b[i] -= m * w.b[k];
    }
}

} // namespace

void lu_rows(int t, void* args) {
    const LuArgs& w = *static_cast<const LuArgs*>(args);
    long d = w.n - w.k - 1; // rows below the pivot
    int r0 = w.k + 1 + static_cast<int>(d * t / kLuTasks);
    int r1 = w.k + 1 + static_cast<int>(d * (t + 1) / kLuTasks);
    eliminate_rows(w, r0, r1);
}

int lu_solve_ref(cplx* a, cplx* b, int n) {
    if (n <= 0) return 0;
    const std::size_t N = static_cast<std::size_t>(n);
    // b is eliminated in a copy so that a singular matrix leaves it as it was.
    std::vector<cplx> x;
    try {
        x.assign(b, b + N);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    LuArgs w;
    w.a = a;
    w.b = x.data();
    w.n = n;
    for (int k = 0; k < n; ++k) {
        // Pivot: the largest modulus in column k at or below the diagonal,
        // the first such row on ties.
        int p = k;
        double best = std::abs(a[static_cast<std::size_t>(k) * N + k]);
        for (int i = k + 1; i < n; ++i) {
            double v = std::abs(a[static_cast<std::size_t>(i) * N + k]);
            if (v > best) {
                best = v;
                p = i;
            }
        }
        if (best == 0.0) return kLuSingular;
        if (p != k) {
            std::swap_ranges(a + static_cast<std::size_t>(k) * N,
                             a + static_cast<std::size_t>(k + 1) * N,
                             a + static_cast<std::size_t>(p) * N);
            std::swap(x[k], x[p]);
        }
        w.k = k;
        w.inv_pivot = 1.0 / a[static_cast<std::size_t>(k) * N + k];
        if (k < n - kLuSerialTail) {
            par_for(kLuTasks, lu_rows, &w);
        } else {
            eliminate_rows(w, k + 1, n);
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        const cplx* row = a + static_cast<std::size_t>(i) * N;
        cplx s = x[i];
        for (int j = i + 1; j < n; ++j) s -= row[j] * x[j];
        x[i] = s / row[i];
    }
    std::copy(x.begin(), x.end(), b);
    return 0;
}

#if QUARLIN_HAVE_LAPACK

namespace {

// Right-looking blocked factorization P M = L U of the column-major n x n
// matrix M (leading dimension n) with one step of look-ahead, on the
// workers: panels of kLuPanel columns are factored by LAPACK (partial
// pivoting); for each panel the columns to its right get its row
// interchanges, the triangular solve for the panel's rows of U and the
// product update of the trailing rows, in column blocks of kLuColumns, one
// par_for index each. Index 0 updates the next panel and factors it at
// once, so that the next step can start while the other blocks are still
// being updated. The blocks depend only on n, so the factors are the same
// on any number of threads. Returns 0, or kLuSingular when a panel has an
// exactly zero pivot column.
struct Blocked {
    cplx* m;
    int n;
    int* ipiv; // 1-based rows, as LAPACK's
};

// Factors the panel of columns [j, j + w): rows j..n-1. Returns LAPACK's
// info (> 0: a zero pivot).
int factor_panel(const Blocked& b, int j, int w) {
    const int rows = b.n - j;
    int info = 0;
    zgetrf_(&rows, &w, b.m + static_cast<std::size_t>(j) * b.n + j, &b.n, b.ipiv + j, &info);
    for (int i = j; i < j + w; ++i) b.ipiv[i] += j;
    return info;
}

// Applies panel [j, j + w) to the columns [c0, c1) to its right.
void update_columns(const Blocked& b, int j, int w, int c0, int c1) {
    const cplx one(1.0, 0.0), minus_one(-1.0, 0.0);
    const int nc = c1 - c0, k1 = j + 1, k2 = j + w, inc = 1;
    const std::size_t n = static_cast<std::size_t>(b.n);
    cplx* cols = b.m + static_cast<std::size_t>(c0) * n;
    zlaswp_(&nc, cols, &b.n, &k1, &k2, b.ipiv, &inc);
    const cplx* l11 = b.m + static_cast<std::size_t>(j) * n + j;
    ztrsm_("L", "L", "N", "U", &w, &nc, &one, l11, &b.n, cols + j, &b.n, 1, 1, 1, 1);
    const int rows = b.n - j - w;
    if (rows > 0)
        zgemm_("N", "N", &rows, &nc, &w, &minus_one, l11 + w, &b.n, cols + j, &b.n, &one,
               cols + j + w, &b.n, 1, 1);
}

int factor_blocked(const Blocked& b) {
    const int n = b.n;
    std::atomic<int> singular{0};
    if (factor_panel(b, 0, std::min(kLuPanel, n)) > 0) return kLuSingular;
    for (int j = 0; j < n; j += kLuPanel) {
        const int w = std::min(kLuPanel, n - j);
        const int next = j + w; // the next panel's first column
        if (next >= n) break;
        const int wn = std::min(kLuPanel, n - next);
        const int rest = next + wn; // columns beyond the next panel
        const int nblocks = (n - rest + kLuColumns - 1) / kLuColumns;
        // Work of one index: a block's product update, 8 flops per complex
        // multiply-add, at about 20 GFLOP/s.
        const double ns = 8.0 * (n - next) * static_cast<double>(kLuColumns) * w / 20.0;
        par_for_sized(1 + nblocks, ns, [&](int t) {
            if (t == 0) {
                update_columns(b, j, w, next, rest);
                if (factor_panel(b, next, wn) > 0) singular = 1;
            } else {
                const int c0 = rest + (t - 1) * kLuColumns;
                update_columns(b, j, w, c0, std::min(n, c0 + kLuColumns));
            }
        });
        if (singular) return kLuSingular;
    }
    // Each panel's interchanges in the columns to its left (the multipliers
    // of the earlier panels), in panel order.
    const int nleft = (n + kLuColumns - 1) / kLuColumns;
    par_for_sized(nleft, 1e4, [&](int t) {
        const int c0 = t * kLuColumns, c1 = std::min(n, c0 + kLuColumns);
        const int inc = 1;
        for (int j = (c0 / kLuPanel + 1) * kLuPanel; j < n; j += kLuPanel) {
            const int nc = std::min(c1, j) - c0;
            const int k1 = j + 1, k2 = std::min(n, j + kLuPanel);
            zlaswp_(&nc, b.m + static_cast<std::size_t>(c0) * n, &b.n, &k1, &k2, b.ipiv, &inc);
        }
    });
    return 0;
}

} // namespace

int lu_solve(cplx* a, cplx* b, int n) {
    if (n <= 0) return 0;
    std::vector<int> ipiv;
    try {
        ipiv.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    // All parallelism is par_for's: OpenBLAS itself runs on the calling
    // thread (the build links its single-threaded library; a threaded one
    // is held to one thread).
    openblas_set_num_threads(1);
    // The row-major A is, read column-major, its transpose: factor A^T and
    // solve (A^T)^T x = b. Up to kLuSerialTail unknowns one LAPACK call on
    // the calling thread does it: there more threads cost more than they
    // save.
    int info = 0;
    if (n <= kLuSerialTail) {
        zgetrf_(&n, &n, a, &n, ipiv.data(), &info);
        if (info > 0) return kLuSingular; // U(info, info) is exactly zero
        if (info < 0) return -1;
    } else if (factor_blocked(Blocked{a, n, ipiv.data()}) != 0) {
        return kLuSingular;
    }
    const char trans = 'T';
    const int nrhs = 1;
    zgetrs_(&trans, &n, &nrhs, a, &n, ipiv.data(), b, &n, &info, 1);
    return info == 0 ? 0 : -1;
}

const char* lu_backend() {
    return "LAPACK";
}

#else

int lu_solve(cplx* a, cplx* b, int n) {
    return lu_solve_ref(a, b, n);
}

const char* lu_backend() {
    return "built-in elimination";
}

#endif
