// One finding row: the findings that share a name (an application, a folder, a DLL), their
// distinct entries counted, and a "查看报告" button that raises notification 29.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "ui/KuButton.h"
#include "ui/KuContainer.h"

namespace KUM {

constexpr UINT UICLASS_CHECKRESULTITEM = 24;
constexpr UINT UINOTIFY_REPORT = 29;

enum CheckResultKind : int32_t {
  kCrashRow = 0,
  kErrorRow = 1,
  kJunkRow = 2,
  kDllRow = 3,
};

class CheckResultItem : public KuHorizontalLayout {
 public:
  explicit CheckResultItem(int32_t kind) : kind_(kind) {}

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void Init() override;
  bool Activate(KuEventUI& event) override;
  void OnLButtonDblClk(KuEventUI& event) override;

  // A new key joins the entries (a known one changes nothing) and the labels follow.
  void AddEntry(const std::wstring& key, const std::wstring& value);
  void SetItemName(const std::wstring& name);
  std::wstring GetItemName() const { return name_; }
  void SetDetail(const std::wstring& detail);
  const std::wstring& GetDetail() const { return detail_; }
  int32_t GetKind() const { return kind_; }
  uint32_t GetEntryCount() const { return count_; }
  const std::map<std::wstring, std::wstring>& GetEntries() const { return entries_; }

  KuControl* GetRowIcon() const { return rowIcon_; }
  KuControl* GetTitle() const { return title_; }
  KuControl* GetDetailLabel() const { return detailLabel_; }
  KuControl* GetStatusIcon() const { return statusIcon_; }
  KuControl* GetCountLabel() const { return countLabel_; }
  KuButton* GetReportButton() const { return reportButton_; }

 private:
  int32_t kind_;
  std::wstring name_;
  std::wstring detail_;
  std::map<std::wstring, std::wstring> entries_;
  uint32_t count_ = 0;
  KuControl* rowIcon_ = nullptr;
  KuControl* title_ = nullptr;
  KuControl* detailLabel_ = nullptr;
  KuControl* statusIcon_ = nullptr;
  KuControl* countLabel_ = nullptr;
  KuButton* reportButton_ = nullptr;
};

}  // namespace KUM
