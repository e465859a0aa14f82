// Clause memory of one solver, a region allocator in the spirit of MiniSat
// 2's clause arena.
//
// A general-purpose allocator spends a size word and alignment padding on
// every block: for the short clauses that make up most formulas (an 8-byte
// header and two to four literals) that is 50 to 100 % on top of the clause
// itself. The arena hands out blocks of exactly header + literals, packed
// four-byte aligned inside large chunks, so the original clauses of a
// formula lie contiguously in the order they were read.
//
// Blocks given back go to an exact-size free list, one per block length in
// words. The length of a block is not stored: it is 2 + size words of the
// clause in it, which is why a clause shortened in place gives its tail
// back at once (shrink).
//
// Learned clauses are different: they come and go by the thousand, with
// lengths spread over hundreds of values, and exact-size lists that only
// ever grow would end up holding several times the live learned clauses.
// They take a free block of their exact length when there is one and
// otherwise come from the general heap, which coalesces what they leave
// behind; the arena grows only for clauses meant to stay.
//
// Chunks start small, so that a tiny formula costs a few kilobytes, and
// double up to a cap. Nothing moves once allocated: clause pointers held by
// watch lists, reasons and the clause vectors stay valid.
//
// In a build with AddressSanitizer, free blocks and the unused end of each
// chunk are poisoned, so a read of a freed clause is reported just as with
// the general allocator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "core/Clause.hpp"

namespace quelt::util {

// A clause that would take the clause memory past the limit set with
// ClauseArena::setLimit. Unlike a plain failed allocation, freeing learned
// clauses and trying again is not the answer: the caller asked to stop.
class MemoryLimitReached : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "clause memory limit reached"; }
};

class ClauseArena {
 public:
  ClauseArena() = default;
  ClauseArena(const ClauseArena&) = delete;
  ClauseArena& operator=(const ClauseArena&) = delete;
  ~ClauseArena() { clear(); }

  // Room for a clause of numLits literals that is meant to stay (an
  // original clause or a resolvent); throws std::bad_alloc when a new chunk
  // cannot be had.
  void* allocate(std::size_t numLits);
  // Room for a learned clause: a free block of the exact length, else a
  // block from the general heap (operator new).
  void* allocateTransient(std::size_t numLits);
  // Gives back the block of c, whose size must be the one it has now; a
  // clause outside the chunks goes back to the general heap.
  void release(Clause* c);
  // Returns the literals from c->size up to oldSize (c was just shortened).
  void shrink(Clause* c, std::uint32_t oldSize);
  // Whether p lies in one of this arena's chunks.
  bool owns(const void* p) const;
  // Frees every chunk at once; every clause of the arena is gone.
  void clear();
  // Makes the next request for a clause of numLits literals throw
  // std::bad_alloc, once: the way to exercise out-of-memory recovery.
  void failNextAllocation(std::size_t numLits) { armedFailureWords = kHeaderWords + numLits; }

  // Bytes of all chunks, and bytes currently in clauses (those in the
  // chunks and those from the general heap).
  std::size_t reservedBytes() const { return reserved; }
  std::size_t usedBytes() const { return used + heapUsed; }
  // From now on, a clause that would take usedBytes() past bytes throws
  // MemoryLimitReached instead; 0 (the default) sets no limit.
  void setLimit(std::size_t bytes) { limit = bytes; }

  static constexpr std::size_t kWord = 4;
  static constexpr std::size_t kHeaderWords = sizeof(Clause) / kWord;
  static constexpr std::size_t kFirstChunkBytes = std::size_t{1} << 14;
  static constexpr std::size_t kMaxChunkBytes = std::size_t{1} << 22;

 private:
  struct Chunk {
    char* begin;
    std::size_t bytes;
  };

  void* fromNewChunk(std::size_t words);
  char* popFree(std::size_t words);
  // Throws for a test's armed failure or when the limit would be passed.
  void checkRequest(std::size_t words);
  void pushFree(char* block, std::size_t words);

  std::vector<Chunk> chunks;     // ascending by address, for owns()
  std::vector<char*> freeHeads;  // per block length in words, a linked list
  char* bump = nullptr;          // next free byte of the newest chunk
  char* bumpEnd = nullptr;
  std::size_t nextChunkBytes = kFirstChunkBytes;
  std::size_t reserved = 0;
  std::size_t used = 0;      // in the chunks
  std::size_t heapUsed = 0;  // in clauses from the general heap, at their current size
  std::size_t limit = 0;
  std::size_t armedFailureWords = 0;
};

}  // namespace quelt::util
