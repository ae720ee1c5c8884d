// A run spread over the processes (ranks) of an MPI job,
//   mpirun -np N quarlin model [options].
//
// Every rank reads the model, builds the mesh and takes the same steps;
// rank 0 alone prints and writes files (the standard output of the other
// ranks goes to /dev/null). Sweep points are shared out over the ranks; a
// frequency whose matrix is too large for one rank, or every frequency with
// -dist, is solved by all ranks together with the matrix spread over them
// in ScaLAPACK's block-cyclic layout. Wherever a step can fail on one rank
// and not on another, the ranks agree on the outcome first, so that all of
// them end with the same message and exit code and none waits for a rank
// that has left.
//
// The build option QUARLIN_MPI brings this in; without it every function
// here acts for the only rank of a job of one, and nothing of MPI is seen.
#pragma once

#include <string>
#include <vector>

#include "common/constants.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"

// Joins the job for the lifetime of the object (MPI_Init .. MPI_Finalize):
// on ranks other than 0 standard output is silenced, and the worker threads
// of every rank are the processors of its machine shared out among the
// ranks on that machine.
class DistSession {
  public:
    DistSession(int& argc, char**& argv);
    ~DistSession();
    DistSession(const DistSession&) = delete;
    DistSession& operator=(const DistSession&) = delete;
};

// "MPI" or "none": what this build spreads a run with.
const char* dist_backend();

// This process's rank in the run, 0 .. dist_size() - 1, and the number of
// ranks taking part in it.
int dist_rank();
int dist_size();
inline bool dist_root() {
    return dist_rank() == 0;
}

// For a mode that runs on rank 0 alone (the optimizer, the validation
// mode): rank 0 goes on as a run of one rank; the caller lets the other
// ranks wait in dist_exit_code.
void dist_solo();

// The exit code that rank 0 passes, on every rank of the job. Every rank
// calls it once, last.
int dist_exit_code(int rc);

// Agreement on the outcome of a step that every rank took: returns 0 when
// every rank passed 0, else the code of the lowest rank that failed, with
// its message in err on every rank ("rank k: " put before it when k is not
// 0, for a failure that rank 0 did not see).
int dist_agree(int rc, std::string& err);

// The share [lo, hi) of count items that this rank takes: consecutive
// pieces in rank order, sizes differing by one at most.
void dist_share(int count, int& lo, int& hi);

// Every rank filled the items of its share of count items, width values
// each; afterwards every rank holds all of them.
void dist_allgather(double* v, int count, int width);

// The same with the items ending up at rank 0 only.
void dist_gather_root(float* v, int count, int width);

// Messages between two ranks: bytes, sent without waiting for the receiver,
// delivered in the order sent for the same sender and tag. dist_poll says
// whether one is waiting; dist_recv waits for it.
void dist_send(int to, int tag, const std::string& bytes);
bool dist_poll(int from, int tag);
std::string dist_recv(int from, int tag);

// Whether a system of n unknowns is spread over the ranks when -dist does
// not ask for it: when its matrix (16 n^2 bytes) would take more than half
// of the memory of one rank (the machine's memory shared by the ranks on
// it). Never in a run of one rank.
bool dist_spread_wanted(int n);

// solve_freq for every rank together. With spread the matrix is spread
// over all ranks, each filling its own blocks and none holding the whole,
// factored and solved by ScaLAPACK, and the currents are sent to every
// rank; otherwise rank 0 solves alone and sends the results to the others.
// The radiated power (want_prad) is integrated with the directions shared
// out over the ranks. Every rank returns the same code, message and results.
int dist_solve_freq(const Model& m, const Mesh& mesh, double freq_hz, std::vector<cplx>& cur,
                    FreqResult& res, int want_prad, std::vector<cplx>* src_cur, std::string& err,
                    bool spread);

// The radiated power of solved currents into r (prad, eff and agt, as
// dist_solve_freq's want_prad), the directions shared out over the ranks.
// Returns 0, or kSolveBadInput with the message in err.
int dist_radiated(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                  FreqResult& r, std::string& err);

// pattern_grid with the polar rows shared out over the ranks; the arrays
// are complete at rank 0 only.
void dist_pattern_grid(const Model& m, const Mesh& mesh, double freq_hz,
                       const std::vector<cplx>& cur, double pin, int nth, int nph, double dth,
                       double dph, float* gt, float* gv, float* gh, float* gr, float* gl);
