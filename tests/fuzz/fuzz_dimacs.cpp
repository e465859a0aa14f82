// libFuzzer target: bytes through the program's input path (FormulaInput, the
// DIMACS reader), then one short search run. A reference reader must agree on
// whether reading stopped at a bad number; a model must satisfy every clause it
// read; on up to 12 variables, "unsatisfiable" must agree with enumeration.
#include <algorithm>
#include <iostream>
#include <sstream>

#include "app/CompressedInput.hpp"
#include "app/Dimacs.hpp"

using Clauses = std::vector<std::vector<int>>;
static bool digit(int c) { return c >= '0' && c <= '9'; }

// The reference reader: false when it stopped at a number it could not read.
static bool referenceRead(const std::string& text, Clauses& clauses, int& maxVar) {
  std::istringstream in(text);
  std::vector<int> clause;
  std::string word;
  for (char c; in >> c;) {
    if (c == 'q') return true;
    if (c == 'c') std::getline(in, word);
    if (int count; c == 'p' && !(in >> word >> count >> count)) return false;
    const bool negative = c == '-' && digit(in.peek());
    if (!negative && !digit(c)) continue;
    std::int64_t v = negative ? 0 : c - '0';
    while (digit(in.peek())) v = std::min<std::int64_t>(v * 10 + in.get() - '0', 1LL << 40);
    if (v > INT32_MAX) return false;  // -2147483648 too
    if (v == 0) clauses.push_back(clause), clause.clear();
    else clause.push_back(negative ? -v : v), maxVar = std::max<int>(maxVar, v);
  }
  return true;
}

static bool satisfies(const Clauses& clauses, const std::vector<bool>& value) {
  return std::all_of(clauses.begin(), clauses.end(), [&](const std::vector<int>& c) {
    return std::any_of(c.begin(), c.end(), [&](int l) { return value[std::abs(l)] == (l > 0); });
  });
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  [[maybe_unused]] static std::streambuf* const quiet = std::cerr.rdbuf(nullptr);  // the reader's warnings
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (std::size_t i = 0, n = 0; i <= size; ++i)  // variables of 10000 or more only cost memory and time
    if (i < size && digit(text[i])) n = std::min<std::size_t>(n * 10 + text[i] - '0', 1ULL << 40);
    else if (n >= 10000 && n <= INT32_MAX) return 0;
    else n = 0;
  Clauses clauses;
  int maxVar = 0;
  const bool complete = referenceRead(text, clauses, maxVar);
  std::istringstream raw(text);
  quelt::FormulaInput input(raw);
  if (input.compressed()) return 0;  // the other target's business
  quelt::Dimacs reader;
  reader.parse(input.stream(), false);
  if (reader.stoppedAtInvalidNumber() == complete) std::abort();
  if (!complete) return 0;

  quelt::Solver& solver = reader.getSolver();
  solver.params.firstRestart = 10 + size % 50;  // the conflicts of the one run
  solver.resetSearchLimits();
  const unsigned result = solver.solve(true);
  std::vector<bool> value(maxVar + 1);
  if (result == quelt::Solver::Satisfiable) {
    if (solver.model.size() != static_cast<std::size_t>(maxVar)) std::abort();
    for (int v = 1; v <= maxVar; ++v)
      if ((value[v] = solver.decode(v)), solver.model[v - 1].var() != static_cast<unsigned>(v)) std::abort();
    if (!satisfies(clauses, value)) std::abort();
  }
  for (unsigned bits = 0; result == quelt::Solver::Unsatisfiable && maxVar <= 12 && bits < (1u << maxVar); ++bits) {
    for (int v = 1; v <= maxVar; ++v) value[v] = bits >> (v - 1) & 1;
    if (satisfies(clauses, value)) std::abort();
  }
  return 0;
}
