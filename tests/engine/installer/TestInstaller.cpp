// A stand-in installer for the Windows tests of running an installer: it takes a moment, then
// writes the parameters it was given, joined by blanks, next to itself as "<its path>.args",
// and records its run as a line "<its file name> <parameters>" in
// "%TEMP%\rundix-test-installer-runs.log" (its own folder may be gone by the time a test looks).
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::string joined;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) joined += " ";
    joined += argv[i];
  }
  std::string self = argv[0];
  std::string name = self.substr(self.find_last_of("\\/") + 1);
  if (const char* temp = std::getenv("TEMP")) {
    std::ofstream runs(std::string(temp) + "\\rundix-test-installer-runs.log", std::ios::binary | std::ios::app);
    runs << name << " " << joined << "\n";
  }
  std::ofstream out(self + ".args", std::ios::binary | std::ios::trunc);
  out << joined;
  return out ? 7 : 1;
}
