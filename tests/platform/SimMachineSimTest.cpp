// The simulated machine itself: it must behave as Windows does where the program's logic
// depends on it, or the Linux tests prove nothing.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/Text.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"
#include "platform/sim/SimRegistry.h"
#include "platform/sim/SimRuntime.h"
#include "tests/support/SimMachineFactory.h"

namespace rundix {
namespace {

using test::LoadSimMachine;

TEST(SimDescription, BadDescriptionsAreRefusedWithAReason) {
  test::TempDir dir;
  const char* bad[] = {
      "{",                                       // not JSON
      "[]",                                      // not an object
      R"({"native_arch":"arm"})",                // unknown architecture
      R"({"registry":{"HKXX\\A":{"v":1}}})",     // unknown root
      R"({"registry":{"HKCU\\A":{"v":[1]}}})",   // value of no type
      R"({"registry":{"HKCU\\A":{"v":{"type":"REG_BINARY","hex":"0g"}}}})",
      R"({"files":[{"text":"no path"}]})",
      R"({"time":"noon"})",
      R"({"windows_dir":"Windows"})",
  };
  for (const char* json : bad) {
    std::string error;
    EXPECT_EQ(SimMachine::FromJson(json, dir.path(), &error), nullptr) << json;
    EXPECT_FALSE(error.empty()) << json;
  }
  // A date no file system holds is refused before it is converted to whole seconds (which
  // would overflow), not left to fail, or not, further on.
  for (const char* json : {R"({"files":[{"path":"C:\\far.txt","mtime":1.70962e+99}]})",
                           R"({"files":[{"path":"C:\\far.txt","mtime":-1e300}]})"}) {
    std::string error;
    EXPECT_EQ(SimMachine::FromJson(json, dir.path(), &error), nullptr) << json;
    EXPECT_NE(error.find("out of range"), std::string::npos) << error;
  }
}

TEST(SimDescription, NestingPastTheReadersLimitAndValuesOfAnotherTypeAreRefused) {
  test::TempDir dir;
  // Both used to end the process with an exception out of JsonCpp.
  const std::string bad[] = {
      R"({"registry":)" + std::string(100000, '['),
      R"({"files":[{"path":"C:\a.txt","size":"large"}]})",
      R"({"files":[{"path":"C:\a.txt","text":{"not":"text"}}]})",
  };
  for (const std::string& json : bad) {
    std::string error;
    EXPECT_EQ(SimMachine::FromJson(json, dir.path(), &error), nullptr) << json.substr(0, 60);
    EXPECT_FALSE(error.empty()) << json.substr(0, 60);
  }
}

TEST(SimRegistryViews, A64BitMachineRedirectsSoftwareForThe32BitView) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"native_arch":"x64","registry":{
      "HKLM\\SOFTWARE\\Vendor":{"where":"64"},
      "HKLM\\SOFTWARE\\Wow6432Node\\Vendor":{"where":"32"}}})");
  IRegistry& reg = m->Registry();
  auto where = [&](REGSAM flags) {
    RegKey key = OpenRegKey(reg, HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor", KEY_READ | flags);
    return key ? QueryRegString(reg, key.get(), L"where", 64).value_or(L"?") : L"none";
  };
  EXPECT_EQ(where(0), L"32");  // what a 32-bit program sees without a flag
  EXPECT_EQ(where(KEY_WOW64_32KEY), L"32");
  EXPECT_EQ(where(KEY_WOW64_64KEY), L"64");
  EXPECT_EQ(m->SimReg().OpenHandleCount(), 0u);
}

TEST(SimRegistryViews, A32BitMachineHasOneView) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"native_arch":"x86","registry":{"HKLM\\SOFTWARE\\Vendor":{"where":"only"}}})");
  for (REGSAM flags : {0u, 0x100u, 0x200u}) {
    RegKey key = OpenRegKey(m->Registry(), HKEY_LOCAL_MACHINE, L"SOFTWARE\\Vendor", KEY_READ | flags);
    ASSERT_TRUE(key);
    EXPECT_EQ(QueryRegString(m->Registry(), key.get(), L"where", 64), L"only");
  }
}

