// One run of rundix-skin: the skin built in a window of the UI library on a window thread of
// its own (which runs the library's message loop, as the program's does), the steps replayed
// through the window driver, the window shown on screen or captured to a PNG.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "platform/WindowTypes.h"

namespace rundix::skin {

struct SkinOptions {
  std::string skinPath;                // empty with builtin
  bool builtin = false;                // the skin compiled into the program
  std::optional<std::string> section;  // a Window by name; none: the document's first element
  std::optional<SIZE> size;            // the client size; none: the section's size or mininfo
  bool app = false;                    // the program's builder callback
  bool fields = false;                 // every attribute value of every control
  std::string stepsPath;
  std::string pngPath;
  bool watch = false;
};

// The client size when neither --size nor the section's size or mininfo gives one.
constexpr SIZE kFallbackSize{800, 600};

// Prints the JSON lines; returns the exit status (0, or 1 after an error line).
int RunSkinSession(const SkinOptions& options, std::ostream& out);

// The platform's part (SkinPlatform_*.cpp): stops the simulated clock on Linux so timers
// fire only when a step lets time pass; nothing on Windows, where time is real.
void UseTestClock();
// Whether a window can be shown to a person (Windows) rather than only captured (Linux).
bool HasScreen();

}  // namespace rundix::skin
