#include "platform/sim/SimFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/Text.h"
#include "platform/sim/SimMachine.h"

namespace rundix {

namespace {

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  if (folder.empty() || path.size() < folder.size()) return false;
  if (!EqualsNoCase(std::wstring_view(path).substr(0, folder.size()), folder)) return false;
  return path.size() == folder.size() || path[folder.size()] == L'\\' || folder.back() == L'\\';
}

// Whether a host file name (UTF-8) is `lower`, a name already in lower case, written in any
// letter case. Plain ASCII names, nearly all of them, are compared where they lie: a folder
// search runs this once per entry.
bool IsNameNoCase(const char* name, const std::wstring& lower) {
  size_t i = 0;
  for (; name[i] != '\0'; ++i) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) return ToLowerWide(WideFromUtf8(name)) == lower;
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (i >= lower.size() || lower[i] != static_cast<wchar_t>(c)) return false;
  }
  return i == lower.size();
}

// The entry of host folder `folder` whose name is `lower` in any letter case, or empty. The
// folder is read straight into a buffer on the stack: opendir allocates 32 KB a call, and a
// path walk searches a folder for every part not there as written (every new folder's).
std::string FindNameNoCase(const std::string& folder, const std::wstring& lower) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  alignas(dirent64) char buffer[8192];
  std::string found;
  ssize_t n = 0;
  while (found.empty() && (n = ::getdents64(fd, buffer, sizeof(buffer))) > 0) {
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer + at);
      at += e->d_reclen;
      if (IsNameNoCase(e->d_name, lower)) {
        found = e->d_name;
        break;
      }
    }
  }
  ::close(fd);
  return found;
}

