// The pull-style curl exchange and the WinINet-shaped operations built on it, against a real
// rundix-server on loopback.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Text.h"
#include "platform/sim/CurlRequest.h"
#include "platform/sim/SimMachine.h"
#include "tests/engine/ServedFiles.h"
#include "tests/support/ServerProcess.h"

namespace rundix {
namespace {

class ServedTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = new test::ServedFiles();
    files_->Put("small.bin", test::PatternBytes(1000));
    files_->Put("large.bin", test::PatternBytes(3 * 1024 * 1024 + 17, 2));
    files_->Put("chunked.bin", test::PatternBytes(300000, 3));
    files_->Put("cut.bin", test::PatternBytes(200000, 4));
    files_->Put("fail.bin", "x");
    files_->Put("empty.bin", "data that is never sent");
    server_ = new test::ServerProcess({"--files", files_->folder(), "--fault", "chunked.bin=no-length",
                                       "--fault", "cut.bin=short", "--fault", "fail.bin=error500",
                                       "--fault", "empty.bin=zero-length"});
  }
  static void TearDownTestSuite() {
    delete server_;
    delete files_;
  }
  void SetUp() override { ASSERT_TRUE(server_->running()); }

  static std::string Url(const std::string& name) { return "http://" + server_->address() + "/zq/rundix/" + name; }

  // The whole body through Read in chunks of `chunk` bytes; nothing when a read fails.
  static std::optional<std::string> ReadAll(CurlRequest& request, size_t chunk) {
    std::string body;
    std::vector<char> buffer(chunk);
    while (true) {
      long n = request.Read(buffer.data(), buffer.size());
      if (n < 0) return std::nullopt;
      if (n == 0) return body;
      EXPECT_LE(static_cast<size_t>(n), chunk);
      body.append(buffer.data(), static_cast<size_t>(n));
    }
  }

  static test::ServedFiles* files_;
  static test::ServerProcess* server_;
};
test::ServedFiles* ServedTest::files_ = nullptr;
test::ServerProcess* ServedTest::server_ = nullptr;

using CurlRequestTest = ServedTest;

TEST_F(CurlRequestTest, ABodyComesOutWholeInTheCallersChunks) {
  for (size_t chunk : {1u, 4096u, 100000u}) {
    CurlRequest request;
    CurlRequestOptions options;
    options.url = Url(chunk == 1 ? "small.bin" : "large.bin");
    ASSERT_TRUE(request.Open(options)) << request.Error();
    EXPECT_EQ(request.Status(), 200);
    std::string expected = chunk == 1 ? test::PatternBytes(1000) : test::PatternBytes(3 * 1024 * 1024 + 17, 2);
    EXPECT_EQ(request.ContentLength(), expected.size());
    auto body = ReadAll(request, chunk);
    ASSERT_TRUE(body) << request.Error();
    EXPECT_TRUE(*body == expected) << "chunk " << chunk;
    EXPECT_EQ(request.Read(nullptr, 0), 0);
  }
}

TEST_F(CurlRequestTest, HeadsWithoutLengthAndErrorStatusesAreStillResponses) {
  CurlRequest chunked;
  CurlRequestOptions options;
  options.url = Url("chunked.bin");
  ASSERT_TRUE(chunked.Open(options));
  EXPECT_EQ(chunked.ContentLength(), std::nullopt);
  EXPECT_FALSE(chunked.HeaderValues("transfer-encoding").empty());
  auto body = ReadAll(chunked, 4096);
  ASSERT_TRUE(body);
  EXPECT_TRUE(*body == test::PatternBytes(300000, 3));

  CurlRequest missing;
  options.url = Url("no-such-file.exe");
  ASSERT_TRUE(missing.Open(options));
  EXPECT_EQ(missing.Status(), 404);
  EXPECT_NE(missing.ResponseHead().find("HTTP/1.1 404"), std::string::npos);
  EXPECT_NE(missing.RequestHead().find("GET /zq/rundix/no-such-file.exe HTTP/1.1"), std::string::npos);
}

TEST_F(CurlRequestTest, ABodyCutShortFailsAsSuchAfterWhatArrived) {
  CurlRequest request;
  CurlRequestOptions options;
  options.url = Url("cut.bin");
  ASSERT_TRUE(request.Open(options));
  EXPECT_EQ(request.ContentLength(), 200000u);
  std::string body;
  char buffer[4096];
  long n = 0;
  while ((n = request.Read(buffer, sizeof(buffer))) > 0) body.append(buffer, static_cast<size_t>(n));
  EXPECT_EQ(n, -1);
  EXPECT_EQ(request.LastFailure(), CurlRequest::Failure::kCutShort) << request.Error();
  EXPECT_EQ(body, test::PatternBytes(200000, 4).substr(0, 100000));
}

TEST_F(CurlRequestTest, NoServerIsAConnectFailure) {
  test::ServerProcess gone({"--files", files_->folder()});
  ASSERT_TRUE(gone.running());
  std::string url = "http://" + gone.address() + "/zq/rundix/small.bin";
  ASSERT_EQ(gone.Stop(), 0);
  CurlRequest request;
  CurlRequestOptions options;
  options.url = url;
  options.connectTimeoutMs = 2000;
  EXPECT_FALSE(request.Open(options));
  EXPECT_EQ(request.LastFailure(), CurlRequest::Failure::kConnect) << request.Error();
  char buffer[16];
  EXPECT_EQ(request.Read(buffer, sizeof(buffer)), -1);
}

