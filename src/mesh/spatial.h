// A uniform grid over 3-D space that hands out candidate items near a box.
// Callers apply their own exact test to every candidate, so a candidate list
// that is longer than needed only costs time: the results of a search are
// those of a plain scan over all items, provided every item that can pass
// the exact test overlaps the query box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class BoxGrid {
  public:
    // cell: the wanted cell edge, m; extent: the largest coordinate
    // magnitude that will be inserted or queried (it bounds the cell
    // indices, so the cell may come out larger than asked).
    BoxGrid(double cell, double extent);

    // Registers item id (>= 0) with the axis-aligned box lo..hi.
    void insert(int id, const double lo[3], const double hi[3]);

    // Appends to out, each once and in no particular order, every item whose
    // box may overlap lo..hi.
    void query(const double lo[3], const double hi[3], std::vector<int>& out);

    double cell() const { return cell_; }

  private:
    static constexpr int64_t kMaxItemCells = 64;    // larger items are kept apart
    static constexpr int64_t kMaxQueryCells = 4096; // larger queries take every item
    bool range(const double lo[3], const double hi[3], int64_t c0[3], int64_t c1[3],
               int64_t max_cells) const;
    static uint64_t key(int64_t i, int64_t j, int64_t k);
    void take(int id, std::vector<int>& out);
    size_t slot(uint64_t key) const; // the table slot holding key, or the empty one for it
    void add_to_cell(uint64_t key, int id);
    void grow();

    double cell_ = 1;
    double inv_ = 1;
    // Cells: an open-addressing table from cell key to the head of a list
    // of entries (item id, next entry), so that no cell allocates.
    std::vector<uint64_t> keys_;
    std::vector<int> head_; // -1: empty slot
    size_t used_ = 0;
    std::vector<int> entry_id_, entry_next_;
    std::vector<int> big_; // items spanning too many cells
    std::vector<int> all_; // every item, for queries spanning too many cells
    std::vector<unsigned> stamp_;
    unsigned epoch_ = 0;
};