// Writes all `bytes` to `fd`, counting what went in `done`; false with errno set on failure.
bool WriteAll(int fd, const void* data, size_t bytes, size_t* done) {
  const char* p = static_cast<const char*>(data);
  *done = 0;
  while (*done < bytes) {
    ssize_t n = ::write(fd, p + *done, bytes - *done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    *done += static_cast<size_t>(n);
  }
  return true;
}

DWORD ErrorFromErrno(int e, DWORD missing) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      return missing;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

bool MakeHostDirs(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty() || p == "/") return true;
  // Nearly always the parent is there already: try the whole path first and back up only as
  // far as levels are missing, instead of one mkdir per level from the root.
  std::vector<size_t> missing;  // ends of the levels still to make, deepest first
  size_t end = p.size();
  for (;;) {
    if (::mkdir(p.substr(0, end).c_str(), 0755) == 0 || errno == EEXIST) break;
    if (errno != ENOENT) return false;
    missing.push_back(end);
    size_t slash = p.rfind('/', end - 1);
    while (slash != std::string::npos && slash > 0 && p[slash - 1] == '/') --slash;
    if (slash == std::string::npos || slash == 0) return false;
    end = slash;
  }
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (::mkdir(p.substr(0, *level).c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

struct SimFileSystem::OpenFile {
  int fd = -1;
  std::wstring path;
  std::string host;
  dev_t device = 0;
  ino_t inode = 0;
  DWORD access = 0;  // GENERIC_READ, GENERIC_WRITE, DELETE
  DWORD share = 0;   // FILE_SHARE_*
};

namespace {

// Windows' sharing rule between two handles of one file: each one's access must be allowed
// by the other's sharing mode.
bool SharingAllows(DWORD access, DWORD share, DWORD otherAccess, DWORD otherShare) {
  auto allowed = [](DWORD wanted, DWORD sharing) {
    if ((wanted & GENERIC_READ) && !(sharing & FILE_SHARE_READ)) return false;
    if ((wanted & GENERIC_WRITE) && !(sharing & FILE_SHARE_WRITE)) return false;
    if ((wanted & DELETE) && !(sharing & FILE_SHARE_DELETE)) return false;
    return true;
  };
  return allowed(access, otherShare) && allowed(otherAccess, share);
}

}  // namespace

struct SimFileSystem::OpenFind {
  std::vector<FindData> entries;
  size_t next = 0;
};

SimFileSystem::SimFileSystem(std::string sandbox, bool machineIs64Bit, SimJournal& journal)
    : sandbox_(std::move(sandbox)), is64Bit_(machineIs64Bit), journal_(journal) {
  while (sandbox_.size() > 1 && sandbox_.back() == '/') sandbox_.pop_back();
  special_[CSIDL_APPDATA] = L"C:\\Users\\user\\AppData\\Roaming";
  special_[CSIDL_COMMON_APPDATA] = L"C:\\ProgramData";
  special_[CSIDL_BITBUCKET] = std::nullopt;  // the recycle bin is a virtual folder
}

SimFileSystem::~SimFileSystem() {
  for (auto& [handle, file] : files_) ::close(file->fd);
}

bool SimFileSystem::Load(const Json::Value& d, std::string* error) {
  auto fail = [error](const std::string& message) {
    if (error) *error = message;
    return false;
  };
  if (d.isMember("windows_dir")) windowsDir_ = Normalize(WideFromUtf8(d["windows_dir"].asString()));
  if (windowsDir_.empty()) return fail("\"windows_dir\" must be an absolute path with a drive letter");
  if (d.isMember("temp_dir")) {
    // null or "": GetTempPathW fails, as it does for a user whose TMP names nothing usable.
    const Json::Value& temp = d["temp_dir"];
    if (!temp.isNull() && !temp.isString()) return fail("\"temp_dir\" must be a path, \"\" or null");
    std::string text = temp.isString() ? temp.asString() : std::string();
    SetTempPath(WideFromUtf8(text));
    if (!text.empty() && tempDir_.empty()) return fail("\"temp_dir\" must be an absolute path with a drive letter");
  }
  const Json::Value& special = d["special_folders"];
  if (!special.isNull() && !special.isObject()) return fail("\"special_folders\" must be an object");
  for (const auto& name : special.getMemberNames()) {
    int csidl = -1;
    if (name == "appdata") csidl = CSIDL_APPDATA;
    else if (name == "bitbucket") csidl = CSIDL_BITBUCKET;
    else if (name == "common_appdata") csidl = CSIDL_COMMON_APPDATA;
    else if (name == "windows") csidl = CSIDL_WINDOWS;
    else csidl = std::atoi(name.c_str());
    if (csidl <= 0 && name != "0") return fail("unknown special folder \"" + name + "\"");
    const Json::Value& v = special[name];
    SetSpecialFolder(csidl, v.isString() ? std::optional<std::wstring>(WideFromUtf8(v.asString()))
                                         : std::nullopt);
  }
  const Json::Value& longNames = d["long_names"];
  for (const auto& name : longNames.getMemberNames()) {
    longNames_[Normalize(WideFromUtf8(name))] = Normalize(WideFromUtf8(longNames[name].asString()));
  }
  for (const auto& f : d["read_only"]) AddReadOnlyFolder(WideFromUtf8(f.asString()));
  for (const auto& f : d["unlistable"]) unlistable_.push_back(Normalize(WideFromUtf8(f.asString())));
  if (!MakeHostDirs(sandbox_ + "/C")) return fail("cannot make the sandbox's drive C: in " + sandbox_);
  for (const auto& f : d["folders"]) {
    if (!MakeFolder(WideFromUtf8(f.asString()))) return fail("cannot make folder " + f.asString());
  }
  const Json::Value& files = d["files"];
  if (!files.isNull() && !files.isArray()) return fail("\"files\" must be an array");
  for (const auto& f : files) {
    if (!f.isObject() || !f["path"].isString()) return fail("each file needs a \"path\"");
    std::wstring path = WideFromUtf8(f["path"].asString());
    if (!PutFile(path, f.get("text", "").asString())) return fail("cannot make file " + f["path"].asString());
    // A large size makes a sparse file: no bytes are written.
    if (f.isMember("size") && ::truncate(HostPath(path, View::kNative).c_str(),
                                         static_cast<off_t>(f["size"].asUInt64())) != 0) {
      return fail("cannot size file " + f["path"].asString());
    }
    if (f.isMember("mtime")) {
      // Seconds since 1970, negative before it, with a fraction for sub-second times.
      const Json::Value& mtime = f["mtime"];
      if (!mtime.isNumeric()) return fail("\"mtime\" of " + f["path"].asString() + " must be a number");
      double seconds = mtime.asDouble();
      // Beyond about the year 5000 (or before 1970 by as much) a time fits no file system, and
      // the conversion below would overflow.
      if (!(std::fabs(seconds) <= 1e11)) {
        return fail("\"mtime\" of " + f["path"].asString() + " is out of range");
      }
      int64_t whole = mtime.isIntegral() ? mtime.asInt64() : static_cast<int64_t>(std::floor(seconds));
      long nanoseconds = mtime.isIntegral() ? 0 : static_cast<long>(std::llround((seconds - whole) * 1e9));
      if (nanoseconds >= 1000000000L) {
        ++whole;
        nanoseconds -= 1000000000L;
      }
      if (!SetLastWriteTime(path, whole, View::kNative, nanoseconds)) {
        return fail("cannot date file " + f["path"].asString());
      }
    }
    if (f.isMember("attributes")) {
      DWORD attributes = 0;
      for (const auto& a : f["attributes"]) {
        std::string name = a.asString();
        if (name == "hidden") attributes |= FILE_ATTRIBUTE_HIDDEN;
        else if (name == "system") attributes |= FILE_ATTRIBUTE_SYSTEM;
        else if (name == "readonly") attributes |= FILE_ATTRIBUTE_READONLY;
        else return fail("unknown file attribute \"" + name + "\" of " + f["path"].asString());
      }
      SetAttributes(path, attributes);
    }
  }
  const Json::Value& links = d["links"];
  if (!links.isNull() && !links.isArray()) return fail("\"links\" must be an array");
  for (const auto& l : links) {
    if (!l.isObject() || !l["path"].isString() || !l["target"].isString()) {
      return fail("each link needs a \"path\" and a \"target\"");
    }
    std::string type = l.get("type", "symlink").asString();
    if (type != "symlink" && type != "junction") return fail("a link's \"type\" is \"symlink\" or \"junction\"");
    if (!MakeFolderLink(WideFromUtf8(l["path"].asString()), WideFromUtf8(l["target"].asString()))) {
      return fail("cannot make link " + l["path"].asString());
    }
  }
  return true;
}

DWORD SimFileSystem::GetLastError() { return SimLastError(); }

std::wstring SimFileSystem::Normalize(const std::wstring& input) const {
  // "\\?\C:\..." names the same file as "C:\..." (the simulation has no UNC shares).
  std::wstring_view path(input);
  if (IsExtendedLengthPath(input)) path.remove_prefix(4);
  if (path.size() < 2 || path[1] != L':' || !std::iswalpha(path[0])) return {};
  // Built in one pass: "\part" per part, ".." cuts the last one off again.
  std::wstring out;
  out.reserve(path.size() + 1);
  out.push_back(static_cast<wchar_t>(std::towupper(path[0])));
  out.push_back(L':');
  for (size_t i = 2; i <= path.size();) {
    size_t end = i;
    while (end < path.size() && path[end] != L'\\' && path[end] != L'/') ++end;
    std::wstring_view part = path.substr(i, end - i);
    if (part == L"..") {
      size_t cut = out.rfind(L'\\');
      if (cut != std::wstring::npos) out.resize(cut);
    } else if (!part.empty() && part != L".") {
      out.push_back(L'\\');
      out.append(part);
    }
    i = end + 1;
  }
  if (out.size() == 2) {
    out.push_back(L'\\');
    return out;
  }
  // Short names the description maps to long ones.
  for (const auto& [shortName, longName] : longNames_) {
    if (StartsWithFolder(out, shortName)) return longName + out.substr(shortName.size());
  }
  return out;
}

bool SimFileSystem::TooLongForProgram(const std::wstring& path) {
  return !IsExtendedLengthPath(path) && path.size() >= MAX_PATH;
}

std::string SimFileSystem::HostPath(const std::wstring& path, View view) const {
  // As Windows does for a program: a plain path of MAX_PATH characters or more names nothing.
  if (view == View::kProgram && TooLongForProgram(path)) return {};
  return HostPathOf(Normalize(path), view);
}

std::string SimFileSystem::ProgramHostPath(const std::wstring& path, const std::wstring& norm) const {
  return TooLongForProgram(path) ? std::string() : HostPathOf(norm, View::kProgram);
}

std::string SimFileSystem::HostPathOf(std::wstring norm, View view) const {
  if (norm.empty()) return {};
  // A 32-bit program on 64-bit Windows: System32 is SysWOW64 (but for a few exempt folders),
  // and SysNative is the real System32.
  if (is64Bit_ && view == View::kProgram && StartsWithFolder(norm, windowsDir_) &&
      norm.size() > windowsDir_.size()) {
    size_t at = windowsDir_.size();
    std::wstring_view below = std::wstring_view(norm).substr(at);  // "\System32\..."
    auto isFolder = [&](std::wstring_view name) {
      return below.size() >= name.size() && EqualsNoCase(below.substr(0, name.size()), name) &&
             (below.size() == name.size() || below[name.size()] == L'\\');
    };
    if (isFolder(L"\\SysNative")) {
      norm.replace(at, 10, L"\\System32");
    } else if (isFolder(L"\\System32")) {
      std::wstring_view rest = below.substr(9);
      static constexpr std::wstring_view kExempt[] = {L"\\catroot", L"\\catroot2", L"\\driverstore",
                                                     L"\\drivers\\etc", L"\\logfiles", L"\\spool"};
      bool exempt = false;
      for (std::wstring_view ex : kExempt) {
        if (rest.size() >= ex.size() && EqualsNoCase(rest.substr(0, ex.size()), ex) &&
            (rest.size() == ex.size() || rest[ex.size()] == L'\\')) {
          exempt = true;
        }
      }
      if (!exempt) norm.replace(at, 9, L"\\SysWOW64");
    }
  }
  std::string host = sandbox_ + "/" + std::string(1, static_cast<char>(norm[0]));
  if (norm.size() > 3) {
    // Most paths exist as written: one look-up then, instead of one per part.
    std::string direct = host + "/" + Utf8FromWide(norm.substr(3));
    std::replace(direct.begin() + static_cast<std::ptrdiff_t>(host.size()), direct.end(), '\\', '/');
    struct stat st;
    if (::lstat(direct.c_str(), &st) == 0) return direct;
  }
  size_t i = 3;
  bool exists = true;
  while (i < norm.size()) {
    size_t end = norm.find(L'\\', i);
    if (end == std::wstring::npos) end = norm.size();
    std::string name = Utf8FromWide(norm.substr(i, end - i));
    std::string candidate = host + "/" + name;
    if (exists) {
      struct stat st;
      if (::lstat(candidate.c_str(), &st) != 0) {
        // Match the name without regard to letter case, as Windows does.
        std::string found = FindNameNoCase(host, ToLowerWide(norm.substr(i, end - i)));
        exists = !found.empty();
        if (exists) candidate = host + "/" + found;
      }
    }
    host = candidate;
    i = end + 1;
  }
  return host;
}

bool SimFileSystem::IsWritable(const std::wstring& path) const { return IsWritableNormal(Normalize(path)); }

bool SimFileSystem::IsWritableNormal(const std::wstring& norm) const {
  for (const auto& folder : readOnly_) {
    if (StartsWithFolder(norm, folder)) return false;
  }
  return true;
}

bool SimFileSystem::IsUnlistable(const std::wstring& folder) const {
  std::wstring norm = Normalize(folder);
  for (const auto& f : unlistable_) {
    if (EqualsNoCase(norm, f)) return true;
  }
  return false;
}

DWORD SimFileSystem::GetFileAttributesW(const std::wstring& path) {
  std::string host = HostPath(path);
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) != 0) {
    SimLastError() = host.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return INVALID_FILE_ATTRIBUTES;
  }
  return (S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE) | ExtraAttributes(host);
}

BOOL SimFileSystem::CreateDirectoryW(const std::wstring& path) {
  std::wstring norm = Normalize(path);
  std::string host = ProgramHostPath(path, norm);
  if (host.empty() || norm.size() <= 3) {
    SimLastError() = host.empty() ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::wstring parent = norm.substr(0, norm.rfind(L'\\'));
    if (parent.size() == 2) parent += L"\\";
    for (const auto& fault : faults_) {
      if (EqualsNoCase(parent, fault.folder)) {
        SimLastError() = fault.error;
        return FALSE;
      }
    }
  }
  struct stat st;
  if (::lstat(host.c_str(), &st) == 0) {
    SimLastError() = ERROR_ALREADY_EXISTS;
    return FALSE;
  }
  if (!IsWritableNormal(norm)) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (::mkdir(host.c_str(), 0755) != 0) {
    SimLastError() = ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  journal_.Record("create_directory", norm);
  readAhead_.Forget();
  return TRUE;
}

HANDLE SimFileSystem::CreateFileW(const std::wstring& path, DWORD access, DWORD share,
                                  DWORD disposition, DWORD /*flags*/) {
  std::wstring norm = Normalize(path);
  std::string host = ProgramHostPath(path, norm);
  if (host.empty()) {
    SimLastError() = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  bool write = (access & GENERIC_WRITE) != 0;
  int flags = write ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (disposition) {
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING: break;
    default:
      SimLastError() = ERROR_INVALID_PARAMETER;
      return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  bool existed = ::stat(host.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if ((write || (flags & O_CREAT)) && !IsWritableNormal(norm)) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  // A read-only file opens for reading only.
  if (existed && (write || disposition == CREATE_ALWAYS) && (ExtraAttributes(host) & FILE_ATTRIBUTE_READONLY)) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  if (existed) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [h, open] : files_) {
      if (open->device == st.st_dev && open->inode == st.st_ino &&
          !SharingAllows(access, share, open->access, open->share)) {
        SimLastError() = ERROR_SHARING_VIOLATION;
        return INVALID_HANDLE_VALUE;
      }
    }
  }
  int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    int e = errno;
    SimLastError() = e == EEXIST ? ERROR_FILE_EXISTS
                                 : ErrorFromErrno(e, disposition == OPEN_EXISTING && !existed
                                                         ? ERROR_FILE_NOT_FOUND
                                                         : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (write || (flags & O_CREAT)) readAhead_.Forget();
  if (write) {
    wchar_t detail[48];
    std::swprintf(detail, 48, L"access=0x%08X share=0x%X", static_cast<unsigned>(access), static_cast<unsigned>(share));
    journal_.Record("create_file", norm, detail);
  }
  auto file = std::make_unique<OpenFile>();
  file->fd = fd;
  file->path = norm;
  file->host = host;
  struct stat opened;
  if (::fstat(fd, &opened) == 0) {
    file->device = opened.st_dev;
    file->inode = opened.st_ino;
  }
  file->access = access;
  file->share = share;
  std::lock_guard<std::mutex> lock(mutex_);
  uintptr_t handle = nextHandle_;
  nextHandle_ += 4;
  files_[handle] = std::move(file);
  // Like Windows: success over an existing file still says so.
  SimLastError() = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                       ? ERROR_ALREADY_EXISTS
                       : ERROR_SUCCESS;
  return reinterpret_cast<HANDLE>(handle);
}

int SimFileSystem::FdOf(HANDLE file) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  return it == files_.end() ? -1 : it->second->fd;
}

BOOL SimFileSystem::WriteFile(HANDLE file, const void* data, DWORD bytes, DWORD* written) {
  int fd = FdOf(file);
  if (written) *written = 0;
  if (fd < 0) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  size_t done = 0;
  if (!WriteAll(fd, data, bytes, &done)) {
    SimLastError() = errno == ENOSPC ? 112 /* ERROR_DISK_FULL */ : ERROR_ACCESS_DENIED;
    if (written) *written = static_cast<DWORD>(done);
    return FALSE;
  }
  readAhead_.Forget();
  if (written) *written = bytes;
  return TRUE;
}

BOOL SimFileSystem::ReadFile(HANDLE file, void* data, DWORD bytes, DWORD* read) {
  int fd = FdOf(file);
  if (read) *read = 0;
  if (fd < 0) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  ssize_t n;
  do {
    n = ::read(fd, data, bytes);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  if (read) *read = static_cast<DWORD>(n);
  return TRUE;
}

BOOL SimFileSystem::CloseFile(HANDLE file) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(reinterpret_cast<uintptr_t>(file));
  if (it == files_.end()) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  ::close(it->second->fd);
  files_.erase(it);
  return TRUE;
}

BOOL SimFileSystem::DeleteFileW(const std::wstring& path) {
  std::wstring norm = Normalize(path);
  std::string host = ProgramHostPath(path, norm);
  struct stat st;
  if (host.empty() || ::lstat(host.c_str(), &st) != 0) {
    SimLastError() = host.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  {
    // Deleting opens the file for DELETE: every open handle must share that.
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [h, open] : files_) {
      if (open->device == st.st_dev && open->inode == st.st_ino && !(open->share & FILE_SHARE_DELETE)) {
        SimLastError() = ERROR_SHARING_VIOLATION;
        return FALSE;
      }
    }
  }
  if (S_ISDIR(st.st_mode) || !IsWritableNormal(norm) || (ExtraAttributes(host) & FILE_ATTRIBUTE_READONLY) ||
      ::unlink(host.c_str()) != 0) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    attributes_.erase(host);
  }
  journal_.Record("delete_file", norm);
  readAhead_.Forget();
  return TRUE;
}

BOOL SimFileSystem::CreateDirectoryWithAccessW(const std::wstring& path, const std::wstring& sddl) {
  if (sddl.rfind(L"D:", 0) != 0 && sddl.rfind(L"O:", 0) != 0) {
    SimLastError() = 1338;  // ERROR_INVALID_SECURITY_DESCR
    return FALSE;
  }
  if (!CreateDirectoryW(path)) return FALSE;
  std::string host = HostPath(path);
  std::lock_guard<std::mutex> lock(mutex_);
  // Only the access list (DACL) part is kept: that is what is asked for again.
  size_t dacl = sddl.find(L"D:");
  accessLists_[host] = dacl == std::wstring::npos ? std::wstring() : sddl.substr(dacl);
  return TRUE;
}

std::wstring SimFileSystem::GetAccessListW(const std::wstring& path) {
  std::string host = HostPath(path);
  struct stat st;
  if (host.empty() || ::lstat(host.c_str(), &st) != 0) {
    SimLastError() = host.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return {};
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = accessLists_.find(host);
  // What was not made with a list of its own inherits one the simulation does not model.
  return it == accessLists_.end() ? std::wstring(L"D:AI") : it->second;
}

bool SimFileSystem::OpenForWriting(const std::wstring& path) const {
  std::string host = HostPath(path);
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) != 0) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [h, open] : files_) {
    if (open->device == st.st_dev && open->inode == st.st_ino && (open->access & GENERIC_WRITE)) return true;
  }
  return false;
}

