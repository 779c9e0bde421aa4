// The skin document through the builder, with the program's callback for its own elements.
#include <memory>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "ui/KuDialogBuilder.h"
#include "ui/KuPaintManager.h"
#include "views/DialogBuilderCallbackEx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KUM::KuPaintManager manager;
  KUM::DialogBuilderCallbackEx callback;
  KUM::KuDialogBuilder builder;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<KUM::KuControl> root(builder.CreateFromBytes(bytes, nullptr, &callback, &manager));
  return 0;
}
