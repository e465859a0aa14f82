// The extension module under the quelt Python package: one class, Solver,
// over quelt::api::Solver. The package (python/quelt/__init__.py) derives
// its Solver from this one and adds, in Python, what needs no engine: the
// constructor's extras, budgets kept for the next limited solve, timers,
// model enumeration, the cardinality encoding and the DIMACS reader.
//
// The C++ exceptions reach Python through pybind11's translation:
// std::invalid_argument (and so ParameterError) as ValueError,
// std::out_of_range as IndexError, std::logic_error as RuntimeError.
//
// A solve runs without the GIL, so other threads go on meanwhile and may call
// interrupt(). Every other method refuses to run while a solve is under way
// (the C++ solver is not to be used by two threads at once), and after
// delete(), so no sequence of Python calls can reach a freed or busy solver.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "quelt/quelt.hpp"

namespace py = pybind11;
using quelt::api::Result;

namespace {

// A Python integer (anything with __index__, not a float) as a literal.
// Checked here, before anything reaches the solver, so that a bad literal
// leaves the formula as it was even in the middle of a clause list.
int toLiteral(py::handle item) {
  PyObject* index = PyNumber_Index(item.ptr());
  if (!index) throw py::error_already_set();
  int overflow = 0;
  long long value = PyLong_AsLongLongAndOverflow(index, &overflow);
  Py_DECREF(index);
  if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow || value == 0 || value < -INT_MAX || value > INT_MAX)
    throw py::value_error("Not a literal: " + std::string(py::str(item)) + ".");
  return static_cast<int>(value);
}

std::vector<int> toLiterals(py::handle iterable) {
  std::vector<int> lits;
  for (py::handle item : py::iter(iterable)) lits.push_back(toLiteral(item));
  return lits;
}

std::optional<bool> toPython(Result r) {
  if (r == Result::Satisfiable) return true;
  if (r == Result::Unsatisfiable) return false;
  return std::nullopt;
}

class Solver {
 public:
  // No preset: the library's default, the modern search.
  explicit Solver(const std::optional<std::string>& preset, const py::kwargs& params)
      : solver(preset ? std::make_unique<quelt::api::Solver>(*preset) : std::make_unique<quelt::api::Solver>()) {
    // The thread count first: it is set before anything else.
    if (params.contains("threads")) solver->setThreads(params["threads"].cast<int>());
    if (params.contains("share") && !params["share"].is_none()) solver->setSharing(params["share"].cast<bool>());
    for (auto item : params) {
      std::string name = py::str(item.first);
      if (name == "share") continue;
      for (char& c : name)
        if (c == '_') c = '-';
      if (!py::isinstance<py::int_>(item.second) && !py::isinstance<py::float_>(item.second))
        throw py::type_error("Parameter " + name + " takes a number, not " +
                             std::string(py::str(py::type::of(item.second).attr("__name__"))) + ".");
      solver->setParameter(name, item.second.cast<double>());
    }
  }

  void addClause(py::handle clause) {
    std::vector<int> lits = toLiterals(clause);
    use().addClause(lits);
    ++clauses;
  }

  // Every clause is read and checked before the first is added.
  void appendFormula(py::handle formula) {
    std::vector<std::vector<int>> all;
    for (py::handle clause : py::iter(formula)) all.push_back(toLiterals(clause));
    quelt::api::Solver& s = use();
    for (const auto& lits : all) {
      s.addClause(lits);
      ++clauses;
    }
  }

  std::optional<bool> solve(py::handle assumptions, std::optional<long long> conflicts,
                            std::optional<double> seconds, std::optional<long long> propagations,
                            std::optional<long long> decisions) {
    quelt::api::Solver& s = use();
    std::vector<int> assumed = toLiterals(assumptions);
    quelt::api::Limits limits;  // negative figures: no limit, as in C++
    if (conflicts) limits.conflicts = *conflicts;
    if (seconds) limits.seconds = *seconds;
    if (propagations) limits.propagations = *propagations;
    if (decisions) limits.decisions = *decisions;
    Result r;
    {
      Busy busy(solving);
      py::gil_scoped_release release;
      r = s.solve(assumed, limits);
    }
    if (callbackError) std::rethrow_exception(std::exchange(callbackError, nullptr));
    return toPython(r);
  }

  // Needs no GIL release: it only raises a flag the solve polls. After
  // delete() there is nothing left to stop, so it does nothing.
  void interrupt() {
    if (solver) solver->interrupt();
  }
  void clearInterrupt() {
    if (solver) solver->clearInterrupt();
  }

  // Unit propagation only: quick, so it keeps the GIL.
  std::pair<bool, std::vector<int>> propagate(py::handle assumptions) {
    quelt::api::Solver& s = use();
    std::vector<int> assumed = toLiterals(assumptions);
    std::vector<int> assigned;
    const bool consistent = s.propagate(assumed, assigned);
    return {consistent, std::move(assigned)};
  }
  void setPhases(py::handle literals) {
    std::vector<int> lits = toLiterals(literals);
    quelt::api::Solver& s = use();
    for (int lit : lits) s.setPhase(lit);
  }
  void setProof(const std::string& path) { use().setProof(path); }

