#include "engine/InstallerVerification.h"

#include <vector>

#include "engine/RepairRun.h"
#include "platform/Crypto.h"
#include "platform/Machine.h"

namespace rundix {

namespace {

constexpr DWORD kCopyChunkBytes = 1 << 20;
constexpr int kRunFolderAttempts = 8;
constexpr int kRemoveAttempts = 20;
constexpr DWORD kRemovePauseMs = 100;

// A fresh folder with the run folder's access list; empty when none could be made.
std::wstring MakeRunFolder(IFileSystem& files) {
  std::wstring programData;
  if (!files.SHGetSpecialFolderPathW(CSIDL_COMMON_APPDATA, &programData, false) || programData.empty()) return {};
  while (!programData.empty() && (programData.back() == L'\\' || programData.back() == L'/')) programData.pop_back();
  for (int attempt = 0; attempt < kRunFolderAttempts; ++attempt) {
    uint8_t random[8];
    if (!RandomBytes(random, sizeof(random))) return {};
    std::string hex = HexText(random, sizeof(random));
    std::wstring folder = programData + L"\\" + kRunFolderPrefix + std::wstring(hex.begin(), hex.end());
    // Never an existing folder: one that is there already could have any access list.
    if (files.CreateDirectoryWithAccessW(folder, kRunFolderAccess)) return folder;
    if (files.GetLastError() != static_cast<DWORD>(ERROR_ALREADY_EXISTS)) return {};
  }
  return {};
}

bool Matches(const FileDigest& digest, const InstallerPin& pin) {
  return digest.size == pin.size && !digest.sha256.empty() && digest.sha256 == pin.sha256;
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool DigestAndCopy(IFileSystem& files, HANDLE source, HANDLE copy, uint64_t limit, FileDigest* digest) {
  Sha256 hash;
  std::vector<BYTE> buffer(kCopyChunkBytes);
  digest->size = 0;
  digest->sha256.clear();
  bool copying = copy != nullptr && copy != INVALID_HANDLE_VALUE;
  for (;;) {
    DWORD read = 0;
    if (!files.ReadFile(source, buffer.data(), kCopyChunkBytes, &read)) return false;
    if (read == 0) break;
    digest->size += read;
    if (!hash.Update(buffer.data(), read)) return false;
    if (copying) {
      DWORD written = 0;
      if (!files.WriteFile(copy, buffer.data(), read, &written) || written != read) return false;
    }
    if (digest->size > limit) return true;  // longer than allowed: no need to read on
  }
  digest->sha256 = hash.FinishHex();
  return !digest->sha256.empty();
}

bool RemoveFolderTree(IFileSystem& files, const std::wstring& folder) {
  FindData entry;
  FindHandle find = OwnFind(files, files.FindFirstFileW(folder + L"\\*", &entry));
  if (find) {
    do {
      if (entry.name == L"." || entry.name == L"..") continue;
      std::wstring path = folder + L"\\" + entry.name;
      bool link = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
        RemoveFolderTree(files, path);
      } else if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
        files.RemoveDirectoryW(path);
      } else {
        files.DeleteFileW(path);
      }
    } while (files.FindNextFileW(find.get(), &entry));
    find.reset();
  }
  files.RemoveDirectoryW(folder);
  return files.GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES;
}

InstallOutcome InstallVerified(Machine& machine, const std::wstring& localPath, const std::wstring& installerSwitch,
                               const InstallerPin* pin) {
  IFileSystem& files = machine.Files();
  if (pin == nullptr) {
    files.DeleteFileW(localPath);
    return InstallOutcome::kNoPin;
  }
  // Readers only: while this handle is open nobody can write, replace or delete the file.
  FileHandle source = OwnFile(files, files.CreateFileW(localPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL));
  if (!source) {
    files.DeleteFileW(localPath);
    return InstallOutcome::kUnreadable;
  }
  std::wstring folder = MakeRunFolder(files);
  if (folder.empty()) return InstallOutcome::kNoRunFolder;
  const std::wstring copyPath = folder + L"\\" + FileNameOf(localPath);

  // The bytes that are hashed are the bytes that are copied: one pass over the locked file.
  FileDigest digest;
  bool copied;
  {
    FileHandle copy = OwnFile(files, files.CreateFileW(copyPath, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
    copied = copy && DigestAndCopy(files, source.get(), copy.get(), pin->size, &digest);
  }
  if (!copied || !Matches(digest, *pin)) {
    source.reset();
    RemoveFolderTree(files, folder);
    if (copied) {
      files.DeleteFileW(localPath);  // wrong bytes: never kept for a later run
      return InstallOutcome::kRejected;
    }
    return InstallOutcome::kNotStarted;
  }

  // The copy again, on the handle that stays open while the installer runs: readers only,
  // so what was checked is what the loader reads.
  FileHandle locked = OwnFile(files, files.CreateFileW(copyPath, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL));
  FileDigest again;
  InstallOutcome outcome = InstallOutcome::kNotStarted;
  if (locked && DigestAndCopy(files, locked.get(), nullptr, pin->size, &again) && Matches(again, *pin)) {
    outcome = RunInstaller(machine, copyPath, installerSwitch, folder) ? InstallOutcome::kStarted
                                                                        : InstallOutcome::kNotStarted;
  }
  locked.reset();
  source.reset();  // the downloaded file stayed locked too, for the whole run
  // The system may hold the program's image a moment after the process has ended.
  for (int attempt = 0; !RemoveFolderTree(files, folder) && attempt < kRemoveAttempts; ++attempt) {
    machine.Runtime().Sleep(kRemovePauseMs);
  }
  return outcome;
}

}  // namespace rundix
