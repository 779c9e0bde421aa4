// The Linux entry point: the program over a described machine and the headless window system.
//   rundix --machine FILE [--sandbox DIR]
// Without --sandbox the machine's drives live in a new folder under the temporary folder,
// removed again at the end.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/ProgramEntry.h"
#include "platform/Resources.h"
#include "platform/sim/SimMachine.h"

int main(int argc, char** argv) {
  std::string machineFile;
  std::string sandbox;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--machine") == 0 && i + 1 < argc) {
      machineFile = argv[++i];
    } else if (std::strcmp(argv[i], "--sandbox") == 0 && i + 1 < argc) {
      sandbox = argv[++i];
    } else {
      std::fprintf(stderr, "usage: rundix --machine FILE [--sandbox DIR]\n");
      return 2;
    }
  }
  if (machineFile.empty()) {
    std::fprintf(stderr, "rundix: this build runs over a described machine: give --machine FILE\n");
    return 2;
  }
  bool ownSandbox = sandbox.empty();
  if (ownSandbox) {
    std::string pattern = (std::filesystem::temp_directory_path() / "rundix-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "rundix: cannot make a sandbox folder\n");
      return 1;
    }
    sandbox = pattern;
  }
  std::string error;
  auto machine = rundix::SimMachine::FromFile(machineFile, sandbox, &error);
  if (!machine) {
    std::fprintf(stderr, "rundix: %s\n", error.c_str());
    return 1;
  }
  int code = rundix::ProgramMain(rundix::ProgramInstance(), *machine);
  machine.reset();
  if (ownSandbox) {
    std::error_code ignored;
    std::filesystem::remove_all(sandbox, ignored);
  }
  return code;
}
