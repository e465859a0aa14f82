// libFuzzer target: the compressed-input layer. The bytes are drained through
// FormulaInput (plain text passes untouched) and read by the DIMACS reader,
// which meets corruption too unless it stopped early (q, a bad number). Their
// text is packed again (gzip, bzip2 or xz), intact, cut or with a byte changed,
// and read back: intact, it gives the text and the plain text's formula exactly;
// damaged, the text, CorruptInput, or (if no longer compressed) its own bytes.
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filter/lzma.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <iostream>
#include <sstream>

#include "app/CompressedInput.hpp"
#include "app/Dimacs.hpp"

namespace io = boost::iostreams;

struct Read { std::string text; bool compressed = false, corrupt = false; };  // text cut after 1 MiB
static Read drain(const std::string& bytes) {
  Read r;
  std::istringstream raw(bytes);
  try {
    quelt::FormulaInput input(raw);
    r.compressed = input.compressed();
    char buf[4096];
    for (std::istream& s = input.stream(); s && r.text.size() <= (1 << 20);)
      r.text.append(buf, s.read(buf, sizeof buf).gcount());
  } catch (const quelt::CorruptInput&) { r.corrupt = true; }
  return r;
}

// What the reader makes of bytes, read through FormulaInput or as plain text.
static std::tuple<bool, bool, unsigned, std::size_t, unsigned> readAll(const std::string& bytes, bool plain) {
  std::istringstream raw(bytes);
  quelt::Dimacs reader;
  try {
    reader.parse(plain ? raw : quelt::FormulaInput(raw).stream(), false);
  } catch (const quelt::CorruptInput&) { return {true, false, 0, 0, 0}; }
  const quelt::Solver& s = reader.getSolver();
  return {false, reader.stoppedAtInvalidNumber(), s.stats.originalClauses, s.vars.size(), s.status};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  [[maybe_unused]] static std::streambuf* const quiet = std::cerr.rdbuf(nullptr);  // the reader's warnings
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const Read first = drain(bytes);
  const std::string& text = first.text;
  if (text.size() > (1 << 20)) return 0;  // a small archive that expands enormously
  for (std::size_t i = 0, n = 0; i <= text.size(); ++i)  // variables of 10000 or more only cost memory and time
    if (i < text.size() && text[i] >= '0' && text[i] <= '9')
      n = std::min<std::size_t>(n * 10 + text[i] - '0', 1ULL << 40);
    else if (n >= 10000 && n <= INT32_MAX) return 0;
    else n = 0;
  if (!first.compressed && !first.corrupt && text != bytes) __builtin_trap();
  const auto streamed = readAll(bytes, false), plain = readAll(text, true);
  if (std::get<0>(streamed) ? !first.corrupt
      : first.corrupt       ? !std::get<1>(streamed) && text.find('q') == std::string::npos
                            : streamed != plain)
    __builtin_trap();

  const std::size_t h = std::hash<std::string>{}(bytes), damage = h / 3 % 3;  // none, cut, a byte changed
  std::string packed;
  io::filtering_ostream os;
  if (h % 3 == 0) os.push(io::gzip_compressor());
  if (h % 3 == 1) os.push(io::bzip2_compressor(io::bzip2_params(1)));
  if (h % 3 == 2) os.push(io::lzma_compressor(io::lzma_params(0)));
  os.push(io::back_inserter(packed));
  os << text;
  os.reset();
  if (damage == 1) packed.resize(h / 9 % packed.size());
  if (damage == 2) packed[h / 9 % packed.size()] ^= static_cast<char>(1 + h / 7 % 255);
  const Read back = drain(packed);
  if (damage == 0 ? back.corrupt || back.text != text || readAll(packed, false) != plain
                  : !back.corrupt && back.text != (back.compressed ? text : packed))
    __builtin_trap();
  return 0;
}
