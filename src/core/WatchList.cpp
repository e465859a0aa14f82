#include "core/WatchList.hpp"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace quelt::util {

WatchVector::~WatchVector() { std::free(data); }

void WatchVector::grow() {
  const std::uint32_t newCap = 2 * size + 1;
  void* p = std::realloc(data, sizeof(Clause*) * static_cast<std::size_t>(newCap));
  if (p == nullptr) throw std::bad_alloc();
  data = static_cast<Clause**>(p);
  capacity = newCap;
}

void WatchVector::trim() {
  if (capacity <= 4 * static_cast<std::size_t>(size) + 3) return;
  if (size == 0) {
    std::free(data);
    data = nullptr;
    capacity = 0;
    return;
  }
  const std::uint32_t newCap = 2 * size + 1;
  // Shrinking in place cannot fail in practice; if it does, the larger
  // array is kept.
  if (void* p = std::realloc(data, sizeof(Clause*) * static_cast<std::size_t>(newCap))) {
    data = static_cast<Clause**>(p);
    capacity = newCap;
  }
}

void WatchVector::remove(const Clause* c) {
  std::uint32_t j = 0;
  for (std::uint32_t i = 0; i < size; ++i)
    if (data[i] != c) data[j++] = data[i];
  size = j;
}

bool WatchVector::contains(const Clause* c) const {
  for (std::uint32_t i = 0; i < size; ++i)
    if (data[i] == c) return true;
  return false;
}

void WatchList::addVar(unsigned v) {
  const std::size_t want = 2 * (static_cast<std::size_t>(v) + 1);
  if (numLists >= want) return;
  if (want > allocatedLists) {
    const std::size_t slots = std::max(want, 2 * allocatedLists);
    void* p = std::realloc(static_cast<void*>(lists), sizeof(WatchVector) * slots);
    if (p == nullptr) throw std::bad_alloc();
    lists = static_cast<WatchVector*>(p);
    allocatedLists = slots;
  }
  for (std::size_t i = numLists; i < want; ++i) new (&lists[i]) WatchVector();
  numLists = static_cast<std::uint32_t>(want);
}

void WatchList::dewatch(const Clause& c) {
  if (c.size > 0) of(c[0]).remove(&c);
  if (c.size > 1) of(c[1]).remove(&c);
}

bool WatchList::isEnwatched(unsigned var, bool negative, Clause* c) const {
  return lists[2 * var + (negative ? 1 : 0)].contains(c);
}

bool WatchList::isEnwatched(Clause* c) const {
  if (c->size > 0 && lists[(*c)[0].watchIndex()].contains(c)) return true;
  return c->size > 1 && lists[(*c)[1].watchIndex()].contains(c);
}

void WatchList::release() {
  for (std::uint32_t i = 0; i < numLists; ++i) lists[i].~WatchVector();
  std::free(static_cast<void*>(lists));
  lists = nullptr;
  numLists = 0;
  allocatedLists = 0;
}

}  // namespace quelt::util
