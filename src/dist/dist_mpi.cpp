// The MPI build: the job, its ranks and the messages between them.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "common/text.h"
#include "dist/dist.h"
#include "dist/dist_mpi.h"
#include "parallel/par_for.h"

namespace {

// The communicator of the run: the whole job, or rank 0 alone in the modes
// that run there only. Set by the session and dist_solo, on the main thread.
MPI_Comm g_comm = MPI_COMM_WORLD;
// Ranks of the job on this machine, for the memory and threads of each.
int g_local_ranks = 1;

// Share of count items of rank r in a run of size ranks.
int share_start(int count, int r, int size) {
    return static_cast<int>(static_cast<std::int64_t>(count) * r / size);
}

} // namespace

MPI_Comm dist_comm() {
    return g_comm;
}

DistSession::DistSession(int& argc, char**& argv) {
    // Only the main thread calls MPI; the par_for workers never do.
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    g_comm = MPI_COMM_WORLD;
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    if (rank != 0) {
        std::fflush(stdout);
        if (!std::freopen("/dev/null", "w", stdout)) std::fclose(stdout);
    }
    // The ranks on one machine share its processors.
    MPI_Comm node;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &node);
    MPI_Comm_size(node, &g_local_ranks);
    MPI_Comm_free(&node);
    if (g_local_ranks > 1) {
        const int hw = static_cast<int>(std::thread::hardware_concurrency());
        set_threads(std::max(1, hw / g_local_ranks));
    }
}

DistSession::~DistSession() {
    MPI_Finalize();
}

const char* dist_backend() {
    return "MPI";
}

int dist_rank() {
    int r = 0;
    MPI_Comm_rank(g_comm, &r);
    return r;
}

int dist_size() {
    int s = 1;
    MPI_Comm_size(g_comm, &s);
    return s;
}

void dist_solo() {
    g_comm = MPI_COMM_SELF;
}

int dist_exit_code(int rc) {
    MPI_Bcast(&rc, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return rc;
}

void dist_bcast_text(std::string& s, int root) {
    int len = static_cast<int>(s.size());
    MPI_Bcast(&len, 1, MPI_INT, root, g_comm);
    s.resize(static_cast<size_t>(len));
    if (len > 0) MPI_Bcast(s.data(), len, MPI_CHAR, root, g_comm);
}

void dist_bcast_cplx(std::vector<cplx>& v, int root) {
    int n = static_cast<int>(v.size());
    MPI_Bcast(&n, 1, MPI_INT, root, g_comm);
    v.resize(static_cast<size_t>(n));
    if (n > 0) MPI_Bcast(v.data(), 2 * n, MPI_DOUBLE, root, g_comm);
}

int dist_agree(int rc, std::string& err) {
    const int size = dist_size(), me = dist_rank();
    int mine = rc != 0 ? me : size, first = size;
    MPI_Allreduce(&mine, &first, 1, MPI_INT, MPI_MIN, g_comm);
    if (first == size) return 0;
    MPI_Bcast(&rc, 1, MPI_INT, first, g_comm);
    dist_bcast_text(err, first);
    if (first != 0) {
        err = strfmt("rank %d: %s", first, err.c_str());
        cut(err, kErrSize - 1);
    }
    return rc;
}

void dist_share(int count, int& lo, int& hi) {
    const int size = dist_size(), me = dist_rank();
    count = std::max(count, 0);
    lo = share_start(count, me, size);
    hi = share_start(count, me + 1, size);
}

namespace {

// Counts and displacements of every rank's share, in values.
void shares(int count, int width, std::vector<int>& counts, std::vector<int>& displs) {
    const int size = dist_size();
    counts.resize(static_cast<size_t>(size));
    displs.resize(static_cast<size_t>(size));
    for (int r = 0; r < size; ++r) {
        const int lo = share_start(count, r, size), hi = share_start(count, r + 1, size);
        displs[static_cast<size_t>(r)] = lo * width;
        counts[static_cast<size_t>(r)] = (hi - lo) * width;
    }
}

} // namespace

void dist_allgather(double* v, int count, int width) {
    if (dist_size() == 1 || count <= 0) return;
    std::vector<int> counts, displs;
    shares(count, width, counts, displs);
    MPI_Allgatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, v, counts.data(), displs.data(), MPI_DOUBLE,
                   g_comm);
}

void dist_gather_root(float* v, int count, int width) {
    if (dist_size() == 1 || count <= 0) return;
    std::vector<int> counts, displs;
    shares(count, width, counts, displs);
    const int me = dist_rank();
    if (me == 0) {
        MPI_Gatherv(MPI_IN_PLACE, 0, MPI_DATATYPE_NULL, v, counts.data(), displs.data(), MPI_FLOAT,
                    0, g_comm);
    } else {
        MPI_Gatherv(v + displs[static_cast<size_t>(me)], counts[static_cast<size_t>(me)], MPI_FLOAT,
                    nullptr, nullptr, nullptr, MPI_FLOAT, 0, g_comm);
    }
}

void dist_send(int to, int tag, const std::string& bytes) {
    MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, to, tag, g_comm);
}

bool dist_poll(int from, int tag) {
    int flag = 0;
    MPI_Iprobe(from, tag, g_comm, &flag, MPI_STATUS_IGNORE);
    return flag != 0;
}

std::string dist_recv(int from, int tag) {
    MPI_Status st;
    MPI_Probe(from, tag, g_comm, &st);
    int len = 0;
    MPI_Get_count(&st, MPI_BYTE, &len);
    std::string s(static_cast<size_t>(len), '\0');
    MPI_Recv(s.data(), len, MPI_BYTE, from, tag, g_comm, MPI_STATUS_IGNORE);
    return s;
}

bool dist_spread_wanted(int n) {
    if (dist_size() == 1) return false;
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0) return false;
    const double per_rank = static_cast<double>(pages) * static_cast<double>(page) /
                            static_cast<double>(std::max(g_local_ranks, 1));
    const double matrix = 16.0 * static_cast<double>(n) * static_cast<double>(n);
    return matrix > 0.5 * per_rank;
}
