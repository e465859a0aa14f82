// DRAT proof output (Wetzler, Heule and Hunt, "DRAT-trim", SAT 2014; the
// binary form is the one its checker reads).
//
// Every change the engine makes to its clause database can be logged, so
// that an independent checker can confirm an unsatisfiable verdict: clauses
// added (learned clauses, shortened clauses, units, resolvents, pure
// literals) and clauses deleted (reduction, cleanup, elimination), ending
// with the empty clause. The binary form writes 'a' or 'd', each literal as
// 2 * variable + (1 if negative) in 7-bit groups, low group first, and a 0
// byte; the text form writes DIMACS lines, deletions prefixed by "d ".
// Output goes through a buffer of its own; the solver holds a null pointer
// when no proof is wanted, so the engine pays one predictable branch.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/Clause.hpp"
#include "core/Literal.hpp"

namespace quelt {

class ProofWriter {
 public:
  // Opens path for writing; throws std::runtime_error when it cannot.
  ProofWriter(const std::string& path, bool binary);
  ~ProofWriter();
  ProofWriter(const ProofWriter&) = delete;
  ProofWriter& operator=(const ProofWriter&) = delete;

  void add(const Literal* lits, std::size_t n) { line('a', lits, n); }
  void add(const std::vector<Literal>& lits) { add(lits.data(), lits.size()); }
  void add(const Clause& c) { add(c.lits(), c.size); }
  void del(const Literal* lits, std::size_t n) { line('d', lits, n); }
  void del(const Clause& c) { del(c.lits(), c.size); }
  void del(const std::vector<Literal>& lits) { del(lits.data(), lits.size()); }
  void addEmpty() { line('a', nullptr, 0); }
  // Writes out the buffer; false when the file could not be written.
  bool flush();

 private:
  void line(char kind, const Literal* lits, std::size_t n);
  void put(char ch) {
    if (used == sizeof(buffer)) drain();
    buffer[used++] = ch;
  }
  void drain();

  std::FILE* file;
  bool binary;
  bool failed = false;
  std::size_t used = 0;
  char buffer[1 << 16];
};

}  // namespace quelt
