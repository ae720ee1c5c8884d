// The MPI build: one frequency solved by every rank together, and the far
// field shared out over the ranks by direction.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <new>

#include "common/text.h"
#include "dist/dist.h"
#include "dist/dist_mpi.h"
#include "parallel/par_for.h"
#include "solver/block.h"
#include "solver/farfield.h"
#include "solver/pattern.h"

// BLACS and ScaLAPACK (libscalapack-openmpi), and OpenBLAS's thread count.
// The trailing size_t is the hidden length of the character argument that
// Fortran compilers pass.
extern "C" {
int Csys2blacs_handle(MPI_Comm comm);
void Cfree_blacs_system_handle(int handle);
void Cblacs_gridinit(int* ctxt, const char* order, int nprow, int npcol);
void Cblacs_gridinfo(int ctxt, int* nprow, int* npcol, int* myrow, int* mycol);
void Cblacs_gridexit(int ctxt);
void descinit_(int* desc, const int* m, const int* n, const int* mb, const int* nb,
               const int* irsrc, const int* icsrc, const int* ictxt, const int* lld, int* info);
void pzgetrf_(const int* m, const int* n, cplx* a, const int* ia, const int* ja, const int* desca,
              int* ipiv, int* info);
void pzgetrs_(const char* trans, const int* n, const int* nrhs, const cplx* a, const int* ia,
              const int* ja, const int* desca, const int* ipiv, cplx* b, const int* ib,
              const int* jb, const int* descb, int* info, std::size_t trans_len);
void openblas_set_num_threads(int num_threads);
}

namespace {

// Block size of the layout: large enough for the level-3 kernels of the
// factorization, small enough that every rank gets a fair share of the
// trailing matrix as it shrinks.
constexpr int kBlock = 64;

// A BLACS process grid over the ranks of the run, released on every path.
class BlacsGrid {
  public:
    BlacsGrid(int nprow, int npcol) {
        handle_ = Csys2blacs_handle(dist_comm());
        ctxt_ = handle_;
        Cblacs_gridinit(&ctxt_, "Row", nprow, npcol);
        int r = 0, c = 0;
        Cblacs_gridinfo(ctxt_, &r, &c, &myrow_, &mycol_);
    }
    ~BlacsGrid() {
        Cblacs_gridexit(ctxt_);
        Cfree_blacs_system_handle(handle_);
    }
    BlacsGrid(const BlacsGrid&) = delete;
    BlacsGrid& operator=(const BlacsGrid&) = delete;
    int ctxt() const { return ctxt_; }
    int myrow() const { return myrow_; }
    int mycol() const { return mycol_; }

  private:
    int handle_ = 0;
    int ctxt_ = 0;
    int myrow_ = 0, mycol_ = 0;
};

// The system of one frequency spread over every rank: each rank allocates
// and fills its own blocks of the block-cyclic matrix, pzgetrf factors it,
// pzgetrs solves with the right-hand side in the first process column, and
// the solution goes to every rank. x receives the whole solution (wire
// currents, line-port voltages and line currents). Every rank returns the
// same code.
int solve_spread(const Model& m, const Mesh& mesh, double freq_hz, const LineNet& net,
                 std::vector<cplx>& x, std::string& err) {
    const int N = mesh.nunk() + net.nextra;
    int nprow = 1, npcol = 1;
    block_grid_shape(dist_size(), nprow, npcol);
    BlacsGrid grid(nprow, npcol);

    MatrixPart part;
    std::vector<cplx> rhs;
    std::vector<int> ipiv;
    int rc = 0;
    try {
        rhs.assign(static_cast<size_t>(N), cplx(0.0));
        matrix_part_init(part, N, kBlock, nprow, npcol, grid.myrow(), grid.mycol());
        ipiv.assign(static_cast<size_t>(part.mloc + kBlock), 0);
    } catch (const std::bad_alloc&) {
        rc = set_err(err, "out of memory for its %d x %d block of the %d x %d impedance matrix",
                     part.mloc, part.nloc, N, N);
    }
    if (dist_agree(rc, err) != 0) return kSolveNoMemory;

    try {
        MatrixOut out;
        out.part = &part;
        rc = solve_assemble(m, mesh, freq_hz, net, out, rhs.data(), err);
    } catch (const std::bad_alloc&) {
        rc = kSolveNoMemory;
        set_err(err, "out of memory while filling the %d x %d impedance matrix", N, N);
    }
    rc = dist_agree(rc, err);
    if (rc != 0) return rc;

    int desca[9], descb[9], info = 0;
    const int zero = 0, one = 1, nb = kBlock, lld = static_cast<int>(part.lld);
    const int ctxt = grid.ctxt();
    descinit_(desca, &N, &N, &nb, &nb, &zero, &zero, &ctxt, &lld, &info);
    descinit_(descb, &N, &one, &nb, &nb, &zero, &zero, &ctxt, &lld, &info);
    openblas_set_num_threads(par_workers(N));
    pzgetrf_(&N, &N, part.data.data(), &one, &one, desca, ipiv.data(), &info);
    // INFO > 0: U(info, info) is exactly zero. Every rank learns of it.
    int singular = info > 0 ? 1 : 0, any = 0;
    MPI_Allreduce(&singular, &any, 1, MPI_INT, MPI_MAX, dist_comm());
    if (any) {
        set_err(err, "singular matrix at %.6g MHz", freq_hz * 1e-6);
        return kSolveSingular;
    }

    // The right-hand side lives in the first process column, in the rows
    // that each of its ranks holds.
    std::vector<cplx> b(part.lld, cplx(0.0));
    if (grid.mycol() == 0)
        for (int i = 0; i < part.mloc; ++i)
            b[static_cast<size_t>(i)] =
                rhs[static_cast<size_t>(block_global(i, kBlock, grid.myrow(), nprow))];
    const char trans = 'N';
    pzgetrs_(&trans, &N, &one, part.data.data(), &one, &one, desca, ipiv.data(), b.data(), &one,
             &one, descb, &info, 1);
    part.data = std::vector<cplx>(); // the factors are not needed any more

    // Every rank gets the whole solution: each entry comes from the one rank
    // of the first column that holds it, the others add exact zeros.
    x.assign(static_cast<size_t>(N), cplx(0.0));
    if (grid.mycol() == 0)
        for (int i = 0; i < part.mloc; ++i)
            x[static_cast<size_t>(block_global(i, kBlock, grid.myrow(), nprow))] =
                b[static_cast<size_t>(i)];
    MPI_Allreduce(MPI_IN_PLACE, x.data(), 2 * N, MPI_DOUBLE, MPI_SUM, dist_comm());
    return 0;
}

// The radiated power with the rows of directions shared out over the ranks;
// the terms are summed in the same order as on one process.
double prad_spread(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur) {
    std::vector<double> terms(static_cast<size_t>(kPradRows) * kPradRowLen);
    int lo = 0, hi = 0;
    dist_share(kPradRows, lo, hi);
    prad_terms(m, mesh, freq_hz, cur, lo, hi,
               terms.data() + static_cast<size_t>(lo) * static_cast<size_t>(kPradRowLen));
    dist_allgather(terms.data(), kPradRows, kPradRowLen);
    return prad_sum(terms);
}

} // namespace

