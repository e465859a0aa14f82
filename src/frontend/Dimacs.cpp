// Reading DIMACS CNF.
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
#include "frontend/Dimacs.hpp"

#include <cctype>
#include <cstdint>
#include <iostream>
#include <limits>
#include <string>

namespace quelt {

void Dimacs::parse(std::istream& in, bool asAssumptions) {
  std::int32_t declaredClauses = -1;
  int clausesAdded = 0;
  std::vector<Literal> buffer;
  invalidNumber = false;

  for (;;) {
    char ch;
    if (!(in >> ch)) break;
    if (ch == '-') {
      const int next = in.peek();
      if (next == std::char_traits<char>::eof() || !std::isdigit(next)) continue;  // a lone dash
    } else if (ch == 'c') {
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      continue;
    } else if (ch == 'p') {
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
    } else if (ch == 'q') {
      break;
    } else if (!std::isdigit(static_cast<unsigned char>(ch))) {
      std::cerr << " Invalid DIMACS CNF input. Press q for quit," << " or continue adding clauses..."
                << std::endl;
      continue;
    }

    in.putback(ch);
    std::int32_t d = 0;
    if (!(in >> d) || d == std::numeric_limits<std::int32_t>::min()) {
      std::cerr << "Invalid input." << std::endl;
      invalidNumber = true;
      break;
    }
    if (d != 0) {
      const Literal l = Literal::fromDimacs(d);
      createVar(l.var());
      buffer.push_back(l);
      continue;
    }
    if (asAssumptions) {
      assume(buffer);
    } else {
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
