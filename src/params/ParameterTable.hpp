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
  // The help group of a Switch.
  const char* group = "Preprocessing";
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

// A parameter name that does not exist, or a value out of its range (the
// message then is checkBounds' two lines, without a last newline).
class ParameterError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// The one range check of a parameter value, for the command line and the
// library alike. Throws ParameterError with the two lines
//   Parameter NAME out of range.
//   Allowed range [LOWER,UPPER] (inclusive)
// unless lower <= value <= upper (doubles are compared exactly; NaN is
// never in range). The bounds are written in the stream's default notation,
// which is the same for every bound in the table whatever its type.
void checkRange(const std::string& name, double value, double lower, double upper);
template <typename T>
void checkBounds(const std::string& name, T value, T lower, T upper) {
  checkRange(name, static_cast<double>(value), static_cast<double>(lower), static_cast<double>(upper));
}

// The preset called name, with or without the command line's "spset-";
// throws ParameterError for an unknown one.
const PresetSpec& presetNamed(const std::string& name);

// Sets the parameter called name (an sp- option or a switch) to value.
// Integer kinds take integral values only, Bool and Switch 0 or 1. Throws
// ParameterError.
void setParameter(SearchParams& params, const std::string& name, double value);

}  // namespace quelt
