#include <iostream>

#include "engine/RuntimeCatalogue.h"
#include "engine/RuntimeDetection.h"
#include "platform/Machine.h"
#include "platform/Text.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

namespace {

std::string VersionText(const VersionRecord& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) + "." +
         std::to_string(v.revision);
}

}  // namespace

int ProbeDetect(const ProbeOptions& options, std::ostream& out) {
  std::string error;
  std::unique_ptr<Machine> machine = OpenProbeMachine(options, &error);
  if (!machine) {
    std::cerr << "rundix-probe: " << error << "\n";
    return 1;
  }
  // The same decisions a repair run makes, without downloading anything.
  RuntimeDetection detection = DetectRuntimes(*machine);
  Json::Value root(Json::objectValue);
  root["vcMask"] = detection.vcMask;
  root["netMask"] = detection.netMask;
  root["xnaMask"] = detection.xnaMask;
  root["native64"] = detection.native64;
  Json::Value entries(Json::arrayValue);
  for (const RuntimePackage& package : BuildCatalogue()) {
    Json::Value entry(Json::objectValue);
    entry["index"] = package.index;
    entry["fileName"] = Utf8FromWide(package.fileName);
    entry["displayName"] = Utf8FromWide(package.displayName);
    entry["decision"] = Utf8FromWide(EntryDecisionName(DecideEntry(*machine, detection, package)));
    // What the object tests read, so a person can see why such an entry went as it did.
    if (package.presenceTest && package.presenceTest->kind == PresenceKind::kOpenAL) {
      KUM::KuOpenALDetect openAL(*machine);
      openAL.Detect();
      entry["fileVersion"] = VersionText(openAL.fileVersion);
      entry["loadable"] = openAL.loadable;
    } else if (package.presenceTest && package.presenceTest->kind == PresenceKind::kPhysX) {
      KUM::KuPhysXDetect physX(*machine);
      physX.Detect();
      entry["registryVersion"] = VersionText(physX.registryVersion);
      entry["fileVersion"] = VersionText(physX.fileVersion);
      entry["loaderUsable"] = physX.loaderUsable;
    }
    entries.append(entry);
  }
  root["entries"] = entries;
  WriteJson(out, root);
  return 0;
}

}  // namespace rundix
