#include "core/Clause.hpp"

#include <iostream>
#include <new>

namespace quelt {

void Literal::dump() const { std::cerr << *this; }

std::ostream& operator<<(std::ostream& os, Literal l) {
  if (!l.positive()) os << '-';
  return os << l.var();
}

Clause::Clause(const std::vector<Literal>& literals, bool learned)
    : size(static_cast<std::uint32_t>(literals.size())), flags(learned ? kLearned : 0), activity(0.0f) {
  Literal* out = lits();
  for (std::size_t i = 0; i < literals.size(); ++i) out[i] = literals[i];
}

void* Clause::operator new(std::size_t header, std::size_t numLits) {
  return ::operator new(header + numLits * sizeof(Literal));
}

void Clause::operator delete(void* p, std::size_t) { ::operator delete(p); }

void Clause::operator delete(void* p) { ::operator delete(p); }

void Clause::erase(const std::vector<unsigned>& positions) {
  if (positions.empty()) return;
  Literal* l = lits();
  std::size_t cursor = 0;
  std::uint32_t w = 0;
  for (std::uint32_t r = 0; r < size; ++r) {
    if (cursor < positions.size() && positions[cursor] == r) {
      ++cursor;
      continue;
    }
    l[w++] = l[r];
  }
  size = w;
}

void Clause::dump() const { std::cerr << *this; }

void Clause::dumpTo(std::ostream* os) const { *os << *this; }

std::ostream& operator<<(std::ostream& os, const Clause& c) {
  for (Literal l : c) os << l << ' ';
  return os << '0' << std::endl;
}

}  // namespace quelt
