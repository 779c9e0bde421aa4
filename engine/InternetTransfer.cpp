#include "engine/InternetTransfer.h"

#include <algorithm>

#include "platform/Machine.h"

namespace rundix {

namespace {

constexpr DWORD kConnectTimeoutMs = 2000;
constexpr DWORD kConnectRetries = 3;
constexpr DWORD kOpenLengthCeiling = 52428800;  // 50 MiB: the most a body without a length may be
constexpr DWORD kChunkBytes = 4096;
constexpr int kMaxZeroReads = 3;                // a fourth empty read ends a known-length body
constexpr DWORD kZeroReadPauseMs = 10;
constexpr DWORD kDownloadFlags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

// The progress of one download; only the byte count steers it.
struct DownloadProgress {
  DWORD startTick = 0;
  DWORD lastTick = 0;
  DWORD expectedTotal = 0;
  DWORD received = 0;
};

bool QueryNumber(IInternet& internet, InternetHandleValue request, DWORD level, DWORD* value) {
  DWORD size = sizeof(*value);
  return internet.HttpQueryInfoW(request, level | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) != FALSE;
}

// The folder part of a path, up to and including its last '\'.
std::wstring ParentFolder(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

bool DownloadUrlToFile(Machine& machine, const std::wstring& url, const std::wstring& localPath) {
  IInternet& internet = machine.Internet();
  IFileSystem& files = machine.Files();
  IRuntime& runtime = machine.Runtime();

  // A path without a folder would land in whatever the current directory is.
  size_t lastSeparator = localPath.find_last_of(L"\\/");
  if (lastSeparator == std::wstring::npos || lastSeparator + 1 == localPath.size()) return false;
  std::wstring folder = ParentFolder(localPath);

  InternetHandle session = OwnInternetHandle(internet, internet.InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, L"", L"", 0));
  if (!session) return false;
  internet.InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  internet.InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_RETRIES, kConnectRetries);
  // Always from the server and never into the browser cache: a cached copy could be stale or
  // planted, and an installer is run with administrator rights.
  InternetHandle request = OwnInternetHandle(
      internet, internet.InternetOpenUrlW(session.get(), url, L"", static_cast<DWORD>(-1), kDownloadFlags, 0));
  if (!request) return false;

  DWORD status = 0;
  if (!QueryNumber(internet, request.get(), HTTP_QUERY_STATUS_CODE, &status) || status != 200) return false;

  DownloadProgress progress;
  bool knownLength = false;
  DWORD length = 0;
  if (QueryNumber(internet, request.get(), HTTP_QUERY_CONTENT_LENGTH, &length)) {
    if (length == 0) return false;
    knownLength = true;
    progress.expectedTotal = length;
  } else if (internet.GetLastError() == static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND)) {
    progress.expectedTotal = kOpenLengthCeiling;
  } else {
    return false;
  }

  if (!folder.empty() && !IsExistingFolder(files, folder)) CreateFolderTree(files, folder);
  FileHandle file = OwnFile(files, files.CreateFileW(localPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
  if (!file) return false;

  progress.startTick = progress.lastTick = runtime.GetTickCount();
  BYTE buffer[kChunkBytes];
  int zeroReads = 0;
  bool bodyEnded = false;
  while (progress.received < progress.expectedTotal) {
    // Never past the expected total, nor past the ceiling of a body without a length: a read
    // may return less than asked, so the ceiling is met exactly, never stepped over.
    DWORD chunk = std::min(kChunkBytes, progress.expectedTotal - progress.received);
    DWORD read = 0;
    if (!internet.InternetReadFile(request.get(), buffer, chunk, &read)) return false;
    progress.received += read;
    progress.lastTick = runtime.GetTickCount();
    if (read == 0) {
      if (!knownLength) {
        bodyEnded = true;
        break;
      }
      runtime.Sleep(kZeroReadPauseMs);
      if (++zeroReads > kMaxZeroReads) break;
      continue;
    }
    DWORD written = 0;
    if (!files.WriteFile(file.get(), buffer, read, &written) || written != read) return false;
  }

  if (knownLength) return progress.received == progress.expectedTotal;
  if (!bodyEnded) {
    // The ceiling was reached: only a body that ends right there is whole. One that still
    // has data would be a cut-off installer.
    DWORD read = 0;
    if (!internet.InternetReadFile(request.get(), buffer, kChunkBytes, &read) || read != 0) return false;
  }
  return true;
}

bool RequestUrl(Machine& machine, const std::string& url) {
  IInternet& internet = machine.Internet();
  InternetHandle session = OwnInternetHandle(internet, internet.InternetOpenA("", INTERNET_OPEN_TYPE_PRECONFIG, "", "", 0));
  if (!session) return false;
  internet.InternetSetOptionA(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
  internet.InternetSetOptionA(session.get(), INTERNET_OPTION_CONNECT_RETRIES, kConnectRetries);
  InternetHandle request = OwnInternetHandle(
      internet, internet.InternetOpenUrlA(session.get(), url, "", 0, kRequestFlags, 0));
  return static_cast<bool>(request);
}

}  // namespace rundix
