#include "parallel/par_for.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

struct WorkRange {
    ParFn fn;
    void* ctx;
    int n;
    std::atomic<int> next;
};

namespace {
int g_threads = 0; // 0 = one worker per processor
}

void set_threads(int n) {
    g_threads = n > 0 ? n : 0;
}

int par_workers(int n) {
    int t = g_threads;
    if (t <= 0) {
        unsigned hw = std::thread::hardware_concurrency();
        t = hw > 0 ? static_cast<int>(hw) : 1;
    }
    t = std::min(t, n);
    return std::min(t, kMaxWorkers);
}

int pf_worker(WorkRange* w) {
    for (;;) {
        int i = w->next.fetch_add(1);
        if (i >= w->n) return 0;
        w->fn(i, w->ctx);
    }
}

void par_for_with(int n, ParFn fn, void* ctx, int workers, ThreadStarter& starter) {
    if (n <= 0) return;
    if (workers <= 1) {
        for (int i = 0; i < n; ++i) fn(i, ctx);
        return;
    }
    WorkRange w{fn, ctx, n, {0}};
    int started = 0;
    for (int k = 0; k < workers; ++k) {
        if (!starter.start(&w)) break;
        ++started;
    }
    // A worker that could not be created leaves its share to the others;
    // when none started at all the calling thread drains the counter.
    // Either way every index has run and no worker is left when we return.
    if (started < workers) pf_worker(&w);
    starter.join_all();
}

void par_for(int n, ParFn fn, void* ctx) {
    if (n <= 0) return;
    int workers = par_workers(n);
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(std::max(workers, 0)));
    ThreadStarter starter{[&threads](WorkRange* w) {
                              try {
                                  threads.emplace_back(pf_worker, w);
                                  return true;
                              } catch (const std::system_error&) {
                                  return false;
                              }
                          },
                          [&threads]() {
                              for (auto& t : threads) t.join();
                          }};
    par_for_with(n, fn, ctx, workers, starter);
}