std::vector<SimFileSystem::OpenHandle> SimFileSystem::OpenHandles(const std::wstring& path) const {
  std::vector<OpenHandle> out;
  std::string host = HostPath(path);
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) != 0) return out;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [h, open] : files_) {
    if (open->device == st.st_dev && open->inode == st.st_ino) out.push_back(OpenHandle{open->access, open->share});
  }
  return out;
}

std::vector<std::wstring> SimFileSystem::FolderEntries(const std::wstring& folder) const {
  std::vector<std::wstring> out;
  std::string host = HostPath(folder);
  if (host.empty()) return out;
  SimListing listing = ReadHostFolder(host, true, nullptr, L"*");
  for (const FindData& entry : listing.entries) out.push_back(entry.name);
  return out;
}

BOOL SimFileSystem::RemoveDirectoryW(const std::wstring& path) {
  std::wstring norm = Normalize(path);
  std::string host = ProgramHostPath(path, norm);
  struct stat st;
  if (host.empty() || ::lstat(host.c_str(), &st) != 0) {
    SimLastError() = host.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    return FALSE;
  }
  if (!IsWritableNormal(norm)) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return FALSE;
  }
  // A link to a folder is removed as a link; its target stays.
  int rc = S_ISLNK(st.st_mode) ? ::unlink(host.c_str()) : ::rmdir(host.c_str());
  if (rc != 0) {
    SimLastError() = errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY
                     : errno == ENOTDIR                     ? ERROR_DIRECTORY
                                                            : ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    accessLists_.erase(host);
  }
  journal_.Record("remove_directory", norm);
  readAhead_.Forget();
  return TRUE;
}

