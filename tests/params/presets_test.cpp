// The five parameter presets: the values each one sets, the fields each one
// leaves alone, and reset() re-applying the preset chosen last.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "params/SearchParams.hpp"

namespace quelt {
namespace {

using SP = SearchParams;

// One field, read and written as a double so that one table holds them all.
struct Field {
  const char* name;
  std::function<double(const SP&)> get;
  std::function<void(SP&, double)> set;
};

template <typename T>
Field field(const char* name, T SP::*member) {
  return {name, [member](const SP& p) { return static_cast<double>(p.*member); },
          [member](SP& p, double v) { p.*member = static_cast<T>(v); }};
}

constexpr std::nullopt_t keep = std::nullopt;
constexpr double kNone = 4294967295.0;
// The nearest doubles to 1/0.95, 1/0.999 and 1/3.
constexpr double kInv095 = 1.0526315789473684;
constexpr double kInv0999 = 1.001001001001001;
constexpr double kThird = 0.3333333333333333;

// Expected values per preset, in the order default, default-inc, autotuned
// 1.0, autotuned 1.1, software verification; keep means the preset leaves
// the field as it was.
struct Row {
  Field f;
  std::optional<double> expected[5];
};

const std::vector<Row>& presetTable() {
  static const std::vector<Row> rows = {
      {field("varDecHeur", &SP::varDecHeur), {2, 2, 2, 2, 2}},
      {field("clauseSortHeur", &SP::clauseSortHeur), {0, 0, 19, 19, 19}},
      {field("resOrderHeur", &SP::resOrderHeur), {0, 0, 0, 9, 0}},
      {field("clauseDelHeur", &SP::clauseDelHeur), {0, 0, 1, 1, 1}},
      {field("phaseDecHeur", &SP::phaseDecHeur), {3, 3, 5, 5, 5}},
      {field("resolution", &SP::resolution), {0, 0, 0, 1, 0}},
      {field("variableDecay", &SP::variableDecay), {kInv095, kInv095, 1.1, 1.1, 1.1}},
      {field("clauseDecay", &SP::clauseDecay), {kInv0999, kInv0999, 1.1, 1.1, 1.1}},
      {field("restartInc", &SP::restartInc), {1.5, 1.5, 1.5, 1.5, 1.5}},
      {field("learnedSizeFactor", &SP::learnedSizeFactor), {kThird, kThird, 0.4, 0.4, 0.4}},
      {field("learnedClausesInc", &SP::learnedClausesInc), {1.1, 1.1, 1.3, 1.3, 1.3}},
      {field("clauseActivityInc", &SP::clauseActivityInc), {1.0, 1.0, 1.5, 1.5, 1.5}},
      {field("varActivityInc", &SP::varActivityInc), {1.0, 1.0, 1.0, 1.0, 1.0}},
      {field("randPhaseDecFreq", &SP::randPhaseDecFreq), {0.02, 0.02, 0.0, 0.0, 0.0}},
      {field("randVarDecFreq", &SP::randVarDecFreq), {0.001, 0.001, 0.0, 0.0, 0.0}},
      {field("randVarDecScaling", &SP::randVarDecScaling), {0.9, 0.9, keep, keep, keep}},
      {field("randPhaseScaling", &SP::randPhaseScaling), {0.9, 0.9, keep, keep, keep}},
      {field("maxResLitInc", &SP::maxResLitInc), {2.0, 2.0, keep, 2.5, keep}},
      {field("firstRestart", &SP::firstRestart), {100, 100, 50, 50, 50}},
      {field("resCutoffCls", &SP::resCutoffCls), {8, 8, keep, 8, keep}},
      {field("resCutoffLits", &SP::resCutoffLits), {300, 300, keep, 300, keep}},
      {field("maxResRuns", &SP::maxResRuns), {1, 1, keep, 1, keep}},
      {field("updateDecQueue", &SP::updateDecQueue), {0, 0, 1, 1, 1}},
      {field("usePureLiteralRule", &SP::usePureLiteralRule), {1, 0, 0, 1, 0}},
      {field("timeLimit", &SP::timeLimit), {kNone, kNone, kNone, kNone, kNone}},
      {field("presetId", &SP::presetId), {0, 1, 2, 3, 4}},
  };
  return rows;
}

struct Preset {
  const char* name;
  void (SP::*apply)();
};

const Preset kPresets[] = {
    {"setDefault", &SP::setDefault},
    {"setDefaultInc", &SP::setDefaultInc},
    {"setAutotunedKz_1_0", &SP::setAutotunedKz_1_0},
    {"setAutotunedKz_1_1", &SP::setAutotunedKz_1_1},
    {"setSwVerification", &SP::setSwVerification},
};

// A record whose every field holds a value no preset uses, so a field a
// preset skips is visible afterwards. Booleans are set by every preset.
SP markedRecord() {
  SP p;
  for (const Row& r : presetTable()) r.f.set(p, 7.0);
  return p;
}

TEST(Presets, SetTheirFieldsAndKeepTheOthers) {
  for (std::size_t i = 0; i < 5; ++i) {
    SP p = markedRecord();
    (p.*kPresets[i].apply)();
    for (const Row& r : presetTable()) {
      const double expected = r.expected[i] ? *r.expected[i] : 7.0;
      EXPECT_EQ(r.f.get(p), expected) << kPresets[i].name << " " << r.f.name;
    }
  }
}

TEST(Presets, ANewRecordHoldsTheDefaults) {
  const SP p;
  for (const Row& r : presetTable())
    EXPECT_EQ(r.f.get(p), *r.expected[0]) << r.f.name;
}

TEST(Presets, ResetReappliesThePresetChosenLast) {
  for (std::size_t i = 0; i < 5; ++i) {
    SP p;
    (p.*kPresets[i].apply)();
    // Disturb the live fields as a solve would.
    p.varActivityInc = 123.0;
    p.clauseActivityInc = 456.0;
    p.randVarDecFreq = 0.5;
    p.randPhaseDecFreq = 0.5;
    p.learnedClausesInc = 1.0;
    p.clauseDelHeur = 2;
    p.timeLimit = 10;
    p.reset();
    SP fresh;
    (fresh.*kPresets[i].apply)();
    for (const Row& r : presetTable())
      EXPECT_EQ(r.f.get(p), r.f.get(fresh)) << kPresets[i].name << " " << r.f.name;
  }
}

TEST(Presets, DefaultIncSurvivesReset) {
  SP p;
  p.setDefaultInc();
  p.reset();
  EXPECT_FALSE(p.usePureLiteralRule);
  EXPECT_EQ(p.presetId, 1u);
}

TEST(Presets, SoftwareVerificationAfterAutotuned11KeepsTheResolutionLimits) {
  SP p;
  p.setAutotunedKz_1_1();
  p.setSwVerification();
  EXPECT_EQ(p.maxResLitInc, 2.5);
  EXPECT_EQ(p.resCutoffCls, 8u);
  EXPECT_EQ(p.resCutoffLits, 300u);
  EXPECT_EQ(p.maxResRuns, 1u);
  EXPECT_EQ(p.presetId, 4u);
}

TEST(Presets, Autotuned10OnDefaultsLeavesScalingAndLiteralGrowth) {
  SP p;
  p.setAutotunedKz_1_0();
  EXPECT_EQ(p.randVarDecScaling, 0.9);
  EXPECT_EQ(p.randPhaseScaling, 0.9);
  EXPECT_EQ(p.maxResLitInc, 2.0);
}

TEST(Presets, ResetWithAnUnknownIdAppliesTheDefault) {
  for (std::uint32_t id : {5u, 7u, 4294967295u}) {
    SP p;
    p.setAutotunedKz_1_1();
    p.presetId = id;
    p.reset();
    const SP defaults;
    for (const Row& r : presetTable())
      EXPECT_EQ(r.f.get(p), r.f.get(defaults)) << "id " << id << " " << r.f.name;
  }
}

TEST(Presets, EveryPresetRemovesATimeLimit) {
  for (const Preset& preset : kPresets) {
    SP p;
    p.timeLimit = 10;
    (p.*preset.apply)();
    EXPECT_EQ(p.timeLimit, SP::kNoTimeLimit) << preset.name;
  }
}

}  // namespace
}  // namespace quelt
