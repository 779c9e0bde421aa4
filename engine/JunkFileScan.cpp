#include "engine/JunkFileScan.h"

#include <memory>
#include <set>
#include <utility>

#include "engine/RuntimeDetection.h"

namespace rundix {

namespace {

constexpr DWORD kTempPathChars = 261;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

int64_t UnixSecondsFromFileTime(const FILETIME& time) {
  uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000ULL) - kSecondsFrom1601To1970;
}

// Strictly after the last repair, compared as unsigned 32-bit seconds; a time beyond 32 bits
// always counts and one before 1970 never does.
bool WrittenAfter(const FILETIME& written, DWORD lastRepairTime) {
  int64_t seconds = UnixSecondsFromFileTime(written);
  if (seconds < 0) return false;
  if (seconds > 0xFFFFFFFFLL) return true;
  return static_cast<DWORD>(seconds) > lastRepairTime;
}

// One finding per file: std::to_wstring goes through swprintf, far dearer than this.
std::wstring DecimalText(int32_t value) {
  wchar_t digits[12];
  wchar_t* end = digits + 12;
  wchar_t* p = end;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = L'-';
  return std::wstring(p, end);
}

bool IsDotEntry(const std::wstring& name) { return name == L"." || name == L".."; }

// A plain name joined to a folder whose joined form ("folder\\") is already known: the same
// result as the program's path joining (JoinLibraryPath) without redoing the folder each time.
std::wstring JoinName(const std::wstring& folder, const std::wstring& prefix, const std::wstring& name) {
  bool plain = !name.empty() && !IsSeparator(name[0]) && name.find(L'"') == std::wstring::npos &&
               !(name.size() >= 3 && name[1] == L':' && IsSeparator(name[2]));
  return plain ? prefix + name : JoinLibraryPath(folder, name);
}

// One folder being listed: its search handle and the entry it will hand out next.
struct ListedFolder {
  std::wstring path;
  std::wstring prefix;  // the path joined with an empty name: it ends with '\'
  FindHandle find;
  FindData next;
  bool hasNext = false;
};

class JunkWalk {
 public:
  JunkWalk(const ScanContext& context, const std::wstring& startFolder, CheckResult* panel,
           LeftOption* category)
      : context_(context), files_(context.machine.Files()), start_(startFolder), panel_(panel),
        category_(category) {}

  // Depth first, each folder's entries in the order the search returns them, a sub-folder's
  // files before the entries that follow it. The open searches live on an explicit stack so a
  // deep tree cannot exhaust the thread's stack.
  void Run() {
    if (!Enter(start_, false)) return;
    std::vector<ListedFolder> open;
    Open(start_, &open);
    while (!open.empty()) {
      ListedFolder& top = open.back();
      if (!top.hasNext) {
        open.pop_back();  // closes the search
        continue;
      }
      FindData entry = std::move(top.next);
      top.hasNext = files_.FindNextFileW(top.find.get(), &top.next) != FALSE;
      // The path is made only for what needs it: most files of a tree are no finding.
      if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (IsDotEntry(entry.name)) continue;
        std::wstring path = JoinName(top.path, top.prefix, entry.name);
        // `top` may move when the sub-folder's search is pushed.
        if (Enter(path, (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)) Open(std::move(path), &open);
        continue;
      }
      if (WrittenAfter(entry.lastWriteTime, context_.LastRepairTime())) {
        Push(JoinName(top.path, top.prefix, entry.name), entry.size);
      }
    }
  }

 private:
  // A folder is entered once per walk. One whose identity cannot be had is still walked when
  // reached as a plain folder, but not through a link, which is what could close a loop.
  bool Enter(const std::wstring& folder, bool throughLink) {
    FolderIdentity identity;
    if (!files_.GetFolderIdentity(ExtendedLengthPath(folder), &identity)) return !throughLink;
    return visited_.insert(identity).second;
  }

  // A folder that cannot be listed (access denied, gone) contributes nothing.
  void Open(std::wstring folder, std::vector<ListedFolder>* open) {
    ListedFolder listed;
    listed.prefix = JoinLibraryPath(folder, std::wstring());
    // The calls take the "\\?\" form, so a tree deeper than MAX_PATH characters is walked
    // to its end; the paths in the findings stay plain.
    listed.find = OwnFind(files_, files_.FindFirstFileW(ExtendedLengthPath(listed.prefix + L"*.*"), &listed.next));
    listed.path = std::move(folder);
    listed.hasNext = listed.find.valid();
    if (listed.hasNext) open->push_back(std::move(listed));
  }

  void Push(std::wstring path, uint64_t size) {
    auto finding = std::make_unique<PendingFinding>();
    finding->panel = panel_;
    finding->category = category_;
    finding->kind = kJunkFileFinding;
    finding->text1 = start_;
    finding->text3 = std::move(path);
    // The low 32 bits, read as a signed number: a 3,000,000,000-byte file shows a negative size.
    finding->text4 = DecimalText(static_cast<int32_t>(static_cast<uint32_t>(size & 0xFFFFFFFFu)));
    context_.queue.Push(std::move(finding));
  }

  const ScanContext& context_;
  IFileSystem& files_;
  const std::wstring& start_;
  CheckResult* panel_;
  LeftOption* category_;
  std::set<FolderIdentity> visited_;
};

}  // namespace

std::vector<std::wstring> BuildJunkFolderList(IFileSystem& files) {
  std::vector<std::wstring> list;
  std::wstring temp = files.GetTempPathW(kTempPathChars);
  if (!temp.empty()) list.push_back(temp);
  std::wstring bin;
  if (files.SHGetSpecialFolderPathW(CSIDL_BITBUCKET, &bin, false) && !bin.empty()) list.push_back(bin);
  std::wstring windows;
  if (files.SHGetSpecialFolderPathW(CSIDL_WINDOWS, &windows, false) && !windows.empty()) {
    for (const wchar_t* sub : {L"\\Temp", L"\\System32\\LogFiles",
                               L"\\ServiceProfiles\\NetworkService\\AppData\\Local\\Temp", L"\\Logs",
                               L"\\debug", L"\\SoftwareDistribution"}) {
      list.push_back(windows + sub);
    }
  }
  return list;
}

void JunkFileScan(const ScanContext& context, const std::wstring& startFolder, CheckResult* panel,
                  LeftOption* category) {
  JunkWalk(context, startFolder, panel, category).Run();
}

void JunkFolderScan(const ScanContext& context, CheckResult* panel, LeftOption* category) {
  for (const std::wstring& folder : BuildJunkFolderList(context.machine.Files())) {
    JunkFileScan(context, folder, panel, category);
  }
}

}  // namespace rundix
