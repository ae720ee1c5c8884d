#include "solver/lu.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "parallel/par_for.h"

#if QUARLIN_HAVE_LAPACK
// LAPACK (column-major, 32-bit integers as in Debian's OpenBLAS). The
// trailing size_t is the hidden length of the character argument that
// Fortran compilers pass; implementations written in C ignore it.
extern "C" {
void zgetrf_(const int* m, const int* n, cplx* a, const int* lda, int* ipiv, int* info);
void zgetrs_(const char* trans, const int* n, const int* nrhs, const cplx* a, const int* lda,
             const int* ipiv, cplx* b, const int* ldb, int* info, std::size_t trans_len);
// OpenBLAS's own thread count (the build links OpenBLAS when it has LAPACK).
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

int lu_solve(cplx* a, cplx* b, int n) {
    if (n <= 0) return 0;
    std::vector<int> ipiv;
    try {
        ipiv.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    // OpenBLAS factors on as many threads as par_for would use; small
    // systems on one, like the serial tail of the reference elimination:
    // there the threads cost more than they save, and their spinning after
    // the call slows the next frequency's fill.
    openblas_set_num_threads(n <= kLuSerialTail ? 1 : par_workers(n));
    // The row-major A is, read column-major, its transpose: factor A^T and
    // solve (A^T)^T x = b.
    int info = 0;
    zgetrf_(&n, &n, a, &n, ipiv.data(), &info);
    if (info > 0) return kLuSingular; // U(info, info) is exactly zero
    if (info < 0) return -1;
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
