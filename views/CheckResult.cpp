#include "views/CheckResult.h"

#include "platform/Text.h"
#include "ui/KuPaintManager.h"
#include "views/CheckResultItem.h"
#include "views/ViewParts.h"

namespace KUM {

UINT CheckResult::GetClass() const { return UICLASS_CHECKRESULT; }

KuControl* CheckResult::GetInterface(UINT id) {
  if (id == UICLASS_CHECKRESULT || id == UICLASS_CONTAINER || id == UICLASS_CONTROL) return this;
  return nullptr;
}

const wchar_t* CheckResult::ClassName() const { return L"CheckResult"; }
std::vector<UINT> CheckResult::InterfaceIds() const {
  return {UICLASS_CHECKRESULT, UICLASS_CONTAINER, UICLASS_CONTROL};
}

namespace {

KuControl* Line(KuContainer* parent, int height, const wchar_t* font, ARGB colour) {
  KuControl* c = AddPart(parent, new KuControl());
  c->SetFixedHeight(height);
  c->SetNormalFont(font);
  c->SetNormalTextColor(colour);
  return c;
}

}  // namespace

void CheckResult::Init() {
  PassWheelAndHover(this);
  title_ = Line(this, 50, L"bold24", 0xFF000000);
  subtitle_ = Line(this, 30, L"normal16", 0xFF818181);
  note_ = Line(this, 25, L"normal16", 0xFF818181);
  note2_ = Line(this, 25, L"normal16", 0xFF949494);
  note2_->SetVisible(false);
  listHeading_ = Line(this, 40, L"normal22", 0xFF363636);
  listHeading_->SetPadding(RECT{0, 15, 0, 0});
  boxCaption_ = Line(this, 30, L"normal16", 0xFF818181);
  boxCaption_->SetPadding(RECT{0, 15, 0, 0});
  boxCaption_->SetVisible(false);

  checkList_ = AddPart(this, new KuVerticalLayout());
  checkList_->SetNormalBorderColor(0xFFEFEFEF);
  checkList_->SetNormalBorderSize(2);
  checkList_->SetRoundCorner(SIZE{5, 5});
  checkList_->SetNormalBkColor(0xFFF5F5F5);
  checkList_->SetFixedHeight(175);
  checkList_->SetInset(RECT{15, 10, 0, 10});
  checkList_->SetVScrollbarStyle(L"VScrollBar1");
  checkList_->EnableScrollBar(true, false);
  checkList_->SetVisible(false);

  footer_ = Line(this, 30, L"normal16", 0xFF818181);
  footer_->SetPadding(RECT{0, 15, 0, 0});
  footer_->SetVisible(false);

  findingList_ = AddPart(this, new KuVerticalLayout());
  findingList_->SetVScrollbarStyle(L"VScrollBar1");
  findingList_->EnableScrollBar(true, false);

  KuVerticalLayout::Init();
}

void CheckResult::SetSubtitle(const std::wstring& text) {
  if (subtitle_) subtitle_->SetText(text);
}

void CheckResult::SetNote(const std::wstring& text) {
  if (note_) note_->SetText(text);
}

void CheckResult::SetNote2(const std::wstring& text) {
  if (note2_ == nullptr) return;
  note2_->SetText(text);
  note2_->SetVisible(true);
}

void CheckResult::ShowCheckList(const std::wstring& caption) {
  if (boxCaption_) boxCaption_->SetText(caption);
  if (listHeading_) listHeading_->SetVisible(false);
  if (boxCaption_) boxCaption_->SetVisible(true);
  if (checkList_) checkList_->SetVisible(true);
}

void CheckResult::SetFooter(const std::wstring& text) {
  if (footer_ == nullptr) return;
  footer_->SetText(text);
  footer_->SetVisible(true);
}

void CheckResult::AddItem(const std::wstring& name, const std::wstring& detail, int32_t kind,
                          const std::wstring& key, const std::wstring& value) {
  if (findingList_ == nullptr) return;
  // Names that differ only in letter case share a row; the first row made for a name is the
  // only one it can match.
  std::wstring folded = rundix::ToLowerWide(name);
  CheckResultItem*& row = rows_[folded];
  if (row == nullptr) {
    row = new CheckResultItem(kind);
    row->SetManager(GetManager());
    findingList_->Add(row);
    row->Init();
  }
  row->SetItemName(name);
  row->SetDetail(detail);
  uint32_t before = row->GetEntryCount();
  row->AddEntry(key, value);
  total_ += row->GetEntryCount() - before;
}

void CheckResult::AddCheckLine(const std::wstring& text) {
  if (checkList_ == nullptr) return;
  KuControl* line = new KuControl();
  line->SetNormalFont(L"normal16");
  line->SetNormalTextColor(0xFF818181);
  line->SetFixedHeight(30);
  line->SetText(text);
  line->SetBkNormalImage(L"res='115' restype='PNG' dest='3,3,27,27'");
  line->SetNormalTextPadding(RECT{35, 4, 0, 0});
  line->SetManager(GetManager());
  checkList_->Add(line);
}

}  // namespace KUM
