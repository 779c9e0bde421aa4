// How the result views build their parts: every part passes the wheel and hover on to the
// scrolling list around it, shares its parent's paint manager and joins the parent in order.
#pragma once

#include <string>

#include "ui/KuContainer.h"

namespace KUM {

inline void PassWheelAndHover(KuControl* control) {
  control->SetControlDispatch(UIEVENT_MOUSEWHEEL, true);
  control->SetControlDispatch(UIEVENT_MOUSELEAVE, true);
  control->SetControlDispatch(UIEVENT_MOUSEENTER, true);
}

template <typename T>
T* AddPart(KuContainer* parent, T* part) {
  PassWheelAndHover(part);
  part->SetManager(parent->GetManager());
  parent->Add(part);
  return part;
}

// "res='N' restype='PNG'" for a resource image.
inline std::wstring ResourceImage(int id) {
  return L"res='" + std::to_wstring(id) + L"' restype='PNG'";
}

}  // namespace KUM
