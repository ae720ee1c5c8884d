// The first-order extrapolation of the mesh convergence check and where it
// is withheld.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/convergence.h"

namespace {

TEST(ConvEstimate, RichardsonWhereItHoldsNothingElsewhere) {
    struct Case {
        cplx z1, z2;
        double dz;
        bool given;
    };
    const Case cases[] = {
        {{70, 40}, {72, 42}, 0.035, true},     // close meshes
        {{70, 40}, {80, 46}, 0.2, true},       // at the limit of a fifth
        {{70, 40}, {80, 46}, 0.2001, false},   // just past it
        {{10, -600}, {4, -590}, 0.015, false}, // 2 Z2 - Z1 has R = -2 from two positive R
        {{-12, 30}, {-14, 31}, 0.06, true},    // a port taking power back in an array
        {{70, 40}, {72, 42}, -1, false},       // no refined mesh
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dz);
        cplx e = conv_estimate(c.z1, c.z2, c.dz);
        if (c.given) {
            EXPECT_DOUBLE_EQ(e.real(), 2 * c.z2.real() - c.z1.real());
            EXPECT_DOUBLE_EQ(e.imag(), 2 * c.z2.imag() - c.z1.imag());
        } else {
            EXPECT_TRUE(std::isnan(e.real()) && std::isnan(e.imag()));
        }
    }
}

} // namespace
