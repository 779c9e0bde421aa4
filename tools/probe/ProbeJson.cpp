#include <json/writer.h>

#include <memory>
#include <ostream>

#include "tools/probe/ProbeCommands.h"

namespace rundix {

void WriteJson(std::ostream& out, const Json::Value& value, bool oneLine) {
  Json::StreamWriterBuilder builder;
  builder["emitUTF8"] = true;
  builder["indentation"] = oneLine ? "" : "  ";
  std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
  writer->write(value, &out);
  out << "\n";
}

}  // namespace rundix
