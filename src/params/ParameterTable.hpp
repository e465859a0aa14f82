// The search parameters and presets as data: the one table from which the
// command line builds its options, help texts and range checks, and through
// which the library sets parameters by name.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "params/SearchParams.hpp"

namespace quelt {

// How the command line reads a parameter's value; the range is inclusive.
// A Switch is a Bool that no preset sets and that the command line takes as
// a bare option of its own group, e.g. --preprocess.
enum class ParameterKind { Int, Unsigned, Double, Bool, Switch };

struct ParameterSpec {
  const char* name;
  ParameterKind kind;
  double lower, upper;  // unused for Bool
  void (*set)(SearchParams&, double);
  std::string help;
};

struct PresetSpec {
  const char* name;  // the command-line option
  void (SearchParams::*apply)();
  const char* help;
};

// The parameters in table order (the sp- ones, then the switches), and the
// presets in the order they are applied.
const std::vector<ParameterSpec>& parameterTable();
const std::vector<PresetSpec>& presetTable();

// The two lines reporting a value out of spec's range, each ended with a
// newline; the bounds are written as spec's kind reads them.
std::string outOfRangeMessage(const ParameterSpec& spec);

// A parameter name that does not exist, or a value out of its range (the
// message then is outOfRangeMessage without its last newline).
class ParameterError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Sets the parameter called name (an sp- option or a switch) to value.
// Integer kinds take integral values only, Bool and Switch 0 or 1. Throws
// ParameterError.
void setParameter(SearchParams& params, const std::string& name, double value);

}  // namespace quelt