HANDLE SimFileSystem::FindFirstFileW(const std::wstring& pattern, FindData* data) {
  if (TooLongForProgram(pattern)) {
    SimLastError() = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::wstring norm = pattern;
  std::replace(norm.begin(), norm.end(), L'/', L'\\');
  size_t slash = norm.rfind(L'\\');
  if (slash == std::wstring::npos) {
    SimLastError() = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::wstring folder = norm.substr(0, slash + 1);
  std::wstring namePattern = norm.substr(slash + 1);
  if (namePattern.empty()) {
    SimLastError() = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  std::wstring folderNorm = Normalize(folder);
  std::string host = ProgramHostPath(folder, folderNorm);
  if (host.empty()) {
    SimLastError() = ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  if (IsUnlistable(folderNorm)) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  // Listing everything is how a folder walk starts: its sub-folders are worth reading ahead.
  // A search for some names looks only at those.
  bool isRoot = folderNorm.size() <= 3;
  bool everything = namePattern == L"*" || namePattern == L"*.*";
  SimListing listing = everything ? readAhead_.Take(host, isRoot, true) : ReadHostFolder(host, isRoot, nullptr, namePattern);
  if (listing.error != 0) {
    SimLastError() = ErrorFromErrno(listing.error, ERROR_PATH_NOT_FOUND);
    ForgetReadAheadIfNoSearch();
    return INVALID_HANDLE_VALUE;
  }
  auto find = std::make_unique<OpenFind>();
  find->entries = std::move(listing.entries);
  bool anyAttributes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    anyAttributes = !attributes_.empty();
  }
  if (anyAttributes) {
    for (FindData& entry : find->entries) entry.attributes |= ExtraAttributes(host + "/" + Utf8FromWide(entry.name));
  }
  if (find->entries.empty()) {
    SimLastError() = ERROR_FILE_NOT_FOUND;
    ForgetReadAheadIfNoSearch();
    return INVALID_HANDLE_VALUE;
  }
  if (data) *data = find->entries[0];
  find->next = 1;
  std::lock_guard<std::mutex> lock(mutex_);
  uintptr_t handle = nextHandle_;
  nextHandle_ += 4;
  finds_[handle] = std::move(find);
  return reinterpret_cast<HANDLE>(handle);
}

// What was read ahead is kept while some search is open: with none, the walk is over and the
// folders may change before the next one.
void SimFileSystem::ForgetReadAheadIfNoSearch() {
  bool none;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    none = finds_.empty();
  }
  if (none) readAhead_.Forget();
}

BOOL SimFileSystem::FindNextFileW(HANDLE handle, FindData* data) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = finds_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == finds_.end()) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  OpenFind& find = *it->second;
  if (find.next >= find.entries.size()) {
    SimLastError() = ERROR_NO_MORE_FILES;
    return FALSE;
  }
  if (data) *data = std::move(find.entries[find.next]);
  ++find.next;
  return TRUE;
}

