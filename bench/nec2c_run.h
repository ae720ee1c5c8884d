// Timing nec2c beside Quarlin: the benchmarks that compare with it write a
// deck, run nec2c on it in the benchmark loop and record nec2c's own
// matrix timing line.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline const char* kNec2c = "/usr/bin/nec2c";

// True when nec2c is installed; otherwise the benchmark is skipped with a
// message.
inline bool nec2c_present(benchmark::State& st) {
    if (std::filesystem::exists(kNec2c)) return true;
    st.SkipWithError("nec2c is not installed");
    return false;
}

// Runs nec2c on deck once per iteration, its output into out, and sets the
// counters fill_ms and factor_ms from its "FILL: 470 msec  FACTOR: 5830
// msec" line (processor time, 10 ms steps).
inline void nec2c_run(benchmark::State& st, const std::filesystem::path& deck,
                      const std::filesystem::path& out) {
    const std::string cmd =
        std::string(kNec2c) + " -i " + deck.string() + " -o " + out.string() + " > /dev/null 2>&1";
    for (auto _ : st) {
        if (std::system(cmd.c_str()) != 0) st.SkipWithError("nec2c failed");
    }
    std::ifstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        double fill_ms = 0, factor_ms = 0;
        const size_t at = line.find("FILL:");
        if (at != std::string::npos &&
            std::sscanf(line.c_str() + at, "FILL: %lf msec FACTOR: %lf msec", &fill_ms,
                        &factor_ms) == 2) {
            st.counters["fill_ms"] = fill_ms;
            st.counters["factor_ms"] = factor_ms;
        }
    }
}
