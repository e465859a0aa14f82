#include "core/WatchList.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/Poison.hpp"

namespace quelt::util {

namespace {
constexpr std::size_t kSlot = sizeof(Clause*);
}  // namespace

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

Clause** WatchPool::allocate(std::uint32_t slots) {
  if (Clause** block = freeHeads[slots]) {
    QUELT_UNPOISON(block, slots * kSlot);
    freeHeads[slots] = reinterpret_cast<Clause**>(block[0]);
    return block;
  }
  const std::size_t bytes = slots * kSlot;
  if (static_cast<std::size_t>(bumpEnd - bump) < bytes) {
    chunks.reserve(chunks.size() + 1);  // before the chunk exists: nothing to leak
    char* chunk = static_cast<char*>(std::malloc(nextChunkBytes));
    if (chunk == nullptr) throw std::bad_alloc();
    chunks.push_back(Chunk{chunk, nextChunkBytes});
    // What is left of the old chunk becomes free blocks of the largest
    // capacities that fit.
    while (static_cast<std::size_t>(bumpEnd - bump) >= kSlot) {
      const std::size_t rest = std::min<std::size_t>((bumpEnd - bump) / kSlot, kMaxPooledSlots);
      char* block = bump;
      bump += rest * kSlot;
      QUELT_UNPOISON(block, rest * kSlot);
      release(reinterpret_cast<Clause**>(block), static_cast<std::uint32_t>(rest));
    }
    QUELT_POISON(chunk, nextChunkBytes);
    bump = chunk;
    bumpEnd = chunk + nextChunkBytes;
    nextChunkBytes = std::min(2 * nextChunkBytes, kMaxChunkBytes);
  }
  Clause** block = reinterpret_cast<Clause**>(bump);
  bump += bytes;
  QUELT_UNPOISON(block, bytes);
  return block;
}

void WatchPool::release(Clause** block, std::uint32_t slots) {
  block[0] = reinterpret_cast<Clause*>(freeHeads[slots]);
  freeHeads[slots] = block;
  QUELT_POISON(block, slots * kSlot);
}

void WatchPool::resize(WatchVector& ws, std::uint32_t capacity) {
  if (capacity == ws.capacity) return;
  Clause** data;
  if (capacity == 0) {
    data = nullptr;
  } else if (capacity <= kMaxPooledSlots) {
    data = allocate(capacity);
  } else if (ws.capacity > kMaxPooledSlots) {
    // From the heap to the heap: realloc may grow or shrink in place.
    void* p = std::realloc(ws.data, kSlot * static_cast<std::size_t>(capacity));
    if (p == nullptr) throw std::bad_alloc();
    ws.data = static_cast<Clause**>(p);
    ws.capacity = capacity;
    return;
  } else {
    data = static_cast<Clause**>(std::malloc(kSlot * static_cast<std::size_t>(capacity)));
    if (data == nullptr) throw std::bad_alloc();
  }
  if (ws.size != 0) std::memcpy(data, ws.data, kSlot * ws.size);
  if (ws.capacity > kMaxPooledSlots)
    std::free(ws.data);
  else if (ws.capacity != 0)
    release(ws.data, ws.capacity);
  ws.data = data;
  ws.capacity = capacity;
}

void WatchPool::clear() {
  for (const Chunk& chunk : chunks) {
    QUELT_UNPOISON(chunk.begin, chunk.bytes);
    std::free(chunk.begin);
  }
  chunks.clear();
  std::fill(freeHeads.begin(), freeHeads.end(), nullptr);
  bump = bumpEnd = nullptr;
  nextChunkBytes = kFirstChunkBytes;
}

void WatchList::trim(WatchVector& ws) {
  if (ws.capacity <= 4 * static_cast<std::size_t>(ws.size) + 3) return;
  // Shrinking cannot fail in practice; if it does, the larger array is kept.
  try {
    pool.resize(ws, ws.size == 0 ? 0 : 2 * ws.size + 1);
  } catch (const std::bad_alloc&) {
  }
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
  for (std::uint32_t i = 0; i < numLists; ++i)
    if (lists[i].capacity > WatchPool::kMaxPooledSlots) std::free(lists[i].data);
  pool.clear();
  std::free(static_cast<void*>(lists));
  lists = nullptr;
  numLists = 0;
  allocatedLists = 0;
}

}  // namespace quelt::util
