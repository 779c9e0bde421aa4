#include <ostream>

#include "engine/RuntimeCatalogue.h"
#include "platform/Text.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

int ProbeCatalogue(const ProbeOptions& /*options*/, std::ostream& out) {
  Json::Value list(Json::arrayValue);
  for (const RuntimePackage& p : BuildCatalogue()) {
    Json::Value entry(Json::objectValue);
    entry["index"] = p.index;
    entry["displayName"] = Utf8FromWide(p.displayName);
    entry["url"] = Utf8FromWide(p.url);
    entry["switch"] = Utf8FromWide(p.installerSwitch);
    entry["fileName"] = Utf8FromWide(p.fileName);
    entry["architecture"] = Utf8FromWide(ArchitectureName(p.architecture));
    list.append(entry);
  }
  WriteJson(out, list);
  return 0;
}

}  // namespace rundix
