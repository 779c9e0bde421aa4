// Type tests go through GetInterface: each standard control answers its own class id and
// those of its bases, and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ui/KuButton.h"
#include "ui/KuEdit.h"
#include "ui/KuLabel.h"
#include "ui/KuOption.h"
#include "ui/KuProgress.h"
#include "ui/KuScrollbar.h"

namespace {

using namespace KUM;

struct Case {
  const char* name;
  std::unique_ptr<KuControl> (*make)();
  UINT classId;
  std::vector<UINT> answers;
};

template <typename T>
std::unique_ptr<KuControl> Make() {
  return std::make_unique<T>();
}

TEST(StandardControlClassesTest, GetInterfaceAnswersTheClassAndItsBasesOnly) {
  const Case cases[] = {
      {"label", &Make<KuLabel>, 6, {6, 4, 1}},
      {"button", &Make<KuButton>, 5, {5, 6, 4, 1}},
      {"option", &Make<KuOption>, 9, {9, 5, 6, 4, 1}},
      {"edit", &Make<KuEdit>, 8, {8, 4, 1}},
      {"progress", &Make<KuProgress>, 7, {7, 1}},
      {"scrollbar", &Make<KuScrollbar>, 11, {11, 1}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<KuControl> control = c.make();
    EXPECT_EQ(control->GetClass(), c.classId) << c.name;
    for (UINT id = 0; id <= 32; ++id) {
      bool answers = std::find(c.answers.begin(), c.answers.end(), id) != c.answers.end();
      EXPECT_EQ(control->GetInterface(id), answers ? control.get() : nullptr) << c.name << " id " << id;
    }
  }
}

TEST(StandardControlClassesTest, ButtonsAndOptionsAreTabStopsThatReportClicks) {
  KuButton button;
  KuOption option;
  KuLabel label;
  KuEdit edit;
  for (KuControl* c : {static_cast<KuControl*>(&button), static_cast<KuControl*>(&option)}) {
    EXPECT_TRUE(c->GetControlFlags(UIFLAG_TABSTOP));
    EXPECT_TRUE(c->GetControlNotify(UINOTIFY_CLICK));
  }
  EXPECT_FALSE(label.GetControlFlags(UIFLAG_TABSTOP));
  EXPECT_FALSE(label.GetControlNotify(UINOTIFY_CLICK));
  // An edit is a tab stop that chooses its cursor, and reports no clicks.
  EXPECT_TRUE(edit.GetControlFlags(UIFLAG_TABSTOP));
  EXPECT_TRUE(edit.GetControlFlags(UIFLAG_SETCURSOR));
  EXPECT_FALSE(edit.GetControlNotify(UINOTIFY_CLICK));
}

}  // namespace
