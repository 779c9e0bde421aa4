// Host files: the name is a host path in UTF-8.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LocalFile.h"
#include "platform/Text.h"
#include "platform/UniqueHandle.h"

namespace rundix {
namespace {

struct FdCloser {
  bool operator()(int fd) const { return ::close(fd) == 0; }
};

}  // namespace

bool LocalFileExists(const std::wstring& path) {
  if (path.empty()) return false;
  struct stat st {};
  return ::stat(Utf8FromWide(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadLocalFile(const std::wstring& path, size_t maxBytes, std::vector<uint8_t>* data) {
  data->clear();
  if (path.empty()) return false;
  UniqueHandle<int, FdCloser> fd(::open(Utf8FromWide(path).c_str(), O_RDONLY | O_CLOEXEC),
                                 FdCloser{}, -1);
  if (!fd) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
      static_cast<uint64_t>(st.st_size) > maxBytes) {
    return false;
  }
  data->resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < data->size()) {
    ssize_t n = ::read(fd.get(), data->data() + done, data->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  if (done != data->size()) {
    data->clear();
    return false;
  }
  return true;
}

}  // namespace rundix
