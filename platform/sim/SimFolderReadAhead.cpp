#include "platform/sim/SimFolderReadAhead.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <string_view>

#include "platform/Text.h"

namespace rundix {

namespace {

constexpr int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970
// How far the read-ahead may run before the walk catches up: entries held in listings not yet
// taken, and folders waiting to be read.
constexpr size_t kHeldEntriesLimit = 16384;
constexpr size_t kPendingLimit = 4096;
constexpr unsigned kMostHelpers = 3;

FILETIME FileTimeFromUnix(int64_t seconds, long nanoseconds) {
  int64_t ticks = (seconds + kEpochDifference) * 10000000LL + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return ft;
}

// NTFS orders names by their upper-case form. The key is that form in UTF-8, whose byte order
// is the order of the characters; a plain ASCII name needs no conversion for it.
void AppendSortKey(const char* name, const std::wstring& wide, std::string* keys) {
  size_t start = keys->size();
  keys->append(name);
  bool ascii = true;
  for (size_t i = start; i < keys->size(); ++i) {
    char& c = (*keys)[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
  }
  if (ascii) return;
  std::wstring upper = wide;
  for (auto& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  keys->resize(start);
  keys->append(Utf8FromWide(upper));
}

// '*' and '?' as FindFirstFileW reads them, without regard to letter case; "*.*" is "*".
bool WildcardMatch(const std::wstring& pattern, const std::wstring& name) {
  if (pattern == L"*" || pattern == L"*.*") return true;
  std::wstring p = ToLowerWide(pattern);
  std::wstring n = ToLowerWide(name);
  size_t pi = 0, ni = 0, star = std::wstring::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == L'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == L'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::wstring::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && (p[pi] == L'*' || p[pi] == L'.')) ++pi;
  return pi == p.size();
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

// A walk reads every folder of a tree, so this keeps to one allocation per entry (its wide
// name): the host names and the sort keys of a folder each live in one buffer.
SimListing ReadHostFolder(const std::string& host, bool isRoot, std::vector<std::string>* subfolders,
                          const std::wstring& pattern) {
  bool everything = pattern == L"*" || pattern == L"*.*";
  SimListing listing;
  int dirfd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) {
    listing.error = errno;
    return listing;
  }
  std::unique_ptr<DIR, DirCloser> dir(::fdopendir(dirfd));
  if (!dir) {
    listing.error = errno;
    ::close(dirfd);
    return listing;
  }
  struct Listed {
    uint32_t name;  // offset of the NUL-terminated host name in `names`
    uint32_t key;   // offset and length of the sort key in `keys`
    uint32_t keyLength;
    bool link;
    bool dot;
  };
  std::vector<Listed> listed;
  std::string names;
  std::string keys;
  std::vector<std::wstring> wides;
  while (dirent* e = ::readdir(dir.get())) {
    const char* n = e->d_name;
    bool dot = n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
    if (dot && isRoot) continue;
    Listed item{static_cast<uint32_t>(names.size()), static_cast<uint32_t>(keys.size()), 0,
                e->d_type == DT_LNK, dot};
    names.append(n).push_back('\0');
    std::wstring wide = WideFromUtf8(n);
    if (!everything && !WildcardMatch(pattern, wide)) continue;
    if (!dot) {
      AppendSortKey(n, wide, &keys);
      item.keyLength = static_cast<uint32_t>(keys.size() - item.key);
    }
    wides.push_back(std::move(wide));
    listed.push_back(item);
  }
  std::vector<uint32_t> order(listed.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](uint32_t ia, uint32_t ib) {
    const Listed& a = listed[ia];
    const Listed& b = listed[ib];
    if (a.dot != b.dot) return a.dot;
    if (a.dot) return std::strcmp(names.c_str() + a.name, names.c_str() + b.name) < 0;
    return std::string_view(keys).substr(a.key, a.keyLength) < std::string_view(keys).substr(b.key, b.keyLength);
  });
  listing.entries.reserve(listed.size());
  for (uint32_t i : order) {
    const Listed& e = listed[i];
    const char* name = names.c_str() + e.name;
    // A link reports what it points at; a dangling one, itself. The links of a simulated
    // machine are folder links (junctions, directory links), which stay folders when their
    // target is gone.
    struct stat st;
    bool dangling = false;
    if (::fstatat(dirfd, name, &st, 0) != 0) {
      if (::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      dangling = S_ISLNK(st.st_mode);
    }
    bool folder = S_ISDIR(st.st_mode) || dangling;
    FindData& entry = listing.entries.emplace_back();
    entry.name = std::move(wides[i]);
    entry.attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (e.link) entry.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    entry.size = folder ? 0 : static_cast<uint64_t>(st.st_size);
    entry.lastWriteTime = FileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    if (folder && !e.link && !e.dot && subfolders) subfolders->push_back(host + "/" + name);
  }
  return listing;
}

SimFolderReadAhead::~SimFolderReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
}

SimListing SimFolderReadAhead::Take(const std::string& host, bool isRoot, bool walk) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto ready = ready_.find(host);
    if (ready != ready_.end()) {
      SimListing listing = std::move(ready->second);
      ready_.erase(ready);
      heldEntries_ -= listing.entries.size();
      changed_.notify_all();  // room to read further ahead
      return listing;
    }
    if (reading_.count(host) == 0) break;
    // A helper is reading it: read the next one ahead meanwhile rather than wait idle.
    if (!ReadNextAhead(lock)) changed_.wait(lock);
  }
  auto queued = std::find(pending_.begin(), pending_.end(), host);
  if (queued != pending_.end()) pending_.erase(queued);
  uint64_t generation = generation_;
  lock.unlock();
  std::vector<std::string> subfolders;
  SimListing listing = ReadHostFolder(host, isRoot, walk ? &subfolders : nullptr);
  lock.lock();
  if (walk && generation == generation_ && !subfolders.empty()) {
    QueueFirst(std::move(subfolders));
    if (helpers_.empty()) StartHelpers();
    changed_.notify_all();
  }
  return listing;
}

