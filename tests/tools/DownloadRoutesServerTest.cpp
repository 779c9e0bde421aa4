// rundix-server's installer downloads, seen from outside: what it serves, what it refuses,
// how its test faults look on the wire, and its command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sim/CurlRequest.h"
#include "tests/engine/ServedFiles.h"
#include "tests/support/ServerProcess.h"

namespace rundix {
namespace {

struct Reply {
  long status = 0;
  std::optional<uint64_t> length;
  std::string body;
  bool whole = false;  // the body ended as declared
};

class DownloadRoutesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(outer.path() + "/files");
    folder = outer.path() + "/files";
    Write("setup.exe", test::PatternBytes(70000));
    Write("with space.msi", "spaced");
    Write("chunked.exe", test::PatternBytes(150000, 2));
    Write("cut.exe", test::PatternBytes(1000, 3));
    Write("empty.exe", "unsent");
    Write("broken.exe", "unsent");
    std::ofstream(outer.path() + "/secret.txt") << "secret";
    std::filesystem::create_directory(folder + "/sub");
    std::ofstream(folder + "/sub/inner.exe") << "inner";
    std::filesystem::create_symlink(outer.path() + "/secret.txt", folder + "/link.exe");
    server = std::make_unique<test::ServerProcess>(std::vector<std::string>{
        "--files", folder, "--fault", "chunked.exe=no-length", "--fault", "cut.exe=short", "--fault",
        "empty.exe=zero-length", "--fault", "broken.exe=error500"});
    ASSERT_TRUE(server->running());
  }
  void Write(const std::string& name, const std::string& content) {
    std::ofstream(folder + "/" + name, std::ios::binary) << content;
  }
  Reply Get(const std::string& path) {
    Reply reply;
    CurlRequest request;
    CurlRequestOptions options;
    options.url = "http://" + server->address() + path;
    options.pathAsIs = true;
    if (!request.Open(options)) return reply;
    reply.status = request.Status();
    reply.length = request.ContentLength();
    char buffer[8192];
    long n = 0;
    while ((n = request.Read(buffer, sizeof(buffer))) > 0) reply.body.append(buffer, static_cast<size_t>(n));
    reply.whole = n == 0;
    return reply;
  }

  test::TempDir outer;
  std::string folder;
  std::unique_ptr<test::ServerProcess> server;
};

TEST_F(DownloadRoutesTest, AFileComesWithItsLengthAndAnUnknownNameIs404) {
  Reply r = Get("/zq/rundix/setup.exe");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.length, 70000u);
  EXPECT_TRUE(r.whole);
  EXPECT_TRUE(r.body == test::PatternBytes(70000));
  r = Get("/zq/rundix/with%20space.msi");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "spaced");
  for (const char* path : {"/zq/rundix/nothing.exe", "/zq/rundix/", "/zq/rundix/SETUP.EXE", "/zq/setup.exe"}) {
    EXPECT_EQ(Get(path).status, 404) << path;
  }
}

TEST_F(DownloadRoutesTest, NothingOutsideTheFolderIsEverServed) {
  const char* attempts[] = {
      "/zq/rundix/../secret.txt",       "/zq/rundix/%2e%2e/secret.txt", "/zq/rundix/%2E%2E%2Fsecret.txt",
      "/zq/rundix/..%5Csecret.txt",     "/zq/rundix/..",                "/zq/rundix/.",
      "/zq/rundix/sub/inner.exe",       "/zq/rundix/sub%2Finner.exe",   "/zq/rundix/link.exe",
      "/zq/rundix/%2Fetc%2Fpasswd",     "/zq/rundix/setup.exe%00.txt",  "/zq/rundix/sub",
      "/zq/rundix/C:%5Cwindows%5Cwin.ini",
  };
  for (const char* path : attempts) {
    Reply r = Get(path);
    EXPECT_NE(r.status, 200) << path;
    EXPECT_EQ(r.body.find("secret"), std::string::npos) << path;
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << path;
  }
}

TEST_F(DownloadRoutesTest, FaultModesLookOnTheWireAsTheirNamesSay) {
  Reply chunked = Get("/zq/rundix/chunked.exe");
  EXPECT_EQ(chunked.status, 200);
  EXPECT_EQ(chunked.length, std::nullopt);
  EXPECT_TRUE(chunked.whole);
  EXPECT_TRUE(chunked.body == test::PatternBytes(150000, 2));

  Reply cut = Get("/zq/rundix/cut.exe");
  EXPECT_EQ(cut.length, 1000u);
  EXPECT_FALSE(cut.whole);
  EXPECT_EQ(cut.body, test::PatternBytes(1000, 3).substr(0, 500));

  Reply empty = Get("/zq/rundix/empty.exe");
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.length, 0u);
  EXPECT_EQ(empty.body, "");

  EXPECT_EQ(Get("/zq/rundix/broken.exe").status, 500);
  // A fault never reaches a name that is not there.
  EXPECT_EQ(Get("/zq/rundix/absent.exe").status, 404);
}

TEST_F(DownloadRoutesTest, SigtermStopsTheServerCleanly) {
  EXPECT_EQ(Get("/zq/rundix/setup.exe").status, 200);
  EXPECT_EQ(server->Stop(), 0);
}

TEST(DownloadServerOptions, BadOptionsEndWithStatusTwo) {
  test::TempDir dir;
  const std::vector<std::vector<std::string>> bad = {
      {"--fault", "setup.exe=explode"},
      {"--fault", "setup.exe"},
      {"--fault", "../x=short"},
      {"--files", dir.path() + "/no-such-folder"},
      {"--no-such-option"},
  };
  for (const auto& args : bad) {
    test::ServerProcess server(args);
    EXPECT_FALSE(server.running()) << args[0];
    EXPECT_EQ(server.Stop(), 2) << args[0] << " " << args.back();
  }
}

}  // namespace
}  // namespace rundix