class SimInternetTest : public ServedTest {
 protected:
  void SetUp() override {
    ServedTest::SetUp();
    std::string error;
    machine = SimMachine::FromJson("{}", sandbox.path(), &error);
    ASSERT_TRUE(machine) << error;
  }
  InternetHandle Session() {
    return OwnInternetHandle(net(), net().InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, L"", L"", 0));
  }
  InternetHandle Open(const InternetHandle& session, const std::string& name) {
    return OwnInternetHandle(net(), net().InternetOpenUrlW(session.get(), WideFromUtf8(Url(name)), L"",
                                                          static_cast<DWORD>(-1), INTERNET_FLAG_KEEP_CONNECTION, 0));
  }
  IInternet& net() { return machine->Internet(); }
  bool Number(const InternetHandle& request, DWORD level, DWORD* value) {
    DWORD size = sizeof(*value);
    return net().HttpQueryInfoW(request.get(), level | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) != FALSE;
  }

  test::TempDir sandbox;
  std::unique_ptr<SimMachine> machine;
};

TEST_F(SimInternetTest, StatusAndLengthAsNumbersAndAsText) {
  InternetHandle session = Session();
  ASSERT_TRUE(session);
  EXPECT_TRUE(net().InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, 2000));
  EXPECT_TRUE(net().InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_RETRIES, 3));
  InternetHandle request = Open(session, "small.bin");
  ASSERT_TRUE(request);
  DWORD status = 0, length = 0;
  ASSERT_TRUE(Number(request, HTTP_QUERY_STATUS_CODE, &status));
  EXPECT_EQ(status, 200u);
  ASSERT_TRUE(Number(request, HTTP_QUERY_CONTENT_LENGTH, &length));
  EXPECT_EQ(length, 1000u);

  // Text under Windows' buffer rules: too small says how much is needed.
  BYTE text[32];
  DWORD size = 4;
  EXPECT_FALSE(net().HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
  EXPECT_EQ(net().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 10u);  // "1000" and the terminator in UTF-16
  size = sizeof(text);
  ASSERT_TRUE(net().HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr));
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(WideFromUtf16Le(text, sizeof(text)), L"1000");

  DWORD number = 0;
  DWORD small = 2;
  EXPECT_FALSE(net().HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &number, &small, nullptr));
  EXPECT_EQ(net().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(SimInternetTest, ALengthlessBodyReportsTheHeaderMissingAndEndsWithAnEmptyRead) {
  InternetHandle session = Session();
  InternetHandle request = Open(session, "chunked.bin");
  ASSERT_TRUE(request);
  DWORD length = 0;
  EXPECT_FALSE(Number(request, HTTP_QUERY_CONTENT_LENGTH, &length));
  EXPECT_EQ(net().GetLastError(), static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND));
  std::string body;
  char buffer[4096];
  DWORD read = 1;
  while (net().InternetReadFile(request.get(), buffer, sizeof(buffer), &read) && read > 0) body.append(buffer, read);
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(body == test::PatternBytes(300000, 3));
  // Past the end it stays at the end.
  EXPECT_TRUE(net().InternetReadFile(request.get(), buffer, sizeof(buffer), &read));
  EXPECT_EQ(read, 0u);
}

TEST_F(SimInternetTest, ABodyCutShortReadsAsItsEndAsWinInetReportsIt) {
  InternetHandle session = Session();
  InternetHandle request = Open(session, "cut.bin");
  ASSERT_TRUE(request);
  size_t total = 0;
  char buffer[4096];
  DWORD read = 0;
  while (true) {
    ASSERT_TRUE(net().InternetReadFile(request.get(), buffer, sizeof(buffer), &read));
    if (read == 0) break;
    total += read;
  }
  EXPECT_EQ(total, 100000u);
}

TEST_F(SimInternetTest, WrongHandlesAndSchemesFailWithWinInetsErrors) {
  InternetHandle session = Session();
  DWORD value = 0, size = sizeof(value), read = 0;
  char buffer[8];
  EXPECT_FALSE(net().HttpQueryInfoW(session.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr));
  EXPECT_EQ(net().GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
  EXPECT_FALSE(net().InternetReadFile(session.get(), buffer, sizeof(buffer), &read));
  EXPECT_EQ(net().InternetOpenUrlW(session.get(), L"ftp://127.0.0.1/x", L"", static_cast<DWORD>(-1), 0, 0), nullptr);
  EXPECT_EQ(net().GetLastError(), static_cast<DWORD>(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
  InternetHandle request = Open(session, "small.bin");
  ASSERT_TRUE(request);
  EXPECT_EQ(net().InternetOpenUrlW(request.get(), WideFromUtf8(Url("small.bin")), L"", static_cast<DWORD>(-1), 0, 0),
            nullptr);
  InternetHandleValue raw = request.release();
  EXPECT_TRUE(net().InternetCloseHandle(raw));
  EXPECT_FALSE(net().InternetCloseHandle(raw));
  EXPECT_EQ(net().GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  auto opened = machine->Journal().EventsOfKind("open_url");
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ(opened.back().subject, WideFromUtf8(Url("small.bin")));
}

}  // namespace
}  // namespace rundix