BOOL SimFileSystem::FindClose(HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finds_.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (finds_.empty()) readAhead_.Forget();
  return TRUE;
}

bool SimFileSystem::GetFolderIdentity(const std::wstring& path, FolderIdentity* identity) {
  std::string host = HostPath(path);
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) != 0) {
    SimLastError() = host.empty() ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    SimLastError() = ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (identity) {
    identity->volume = static_cast<uint64_t>(st.st_dev);
    identity->index = static_cast<uint64_t>(st.st_ino);
  }
  return true;
}

std::wstring SimFileSystem::GetTempPathW(DWORD bufferChars) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (tempDir_.size() + 1 > bufferChars) return {};
  return tempDir_;
}

std::wstring SimFileSystem::GetLongPathNameW(const std::wstring& path) {
  std::wstring norm = Normalize(path);
  if (norm.empty() || GetFileAttributesW(norm) == INVALID_FILE_ATTRIBUTES) {
    SimLastError() = ERROR_FILE_NOT_FOUND;
    return {};
  }
  // Normalize expands the short names; keep the caller's trailing separator.
  if (!path.empty() && (path.back() == L'\\' || path.back() == L'/') && norm.back() != L'\\') {
    norm += L"\\";
  }
  return norm;
}

std::wstring SimFileSystem::GetWindowsDirectoryW() { return windowsDir_; }
std::wstring SimFileSystem::GetSystemDirectoryW() { return windowsDir_ + L"\\system32"; }

