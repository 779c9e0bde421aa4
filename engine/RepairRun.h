// The repair run: the body of the repair worker. It goes through the nineteen catalogue
// entries in order, downloads and runs the installer of each package that is missing, and
// reports each finished entry (UM_REPAIR_STEP) and the end of the run (UM_REPAIR_DONE) by
// posting to the main window. It touches nothing else of the window.
#pragma once

#include <string>

#include "engine/InstallerPins.h"
#include "engine/RuntimeCatalogue.h"
#include "platform/Win32Types.h"

namespace rundix {

class Machine;
class IMessagePoster;

struct RepairRunContext {
  Machine* machine = nullptr;
  IMessagePoster* poster = nullptr;  // null: the window system's own (SystemMessagePoster)
  HWND window = nullptr;            // the main window, the only one posted to
  std::wstring appDataFolder;       // ends with '\'; empty when there is no usable folder
  std::wstring server = DefaultDownloadServer();  // "host:port" of the installer downloads
  const InstallerPins* pins = nullptr;  // null: the pins the build was configured with
};

void RunRepair(const RepairRunContext& context);

// Starts an installer through the shell with its switch as the parameters (and `directory`
// as its working folder when given) and waits without a time limit until it exits. False when
// it could not be started (nothing is waited for).
bool RunInstaller(Machine& machine, const std::wstring& path, const std::wstring& installerSwitch,
                  const std::wstring& directory = std::wstring());

}  // namespace rundix
