// The Linux build's start-up to first paint: the floor under the same measurement of
// rundix.exe under Wine (scripts/bench.sh). From the program's start (process frame, skin,
// start-up reports to a rundix-server on loopback, settings) until the home page's repair
// button is in the window's pixels. Prints the median and the spread of several starts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PixelCheck.h"
#include "tests/support/ProgramSession.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestMachine.h"

using namespace rundix;

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  test::TempDir sandbox;
  test::ServerProcess server({"--db", sandbox.path() + "/reports.db"});
  if (!server.running()) {
    std::fprintf(stderr, "bench_program_start: rundix-server did not start\n");
    return 1;
  }
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    std::string error;
    auto machine = SimMachine::FromFile(std::string(RUNDIX_TEST_DATA_DIR) + "/program/machine.json",
                                        sandbox.path() + "/machine" + std::to_string(i), &error);
    if (!machine) {
      std::fprintf(stderr, "bench_program_start: %s\n", error.c_str());
      return 1;
    }
    auto start = std::chrono::steady_clock::now();
    test::ProgramSession session(*machine, server.waddress());
    // Captures are taken from this thread, between the window thread's turns.
    bool painted = false;
    RECT button = session.started() ? session.RectOf(104) : RECT{};
    for (int attempt = 0; session.started() && !painted && attempt < 2000; ++attempt) {
      session.WaitIdle();
      auto shot = session.Capture();
      painted = shot && test::ColourNear(test::PixelAt(*shot, button.left + 6, (button.top + button.bottom) / 2),
                                         0xFF0D3AFF, 8);
      if (!painted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double elapsed = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!painted) {
      std::fprintf(stderr, "bench_program_start: the home page was not painted\n");
      return 1;
    }
    ms.push_back(elapsed);
  }
  std::sort(ms.begin(), ms.end());
  std::printf("Linux build, start-up to first paint: median %.1f ms (min %.1f, max %.1f, %d starts)\n",
              ms[ms.size() / 2], ms.front(), ms.back(), runs);
  return 0;
}
