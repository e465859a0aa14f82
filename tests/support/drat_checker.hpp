// A small forward DRAT checker, for the tests: it replays a proof against
// the formula and confirms that every added clause is RUP (unit propagation
// on its negation yields a conflict) or, failing that, RAT on its first
// literal, and that the empty clause is derived.
//
// Deletions remove one copy of the clause (matched as a set of literals). A
// deletion of a clause that currently forces a top-level literal is ignored:
// keeping a clause of the formula is always sound, and it spares the checker
// from retracting top-level facts.
//
// Deliberately plain: watched literals for propagation, a hash map for
// deletions, nothing clever. Proofs of the test suite are small.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quelt_test {

class DratChecker {
 public:
  enum class Result { Verified, Failed, NoEmptyClause };

  // Clauses as DIMACS integers (no terminating 0).
  void addOriginal(const std::vector<int>& clause) { addClause(clause); }

  // Checks lemma; on success adds it. Returns false when it is neither RUP
  // nor RAT on its first literal.
  bool addLemma(const std::vector<int>& lemma) {
    ++lemmas;
    if (inconsistent) return true;  // everything follows from a conflict
    if (!isRup(lemma) && !isRat(lemma)) {
      failedLemma = lemma;
      return false;
    }
    addClause(lemma);
    if (lemma.empty()) derivedEmpty = true;
    return true;
  }

  void deleteClause(const std::vector<int>& clause) {
    const std::string key = keyOf(clause);
    auto it = index.find(key);
    if (it == index.end() || it->second.empty()) return;  // nothing to delete
    const std::size_t id = it->second.back();
    if (isReason(id)) return;
    it->second.pop_back();
    live[id] = false;
    unwatch(id);
  }

  bool emptyDerived() const { return derivedEmpty || inconsistent; }
  std::size_t lemmaCount() const { return lemmas; }
  const std::vector<int>& failed() const { return failedLemma; }