TEST(SimRegistryValues, SizeQueriesAndShortBuffersFollowWindows) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"registry":{"HKCU\\K":{"s":"abc","raw":{"type":"REG_BINARY","hex":"01 02 03"}}}})");
  IRegistry& reg = m->Registry();
  RegKey key = OpenRegKey(reg, HKEY_CURRENT_USER, L"K", KEY_QUERY_VALUE);
  ASSERT_TRUE(key);
  DWORD type = 0, size = 0;
  ASSERT_EQ(reg.RegQueryValueExW(key.get(), L"s", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 8u);  // three characters and the terminator
  BYTE small[4];
  size = sizeof(small);
  EXPECT_EQ(reg.RegQueryValueExW(key.get(), L"s", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  BYTE raw[3];
  size = sizeof(raw);
  ASSERT_EQ(reg.RegQueryValueExW(key.get(), L"raw", &type, raw, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(raw[2], 3);
}

TEST(SimFiles, PathsIgnoreCaseAndSystem32IsRedirectedFor32BitPrograms) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"native_arch":"x64","files":[
      {"path":"C:\\Windows\\System32\\msvcr100.dll","text":"native"},
      {"path":"C:\\Windows\\SysWOW64\\MSVCR100.DLL","text":"wow"},
      {"path":"C:\\Windows\\System32\\LogFiles\\a.log","text":"log"}]})");
  IFileSystem& files = m->Files();
  auto read = [&](const std::wstring& path) {
    FileHandle f = OwnFile(files, files.CreateFileW(path, GENERIC_READ, 1, OPEN_EXISTING, 0));
    char buffer[16] = {};
    DWORD n = 0;
    if (!f || !files.ReadFile(f.get(), buffer, sizeof(buffer), &n)) return std::string("<none>");
    return std::string(buffer, n);
  };
  EXPECT_EQ(read(L"c:\\windows\\system32\\msvcr100.dll"), "wow");
  EXPECT_EQ(read(L"C:\\Windows\\SysNative\\MSVCR100.dll"), "native");
  EXPECT_EQ(read(L"C:/Windows/System32/LogFiles/A.LOG"), "log");  // exempt folder
  EXPECT_EQ(read(L"C:\\Windows\\System32\\nothing.dll"), "<none>");
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\Windows\\System32\\msvcr100.dll"), "native");
  EXPECT_TRUE(IsExistingFile(files, L"C:\\WINDOWS\\system32\\msvcr100.dll"));
  EXPECT_TRUE(IsExistingFolder(files, L"C:\\Windows\\"));
  EXPECT_FALSE(IsExistingFile(files, L"relative\\path.dll"));
}

TEST(SimFiles, StandardFoldersAreThereWhateverTheAccessRules) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"native_arch":"x64","read_only":["C:\\Users","C:\\Windows"],
      "special_folders":{"common_appdata":"D:\\ProgramData"}})");
  IFileSystem& files = m->Files();
  for (const wchar_t* folder : {L"C:\\Windows\\System32", L"C:\\Windows\\SysNative",
                                L"C:\\Users\\user\\AppData\\Local\\Temp", L"C:\\Users\\user\\AppData\\Roaming"}) {
    EXPECT_TRUE(IsExistingFolder(files, folder)) << std::wstring(folder).size();
  }
  // The rules still hold for the program, and making them recorded nothing.
  EXPECT_FALSE(files.CreateDirectoryW(L"C:\\Users\\user\\New"));
  EXPECT_TRUE(m->Journal().EventsOfKind("create_directory").empty());
  // No drive D: then no folder on it either.
  EXPECT_FALSE(IsExistingFolder(files, L"D:\\"));

  test::TempDir dir32;
  auto x86 = LoadSimMachine(dir32, R"({"native_arch":"x86"})");
  EXPECT_TRUE(IsExistingFolder(x86->Files(), L"C:\\Windows\\System32"));
  EXPECT_TRUE(IsExistingFolder(x86->Files(), L"C:\\ProgramData"));
  EXPECT_FALSE(IsExistingFolder(x86->Files(), L"C:\\Windows\\SysWOW64"));
}

