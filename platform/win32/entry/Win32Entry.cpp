// The Windows entry point: the real machine; the command line and show command are unused.
#include "platform/ProgramEntry.h"
#include "platform/win32/Win32Machine.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  rundix::Win32Machine machine;
  return rundix::ProgramMain(instance, machine);
}
