// Whole-file reads of the machine the program runs on, for code that has no Machine (the UI
// library's file images): a Windows path on Windows, a host path on Linux.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rundix {

// GetFileAttributesW says it is there and is not a folder.
bool LocalFileExists(const std::wstring& path);

// CreateFileW (GENERIC_READ, share read, OPEN_EXISTING), its size, one whole read, close.
// False, with `data` emptied, when the file cannot be opened, is empty, is larger than
// `maxBytes`, or the read comes up short.
bool ReadLocalFile(const std::wstring& path, size_t maxBytes, std::vector<uint8_t>* data);

}  // namespace rundix
