// A window whose skin draws all of it: no system caption or frame, the whole window is client
// area (the skin's own title bar, caption rectangle and round corners stand in for them).
#pragma once

#include "ui/KuWindowImplBase.h"

namespace KUM {

class KuFramelessWindow : public KuWindowImplBase {
 public:
  // Inactive-caption painting is left out except while minimised.
  LRESULT KuOnNcActivate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  // No non-client area.
  LRESULT KuOnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  // Nothing of the system's frame is drawn.
  LRESULT KuOnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
};

}  // namespace KUM
