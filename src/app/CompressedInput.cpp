#include "app/CompressedInput.hpp"

#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filter/lzma.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <algorithm>
#include <cstring>
#include <string>

namespace quelt {

namespace {

// Input buffers keep the last few characters before the read position when
// they refill, so that the reader can put back a character it has looked
// past (a dash followed by a digit) even across a refill.
constexpr std::size_t kPutback = 16;

// Refills keep the putback area; derived classes provide the next bytes.
class RefillBuf : public std::streambuf {
 protected:
  // Writes up to max bytes to out; returns how many (0 at the end).
  virtual std::size_t fetch(char* out, std::size_t max) = 0;

  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    const std::size_t keep = std::min<std::size_t>(kPutback, static_cast<std::size_t>(gptr() - eback()));
    std::memmove(buffer + kPutback - keep, gptr() - keep, keep);
    const std::size_t n = fetch(buffer + kPutback, sizeof(buffer) - kPutback);
    if (n == 0) return traits_type::eof();
    setg(buffer + kPutback - keep, buffer + kPutback, buffer + kPutback + n);
    return traits_type::to_int_type(*gptr());
  }

  RefillBuf() { setg(buffer + kPutback, buffer + kPutback, buffer + kPutback); }

 private:
  char buffer[kPutback + (1 << 15)];
};

// Replays a few bytes that were consumed while sniffing, then reads on from
// the underlying buffer one byte at a time (only used for rare inputs, and
// one byte at a time so that interactive input is never waited for).
class ReplayBuf : public RefillBuf {
 public:
  ReplayBuf(std::string prefix, std::streambuf* rest) : prefix(std::move(prefix)), rest(rest) {}

 protected:
  std::size_t fetch(char* out, std::size_t) override {
    if (pos < prefix.size()) {
      out[0] = prefix[pos++];
      return 1;
    }
    const int_type c = rest->sbumpc();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    out[0] = traits_type::to_char_type(c);
    return 1;
  }

 private:
  std::string prefix;
  std::streambuf* rest;
  std::size_t pos = 0;
};

// Turns the decompressors' exceptions into CorruptInput, so the reader's
// stream does not just look like a short, complete formula.
class GuardedDecompressor : public RefillBuf {
 public:
  explicit GuardedDecompressor(std::streambuf* inner) : inner(inner) {}

 protected:
  std::size_t fetch(char* out, std::size_t max) override {
    try {
      const std::streamsize n = inner->sgetn(out, static_cast<std::streamsize>(max));
      return n > 0 ? static_cast<std::size_t>(n) : 0;
    } catch (const std::exception& e) {
      throw CorruptInput(e.what());
    }
  }

 private:
  std::streambuf* inner;
};

class DecompressingStream : public std::istream {
 public:
  template <typename Decompressor>
  DecompressingStream(Decompressor d, std::istream& source) : std::istream(nullptr), guard(&chain) {
    chain.push(d);
    chain.push(source);
    rdbuf(&guard);
    // Make read errors leave the reader as exceptions instead of a quiet
    // end of input.
    exceptions(std::ios::badbit);
  }

 private:
  boost::iostreams::filtering_streambuf<boost::iostreams::input> chain;
  GuardedDecompressor guard;
};

const std::string kGzip("\x1f\x8b", 2);
const std::string kBzip2("BZh", 3);
const std::string kXz("\xfd" "7zXZ\0", 6);

}  // namespace

FormulaInput::FormulaInput(std::istream& in) : raw(in) {
  std::streambuf* buf = raw.rdbuf();
  const std::streambuf::int_type first = buf->sgetc();
  if (std::streambuf::traits_type::eq_int_type(first, std::streambuf::traits_type::eof())) return;
  const char c = std::streambuf::traits_type::to_char_type(first);
  const std::string* magic = nullptr;
  if (c == kGzip[0]) magic = &kGzip;
  if (c == kBzip2[0]) magic = &kBzip2;
  if (c == kXz[0]) magic = &kXz;
  if (magic == nullptr) return;  // plain text: read the stream as it is

  // Consume the magic as far as it matches; the bytes are replayed below,
  // to the decompressor or, if the match fails, to the text reader.
  std::string seen;
  while (seen.size() < magic->size()) {
    const std::streambuf::int_type b = buf->sgetc();
    if (std::streambuf::traits_type::eq_int_type(b, std::streambuf::traits_type::eof())) break;
    if (std::streambuf::traits_type::to_char_type(b) != (*magic)[seen.size()]) break;
    seen.push_back(std::streambuf::traits_type::to_char_type(buf->sbumpc()));
  }
  replay = std::make_unique<ReplayBuf>(seen, buf);
  replayStream = std::make_unique<std::istream>(replay.get());
  if (seen != *magic) return;
  if (magic == &kGzip)
    decompressing = std::make_unique<DecompressingStream>(boost::iostreams::gzip_decompressor(), *replayStream);
  else if (magic == &kBzip2)
    decompressing = std::make_unique<DecompressingStream>(boost::iostreams::bzip2_decompressor(), *replayStream);
  else
    decompressing = std::make_unique<DecompressingStream>(boost::iostreams::lzma_decompressor(), *replayStream);
}

FormulaInput::~FormulaInput() = default;

std::istream& FormulaInput::stream() {
  if (decompressing) return *decompressing;
  if (replayStream) return *replayStream;
  return raw;
}

}  // namespace quelt
