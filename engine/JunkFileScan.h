// The junk-file scan: every file in the temporary and log folders that was last written after
// the last repair becomes a finding named after the junk folder its walk started from.
#pragma once

#include <string>
#include <vector>

#include "engine/ScanContext.h"

namespace rundix {

// The junk folders in the order they are walked: the user's temporary folder, the recycle
// bin where the shell gives it a path, then six folders under the Windows folder. Entries
// whose base path is empty are left out.
std::vector<std::wstring> BuildJunkFolderList(IFileSystem& files);

// Walks the tree under `startFolder` (links included) and pushes one kind-1 finding per file
// written strictly after the last repair time. No folder is entered twice within one walk, so
// link cycles end; folders that cannot be listed are passed over.
void JunkFileScan(const ScanContext& context, const std::wstring& startFolder, CheckResult* panel,
                  LeftOption* category);

// The whole stage: the junk-file scan over each folder of the list, in list order, each on its
// own (a folder listed twice is walked twice).
void JunkFolderScan(const ScanContext& context, CheckResult* panel, LeftOption* category);

}  // namespace rundix