TEST(SimFiles, DotsSeparatorsAndPrefixesNameTheSameFile) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"native_arch":"x64","standard_folders":false,"files":[
      {"path":"C:\\Data\\a.txt","text":"a"},
      {"path":"C:\\top.txt","text":"top"},
      {"path":"C:\\Windows\\System32\\catroot2\\c.cat","text":"exempt"},
      {"path":"C:\\Windows\\SysWOW64\\catroot2x\\c.cat","text":"redirected"},
      {"path":"C:\\Windows\\System32x\\d.dll","text":"not system32"}]})");
  SimFileSystem& sim = m->SimFiles();
  using View = SimFileSystem::View;
  for (const wchar_t* same : {L"c:\\data\\a.txt", L"C:/Data//a.txt", L"C:\\Data\\.\\a.txt",
                              L"C:\\Other\\..\\Data\\a.txt", L"\\\\?\\C:\\Data\\a.txt", L"C:Data\\a.txt"}) {
    EXPECT_EQ(sim.GetFile(same, View::kProgram), "a") << std::wstring(same).size();
  }
  // ".." stops at the root.
  EXPECT_EQ(sim.GetFile(L"C:\\..\\..\\top.txt", View::kProgram), "top");
  EXPECT_EQ(sim.GetFile(L"C:\\Data\\..\\..\\top.txt", View::kProgram), "top");
  EXPECT_EQ(sim.HostPath(L"Data\\a.txt"), "");
  EXPECT_EQ(sim.HostPath(L"1:\\Data\\a.txt"), "");
  // Redirection goes by whole folder names only.
  EXPECT_EQ(sim.GetFile(L"C:\\Windows\\System32\\CatRoot2\\c.cat", View::kProgram), "exempt");
  EXPECT_EQ(sim.GetFile(L"C:\\Windows\\System32\\catroot2x\\c.cat", View::kProgram), "redirected");
  EXPECT_EQ(sim.GetFile(L"C:\\Windows\\System32x\\d.dll", View::kProgram), "not system32");
  EXPECT_EQ(sim.HostPath(L"C:\\Windows\\SysNative"), sim.HostPath(L"C:\\Windows\\System32", View::kNative));
  EXPECT_EQ(sim.HostPath(L"C:\\Windows\\SYSTEM32"), sim.HostPath(L"C:\\Windows\\SysWOW64", View::kNative));
}

TEST(SimFiles, NamesMatchWholeInAnyCaseAndFolderTreesReuseWhatIsThere) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"standard_folders":false,"files":[
      {"path":"C:\\Data\\LogFiles\\a.log","text":"log"},
      {"path":"C:\\Data\\Log","text":"plain file"},
      {"path":"C:\\Data\\\u00c4rger\\\u00dcbel.txt","text":"umlaut"}]})");
  IFileSystem& files = m->Files();
  EXPECT_EQ(m->SimFiles().GetFile(L"c:\\DATA\\logfiles\\A.LOG"), "log");
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\data\\LOG"), "plain file");
  EXPECT_FALSE(IsExistingFolder(files, L"C:\\Data\\LogFile"));
  EXPECT_FALSE(IsExistingFolder(files, L"C:\\Data\\LogFilesX"));
  // Names beyond ASCII are still found, with the ASCII around them in another case.
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\DATA\\\u00c4rger\\\u00dcbel.TXT"), "umlaut");

  // A tree made below folders written in another case goes into them, not beside them.
  m->Journal().Clear();
  ASSERT_TRUE(CreateFolderTree(files, L"C:\\DATA\\logfiles\\New\\Deeper\\Deepest"));
  EXPECT_EQ(m->Journal().EventsOfKind("create_directory").size(), 3u);
  FindData data;
  FindHandle find = OwnFind(files, files.FindFirstFileW(L"C:\\*", &data));
  ASSERT_TRUE(find);
  std::vector<std::wstring> top;
  do {
    if (data.name != L"." && data.name != L"..") top.push_back(data.name);
  } while (files.FindNextFileW(find.get(), &data));
  EXPECT_EQ(top, std::vector<std::wstring>{L"Data"});
  EXPECT_TRUE(IsExistingFolder(files, L"C:\\Data\\LogFiles\\new\\deeper\\DEEPEST"));
  // A level that is a file stops the tree there.
  EXPECT_FALSE(CreateFolderTree(files, L"C:\\Data\\Log\\Sub\\Deeper"));
  EXPECT_FALSE(IsExistingFolder(files, L"C:\\Data\\Log\\Sub"));
}

