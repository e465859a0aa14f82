// Conflict analysis: first-UIP learning with recursive minimisation. The
// learning scheme is GRASP's (Marques-Silva and Sakallah, 1996) with the
// first unique implication point of Zhang, Madigan, Moskewicz and Malik
// (ICCAD 2001); the minimisation is the recursive one of MiniSat 1.14, as
// Sörensson and Biere describe it ("Minimizing learned clauses", SAT 2009).
//
// Starting from the conflict clause, the literals of the current level are
// resolved away backwards along the trail until one is left, the first
// unique implication point; its negation becomes the asserting literal in
// position 0. Literals of lower levels go into the clause as they are met;
// level-0 literals never do. Every variable met is bumped (and repositioned
// in the decision queue), every learned clause resolved with is bumped.
//
// Minimisation then drops each lower-level literal whose reasons lead back
// only to literals already in the clause (or to level 0): a depth-first walk
// over reasons, cut short by a 64-bit abstraction of the clause's levels so
// that a path into a level the clause does not have fails at once.
// Successful walks leave their marks, so each variable is visited at most
// once per clause; failed walks clear theirs.
//
// Finally the literal of the highest remaining level goes to position 1 so
// that the clause is watched correctly after the backjump to that level.
//
// When an assumption is found false, the final analysis walks the reasons
// back from it instead and collects the assumptions they rest on: together
// with it they contradict the formula, and are all the caller needs to hear.
//
// Activities are never decayed one by one: the bump amounts grow after each
// conflict instead, and everything is rescaled when a value gets too large
// (1e100 for variables, 1e20 for clauses).
#include "engine/Solver.hpp"

namespace quelt {

void Solver::incVariablePriority(util::VarInfo& v) {
  v.activity += params.varActivityInc;
  if (v.activity > 1e100) {
    for (util::VarInfo& r : vars) r.scaleActivity(1e-100);
    params.varActivityInc *= 1e-100;
  }
  decisionQueue.increase(v.lit.var());
}

void Solver::incClausePriority(Clause& c) {
  c.activity = static_cast<float>(static_cast<double>(c.activity) + params.clauseActivityInc);
  if (static_cast<double>(c.activity) > 1e20) {
    for (Clause* l : learnedClauses) l->scaleActivity(1e-20);
    params.clauseActivityInc *= 1e-20;
  }
}

unsigned Solver::analyzeConflict(Clause* conflict, std::vector<Literal>& learned) {
  const std::int32_t d = static_cast<std::int32_t>(decisionLevel());
  std::vector<unsigned>& toClear = analyzeToClear;
  toClear.clear();
  learned.push_back(Literal());  // the asserting literal goes here
  unsigned pending = 0;
  unsigned long long levels = 0;
  std::size_t walk = trail.lits.size();
  Clause* c = conflict;
  std::uint32_t first = 0;  // literal 0 of a reason is the implied literal itself
  Literal uip;

  for (;;) {
    for (std::uint32_t k = first; k < c->size; ++k) {
      const Literal p = (*c)[k];
      util::VarInfo& r = vars[p.var()];
      if (r.marked() || r.level < 1) continue;
      r.mark();
      incVariablePriority(r);
      if (r.level == d) {
        ++pending;
      } else {
        learned.push_back(p);
        levels |= 1ull << (static_cast<unsigned>(r.level) & 63u);
        toClear.push_back(p.var());
      }
    }
    if (c->learned()) incClausePriority(*c);

    do {
      --walk;
    } while (!vars[trail.lits[walk].var()].marked());
    uip = trail.lits[walk];
    util::VarInfo& r = vars[uip.var()];
    c = r.reason;
    r.unmark();
    first = 1;
    if (--pending == 0) break;
  }
  learned[0] = ~uip;

  std::size_t w = 1;
  for (std::size_t i = 1; i < learned.size(); ++i) {
    const unsigned v = learned[i].var();
    if (vars[v].reason == nullptr || !isLitRedundant(v, toClear, levels))
      learned[w++] = learned[i];
    else
      stats.redundantLearnedLiterals += 1;
  }
  learned.resize(w);

  for (unsigned v : toClear) vars[v].unmark();

  if (learned.size() == 1) {
    const std::int32_t bit = static_cast<std::int32_t>(1u << (learned[0].var() % 32));
    newUnitsMask |= static_cast<std::uint64_t>(static_cast<std::int64_t>(bit));
    return 0;
  }
  std::size_t best = 1;
  std::int32_t bestLevel = vars[learned[1].var()].level;
  for (std::size_t i = 2; i < learned.size(); ++i) {
    const std::int32_t lv = vars[learned[i].var()].level;
    if (lv > bestLevel) {
      best = i;
      bestLevel = lv;
    }
  }
  std::swap(learned[1], learned[best]);
  return static_cast<unsigned>(bestLevel);
}

bool Solver::isLitRedundant(unsigned var, std::vector<unsigned>& toClear, unsigned long long levels) {
  std::vector<unsigned>& stack = redundancyStack;
  stack.clear();
  stack.push_back(var);
  for (std::size_t i = 0; i < stack.size(); ++i) {
    const Clause& r = *vars[stack[i]].reason;
    for (std::uint32_t k = 1; k < r.size; ++k) {
      const unsigned y = r[k].var();
      util::VarInfo& ry = vars[y];
      if (ry.marked() || ry.level == 0) continue;
      if (ry.reason == nullptr || (levels & (1ull << (static_cast<unsigned>(ry.level) & 63u))) == 0) {
        for (std::size_t j = 1; j < stack.size(); ++j) vars[stack[j]].unmark();
        stack.clear();
        return false;
      }
      ry.mark();
      stack.push_back(y);
    }
  }
  for (std::size_t j = 1; j < stack.size(); ++j) toClear.push_back(stack[j]);
  stack.clear();
  return true;
}

void Solver::analyzeFinal(Literal falsified) {
  failedAssumptions.assign(1, falsified);
  util::VarInfo& f = vars[falsified.var()];
  if (f.level <= 0) return;  // false by the formula alone
  f.mark();
  // Every level above 0 is an assumption's, so a decision here is an
  // assumption; level-0 facts follow from the formula and are left out.
  for (std::size_t i = trail.lits.size(); i-- > trail.levelStarts[1];) {
    util::VarInfo& r = vars[trail.lits[i].var()];
    if (!r.marked()) continue;
    r.unmark();
    if (r.reason == nullptr) {  // its opposite too, when both were assumed
      failedAssumptions.push_back(trail.lits[i]);
      continue;
    }
    for (std::uint32_t k = 1; k < r.reason->size; ++k) {
      util::VarInfo& q = vars[(*r.reason)[k].var()];
      if (q.level > 0) q.mark();
    }
  }
}

}  // namespace quelt
