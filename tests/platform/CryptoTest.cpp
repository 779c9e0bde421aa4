// SHA-256 and random bytes on both builds: CNG under Wine, OpenSSL on Linux.
#include <gtest/gtest.h>

#include <string>

#include "platform/Crypto.h"

namespace rundix {
namespace {

std::string Sha256Of(const std::string& bytes, size_t pieces = 1) {
  Sha256 hash;
  EXPECT_TRUE(hash.valid());
  size_t step = bytes.size() / pieces + 1;
  for (size_t at = 0; at < bytes.size(); at += step) hash.Update(bytes.data() + at, std::min(step, bytes.size() - at));
  return hash.FinishHex();
}

TEST(Sha256, KnownDigestsWhateverTheUpdates) {
  EXPECT_EQ(Sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  std::string million(1000000, 'a');
  EXPECT_EQ(Sha256Of(million, 1), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(Sha256Of(million, 7919), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, FinishesOnce) {
  Sha256 hash;
  hash.Update("abc", 3);
  EXPECT_FALSE(hash.FinishHex().empty());
  EXPECT_EQ(hash.FinishHex(), "");
  EXPECT_FALSE(hash.Update("x", 1));
}

TEST(RandomBytes, FillsTheBufferDifferentlyEachTime) {
  unsigned char a[32] = {};
  unsigned char b[32] = {};
  ASSERT_TRUE(RandomBytes(a, sizeof(a)));
  ASSERT_TRUE(RandomBytes(b, sizeof(b)));
  EXPECT_NE(HexText(a, sizeof(a)), HexText(b, sizeof(b)));
  EXPECT_NE(HexText(a, sizeof(a)), std::string(64, '0'));
}

}  // namespace
}  // namespace rundix
