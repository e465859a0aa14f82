// libFuzzer target: arbitrary bytes as a possibly compressed formula.
//
// The bytes go through quelt::FormulaInput twice: once drained into a string
// (at most kMaxText bytes, so a small archive that expands enormously is
// skipped), once straight into the DIMACS reader, as the program reads a
// file. Both ways must meet the same fate: a CorruptInput in both or in
// neither, and otherwise the same formula - the reader of the drained text
// and the reader of the stream must agree on every count. Nothing else may
// escape: any other exception or a sanitizer report is a finding.
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "frontend/CompressedInput.hpp"
#include "frontend/Dimacs.hpp"

namespace {

constexpr std::size_t kMaxText = 1 << 20;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Whether a digit run names a variable the solver's tables would have to
// grow to (10000 or more): such inputs only measure memory and time.
bool namesHugeVariable(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] < '0' || s[i] > '9') {
      ++i;
      continue;
    }
    while (i < s.size() && s[i] == '0') ++i;
    std::size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j - i >= 5 && j - i <= 10 && std::stoll(s.substr(i, j - i)) <= (std::int64_t{1} << 31)) return true;
    i = j;
  }
  return false;
}

struct Summary {
  bool invalid;
  std::uint32_t clauses;
  std::size_t vars;
  unsigned status;
};

Summary readAll(std::istream& in) {
  quelt::Dimacs reader;
  reader.parse(in, false);
  quelt::Solver& s = reader.getSolver();
  return {reader.stoppedAtInvalidNumber(), s.stats.originalClauses, s.vars.size(), s.status};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullBuffer nullBuffer;
  static std::streambuf* const keep = std::cerr.rdbuf(&nullBuffer);
  (void)keep;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // First: drain.
  std::string text;
  bool corrupt = false;
  {
    std::istringstream raw(bytes);
    try {
      quelt::FormulaInput input(raw);
      std::istream& s = input.stream();
      char buf[4096];
      while (text.size() <= kMaxText) {
        s.read(buf, sizeof buf);
        text.append(buf, static_cast<std::size_t>(s.gcount()));
        if (!s) break;
      }
      if (text.size() > kMaxText) return 0;
      if (!input.compressed() && text != bytes) __builtin_trap();  // plain text passes untouched
    } catch (const quelt::CorruptInput&) {
      corrupt = true;
    }
  }
  if (namesHugeVariable(text)) return 0;

  // Second: read the formula through the stream.
  std::istringstream raw(bytes);
  bool corruptWhileParsing = false;
  Summary streamed{};
  try {
    quelt::FormulaInput input(raw);
    streamed = readAll(input.stream());
  } catch (const quelt::CorruptInput&) {
    corruptWhileParsing = true;
  }
  if (corrupt != corruptWhileParsing) {
    // The reader may stop early ("q", an invalid number) before it reaches
    // the corrupt part; only a reader that read to the end must have seen it.
    if (!corrupt || !(streamed.invalid || text.find('q') != std::string::npos)) __builtin_trap();
    return 0;
  }
  if (corrupt) return 0;
  std::istringstream plain(text);
  const Summary drained = readAll(plain);
  if (drained.invalid != streamed.invalid || drained.clauses != streamed.clauses ||
      drained.vars != streamed.vars || drained.status != streamed.status)
    __builtin_trap();
  return 0;
}
