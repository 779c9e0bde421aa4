#include <gtest/gtest.h>
#include <json/reader.h>

#include <sstream>

#include "tools/probe/ProbeCommands.h"

namespace rundix {
namespace {

TEST(ProbeCatalogue, PrintsTheNineteenEntriesAsJson) {
  std::ostringstream out;
  ASSERT_EQ(ProbeCatalogue(ProbeOptions{}, out), 0);
  Json::Value root;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(out.str());
  ASSERT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << errors;
  ASSERT_TRUE(root.isArray());
  ASSERT_EQ(root.size(), 19u);
  const Json::Value& vc = root[3];
  EXPECT_EQ(vc["index"].asInt(), 3);
  EXPECT_EQ(vc["displayName"].asString(), "Visual C++ 2012 \xE8\xBF\x90\xE8\xA1\x8C\xE5\xBA\x93");
  EXPECT_EQ(vc["switch"].asString(), "/quiet /norestart");
  EXPECT_EQ(vc["fileName"].asString(), "2012_vcredist_x86.exe");
  EXPECT_EQ(vc["architecture"].asString(), "x86");
  EXPECT_NE(vc["url"].asString().find("/zq/rundix/2012_vcredist_x86.exe"), std::string::npos);
  EXPECT_EQ(root[18]["switch"].asString(), "");
  EXPECT_EQ(root[11]["architecture"].asString(), "x64");
  EXPECT_EQ(root[12]["architecture"].asString(), "any");
}

}  // namespace
}  // namespace rundix
