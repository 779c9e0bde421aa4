// Attribute lists applied to each kind of control the skin can name. The first byte picks
// the control; the rest is the list.
#include <memory>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "ui/KuDialogBuilder.h"
#include "ui/KuPaintManager.h"
#include "views/DialogBuilderCallbackEx.h"

namespace {

const char* const kElements[] = {"Control", "Container", "VerticalLayout", "HorizontalLayout", "Label", "Text",
                                 "Button",  "Option",    "Edit",           "Progress",         "ScrollBar",
                                 "CheckResult", "LeftOption"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const char* element = kElements[data[0] % (sizeof(kElements) / sizeof(kElements[0]))];
  bool known = false;
  std::unique_ptr<KUM::KuControl> control(KUM::KuDialogBuilder::CreateLibraryControl(element, &known));
  if (!control) {
    KUM::DialogBuilderCallbackEx callback;
    std::string name(element);
    control.reset(callback.CreateControl(std::wstring(name.begin(), name.end())));
  }
  if (!control) return 0;
  KUM::KuPaintManager manager;
  control->SetManager(&manager);
  control->ApplyAttributeList(rundix::fuzz::WideFromFuzzBytes(data + 1, size - 1));
  control->SetManager(nullptr);
  return 0;
}