  // Convenience: parse a DIMACS formula and a proof (binary or text, told
  // apart by the first byte), and check.
  Result checkFiles(const std::string& cnfPath, const std::string& proofPath) {
    std::ifstream cnf(cnfPath);
    std::string tok;
    std::vector<int> clause;
    while (cnf >> tok) {
      if (tok == "c") {
        std::getline(cnf, tok);
        continue;
      }
      if (tok == "p") {
        cnf >> tok >> tok >> tok;
        continue;
      }
      const int lit = std::atoi(tok.c_str());
      if (lit == 0) {
        addOriginal(clause);
        clause.clear();
      } else {
        clause.push_back(lit);
      }
    }
    std::ifstream in(proofPath, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return checkProof(data);
  }

  // Every binary line ends with a zero byte and no text proof has one, so
  // that tells the forms apart (a binary deletion of variable 16 looks like
  // "d " to a test of the first bytes).
  Result checkProof(const std::string& data) {
    if (data.find('\0') != std::string::npos) return checkBinary(data);
    return checkText(data);
  }

 private:
  struct Watcher {
    std::size_t clause;
  };

  static std::uint32_t index_of(int lit) {
    return 2 * static_cast<std::uint32_t>(std::abs(lit)) + (lit < 0 ? 1 : 0);
  }

  void ensureVar(int lit) {
    const std::size_t v = static_cast<std::size_t>(std::abs(lit));
    if (value.size() <= v) {
      value.resize(v + 1, 0);
      reason.resize(v + 1, kNone);
      watches.resize(2 * (v + 1));
    }
  }
  int val(int lit) const {
    const int v = value[static_cast<std::size_t>(std::abs(lit))];
    return lit > 0 ? v : -v;
  }
  void assign(int lit, std::size_t why) {
    value[static_cast<std::size_t>(std::abs(lit))] = lit > 0 ? 1 : -1;
    reason[static_cast<std::size_t>(std::abs(lit))] = why;
    trail.push_back(lit);
  }

  static std::string keyOf(std::vector<int> clause) {
    std::sort(clause.begin(), clause.end());
    clause.erase(std::unique(clause.begin(), clause.end()), clause.end());
    std::string key;
    for (int l : clause) key += std::to_string(l) + " ";
    return key;
  }

  bool isReason(std::size_t id) const {
    for (int l : clauses[id])
      if (val(l) > 0 && reason[static_cast<std::size_t>(std::abs(l))] == id) return true;
    return false;
  }

  void unwatch(std::size_t id) {
    for (int k = 0; k < 2 && k < static_cast<int>(clauses[id].size()); ++k) {
      auto& ws = watches[index_of(clauses[id][static_cast<std::size_t>(k)])];
      ws.erase(std::remove_if(ws.begin(), ws.end(), [id](const Watcher& w) { return w.clause == id; }),
               ws.end());
    }
  }

  // Adds a clause at top level and propagates.
  void addClause(std::vector<int> clause) {
    for (int l : clause) ensureVar(l);
    std::sort(clause.begin(), clause.end());
    clause.erase(std::unique(clause.begin(), clause.end()), clause.end());
    const std::size_t id = clauses.size();
    index[keyOf(clause)].push_back(id);
    live.push_back(true);
    // Watch two non-false literals if possible.
    std::stable_partition(clause.begin(), clause.end(), [this](int l) { return val(l) >= 0; });
    clauses.push_back(clause);
    if (clause.empty()) {
      inconsistent = true;
      return;
    }
    if (clause.size() >= 2) {
      watches[index_of(clause[0])].push_back({id});
      watches[index_of(clause[1])].push_back({id});
    }
    if (inconsistent) return;
    if (val(clause[0]) < 0) {
      inconsistent = true;  // every literal false at top level
      return;
    }
    if (val(clause[0]) == 0 && (clause.size() == 1 || val(clause[1]) < 0)) {
      assign(clause[0], id);
      if (!propagate()) inconsistent = true;
    }
    topLevel = trail.size();
  }

  // Unit propagation from the unprocessed part of the trail; false on a
  // conflict.
  bool propagate() {
    while (head < trail.size()) {
      const int falseLit = -trail[head++];
      auto& ws = watches[index_of(falseLit)];
      std::size_t j = 0;
      bool conflict = false;
      for (std::size_t i = 0; i < ws.size(); ++i) {
        const std::size_t id = ws[i].clause;
        std::vector<int>& c = clauses[id];
        if (c[0] == falseLit) std::swap(c[0], c[1]);
        if (conflict || val(c[0]) > 0) {
          ws[j++] = ws[i];
          continue;
        }
        bool moved = false;
        for (std::size_t k = 2; k < c.size(); ++k)
          if (val(c[k]) >= 0) {
            std::swap(c[1], c[k]);
            watches[index_of(c[1])].push_back({id});
            moved = true;
            break;
          }
        if (moved) continue;
        ws[j++] = ws[i];
        if (val(c[0]) < 0)
          conflict = true;
        else
          assign(c[0], id);
      }
      ws.resize(j);
      if (conflict) return false;
    }
    return true;
  }

  void undoTo(std::size_t size) {
    while (trail.size() > size) {
      const int l = trail.back();
      trail.pop_back();
      value[static_cast<std::size_t>(std::abs(l))] = 0;
      reason[static_cast<std::size_t>(std::abs(l))] = kNone;
    }
    head = std::min(head, trail.size());
  }

  // Assigns the negation of lits on top of the top-level trail; true when
  // that (or the propagation after it) conflicts.
  bool conflictsUnder(const std::vector<int>& lits) {
    for (int l : lits) ensureVar(l);
    bool conflict = false;
    for (int l : lits) {
      if (val(l) > 0) {
        conflict = true;
        break;
      }
      if (val(l) == 0) assign(-l, kNone);
    }
    if (!conflict) conflict = !propagate();
    undoTo(topLevel);
    head = topLevel;
    return conflict;
  }

  bool isRup(const std::vector<int>& lemma) { return conflictsUnder(lemma); }

  bool isRat(const std::vector<int>& lemma) {
    if (lemma.empty()) return false;
    const int pivot = lemma[0];
    for (std::size_t id = 0; id < clauses.size(); ++id) {
      if (!live[id]) continue;
      const std::vector<int>& d = clauses[id];
      if (std::find(d.begin(), d.end(), -pivot) == d.end()) continue;
      std::vector<int> resolvent = lemma;
      for (int l : d)
        if (l != -pivot) resolvent.push_back(l);
      if (!conflictsUnder(resolvent)) return false;
    }
    return true;
  }

  static bool readVarint(const std::string& data, std::size_t& pos, std::uint64_t& out) {
    out = 0;
    int shift = 0;
    while (pos < data.size()) {
      const auto b = static_cast<unsigned char>(data[pos++]);
      out |= static_cast<std::uint64_t>(b & 127) << shift;
      if ((b & 128) == 0) return true;
      shift += 7;
      if (shift > 63) return false;
    }
    return false;
  }

  Result checkBinary(const std::string& data) {
    std::size_t pos = 0;
    while (pos < data.size()) {
      const char kind = data[pos++];
      if (kind != 'a' && kind != 'd') return Result::Failed;
      std::vector<int> lits;
      for (;;) {
        std::uint64_t u;
        if (!readVarint(data, pos, u)) return Result::Failed;
        if (u == 0) break;
        const int var = static_cast<int>(u >> 1);
        lits.push_back((u & 1) ? -var : var);
      }
      if (kind == 'd')
        deleteClause(lits);
      else if (!addLemma(lits))
        return Result::Failed;
    }
    return emptyDerived() ? Result::Verified : Result::NoEmptyClause;
  }

  Result checkText(const std::string& data) {
    std::istringstream in(data);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream ls(line);
      std::string tok;
      bool deletion = false;
      std::vector<int> lits;
      bool ended = false;
      while (ls >> tok) {
        if (tok == "c") break;
        if (tok == "d") {
          deletion = true;
          continue;
        }
        const int lit = std::atoi(tok.c_str());
        if (lit == 0) {
          ended = true;
          break;
        }
        lits.push_back(lit);
      }
      if (!ended) continue;
      if (deletion)
        deleteClause(lits);
      else if (!addLemma(lits))
        return Result::Failed;
    }
    return emptyDerived() ? Result::Verified : Result::NoEmptyClause;
  }

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::vector<std::vector<int>> clauses;
  std::vector<bool> live;
  std::map<std::string, std::vector<std::size_t>> index;
  std::vector<std::vector<Watcher>> watches;
  std::vector<int> value;
  std::vector<std::size_t> reason;
  std::vector<int> trail;
  std::size_t head = 0;
  std::size_t topLevel = 0;
  bool inconsistent = false;
  bool derivedEmpty = false;
  std::size_t lemmas = 0;
  std::vector<int> failedLemma;
};

}  // namespace quelt_test
