// Layout rules of the containers, on control trees without a window.
#include <gtest/gtest.h>

#include <memory>

#include "ui/KuContainer.h"
#include "ui/KuScrollbar.h"

namespace KUM {
namespace {

KuControl* Child(KuContainer& parent, int width, int height, RECT padding = {0, 0, 0, 0}) {
  auto* c = new KuControl();
  c->SetFixedWidth(width);
  c->SetFixedHeight(height);
  c->SetPadding(padding);
  parent.Add(c);
  return c;
}

void ExpectRect(const RECT& r, LONG l, LONG t, LONG rt, LONG b) {
  EXPECT_EQ(r.left, l);
  EXPECT_EQ(r.top, t);
  EXPECT_EQ(r.right, rt);
  EXPECT_EQ(r.bottom, b);
}

TEST(KuLayoutTest, HeaderRowGivesTheTitleWhatTheFixedChildrenLeave) {
  // The main window's title bar: icon, title, two buttons, minimise, close.
  KuHorizontalLayout row;
  Child(row, 40, 40, {23, 16, 0, 0});
  KuControl* title = Child(row, 0, 0, {10, 20, 0, 0});
  Child(row, 86, 40, {0, 15, 0, 0});
  Child(row, 86, 40, {0, 15, 0, 0});
  Child(row, 40, 40, {10, 15, 0, 0});
  KuControl* close = Child(row, 40, 40, {10, 15, 20, 0});
  row.SetPos(RECT{1, 1, 1099, 71});

  EXPECT_EQ(title->GetWidth(), 733);
  // A child without a fixed height fills the row less its top and bottom padding.
  EXPECT_EQ(title->GetHeight(), 50);
  ExpectRect(title->GetPos(), 1 + 63 + 10, 21, 1 + 63 + 10 + 733, 71);
  EXPECT_EQ(close->GetPos().right, 1099 - 20);
}

TEST(KuLayoutTest, AdjustableChildrenShareTheRestAndTheLastTakesTheRemainder) {
  KuVerticalLayout column;
  KuControl* first = Child(column, 0, 0);
  KuControl* second = Child(column, 0, 0);
  column.SetPos(RECT{0, 0, 50, 101});
  EXPECT_EQ(first->GetHeight(), 50);
  EXPECT_EQ(second->GetHeight(), 51);
  EXPECT_EQ(second->GetPos().top, 50);
  // No fixed width: the column's width.
  EXPECT_EQ(first->GetWidth(), 50);
}

TEST(KuLayoutTest, MinimumAndMaximumSizesClampWithoutGivingSpaceToOthers) {
  KuVerticalLayout column;
  KuControl* limited = Child(column, 0, 0);
  limited->SetMaxHeight(40);
  KuControl* raised = Child(column, 0, 30);
  raised->SetMinHeight(45);
  KuControl* after = Child(column, 0, 10);
  column.SetPos(RECT{0, 0, 100, 1000});
  EXPECT_EQ(limited->GetHeight(), 40);
  EXPECT_EQ(raised->GetHeight(), 45);
  EXPECT_EQ(raised->GetPos().top, 40);
  // The space the capped child did not use is not handed to the others.
  EXPECT_EQ(after->GetPos().top, 85);
  EXPECT_EQ(after->GetHeight(), 10);
}

TEST(KuLayoutTest, ChildPaddingAndHiddenChildren) {
  KuVerticalLayout column;
  column.SetChildPadding(5);
  Child(column, 0, 10);
  KuControl* hidden = Child(column, 0, 10);
  KuControl* middle = Child(column, 0, 10);
  KuControl* last = Child(column, 0, 10);
  hidden->SetVisible(false);
  column.SetPos(RECT{0, 0, 100, 1000});
  // A hidden child takes no space and no child padding.
  EXPECT_EQ(middle->GetPos().top, 15);
  EXPECT_EQ(last->GetPos().top, 30);
}

TEST(KuLayoutTest, ContentTallerThanTheLayoutShowsTheScrollBar) {
  KuVerticalLayout list;
  list.EnableScrollBar(true, false);
  KuScrollbar* bar = list.GetVerticalScrollbar();
  ASSERT_NE(bar, nullptr);
  bar->ApplyAttributeList(L"width=\"15\" linesize=\"30\" showbutton1=\"false\" showbutton2=\"false\"");
  std::vector<KuControl*> rows;
  for (int i = 0; i < 10; ++i) rows.push_back(Child(list, 0, 50));
  list.SetPos(RECT{0, 0, 200, 300});

  EXPECT_TRUE(bar->IsVisible());
  EXPECT_EQ(list.GetScrollRange().cy, 200);
  // The bar takes its width off the rows.
  EXPECT_EQ(rows[0]->GetWidth(), 185);
  ExpectRect(bar->GetPos(), 185, 0, 200, 300);
  // 300 × 300 / (200 + 300).
  EXPECT_EQ(KuHeight(bar->GetThumbRect()), 180);

  list.LineDown();
  EXPECT_EQ(list.GetScrollPos().cy, 30);
  EXPECT_EQ(rows[0]->GetPos().top, -30);
  EXPECT_EQ(rows[9]->GetPos().top, 420);
  list.EndDown();
  EXPECT_EQ(rows[9]->GetPos().bottom, 300);
  list.HomeUp();
  EXPECT_EQ(rows[0]->GetPos().top, 0);
}

TEST(KuLayoutTest, ContentThatFitsHidesTheScrollBarAgain) {
  KuVerticalLayout list;
  list.EnableScrollBar(true, false);
  KuControl* row = Child(list, 0, 500);
  list.SetPos(RECT{0, 0, 200, 300});
  ASSERT_TRUE(list.GetVerticalScrollbar()->IsVisible());
  row->SetFixedHeight(100);
  list.SetPos(RECT{0, 0, 200, 300});
  EXPECT_FALSE(list.GetVerticalScrollbar()->IsVisible());
  EXPECT_EQ(list.GetScrollRange().cy, 0);
  EXPECT_EQ(row->GetWidth(), 200);
}

TEST(KuLayoutTest, HorizontalShareUsesTheWidthLeftBesideTheVerticalBar) {
  KuHorizontalLayout row;
  row.EnableScrollBar(true, false);
  row.GetVerticalScrollbar()->SetFixedWidth(15);
  Child(row, 50, 500);
  KuControl* rest = Child(row, 0, 0);
  row.SetPos(RECT{0, 0, 300, 200});
  ASSERT_TRUE(row.GetVerticalScrollbar()->IsVisible());
  EXPECT_EQ(rest->GetWidth(), 300 - 15 - 50);
}

TEST(KuLayoutTest, FloatChildrenArePlacedByTheirPositionAndTakeNoSpace) {
  KuVerticalLayout column;
  KuControl* normal = Child(column, 0, 20);
  auto* floating = new KuControl();
  floating->SetAttribute(L"pos", L"10,20,110,70");
  floating->SetAttribute(L"float", L"true");
  column.Add(floating);
  KuControl* after = Child(column, 0, 20);
  column.SetInset(RECT{5, 5, 5, 5});
  column.SetPos(RECT{100, 100, 400, 400});
  EXPECT_EQ(normal->GetPos().top, 105);
  EXPECT_EQ(after->GetPos().top, 125);
  // A vertical layout places float children relative to its item rectangle.
  ExpectRect(floating->GetPos(), 110, 120, 210, 170);
}

TEST(KuLayoutTest, NormalLayoutOverlapsChildrenAndCentresByFormat) {
  KuContainer box;
  KuControl* full = Child(box, 0, 0);
  KuControl* centred = Child(box, 40, 20);
  centred->SetAttribute(L"format", L"center vcenter");
  box.SetPos(RECT{0, 0, 200, 100});
  ExpectRect(full->GetPos(), 0, 0, 200, 100);
  ExpectRect(centred->GetPos(), 80, 40, 120, 60);
}

TEST(KuLayoutTest, AbsurdSizesNeverReachChildrenNegative) {
  KuHorizontalLayout row;
  KuControl* wide = Child(row, 0, 0);
  wide->SetAttribute(L"width", L"99999999999");
  wide->SetAttribute(L"padding", L"-5,-5,-99999999,0");
  KuControl* other = Child(row, 0, 0);
  row.SetPos(RECT{0, 0, 100, 50});
  EXPECT_GE(other->GetWidth(), 0);
  EXPECT_GE(other->GetHeight(), 0);
  EXPECT_GE(wide->GetWidth(), 0);
  // Inverted rectangles are raised to empty ones.
  row.SetPos(RECT{50, 50, 10, 10});
  EXPECT_EQ(row.GetPos().right, 50);
  EXPECT_EQ(row.GetPos().bottom, 50);
}

TEST(KuLayoutTest, VisibilityFollowsEveryContainerAbove) {
  KuVerticalLayout outer;
  auto* inner = new KuVerticalLayout();
  outer.Add(inner);
  KuControl* leaf = Child(*inner, 10, 10);
  outer.SetVisible(false);
  EXPECT_FALSE(leaf->IsVisible());
  // Showing the inner container while the outer one is hidden shows nothing.
  inner->SetVisible(false);
  inner->SetVisible(true);
  EXPECT_FALSE(inner->IsVisible());
  EXPECT_FALSE(leaf->IsVisible());
  // A child added to a hidden container is hidden with it.
  KuControl* late = Child(*inner, 10, 10);
  EXPECT_FALSE(late->IsVisible());
  outer.SetVisible(true);
  EXPECT_TRUE(inner->IsVisible());
  EXPECT_TRUE(leaf->IsVisible());
  EXPECT_TRUE(late->IsVisible());
}

TEST(KuLayoutTest, RemoveDestroysAndRefusesStrangers) {
  KuVerticalLayout column;
  KuControl* a = Child(column, 0, 10);
  Child(column, 0, 10);
  KuControl stranger;
  EXPECT_FALSE(column.Remove(&stranger));
  EXPECT_FALSE(column.Add(nullptr));
  EXPECT_TRUE(column.Remove(a));
  EXPECT_EQ(column.GetCount(), 1);
}

}  // namespace
}  // namespace KUM