int dist_radiated(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                  FreqResult& r, std::string& err) {
    const double prad = dist_size() == 1 ? prad_integrate(m, mesh, freq_hz, cur)
                                         : prad_spread(m, mesh, freq_hz, cur);
    return solve_radiated(prad, r, err);
}

int dist_solve_freq(const Model& m, const Mesh& mesh, double freq_hz, std::vector<cplx>& cur,
                    FreqResult& res, int want_prad, std::vector<cplx>* src_cur, std::string& err,
                    bool spread) {
    if (dist_size() == 1 && !spread)
        return solve_freq(m, mesh, freq_hz, cur, res, want_prad, src_cur, err);

    std::vector<cplx> x, isrc;
    FreqResult r;
    int rc = 0;
    if (spread) {
        LineNet net;
        rc = solve_prepare(m, mesh, freq_hz, net, err);
        if (rc == 0) rc = solve_spread(m, mesh, freq_hz, net, x, err);
        // Every rank holds the same solution, so the figures agree too.
        if (rc == 0) rc = solve_figures(m, freq_hz, net, x, r, isrc, err);
    } else {
        if (dist_root()) rc = solve_freq(m, mesh, freq_hz, x, r, 0, &isrc, err);
        rc = dist_agree(rc, err);
        if (rc == 0) {
            dist_bcast_cplx(x, 0);
            dist_bcast_cplx(isrc, 0);
            dist_bcast_record(r, 0);
        }
    }
    if (rc != 0) return rc;

    if (want_prad) {
        const int prc = dist_radiated(m, mesh, freq_hz, x, r, err);
        if (prc != 0) return prc;
    }
    cur = std::move(x);
    res = r;
    if (src_cur) *src_cur = isrc;
    return 0;
}

void dist_pattern_grid(const Model& m, const Mesh& mesh, double freq_hz,
                       const std::vector<cplx>& cur, double pin, int nth, int nph, double dth,
                       double dph, float* gt, float* gv, float* gh, float* gr, float* gl) {
    if (dist_size() == 1) {
        pattern_grid(m, mesh, freq_hz, cur, pin, nth, nph, dth, dph, gt, gv, gh, gr, gl);
        return;
    }
    if (nth <= 0 || nph <= 0) return;
    int lo = 0, hi = 0;
    dist_share(nth, lo, hi);
    const FfArrays fa = ff_arrays(mesh, cur);
    PatternArgs args{&m, &fa, freq_hz, pin, dth, dph, nph, gt, gv, gh, gr, gl};
    par_for_sized(hi - lo, pat_row_ns(m, fa, nph), [&](int i) { pat_row(lo + i, &args); });
    // Without gr neither circular channel is written (pattern_grid's rule).
    for (float* a : {gt, gv, gh, gr ? gr : nullptr, gr ? gl : nullptr})
        if (a) dist_gather_root(a, nth, nph);
}
