// The control base's attribute vocabulary and value syntax.
#include <gtest/gtest.h>

#include "ui/KuButton.h"
#include "ui/KuContainer.h"
#include "ui/KuControl.h"

namespace KUM {
namespace {

TEST(KuControlTest, AlignKeywordsAreFoundBySubstringInTheirOrder) {
  KuControl c;
  c.SetAttribute(L"align", L"vcenter center singleline");
  EXPECT_EQ(c.GetTextStyle(), static_cast<UINT>(DT_VCENTER | DT_CENTER | DT_SINGLELINE));
  // "vcenter" holds both "vcen" and "center": it centres horizontally as well.
  KuControl d;
  d.SetAttribute(L"align", L"vcenter singleline");
  EXPECT_EQ(d.GetTextStyle(), static_cast<UINT>(DT_VCENTER | DT_CENTER | DT_SINGLELINE));
  d.SetAttribute(L"align", L"right bottom wordbreak");
  EXPECT_EQ(d.GetTextStyle(), static_cast<UINT>(DT_RIGHT | DT_BOTTOM | DT_WORDBREAK));
  d.SetAttribute(L"endellipsis", L"true");
  EXPECT_TRUE(d.GetTextStyle() & DT_END_ELLIPSIS);
  d.SetAttribute(L"endellipsis", L"yes");
  EXPECT_FALSE(d.GetTextStyle() & DT_END_ELLIPSIS);
}

TEST(KuControlTest, ValueSyntaxOfPositionsRectanglesAndColours) {
  KuControl c;
  c.SetAttribute(L"pos", L"10,20,110,70");
  EXPECT_EQ(c.GetFixedXY().cx, 10);
  EXPECT_EQ(c.GetFixedXY().cy, 20);
  EXPECT_EQ(c.GetFixedWidth(), 100);
  EXPECT_EQ(c.GetFixedHeight(), 50);

  c.SetAttribute(L"padding", L"1,-2,3");  // three numbers: the fourth is 0
  EXPECT_EQ(c.GetPadding().left, 1);
  EXPECT_EQ(c.GetPadding().top, -2);
  EXPECT_EQ(c.GetPadding().right, 3);
  EXPECT_EQ(c.GetPadding().bottom, 0);

  c.SetAttribute(L"normaltextcolor", L"#ff0D3AFF");
  EXPECT_EQ(c.GetNormalTextColor(), 0xFF0D3AFFu);
  c.SetAttribute(L"hottextcolor", L"ff0D3AFF");
  EXPECT_EQ(c.GetHotTextColor(), 0xFF0D3AFFu);
  c.SetAttribute(L"normalbkcolor", L"  #80102030");
  EXPECT_EQ(c.GetNormalBkColor(), 0x80102030u);
  c.SetAttribute(L"width", L"12px");
  EXPECT_EQ(c.GetFixedWidth(), 12);
  c.SetAttribute(L"width", L"abc");
  EXPECT_EQ(c.GetFixedWidth(), 0);
  // A negative size is not taken.
  c.SetAttribute(L"height", L"-5");
  EXPECT_EQ(c.GetFixedHeight(), 50);
  c.SetAttribute(L"visible", L"True");
  EXPECT_FALSE(c.IsVisible());
}

TEST(KuControlTest, DefaultsOfStateBordersAndSwitches) {
  KuControl plain;
  EXPECT_EQ(plain.GetNormalTextColor(), 0xFF000000u);
  EXPECT_EQ(plain.GetNormalBorderSize(), 1);
  EXPECT_TRUE(plain.GetControlFlags(UIFLAG_FOCUSABLE));
  EXPECT_FALSE(plain.GetControlFlags(UIFLAG_TABSTOP));
  EXPECT_FALSE(plain.GetControlNotify(UINOTIFY_CLICK));
  plain.SetAttribute(L"flags", L"notfocus setcursor");
  EXPECT_FALSE(plain.GetControlFlags(UIFLAG_FOCUSABLE));
  EXPECT_TRUE(plain.GetControlFlags(UIFLAG_SETCURSOR));

  KuButton button;
  EXPECT_TRUE(button.GetControlFlags(UIFLAG_TABSTOP));
  EXPECT_TRUE(button.GetControlNotify(UINOTIFY_CLICK));
}

TEST(KuControlTest, NotifyAndDispatchTurnOnEveryKeywordFound) {
  KuControl c;
  c.SetAttribute(L"dispatch", L"setcursor,activate|mouseenter mouseleave");
  EXPECT_TRUE(c.GetControlDispatch(UIEVENT_SETCURSOR));
  EXPECT_TRUE(c.GetControlDispatch(UIEVENT_ACTIVATE));
  EXPECT_TRUE(c.GetControlDispatch(UIEVENT_MOUSEENTER));
  EXPECT_TRUE(c.GetControlDispatch(UIEVENT_MOUSELEAVE));
  EXPECT_FALSE(c.GetControlDispatch(UIEVENT_MOUSEWHEEL));
  c.SetAttribute(L"notify", L"lbuttonup");
  EXPECT_TRUE(c.GetControlNotify(UINOTIFY_LBUTTONUP));
  EXPECT_FALSE(c.GetControlNotify(UINOTIFY_CLICK));
  c.SetAttribute(L"format", L"topmost");
  EXPECT_EQ(c.GetFloatFormat() & UIFORMAT_TOPMOST, static_cast<UINT>(UIFORMAT_TOPMOST));
}

TEST(KuControlTest, AttributeListsNeedExactlyOneBlankBetweenPairs) {
  KuControl one;
  one.ApplyAttributeList(L"width=\"15\" height=\"30\"");
  EXPECT_EQ(one.GetFixedWidth(), 15);
  EXPECT_EQ(one.GetFixedHeight(), 30);

  KuControl two;
  two.ApplyAttributeList(L"width=\"15\"  height=\"30\"");
  EXPECT_EQ(two.GetFixedWidth(), 15);
  EXPECT_EQ(two.GetFixedHeight(), 0);

  // Broken shapes end the parse without harm.
  KuControl broken;
  broken.ApplyAttributeList(L"width=15 height=\"30\"");
  EXPECT_EQ(broken.GetFixedWidth(), 0);
  broken.ApplyAttributeList(L"width=\"15");
  EXPECT_EQ(broken.GetFixedWidth(), 0);
  broken.ApplyAttributeList(L"width=\"15\" ");
  EXPECT_EQ(broken.GetFixedWidth(), 15);
  broken.ApplyAttributeList(L"=\"\"");
  broken.ApplyAttributeList(L"");
}

TEST(KuControlTest, HidingAChildMarksItsParentForLayout) {
  KuVerticalLayout parent;
  auto* child = new KuControl();
  parent.Add(child);
  parent.SetPos(RECT{0, 0, 10, 10});
  ASSERT_FALSE(parent.IsUpdateNeeded());
  child->SetAttribute(L"visible", L"false");
  EXPECT_TRUE(parent.IsUpdateNeeded());
}

TEST(KuControlTest, ClassIdsAndInterfaces) {
  KuControl c;
  KuVerticalLayout v;
  KuButton b;
  EXPECT_EQ(c.GetClass(), static_cast<UINT>(UICLASS_CONTROL));
  EXPECT_EQ(c.GetInterface(UICLASS_CONTAINER), nullptr);
  EXPECT_EQ(v.GetClass(), static_cast<UINT>(UICLASS_CONTAINER));
  EXPECT_EQ(v.GetInterface(UICLASS_CONTAINER), &v);
  EXPECT_EQ(b.GetClass(), static_cast<UINT>(UICLASS_BUTTON));
  EXPECT_EQ(b.GetInterface(UICLASS_LABEL), &b);
  EXPECT_EQ(b.GetInterface(UICLASS_OPTION), nullptr);
}

}  // namespace
}  // namespace KUM
