// Model files that ask for absurd sizes or carry values that are not
// numbers end the run at once with exit code 2 and one message line.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

TEST(NativeLimits, HostileModelsEndWithOneLineAndExitCodeTwo) {
    struct {
        const char* line;
        const char* out;
    } cases[] = {
        {"LOOP 0 0 0 1 2000000000", "ERROR: line 4: LOOP sides must be at most 10000\n"},
        {"HELIX 0 0 0 0.1 0.05 1e9",
         "ERROR: line 4: HELIX of 1e+09 turns needs more than 100000 pieces (72 per turn)\n"},
        {"CURVE t 0 0 pieces=2000000000", "ERROR: line 4: CURVE pieces must be at most 100000\n"},
        {"HELIX 0 0 0 0.1 0.05 nan",
         "ERROR: line 4: HELIX coordinates, pitch, turns and radius must be finite numbers\n"},
        {"CURVE 0 0 1/t", "ERROR: line 4: CURVE point at t=0 is not finite\n"},
        {"PATTERN dth=1e-12",
         "ERROR: line 4: PATTERN steps must be at least 0.1 degrees (0 for no grid)\n"},
    };
    for (const auto& c : cases) {
        std::string path = write_file(
            "bad.ant", std::string("WIRE 0 0 -1 0 0 1\nSOURCE 1 50\nFREQ 14\n") + c.line + "\n");
        RunResult r = run_quarlin({path});
        EXPECT_EQ(r.code, 2) << c.line;
        EXPECT_EQ(r.out, c.out) << c.line;
    }
}

} // namespace
