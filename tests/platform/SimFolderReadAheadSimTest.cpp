// Simulated folder walks read sub-folders ahead on other threads. What a search returns must
// not depend on that: the same entries in the same order, and nothing stale once the walk is
// over or the simulation itself has written to the tree.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/sim/SimFileSystem.h"
#include "tests/support/SimMachineFactory.h"

namespace rundix {
namespace {

using test::LoadSimMachine;

std::vector<std::wstring> Names(IFileSystem& files, const std::wstring& pattern) {
  std::vector<std::wstring> names;
  FindData data;
  FindHandle find = OwnFind(files, files.FindFirstFileW(pattern, &data));
  if (!find) return names;
  do {
    names.push_back(data.name);
  } while (files.FindNextFileW(find.get(), &data));
  return names;
}

std::wstring Line(const std::wstring& folder, const FindData& data) {
  uint64_t time = (static_cast<uint64_t>(data.lastWriteTime.dwHighDateTime) << 32) | data.lastWriteTime.dwLowDateTime;
  return folder + L"\\" + data.name + L" " + std::to_wstring(data.size) + L" " + std::to_wstring(time) + L" " +
         std::to_wstring(data.attributes);
}

// One line per entry, depth first. With `keepOpen` each folder's search stays open while its
// sub-folders are walked, as the junk scan does, so the read-ahead serves them; without, a
// folder's search is closed before its sub-folders are listed, so nothing is read ahead.
void Walk(IFileSystem& files, const std::wstring& folder, bool keepOpen, std::vector<std::wstring>* lines) {
  std::vector<FindData> later;
  {
    FindData data;
    FindHandle find = OwnFind(files, files.FindFirstFileW(folder + L"\\*.*", &data));
    if (!find) return;
    do {
      if (data.name == L"." || data.name == L"..") continue;
      if (!keepOpen) {
        later.push_back(data);
        continue;
      }
      lines->push_back(Line(folder, data));
      if (data.attributes & FILE_ATTRIBUTE_DIRECTORY) Walk(files, folder + L"\\" + data.name, true, lines);
    } while (files.FindNextFileW(find.get(), &data));
  }
  for (const FindData& data : later) {
    lines->push_back(Line(folder, data));
    if (data.attributes & FILE_ATTRIBUTE_DIRECTORY) Walk(files, folder + L"\\" + data.name, false, lines);
  }
}

// The helpers run on their own; a test that needs something read ahead waits for it.
bool WaitForReadAhead(SimFileSystem& files) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (files.ReadAheadListings() == 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(SimFolderWalk, AWalkSeesWhatFolderByFolderListingsSee) {
  std::string files;
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 5; ++b) {
      for (int f = 0; f < 6; ++f) {
        files += std::string(files.empty() ? "" : ",") + R"({"path":"C:\\T\\d)" + std::to_string(a) + R"(\\e)" +
                 std::to_string(b) + R"(\\f)" + std::to_string(f) + R"(.tmp","size":)" +
                 std::to_string(a * 1000 + b * 10 + f) + R"(,"mtime":)" + std::to_string(1600000000 + f) + "}";
      }
    }
  }
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[)" + files + "]}");
  std::vector<std::wstring> walked, listed;
  Walk(m->Files(), L"C:\\T", true, &walked);
  Walk(m->Files(), L"C:\\T", false, &listed);
  EXPECT_EQ(walked.size(), 4u + 20u + 120u);
  EXPECT_EQ(walked, listed);
  EXPECT_EQ(walked[2], L"C:\\T\\d0\\e0\\f0.tmp 0 " +
                           std::to_wstring((1600000000ULL + 11644473600ULL) * 10000000ULL) + L" 32");
  EXPECT_EQ(m->SimFiles().OpenHandleCount(), 0u);
  EXPECT_EQ(m->SimFiles().ReadAheadListings(), 0u);  // the walk is over: nothing kept
}

