// The parallel loop: every index exactly once, the worker-count rule, the
// serial cases, a loop whose threads cannot all be created, workers that
// persist and park between loops.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <limits>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "parallel/par_for.h"

namespace {

// Restores the processor-count rule after each test.
class ParFor : public ::testing::Test {
  protected:
    void TearDown() override { set_threads(0); }
};

struct Counts {
    std::vector<std::atomic<int>> hits;
    explicit Counts(int n) : hits(static_cast<size_t>(n)) {}
    static void bump(int i, void* ctx) { static_cast<Counts*>(ctx)->hits[i].fetch_add(1); }
    bool each_once() const {
        for (const auto& h : hits)
            if (h.load() != 1) return false;
        return true;
    }
};

TEST_F(ParFor, EveryIndexRunsExactlyOnce) {
    for (int threads : {1, 2, 3, 8, 64, 200}) {
        set_threads(threads);
        for (int n : {1, 2, 3, 17, 1000}) {
            Counts c(n);
            par_for(n, Counts::bump, &c);
            EXPECT_TRUE(c.each_once()) << "threads=" << threads << " n=" << n;
        }
    }
}

TEST_F(ParFor, EmptyAndNegativeRangesCallNothing) {
    set_threads(4);
    int calls = 0;
    par_for(0, [&](int) { ++calls; });
    par_for(-5, [&](int) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST_F(ParFor, OneWorkerRunsInOrderOnTheCallingThread) {
    // One worker by setting, and a single index whatever the setting.
    for (int threads : {1, 8}) {
        set_threads(threads);
        const int n = threads == 1 ? 50 : 1;
        std::vector<int> order;
        std::vector<std::thread::id> ids;
        par_for(n, [&](int i) {
            order.push_back(i);
            ids.push_back(std::this_thread::get_id());
        });
        ASSERT_EQ(static_cast<int>(order.size()), n);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(order[i], i);
            EXPECT_EQ(ids[i], std::this_thread::get_id());
        }
    }
}

TEST_F(ParFor, WorkerCountRule) {
    struct Case {
        int setting, n, workers;
    };
    const Case cases[] = {
        {8, 1000, 8}, {200, 1000, 64}, {8, 3, 3}, {1, 1000, 1}, {8, 0, 0},
    };
    for (const Case& c : cases) {
        set_threads(c.setting);
        EXPECT_EQ(par_workers(c.n), c.workers) << "setting=" << c.setting << " n=" << c.n;
    }
    // 0 or less: one worker per processor, at least one, at most 64.
    for (int s : {0, -3}) {
        set_threads(s);
        int hw = static_cast<int>(std::thread::hardware_concurrency());
        int expect = std::min(std::max(hw, 1), kMaxWorkers);
        EXPECT_EQ(par_workers(1000), expect);
    }
}

TEST_F(ParFor, WorkersRunAtTheSameTime) {
    // Indices 0 and 1 wait for each other: only two concurrent workers can
    // finish them. The wait is bounded so that a serial loop fails, not hangs.
    set_threads(2);
    std::atomic<int> arrived{0};
    std::atomic<bool> met{true};
    par_for(2, [&](int) {
        arrived.fetch_add(1);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (arrived.load() < 2) {
            if (std::chrono::steady_clock::now() > until) {
                met = false;
                return;
            }
            std::this_thread::yield();
        }
    });
    EXPECT_TRUE(met.load());
}

// A spawn function that creates real threads but refuses after `allow` of them.
struct FlakySpawn {
    int allow = 0;
    int attempts = 0;
    int started = 0;
    ThreadSpawn spawn() {
        return [this](std::function<void()> body, std::thread& out) {
            ++attempts;
            if (started >= allow) return false;
            out = std::thread(std::move(body));
            ++started;
            return true;
        };
    }
};

TEST_F(ParFor, ThreadsThatCannotBeCreatedLeaveNoIndexUndone) {
    // None, some or all of four workers start; every index still runs once,
    // loop after loop, and the pool ends the threads it has.
    for (int allow : {0, 1, 2, 3}) {
        FlakySpawn fs;
        fs.allow = allow;
        {
            WorkerPool pool(fs.spawn());
            for (int loop = 0; loop < 3; ++loop) {
                const int n = 5000;
                Counts c(n);
                pool.run(n, Counts::bump, &c, 4);
                EXPECT_TRUE(c.each_once()) << "allow=" << allow << " loop=" << loop;
            }
            EXPECT_EQ(pool.threads(), allow);
        }
        EXPECT_EQ(fs.started, allow);
    }
}

TEST_F(ParFor, NoThreadIsStartedForOneWorker) {
    FlakySpawn fs;
    fs.allow = 4;
    WorkerPool pool(fs.spawn());
    Counts c(10);
    pool.run(10, Counts::bump, &c, 1);
    EXPECT_TRUE(c.each_once());
    EXPECT_EQ(fs.attempts, 0);
}

TEST_F(ParFor, WorkersPersistFromOneLoopToTheNext) {
    // 200 loops on three workers: the two helper threads are started once,
    // and every loop runs on the calling thread and those two only.
    FlakySpawn fs;
    fs.allow = 64;
    WorkerPool pool(fs.spawn());
    std::mutex mu;
    std::set<std::thread::id> ids;
    for (int loop = 0; loop < 200; ++loop) {
        auto body = [&](int) {
            std::lock_guard<std::mutex> lk(mu);
            ids.insert(std::this_thread::get_id());
        };
        pool.run(
            8, [](int i, void* c) { (*static_cast<decltype(body)*>(c))(i); }, &body, 3);
    }
    EXPECT_EQ(fs.started, 2);
    EXPECT_EQ(pool.threads(), 2);
    EXPECT_LE(ids.size(), 3u);
}

TEST_F(ParFor, AHelperNotYetRunningDoesNotHoldTheLoopBack) {
    // The helper thread is held at a gate before it can look at the pool:
    // as on a busy machine where the scheduler has not run it yet. The
    // calling thread does every index and the loop returns without it;
    // once the gate opens the helper finds the loop closed, and the next
    // loops run as usual. The wait is bounded so that a loop that waits for
    // the helper fails instead of hanging.
    std::mutex gate_m;
    std::condition_variable gate_cv;
    bool open = false;
    auto open_gate = [&] {
        std::lock_guard<std::mutex> lk(gate_m);
        open = true;
        gate_cv.notify_all();
    };
    {
        WorkerPool pool([&](std::function<void()> body, std::thread& out) {
            out = std::thread([&, body = std::move(body)] {
                std::unique_lock<std::mutex> lk(gate_m);
                gate_cv.wait(lk, [&] { return open; });
                lk.unlock();
                body();
            });
            return true;
        });
        std::atomic<bool> returned{false};
        Counts first(1000);
        std::thread caller([&] {
            pool.run(1000, Counts::bump, &first, 2);
            returned = true;
        });
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!returned.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_TRUE(returned.load()) << "the loop waited for a helper that never began";
        open_gate();
        caller.join();
        EXPECT_TRUE(first.each_once());
        for (int loop = 0; loop < 20; ++loop) {
            Counts c(500);
            pool.run(500, Counts::bump, &c, 2);
            EXPECT_TRUE(c.each_once()) << loop;
        }
        EXPECT_EQ(pool.threads(), 1);
    }
}

// Processor time of the whole process, s.
double cpu_seconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

TEST_F(ParFor, IdleWorkersDoNotSpin) {
    // After a loop on every processor the workers park: while the test
    // sleeps for 300 ms the process uses (almost) no processor time. A
    // worker that spun or yielded in a loop would use most of it.
    set_threads(4);
    Counts c(64);
    par_for(64, Counts::bump, &c);
    ASSERT_TRUE(c.each_once());
    const double t0 = cpu_seconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(cpu_seconds() - t0, 0.05);
}

TEST_F(ParFor, NestedLoopRunsOnItsCallingThread) {
    // Not something the program does, but it must not deadlock: the inner
    // loop finds the pool busy and runs serially.
    set_threads(4);
    const int n = 16, m = 16;
    std::vector<std::atomic<int>> hits(static_cast<size_t>(n * m));
    par_for(n, [&](int i) {
        const std::thread::id me = std::this_thread::get_id();
        par_for(m, [&](int j) {
            EXPECT_EQ(std::this_thread::get_id(), me);
            hits[static_cast<size_t>(i * m + j)].fetch_add(1);
        });
    });
    for (const auto& h : hits) EXPECT_EQ(h.load(), 1);
}

TEST_F(ParFor, SmallLoopsStayOnTheCallingThread) {
    // Workers by the work of the loop: none beyond the caller below one
    // share, one per share above, never more than par_workers.
    set_threads(8);
    struct Case {
        int n;
        double ns;
        int workers;
    };
    const Case cases[] = {
        {100, 10, 1},                                       // 1 us in all
        {100, kParMinWorkNs / 100 * 2.5, 2},                // two and a half shares
        {1000, kParMinWorkNs, 8},                           // plenty: the processor rule
        {3, kParMinWorkNs * 10, 3},                         // never more than n
        {100, std::numeric_limits<double>::quiet_NaN(), 8}, // no estimate
    };
    for (const Case& c : cases)
        EXPECT_EQ(par_workers_for(c.n, c.ns), c.workers) << "n=" << c.n << " ns=" << c.ns;
    std::vector<std::thread::id> ids(100);
    par_for_sized(100, 10.0,
                  [&](int i) { ids[static_cast<size_t>(i)] = std::this_thread::get_id(); });
    for (const std::thread::id& id : ids) EXPECT_EQ(id, std::this_thread::get_id());
}

} // namespace
