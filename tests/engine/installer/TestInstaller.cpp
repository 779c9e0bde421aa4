// A stand-in installer for the Windows tests of running an installer: it takes a moment, then
// writes the parameters it was given, joined by blanks, next to itself as "<its path>.args".
#include <chrono>
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
  std::ofstream out(std::string(argv[0]) + ".args", std::ios::binary | std::ios::trunc);
  out << joined;
  return out ? 7 : 1;
}
