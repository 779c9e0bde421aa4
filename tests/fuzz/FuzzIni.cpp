// INI files read through the machine's profile calls: the input is the file, then a few
// look-ups (keys, a number, a missing section, a value cut by a small buffer) that walk all
// of it.
#include <fstream>
#include <string>

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& sandbox = rundix::fuzz::Sandbox();
  rundix::Machine& machine = rundix::fuzz::SharedMachine();
  static const std::wstring kFile = L"C:\\fuzz.ini";
  {
    std::ofstream out(sandbox + "/machine/C/fuzz.ini", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  rundix::IProfile& profile = machine.Profile();
  profile.GetPrivateProfileStringW(L"Setting", L"Path", L"default", 260, kFile);
  profile.GetPrivateProfileIntW(L"Setting", L"LastRepairTime", -1, kFile);
  profile.GetPrivateProfileStringW(L"Missing", L"Path", L"", 260, kFile);
  profile.GetPrivateProfileStringW(L"Setting", L"Path", L"", 1, kFile);
  profile.GetPrivateProfileStringW(L"", L"", L"", 0, kFile);
  rundix::fuzz::ForgetRecordedCalls();
  return 0;
}
