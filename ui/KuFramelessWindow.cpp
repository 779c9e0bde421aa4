#include "ui/KuFramelessWindow.h"

namespace KUM {

LRESULT KuFramelessWindow::KuOnNcActivate(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (Ws().IsIconic(window_)) handled = false;
  return wParam == 0 ? TRUE : FALSE;
}

LRESULT KuFramelessWindow::KuOnNcCalcSize(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT KuFramelessWindow::KuOnNcPaint(UINT, WPARAM, LPARAM, bool&) { return 0; }

}  // namespace KUM
