#include "dish/cuts.h"

#include <algorithm>

#include "common/constants.h"

namespace {

// The coarse run: 40, 40.5, ... 180 degrees.
constexpr int kCoarseCuts = 281;

} // namespace

std::vector<double> dish_cut_angles(double D, double lambda) {
    std::vector<double> th;
    const double tb = 1.2 * lambda / D / phys::deg;
    // A small dish (below about 4.6 wavelengths) would run past 180
    // degrees, where the cut comes back round the other side and a beam
    // width could exceed 360 degrees: the fine run stops at 180.
    for (int j = 0; static_cast<int>(th.size()) < kDishMaxCuts - kCoarseCuts; ++j) {
        double t = j * tb / 40;
        if (!(t < 12 * tb - 1e-9) || t > 180 + 1e-9) break;
        th.push_back(t);
    }
    if (12 * tb < 39.999999999)
        for (int j = 0; static_cast<int>(th.size()) < kDishMaxCuts - kCoarseCuts; ++j) {
            double t = 12 * tb + j * tb / 10;
            if (!(t < 39.999999999)) break;
            th.push_back(t);
        }
    for (int j = 0; j < kCoarseCuts; ++j) th.push_back(40 + 0.5 * j);
    return th;
}

void cut_stats(const double* theta, const float* g, int n, double& hpbw, double& sll) {
    hpbw = 0;
    sll = 0;
    if (n < 1) return;
    const double a = g[0];
    // 3-dB point.
    int i = 1;
    while (i < n && !(g[i] <= a - 3)) ++i;
    if (i < n)
        hpbw =
            2 * (theta[i - 1] + (a - 3 - g[i - 1]) * (theta[i] - theta[i - 1]) / (g[i] - g[i - 1]));
    // First null: the first local minimum from there on.
    int k = i;
    if (i <= n - 2) {
        k = n - 1;
        for (int j = i; j <= n - 2; ++j)
            if (g[j - 1] > g[j] && g[j + 1] >= g[j]) {
                k = j;
                break;
            }
    }
    // First side lobe: the largest level up to the first local maximum
    // below 60 degrees.
    double m = -400;
    for (int l = k; l < n && theta[l] < 60; ++l) {
        m = std::max(m, static_cast<double>(g[l]));
        if (l > k + 2 && g[l - 1] > g[l] && g[l - 1] >= g[l - 2] && m > -300) break;
    }
    if (m > -300) sll = m - a;
}
