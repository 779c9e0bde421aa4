// The junk-file scan over a tree of 200,000 files in nested folders, against
// `find DIR -type f | wc -l` on the same tree in the same run. Target: at most 1.5 times
// find's wall time, with memory growing with the findings only.
//
// The tree is made once under the system's temporary folder and reused by later runs.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

#include "engine/JunkFileScan.h"
#include "platform/sim/SimMachine.h"
#include "tests/engine/ScanTestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace rundix;

constexpr int kFanOut = 10;          // three levels of ten folders each
constexpr int kFilesPerLeaf = 200;   // 1,000 leaf folders
constexpr long kFiles = 1000L * kFilesPerLeaf;
constexpr wchar_t kStart[] = L"C:\\Windows\\Temp\\tree";

fs::path Sandbox() { return fs::temp_directory_path() / "rundix-bench-junk-200k"; }
fs::path TreeRoot() { return Sandbox() / "C" / "Windows" / "Temp" / "tree"; }

void MakeTreeOnce() {
  fs::path done = Sandbox() / "complete";
  if (fs::exists(done)) return;
  fs::remove_all(TreeRoot());
  std::cerr << "making " << kFiles << " files under " << TreeRoot() << " (once)\n";
  for (int a = 0; a < kFanOut; ++a) {
    for (int b = 0; b < kFanOut; ++b) {
      for (int c = 0; c < kFanOut; ++c) {
        fs::path leaf = TreeRoot() / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) / ("c" + std::to_string(c));
        fs::create_directories(leaf);
        for (int f = 0; f < kFilesPerLeaf; ++f) {
          std::ofstream(leaf / ("junk" + std::to_string(f) + ".tmp")) << f;
        }
      }
    }
  }
  std::ofstream(done) << "ok";
}

SimMachine& Machine() {
  static std::unique_ptr<SimMachine> machine = [] {
    MakeTreeOnce();
    std::string error;
    auto m = SimMachine::FromJson("{}", Sandbox().string(), &error);
    if (!m) std::cerr << "bad machine: " << error << "\n";
    return m;
  }();
  return *machine;
}

// Heap bytes in use and their high-water mark, counted by the operators below while
// `counting` is on. The timed runs leave it off: shared counters bumped by both the walk and
// the file system's read-ahead thread would slow the very thing being timed.
std::atomic<bool> counting{false};
std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

void RunCounting(benchmark::State& state, const std::string& command) {
  long counted = 0;
  for (auto _ : state) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr || std::fscanf(pipe, "%ld", &counted) != 1) state.SkipWithError("find failed");
    if (pipe) ::pclose(pipe);
  }
  state.counters["files"] = static_cast<double>(counted);
}

// The reference: names only, from the directory entries, no look at any file.
void BM_FindTypeF(benchmark::State& state) {
  Machine();
  RunCounting(state, "find '" + TreeRoot().string() + "' -type f | wc -l");
}

// For comparison: find reading what the scan needs of every file, its size and time.
void BM_FindSizeAndTime(benchmark::State& state) {
  Machine();
  RunCounting(state, "find '" + TreeRoot().string() + "' -type f -printf '%s %T@\\n' | wc -l");
}

// lastRepairTime 0: every file is a finding. A repair time in the future: none is, which
// shows what the walk itself keeps in memory.
void BM_JunkFileScan(benchmark::State& state) {
  SimMachine& machine = Machine();
  int32_t lastRepairTime = static_cast<int32_t>(state.range(0));
  size_t findings = 0;
  for (auto _ : state) {
    auto harness = std::make_unique<test::ScanHarness>(machine, lastRepairTime);
    JunkFileScan(harness->context, kStart, harness->panel, harness->category);
    state.PauseTiming();
    findings = harness->queue.Size();
    harness.reset();
    state.ResumeTiming();
  }
  // One more run, untimed, for memory: what the walk needs beyond the findings it hands over
  // stays small and flat.
  liveBytes = 0;
  peakBytes = 0;
  counting = true;
  {
    test::ScanHarness harness(machine, lastRepairTime);
    JunkFileScan(harness.context, kStart, harness.panel, harness.category);
    state.counters["heap_held_KiB"] = static_cast<double>(liveBytes.load()) / 1024.0;
  }
  counting = false;
  state.counters["findings"] = static_cast<double>(findings);
  state.counters["heap_peak_KiB"] = static_cast<double>(peakBytes.load()) / 1024.0;
}

BENCHMARK(BM_FindTypeF)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_FindSizeAndTime)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_JunkFileScan)->Arg(0x7FFFFFFF)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_JunkFileScan)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Prints each run as usual and keeps its wall time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

// Every allocation of the process passes here, so the benchmark can tell the heap the scan
// holds from the heap it merely passes through.
void* operator new(size_t size) {
  void* block = std::malloc(size + 16);
  if (block == nullptr) throw std::bad_alloc();
  bool counted = counting.load(std::memory_order_relaxed);
  *static_cast<size_t*>(block) = counted ? size : 0;
  if (counted) {
    size_t live = liveBytes.fetch_add(size) + size;
    size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
  }
  return static_cast<char*>(block) + 16;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - 16;
  if (size_t size = *static_cast<size_t*>(block)) liveBytes.fetch_sub(size);
  std::free(block);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto find = reporter.times.find("BM_FindTypeF/min_time:2.000/real_time");
  auto stat = reporter.times.find("BM_FindSizeAndTime/min_time:2.000/real_time");
  for (const auto& [name, time] : reporter.times) {
    if (name.rfind("BM_JunkFileScan", 0) != 0) continue;
    if (find != reporter.times.end()) {
      double ratio = time / find->second;
      std::printf("%s: %.2f x the wall time of find -type f (target at most 1.50): %s\n", name.c_str(), ratio,
                  ratio <= 1.5 ? "met" : "NOT met");
    }
    if (stat != reporter.times.end()) {
      std::printf("%s: %.2f x the wall time of find -printf of size and time\n", name.c_str(), time / stat->second);
    }
  }
  benchmark::Shutdown();
  return 0;
}
