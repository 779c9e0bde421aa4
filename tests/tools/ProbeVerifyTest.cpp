// rundix-probe verify FILE: the size, the SHA-256 and the pins-file line of a file, and
// whether it matches the pin of its name.
#include <gtest/gtest.h>
#include <json/reader.h>

#include <fstream>
#include <sstream>

#include "tests/support/TestMachine.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {
namespace {

int Verify(const std::vector<std::string>& rest, Json::Value* root) {
  ProbeOptions options;
  options.command = "verify";
  options.rest = rest;
  std::ostringstream out;
  int status = ProbeVerify(options, out);
  if (status == 0) {
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(out.str());
    EXPECT_TRUE(Json::parseFromStream(builder, in, root, &errors)) << errors << out.str();
  }
  return status;
}

TEST(ProbeVerify, PrintsTheSizeHashAndPinsLineOfAFile) {
  test::TempDir dir;
  const std::string file = dir.path() + "/OpenALv2070.exe";
  std::ofstream(file, std::ios::binary) << "abc";
  Json::Value root;
  ASSERT_EQ(Verify({file}, &root), 0);
  EXPECT_EQ(root["size"].asUInt64(), 3u);
  EXPECT_EQ(root["sha256"].asString(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(root["pinLine"].asString(),
            "OpenALv2070.exe 3 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // This build's pins file has no such line: not pinned, so no match.
  EXPECT_FALSE(root["pinned"].asBool());
  EXPECT_FALSE(root["matches"].asBool());
}

TEST(ProbeVerify, AMissingFileOrNoFileFails) {
  test::TempDir dir;
  Json::Value root;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Verify({dir.path() + "/absent.exe"}, &root), 1);
  EXPECT_EQ(Verify({}, &root), 2);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot read"), std::string::npos) << err;
}

}  // namespace
}  // namespace rundix
