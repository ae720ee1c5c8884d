#include "mesh/spatial.h"

#include <algorithm>
#include <cmath>

BoxGrid::BoxGrid(double cell, double extent) : keys_(64, 0), head_(64, -1) {
    // Cell indices stay within about +-2^40, far inside int64, whatever the
    // coordinates; a cell larger than asked only lengthens candidate lists.
    double floor_cell = std::ldexp(std::max(extent, 1e-300), -40);
    cell_ = std::max(cell, floor_cell);
    if (!(cell_ > 0) || !std::isfinite(cell_)) cell_ = 1;
    inv_ = 1.0 / cell_;
}

uint64_t BoxGrid::key(int64_t i, int64_t j, int64_t k) {
    // Distinct cells may share a key; they then share a bucket, which only
    // adds candidates. The splitmix64 finaliser spreads neighbouring cells
    // over the hash table's buckets.
    uint64_t h = static_cast<uint64_t>(i) * 0x9E3779B97F4A7C15ull +
                 static_cast<uint64_t>(j) * 0xC2B2AE3D27D4EB4Full +
                 static_cast<uint64_t>(k) * 0x165667B19E3779F9ull;
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 31;
    return h;
}

size_t BoxGrid::slot(uint64_t key) const {
    size_t mask = keys_.size() - 1;
    size_t i = static_cast<size_t>(key) & mask;
    while (head_[i] >= 0 && keys_[i] != key) i = (i + 1) & mask;
    return i;
}

void BoxGrid::grow() {
    std::vector<uint64_t> keys(keys_.size() * 2, 0);
    std::vector<int> head(keys.size(), -1);
    keys.swap(keys_);
    head.swap(head_);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (head[i] < 0) continue;
        size_t j = slot(keys[i]);
        keys_[j] = keys[i];
        head_[j] = head[i];
    }
}

void BoxGrid::add_to_cell(uint64_t key, int id) {
    size_t i = slot(key);
    if (head_[i] < 0) {
        if (2 * (used_ + 1) > keys_.size()) {
            grow();
            i = slot(key);
        }
        keys_[i] = key;
        ++used_;
    }
    entry_id_.push_back(id);
    entry_next_.push_back(head_[i]);
    head_[i] = static_cast<int>(entry_id_.size()) - 1;
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
            for (int64_t k = c0[2]; k <= c1[2]; ++k) add_to_cell(key(i, j, k), id);
}

void BoxGrid::take(int id, std::vector<int>& out) {
    unsigned& s = stamp_[static_cast<size_t>(id)];
    if (s == epoch_) return;
    s = epoch_;
    out.push_back(id);
}

void BoxGrid::query(const double lo[3], const double hi[3], std::vector<int>& out) {
    if (++epoch_ == 0) { // the stamps wrapped around: start afresh
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
                size_t s = slot(key(i, j, k));
                for (int e = head_[s]; e >= 0; e = entry_next_[static_cast<size_t>(e)])
                    take(entry_id_[static_cast<size_t>(e)], out);
            }
}
