// Compressed copies of test formulas, made in-process with the same library
// the program decompresses with.
#pragma once

#include <boost/iostreams/filter/bzip2.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filter/lzma.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <sstream>
#include <string>

namespace quelt_test {

enum class Codec { Gzip, Bzip2, Xz };

inline std::string compress(const std::string& text, Codec codec) {
  namespace io = boost::iostreams;
  std::ostringstream out;
  {
    io::filtering_ostream z;
    if (codec == Codec::Gzip) z.push(io::gzip_compressor());
    if (codec == Codec::Bzip2) z.push(io::bzip2_compressor());
    if (codec == Codec::Xz) z.push(io::lzma_compressor());
    z.push(out);
    z << text;
  }
  return out.str();
}

inline const char* codecName(Codec c) { return c == Codec::Gzip ? "gz" : c == Codec::Bzip2 ? "bz2" : "xz"; }

}  // namespace quelt_test
