#include "engine/proof.hpp"

#include <stdexcept>

namespace quelt {

ProofWriter::ProofWriter(const std::string& path, bool binaryFormat)
    : file(std::fopen(path.c_str(), "wb")), binary(binaryFormat) {
  if (file == nullptr) throw std::runtime_error("cannot open " + path);
}

ProofWriter::~ProofWriter() {
  flush();
  std::fclose(file);
}

void ProofWriter::drain() {
  if (used != 0 && std::fwrite(buffer, 1, used, file) != used) failed = true;
  used = 0;
}

bool ProofWriter::flush() {
  drain();
  if (std::fflush(file) != 0) failed = true;
  return !failed;
}

void ProofWriter::line(char kind, const Literal* lits, std::size_t n) {
  if (binary) {
    put(kind);
    for (std::size_t i = 0; i < n; ++i) {
      std::uint64_t u = 2 * static_cast<std::uint64_t>(lits[i].var()) + (lits[i].positive() ? 0 : 1);
      while (u > 127) {
        put(static_cast<char>((u & 127) | 128));
        u >>= 7;
      }
      put(static_cast<char>(u));
    }
    put(0);
    return;
  }
  if (kind == 'd') {
    put('d');
    put(' ');
  }
  char digits[16];
  for (std::size_t i = 0; i < n; ++i) {
    if (!lits[i].positive()) put('-');
    std::uint32_t v = lits[i].var();
    int k = 0;
    do {
      digits[k++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    while (k > 0) put(digits[--k]);
    put(' ');
  }
  put('0');
  put('\n');
}

}  // namespace quelt
