#include <iostream>

#include "engine/RuntimeCatalogue.h"
#include "engine/RuntimeDetection.h"
#include "platform/Machine.h"
#include "platform/Text.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

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
    entries.append(entry);
  }
  root["entries"] = entries;
  WriteJson(out, root);
  return 0;
}

}  // namespace rundix
