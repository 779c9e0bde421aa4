// Nothing runs with administrator rights unless its bytes are the pinned ones and cannot be
// swapped: a downloaded installer is hashed on a handle that admits readers only, its bytes
// are copied from that handle into a fresh folder that only administrators and the system
// can change, the copy is checked again on a handle of its own, and only then is it started
// there by its absolute path. The folder goes when the installer has exited.
#pragma once

#include <cstdint>
#include <string>

#include "engine/InstallerPins.h"
#include "platform/Win32Types.h"

namespace rundix {

class Machine;
class IFileSystem;

// The run folder's access list: full control for SYSTEM and Administrators, nothing
// inherited, nobody else.
inline constexpr wchar_t kRunFolderAccess[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Run folders are named this + 16 random hexadecimal digits, under the program-data folder.
inline constexpr wchar_t kRunFolderPrefix[] = L"Rundix-";

enum class InstallOutcome {
  kStarted,      // verified, started and waited for
  kNotStarted,   // verified, but the shell could not start it
  kNoPin,        // the file name has no pin: the file was deleted
  kRejected,     // wrong size or hash: the file was deleted
  kUnreadable,   // the downloaded file could not be opened for reading: deleted if possible
  kNoRunFolder,  // no program-data folder or no fresh folder in it: nothing ran
};

struct FileDigest {
  uint64_t size = 0;
  std::string sha256;  // lower-case hexadecimal; empty when hashing failed
};

// One pass over the open file `source`: hashes what it reads and writes it to `copy` when
// that is a valid handle. Stops reading once more than `limit` bytes came (the digest is
// then of no use, and the size tells). False when a read, a write or the hash failed.
bool DigestAndCopy(IFileSystem& files, HANDLE source, HANDLE copy, uint64_t limit, FileDigest* digest);

// Verifies `localPath` (the downloaded installer) against `pin`, copies it into a run folder,
// checks the copy, starts it there with `installerSwitch` and waits, then removes the folder.
// The downloaded file stays where it is unless it failed verification.
InstallOutcome InstallVerified(Machine& machine, const std::wstring& localPath, const std::wstring& installerSwitch,
                               const InstallerPin* pin);

// Removes a folder and everything in it (links are removed, never followed); true when it is
// gone afterwards.
bool RemoveFolderTree(IFileSystem& files, const std::wstring& folder);

}  // namespace rundix
