// The program's only concurrency: one parallel loop over an index range.
//
// par_for(n, fn, ctx) calls fn(i, ctx) for every i in 0..n-1 and returns when
// all calls have finished. Workers (one per processor unless set_threads
// says otherwise, never more than n, at most 64) pull indices one at a time
// from a shared atomic counter. The calling thread is one of the workers;
// the others are threads that persist from one loop to the next, parked on
// a condition variable (not spinning) in between. With one worker the loop
// runs on the calling thread in ascending order. Calls are never nested;
// every body writes only its own outputs. A call made while another loop is
// running (a nested call, or one from a second thread) runs on its calling
// thread alone.
#pragma once

#include <functional>
#include <memory>
#include <thread>
#include <type_traits>

using ParFn = void (*)(int index, void* ctx);

constexpr int kMaxWorkers = 64;

// Total work (ns) that pays for one more worker: waking a parked thread and
// waiting for it costs some tens of microseconds.
constexpr double kParMinWorkNs = 50e3;

// Sets the worker count; 0 or less restores one worker per processor.
void set_threads(int n);
// The worker count par_for uses for a loop of n indices (the rule above).
int par_workers(int n);
// The same for a loop whose indices cost about ns_per_index each: no more
// workers than the loop has shares of kParMinWorkNs, and at least one.
int par_workers_for(int n, double ns_per_index);

void par_for(int n, ParFn fn, void* ctx);
// A loop that runs on fewer workers, or on the calling thread alone, when
// its work (n * ns_per_index) is too small to be worth splitting.
void par_for_sized(int n, double ns_per_index, ParFn fn, void* ctx);

// Convenience forms for a callable body: par_for(n, [&](int i) { ... }).
template <class F> void par_for(int n, F&& body) {
    using Body = std::remove_reference_t<F>;
    par_for(
        n, [](int i, void* c) { (*static_cast<Body*>(c))(i); },
        const_cast<void*>(static_cast<const void*>(&body)));
}
template <class F> void par_for_sized(int n, double ns_per_index, F&& body) {
    using Body = std::remove_reference_t<F>;
    par_for_sized(
        n, ns_per_index, [](int i, void* c) { (*static_cast<Body*>(c))(i); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

// Work shared by the workers of one loop.
struct WorkRange;
// Takes indices from the range until none are left; returns 0.
int pf_worker(WorkRange* w);

// Starts a thread running body; returns false when none could be created.
using ThreadSpawn = std::function<bool(std::function<void()> body, std::thread& out)>;

// Worker threads that persist between loops. par_for uses one for the whole
// process; tests make their own, with a spawn function that may fail.
class WorkerPool {
  public:
    explicit WorkerPool(ThreadSpawn spawn = {});
    ~WorkerPool(); // ends and joins every thread
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs fn(i, ctx) for every i in 0..n-1 on the calling thread and up to
    // workers - 1 pool threads, started on first need. Threads that cannot
    // be started leave their share to the others; when a loop is already
    // running (a nested call or a second calling thread) this one runs on
    // its calling thread alone. Returns when every index has run; a pool
    // thread that has not begun on the loop by then (not yet scheduled)
    // does not delay it and sits this loop out.
    void run(int n, ParFn fn, void* ctx, int workers);
    // Threads started so far.
    int threads() const;

  private:
    struct State;
    std::unique_ptr<State> st_;
};