TEST(SimFiles, FindListsDotsThenEntriesWithSizesAndTimes) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[
      {"path":"C:\\J\\b.tmp","size":3000000000,"mtime":1700000000},
      {"path":"C:\\J\\A.log","text":"hello","mtime":86400},
      {"path":"C:\\J\\sub\\c.txt","text":""}]})");
  IFileSystem& files = m->Files();
  FindData data;
  FindHandle find = OwnFind(files, files.FindFirstFileW(L"C:\\J\\*.*", &data));
  ASSERT_TRUE(find);
  std::vector<FindData> entries{data};
  while (files.FindNextFileW(find.get(), &data)) entries.push_back(data);
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, L".");
  EXPECT_EQ(entries[1].name, L"..");
  EXPECT_EQ(entries[2].name, L"A.log");
  EXPECT_EQ(entries[2].size, 5u);
  uint64_t ticks = (static_cast<uint64_t>(entries[2].lastWriteTime.dwHighDateTime) << 32) |
                   entries[2].lastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks / 10000000ULL - 11644473600ULL, 86400u);
  EXPECT_EQ(entries[3].name, L"b.tmp");
  EXPECT_EQ(entries[3].size, 3000000000ULL);
  EXPECT_EQ(entries[4].name, L"sub");
  EXPECT_NE(entries[4].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  find.reset();
  EXPECT_EQ(m->SimFiles().OpenHandleCount(), 0u);

  EXPECT_EQ(files.FindFirstFileW(L"C:\\Nowhere\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(SimFiles, ReadOnlyAndUnlistableFoldersAreDenied) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"folders":["C:\\Locked\\Inner","C:\\Secret"],
      "read_only":["C:\\Locked"],"unlistable":["C:\\Secret"]})");
  IFileSystem& files = m->Files();
  EXPECT_FALSE(files.CreateDirectoryW(L"C:\\Locked\\New"));
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(files.CreateFileW(L"C:\\Locked\\Inner\\f", GENERIC_WRITE, 0, CREATE_ALWAYS, 0),
            INVALID_HANDLE_VALUE);
  FindData data;
  EXPECT_EQ(files.FindFirstFileW(L"C:\\Secret\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(files.CreateDirectoryW(L"C:\\Secret"));
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST(SimFiles, FilesAreCreatedReplacedAndReadBack) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, "{}");
  IFileSystem& files = m->Files();
  EXPECT_EQ(files.CreateFileW(L"C:\\NoFolder\\x.bin", GENERIC_WRITE, 3, CREATE_ALWAYS, 0x80),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  for (const char* content : {"first version", "2nd"}) {
    FileHandle f = OwnFile(files, files.CreateFileW(L"C:\\x.bin", GENERIC_WRITE, 3, CREATE_ALWAYS, 0x80));
    ASSERT_TRUE(f);
    DWORD written = 0;
    ASSERT_TRUE(files.WriteFile(f.get(), content, static_cast<DWORD>(strlen(content)), &written));
  }
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\X.BIN"), "2nd");
  EXPECT_EQ(m->Journal().EventsOfKind("create_file").size(), 2u);
}

TEST(SimProfile, ReadsWindowsStyleIniFiles) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\p.ini","text":
      "; comment\r\n[Other]\r\nphone=other\r\n[CONFIG]\r\n  Phone = \"13800\" \r\nlast_xiufu_time=-5x\r\nhex=0x10\r\n"}]})");
  IProfile& ini = m->Profile();
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"config", L"phone", L"", 260, L"C:\\p.ini"), L"13800");
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"config", L"phone", L"", 4, L"C:\\p.ini"), L"138");
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"config", L"none", L"dflt", 260, L"C:\\p.ini"), L"dflt");
  EXPECT_EQ(static_cast<INT>(ini.GetPrivateProfileIntW(L"config", L"last_xiufu_time", 9, L"C:\\p.ini")), -5);
  EXPECT_EQ(ini.GetPrivateProfileIntW(L"config", L"hex", 0, L"C:\\p.ini"), 16u);
  EXPECT_EQ(ini.GetPrivateProfileIntW(L"config", L"absent", 42, L"C:\\p.ini"), 42u);
  EXPECT_EQ(ini.GetPrivateProfileIntW(L"config", L"x", 3, L"C:\\missing.ini"), 3u);
}

