#include "dish/surface.h"

#include <algorithm>
#include <cassert>
#include <cmath>

int dish_ceil(double x) {
    assert(std::isfinite(x) && x < 2147483647.0);
    double c = std::ceil(x - 1e-9 * std::max(1.0, x));
    return c < 1 ? 1 : static_cast<int>(c);
}

int dish_ring_count(double D, double lambda) {
    return std::max(kDishMinRings, dish_ceil((D / 2) / (kDishStepPerLambda * lambda)));
}

double dish_point_count(double D, double lambda) {
    const double step = kDishStepPerLambda * lambda;
    const double x = (D / 2) / step;
    // Beyond a million rings only the order of magnitude matters.
    if (!(x < 1e6)) return phys::pi * x * x;
    const int nr = dish_ring_count(D, lambda);
    const double dr = (D / 2) / nr;
    double n = 0;
    for (int i = 0; i < nr; ++i)
        n += std::max(kDishMinRingPoints, dish_ceil(phys::two_pi * (i + 0.5) * dr / step));
    return n;
}

DishSampling dish_surface(double D, double F, double lambda) {
    DishSampling s;
    const double step = kDishStepPerLambda * lambda;
    const int nr = dish_ring_count(D, lambda);
    s.dr = (D / 2) / nr;
    s.ring_n.resize(static_cast<size_t>(nr));
    size_t total = 0;
    for (int i = 0; i < nr; ++i) {
        const double r = (i + 0.5) * s.dr;
        s.ring_n[static_cast<size_t>(i)] =
            std::max(kDishMinRingPoints, dish_ceil(phys::two_pi * r / step));
        total += static_cast<size_t>(s.ring_n[static_cast<size_t>(i)]);
    }
    s.pts.resize(total);
    size_t p = 0;
    for (int i = 0; i < nr; ++i) {
        const double r = (i + 0.5) * s.dr;
        const int n = s.ring_n[static_cast<size_t>(i)];
        const double z = r * r / (4 * F) - F;
        const double area = s.dr * r * phys::two_pi / n;
        for (int j = 0; j < n; ++j, ++p) {
            const double phi = (j + 0.5) * phys::two_pi / n;
            DishPoint& q = s.pts[p];
            q.x = r * std::cos(phi);
            q.y = r * std::sin(phi);
            q.z = z;
            q.area = area;
        }
    }
    return s;
}

int dish_blocked(const DishSampling& s, double block) {
    int n = 0;
    for (size_t i = 0; i < s.ring_n.size(); ++i) {
        if (!((static_cast<double>(i) + 0.5) * s.dr < block / 2)) break;
        n += s.ring_n[i];
    }
    return n;
}

cplx dish_mesh_gamma(double s, double a, double lambda) {
    if (!(s > 0)) return -1.0;
    if (!(a > 0)) a = s / 50;
    const double x = phys::eta0 * (s / lambda) * std::max(0.0, std::log(s / (phys::two_pi * a)));
    return -1.0 / cplx(1.0, 2 * x / phys::eta0);
}
