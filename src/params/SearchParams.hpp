// Every tunable number of the engine in one plain record, with the five
// named presets that fill it. Each solver owns a copy; several fields are
// also live state while it runs (the activity increments, the random
// decision frequencies, the learned-clause growth after an allocation
// failure, and the absolute time limit).
#pragma once

#include <cstdint>

namespace quelt {

struct SearchParams {
  std::uint32_t varDecHeur;
  std::uint32_t clauseSortHeur;
  std::uint32_t resOrderHeur;
  std::uint32_t clauseDelHeur;
  std::uint32_t phaseDecHeur;
  std::uint32_t resolution;
  double variableDecay;
  double clauseDecay;
  double restartInc;
  double learnedSizeFactor;
  double learnedClausesInc;
  double clauseActivityInc;
  double varActivityInc;
  double randPhaseDecFreq;
  double randVarDecFreq;
  double randVarDecScaling;
  double randPhaseScaling;
  double maxResLitInc;
  std::uint32_t firstRestart;
  std::uint32_t resCutoffCls;
  std::uint32_t resCutoffLits;
  std::uint32_t maxResRuns;
  bool updateDecQueue;
  bool usePureLiteralRule;
  std::uint32_t timeLimit;  // absolute CPU seconds; kNoTimeLimit means none
  // Simplify the formula before the first search (simplify/preprocess.cpp).
  // A switch of its own: off unless asked for, and no preset touches it.
  bool preprocess = false;
  // Search with the modern policy (search/modern/) instead of the classic
  // one; a switch like preprocess.
  bool modern = false;
  // With modern: shrink each learned clause's lower levels to their first
  // UIPs. Off: on the shared formulas and the families it cost more
  // conflicts than the shorter clauses saved.
  bool shrink = false;
  std::uint32_t presetId;

  static constexpr std::uint32_t kNoTimeLimit = 4294967295u;

  SearchParams() { setDefault(); }

  void setDefault();
  void setDefaultInc();
  void setAutotunedKz_1_0();
  void setAutotunedKz_1_1();
  void setSwVerification();
  // Re-applies the preset named by presetId (unknown ids: the default).
  void reset();
};

}  // namespace quelt
