// The one form of the Range header the download routes answer: a single byte range.
#pragma once

#include <cstdint>
#include <string>

namespace rundix::server {

struct ByteRange {
  // kWhole: no range, several, or one not understood: the whole file with 200.
  enum Kind { kWhole, kPart, kUnsatisfiable } kind = kWhole;
  uint64_t first = 0;  // inclusive, within the file when kPart
  uint64_t last = 0;
};

ByteRange ParseByteRange(const std::string& header, uint64_t size);

}  // namespace rundix::server
