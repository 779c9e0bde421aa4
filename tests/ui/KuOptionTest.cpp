// Options: one selected member per group with the notifications in their order, toggling
// without a group, clicks on an option's children, and members that leave.
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KuOption.h"
#include "ui/KuPaintManager.h"

namespace rundix::test {
namespace {

using KUM::KuOption;
using KUM::UICLASS_OPTION;
using KUM::UINOTIFY_CLICK;
using KUM::UINOTIFY_SELECTCHANGED;

const wchar_t kSkin[] = LR"(<Window>
  <Default name="Option" value="height=&quot;30&quot; normalbkcolor=&quot;#FFFFFFFF&quot; selectedbkcolor=&quot;#FF20A040&quot;" />
  <VerticalLayout normalbkcolor="#FFFFFFFF">
    <Option name="o1" group="1" text="One" selected="true" />
    <Option name="o2" group="1" text="Two" />
    <Option name="o3" group="1" text="Three" />
    <Option name="check" text="Check" />
    <Option name="host" group="2" height="40" layouttype="vertical" inset="20,5,20,5">
      <Label name="inner" text="inside" normalbkcolor="#FFEEEEEE"
             dispatch="setcursor activate mouseenter mouseleave" />
    </Option>
    <Control />
  </VerticalLayout>
</Window>)";

class KuOptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = SkinTestWindow::Open(kSkin);
    ASSERT_NE(window_, nullptr);
    window_->ClearNotifications();
  }

  // Clicks and selection changes in the order they came, as "name:type[=wParam]".
  std::vector<std::wstring> Story() {
    std::vector<std::wstring> out;
    for (const NotifyRecord& r : window_->Notifications()) {
      if (r.type == UINOTIFY_CLICK) out.push_back(r.senderName + L":click");
      if (r.type == UINOTIFY_SELECTCHANGED) {
        out.push_back(r.senderName + (r.wParam ? L":selected" : L":unselected"));
      }
    }
    return out;
  }

  bool Selected(const std::wstring& name) {
    bool selected = false;
    window_->Run([&] { selected = window_->FindAs<KuOption>(name, UICLASS_OPTION)->IsSelected(); });
    return selected;
  }

  std::wstring GroupSelected(UINT group) {
    std::wstring name;
    window_->Run([&] {
      if (auto* c = window_->Manager().GetGroupSelected(group)) name = c->GetName();
    });
    return name;
  }

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuOptionTest, SelectingAMemberUnselectsTheOtherWithOneClickAndTwoChanges) {
  ASSERT_EQ(GroupSelected(1), L"o1");
  window_->Click(L"o2");
  EXPECT_EQ(Story(), (std::vector<std::wstring>{L"o2:click", L"o1:unselected", L"o2:selected"}));
  EXPECT_EQ(GroupSelected(1), L"o2");
  EXPECT_FALSE(Selected(L"o1"));
  EXPECT_FALSE(Selected(L"o3"));

  // The selected member shows the selected background; the others their normal one.
  RECT o1 = window_->RectOf(L"o1");
  RECT o2 = window_->RectOf(L"o2");
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(PixelNear(*capture, o2.right - 3, o2.bottom - 3, 0xFF20A040, 8));
  EXPECT_TRUE(PixelNear(*capture, o1.right - 3, o1.bottom - 3, 0xFFFFFFFF, 8));
  SaveIfFailed(*capture);

  // Clicking the selected member again keeps it selected: a click, no change.
  window_->ClearNotifications();
  window_->Click(L"o2");
  EXPECT_EQ(Story(), (std::vector<std::wstring>{L"o2:click"}));
  EXPECT_TRUE(Selected(L"o2"));
}

TEST_F(KuOptionTest, OptionWithoutGroupTogglesOnEachClick) {
  window_->Click(L"check");
  window_->Click(L"check");
  window_->Click(L"check");
  EXPECT_EQ(Story(), (std::vector<std::wstring>{L"check:click", L"check:selected", L"check:click",
                                                L"check:unselected", L"check:click",
                                                L"check:selected"}));
  EXPECT_TRUE(Selected(L"check"));
}

TEST_F(KuOptionTest, ClickOnAChildThatDispatchesActivateSelectsTheOption) {
  window_->Click(L"inner");
  EXPECT_TRUE(Selected(L"host"));
  auto changes = window_->Notifications(UINOTIFY_SELECTCHANGED);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].senderName, L"host");
  EXPECT_EQ(changes[0].wParam, 1u);
}

TEST_F(KuOptionTest, DisabledSelectedOptionKeepsItsSelectedState) {
  window_->Run([&] { window_->Find(L"o1")->SetEnabled(false); });
  EXPECT_EQ(GroupSelected(1), L"o1");
  window_->Click(L"o1");
  EXPECT_TRUE(window_->Notifications(UINOTIFY_SELECTCHANGED).empty());
  RECT o1 = window_->RectOf(L"o1");
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(PixelNear(*capture, o1.right - 3, o1.bottom - 3, 0xFF20A040, 8));
}

TEST_F(KuOptionTest, MembersThatLeaveOrJoinKeepOneSelectedPerGroup) {
  // A destroyed member leaves its group.
  window_->Run([&] {
    auto* o1 = window_->Find(L"o1");
    auto* parent = static_cast<KUM::KuContainer*>(o1->GetParent()->GetInterface(KUM::UICLASS_CONTAINER));
    ASSERT_TRUE(parent->Remove(o1));
  });
  EXPECT_EQ(GroupSelected(1), L"");
  std::vector<KUM::KuControl*>* members = nullptr;
  size_t count = 0;
  window_->Run([&] {
    members = window_->Manager().GetGroup(1);
    count = members != nullptr ? members->size() : 0;
  });
  EXPECT_EQ(count, 2u);
  window_->Click(L"o3");
  EXPECT_EQ(GroupSelected(1), L"o3");

  // A selected option that joins the group leaves it with one selected member.
  window_->Click(L"check");
  window_->ClearNotifications();
  window_->Run([&] { window_->FindAs<KuOption>(L"check", UICLASS_OPTION)->SetGroup(1); });
  EXPECT_EQ(Story(), (std::vector<std::wstring>{L"o3:unselected"}));
  EXPECT_EQ(GroupSelected(1), L"check");
}

}  // namespace
}  // namespace rundix::test
