// The result panel of one scan category: headings, explanatory lines, an optional check-list
// box, and a scrolling list of finding rows, one row per finding name.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "ui/KuContainer.h"

namespace KUM {

class CheckResultItem;

constexpr UINT UICLASS_CHECKRESULT = 23;

class CheckResult : public KuVerticalLayout {
 public:
  CheckResult() = default;

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void Init() override;

  void SetSubtitle(const std::wstring& text);
  void SetNote(const std::wstring& text);
  void SetNote2(const std::wstring& text);
  void ShowCheckList(const std::wstring& caption);
  void SetFooter(const std::wstring& text);
  // Adds the entry (key, value) to the row named `name` (letter case ignored), making the row
  // when there is none; the row takes the latest name and detail.
  void AddItem(const std::wstring& name, const std::wstring& detail, int32_t kind,
               const std::wstring& key, const std::wstring& value);
  void AddCheckLine(const std::wstring& text);
  // The sum of the counts of all rows.
  uint32_t GetTotalCount() const { return total_; }

  KuControl* GetTitle() const { return title_; }
  KuControl* GetSubtitle() const { return subtitle_; }
  KuControl* GetNote() const { return note_; }
  KuControl* GetNote2() const { return note2_; }
  KuControl* GetListHeading() const { return listHeading_; }
  KuControl* GetBoxCaption() const { return boxCaption_; }
  KuVerticalLayout* GetCheckList() const { return checkList_; }
  KuControl* GetFooter() const { return footer_; }
  KuVerticalLayout* GetFindingList() const { return findingList_; }

 private:
  KuControl* title_ = nullptr;
  KuControl* subtitle_ = nullptr;
  KuControl* note_ = nullptr;
  KuControl* note2_ = nullptr;
  KuControl* listHeading_ = nullptr;
  KuControl* boxCaption_ = nullptr;
  KuVerticalLayout* checkList_ = nullptr;
  KuControl* footer_ = nullptr;
  KuVerticalLayout* findingList_ = nullptr;
  // Rows by folded name: every finding looks its row up, and a scan brings thousands.
  std::unordered_map<std::wstring, CheckResultItem*> rows_;
  uint32_t total_ = 0;
};

}  // namespace KUM
