// The installer download half: GET /zq/rundix/<name> serves one file of the --files folder,
// streamed in slices (never read whole), with Content-Length. A name is a plain file name of
// that folder: separators, "..", control characters and links leading out are refused.
// One byte range is answered 206 with its Content-Range (416 past the end); several ranges,
// or a header that is not understood, get the whole file with 200. For tests, single files
// can misbehave (--fault NAME=MODE); those ignore ranges.
#include <fcntl.h>
#include <httplib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "tools/server/DownloadRanges.h"
#include "tools/server/ServerOptions.h"

namespace rundix::server {
namespace {

namespace fs = std::filesystem;

enum class Fault { kNone, kNoLength, kShort, kStall, kZeroLength, kError500 };

constexpr size_t kSlice = 64 * 1024;
// How long a stalled body holds the connection before the server gives up on it.
constexpr auto kStallTime = std::chrono::seconds(2);

bool ParseFault(const std::string& mode, Fault* fault) {
  static const std::map<std::string, Fault> kModes = {
      {"no-length", Fault::kNoLength}, {"short", Fault::kShort},
      {"stall", Fault::kStall},        {"zero-length", Fault::kZeroLength},
      {"error500", Fault::kError500}};
  auto it = kModes.find(mode);
  if (it == kModes.end()) return false;
  *fault = it->second;
  return true;
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 255) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return false;
  }
  return true;
}

bool ParseOffset(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = std::stoull(text);
  return true;
}

}  // namespace

ByteRange ParseByteRange(const std::string& header, uint64_t size) {
  ByteRange range;
  const std::string unit = "bytes=";
  if (header.size() <= unit.size()) return range;
  for (size_t i = 0; i < unit.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(header[i])) != unit[i]) return range;
  }
  std::string rangeText = header.substr(unit.size());
  rangeText.erase(0, rangeText.find_first_not_of(" \t"));
  rangeText.erase(rangeText.find_last_not_of(" \t") + 1);
  size_t dash = rangeText.find('-');
  if (rangeText.find(',') != std::string::npos || dash == std::string::npos) return range;
  std::string from = rangeText.substr(0, dash);
  std::string to = rangeText.substr(dash + 1);
  uint64_t first = 0;
  uint64_t last = 0;
  if (from.empty()) {  // the last N bytes
    if (!ParseOffset(to, &last)) return range;
    if (last == 0 || size == 0) {
      range.kind = ByteRange::kUnsatisfiable;
      return range;
    }
    range.kind = ByteRange::kPart;
    range.first = last >= size ? 0 : size - last;
    range.last = size - 1;
    return range;
  }
  if (!ParseOffset(from, &first)) return range;
  if (to.empty()) {
    last = UINT64_MAX;
  } else if (!ParseOffset(to, &last) || last < first) {
    return range;
  }
  if (first >= size) {
    range.kind = ByteRange::kUnsatisfiable;
    return range;
  }
  range.kind = ByteRange::kPart;
  range.first = first;
  range.last = std::min(last, size - 1);
  return range;
}

namespace {

// An open file read in slices by the content provider; closed when the response is done.
struct OpenFile {
  int fd = -1;
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
  // Up to `size` bytes at `offset`; 0 at the end or on a read error.
  size_t ReadAt(char* data, size_t size, size_t offset) const {
    ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
};

class DownloadRoutes final : public RouteModule {
 public:
  DownloadRoutes(const ServerOptions& options, fs::path folder, std::map<std::string, Fault> faults)
      : options_(options), folder_(std::move(folder)), faults_(std::move(faults)) {}

  void Register(httplib::Server& server) override {
    server.Get(R"(/zq/rundix/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
      Serve(request.matches[1].str(), request.get_header_value("Range"), response);
    });
  }

 private:
  // The file a request names, or nothing when it names none of the folder's files.
  std::optional<fs::path> Resolve(const std::string& name) const {
    if (folder_.empty() || !IsPlainName(name)) return std::nullopt;
    std::error_code ec;
    fs::path candidate = fs::weakly_canonical(folder_ / name, ec);
    if (ec || candidate.parent_path() != folder_) return std::nullopt;  // a link leading out
    if (!fs::is_regular_file(candidate, ec) || ec) return std::nullopt;
    return candidate;
  }