  std::optional<std::vector<int>> model() {
    quelt::api::Solver& s = use();
    if (s.lastResult() != Result::Satisfiable) return std::nullopt;
    return s.model();
  }
  std::optional<std::vector<int>> core() {
    quelt::api::Solver& s = use();
    if (s.lastResult() != Result::Unsatisfiable) return std::nullopt;
    return s.failedAssumptions();
  }
  bool value(int lit) { return use().value(lit) == lit; }

  void freeze(int var) { use().freeze(var); }
  void melt(int var) { use().melt(var); }
  bool frozen(int var) { return use().frozen(var); }
  int nofVars() { return use().maxVar(); }
  std::size_t nofClauses() {
    use();
    return clauses;
  }
  std::map<std::string, std::uint64_t> statistics() { return use().statistics(); }

  // The callback runs in the solving thread with the GIL taken back. An
  // exception it raises stops the solve and is raised again by solve().
  void setTerminate(py::object callback) {
    quelt::api::Solver& s = use();
    if (callback.is_none()) {
      s.setTerminate({});
      terminate = py::none();
      return;
    }
    if (!PyCallable_Check(callback.ptr())) throw py::type_error("The terminate callback is not callable.");
    terminate = std::move(callback);
    s.setTerminate([this] {
      py::gil_scoped_acquire acquire;
      try {
        int stop = PyObject_IsTrue(terminate().ptr());
        if (stop < 0) throw py::error_already_set();
        return stop != 0;
      } catch (...) {
        callbackError = std::current_exception();
        return true;
      }
    });
  }

  void remove() {
    if (solving) throw std::logic_error("The solver cannot be deleted while it solves.");
    solver.reset();
    terminate = py::none();
  }

 private:
  struct Busy {
    explicit Busy(bool& flag) : flag(flag) { flag = true; }
    ~Busy() { flag = false; }
    bool& flag;
  };

  quelt::api::Solver& use() {
    if (!solver) throw std::logic_error("The solver has been deleted.");
    if (solving) throw std::logic_error("The solver is solving.");
    return *solver;
  }

  std::unique_ptr<quelt::api::Solver> solver;
  bool solving = false;  // read and written with the GIL held only
  std::size_t clauses = 0;
  py::object terminate = py::none();
  std::exception_ptr callbackError;
};

}  // namespace

PYBIND11_MODULE(_quelt, m) {
  m.doc() = "The compiled part of the quelt package; use quelt.Solver.";
  m.attr("__version__") = std::string(quelt::api::Solver::signature()).substr(6);

  py::class_<Solver>(m, "Solver",
                     "Solver(preset=None, **params): the modern search, or with a preset the classic "
                     "search ('classic', 'default', 'default-inc', ...); params are search parameters by name, "
                     "with '_' for '-' (sp_first_restart=200), threads=N for N solvers in "
                     "parallel threads, and share=False to keep their learned clauses apart.")
      .def(py::init<const std::optional<std::string>&, const py::kwargs&>(), py::arg("preset") = py::none())
      .def("add_clause", &Solver::addClause, py::arg("clause"), "Adds a clause (an iterable of literals).")
      .def("append_formula", &Solver::appendFormula, py::arg("formula"),
           "Adds every clause of an iterable of clauses; none if one is invalid.")
      .def("solve", &Solver::solve, py::arg("assumptions") = py::tuple(), py::kw_only(),
           py::arg("conflicts") = py::none(), py::arg("seconds") = py::none(),
           py::arg("propagations") = py::none(), py::arg("decisions") = py::none(),
           "True (satisfiable), False (unsatisfiable) or None (a limit, the terminate callback "
           "or interrupt() stopped it). The assumptions and limits hold for this solve only.")
      .def("interrupt", &Solver::interrupt,
           "Stops a running solve soon (from any thread), or else the next one at once.")
      .def("clear_interrupt", &Solver::clearInterrupt,
           "Withdraws an interrupt() that has not stopped a solve yet.")
      .def("_propagate", &Solver::propagate, py::arg("assumptions"), "propagate() without its checks.")
      .def("set_phases", &Solver::setPhases, py::arg("literals") = py::tuple(),
           "Decisions on the variable of each literal take the literal's sign from now on.")
      .def("_set_proof", &Solver::setProof, py::arg("path"),
           "Writes a text DRAT proof to path from now on; with_proof=True uses it.")
      .def("get_model", &Solver::model, "[±1, ±2, ..., ±nof_vars()] after a satisfiable solve, else None.")
      .def("get_core", &Solver::core,
           "The failed assumptions after an unsatisfiable solve (the formula alone refutes them), "
           "else None.")
      .def("value", &Solver::value, py::arg("lit"), "Whether lit is true in the model.")
      .def("freeze", &Solver::freeze, py::arg("var"), "Keeps var from being eliminated; calls nest.")
      .def("melt", &Solver::melt, py::arg("var"), "Undoes one freeze(var).")
      .def("is_frozen", &Solver::frozen, py::arg("var"), "Whether var is frozen.")
      .def("nof_vars", &Solver::nofVars, "The largest variable so far.")
      .def("nof_clauses", &Solver::nofClauses, "The number of clauses added so far.")
      .def("statistics", &Solver::statistics, "The search counters by name, summed over all solves.")
      .def("set_terminate", &Solver::setTerminate, py::arg("callback"),
           "callback() is polled during each solve; True stops it. None removes it.")
      .def("delete", &Solver::remove, "Frees the solver; later calls raise RuntimeError.")
      .def("close", &Solver::remove, "The same as delete().")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Solver& s, py::args) { s.remove(); });
}
