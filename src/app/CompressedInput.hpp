// Compressed formulas: gzip, bzip2 and xz input, recognised by the magic
// bytes at the start of the stream (never by a file name), decompressed on
// the fly. Plain text is read straight from the original stream, untouched.
#pragma once

#include <istream>
#include <memory>
#include <stdexcept>

namespace quelt {

// Thrown when a compressed stream turns out to be corrupt or truncated.
class CorruptInput : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FormulaInput {
 public:
  // Looks at the first bytes of raw (consuming nothing for plain text).
  explicit FormulaInput(std::istream& raw);
  ~FormulaInput();
  FormulaInput(const FormulaInput&) = delete;
  FormulaInput& operator=(const FormulaInput&) = delete;

  // The stream to read the formula from. For compressed input, a failure to
  // decompress is thrown as CorruptInput out of the read that meets it.
  std::istream& stream();
  bool compressed() const { return decompressing != nullptr; }

 private:
  std::istream& raw;
  std::unique_ptr<std::streambuf> replay;  // bytes consumed while sniffing, then raw
  std::unique_ptr<std::istream> replayStream;
  std::unique_ptr<std::istream> decompressing;
};

}  // namespace quelt
