// The program's only concurrency: one parallel loop over an index range.
//
// par_for(n, fn, ctx) calls fn(i, ctx) for every i in 0..n-1 and returns when
// all calls have finished. Workers (one per processor unless set_threads
// says otherwise, never more than n, at most 64) pull indices one at a time
// from a shared atomic counter; the calling thread only creates and joins
// them. With one worker the loop runs on the calling thread in ascending
// order. Calls are never nested; every body writes only its own outputs.
#pragma once

#include <functional>
#include <type_traits>

using ParFn = void (*)(int index, void* ctx);

constexpr int kMaxWorkers = 64;

// Sets the worker count; 0 or less restores one worker per processor.
void set_threads(int n);
// The worker count par_for uses for a loop of n indices (the rule above).
int par_workers(int n);

void par_for(int n, ParFn fn, void* ctx);

// Convenience form for a callable body: par_for(n, [&](int i) { ... }).
template <class F> void par_for(int n, F&& body) {
    using Body = std::remove_reference_t<F>;
    par_for(
        n, [](int i, void* c) { (*static_cast<Body*>(c))(i); },
        const_cast<void*>(static_cast<const void*>(&body)));
}

// Work shared by the workers of one call.
struct WorkRange;
int pf_worker(WorkRange* w);

// The loop proper with an explicit worker count and a thread starter, so
// that a failure to start a thread can be exercised. start(w) launches one
// worker running pf_worker(w) and returns false when no thread could be
// created; join_all() waits for every worker it started.
struct ThreadStarter {
    std::function<bool(WorkRange*)> start;
    std::function<void()> join_all;
};
void par_for_with(int n, ParFn fn, void* ctx, int workers, ThreadStarter& starter);
