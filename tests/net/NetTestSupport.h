// Helpers of the network tests: compressed bodies made the way servers make them.
#pragma once

#include <zlib.h>

#include <string>

#include "ui/KuBuffer.h"

namespace rundix::test {

// windowBits: 15 + 16 gzip, 15 zlib-wrapped, -15 raw deflate.
inline std::string Compress(const std::string& plain, int windowBits) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&zs, static_cast<uLong>(plain.size())) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  zs.avail_in = static_cast<uInt>(plain.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return rc == Z_STREAM_END ? out : std::string();
}

inline std::string Gzip(const std::string& plain) { return Compress(plain, 15 + 16); }
inline std::string ZlibWrapped(const std::string& plain) { return Compress(plain, 15); }
inline std::string RawDeflate(const std::string& plain) { return Compress(plain, -15); }

inline KUM::KuBuffer<unsigned char> BufferOf(const std::string& bytes) {
  KUM::KuBuffer<unsigned char> buffer;
  buffer.Assign(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned>(bytes.size()));
  return buffer;
}

inline std::string StringOf(const KUM::KuBuffer<unsigned char>& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetSize());
}

// A text that compresses like a real reply: varied, with repeats.
inline std::string ReplyText(size_t size) {
  std::string text;
  text.reserve(size + 32);
  unsigned seed = 12345;
  while (text.size() < size) {
    seed = seed * 1103515245u + 12345u;
    text += "{\"n\":" + std::to_string((seed >> 8) % 100000) + ",\"k\":\"v" + std::to_string(seed % 97) + "\"}";
  }
  text.resize(size);
  if (size > 0) text.back() = '}';
  return text;
}

}  // namespace rundix::test
