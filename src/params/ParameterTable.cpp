// The search-parameter and preset tables (see ParameterTable.hpp).
#include "params/ParameterTable.hpp"

#include <cmath>
#include <sstream>
#include <type_traits>

namespace quelt {

namespace {

// ---------------------------------------------------------------------------
// Help texts of the mode parameters

// Variable orderings, shared by the decision queue, the clause literal order
// and the order of variable elimination.
const char* const kHeuristicList[] = {
    "Prefer more active variables.",
    "Prefer less active variables.",
    "If equaly active, pick more frequent.",
    "If equaly active, pick less frequent.",
    "If equaly active, pick more asymmetric variable.",
    "If equaly active, pick less asymmetric variable.",
    "If equaly active, pick the one with larger product of occurrences.",
    "If equaly active, pick the one with smaller product of occurrences.",
    "Pick variables with maximal number of occurrences.",
    "Pick variables with minimal number of occurrences.",
    "Pick variables with maximal product of occurrences.",
    "Pick variables with minimal product of occurrences.",
    "Pick more asymmetric variables.",
    "Pick less asymmetric variables.",
    "Prefer variables assigned at larger decision level.",
    "Prefer variables assigned at smaller decision level.",
    "Prefer smaller variables (numerical comparison).",
    "Prefer larger variables (numerical comparison).",
    "Prefer implied literals with shorter reasons.",
    "Take variables as they were created (fixed order).",
};

const char* const kDeletionList[] = {
    "Delete low activity clauses.",
    "Delete low activity clauses, but leave binary ones.",
    "Delete inactive and large clauses.",
};

const char* const kPhaseList[] = {
    "Always pick false phase.",
    "Always pick true phase.",
    "Pick phase at random.",
    "Pick more frequent phase.",
    "Pick less frequent phase.",
    "Pick phase with more watched literals.",
    "Pick phase with less watched literals.",
};

const char* const kResolutionList[] = {
    "Disables resolution.",
    "Resolve only original clauses.",
    "Resolve all clauses.",
};

// The first line, then one line per mode: "<n> -  <text>". No newline at the
// end.
template <std::size_t N>
std::string withModes(const char* first, const char* const (&modes)[N]) {
  std::string text = first;
  for (std::size_t i = 0; i < N; ++i) {
    text += '\n';
    text += std::to_string(i);
    text += " -  ";
    text += modes[i];
  }
  return text;
}

const char* const kAutotunedHelp =
    "Parameters found by an automatic parameter-optimisation tool that runs "
    "an iterated local search in the space of solver configurations; see the "
    "paper \"Automatic algorithm configuration based on local search\".";


using SP = SearchParams;

// Stores a value, already checked, into one field.
template <auto Field>
void set(SearchParams& p, double value) {
  using T = std::remove_reference_t<decltype(p.*Field)>;
  if constexpr (std::is_same_v<T, bool>)
    p.*Field = value != 0;
  else
    p.*Field = static_cast<T>(value);
}

ParameterSpec ranged(ParameterKind kind, const char* name, void (*store)(SearchParams&, double),
                     double lower, double upper, std::string help) {
  return {name, kind, lower, upper, store, std::move(help)};
}

ParameterSpec flag(const char* name, void (*store)(SearchParams&, double), std::string help) {
  return {name, ParameterKind::Bool, 0, 1, store, std::move(help)};
}

}  // namespace

const std::vector<ParameterSpec>& parameterTable() {
  static const std::vector<ParameterSpec> table = {
      ranged(ParameterKind::Int, "sp-var-dec-heur", set<&SP::varDecHeur>, 0, 19,
                  withModes("Variable decision heuristic.", kHeuristicList)),
      ranged(ParameterKind::Int, "sp-clause-sort-heur", set<&SP::clauseSortHeur>, 0, 19,
                  withModes("Clause sorting heuristic.", kHeuristicList)),
      ranged(ParameterKind::Int, "sp-res-order-heur", set<&SP::resOrderHeur>, 0, 19,
                  withModes("Heuristic for ordering the sequence of resolutions.",
                            kHeuristicList)),
      ranged(ParameterKind::Int, "sp-clause-del-heur", set<&SP::clauseDelHeur>, 0, 2,
                  withModes("Clause deletion heuristic.", kDeletionList)),
      ranged(ParameterKind::Int, "sp-phase-dec-heur", set<&SP::phaseDecHeur>, 0, 6,
                  withModes("Phase decision heuristic.", kPhaseList)),
      ranged(ParameterKind::Int, "sp-resolution", set<&SP::resolution>, 0, 2,
                  withModes("Type of resolution.", kResolutionList)),
      ranged(ParameterKind::Double, "sp-variable-decay", set<&SP::variableDecay>, 0.0, 10.0,
                     "Variable activity decay. Allowed range: [0.0,10.0], recommended range: "
                     "[0.5,2.0]."),
      ranged(ParameterKind::Double, "sp-clause-decay", set<&SP::clauseDecay>, 1.0, 10.0,
                     "Clause activity decay. Allowed range: [1.0,10.0], recommended range: "
                     "[1.0,2.0]."),
      ranged(ParameterKind::Double, "sp-restart-inc", set<&SP::restartInc>, 1.0, 10.0,
                     "Restart period multiplier. Allowed range: [1.0,10.0], recommended range: "
                     "[1.0,2.0]."),
      ranged(ParameterKind::Double, "sp-learned-size-factor", set<&SP::learnedSizeFactor>, 0.1, 10.0,
                     "Initial limit on the number of learned clauses as a percentage of the "
                     "size of the number of original clauses. Allowed range: [0.1,10.0], "
                     "recommended range: [0.1,2.0]."),
      ranged(ParameterKind::Double, "sp-learned-clauses-inc", set<&SP::learnedClausesInc>, 1.1, 2.0,
                     "Multiplier of the limit of the number of learned clauses. Allowed range: "
                     "[1.1,2.0], recommended range: [1.1,1.5]."),
      ranged(ParameterKind::Double, "sp-clause-activity-inc", set<&SP::clauseActivityInc>, -10.0, 10.0,
                     "Clause activity increment. Allowed range: [-10.0,10.0], recommended "
                     "range: [0.5,1.5]."),
      ranged(ParameterKind::Double, "sp-var-activity-inc", set<&SP::varActivityInc>, -10.0, 10.0,
                     "Variable activity increment. Allowed range: [-10.0,10.0], recommended "
                     "range: [0.5,1.5]."),
      ranged(ParameterKind::Double, "sp-rand-phase-dec-freq", set<&SP::randPhaseDecFreq>, 0.0, 1.0,
                     "Random phase decision frequency. Allowed range: [0.0,1.0], recommended "
                     "range: [0.0,0.4]."),
      ranged(ParameterKind::Double, "sp-rand-var-dec-freq", set<&SP::randVarDecFreq>, 0.0, 1.0,
                     "Random variable decision frequency. Allowed range: [0.0,1.0], "
                     "recommended range: [0.0,0.4]."),
      ranged(ParameterKind::Double, "sp-rand-var-dec-scaling", set<&SP::randVarDecScaling>, 0.0, 10.0,
                     "Random variable decision frequency scaling factor. If < 1.0 you get "
                     "cooling, if > 1.0 heating effect. Allowed range: [0.0,10.0], recommended "
                     "range: [0.1,2.0]."),
      ranged(ParameterKind::Double, "sp-rand-phase-scaling", set<&SP::randPhaseScaling>, 0.0, 10.0,
                     "Random phase decision frequency scaling factor. If < 1.0 you get "
                     "cooling, if > 1.0 heating effect. Allowed range: [0.0,10.0], recommended "
                     "range: [0.1,2.0]."),
      ranged(ParameterKind::Double, "sp-max-res-lit-inc", set<&SP::maxResLitInc>, 0.1, 10.0,
                     "Factor by which resolution is allowed to increase the number of "
                     "literals. Allowed range: [0.1,10.0], recommended range: [0.5,3.0]."),
      ranged(ParameterKind::Unsigned, "sp-first-restart", set<&SP::firstRestart>, 10, 10000,
                           "Number of conflicts to the first restart. Allowed range: "
                           "[10,10000], recommended range: [50,1000]."),
      ranged(ParameterKind::Unsigned, "sp-res-cutoff-cls", set<&SP::resCutoffCls>, 1, 20,
                           "Maximal allowed number of clauses in which a variable can occur "
                           "in order to be considered for resolution. Allowed range: [1,20], "
                           "recommended range: [3,10]."),
      ranged(ParameterKind::Unsigned, "sp-res-cutoff-lits", set<&SP::resCutoffLits>, 10, 10000,
                           "Maximal number of literals in the clause set of any phase of a "
                           "variable in order to be considered for resolution. Allowed range: "
                           "[10,10000], recommended range: [100,500]."),
      ranged(ParameterKind::Unsigned, "sp-max-res-runs", set<&SP::maxResRuns>, 0, 1000,
                           "Max number of resolution runs. Allowed range: [0,1000], "
                           "recommended range: [1,5]."),
      flag("sp-update-dec-queue", set<&SP::updateDecQueue>,
           "Re-sort decision queue after each restart."),
      flag("sp-use-pure-literal-rule", set<&SP::usePureLiteralRule>, "Use pure literal rule."),
      {"preprocess", ParameterKind::Switch, 0, 1, set<&SP::preprocess>,
       "Simplify the formula before searching: failed literals, equivalent literals, subsumption and "
       "bounded variable elimination."},
      {"modern", ParameterKind::Switch, 0, 1, set<&SP::modern>,
       "Search with phase saving, target phases, glue-ranked clause tiers and alternating "
       "focused and stable modes instead of the classic search.",
       "Search strategy"},
      {"shrink", ParameterKind::Switch, 0, 1, set<&SP::shrink>,
       "With --modern: replace the literals of each lower decision level of a learned clause by "
       "that level's first unique implication point, where the clause implies the rest.",
       "Search strategy"},
  };
  return table;
}

const std::vector<PresetSpec>& presetTable() {
  static const std::vector<PresetSpec> table = {
      {"spset-default", &SearchParams::setDefault, "Set default parameters."},
      {"spset-default-inc", &SearchParams::setDefaultInc,
       "Default params with disabled pure literal rule."},
      {"spset-autotuned-kz_1_0", &SearchParams::setAutotunedKz_1_0, kAutotunedHelp},
      {"spset-autotuned-kz_1_1", &SearchParams::setAutotunedKz_1_1,
       "Similar to the previous one, but with resolution enabled."},
      {"spset-sw-verification", &SearchParams::setSwVerification,
       "Parameters optimized for software verification."},
  };
  return table;
}

void checkRange(const std::string& name, double value, double lower, double upper) {
  if (lower <= value && value <= upper) return;
  // A fresh stream: no notation left on another stream leaks into the bounds.
  std::ostringstream os;
  os << "Parameter " << name << " out of range.\nAllowed range [" << lower << "," << upper << "] (inclusive)";
  throw ParameterError(os.str());
}

const PresetSpec& presetNamed(const std::string& name) {
  for (const PresetSpec& p : presetTable())
    if (name == p.name || name == p.name + 6) return p;
  throw ParameterError("Unknown preset " + name + ".");
}

void setParameter(SearchParams& params, const std::string& name, double value) {
  for (const ParameterSpec& spec : parameterTable()) {
    if (name != spec.name) continue;
    // A fraction for an integer parameter is out of its range too.
    const bool integral = spec.kind != ParameterKind::Double;
    checkRange(spec.name, integral && value != std::floor(value) ? spec.upper + 1 : value, spec.lower, spec.upper);
    spec.set(params, value);
    return;
  }
  throw ParameterError("Unknown parameter " + name + ".");
}

}  // namespace quelt