TEST(SimProfile, LineEndsOfEitherKindAndALastLineWithoutOne) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\p.ini","text":"[a]\nk = v1\n\n[b]\r\nk='v2'"}]})");
  IProfile& ini = m->Profile();
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"A", L"K", L"", 260, L"C:\\p.ini"), L"v1");
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"b", L"k", L"", 260, L"C:\\p.ini"), L"v2");
  ASSERT_TRUE(ini.WritePrivateProfileStringW(L"b", L"j", L"3", L"C:\\p.ini"));
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\p.ini"), "[a]\r\nk = v1\r\n\r\n[b]\r\nk='v2'\r\nj=3\r\n");
}

TEST(SimProfile, ReadsFollowTheFileAsItChanges) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\a.ini","text":"[s]\r\nk=1\r\n"},
      {"path":"C:\\b.ini","text":"[s]\r\nk=2\r\n"}]})");
  IProfile& ini = m->Profile();
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(ini.GetPrivateProfileStringW(L"s", L"k", L"", 260, L"C:\\a.ini"), L"1");
    EXPECT_EQ(ini.GetPrivateProfileStringW(L"s", L"k", L"", 260, L"C:\\b.ini"), L"2");
  }
  // Rewritten behind the profile's back, same size and all.
  ASSERT_TRUE(m->SimFiles().PutFile(L"C:\\a.ini", "[s]\r\nk=7\r\n"));
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"s", L"k", L"", 260, L"C:\\a.ini"), L"7");
  ASSERT_TRUE(ini.WritePrivateProfileStringW(L"s", L"k", L"8", L"C:\\a.ini"));
  EXPECT_EQ(ini.GetPrivateProfileIntW(L"s", L"k", 0, L"C:\\a.ini"), 8u);
  ASSERT_TRUE(m->SimFiles().PutFile(L"C:\\a.ini", ""));
  EXPECT_EQ(ini.GetPrivateProfileStringW(L"s", L"k", L"gone", 260, L"C:\\a.ini"), L"gone");
}

TEST(SimProfile, WritesKeepOtherLinesAndReplaceValuesInPlace) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\p.ini","text":"[config]\r\nphone=1\r\nkeep=yes\r\n[tail]\r\nz=1\r\n"}]})");
  IProfile& ini = m->Profile();
  ASSERT_TRUE(ini.WritePrivateProfileStringW(L"Config", L"PHONE", L"2", L"C:\\p.ini"));
  ASSERT_TRUE(ini.WritePrivateProfileStringW(L"config", L"last_xiufu_time", L"100", L"C:\\p.ini"));
  ASSERT_TRUE(ini.WritePrivateProfileStringW(L"new", L"k", L"v", L"C:\\p.ini"));
  EXPECT_EQ(m->SimFiles().GetFile(L"C:\\p.ini"),
            "[config]\r\nPHONE=2\r\nkeep=yes\r\nlast_xiufu_time=100\r\n[tail]\r\nz=1\r\n[new]\r\nk=v\r\n");
  EXPECT_FALSE(ini.WritePrivateProfileStringW(L"a", L"b", L"c", L"C:\\NoFolder\\p.ini"));
}

TEST(SimRuntime, RandFollowsTheWindowsRuntimeAndLocalTimeTheZone) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"time":1709618829,"time_zone_minutes":480})");
  IRuntime& rt = m->Runtime();
  rt.Srand(1);
  EXPECT_EQ(rt.Rand(), 41);
  EXPECT_EQ(rt.Rand(), 18467);
  EXPECT_EQ(rt.Rand(), 6334);
  EXPECT_EQ(rt.Time(), 1709618829);
  std::tm local{};
  ASSERT_TRUE(rt.LocalTime(rt.Time(), &local));
  EXPECT_EQ(FormatTimeWide(L"%Y-%m-%d %H:%M:%S\n", local, 64), L"2024-03-05 14:07:09\n");
  EXPECT_EQ(FormatTimeWide(L"%Y-%m-%d %H:%M:%S\n", local, 10), L"");
}

}  // namespace
}  // namespace rundix
