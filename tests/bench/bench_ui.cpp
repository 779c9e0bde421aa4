// The UI library over a long list: a vertical layout of N labels (30 pixels each, scroll bar
// on) in a 1100 × 824 window, N = 100 and 10,000:
// - the layout of the whole tree (the first layout, done again at alternating widths);
// - one line of scrolling and the repaint it causes;
// - a hover change (the pointer moving from one row to the next) and its repaint.
// Each is reported against one opaque fill of the 1100 × 824 frame measured in the same run.
// The scroll-and-repaint cost must follow the rows in view, not the rows in the list: 10,000
// rows within 2 × of 100 rows.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "platform/Raster.h"
#include "platform/WindowSystem.h"
#include "tests/support/SkinTestWindow.h"
#include "ui/KuContainer.h"
#include "ui/KuPaintManager.h"

namespace {

using namespace rundix;

constexpr int kWidth = 1100;
constexpr int kHeight = 824;

std::wstring ListSkin(int rows) {
  std::wstring skin = LR"(<Window><VerticalLayout name="list" vscrollbarstyle="width=&quot;15&quot; linesize=&quot;30&quot;" normalbkcolor="#FFFFFFFF">)";
  for (int i = 0; i < rows; ++i) {
    skin += L"<Label height=\"30\" textpadding=\"8,0,8,0\" hottextcolor=\"#FF0066CC\" text=\"第 " +
            std::to_wstring(i + 1) + L" 项 应用程序错误 0xc000007b MSVCP140.dll\" />";
  }
  skin += L"</VerticalLayout></Window>";
  return skin;
}

// One window per list length, kept for the whole run.
std::map<int, std::unique_ptr<test::SkinTestWindow>>& Windows() {
  static std::map<int, std::unique_ptr<test::SkinTestWindow>> windows;
  return windows;
}

test::SkinTestWindow& ListWindow(int rows) {
  auto& window = Windows()[rows];
  if (!window) {
    test::SkinWindowOptions options;
    options.width = kWidth;
    options.height = kHeight;
    window = test::SkinTestWindow::Open(ListSkin(rows), options);
    if (!window) {
      std::fprintf(stderr, "the list window of %d rows did not open\n", rows);
      std::exit(1);
    }
  }
  return *window;
}

KUM::KuContainer* List(test::SkinTestWindow& window) {
  return static_cast<KUM::KuContainer*>(window.Find(L"list")->GetInterface(KUM::UICLASS_CONTAINER));
}

// Runs `work` on the window's thread and reports the time it took there.
template <typename Work>
void TimeOnWindowThread(benchmark::State& state, test::SkinTestWindow& window, Work work) {
  for (auto _ : state) {
    double seconds = 0;
    window.Run([&] {
      auto start = std::chrono::steady_clock::now();
      work();
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    state.SetIterationTime(seconds);
  }
}

void BM_FrameFill(benchmark::State& state) {
  auto bitmap = CreateBitmap(kWidth, kHeight);
  auto canvas = CreateCanvas(*bitmap);
  uint32_t colour = 0xFF0D3AFF;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    canvas->FillRect(RECT{0, 0, kWidth, kHeight}, colour);
    benchmark::ClobberMemory();
    colour ^= 0x00010101;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

void BM_Layout(benchmark::State& state) {
  test::SkinTestWindow& window = ListWindow(static_cast<int>(state.range(0)));
  int narrower = 0;
  TimeOnWindowThread(state, window, [&] {
    narrower ^= 1;
    window.Manager().GetRoot()->SetPos(RECT{0, 0, kWidth - narrower, kHeight});
  });
  window.Run([&] { window.Manager().GetRoot()->SetPos(RECT{0, 0, kWidth, kHeight}); });
}

void BM_ScrollLineAndRepaint(benchmark::State& state) {
  test::SkinTestWindow& window = ListWindow(static_cast<int>(state.range(0)));
  HWND hwnd = window.Hwnd();
  // A list that does not scroll would measure nothing.
  int moved = 0;
  window.Run([&] {
    KUM::KuContainer* list = List(window);
    int before = list->GetScrollPos().cy;
    list->LineDown();
    moved = list->GetScrollPos().cy - before;
    list->LineUp();
  });
  if (moved <= 0) {
    state.SkipWithError("the list does not scroll");
    return;
  }
  bool down = false;
  TimeOnWindowThread(state, window, [&] {
    down = !down;
    if (down) {
      List(window)->LineDown();
    } else {
      List(window)->LineUp();
    }
    WindowSystem().UpdateWindow(hwnd);
  });
}

void BM_HoverChangeAndRepaint(benchmark::State& state) {
  test::SkinTestWindow& window = ListWindow(static_cast<int>(state.range(0)));
  HWND hwnd = window.Hwnd();
  int row = 0;
  TimeOnWindowThread(state, window, [&] {
    row = (row + 1) % 20;
    WindowSystem().SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(200, 15 + row * 30));
    WindowSystem().UpdateWindow(hwnd);
  });
}

BENCHMARK(BM_FrameFill)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_Layout)->Arg(100)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_ScrollLineAndRepaint)->Arg(100)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_HoverChangeAndRepaint)->Arg(100)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(0.5);

class TimesReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
  }
  double Get(const std::string& prefix) const {
    for (const auto& [name, time] : times) {
      if (name.rfind(prefix, 0) == 0) return time;
    }
    return 0;
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double fill = reporter.Get("BM_FrameFill");
  if (fill > 0) {
    for (const char* what : {"BM_Layout", "BM_ScrollLineAndRepaint", "BM_HoverChangeAndRepaint"}) {
      double few = reporter.Get(std::string(what) + "/100/");
      double many = reporter.Get(std::string(what) + "/10000/");
      if (few <= 0 || many <= 0) continue;
      std::printf("%s: 100 rows %.1f x a frame fill, 10,000 rows %.1f x; 10,000 / 100 = %.2f\n", what + 3,
                  few / fill, many / fill, many / few);
    }
    double few = reporter.Get("BM_ScrollLineAndRepaint/100/");
    double many = reporter.Get("BM_ScrollLineAndRepaint/10000/");
    if (few > 0 && many > 0) {
      std::printf("scroll and repaint follows the rows in view (10,000 rows within 2 x of 100): %s\n",
                  many <= 2 * few ? "met" : "NOT met");
    }
  }
  Windows().clear();
  benchmark::Shutdown();
  return 0;
}
