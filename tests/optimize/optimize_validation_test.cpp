// The optimizer on antennas whose optimum is known independently: a dipole
// tuned for SWR ends at its resonant length, a two-element beam tuned for
// peak gain and front/back ends with a far better front/back than it
// started with.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/text.h"
#include "model/model.h"
#include "optimize/eval.h"
#include "optimize/optimize.h"
#include "test_support.h"

namespace {

// Runs the optimizer in-process and returns its console output.
std::string optimize(const std::string& model, const std::string& outdir) {
    testing::internal::CaptureStdout();
    int code = opt_main(std::vector<std::string>{"quarlin", "-opt", model, "-o", outdir});
    std::fflush(stdout);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0) << out;
    return out;
}

double value_after(const std::string& out, const std::string& key) {
    size_t at = out.find(key);
    EXPECT_NE(at, std::string::npos) << key << "\n" << out;
    return at == std::string::npos ? NAN : std::strtod(out.c_str() + at + key.size(), nullptr);
}

// Free-space dipole at 14.2 MHz, radius 1 mm, 21 segments, half-length half.
std::string dipole_text(const std::string& extra) {
    return cat({"VAR half=5.0\nFREQ 14.2\nWIRE 0 -half 0 0 half 0 r=0.001 seg=21\n"
                "SOURCE 1 50\nOPTVAR half 4.5 5.5\nGOAL swr target=1\n",
                extra});
}

TEST(OptimizeValidation, DipoleTunedForSwrEndsAtItsResonantLength) {
    // Reference: the resonant half-length from a sweep of the half-length in
    // steps of 5 mm, the zero of the reactance interpolated linearly (the
    // reactance is smooth there: the interpolation error is far below the
    // tolerance), and the feed resistance there.
    std::string sweep_model = write_file("sweep.ant", dipole_text(""));
    Model base;
    std::string err;
    model_clear_overrides();
    ASSERT_EQ(model_read(sweep_model, base, err), 0) << err;
    double h_res = 0, r_res = 0, h_prev = 0;
    OptResult prev;
    for (double h = 4.9; h <= 5.3; h += 0.005) {
        OptResult r;
        const double x[] = {h};
        ASSERT_EQ(opt_eval(r, sweep_model, base, x), 0);
        if (prev.ok && prev.zin.imag() < 0 && r.zin.imag() >= 0) {
            double a = -prev.zin.imag() / (r.zin.imag() - prev.zin.imag());
            h_res = h_prev + a * (h - h_prev);
            r_res = prev.zin.real() + a * (r.zin.real() - prev.zin.real());
            break;
        }
        prev = r;
        h_prev = h;
    }
    model_clear_overrides();
    ASSERT_GT(h_res, 0) << "no resonance between 4.9 and 5.3 m";
    // A half-wave dipole resonates a few per cent short of a free-space
    // half wavelength (10.56 m at 14.2 MHz) with about 70 ohm.
    EXPECT_NEAR(2 * h_res / 10.556, 0.96, 0.03);
    EXPECT_NEAR(r_res, 70, 8);

    // Matched to that resistance, the SWR is lowest at resonance: the
    // search must find it within 1 % of the length.
    std::string model =
        write_file("d.ant", dipole_text(strfmt("Z0 %.6g\nOPTSET pop=15 gen=20\n", r_res)));
    std::string out = optimize(model, test_dir() + "/out");
    double h_opt = value_after(out, "Optimized variables: half=");
    EXPECT_NEAR(h_opt / h_res, 1.0, 0.01) << "resonance at " << h_res << " m";
    double swr = value_after(out.substr(out.find("  swr   ")), "->");
    EXPECT_LT(swr, 1.05);
}

TEST(OptimizeValidation, TwoElementBeamGainsFrontToBack) {
    // A driven dipole and a parasitic element of the same length 3 m behind
    // it: the start has little front/back. Tuning the parasitic element's
    // length and spacing for peak gain and front/back makes it a proper
    // reflector or director.
    std::string model = write_file(
        "beam.ant", "VAR lp=10.1 sp=3\nFREQ 14.2\n"
                    "WIRE 0 -5.05 0 0 5.05 0 r=0.01 seg=15 name=drv\n"
                    "WIRE -sp -lp/2 0 -sp lp/2 0 r=0.01 seg=15\nSOURCE drv 50\n"
                    "OPTVAR lp 9.5 11.5\nOPTVAR sp 1.5 4\nGOAL gmax\nGOAL fb weight=0.5\n"
                    "OPTSET pop=10 gen=12\n");
    std::string dir = test_dir() + "/out";
    std::string out = optimize(model, dir);
    size_t row = out.find("  fb    ");
    ASSERT_NE(row, std::string::npos) << out;
    double fb_start = std::strtod(out.c_str() + row + 8, nullptr);
    double fb_opt = value_after(out.substr(row), "->");
    EXPECT_GE(fb_opt - fb_start, 10.0) << out.substr(row, 80);
    // The final run of the optimized file has that front/back (within the
    // rounding of the variables to six digits).
    nlohmann::json j = nlohmann::json::parse(read_file(dir + "/results.json"));
    EXPECT_NEAR(j["design"]["fb"].get<double>(), fb_opt, 0.05);
}

} // namespace
