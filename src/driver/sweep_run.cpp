#include "driver/sweep_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "dist/dist.h"
#include "driver/pattern_summary.h"
#include "driver/report.h"
#include "solver/solve.h"

namespace {

// Messages of a sweep shared out over the ranks: one row message from the
// owner of every point to rank 0, in the owner's point order, and one end
// message from rank 0 to every other rank, sent as soon as the outcome is
// known (at the first failing point, so that the others stop early).
constexpr int kTagRow = 101;
constexpr int kTagEnd = 102;

// The rc of a point that its rank left unsolved, after a failure.
constexpr int kSkipped = 1;

struct Row {
    int rc = 0;
    FreqResult r;
    std::string err;
};

// Every rank runs the same binary on the same kind of machine, so the
// record travels as its bytes.
static_assert(std::is_trivially_copyable_v<FreqResult>);

std::string pack(const Row& row) {
    std::string s(sizeof(int) + sizeof(FreqResult), '\0');
    std::memcpy(s.data(), &row.rc, sizeof(int));
    std::memcpy(s.data() + sizeof(int), &row.r, sizeof(FreqResult));
    return s + row.err;
}

Row unpack(const std::string& s) {
    Row row;
    if (s.size() < sizeof(int) + sizeof(FreqResult)) {
        row.rc = kSolveBadInput;
        row.err = "a sweep row arrived cut short";
        return row;
    }
    std::memcpy(&row.rc, s.data(), sizeof(int));
    std::memcpy(&row.r, s.data() + sizeof(int), sizeof(FreqResult));
    row.err = s.substr(sizeof(int) + sizeof(FreqResult));
    return row;
}

double point_freq(const Model& m, int npts, int j) {
    return npts >= 2 ? m.fstart + j * (m.fstop - m.fstart) / (npts - 1) : m.f0;
}

void print_failure(int rc, const std::string& err, double f) {
    if (rc == kSolveSingular)
        std::printf("ERROR: singular matrix at %.6g MHz\n", f / 1e6);
    else
        std::printf("ERROR: %s at %.6g MHz\n", err.c_str(), f / 1e6);
    std::fflush(stdout);
}

// One point on this rank alone: solution and pattern summary.
Row solve_point(const Model& m, const Mesh& mesh, double f, std::vector<cplx>& cur) {
    Row row;
    row.rc = solve_freq(m, mesh, f, cur, row.r, 0, nullptr, row.err);
    if (row.rc == 0) pattern_summary(m, mesh, f, cur, row.r.pin, row.r, nullptr, nullptr);
    return row;
}

// Every point in turn, by every rank together (or by the only rank). The
// last point at exactly the design frequency goes into *design as well.
int sweep_together(const RunOptions& opt, const Model& m, const Mesh& mesh, bool spread,
                   RunResults& res, std::string& err, DesignPoint* design) {
    const int npts = static_cast<int>(res.sweep.size());
    int last_f0 = -1;
    if (design)
        for (int j = 0; j < npts; ++j)
            if (point_freq(m, npts, j) == m.f0) last_f0 = j;
    for (int j = 0; j < npts; ++j) {
        const double f = point_freq(m, npts, j);
        FreqResult& r = res.sweep[static_cast<size_t>(j)];
        const bool keep = j == last_f0;
        std::vector<cplx> isrc;
        const int rc =
            dist_solve_freq(m, mesh, f, res.cur, r, 0, keep ? &isrc : nullptr, err, spread);
        if (rc != 0) {
            print_failure(rc, err, f);
            return EXIT_SOLVE;
        }
        if (keep) {
            DesignPoint& d = *design;
            pattern_summary_ranks(m, mesh, f, res.cur, r.pin, r, &d.bwaz, &d.bwel, &d.bwel_horizon);
            d.have = true;
            d.index = j;
            d.cur = res.cur;
            d.src_cur = std::move(isrc);
            d.r = r;
        } else {
            pattern_summary_ranks(m, mesh, f, res.cur, r.pin, r, nullptr, nullptr);
        }
        if (!opt.quiet) report_sweep_row(r);
    }
    return EXIT_OK;
}

// A rank other than 0: its points in ascending order, each row sent to
// rank 0 at once; after a failure, its own or one that rank 0 announces,
// the remaining points are only marked as skipped.
int sweep_worker(const Model& m, const Mesh& mesh, int npts) {
    const int me = dist_rank(), size = dist_size();
    std::vector<cplx> cur;
    bool got_end = false, stop = false;
    int end_code = EXIT_OK;
    auto receive_end = [&]() {
        const std::string msg = dist_recv(0, kTagEnd);
        std::memcpy(&end_code, msg.data(), std::min(msg.size(), sizeof(int)));
        got_end = true;
    };
    for (int j = me; j < npts; j += size) {
        if (!got_end && dist_poll(0, kTagEnd)) {
            receive_end();
            stop = true;
        }
        Row row;
        if (stop) {
            row.rc = kSkipped;
        } else {
            row = solve_point(m, mesh, point_freq(m, npts, j), cur);
            if (row.rc != 0) stop = true; // no later point of this rank is printed
        }
        dist_send(0, kTagRow, pack(row));
    }
    if (!got_end) receive_end();
    return end_code;
}

// Rank 0: its own points, with the rows of every rank printed in order in
// between as far as they have arrived; then the rest of the rows as they
// come. At the first failing point (in frequency order) every rank is told
// to stop, and the rows still on their way are received and dropped.
int sweep_leader(const RunOptions& opt, const Model& m, const Mesh& mesh, RunResults& res,
                 std::string& err) {
    const int size = dist_size();
    const int npts = static_cast<int>(res.sweep.size());
    std::vector<int> state(static_cast<size_t>(npts), 0); // 1 = row here
    std::vector<Row> rows(static_cast<size_t>(npts));
    std::vector<int> pending(static_cast<size_t>(size), 0); // row messages still to come
    for (int j = 0; j < npts; ++j)
        if (j % size != 0) ++pending[static_cast<size_t>(j % size)];
    int next = 0;       // next row to print
    int failed_at = -1; // first failing point, once printed

    auto end_all = [&](int code) {
        std::string msg(sizeof(int), '\0');
        std::memcpy(msg.data(), &code, sizeof(int));
        for (int r = 1; r < size; ++r) dist_send(r, kTagEnd, msg);
    };
    // Prints the rows in order while they are here; with wait, waits for
    // the rows of the other ranks. Stops at the first failure.
    auto print_ready = [&](bool wait) {
        while (next < npts && failed_at < 0) {
            const size_t k = static_cast<size_t>(next);
            const int owner = next % size;
            if (!state[k] && owner != 0) {
                if (!wait && !dist_poll(owner, kTagRow)) return;
                rows[k] = unpack(dist_recv(owner, kTagRow));
                --pending[static_cast<size_t>(owner)];
                state[k] = 1;
            }
            if (!state[k]) return; // rank 0's own point, not solved yet
            if (rows[k].rc != 0) {
                failed_at = next;
                err = rows[k].err;
                print_failure(rows[k].rc, err, point_freq(m, npts, next));
                end_all(EXIT_SOLVE);
                return;
            }
            res.sweep[k] = rows[k].r;
            if (!opt.quiet) report_sweep_row(res.sweep[k]);
            ++next;
        }
    };

    bool own_failed = false;
    for (int j = 0; j < npts && failed_at < 0 && !own_failed; j += size) {
        rows[static_cast<size_t>(j)] = solve_point(m, mesh, point_freq(m, npts, j), res.cur);
        state[static_cast<size_t>(j)] = 1;
        own_failed = rows[static_cast<size_t>(j)].rc != 0;
        print_ready(false);
    }
    print_ready(true);
    // Every message sent to rank 0 is received, also after a failure.
    for (int r = 1; r < size; ++r)
        while (pending[static_cast<size_t>(r)] > 0) {
            dist_recv(r, kTagRow);
            --pending[static_cast<size_t>(r)];
        }
    if (failed_at >= 0) return EXIT_SOLVE;
    end_all(EXIT_OK);
    return EXIT_OK;
}

} // namespace

int sweep_run(const RunOptions& opt, const Model& m, const Mesh& mesh, bool spread, RunResults& res,
              std::string& err, DesignPoint* design) {
    const int npts = m.nfreq >= 2 ? m.nfreq : 1;
    res.sweep.assign(static_cast<size_t>(npts), FreqResult{});
    if (design) *design = DesignPoint{};
    if (!opt.quiet) report_sweep_head();
    if (dist_size() == 1 || spread) return sweep_together(opt, m, mesh, spread, res, err, design);
    if (!dist_root()) return sweep_worker(m, mesh, npts);
    return sweep_leader(opt, m, mesh, res, err);
}
