// Orderings of clause pointers for learned-clause reduction: the front of
// the sorted order is deleted first. All comparisons are strict; activity
// arithmetic is done in double precision.
#pragma once

#include "core/Clause.hpp"

namespace quelt::util {

class ClauseSorter {
 public:
  virtual ~ClauseSorter() = default;
  virtual bool operator()(const Clause* a, const Clause* b) const = 0;
};

// Ascending activity.
class ClauseSorter_Activity : public ClauseSorter {
 public:
  bool operator()(const Clause* a, const Clause* b) const override {
    return static_cast<double>(a->activity) < static_cast<double>(b->activity);
  }
};

// Clauses longer than two literals by ascending activity, then every
// binary clause; a clause of two or fewer literals never goes first.
class ClauseSorter_Size : public ClauseSorter {
 public:
  bool operator()(const Clause* a, const Clause* b) const override {
    return a->size > 2 &&
           (b->size == 2 || static_cast<double>(a->activity) < static_cast<double>(b->activity));
  }
};

// Ascending (1 + activity) / size: inactive and long clauses first.
class ClauseSorter_ActivitySizeDiv : public ClauseSorter {
 public:
  bool operator()(const Clause* a, const Clause* b) const override {
    return (1.0 + static_cast<double>(a->activity)) / a->size <
           (1.0 + static_cast<double>(b->activity)) / b->size;
  }
};

class ClauseSorter_SmallerFirst : public ClauseSorter {
 public:
  bool operator()(const Clause* a, const Clause* b) const override { return a->size < b->size; }
};

class ClauseSorter_LargerFirst : public ClauseSorter {
 public:
  bool operator()(const Clause* a, const Clause* b) const override { return a->size > b->size; }
};

}  // namespace quelt::util
