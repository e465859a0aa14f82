// Independent checks of the program's answers: a plain DIMACS CNF reader, the
// model line taken from the program's output, a model checked against every
// clause, and a brute-force verdict for small formulas.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace quelt_test {

struct ParsedCnf {
  int maxVar = 0;  // largest variable that occurs in a clause
  std::vector<std::vector<int>> clauses;
};

// Reads DIMACS CNF: comments and p lines are skipped to the end of their
// line, other words that are not numbers are skipped, numbers form
// zero-terminated clauses. A last group without its 0 is ignored, as the
// program does. Meant for the test's own, mostly well-formed, formulas.
inline ParsedCnf parseDimacsText(const std::string& text) {
  ParsedCnf cnf;
  std::istringstream in(text);
  std::string line;
  std::vector<int> clause;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string w;
    while (words >> w) {
      if (w[0] == 'c' || w[0] == 'p') break;  // comment or problem line: rest of the line
      const bool number = std::isdigit(static_cast<unsigned char>(w[0])) ||
                          (w[0] == '-' && w.size() > 1 &&
                           std::isdigit(static_cast<unsigned char>(w[1])));
      if (!number) continue;  // stray characters
      const long d = std::strtol(w.c_str(), nullptr, 10);
      if (d == 0) {
        cnf.clauses.push_back(clause);
        clause.clear();
      } else {
        clause.push_back(static_cast<int>(d));
        cnf.maxVar = std::max(cnf.maxVar, static_cast<int>(d < 0 ? -d : d));
      }
    }
  }
  return cnf;
}

// The literals of the single "v " line in output, without the final 0;
// nothing when there is no such line, or when it is malformed (more than one
// v line, no final 0, text after it).
inline std::optional<std::vector<int>> modelFromOutput(const std::string& output) {
  std::istringstream in(output);
  std::string line;
  std::optional<std::vector<int>> model;
  while (std::getline(in, line)) {
    if (line.rfind("v ", 0) != 0 && line != "v") continue;
    if (model) return std::nullopt;
    std::istringstream words(line.substr(1));
    std::vector<int> lits;
    long d = 0;
    bool terminated = false;
    while (words >> d) {
      if (terminated) return std::nullopt;
      if (d == 0)
        terminated = true;
      else
        lits.push_back(static_cast<int>(d));
    }
    if (!terminated || !words.eof()) return std::nullopt;
    model = lits;
  }
  return model;
}

// Empty when model is a complete assignment of cnf (entry i names variable
// i + 1, for every variable up to the largest one used) that satisfies every
// clause; otherwise a description of the first problem.
inline std::string checkModel(const ParsedCnf& cnf, const std::vector<int>& model) {
  if (static_cast<int>(model.size()) != cnf.maxVar)
    return "model has " + std::to_string(model.size()) + " entries, formula has " +
           std::to_string(cnf.maxVar) + " variables";
  for (std::size_t i = 0; i < model.size(); ++i) {
    const int v = model[i] < 0 ? -model[i] : model[i];
    if (v != static_cast<int>(i) + 1)
      return "model entry " + std::to_string(i) + " is " + std::to_string(model[i]);
  }
  for (std::size_t c = 0; c < cnf.clauses.size(); ++c) {
    bool satisfied = false;
    for (int lit : cnf.clauses[c]) {
      const int v = lit < 0 ? -lit : lit;
      if (model[static_cast<std::size_t>(v - 1)] == lit) {
        satisfied = true;
        break;
      }
    }
    if (!satisfied) {
      std::string s = "clause " + std::to_string(c) + " is false:";
      for (int lit : cnf.clauses[c]) s += " " + std::to_string(lit);
      return s;
    }
  }
  return "";
}

// Whether cnf is satisfiable, by trying every assignment (at most 24
// variables).
inline bool bruteForceSatisfiable(const ParsedCnf& cnf) {
  if (cnf.maxVar > 24) std::abort();
  const std::uint32_t n = static_cast<std::uint32_t>(cnf.maxVar);
  for (std::uint64_t a = 0; a < (std::uint64_t{1} << n); ++a) {
    bool all = true;
    for (const std::vector<int>& clause : cnf.clauses) {
      bool sat = false;
      for (int lit : clause) {
        const int v = lit < 0 ? -lit : lit;
        const bool value = (a >> (v - 1)) & 1;
        if (value == (lit > 0)) {
          sat = true;
          break;
        }
      }
      if (!sat) {
        all = false;
        break;
      }
    }
    if (all) return true;
  }
  return false;
}

}  // namespace quelt_test
