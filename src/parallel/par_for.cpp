#include "parallel/par_for.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <vector>

struct WorkRange {
    ParFn fn;
    void* ctx;
    int n;
    std::atomic<int> next;
};

namespace {
int g_threads = 0; // 0 = one worker per processor

bool default_spawn(std::function<void()> body, std::thread& out) {
    try {
        out = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

} // namespace

void set_threads(int n) {
    g_threads = n > 0 ? n : 0;
}

int par_workers(int n) {
    // The processor count, read once: the library reads it from /sys on
    // every call.
    static const int processors = [] {
        const unsigned hw = std::thread::hardware_concurrency();
        return hw > 0 ? static_cast<int>(hw) : 1;
    }();
    int t = g_threads;
    if (t <= 0) t = processors;
    t = std::min(t, n);
    return std::min(t, kMaxWorkers);
}

int par_workers_for(int n, double ns_per_index) {
    const int w = par_workers(n);
    const double shares = static_cast<double>(n) * ns_per_index / kParMinWorkNs;
    if (!(shares < w)) return w; // also when the estimate is not a number
    return std::max(1, static_cast<int>(shares));
}

int pf_worker(WorkRange* w) {
    for (;;) {
        int i = w->next.fetch_add(1);
        if (i >= w->n) return 0;
        w->fn(i, w->ctx);
    }
}

// The pool's threads sleep on `wake` until the generation count moves on;
// a loop publishes its range under the mutex, bumps the generation and
// wakes them. Helper k (0-based) joins the loop when k < helpers and the
// range is still open, and counts itself off in `active` when it is done.
// The calling thread works on the range too; when the range runs out it
// closes it (a helper woken later finds nothing to join and goes back to
// sleep) and sleeps on `done` until no helper is still inside. So a helper
// the scheduler has not run yet never holds a loop back. Nothing spins.
struct WorkerPool::State {
    ThreadSpawn spawn;
    std::mutex busy; // held by the thread running a loop, for the whole loop
    std::mutex m;    // guards the fields below
    std::condition_variable wake, done;
    std::vector<std::thread> threads;
    std::uint64_t gen = 0;
    WorkRange* job = nullptr; // the open range, or none
    int helpers = 0;
    int active = 0; // helpers inside the range
    bool stop = false;

    void worker(int id, std::uint64_t seen) {
        std::unique_lock<std::mutex> lk(m);
        for (;;) {
            wake.wait(lk, [&] { return stop || gen != seen; });
            if (stop) return;
            seen = gen;
            if (id >= helpers || !job) continue;
            WorkRange* w = job;
            ++active;
            lk.unlock();
            pf_worker(w);
            lk.lock();
            if (--active == 0) done.notify_one();
        }
    }

    // Closes the range and waits until no helper is inside it.
    void close_and_wait() {
        std::unique_lock<std::mutex> lk(m);
        job = nullptr;
        done.wait(lk, [&] { return active == 0; });
    }
};

WorkerPool::WorkerPool(ThreadSpawn spawn) : st_(std::make_unique<State>()) {
    st_->spawn = spawn ? std::move(spawn) : ThreadSpawn(default_spawn);
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lk(st_->m);
        st_->stop = true;
    }
    st_->wake.notify_all();
    for (std::thread& t : st_->threads)
        if (t.joinable()) t.join();
}

int WorkerPool::threads() const {
    std::lock_guard<std::mutex> lk(st_->m);
    return static_cast<int>(st_->threads.size());
}

void WorkerPool::run(int n, ParFn fn, void* ctx, int workers) {
    if (n <= 0) return;
    State& s = *st_;
    std::unique_lock<std::mutex> busy(s.busy, std::try_to_lock);
    if (std::min(workers, n) <= 1 || !busy.owns_lock()) {
        for (int i = 0; i < n; ++i) fn(i, ctx);
        return;
    }
    WorkRange w{fn, ctx, n, {0}};
    {
        std::lock_guard<std::mutex> lk(s.m);
        int want = std::min(workers, n) - 1;
        while (static_cast<int>(s.threads.size()) < want) {
            const int id = static_cast<int>(s.threads.size());
            const std::uint64_t g = s.gen;
            std::thread t;
            if (!s.spawn([&s, id, g] { s.worker(id, g); }, t)) break;
            s.threads.push_back(std::move(t));
        }
        s.helpers = std::min(want, static_cast<int>(s.threads.size()));
        s.job = &w;
        ++s.gen;
    }
    s.wake.notify_all();
    // The calling thread takes indices too; whatever its body throws waits
    // until the helpers are off the range, which lives in this frame.
    try {
        pf_worker(&w);
    } catch (...) {
        s.close_and_wait();
        throw;
    }
    s.close_and_wait();
}

namespace {
WorkerPool& process_pool() {
    static WorkerPool pool;
    return pool;
}
} // namespace

void par_for(int n, ParFn fn, void* ctx) {
    if (n <= 0) return;
    process_pool().run(n, fn, ctx, par_workers(n));
}

void par_for_sized(int n, double ns_per_index, ParFn fn, void* ctx) {
    if (n <= 0) return;
    process_pool().run(n, fn, ctx, par_workers_for(n, ns_per_index));
}
