// The repair worker's thread during a run, on both builds: the shell may hand an installer to
// an extension, which needs the calling thread in a COM apartment.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "app/Messages.h"
#include "engine/RepairRun.h"
#include "platform/Machine.h"
#include "platform/MessagePost.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

// Notes the posting thread's COM apartment with every message: the run posts from its own
// thread after each entry.
class ApartmentPoster final : public IMessagePoster {
 public:
  explicit ApartmentPoster(ISystemInfo& system) : system_(system) {}
  BOOL PostMessageW(HWND, UINT message, WPARAM, LPARAM) override {
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back({message, system_.GetComApartment()});
    return TRUE;
  }
  struct Seen {
    UINT message;
    ComApartment apartment;
  };
  std::vector<Seen> seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  ISystemInfo& system_;
  std::mutex mutex_;
  std::vector<Seen> seen_;
};

TEST(RepairRunThread, TheWholeRunIsInAnApartmentThatEndsWithIt) {
  auto host = test::MakeTestMachine();
  Machine& machine = host->machine();
  ApartmentPoster poster(machine.System());
  ComApartment after = ComApartment::kMultiThreaded;
  std::thread worker([&] {
    RepairRunContext context;
    context.machine = &machine;
    context.poster = &poster;
    // No folder of its own: nothing is downloaded, every entry still reports.
    RunRepair(context);
    after = machine.System().GetComApartment();
  });
  worker.join();
  auto seen = poster.seen();
  ASSERT_EQ(seen.size(), 20u);
  EXPECT_EQ(seen.back().message, static_cast<UINT>(UM_REPAIR_DONE));
  for (const auto& s : seen) EXPECT_EQ(s.apartment, ComApartment::kSingleThreaded);
  EXPECT_EQ(after, ComApartment::kNone) << "the run leaves COM as it found it";
}

}  // namespace
}  // namespace rundix