  void Serve(const std::string& name, const std::string& rangeHeader, httplib::Response& response) {
    std::optional<fs::path> path = Resolve(name);
    if (!path) {
      response.status = 404;
      response.set_content("not found\n", "text/plain");
      return;
    }
    auto faultIt = faults_.find(name);
    Fault fault = faultIt == faults_.end() ? Fault::kNone : faultIt->second;
    if (fault == Fault::kError500) {
      response.status = 500;
      response.set_content("server error\n", "text/plain");
      return;
    }
    if (fault == Fault::kZeroLength) {
      response.status = 200;
      response.set_content("", "application/octet-stream");
      return;
    }
    auto file = std::make_shared<OpenFile>();
    file->fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file->fd < 0 || ::fstat(file->fd, &st) != 0) {
      response.status = 404;
      response.set_content("not found\n", "text/plain");
      return;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    if (fault == Fault::kNone) {
      ByteRange range = ParseByteRange(rangeHeader, size);
      if (range.kind == ByteRange::kUnsatisfiable) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
      }
      if (range.kind == ByteRange::kPart) {
        const size_t first = static_cast<size_t>(range.first);
        const size_t length = static_cast<size_t>(range.last - range.first + 1);
        response.status = 206;
        response.set_header("Accept-Ranges", "bytes");
        response.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                 std::to_string(range.last) + "/" + std::to_string(size));
        response.set_content_provider(
            length, "application/octet-stream",
            [file, first, length](size_t offset, size_t want, httplib::DataSink& sink) {
              if (offset >= length) return false;
              std::vector<char> slice(std::min({kSlice, want, length - offset}));
              size_t n = file->ReadAt(slice.data(), slice.size(), first + offset);
              if (n == 0) return false;  // the file shrank under us: the part cannot be whole
              return sink.write(slice.data(), n);
            });
        return;
      }
      response.set_header("Accept-Ranges", "bytes");
    }
    response.status = 200;
    if (fault == Fault::kNoLength) {
      response.set_chunked_content_provider(
          "application/octet-stream", [file](size_t offset, httplib::DataSink& sink) {
            std::vector<char> slice(kSlice);
            size_t n = file->ReadAt(slice.data(), slice.size(), offset);
            if (n > 0 && !sink.write(slice.data(), n)) return false;
            if (n == 0) sink.done();
            return true;
          });
      return;
    }
    // "short" and "stall" declare the whole length but send only the first half; a stalled
    // body then keeps the connection silent for a while before it is dropped.
    const size_t sent = (fault == Fault::kShort || fault == Fault::kStall) ? size / 2 : size;
    response.set_content_provider(
        size, "application/octet-stream",
        [file, sent, fault](size_t offset, size_t length, httplib::DataSink& sink) {
          if (offset >= sent) {
            if (fault == Fault::kStall) Stall(sink);
            return false;  // drops the connection
          }
          std::vector<char> slice(std::min({kSlice, length, sent - offset}));
          size_t n = file->ReadAt(slice.data(), slice.size(), offset);
          if (n == 0) return false;  // the file shrank under us: the body cannot be whole
          return sink.write(slice.data(), n);
        });
  }

  static void Stall(httplib::DataSink& sink) {
    auto until = std::chrono::steady_clock::now() + kStallTime;
    while (std::chrono::steady_clock::now() < until && sink.is_writable()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  ServerOptions options_;
  fs::path folder_;
  std::map<std::string, Fault> faults_;
};

}  // namespace

std::unique_ptr<RouteModule> CreateDownloadRoutes(const ServerOptions& options, std::string* error) {
  fs::path folder;
  if (!options.filesDir.empty()) {
    std::error_code ec;
    folder = fs::canonical(options.filesDir, ec);
    if (ec || !fs::is_directory(folder, ec)) {
      if (error) *error = "--files " + options.filesDir + " is not a folder";
      return nullptr;
    }
  }
  std::map<std::string, Fault> faults;
  for (const std::string& option : options.faults) {
    size_t eq = option.find('=');
    Fault fault;
    if (eq == std::string::npos || eq == 0 || !IsPlainName(option.substr(0, eq)) ||
        !ParseFault(option.substr(eq + 1), &fault)) {
      if (error) {
        *error = "bad --fault " + option + ": NAME=MODE with MODE one of no-length, short, stall, zero-length, error500";
      }
      return nullptr;
    }
    faults[option.substr(0, eq)] = fault;
  }
  return std::make_unique<DownloadRoutes>(options, std::move(folder), std::move(faults));
}

}  // namespace rundix::server