TEST(SimFolderWalk, NamesComeInUpperCaseOrderAsOnNtfsAndPatternsPickSome) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\N\\_x","text":""},{"path":"C:\\N\\b","text":""},
      {"path":"C:\\N\\A","text":""},{"path":"C:\\N\\Z","text":""},{"path":"C:\\N\\[y","text":""}]})");
  // '_' and '[' sort after the letters once these are upper case, before them in lower case.
  EXPECT_EQ(Names(m->Files(), L"C:\\N\\*"),
            (std::vector<std::wstring>{L".", L"..", L"A", L"b", L"Z", L"[y", L"_x"}));
  // A search for some names sees those alone, matched without regard to case.
  EXPECT_EQ(Names(m->Files(), L"C:\\N\\?x"), (std::vector<std::wstring>{L"_x"}));
  EXPECT_EQ(Names(m->Files(), L"C:\\N\\B"), (std::vector<std::wstring>{L"b"}));
}

TEST(SimFolderWalk, NothingReadAheadOutlivesTheWalkOrTheSimulationsOwnWrites) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\W\\sub\\old.txt","text":"1"}]})");
  SimFileSystem& sim = m->SimFiles();
  IFileSystem& files = m->Files();
  std::string hostSub = sim.HostPath(L"C:\\W\\sub");
  {
    // The walk is under way and has had "sub" read ahead; then the simulation writes into it.
    FindData data;
    FindHandle walk = OwnFind(files, files.FindFirstFileW(L"C:\\W\\*.*", &data));
    ASSERT_TRUE(walk);
    ASSERT_TRUE(WaitForReadAhead(sim));
    FileHandle created = OwnFile(files, files.CreateFileW(L"C:\\W\\sub\\new.txt", GENERIC_WRITE, 0, CREATE_NEW, 0));
    ASSERT_TRUE(created);
    EXPECT_EQ(Names(files, L"C:\\W\\sub\\*.*"), (std::vector<std::wstring>{L".", L"..", L"new.txt", L"old.txt"}));
  }
  {
    // Read ahead again, then the walk ends; a change made behind the simulation's back is seen.
    FindData data;
    FindHandle walk = OwnFind(files, files.FindFirstFileW(L"C:\\W\\*.*", &data));
    ASSERT_TRUE(walk);
    ASSERT_TRUE(WaitForReadAhead(sim));
  }
  EXPECT_EQ(sim.ReadAheadListings(), 0u);
  std::filesystem::remove(hostSub + "/old.txt");
  std::ofstream(hostSub + "/other.txt") << "22";
  FindData data;
  FindHandle sub = OwnFind(files, files.FindFirstFileW(L"C:\\W\\sub\\other.txt", &data));
  ASSERT_TRUE(sub);
  EXPECT_EQ(data.size, 2u);
  EXPECT_EQ(Names(files, L"C:\\W\\sub\\*.*"), (std::vector<std::wstring>{L".", L"..", L"new.txt", L"other.txt"}));
}

TEST(SimFolderWalk, LinksAreNotReadAheadSoALinkCycleEnds) {
  test::TempDir dir;
  auto m = LoadSimMachine(dir, R"({"files":[{"path":"C:\\L\\a\\f.txt","text":"x"},{"path":"C:\\L\\b\\g.txt","text":"y"}]})");
  SimFileSystem& sim = m->SimFiles();
  std::error_code ec;
  std::filesystem::create_directory_symlink(sim.HostPath(L"C:\\L"), sim.HostPath(L"C:\\L\\a") + "/loop", ec);
  ASSERT_FALSE(ec);
  // "loop" leads back to the start: it is listed as a linked folder, but only plain
  // sub-folders are offered for reading ahead.
  std::vector<std::string> subfolders;
  SimListing listing = ReadHostFolder(sim.HostPath(L"C:\\L\\a"), false, &subfolders);
  ASSERT_EQ(listing.entries.size(), 4u);
  EXPECT_EQ(listing.entries[3].name, L"loop");
  EXPECT_EQ(listing.entries[3].attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_TRUE(subfolders.empty());
  listing = ReadHostFolder(sim.HostPath(L"C:\\L"), false, &subfolders);
  EXPECT_EQ(subfolders, (std::vector<std::string>{sim.HostPath(L"C:\\L\\a"), sim.HostPath(L"C:\\L\\b")}));
  // A folder that is gone reports why.
  EXPECT_EQ(ReadHostFolder(sim.HostPath(L"C:\\L") + "/missing", false, nullptr).error, ENOENT);
}

}  // namespace
}  // namespace rundix
