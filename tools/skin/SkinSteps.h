// The steps file of rundix-skin: a JSON array of input and calls replayed in order, each an
// object whose "step" names what it does ({"step": "lbutton_down", "pt": [10, 20]}).
#pragma once

#include <string>
#include <vector>

#include <json/json.h>

#include "platform/WindowTypes.h"

namespace rundix::skin {

struct Step {
  std::string kind;  // "mouse_move", "wheel", "call", ...
  POINT pt{0, 0};
  int delta = 0;       // wheel
  UINT vk = 0;         // key_down
  bool shift = false;  // key_down
  wchar_t ch = 0;      // char
  DWORD ms = 0;        // advance
  std::wstring name;   // call: the control's name, or
  UINT id = 0;         // its id when it has no name
  std::string method;  // call
  Json::Value args{Json::arrayValue};  // call, checked against the method
};

// Reads and checks a whole steps file; false with a message naming the bad step otherwise.
bool ParseSteps(const std::string& text, std::vector<Step>* steps, std::string* error);

}  // namespace rundix::skin
