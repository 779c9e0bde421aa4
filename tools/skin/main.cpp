// rundix-skin: previews and inspects one section of a skin document.
//   rundix-skin (SKIN.xml | --builtin) [--section NAME] [--size W,H] [--app] [--fields]
//               [--steps STEPS.json] [--png OUT.png] [--watch]
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/Raster.h"
#include "tools/skin/SkinSession.h"

namespace {

int Usage(std::ostream& out) {
  out << "usage: rundix-skin (SKIN.xml | --builtin) [--section NAME] [--size W,H] [--app] [--fields]\n"
         "                   [--steps STEPS.json] [--png OUT.png] [--watch]\n"
         "  SKIN.xml          a skin document (UTF-8 as edited, or GBK as stored)\n"
         "  --builtin         the skin compiled into the program\n"
         "  --section NAME    the Window section to build (default: the document's first element)\n"
         "  --size W,H        the client size (default: the section's size, else its mininfo)\n"
         "  --app             the program's own elements (CheckResult, LeftOption) are built\n"
         "  --fields          every attribute value of every control in each tree\n"
         "  --steps FILE      a JSON array of input and calls to replay (docs/skin.md)\n"
         "  --png FILE        writes what the window shows after the steps\n"
         "  --watch           Windows, on screen: rebuilds when the skin file changes\n"
         "Prints JSON lines: window, notify, tree, manager, hittest, error.\n";
  return 2;
}

// "W,H" with both from 1 to 16384 and no more pixels than a bitmap may hold.
bool ParseSize(const std::string& text, SIZE* size) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return false;
  const std::string w = text.substr(0, comma);
  const std::string h = text.substr(comma + 1);
  auto number = [](const std::string& s, LONG* value) {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::atoi(s.c_str());
    return *value >= 1 && *value <= 16384;
  };
  return number(w, &size->cx) && number(h, &size->cy) &&
         int64_t{size->cx} * size->cy <= rundix::kMaxBitmapPixels;
}

}  // namespace

int main(int argc, char** argv) {
  rundix::skin::SkinOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--builtin") {
      options.builtin = true;
    } else if (arg == "--app") {
      options.app = true;
    } else if (arg == "--fields") {
      options.fields = true;
    } else if (arg == "--watch") {
      options.watch = true;
    } else if (arg == "--section" && hasValue) {
      options.section = argv[++i];
    } else if (arg == "--size" && hasValue) {
      SIZE size{0, 0};
      if (!ParseSize(argv[++i], &size)) {
        std::cerr << "rundix-skin: --size takes W,H (1 to 16384 each, at most 64 Mi pixels)\n";
        return Usage(std::cerr);
      }
      options.size = size;
    } else if (arg == "--steps" && hasValue) {
      options.stepsPath = argv[++i];
    } else if (arg == "--png" && hasValue) {
      options.pngPath = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      Usage(std::cout);
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::cerr << "rundix-skin: unknown option or missing value: " << arg << "\n";
      return Usage(std::cerr);
    } else if (options.skinPath.empty()) {
      options.skinPath = arg;
    } else {
      std::cerr << "rundix-skin: more than one skin file\n";
      return Usage(std::cerr);
    }
  }
  if (options.builtin == !options.skinPath.empty()) {
    std::cerr << "rundix-skin: give a skin file or --builtin\n";
    return Usage(std::cerr);
  }
  if (options.watch && (options.builtin || !options.pngPath.empty() || !rundix::skin::HasScreen())) {
    std::cerr << "rundix-skin: --watch shows a skin file's window on screen (Windows, without --png)\n";
    return Usage(std::cerr);
  }
  return rundix::skin::RunSkinSession(options, std::cout);
}
