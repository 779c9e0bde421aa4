// DownloadUrlToFile against `curl -o` for the same file from rundix-server on loopback.
// Prints the throughput ratio (target: at least 0.8 of curl's) and the peak resident memory
// after downloads of two sizes (target: the same for both).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "engine/InternetTransfer.h"
#include "platform/Text.h"
#include "platform/sim/SimMachine.h"
#include "tests/engine/ServedFiles.h"
#include "tests/support/ServerProcess.h"

namespace {

constexpr int64_t kMiB = 1024 * 1024;
constexpr int64_t kLarge = 200 * kMiB;
constexpr int64_t kSmall = 20 * kMiB;

struct Fixture {
  rundix::test::ServedFiles files;
  rundix::test::TempDir out;
  std::unique_ptr<rundix::test::ServerProcess> server;
  Fixture() {
    files.PutSparse("small.bin", kSmall);
    files.PutSparse("large.bin", kLarge);
    server = std::make_unique<rundix::test::ServerProcess>(std::vector<std::string>{"--files", files.folder()});
  }
  std::string Url(int64_t size) const {
    return "http://" + server->address() + "/zq/rundix/" + (size == kLarge ? "large.bin" : "small.bin");
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

// Peak resident memory of this process (VmHWM), in KiB; reset by ResetPeak.
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::map<std::string, double> g_secondsPerByte;
std::map<int64_t, long> g_peakKiB;

void BM_DownloadUrlToFile(benchmark::State& state) {
  Fixture& f = TheFixture();
  if (!f.server->running()) {
    state.SkipWithError("rundix-server did not start");
    return;
  }
  const int64_t size = state.range(0);
  std::string error;
  auto machine = rundix::SimMachine::FromJson("{}", f.out.path() + "/sandbox", &error);
  if (!machine) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::wstring url = rundix::WideFromUtf8(f.Url(size));
  ResetPeak();
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    bool ok = rundix::DownloadUrlToFile(*machine, url, L"C:\\Download\\file.bin");
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok) state.SkipWithError("the download failed");
  }
  g_peakKiB[size] = PeakKiB();
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["peak_rss_MiB"] = static_cast<double>(g_peakKiB[size]) / 1024.0;
  if (size == kLarge) g_secondsPerByte["program"] = seconds / static_cast<double>(state.iterations() * size);
}

void BM_CurlOutput(benchmark::State& state) {
  Fixture& f = TheFixture();
  const int64_t size = state.range(0);
  const std::string command = "curl -s -f -o '" + f.out.path() + "/curl.bin' '" + f.Url(size) + "'";
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) state.SkipWithError("curl failed");
  }
  state.SetBytesProcessed(state.iterations() * size);
  g_secondsPerByte["curl"] = seconds / static_cast<double>(state.iterations() * size);
}

BENCHMARK(BM_CurlOutput)->Arg(kLarge)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DownloadUrlToFile)->Arg(kLarge)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DownloadUrlToFile)->Arg(kSmall)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_secondsPerByte.count("program") && g_secondsPerByte.count("curl")) {
    double ratio = g_secondsPerByte["curl"] / g_secondsPerByte["program"];
    std::printf("DownloadUrlToFile throughput / curl -o throughput (200 MiB): %.2f (target >= 0.80)\n", ratio);
  }
  if (g_peakKiB.count(kSmall) && g_peakKiB.count(kLarge)) {
    std::printf("peak resident memory: %.1f MiB after 20 MiB downloads, %.1f MiB after 200 MiB downloads\n",
                g_peakKiB[kSmall] / 1024.0, g_peakKiB[kLarge] / 1024.0);
  }
  return 0;
}
