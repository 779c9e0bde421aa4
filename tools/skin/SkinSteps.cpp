#include "tools/skin/SkinSteps.h"

#include <memory>
#include <set>

#include "platform/Text.h"

namespace rundix::skin {

namespace {

// Client coordinates fit in the 16-bit halves of a mouse message's lParam.
bool ReadPoint(const Json::Value& value, POINT* pt) {
  if (!value.isArray() || value.size() != 2 || !value[0].isInt() || !value[1].isInt()) return false;
  const int x = value[0].asInt();
  const int y = value[1].asInt();
  if (x < -32768 || x > 32767 || y < -32768 || y > 32767) return false;
  *pt = POINT{x, y};
  return true;
}

// The arguments each callable method takes: "b" boolean, "i" integer, "s" string.
const char* MethodArgs(const std::string& method) {
  static const std::pair<const char*, const char*> kMethods[] = {
      {"SetVisible", "b"}, {"SetEnabled", "b"}, {"Selected", "b"},   {"SetFocus", ""},
      {"SetText", "s"},    {"LineUp", ""},      {"LineDown", ""},    {"PageUp", ""},
      {"PageDown", ""},    {"HomeUp", ""},      {"EndDown", ""},     {"SetScrollPos", "ii"},
      {"SetRange", "ii"},  {"SetPos", "i"},     {"SetStep", "i"}};
  for (const auto& [name, args] : kMethods) {
    if (method == name) return args;
  }
  return nullptr;
}

bool ArgsMatch(const Json::Value& args, const char* kinds) {
  const std::string k = kinds;
  if (!args.isArray() || args.size() != k.size()) return false;
  for (Json::ArrayIndex i = 0; i < args.size(); ++i) {
    const Json::Value& a = args[i];
    if ((k[i] == 'b' && !a.isBool()) || (k[i] == 'i' && !a.isInt()) || (k[i] == 's' && !a.isString())) {
      return false;
    }
  }
  return true;
}

std::string Describe(const char* kinds) {
  std::string out = "[";
  for (const char* k = kinds; *k != 0; ++k) {
    if (k != kinds) out += ", ";
    out += *k == 'b' ? "boolean" : *k == 'i' ? "integer" : "string";
  }
  return out + "]";
}

bool ParseOne(const Json::Value& v, Step* step, std::string* why) {
  if (!v.isObject()) {
    *why = "is not an object";
    return false;
  }
  if (!v["step"].isString()) {
    *why = "has no \"step\" name";
    return false;
  }
  step->kind = v["step"].asString();
  const std::string& k = step->kind;
  static const std::set<std::string> kWithPoint = {"mouse_move", "lbutton_down", "lbutton_up",
                                                    "lbutton_dblclk", "wheel", "set_cursor",
                                                    "nchittest"};
  static const std::set<std::string> kPlain = {"mouse_leave", "maximize", "restore", "paint", "dump"};
  if (kWithPoint.count(k) != 0) {
    if (!ReadPoint(v["pt"], &step->pt)) {
      *why = "needs \"pt\": [x, y] (integers, client coordinates)";
      return false;
    }
    if (k == "wheel") {
      if (!v["delta"].isInt() || v["delta"].asInt() < -32768 || v["delta"].asInt() > 32767) {
        *why = "needs \"delta\": an integer (120 a notch up, -120 down)";
        return false;
      }
      step->delta = v["delta"].asInt();
    }
    return true;
  }
  if (kPlain.count(k) != 0) return true;
  if (k == "key_down") {
    if (!v["vk"].isUInt() || v["vk"].asUInt() == 0 || v["vk"].asUInt() > 0xFE) {
      *why = "needs \"vk\": a virtual-key number from 1 to 254";
      return false;
    }
    if (v.isMember("shift") && !v["shift"].isBool()) {
      *why = "has a \"shift\" that is not a boolean";
      return false;
    }
    step->vk = v["vk"].asUInt();
    step->shift = v.get("shift", false).asBool();
    return true;
  }
  if (k == "char") {
    std::wstring text = v["char"].isString() ? WideFromUtf8(v["char"].asString()) : std::wstring();
    if (text.size() != 1) {
      *why = "needs \"char\": a string of one character";
      return false;
    }
    step->ch = text[0];
    return true;
  }
  if (k == "advance") {
    if (!v["ms"].isUInt() || v["ms"].asUInt() > 3600000) {
      *why = "needs \"ms\": milliseconds from 0 to 3600000";
      return false;
    }
    step->ms = v["ms"].asUInt();
    return true;
  }
  if (k == "call") {
    const bool byName = v["name"].isString() && !v["name"].asString().empty();
    const bool byId = v["id"].isUInt() && v["id"].asUInt() != 0;
    if (byName == byId) {
      *why = "needs either \"name\" (the control's name) or \"id\" (its number)";
      return false;
    }
    if (!v["method"].isString() || MethodArgs(v["method"].asString()) == nullptr) {
      *why = "needs \"method\": one of SetVisible, SetEnabled, Selected, SetFocus, SetText, LineUp, "
             "LineDown, PageUp, PageDown, HomeUp, EndDown, SetScrollPos, SetRange, SetPos, SetStep";
      return false;
    }
    if (byName) step->name = WideFromUtf8(v["name"].asString());
    if (byId) step->id = v["id"].asUInt();
    step->method = v["method"].asString();
    const char* kinds = MethodArgs(step->method);
    Json::Value args = v.isMember("args") ? v["args"] : Json::Value(Json::arrayValue);
    if (!ArgsMatch(args, kinds)) {
      *why = "calls " + step->method + " with \"args\" other than " + Describe(kinds);
      return false;
    }
    step->args = args;
    return true;
  }
  *why = "names an unknown step \"" + k + "\"";
  return false;
}

}  // namespace

bool ParseSteps(const std::string& text, std::vector<Step>* steps, std::string* error) {
  steps->clear();
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
    while (!errors.empty() && (errors.back() == '\n' || errors.back() == ' ')) errors.pop_back();
    *error = "steps file is not JSON: " + errors;
    return false;
  }
  if (!root.isArray()) {
    *error = "steps file is not a JSON array";
    return false;
  }
  for (Json::ArrayIndex i = 0; i < root.size(); ++i) {
    Step step;
    std::string why;
    if (!ParseOne(root[i], &step, &why)) {
      *error = "step " + std::to_string(i) + " " + why;
      steps->clear();
      return false;
    }
    steps->push_back(std::move(step));
  }
  return true;
}

}  // namespace rundix::skin
