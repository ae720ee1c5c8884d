#include "mesh/spatial.h"

#include <algorithm>
#include <cmath>

BoxGrid::BoxGrid(double cell, double extent) {
    // Cell indices stay within about +-2^40, far inside int64, whatever the
    // coordinates; a cell larger than asked only lengthens candidate lists.
    double floor_cell = std::ldexp(std::max(extent, 1e-300), -40);
    cell_ = std::max(cell, floor_cell);
    if (!(cell_ > 0) || !std::isfinite(cell_)) cell_ = 1;
    inv_ = 1.0 / cell_;
}

uint64_t BoxGrid::key(int64_t i, int64_t j, int64_t k) {
    // Distinct cells may share a key; they then share a bucket, which only
    // adds candidates.
    uint64_t h = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= static_cast<uint64_t>(k) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return h;
}

// The cell index ranges of a box; false when the box covers more than
// max_cells cells. Division by a positive number and floor are monotone, so
// two boxes that share a point share a cell.
bool BoxGrid::range(const double lo[3], const double hi[3], int64_t c0[3], int64_t c1[3],
                    int64_t max_cells) const {
    double count = 1;
    for (int d = 0; d < 3; ++d) {
        double a = std::floor(lo[d] * inv_), b = std::floor(hi[d] * inv_);
        // Beyond the bounded index range (a coordinate larger than the
        // extent given): treat as too large to grid.
        if (!(a >= -4e12 && b <= 4e12)) return false;
        c0[d] = static_cast<int64_t>(a);
        c1[d] = static_cast<int64_t>(b);
        count *= static_cast<double>(c1[d] - c0[d] + 1);
    }
    return count <= static_cast<double>(max_cells);
}

void BoxGrid::insert(int id, const double lo[3], const double hi[3]) {
    if (static_cast<size_t>(id) >= stamp_.size()) stamp_.resize(static_cast<size_t>(id) + 1, 0);
    all_.push_back(id);
    int64_t c0[3], c1[3];
    if (!range(lo, hi, c0, c1, kMaxItemCells)) {
        big_.push_back(id);
        return;
    }
    for (int64_t i = c0[0]; i <= c1[0]; ++i)
        for (int64_t j = c0[1]; j <= c1[1]; ++j)
            for (int64_t k = c0[2]; k <= c1[2]; ++k) cells_[key(i, j, k)].push_back(id);
}

void BoxGrid::take(int id, std::vector<int>& out) {
    unsigned& s = stamp_[static_cast<size_t>(id)];
    if (s == epoch_) return;
    s = epoch_;
    out.push_back(id);
}

void BoxGrid::query(const double lo[3], const double hi[3], std::vector<int>& out) {
    if (++epoch_ == 0) {  // the stamps wrapped around: start afresh
        std::fill(stamp_.begin(), stamp_.end(), 0u);
        epoch_ = 1;
    }
    int64_t c0[3], c1[3];
    if (!range(lo, hi, c0, c1, kMaxQueryCells)) {
        for (int id : all_) take(id, out);
        return;
    }
    for (int id : big_) take(id, out);
    for (int64_t i = c0[0]; i <= c1[0]; ++i)
        for (int64_t j = c0[1]; j <= c1[1]; ++j)
            for (int64_t k = c0[2]; k <= c1[2]; ++k) {
                auto it = cells_.find(key(i, j, k));
                if (it == cells_.end()) continue;
                for (int id : it->second) take(id, out);
            }
}
