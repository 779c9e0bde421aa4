// The Linux raster at the main window's size, 1100 × 824, each case against a plain memcpy of
// the frame in the same run:
// - an opaque fill of the whole frame (target: at most 2 × the memcpy);
// - a nine-grid blit of a 520 × 270 premultiplied image over the whole frame, nine DrawBitmap
//   calls with per-pixel alpha; every pixel of the image is partly transparent, the blend's
//   slowest case (target: at most 10 × the memcpy);
// - 100 lines of mixed Chinese and Latin text (reported).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Raster.h"

namespace {

using namespace rundix;

constexpr int kWidth = 1100;
constexpr int kHeight = 824;
constexpr int kImageWidth = 520;
constexpr int kImageHeight = 270;
constexpr int kCorner = 24;  // the nine-grid's corner size on every side

struct Frame {
  std::unique_ptr<Bitmap> bitmap = CreateBitmap(kWidth, kHeight);
  std::unique_ptr<Canvas> canvas = CreateCanvas(*bitmap);
};

Frame& TheFrame() {
  static Frame frame;
  return frame;
}

std::unique_ptr<Bitmap> MakeImage() {
  auto image = CreateBitmap(kImageWidth, kImageHeight);
  uint8_t* p = image->LockPixels();
  for (int y = 0; y < kImageHeight; ++y) {
    for (int x = 0; x < kImageWidth; ++x) {
      uint8_t* q = p + y * image->Stride() + x * 4;
      unsigned a = 1 + (x * 7 + y * 3) % 254;  // 1..254: never opaque, never clear
      q[0] = static_cast<uint8_t>(x * a / 520);
      q[1] = static_cast<uint8_t>(y * a / 270);
      q[2] = static_cast<uint8_t>(a / 2);
      q[3] = static_cast<uint8_t>(a);
    }
  }
  image->UnlockPixels();
  return image;
}

void BM_Memcpy(benchmark::State& state) {
  Frame& frame = TheFrame();
  std::vector<uint8_t> source(static_cast<size_t>(kWidth) * kHeight * 4, 0x5A);
  for (auto _ : state) {
    uint8_t* pixels = frame.bitmap->LockPixels();
    std::memcpy(pixels, source.data(), source.size());
    frame.bitmap->UnlockPixels();
    benchmark::DoNotOptimize(pixels);
    benchmark::ClobberMemory();
  }
}

void BM_OpaqueFill(benchmark::State& state) {
  Frame& frame = TheFrame();
  uint32_t colour = 0xFF0D3AFF;
  for (auto _ : state) {
    frame.canvas->FillRect(RECT{0, 0, kWidth, kHeight}, colour);
    colour ^= 0x00010101;
    benchmark::ClobberMemory();
  }
}

// The nine cells of a nine-grid: corners kept, edges stretched along one axis, the middle
// along both.
void NineGrid(Canvas& canvas, const Bitmap& image, const RECT& dest, int corner) {
  const int sx[4] = {0, corner, kImageWidth - corner, kImageWidth};
  const int sy[4] = {0, corner, kImageHeight - corner, kImageHeight};
  const int dx[4] = {dest.left, dest.left + corner, dest.right - corner, dest.right};
  const int dy[4] = {dest.top, dest.top + corner, dest.bottom - corner, dest.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      canvas.DrawBitmap(image, RECT{dx[col], dy[row], dx[col + 1], dy[row + 1]},
                        RECT{sx[col], sy[row], sx[col + 1], sy[row + 1]}, 255, true);
    }
  }
}

void BM_NineGridAlphaBlit(benchmark::State& state) {
  Frame& frame = TheFrame();
  static std::unique_ptr<Bitmap> image = MakeImage();
  frame.canvas->FillRect(RECT{0, 0, kWidth, kHeight}, 0xFFF0F0F0);
  for (auto _ : state) {
    NineGrid(*frame.canvas, *image, RECT{0, 0, kWidth, kHeight}, kCorner);
    benchmark::ClobberMemory();
  }
}

void BM_TextLines(benchmark::State& state) {
  Frame& frame = TheFrame();
  static std::unique_ptr<Font> font = CreateFontObject(FontDesc{L"微软雅黑", 14});
  if (!font) {
    state.SkipWithError("no font");
    return;
  }
  std::vector<std::wstring> lines;
  for (int i = 0; i < 100; ++i) {
    lines.push_back(L"第 " + std::to_wstring(i + 1) + L" 项：应用程序错误 0xc000007b，缺少 MSVCP140.dll — "
                    L"Visual C++ 2015 x86 修复完成");
  }
  frame.canvas->FillRect(RECT{0, 0, kWidth, kHeight}, 0xFFFFFFFF);
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) {
      RECT rect{8, (i * 8) % (kHeight - 24), kWidth - 8, (i * 8) % (kHeight - 24) + 24};
      frame.canvas->DrawTextW(*font, lines[static_cast<size_t>(i)], &rect,
                              DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX, 0xFF333333);
    }
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_OpaqueFill)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_NineGridAlphaBlit)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_TextLines)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

// Prints each run as usual and keeps its wall and CPU times for the ratios (the medians when
// the runs are repeated). The CPU ratio is the steadier one on a busy machine.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      std::string name = run.benchmark_name();
      Times& t = times[name.substr(0, name.find('/'))];
      if (median || t.wall == 0) {
        t.wall = run.GetAdjustedRealTime();
        t.cpu = run.GetAdjustedCPUTime();
      }
    }
  }
  struct Times {
    double wall = 0;
    double cpu = 0;
  };
  std::map<std::string, Times> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto memcpyTime = reporter.times.find("BM_Memcpy");
  if (memcpyTime != reporter.times.end()) {
    struct Target {
      const char* name;
      const char* what;
      double limit;  // 0: reported only
    };
    const Target targets[] = {{"BM_OpaqueFill", "opaque fill", 2.0},
                              {"BM_NineGridAlphaBlit", "nine-grid alpha blit", 10.0},
                              {"BM_TextLines", "100 lines of text", 0.0}};
    for (const Target& t : targets) {
      auto it = reporter.times.find(t.name);
      if (it == reporter.times.end()) continue;
      double ratio = it->second.wall / memcpyTime->second.wall;
      double cpuRatio = it->second.cpu / memcpyTime->second.cpu;
      if (t.limit > 0) {
        std::printf("%s: %.2f x memcpy of the frame (CPU time: %.2f x; target at most %.0f): %s\n", t.what, ratio,
                    cpuRatio, t.limit, ratio <= t.limit ? "met" : "NOT met");
      } else {
        std::printf("%s: %.2f x memcpy of the frame (CPU time: %.2f x)\n", t.what, ratio, cpuRatio);
      }
    }
  }
  benchmark::Shutdown();
  return 0;
}
