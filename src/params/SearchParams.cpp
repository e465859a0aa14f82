#include "params/SearchParams.hpp"

namespace quelt {

void SearchParams::setDefault() {
  varDecHeur = 2;
  clauseSortHeur = 0;
  resOrderHeur = 0;
  clauseDelHeur = 0;
  phaseDecHeur = 3;
  resolution = 0;
  variableDecay = 1.0526315789473684;  // 1 / 0.95
  clauseDecay = 1.001001001001001;    // 1 / 0.999
  restartInc = 1.5;
  learnedSizeFactor = 0.3333333333333333;
  learnedClausesInc = 1.1;
  clauseActivityInc = 1.0;
  varActivityInc = 1.0;
  randPhaseDecFreq = 0.02;
  randVarDecFreq = 0.001;
  randVarDecScaling = 0.9;
  randPhaseScaling = 0.9;
  maxResLitInc = 2.0;
  firstRestart = 100;
  resCutoffCls = 8;
  resCutoffLits = 300;
  maxResRuns = 1;
  updateDecQueue = false;
  usePureLiteralRule = true;
  timeLimit = kNoTimeLimit;
  presetId = 0;
}

void SearchParams::setDefaultInc() {
  setDefault();
  usePureLiteralRule = false;
  presetId = 1;
}

// The three tuned presets share everything except the resolution settings;
// fields they do not name keep whatever was set before.
namespace {
void applyTunedCommon(SearchParams& p) {
  p.varDecHeur = 2;
  p.clauseSortHeur = 19;
  p.clauseDelHeur = 1;
  p.phaseDecHeur = 5;
  p.variableDecay = 1.1;
  p.clauseDecay = 1.1;
  p.restartInc = 1.5;
  p.learnedSizeFactor = 0.4;
  p.learnedClausesInc = 1.3;
  p.clauseActivityInc = 1.5;
  p.varActivityInc = 1.0;
  p.randPhaseDecFreq = 0.0;
  p.randVarDecFreq = 0.0;
  p.firstRestart = 50;
  p.updateDecQueue = true;
  p.timeLimit = SearchParams::kNoTimeLimit;
}
}  // namespace

void SearchParams::setAutotunedKz_1_0() {
  applyTunedCommon(*this);
  resOrderHeur = 0;
  resolution = 0;
  usePureLiteralRule = false;
  presetId = 2;
}

void SearchParams::setAutotunedKz_1_1() {
  applyTunedCommon(*this);
  resOrderHeur = 9;
  resolution = 1;
  maxResLitInc = 2.5;
  resCutoffCls = 8;
  resCutoffLits = 300;
  maxResRuns = 1;
  usePureLiteralRule = true;
  presetId = 3;
}

void SearchParams::setSwVerification() {
  applyTunedCommon(*this);
  resOrderHeur = 0;
  resolution = 0;
  usePureLiteralRule = false;
  presetId = 4;
}

void SearchParams::reset() {
  switch (presetId) {
    case 1: setDefaultInc(); break;
    case 2: setAutotunedKz_1_0(); break;
    case 3: setAutotunedKz_1_1(); break;
    case 4: setSwVerification(); break;
    default: setDefault(); break;
  }
}

}  // namespace quelt
