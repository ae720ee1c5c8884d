// The build without MPI: a run is a job of one rank.
#include <cassert>

#include "dist/dist.h"
#include "solver/pattern.h"

DistSession::DistSession(int&, char**&) {}
DistSession::~DistSession() = default;

const char* dist_backend() {
    return "none";
}

int dist_rank() {
    return 0;
}

int dist_size() {
    return 1;
}

void dist_solo() {}

int dist_exit_code(int rc) {
    return rc;
}

int dist_agree(int rc, std::string&) {
    return rc;
}

void dist_share(int count, int& lo, int& hi) {
    lo = 0;
    hi = count > 0 ? count : 0;
}

void dist_allgather(double*, int, int) {}

void dist_gather_root(float*, int, int) {}

// A job of one rank has nobody to talk to.
void dist_send(int, int, const std::string&) {
    assert(false);
}

bool dist_poll(int, int) {
    return false;
}

std::string dist_recv(int, int) {
    assert(false);
    return {};
}

bool dist_spread_wanted(int) {
    return false;
}

int dist_radiated(const Model& m, const Mesh& mesh, double freq_hz, const std::vector<cplx>& cur,
                  FreqResult& r, std::string& err) {
    return solve_radiated(prad_integrate(m, mesh, freq_hz, cur), r, err);
}

int dist_solve_freq(const Model& m, const Mesh& mesh, double freq_hz, std::vector<cplx>& cur,
                    FreqResult& res, int want_prad, std::vector<cplx>* src_cur, std::string& err,
                    bool) {
    return solve_freq(m, mesh, freq_hz, cur, res, want_prad, src_cur, err);
}

void dist_pattern_grid(const Model& m, const Mesh& mesh, double freq_hz,
                       const std::vector<cplx>& cur, double pin, int nth, int nph, double dth,
                       double dph, float* gt, float* gv, float* gh, float* gr, float* gl) {
    pattern_grid(m, mesh, freq_hz, cur, pin, nth, nph, dth, dph, gt, gv, gh, gr, gl);
}
