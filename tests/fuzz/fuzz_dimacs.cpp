// libFuzzer target: arbitrary bytes through the DIMACS reader and a bounded
// search.
//
// The input is parsed by quelt::Dimacs and, independently, by a small
// reference reader written from the reader's documented rules. The two must
// agree on whether reading stopped at an unreadable number. When they do and
// there is something to solve, the search runs for a single short run (a few
// dozen conflicts); a satisfiable answer must satisfy every clause the
// reference reader saw, and an unsatisfiable one must not come with a
// satisfying assignment lying about (checked on tiny formulas by
// enumeration).
//
// Inputs naming a variable of 10000 or more are skipped: the solver's tables
// are indexed by variable, and a search run decides every variable, so such
// an input only measures memory and time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "frontend/Dimacs.hpp"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

struct Reference {
  std::vector<std::vector<int>> clauses;
  bool invalid = false;
  int maxVar = 0;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an int32 the way >> does: blanks, an optional sign, digits.
bool readInt(const std::string& s, std::size_t& i, std::int64_t& value) {
  while (i < s.size() && isBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t start = i;
  std::int64_t v = 0;
  bool overflow = false;
  while (i < s.size() && isDigit(s[i])) {
    if (v <= (std::int64_t{1} << 32)) v = v * 10 + (s[i] - '0');
    else overflow = true;
    ++i;
  }
  if (i == start) return false;
  v = negative ? -v : v;
  if (overflow || v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
    return false;
  value = v;
  return true;
}

Reference referenceRead(const std::string& s) {
  Reference r;
  std::vector<int> buffer;
  std::size_t i = 0;
  for (;;) {
    while (i < s.size() && isBlank(s[i])) ++i;
    if (i >= s.size()) break;
    const char ch = s[i++];
    if (ch == '-') {
      if (i >= s.size() || !isDigit(s[i])) continue;
      --i;
    } else if (ch == 'c') {
      const std::size_t nl = s.find('\n', i);
      i = nl == std::string::npos ? s.size() : nl + 1;
      continue;
    } else if (ch == 'p') {
      while (i < s.size() && isBlank(s[i])) ++i;
      const std::size_t start = i;
      while (i < s.size() && !isBlank(s[i])) ++i;
      std::int64_t v;
      if (i == start || !readInt(s, i, v) || !readInt(s, i, v)) {
        r.invalid = true;
        break;
      }
      continue;
    } else if (ch == 'q') {
      break;
    } else if (!isDigit(ch)) {
      continue;
    } else {
      --i;
    }
    std::int64_t d;
    if (!readInt(s, i, d) || d == std::numeric_limits<std::int32_t>::min()) {
      r.invalid = true;
      break;
    }
    if (d != 0) {
      buffer.push_back(static_cast<int>(d));
      r.maxVar = std::max(r.maxVar, static_cast<int>(d < 0 ? -d : d));
      continue;
    }
    r.clauses.push_back(buffer);
    buffer.clear();
  }
  return r;
}

// Whether a digit run names a value the tables would have to grow to.
bool namesHugeVariable(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    if (!isDigit(s[i])) {
      ++i;
      continue;
    }
    while (i < s.size() && s[i] == '0') ++i;
    std::size_t j = i;
    while (j < s.size() && isDigit(s[j])) ++j;
    const std::size_t len = j - i;
    if (len >= 5 && len <= 10) {
      const std::int64_t v = std::stoll(s.substr(i, len));
      if (v <= std::int64_t{1} << 31) return true;
    }
    i = j;
  }
  return false;
}

bool satisfiedBy(const std::vector<int>& clause, const std::vector<signed char>& value) {
  for (int l : clause) {
    const int v = l < 0 ? -l : l;
    if (value[v] == (l > 0 ? 1 : -1)) return true;
  }
  return false;
}

bool hasModel(const Reference& ref) {
  const int n = ref.maxVar;
  std::vector<signed char> value(n + 1, -1);
  for (std::uint32_t bits = 0; bits < (1u << n); ++bits) {
    for (int v = 1; v <= n; ++v) value[v] = (bits >> (v - 1)) & 1 ? 1 : -1;
    bool all = true;
    for (const auto& c : ref.clauses)
      if (!satisfiedBy(c, value)) {
        all = false;
        break;
      }
    if (all) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullBuffer nullBuffer;
  static std::streambuf* const keep = std::cerr.rdbuf(&nullBuffer);
  (void)keep;

  const std::string text(reinterpret_cast<const char*>(data), size);
  if (namesHugeVariable(text)) return 0;
  const Reference ref = referenceRead(text);

  quelt::Dimacs reader;
  std::istringstream in(text);
  reader.parse(in, false);
  if (reader.stoppedAtInvalidNumber() != ref.invalid) std::abort();
  if (ref.invalid) return 0;

  quelt::Solver& solver = reader.getSolver();
  solver.params.firstRestart = 10 + static_cast<std::uint32_t>(size % 50);
  solver.resetSearchLimits();
  const unsigned result = solver.solve(true);

  if (result == quelt::Solver::Satisfiable) {
    std::vector<signed char> value(static_cast<std::size_t>(ref.maxVar) + 1, 0);
    if (solver.model.size() != static_cast<std::size_t>(ref.maxVar)) std::abort();
    for (quelt::Literal l : solver.model) {
      if (l.var() == 0 || l.var() > static_cast<std::uint32_t>(ref.maxVar) || value[l.var()] != 0) std::abort();
      value[l.var()] = l.positive() ? 1 : -1;
    }
    for (const auto& c : ref.clauses)
      if (!satisfiedBy(c, value)) std::abort();
  } else if (result == quelt::Solver::Unsatisfiable) {
    if (ref.maxVar <= 12 && hasModel(ref)) std::abort();
  }
  return 0;
}
