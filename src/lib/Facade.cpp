// The facade (see Facade.hpp).
#include "lib/Facade.hpp"

namespace quelt {

Facade::Facade() : own(std::make_unique<Solver>()), engine(*own) {}

Facade::Facade(Solver& solver) : engine(solver) {}

Facade::~Facade() {
  // The hooks point into this facade; a solver that lives on must not call
  // them.
  if (progress) engine.progressHook = nullptr;
  if (learn) engine.learnHook = nullptr;
}

// The parameter modern chooses the policy (Solver::selectPolicy).
void Facade::derive() {
  engine.selectPolicy();
  engine.policy->configure();
}

void Facade::setParameter(const std::string& name, double value) {
  quelt::setParameter(engine.params, name, value);
  derive();
}

void Facade::setPreset(const std::string& name) {
  const PresetSpec& preset = presetNamed(name);
  const std::uint32_t timeLimit = engine.params.timeLimit;
  (engine.params.*preset.apply)();
  engine.params.timeLimit = timeLimit;
  derive();
}

void Facade::setParameters(const SearchParams& params) {
  // The time limit is a limit, not a parameter: it stays as set.
  const std::uint32_t timeLimit = engine.params.timeLimit;
  engine.params = params;
  engine.params.timeLimit = timeLimit;
  derive();
}

void Facade::setDeadline(WallClock::time_point deadline) {
  engine.stop.hasDeadline = true;
  engine.stop.deadline = deadline;
}

void Facade::setProgress(ProgressHook hook) {
  progress = std::move(hook);
  engine.progressData = this;
  engine.progressHook = nullptr;
  if (progress)
    engine.progressHook = [](void* f, const Solver& s, bool final) { static_cast<Facade*>(f)->progress(s, final); };
}

void Facade::setLearn(LearnHook hook) {
  learn = std::move(hook);
  engine.learnData = this;
  engine.learnHook = nullptr;
  if (learn)
    engine.learnHook = [](void* f, const std::vector<Literal>& clause) { static_cast<Facade*>(f)->learn(clause); };
}

unsigned Facade::solve(const std::vector<Literal>& assumptions) {
  Solver& e = engine;
  e.stop.conflictEnd = conflictBudget >= 0 ? static_cast<std::int64_t>(e.stats.conflicts) + conflictBudget : -1;
  e.stop.propagationEnd =
      propagationBudget >= 0 ? static_cast<std::int64_t>(e.stats.bcPropagations) + propagationBudget : -1;
  e.stop.decisionEnd = decisionBudget >= 0 ? static_cast<std::int64_t>(e.stats.decisions) + decisionBudget : -1;
  e.clearAssumed();
  e.policy->resume();
  struct Lower {  // the interrupt flag, however the solve ends
    std::atomic<bool>& flag;
    ~Lower() { flag.store(false, std::memory_order_relaxed); }
  } lower{e.stop.interrupted};
  return e.solve(assumptions, false);
}

bool Facade::propagate(const std::vector<Literal>& assumptions, std::vector<Literal>& assigned) {
  return engine.propagateUnder(assumptions, assigned);
}

void Facade::setPhase(Literal l) {
  std::vector<std::int8_t>& phases = engine.preferredPhase;
  if (phases.size() <= l.var()) phases.resize(l.var() + 1, 0);
  phases[l.var()] = l.positive() ? 1 : -1;
}

}  // namespace quelt