void SimFolderReadAhead::Forget() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pending_.empty() && ready_.empty() && reading_.empty()) return;
  pending_.clear();
  ready_.clear();
  heldEntries_ = 0;
  ++generation_;
}

size_t SimFolderReadAhead::HeldListings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ready_.size();
}

bool SimFolderReadAhead::ReadNextAhead(std::unique_lock<std::mutex>& lock) {
  if (stop_ || pending_.empty() || heldEntries_ >= kHeldEntriesLimit) return false;
  std::string host = std::move(pending_.front());
  pending_.pop_front();
  reading_.insert(host);
  uint64_t generation = generation_;
  lock.unlock();
  std::vector<std::string> subfolders;
  SimListing listing = ReadHostFolder(host, false, &subfolders);
  lock.lock();
  reading_.erase(host);
  if (generation == generation_) {
    SimListing& slot = ready_[host];
    heldEntries_ += listing.entries.size() - slot.entries.size();
    slot = std::move(listing);
    QueueFirst(std::move(subfolders));
  }
  changed_.notify_all();
  return true;
}

// A folder's sub-folders come before the folders already waiting: the walk goes depth first.
void SimFolderReadAhead::QueueFirst(std::vector<std::string>&& subfolders) {
  pending_.insert(pending_.begin(), std::make_move_iterator(subfolders.begin()),
                  std::make_move_iterator(subfolders.end()));
  if (pending_.size() > kPendingLimit) pending_.resize(kPendingLimit);
}

// One core is the walking thread's; the others read ahead, up to a few.
void SimFolderReadAhead::StartHelpers() {
  unsigned cores = std::thread::hardware_concurrency();
  unsigned count = std::clamp(cores > 1 ? cores - 1 : 1u, 1u, kMostHelpers);
  for (unsigned i = 0; i < count; ++i) helpers_.emplace_back([this] { HelperLoop(); });
}

void SimFolderReadAhead::HelperLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (!ReadNextAhead(lock)) changed_.wait(lock);
  }
}

}  // namespace rundix
