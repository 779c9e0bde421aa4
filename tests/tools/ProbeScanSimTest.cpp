// rundix-probe scan over a described machine: every finding of the four stages, one JSON
// object a line, in push order.
#include <gtest/gtest.h>
#include <json/reader.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/support/TestMachine.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {
namespace {

std::vector<Json::Value> RunScan(const std::string& machineFile, const std::string& sandbox, int* status) {
  ProbeOptions options;
  options.command = "scan";
  options.machineFile = machineFile;
  options.sandbox = sandbox;
  std::ostringstream out;
  *status = ProbeScan(options, out);
  std::vector<Json::Value> lines;
  std::istringstream in(out.str());
  std::string line;
  while (std::getline(in, line)) {
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream one(line);
    EXPECT_TRUE(Json::parseFromStream(builder, one, &value, &errors)) << line;
    lines.push_back(value);
  }
  return lines;
}

TEST(ProbeScan, PrintsTheFourStagesFindingsInPushOrder) {
  test::TempDir sandbox;
  int status = -1;
  auto lines = RunScan(std::string(RUNDIX_TEST_DATA_DIR) + "/scan/machine.json", sandbox.path(), &status);
  ASSERT_EQ(status, 0);
  // The description's last repair (1700000000) cuts off the old crash, the old file and the
  // runtime filter; the 64-bit shared-DLL table hides the 32-bit one.
  std::vector<std::string> summary;
  for (const auto& l : lines) {
    summary.push_back(std::to_string(l["stage"].asInt()) + "/" + std::to_string(l["kind"].asInt()) + " " +
                      l["text1"].asString() + " | " + l["text3"].asString() + " | " + l["text4"].asString() +
                      (l["category"].asBool() ? " +" : " -"));
  }
  EXPECT_EQ(summary, (std::vector<std::string>{
                         "1/0 Application Error | 2024-03-05 14:07:09\n |  +",
                         "1/0 Application Error | 2024-03-05 14:08:20\n |  +",
                         "2/0 Service Control Manager | 2024-03-05 14:10:00\n |  +",
                         "3/1 C:\\Users\\user\\AppData\\Local\\Temp\\ | "
                         "C:\\Users\\user\\AppData\\Local\\Temp\\setup.log | 3 +",
                         "3/1 C:\\$Recycle.Bin | C:\\$Recycle.Bin\\S-1-5-21\\$RABC.zip | -1294967296 +",
                         "3/1 C:\\Windows\\Logs | C:\\Windows\\Logs\\CBS\\CBS.log | 3 +",
                         "4/2 MSVCR100.dll |  |  -",
                         "4/2 mfc140u.dll |  |  -",
                     }));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0]["text2"].asString(), "\xE6\x9C\x80\xE8\xBF\x91\xE4\xB8\x80\xE6\xAC\xA1\xE5\xB4\xA9\xE6\xBA\x83"
                                          "\xE6\x97\xB6\xE9\x97\xB4: 2024-03-05 14:07:09\n");
}

TEST(ProbeScan, WithoutARepairRuntimesCarryTheirCategory) {
  test::TempDir sandbox;
  std::string file = sandbox.path() + "/machine.json";
  std::ofstream(file) << R"({"registry":{"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls":{
      "C:\\Windows\\system32\\MSVCR100.dll":1,"C:\\x\\mfc140u.dll":1}}})";
  int status = -1;
  auto lines = RunScan(file, sandbox.path() + "/sandbox", &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["stage"].asInt(), 4);
  EXPECT_TRUE(lines[0]["category"].asBool());
  EXPECT_FALSE(lines[1]["category"].asBool());
}

TEST(ProbeScan, ItChangesNothingAndLeavesNothingBehind) {
  test::TempDir sandbox;
  int status = -1;
  RunScan(std::string(RUNDIX_TEST_DATA_DIR) + "/scan/machine.json", sandbox.path(), &status);
  ASSERT_EQ(status, 0);
  // The program would make its application data folder; the probe only looks.
  EXPECT_TRUE(std::filesystem::exists(sandbox.path() + "/C/Users/user/AppData/Roaming"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.path() + "/C/Users/user/AppData/Roaming/RUNDIX"));

  // Without --sandbox it makes its own and removes it again.
  auto probeFolders = [] {
    std::set<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::temp_directory_path())) {
      std::string name = e.path().filename().string();
      if (name.rfind("rundix-probe-", 0) == 0) found.insert(name);
    }
    return found;
  };
  std::set<std::string> before = probeFolders();
  RunScan(std::string(RUNDIX_TEST_DATA_DIR) + "/scan/machine.json", "", &status);
  ASSERT_EQ(status, 0);
  std::set<std::string> after = probeFolders();
  for (const std::string& name : after) EXPECT_TRUE(before.count(name)) << name << " was left behind";
}

TEST(ProbeScan, ABadDescriptionFailsWithAReason) {
  test::TempDir sandbox;
  std::string file = sandbox.path() + "/machine.json";
  std::ofstream(file) << R"({"event_logs":{"System":[{"type":"fatal"}]}})";
  int status = -1;
  testing::internal::CaptureStderr();
  auto lines = RunScan(file, sandbox.path() + "/sandbox", &status);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(lines.empty());
  EXPECT_NE(err.find("\"type\""), std::string::npos) << err;
}

}  // namespace
}  // namespace rundix
