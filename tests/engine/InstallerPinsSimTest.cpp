// The pins file as the configure step reads it (cmake/RundixPins.cmake, run here as a
// script): well-formed files pass, every bad line is named, and a download server that is
// not on loopback needs a pin for every catalogue installer.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

const std::string kHash(64, 'a');

class PinsFileCheck : public ::testing::Test {
 protected:
  // Runs the check on `text`; its exit status in `status`, what it said as the result.
  std::string Check(const std::string& text, const std::string& host, int* status) {
    std::string file = dir.path() + "/pins.txt";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    return test::RunCommand(std::string("'") + RUNDIX_CMAKE_COMMAND + "' -DPINS_FILE='" + file +
                                "' -DDOWNLOAD_HOST='" + host + "' -DCATALOGUE_SOURCE='" + RUNDIX_SOURCE_DIR +
                                "/engine/RuntimeCatalogue.cpp' -DOUTPUT='" + dir.path() + "/RundixPins.h' -P '" +
                                RUNDIX_SOURCE_DIR + "/cmake/RundixPins.cmake' 2>&1",
                            status);
  }
  test::TempDir dir;
};

TEST_F(PinsFileCheck, AWellFormedFileBecomesTheHeader) {
  int status = -1;
  Check("# comment\n\n  OpenALv2070.exe\t 1234  " + std::string(64, 'F') + "  # trailing\r\n", "127.0.0.1", &status);
  ASSERT_EQ(status, 0);
  std::ifstream header(dir.path() + "/RundixPins.h");
  std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("{L\"OpenALv2070.exe\", 1234ULL, \"" + std::string(64, 'f') + "\"}"), std::string::npos)
      << text;
}

TEST_F(PinsFileCheck, BadLinesFailWithTheirNumbersAndReasons) {
  int status = -1;
  std::string out = Check("a.exe 10\n"                                  // missing field
                          "b.exe 10 " + kHash.substr(1) + "g\n"         // not hexadecimal
                          "c.exe 10 " + kHash.substr(2) + "\n"          // too short
                          "d.exe ten " + kHash + "\n"                   // size not a number
                          "e.exe 10 " + kHash + "\n"
                          "E.EXE 11 " + kHash + "\n"                    // the same name again
                          "..\\\\f.exe 10 " + kHash + "\n",             // not a bare name
                          "127.0.0.1", &status);
  EXPECT_NE(status, 0);
  for (const char* expected : {"line 1: expected NAME SIZE SHA256", "line 2: SHA-256 of b.exe has characters",
                               "line 3: SHA-256 of c.exe has 62 hexadecimal digits", "line 4: size \"ten\"",
                               "line 6: E.EXE is pinned twice", "line 7: file name"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
  }
  EXPECT_EQ(out.find("line 5"), std::string::npos) << out;
}

TEST_F(PinsFileCheck, ARemoteServerNeedsAPinForEveryCatalogueInstaller) {
  int status = -1;
  EXPECT_EQ((Check("", "localhost", &status), status), 0);
  EXPECT_EQ((Check("", "127.0.0.2", &status), status), 0);
  std::string out = Check("OpenALv2070.exe 10 " + kHash + "\n", "dl.example.com", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(out.find("not on loopback"), std::string::npos) << out;
  EXPECT_NE(out.find("PhysX-9.16.0318.exe"), std::string::npos) << out;
  EXPECT_EQ(out.find("OpenALv2070.exe,"), std::string::npos) << "a pinned name is not missing";
  EXPECT_EQ(out.find("OpenALv2070.exe\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace rundix
