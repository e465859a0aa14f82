// Reading DIMACS CNF, the format of the second DIMACS implementation
// challenge (1993).
//
// The reader is forgiving so that it also works interactively from a
// terminal: it reads token by token, reports what it cannot use on standard
// error and carries on. "c" starts a comment to the end of the line (also
// after literals), "p" a problem line that may come anywhere and any number
// of times (the last one gives the clause count that is checked at the end),
// and "q" ends the input. A number that cannot be read - malformed, out of
// range, or -2147483648, which names no variable - ends the reading with
// "Invalid input."; the driver then refuses to give a verdict on the part
// that was read.
#include "app/Dimacs.hpp"

#include <cstdint>
#include <iostream>
#include <limits>
#include <string>

namespace quelt {

namespace {

using Traits = std::char_traits<char>;

// White space as the classic locale's stream extraction skips it.
inline bool isBlank(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Reads the digits at the front of sb as the magnitude of a number, the way
// formatted extraction of an int would, saturating far beyond its range.
std::uint64_t readMagnitude(std::streambuf* sb) {
  std::uint64_t value = 0;
  for (int c = sb->sgetc(); isDigit(c); c = sb->snextc())
    if (value <= std::numeric_limits<std::uint32_t>::max()) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

}  // namespace

// The tokens are taken straight from the stream buffer: character by
// character with the same rules as formatted extraction (blanks skipped, a
// number is an optional minus and decimal digits up to the first other
// character), but without a sentry and a locale lookup per character, which
// made reading large formulas several times slower than solving them.
void Dimacs::parse(std::istream& in, bool asAssumptions) {
  std::int32_t declaredClauses = -1;
  int clausesAdded = 0;
  std::vector<Literal> buffer;
  invalidNumber = false;
  std::streambuf* const sb = in.rdbuf();

  for (;;) {
    int c = sb->sbumpc();
    while (isBlank(c)) c = sb->sbumpc();
    if (c == Traits::eof()) break;

    bool negative = false;
    if (c == '-') {
      if (!isDigit(sb->sgetc())) continue;  // a lone dash
      negative = true;
    } else if (c == 'c') {
      while (c != '\n' && c != Traits::eof()) c = sb->sbumpc();
      continue;
    } else if (c == 'p') {
      std::string word;
      // The variable count is read past and never used; a count that cannot
      // be read leaves the previous one in force.
      std::int32_t vars = -1, clauses = -1;
      in >> word >> vars >> clauses;
      if (in) declaredClauses = clauses;
      if (word != "cnf")
        std::cerr << " Invalid DIMACS CNF p line, " << "expected: p cnf #variables #clauses" << std::endl;
      if (!in) {
        // Counts that cannot be read leave the rest of the input unreadable.
        std::cerr << "Invalid input." << std::endl;
        invalidNumber = true;
        break;
      }
      continue;
    } else if (c == 'q') {
      break;
    } else if (!isDigit(c)) {
      std::cerr << " Invalid DIMACS CNF input. Press q for quit," << " or continue adding clauses..."
                << std::endl;
      continue;
    } else {
      sb->sungetc();
    }

    // -2147483648 is in range for an int but names no variable.
    const std::uint64_t magnitude = readMagnitude(sb);
    if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
      std::cerr << "Invalid input." << std::endl;
      invalidNumber = true;
      break;
    }
    if (magnitude != 0) {
      const std::uint32_t var = static_cast<std::uint32_t>(magnitude);
      const Literal l = Literal::make(var, !negative);
      createVar(var);
      buffer.push_back(l);
      if (recording != nullptr) recording->push_back(negative ? -static_cast<std::int32_t>(var) : static_cast<std::int32_t>(var));
      continue;
    }
    if (asAssumptions) {
      assume(buffer);
    } else {
      if (recording != nullptr) recording->push_back(0);
      addClause(buffer);
      ++clausesAdded;
    }
    buffer.clear();
  }

  if (declaredClauses >= 0 && declaredClauses != clausesAdded)
    std::cerr << "c DIMACS p line requires " << declaredClauses << " clauses, while the instance contains "
              << clausesAdded << " clauses." << std::endl;
}

}  // namespace quelt