bool SimFileSystem::SHGetSpecialFolderPathW(int csidl, std::wstring* path, bool create) {
  std::optional<std::wstring> found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (csidl == CSIDL_WINDOWS) {
      found = windowsDir_;
    } else {
      auto it = special_.find(csidl);
      if (it != special_.end()) found = it->second;
    }
  }
  if (path) path->clear();
  if (!found || found->empty()) return false;
  if (create) CreateFolderTree(*this, *found);
  if (path) *path = *found;
  return true;
}

bool SimFileSystem::MakeFolder(const std::wstring& path, View view) {
  std::string host = HostPath(path, view);
  return !host.empty() && MakeHostDirs(host);
}

bool SimFileSystem::PutFile(const std::wstring& path, const std::string& content,
                            std::optional<int64_t> lastWrite, View view) {
  std::string host = HostPath(path, view);
  if (host.empty()) return false;
  readAhead_.Forget();
  size_t slash = host.rfind('/');
  if (slash == std::string::npos || !MakeHostDirs(host.substr(0, slash))) return false;
  // Plainly written: a stream would allocate its buffer for every file a description holds.
  int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  bool wrote = WriteAll(fd, content.data(), content.size(), &done);
  if (::close(fd) != 0 || !wrote) return false;
  return !lastWrite || SetLastWriteTime(path, *lastWrite, view);
}

