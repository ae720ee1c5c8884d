#include "dish/feed.h"

#include <cmath>

double dish_feed_amp(double q) {
    return std::sqrt((2 * q + 1) * phys::two_eta0 / phys::two_pi);
}

void dish_feed_field(double amp, double q, double theta, double phi, cplx& eth, cplx& eph) {
    const double off = phys::pi - theta; // angle off the feed axis -z
    if (!(off < phys::pi / 2)) {
        eth = 0;
        eph = 0;
        return;
    }
    const double s = std::sin(theta), c = std::cos(theta);
    const double sp = std::sin(phi), cp = std::cos(phi);
    double u = 1, v = 0;
    if (s > 1e-12) {
        u = cp;
        v = -sp;
    }
    const double e[3] = {-c * u * u + v * v, u * v * (1 + c), u * s};
    const double th[3] = {c * cp, c * sp, -s};
    const double ph[3] = {-sp, cp, 0};
    const double a = amp * std::pow(std::cos(off), q);
    eth = a * (e[0] * th[0] + e[1] * th[1] + e[2] * th[2]);
    eph = a * (e[0] * ph[0] + e[1] * ph[1]);
}
