#include "engine/RepairRun.h"

#include "app/Messages.h"
#include "engine/InstallerVerification.h"
#include "engine/InternetTransfer.h"
#include "engine/RuntimeDetection.h"
#include "platform/Machine.h"
#include "platform/MessagePost.h"
#include "platform/Threads.h"

namespace rundix {

bool RunInstaller(Machine& machine, const std::wstring& path, const std::wstring& installerSwitch,
                  const std::wstring& directory) {
  ShellExecuteInfo info;
  info.directory = directory;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.file = path;                   // no verb: the file type's default action (.msi too)
  info.parameters = installerSwitch;  // empty for the installers that take no switch
  info.nShow = SW_SHOW;
  if (!machine.System().ShellExecuteExW(&info)) return false;
  KernelHandle process(info.hProcess, KernelHandleCloser{}, nullptr);
  if (process) WaitForHandle(process.get(), INFINITE);
  return true;
}

void RunRepair(const RepairRunContext& context) {
  Machine& machine = *context.machine;
  // For the whole run: the shell may hand an installer to an extension that needs COM.
  ComApartmentScope com(machine.System());
  IMessagePoster& poster = context.poster ? *context.poster : SystemMessagePoster();
  const InstallerPins& pins = context.pins ? *context.pins : InstallerPins::Configured();
  std::vector<std::wstring> downloads = BuildDownloadList(context.server);
  RuntimeDetection detection = DetectRuntimes(machine);

  for (const std::wstring& entry : downloads) {
    RuntimePackage package;
    DownloadSpecParts parts = SplitDownloadSpec(entry);
    package.url = parts.url;
    package.installerSwitch = parts.installerSwitch;
    package.fileName = parts.fileName;
    package.presenceTest = SelectPresenceTest(package.fileName);
    if (package.presenceTest) package.architecture = package.presenceTest->architecture;

    if (DecideEntry(machine, detection, package) == EntryDecision::kMissing &&
        !context.appDataFolder.empty() && !package.fileName.empty()) {
      // Without a folder of our own there is nowhere safe to put an installer.
      std::wstring localPath = context.appDataFolder + package.fileName;
      if (DownloadUrlToFile(machine, package.url, localPath)) {
        // Runs only the pinned bytes, from a folder of its own; a failure stays silent.
        InstallVerified(machine, localPath, package.installerSwitch, pins.Find(package.fileName));
      }
    }
    poster.PostMessageW(context.window, UM_REPAIR_STEP, 0, 0);
  }
  poster.PostMessageW(context.window, UM_REPAIR_DONE, 0, 0);
}

}  // namespace rundix
