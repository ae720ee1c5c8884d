// The box grid behind the mesh searches: a query returns every item whose
// box meets the query box (and each item once), for fine and coarse cells,
// items spanning many cells, queries spanning many cells, boxes that only
// touch, and coordinates far from the origin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>

#include "mesh/spatial.h"

namespace {

struct Box {
    double lo[3], hi[3];
};

bool meets(const Box& a, const Box& b) {
    for (int k = 0; k < 3; ++k)
        if (a.hi[k] < b.lo[k] || b.hi[k] < a.lo[k]) return false;
    return true;
}

struct Lcg {
    uint64_t s;
    double next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(s >> 11) * (1.0 / 9007199254740992.0);
    }
};

Box random_box(Lcg& g, double offset, double span, double size) {
    Box b;
    for (int k = 0; k < 3; ++k) {
        double c = offset + span * (g.next() - 0.5);
        double h = size * g.next() * g.next() * g.next();
        b.lo[k] = c - h;
        b.hi[k] = c + h;
    }
    return b;
}

void check_queries(double cell, double offset, double span, double size, uint64_t seed) {
    Lcg g{seed};
    std::vector<Box> items;
    for (int i = 0; i < 400; ++i) items.push_back(random_box(g, offset, span, size));
    items.push_back({{offset - span, offset - span, offset - span},
                     {offset + span, offset + span, offset + span}}); // covers everything
    BoxGrid grid(cell, std::fabs(offset) + span);
    for (int i = 0; i < static_cast<int>(items.size()); ++i)
        grid.insert(i, items[static_cast<size_t>(i)].lo, items[static_cast<size_t>(i)].hi);
    std::vector<int> out;
    for (int q = 0; q < 300; ++q) {
        Box b = q % 50 == 0 ? Box{{offset - 2 * span, offset - 2 * span, offset - 2 * span},
                                  {offset + 2 * span, offset + 2 * span, offset + 2 * span}}
                            : random_box(g, offset, span, size);
        // Some queries only touch an item: its corner is the query's corner.
        if (q % 7 == 1) {
            const Box& it = items[static_cast<size_t>(q % items.size())];
            for (int k = 0; k < 3; ++k) {
                b.lo[k] = it.hi[k];
                b.hi[k] = it.hi[k] + size;
            }
        }
        out.clear();
        grid.query(b.lo, b.hi, out);
        std::set<int> got(out.begin(), out.end());
        ASSERT_EQ(got.size(), out.size()) << "an item was returned twice";
        for (int i = 0; i < static_cast<int>(items.size()); ++i) {
            if (meets(items[static_cast<size_t>(i)], b)) {
                ASSERT_TRUE(got.count(i)) << "missed " << i;
            }
        }
    }
}

TEST(BoxGrid, FindsEveryOverlappingItem) {
    check_queries(0.05, 0, 10, 0.5, 1);    // fine cells: items span many
    check_queries(1.0, 0, 10, 0.5, 2);     // cells of the items' size
    check_queries(50.0, 0, 10, 0.5, 3);    // one cell holds everything
    check_queries(0.01, -3.7, 2, 0.02, 4); // negative coordinates
    check_queries(1e-6, 1e9, 1, 1e-3, 5);  // far from the origin: cells are enlarged
}

TEST(BoxGrid, PointItemsAndPointQueries) {
    BoxGrid grid(0.5, 10);
    const double p[3] = {1.0, 1.0, 1.0}; // exactly on cell boundaries
    grid.insert(0, p, p);
    std::vector<int> out;
    grid.query(p, p, out);
    EXPECT_EQ(out, std::vector<int>{0});
    const double lo[3] = {0.5, 0.5, 0.5};
    out.clear();
    grid.query(lo, lo, out);
    EXPECT_TRUE(out.empty());
}

} // namespace
