// rundix-probe: prints as JSON what the program's engine sees on a machine.
//   rundix-probe catalogue | detect | scan | verify FILE
#include <cstring>
#include <iostream>
#include <memory>

#include "tools/probe/ProbeCommands.h"


namespace {

int Usage(std::ostream& out) {
  out << "usage: rundix-probe COMMAND [--machine FILE] [--sandbox DIR]\n"
         "commands:\n"
         "  catalogue   the nineteen runtime packages\n"
         "  detect      presence masks and each package's decision\n"
         "  scan        the findings of the four scan stages, one JSON object a line\n"
         "  verify FILE a file's size and SHA-256, and whether it matches its installer pin\n"
         "On Windows the machine is this one; on Linux it is described by --machine FILE.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  rundix::ProbeOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--machine" || arg == "--sandbox") && i + 1 < argc) {
      (arg == "--machine" ? options.machineFile : options.sandbox) = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      Usage(std::cout);
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "rundix-probe: unknown option " << arg << "\n";
      return Usage(std::cerr);
    } else if (options.command.empty()) {
      options.command = arg;
    } else {
      options.rest.push_back(arg);
    }
  }
  if (options.command == "catalogue") return rundix::ProbeCatalogue(options, std::cout);
  if (options.command == "detect") return rundix::ProbeDetect(options, std::cout);
  if (options.command == "scan") return rundix::ProbeScan(options, std::cout);
  if (options.command == "verify") return rundix::ProbeVerify(options, std::cout);
  if (!options.command.empty()) std::cerr << "rundix-probe: unknown command " << options.command << "\n";
  return Usage(std::cerr);
}
