// Verifying an installer must not slow a repair: one pass that hashes (SHA-256) and copies a
// 200 MiB file through the machine's file calls, as InstallVerified does, against
// `sha256sum` of the same file in the same run. Prints the throughput ratio (target: at
// least 0.8 of sha256sum's).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "engine/InstallerVerification.h"
#include "platform/Machine.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "tests/engine/ServedFiles.h"

namespace {

constexpr int64_t kSize = 200LL * 1024 * 1024;
const std::wstring kSource = L"C:\\Users\\user\\AppData\\Roaming\\RUNDIX\\big-installer.exe";
const std::wstring kCopy = L"C:\\ProgramData\\Rundix-bench\\big-installer.exe";

struct Fixture {
  rundix::test::TempDir sandbox;
  std::unique_ptr<rundix::SimMachine> machine;
  std::string error;
  Fixture() {
    machine = rundix::SimMachine::FromJson("{\"folders\":[\"C:\\\\ProgramData\\\\Rundix-bench\"]}", sandbox.path(), &error);
    if (machine) machine->SimFiles().PutFile(kSource, rundix::test::PatternBytes(kSize, 3));
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

std::map<std::string, double> g_secondsPerByte;

void BM_DigestAndCopy(benchmark::State& state) {
  Fixture& f = TheFixture();
  if (!f.machine) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  rundix::IFileSystem& files = f.machine->Files();
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    rundix::FileHandle source = rundix::OwnFile(
        files, files.CreateFileW(kSource, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    rundix::FileHandle copy =
        rundix::OwnFile(files, files.CreateFileW(kCopy, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL));
    rundix::FileDigest digest;
    bool ok = source && copy && rundix::DigestAndCopy(files, source.get(), copy.get(), kSize, &digest);
    copy.reset();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!ok || digest.size != static_cast<uint64_t>(kSize)) state.SkipWithError("hashing and copying failed");
  }
  state.SetBytesProcessed(state.iterations() * kSize);
  g_secondsPerByte["program"] = seconds / static_cast<double>(state.iterations() * kSize);
}

void BM_Sha256sum(benchmark::State& state) {
  Fixture& f = TheFixture();
  if (!f.machine) {
    state.SkipWithError(f.error.c_str());
    return;
  }
  const std::string command =
      "sha256sum '" + f.machine->SimFiles().HostPath(kSource, rundix::SimFileSystem::View::kNative) + "' >/dev/null";
  double seconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) state.SkipWithError("sha256sum failed");
  }
  state.SetBytesProcessed(state.iterations() * kSize);
  g_secondsPerByte["sha256sum"] = seconds / static_cast<double>(state.iterations() * kSize);
}

BENCHMARK(BM_Sha256sum)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DigestAndCopy)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_secondsPerByte.count("program") && g_secondsPerByte.count("sha256sum")) {
    double ratio = g_secondsPerByte["sha256sum"] / g_secondsPerByte["program"];
    std::printf("hash-and-copy throughput / sha256sum throughput (200 MiB): %.2f (target >= 0.80)\n", ratio);
  }
  return 0;
}
