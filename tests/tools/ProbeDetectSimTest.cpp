#include <gtest/gtest.h>
#include <json/reader.h>

#include <sstream>

#include "tests/support/TestMachine.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {
namespace {

Json::Value Detect(const std::string& fixture, int* status) {
  test::TempDir sandbox;
  ProbeOptions options;
  options.command = "detect";
  options.machineFile = std::string(RUNDIX_TEST_DATA_DIR) + "/repair/" + fixture;
  options.sandbox = sandbox.path();
  std::ostringstream out;
  *status = ProbeDetect(options, out);
  Json::Value root;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(out.str());
  EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << errors << out.str();
  return root;
}

TEST(ProbeDetect, PrintsTheMasksAndEachEntrysDecision) {
  int status = -1;
  Json::Value x64 = Detect("everything-x64.json", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(x64["vcMask"].asUInt(), 0xA92492u);
  EXPECT_EQ(x64["netMask"].asUInt(), 0x3A4u);
  EXPECT_EQ(x64["xnaMask"].asUInt(), 0x18u);
  EXPECT_TRUE(x64["native64"].asBool());
  ASSERT_EQ(x64["entries"].size(), 19u);
  EXPECT_EQ(x64["entries"][0]["fileName"].asString(), "2005_vcredist_x86.exe");
  for (Json::ArrayIndex i = 0; i < 19; ++i) {
    EXPECT_EQ(x64["entries"][i]["index"].asUInt(), i);
    EXPECT_EQ(x64["entries"][i]["decision"].asString(), i < 6 ? "missing" : "present") << i;
  }

  Json::Value x86 = Detect("everything-x86.json", &status);
  ASSERT_EQ(status, 0);
  EXPECT_FALSE(x86["native64"].asBool());
  for (Json::ArrayIndex i = 0; i < 19; ++i) {
    EXPECT_EQ(x86["entries"][i]["decision"].asString(), (i >= 6 && i < 12) ? "passed over" : "present") << i;
  }
}

TEST(ProbeDetect, TheOpenALAndPhysXEntriesShowWhatTheyWereDecidedBy) {
  int status = -1;
  Json::Value x64 = Detect("everything-x64.json", &status);
  ASSERT_EQ(status, 0);
  const Json::Value& openAL = x64["entries"][17];
  EXPECT_EQ(openAL["fileName"].asString(), "OpenALv2070.exe");
  EXPECT_EQ(openAL["fileVersion"].asString(), "6.14.357.24");
  EXPECT_TRUE(openAL["loadable"].asBool());
  const Json::Value& physX = x64["entries"][18];
  EXPECT_EQ(physX["registryVersion"].asString(), "2.8.6.4");  // PhysX Version 2080604
  EXPECT_EQ(physX["fileVersion"].asString(), "2.8.6.4");
  EXPECT_TRUE(physX["loaderUsable"].asBool());
  // The mask entries carry no such values.
  EXPECT_FALSE(x64["entries"][0].isMember("fileVersion"));
}

TEST(ProbeDetect, WithoutAMachineItFails) {
  std::ostringstream out;
  ProbeOptions options;
  options.command = "detect";
  EXPECT_EQ(ProbeDetect(options, out), 1);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace rundix
