// A small forward DRAT checker: it replays a proof against the formula and
// accepts it when every added clause is RUP (unit propagation on its
// negation ends in a conflict) or RAT on its first literal, and the empty
// clause is derived. Deleting a clause that forces a top-level literal is
// ignored: keeping a clause is always sound and spares retracting facts.
// Propagation watches two literals of every clause (a deleted clause leaves
// the watch lists lazily); RAT checks walk occurrence lists.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace quelt_test {

class DratChecker {
 public:
  enum class Result { Verified, Failed, NoEmptyClause };

  void addOriginal(const std::vector<int>& c) { insert(c); }

  // Checks a lemma and adds it; false when it is neither RUP nor RAT.
  bool addLemma(const std::vector<int>& c) {
    ++lemmas_;
    if (inconsistent_) return true;
    if (!rup(c) && !rat(c)) return failed_ = c, false;
    insert(c);
    return true;
  }

  void remove(std::vector<int> c) {
    normalise(c);
    auto it = index_.find(c);
    if (it == index_.end() || it->second.empty()) return;
    const std::size_t id = it->second.back();
    for (int l : c)
      if (val(l) > 0 && reason_[var(l)] == static_cast<long>(id)) return;  // forcing a fact
    it->second.pop_back();
    live_[id] = false;
  }

  std::size_t lemmaCount() const { return lemmas_; }
  const std::vector<int>& failed() const { return failed_; }

  // A proof in binary or text form: only the binary form has zero bytes.
  Result checkProof(const std::string& data) {
    const bool binary = data.find('\0') != std::string::npos;
    std::istringstream text(data);
    std::size_t pos = 0;
    for (;;) {
      bool deletion = false;
      std::vector<int> c;
      if (binary) {
        if (pos >= data.size()) break;
        deletion = data[pos++] == 'd';
        for (;;) {
          unsigned long u = 0;
          int shift = 0;
          unsigned char b;
          do {
            if (pos >= data.size()) return Result::Failed;  // a torn record
            b = static_cast<unsigned char>(data[pos++]);
            u |= static_cast<unsigned long>(b & 0x7f) << shift;
            shift += 7;
          } while (b & 0x80);
          if (u == 0) break;
          c.push_back(u & 1 ? -static_cast<int>(u >> 1) : static_cast<int>(u >> 1));
        }
      } else {
        std::string w;
        if (!(text >> w)) break;
        if (w == "d") deletion = true, text >> w;
        for (int l = std::atoi(w.c_str()); l != 0; text >> w, l = std::atoi(w.c_str())) {
          c.push_back(l);
          if (!text) return Result::Failed;
        }
      }
      if (deletion) remove(c);
      else if (!addLemma(c)) return Result::Failed;
    }
    return inconsistent_ ? Result::Verified : Result::NoEmptyClause;
  }

  Result checkFiles(const std::string& cnfPath, const std::string& proofPath) {
    std::ifstream cnf(cnfPath);
    std::string w;
    std::vector<int> c;
    while (cnf >> w) {
      if (w == "c" || w == "p") std::getline(cnf, w);
      else if (const int l = std::atoi(w.c_str())) c.push_back(l);
      else addOriginal(c), c.clear();
    }
    std::ifstream in(proofPath, std::ios::binary);
    return checkProof(std::string(std::istreambuf_iterator<char>(in), {}));
  }

