// The parallel loop: every index exactly once, the worker-count rule, the
// serial cases, and a loop whose threads cannot all be created.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// A thread starter that creates real threads but refuses after `allow` of them.
struct FlakyStarter {
    int allow = 0;
    int attempts = 0;
    bool joined = false;
    std::vector<std::thread> threads;
    ThreadStarter starter() {
        return ThreadStarter{[this](WorkRange* w) {
                                 ++attempts;
                                 if (static_cast<int>(threads.size()) >= allow) return false;
                                 threads.emplace_back(pf_worker, w);
                                 return true;
                             },
                             [this]() {
                                 for (auto& t : threads) t.join();
                                 joined = true;
                             }};
    }
};

TEST_F(ParFor, ThreadsThatCannotBeCreatedLeaveNoIndexUndone) {
    // None, some or all of four workers start; every index still runs once and
    // every started worker has ended when the loop returns.
    for (int allow : {0, 1, 3, 4}) {
        FlakyStarter fs;
        fs.allow = allow;
        ThreadStarter st = fs.starter();
        const int n = 5000;
        Counts c(n);
        par_for_with(n, Counts::bump, &c, 4, st);
        EXPECT_TRUE(c.each_once()) << "allow=" << allow;
        EXPECT_TRUE(fs.joined);
        EXPECT_EQ(static_cast<int>(fs.threads.size()), allow);
        for (auto& t : fs.threads) EXPECT_FALSE(t.joinable());
    }
}

TEST_F(ParFor, NoThreadIsStartedForOneWorker) {
    FlakyStarter fs;
    fs.allow = 4;
    ThreadStarter st = fs.starter();
    Counts c(10);
    par_for_with(10, Counts::bump, &c, 1, st);
    EXPECT_TRUE(c.each_once());
    EXPECT_EQ(fs.attempts, 0);
}

} // namespace
