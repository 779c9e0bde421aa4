// What rundix-skin prints about a built window, as JSON values read through the library's
// own calls: control references, the window attributes, the tree, the manager's state and,
// on request, every attribute value a control holds.
#pragma once

#include <mutex>
#include <ostream>
#include <string>

#include <json/json.h>

#include "ui/KuControl.h"
#include "ui/KuPaintManager.h"

namespace rundix::skin {

// One JSON value a line, from any thread.
class JsonLines {
 public:
  explicit JsonLines(std::ostream& out);
  void Write(const Json::Value& value);
  // {"error": message}
  void Error(const std::string& message);

 private:
  std::mutex mutex_;
  std::ostream& out_;
  Json::StreamWriterBuilder builder_;
};

// {"path": [child indices from the root], "name": "..."}, or for a container's scroll bar
// {"scrollbar": "vertical"|"horizontal", "owner": ref}; null for no control. A control that is
// not in the root's tree has a null path.
Json::Value RefOf(KUM::KuControl* control, KUM::KuControl* root);

// The window attributes as the paint manager holds them, with its fonts and default lists.
Json::Value WindowJson(KUM::KuPaintManager& manager);
// Every control of the tree in tree order (each container before its children).
Json::Value TreeJson(KUM::KuPaintManager& manager, bool withFields);
// Focus, hover, click, the last cursor and the selected option of each group.
Json::Value ManagerJson(KUM::KuPaintManager& manager);
// The class id, the interface ids and every value the control's attributes set.
Json::Value FieldsJson(KUM::KuControl& control);

// #AARRGGBB
std::string ColourText(ARGB colour);
// The name of a WM_NCHITTEST answer ("HTCAPTION"), or its number as text.
std::string HitTestName(long code);

}  // namespace rundix::skin
