// Folder listings of the simulated file system, read from the host folders under the sandbox.
//
// Windows hands out each entry's size and time with the listing itself; the host needs one stat
// per entry for them, which makes a simulated folder walk several times slower than the walk of
// the names alone. So while a walk is under way, helper threads read the sub-folders it will
// ask for next (depth first, in listing order) and the walking thread takes them ready-made, or
// reads the next one ahead itself while a helper is still busy with the one it needs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"

namespace rundix {

struct SimListing {
  int error = 0;                  // errno of opening the folder; 0 when it was listed
  std::vector<FindData> entries;  // "." and ".." first (none at a drive's root), then NTFS order
};

// Reads one host folder: every entry whose name matches `pattern` ('*' and '?' as
// FindFirstFileW reads them) and could be looked at, with the attributes, size and last-write
// time FindFirstFileW reports. Plain sub-folders (not links, so a read-ahead never runs round
// a link cycle) are appended to `subfolders` as host paths, in listing order.
SimListing ReadHostFolder(const std::string& host, bool isRoot, std::vector<std::string>* subfolders,
                          const std::wstring& pattern = L"*");

class SimFolderReadAhead {
 public:
  SimFolderReadAhead() = default;
  ~SimFolderReadAhead();
  SimFolderReadAhead(const SimFolderReadAhead&) = delete;
  SimFolderReadAhead& operator=(const SimFolderReadAhead&) = delete;

  // The listing of `host`, read ahead or read now. With `walk` its sub-folders are the next
  // ones read ahead.
  SimListing Take(const std::string& host, bool isRoot, bool walk);

  // Drops everything read ahead: no search is open any more, or the sandbox was written to,
  // so what was read may be stale.
  void Forget();

  // Listings read ahead and not yet taken (for tests).
  size_t HeldListings() const;

 private:
  // Reads the next pending folder ahead, with the lock released while reading. False when
  // there is none or enough is held already.
  bool ReadNextAhead(std::unique_lock<std::mutex>& lock);
  void QueueFirst(std::vector<std::string>&& subfolders);
  void StartHelpers();  // with the lock held
  void HelperLoop();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> pending_;  // the folders a depth-first walk asks for next, front first
  std::set<std::string> reading_;    // being read ahead right now
  std::map<std::string, SimListing> ready_;
  size_t heldEntries_ = 0;
  uint64_t generation_ = 0;  // bumped by Forget, so reads begun before it are dropped
  bool stop_ = false;
  std::vector<std::thread> helpers_;  // started by the first walk
};

}  // namespace rundix
