#include "core/ClauseArena.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/Poison.hpp"

namespace quelt::util {

static_assert(alignof(Clause) <= ClauseArena::kWord, "clauses are packed on word boundaries");
static_assert(sizeof(Clause) % ClauseArena::kWord == 0, "the header is whole words");
static_assert(ClauseArena::kHeaderWords * ClauseArena::kWord >= sizeof(char*),
              "a free block holds the link to the next one");

void ClauseArena::checkRequest(std::size_t words) {
  if (words == armedFailureWords) {
    armedFailureWords = 0;
    throw std::bad_alloc();
  }
  if (limit != 0 && used + heapUsed + words * kWord > limit) throw MemoryLimitReached();
}

char* ClauseArena::popFree(std::size_t words) {
  if (words >= freeHeads.size() || freeHeads[words] == nullptr) return nullptr;
  char* block = freeHeads[words];
  QUELT_UNPOISON(block, words * kWord);
  char* next;
  std::memcpy(&next, block, sizeof next);
  freeHeads[words] = next;
  used += words * kWord;
  return block;
}

void* ClauseArena::allocate(std::size_t numLits) {
  const std::size_t words = kHeaderWords + numLits;
  checkRequest(words);
  if (char* block = popFree(words)) return block;
  const std::size_t bytes = words * kWord;
  if (static_cast<std::size_t>(bumpEnd - bump) < bytes) return fromNewChunk(words);
  char* block = bump;
  bump += bytes;
  used += bytes;
  QUELT_UNPOISON(block, bytes);
  return block;
}

void* ClauseArena::allocateTransient(std::size_t numLits) {
  const std::size_t words = kHeaderWords + numLits;
  checkRequest(words);
  if (char* block = popFree(words)) return block;
  void* block = ::operator new(words * kWord);
  heapUsed += words * kWord;
  return block;
}

void* ClauseArena::fromNewChunk(std::size_t words) {
  const std::size_t bytes = words * kWord;
  const std::size_t chunkBytes = std::max(nextChunkBytes, bytes);
  char* begin = static_cast<char*>(std::malloc(chunkBytes));
  if (begin == nullptr) throw std::bad_alloc();
  QUELT_POISON(begin, chunkBytes);
  // What is left of the old chunk becomes a free block of its length.
  const std::size_t rest = static_cast<std::size_t>(bumpEnd - bump) / kWord;
  if (rest >= kHeaderWords) pushFree(bump, rest);
  const Chunk chunk{begin, chunkBytes};
  chunks.insert(std::upper_bound(chunks.begin(), chunks.end(), chunk,
                                 [](const Chunk& a, const Chunk& b) { return a.begin < b.begin; }),
                chunk);
  reserved += chunkBytes;
  nextChunkBytes = std::min(2 * nextChunkBytes, kMaxChunkBytes);
  bump = begin + bytes;
  bumpEnd = begin + chunkBytes;
  used += bytes;
  QUELT_UNPOISON(begin, bytes);
  return begin;
}

void ClauseArena::pushFree(char* block, std::size_t words) {
  if (words >= freeHeads.size()) freeHeads.resize(words + 1, nullptr);
  QUELT_UNPOISON(block, words * kWord);
  std::memcpy(block, &freeHeads[words], sizeof(char*));
  freeHeads[words] = block;
  QUELT_POISON(block, words * kWord);
}

void ClauseArena::release(Clause* c) {
  if (!owns(c)) {  // from the general heap
    heapUsed -= (kHeaderWords + c->size) * kWord;
    delete c;
    return;
  }
  const std::size_t words = kHeaderWords + c->size;
  used -= words * kWord;
  pushFree(reinterpret_cast<char*>(c), words);
}

void ClauseArena::shrink(Clause* c, std::uint32_t oldSize) {
  if (oldSize <= c->size) return;
  const std::size_t words = oldSize - c->size;
  if (!owns(c)) {  // the heap block keeps its tail; the count follows the clause
    heapUsed -= words * kWord;
    return;
  }
  used -= words * kWord;
  // A tail shorter than a header cannot hold a clause; it stays unused
  // until the chunk goes.
  if (words >= kHeaderWords) pushFree(reinterpret_cast<char*>(c->lits() + c->size), words);
}

bool ClauseArena::owns(const void* p) const {
  const char* q = static_cast<const char*>(p);
  auto it = std::upper_bound(chunks.begin(), chunks.end(), q,
                             [](const char* x, const Chunk& ch) { return x < ch.begin; });
  if (it == chunks.begin()) return false;
  --it;
  return q < it->begin + it->bytes;
}

void ClauseArena::clear() {
  for (const Chunk& ch : chunks) {
    QUELT_UNPOISON(ch.begin, ch.bytes);
    std::free(ch.begin);
  }
  chunks.clear();
  freeHeads.clear();
  freeHeads.shrink_to_fit();
  bump = bumpEnd = nullptr;
  nextChunkBytes = kFirstChunkBytes;
  reserved = 0;
  used = 0;
}

}  // namespace quelt::util
