// Reflector runs for the tests: an analytic feed at a wavelength of 1 m, or
// a solved half-wave dipole at the focus.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dish/dish.h"
#include "mesh/mesh.h"
#include "model/model.h"
#include "solver/solve.h"
#include "test_support.h"

namespace dishfix {

constexpr double kC = 299792458.0;
constexpr double kPi = 3.141592653589793;

struct Dish {
    double d = 10;                          // diameter, wavelengths (lambda = 1 m)
    double fd = 0.4;                        // F/D
    double q = 2;                           // 0: the wire feed
    double block = 0, mesh = 0, wire_r = 0; // m
};

inline Model dish_model(const Dish& s) {
    Model m;
    m.f0 = kC; // lambda = 1 m
    m.dish = 1;
    m.dish_d = s.d;
    m.dish_f = s.fd * s.d;
    m.dish_q = s.q;
    m.dish_block = s.block;
    m.dish_mesh = s.mesh;
    m.dish_wire_r = s.wire_r;
    return m;
}

// The analytic feed: no wire antenna is needed.
inline DishResult analytic(const Dish& s) {
    Model m = dish_model(s);
    Mesh mesh;
    std::vector<cplx> cur;
    DishResult r;
    std::string err;
    EXPECT_EQ(dish_solve(m, mesh, m.f0, cur, 0, 0, r, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                         nullptr, nullptr, err),
              0)
        << err;
    return r;
}

// A half-wave dipole along x at the focus, solved at lambda = 1 m.
struct WireFeed {
    Model m;
    Mesh mesh;
    std::vector<cplx> cur;
    FreqResult fr;
};

inline WireFeed dipole_feed(const Dish& s, const char* ground = "") {
    WireFeed w;
    std::string text = cat({"FREQ 299.792458\nWIRE -0.235 0 0 0.235 0 0 r=0.0005 name=feed\n"
                            "SOURCE feed 50\n",
                            ground, "\nEND\n"});
    std::string err;
    model_clear_overrides();
    EXPECT_EQ(model_read(write_file("feed.ant", text), w.m, err), 0) << err;
    Model d = dish_model(s);
    w.m.dish = 1;
    w.m.dish_d = d.dish_d;
    w.m.dish_f = d.dish_f;
    w.m.dish_q = 0;
    w.m.dish_block = d.dish_block;
    w.m.dish_mesh = d.dish_mesh;
    w.m.dish_wire_r = d.dish_wire_r;
    EXPECT_EQ(mesh_build(w.m, w.mesh, w.m.f0, err), 0) << err;
    EXPECT_EQ(solve_freq(w.m, w.mesh, w.m.f0, w.cur, w.fr, 1, nullptr, err), 0) << err;
    return w;
}

inline DishResult wire_dish(const WireFeed& w, double prad) {
    DishResult r;
    std::string err;
    EXPECT_EQ(dish_solve(w.m, w.mesh, w.m.f0, w.cur, w.fr.pin, prad, r, 0, 0, 0, 0, nullptr,
                         nullptr, nullptr, nullptr, nullptr, err),
              0)
        << err;
    return r;
}

// Index of a cut angle (degrees) in the list, or -1.
inline int cut_index(const DishResult& r, double deg) {
    for (int i = 0; i < r.ncut; ++i)
        if (std::abs(r.cut_th[static_cast<size_t>(i)] - deg) < 1e-9) return i;
    return -1;
}

} // namespace dishfix