 private:
  static std::size_t var(int l) { return static_cast<std::size_t>(std::abs(l)); }
  static std::size_t idx(int l) { return 2 * var(l) + (l < 0); }
  int val(int l) const { return var(l) < value_.size() ? (l > 0 ? value_[var(l)] : -value_[var(l)]) : 0; }
  static void normalise(std::vector<int>& c) {
    std::sort(c.begin(), c.end());
    c.erase(std::unique(c.begin(), c.end()), c.end());
  }
  void grow(int l) {
    if (var(l) >= value_.size())
      value_.resize(var(l) + 1), reason_.resize(var(l) + 1), occ_.resize(2 * var(l) + 2),
          watches_.resize(2 * var(l) + 2);
  }
  void assign(int l, long why) {
    value_[var(l)] = l > 0 ? 1 : -1;
    reason_[var(l)] = why;
    trail_.push_back(l);
  }
  void watch(std::size_t id) {
    watches_[idx(clauses_[id][0])].push_back(id);
    watches_[idx(clauses_[id][1])].push_back(id);
  }
  // The clauses watching each falsified literal: a clause keeps the watch
  // while its other watched literal is true, moves it to a literal that is
  // not false, or, with none left, implies its other watched literal or is
  // the conflict.
  bool propagate() {
    while (head_ < trail_.size()) {
      const int falsified = -trail_[head_++];
      std::vector<std::size_t>& ws = watches_[idx(falsified)];
      std::size_t j = 0;
      bool conflict = false;
      for (std::size_t i = 0; i < ws.size(); ++i) {
        const std::size_t id = ws[i];
        if (!live_[id]) continue;
        std::vector<int>& c = clauses_[id];
        if (conflict || val(c[0]) > 0 || val(c[1]) > 0) {
          ws[j++] = id;
          continue;
        }
        if (c[0] == falsified) std::swap(c[0], c[1]);
        std::size_t k = 2;
        while (k < c.size() && val(c[k]) < 0) ++k;
        if (k < c.size()) {
          std::swap(c[1], c[k]);
          watches_[idx(c[1])].push_back(id);
          continue;
        }
        ws[j++] = id;
        if (val(c[0]) < 0) conflict = true;
        else assign(c[0], static_cast<long>(id));
      }
      ws.resize(j);
      if (conflict) return false;
    }
    return true;
  }
  void backtrack(std::size_t size) {
    while (trail_.size() > size) value_[var(trail_.back())] = 0, trail_.pop_back();
    head_ = size;
  }
  void insert(std::vector<int> c) {
    normalise(c);
    for (int l : c) grow(l);
    const std::size_t id = clauses_.size();
    clauses_.push_back(c);
    live_.push_back(true);
    index_[c].push_back(id);
    for (int l : c) occ_[idx(l)].push_back(id);
    if (inconsistent_) return;
    // Called at the top level: literals that are not false go first, so a
    // clause that is not unit there has two to watch, and a unit one
    // watches the literal it makes true for good.
    std::vector<int>& w = clauses_[id];
    std::stable_partition(w.begin(), w.end(), [this](int l) { return val(l) >= 0; });
    if (w.size() >= 2) watch(id);
    const auto open = std::count_if(w.begin(), w.end(), [this](int l) { return val(l) >= 0; });
    if (open == 0) inconsistent_ = true;
    else if (open == 1 && val(w[0]) == 0 && (assign(w[0], static_cast<long>(id)), !propagate())) inconsistent_ = true;
  }
  bool rup(const std::vector<int>& c) {
    const std::size_t base = trail_.size();
    bool conflict = false;
    for (int l : c) {
      grow(l);
      if (val(l) > 0) conflict = true;
      else if (val(l) == 0) assign(-l, -1);
    }
    conflict = conflict || !propagate();
    backtrack(base);
    return conflict;
  }
  bool rat(const std::vector<int>& c) {
    if (c.empty()) return false;
    const int p = c[0];
    grow(p);
    for (std::size_t id : std::vector<std::size_t>(occ_[idx(-p)])) {
      if (!live_[id]) continue;
      std::vector<int> r = c;
      bool tautology = false;
      for (int l : clauses_[id])
        if (l != -p) tautology |= std::find(c.begin(), c.end(), -l) != c.end(), r.push_back(l);
      if (!tautology && !rup(r)) return false;
    }
    return true;
  }

  std::vector<std::vector<int>> clauses_;
  std::vector<bool> live_;
  std::map<std::vector<int>, std::vector<std::size_t>> index_;
  std::vector<std::vector<std::size_t>> occ_, watches_;
  std::vector<int> value_, trail_;
  std::vector<long> reason_;
  std::size_t head_ = 0, lemmas_ = 0;
  bool inconsistent_ = false;
  std::vector<int> failed_;
};

}  // namespace quelt_test
