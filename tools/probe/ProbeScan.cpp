#include <iostream>

#include "app/PendingFinding.h"
#include "app/Settings.h"
#include "engine/EventLogScan.h"
#include "engine/JunkFileScan.h"
#include "engine/SharedDllScan.h"
#include "platform/Text.h"
#include "tools/probe/ProbeCommands.h"

namespace rundix {

namespace {

// Without a window there are no result panels or category entries; each stage gets stand-ins
// whose addresses say which stage a finding came from. They are never looked into.
struct StageMarks {
  char panels[4];
  char categories[4];
  CheckResult* Panel(int stage) { return reinterpret_cast<CheckResult*>(&panels[stage - 1]); }
  LeftOption* Category(int stage) { return reinterpret_cast<LeftOption*>(&categories[stage - 1]); }
  int StageOf(const CheckResult* panel) const {
    for (int i = 0; i < 4; ++i) {
      if (reinterpret_cast<const char*>(panel) == &panels[i]) return i + 1;
    }
    return 0;
  }
};

}  // namespace

int ProbeScan(const ProbeOptions& options, std::ostream& out) {
  std::string error;
  std::unique_ptr<Machine> machine = OpenProbeMachine(options, &error);
  if (!machine) {
    std::cerr << "rundix-probe: " << error << "\n";
    return 1;
  }
  // The cut-off is the program's own: the last repair time of the settings store, read
  // without making the folder the program would make.
  SettingsStore settings(*machine);
  settings.LoadSettings(false);

  PendingFindingQueue queue;
  ScanContext context{*machine, queue, settings.LastRepairTimeRef()};
  StageMarks marks{};
  EventLogScan(context, kApplicationLogName, marks.Panel(1), marks.Category(1));
  EventLogScan(context, kSystemLogName, marks.Panel(2), marks.Category(2));
  JunkFolderScan(context, marks.Panel(3), marks.Category(3));
  SharedDllScan(context, marks.Panel(4), marks.Category(4));

  queue.Drain([&](const PendingFinding& f) {
    Json::Value line(Json::objectValue);
    line["stage"] = marks.StageOf(f.panel);
    line["kind"] = f.kind;
    line["text1"] = Utf8FromWide(f.text1);
    line["text2"] = Utf8FromWide(f.text2);
    line["text3"] = Utf8FromWide(f.text3);
    line["text4"] = Utf8FromWide(f.text4);
    line["category"] = f.category != nullptr;
    WriteJson(out, line, true);
  });
  return 0;
}

}  // namespace rundix