bool SimFileSystem::SetLastWriteTime(const std::wstring& path, int64_t seconds, View view, long nanoseconds) {
  std::string host = HostPath(path, view);
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = nanoseconds;
  times[1] = times[0];
  readAhead_.Forget();
  return !host.empty() && ::utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool SimFileSystem::MakeFolderLink(const std::wstring& path, const std::wstring& target) {
  std::string host = HostPath(path, View::kNative);
  std::string to = HostPath(target, View::kNative);
  if (host.empty() || to.empty()) return false;
  size_t slash = host.rfind('/');
  if (slash == std::string::npos || !MakeHostDirs(host.substr(0, slash))) return false;
  readAhead_.Forget();
  // Both kinds are reparse points that the program sees as folders; a junction's target is
  // always absolute, and so is the link made here.
  return ::symlink(to.c_str(), host.c_str()) == 0;
}

void SimFileSystem::SetAttributes(const std::wstring& path, DWORD attributes, View view) {
  std::string host = HostPath(path, view);
  if (host.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  attributes &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes == 0) {
    attributes_.erase(host);
  } else {
    attributes_[host] = attributes;
  }
}

DWORD SimFileSystem::ExtraAttributes(const std::string& host) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = attributes_.find(host);
  return it == attributes_.end() ? 0 : it->second;
}

std::optional<std::string> SimFileSystem::GetFile(const std::wstring& path, View view) const {
  std::ifstream in(HostPath(path, view), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void SimFileSystem::AddReadOnlyFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  readOnly_.push_back(Normalize(folder));
}

void SimFileSystem::FailCreateDirectoryIn(const std::wstring& folder, DWORD error) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(Fault{Normalize(folder), error});
}

void SimFileSystem::SetSpecialFolder(int csidl, std::optional<std::wstring> path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (csidl == CSIDL_WINDOWS && path) {
    windowsDir_ = Normalize(*path);
    return;
  }
  special_[csidl] = std::move(path);
}

void SimFileSystem::SetTempPath(const std::wstring& path) {
  std::wstring norm = Normalize(path);
  std::lock_guard<std::mutex> lock(mutex_);
  if (norm.empty()) {
    tempDir_.clear();
    return;
  }
  if (norm.back() != L'\\') norm += L"\\";
  tempDir_ = norm;
}

size_t SimFileSystem::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_.size() + finds_.size();
}

}  // namespace rundix
