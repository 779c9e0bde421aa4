// INI files on the simulated file system with the rules of the Win32 profile functions:
// section and key names without regard to letter case, values trimmed of blanks and of one
// pair of surrounding quotes, existing lines kept in place when a value is written.
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/Text.h"
#include "platform/sim/SimFileSystem.h"
#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

std::wstring_view Trim(std::wstring_view s) {
  size_t b = s.find_first_not_of(L" \t\r\n");
  if (b == std::wstring_view::npos) return {};
  size_t e = s.find_last_not_of(L" \t\r\n");
  return s.substr(b, e - b + 1);
}

// File text as lines: UTF-16LE with a BOM, else UTF-8 (a BOM is dropped). The lines are views
// into the text: every profile call reads the whole file again, and a line apiece would
// allocate that many strings each time.
class IniText {
 public:
  explicit IniText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
      text_ = WideFromUtf16Le(bytes.data() + 2, bytes.size() - 2);
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      text_ = WideFromUtf8(bytes.substr(3));
    } else {
      text_ = WideFromUtf8(bytes);
    }
    std::wstring_view text(text_);
    size_t start = 0;
    while (start < text.size()) {
      size_t newline = text.find(L'\n', start);
      if (newline == std::wstring_view::npos) {
        lines_.push_back(text.substr(start));
        break;
      }
      size_t length = newline - start;
      if (length > 0 && text[newline - 1] == L'\r') --length;
      lines_.push_back(text.substr(start, length));
      start = newline + 1;
    }
  }
  IniText(const IniText&) = delete;
  IniText& operator=(const IniText&) = delete;

  const std::vector<std::wstring_view>& Lines() const { return lines_; }

 private:
  std::wstring text_;
  std::vector<std::wstring_view> lines_;
};

bool IsSection(std::wstring_view line, std::wstring_view* name) {
  std::wstring_view t = Trim(line);
  if (t.size() < 2 || t.front() != L'[') return false;
  size_t close = t.find(L']');
  if (close == std::wstring_view::npos) return false;
  if (name) *name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsKey(std::wstring_view line, const std::wstring& key, std::wstring_view* value) {
  size_t eq = line.find(L'=');
  if (eq == std::wstring_view::npos) return false;
  if (!EqualsNoCase(Trim(line.substr(0, eq)), key)) return false;
  if (value) *value = Trim(line.substr(eq + 1));
  return true;
}

class SimProfile final : public IProfile {
 public:
  explicit SimProfile(SimMachine& machine) : machine_(machine) {}

  std::wstring GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& defaultValue, DWORD bufferChars,
                                        const std::wstring& path) override {
    if (bufferChars == 0) return {};
    std::wstring result(Trim(defaultValue));
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto bytes = machine_.SimFiles().GetFile(path, SimFileSystem::View::kProgram)) {
      bool inSection = false;
      for (std::wstring_view line : Decoded(*bytes).Lines()) {
        std::wstring_view name;
        if (IsSection(line, &name)) {
          inSection = EqualsNoCase(name, section);
          continue;
        }
        std::wstring_view value;
        if (inSection && IsKey(line, key, &value)) {
          if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
              value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
          }
          result = value;
          break;
        }
      }
    }
    if (result.size() > bufferChars - 1) result.resize(bufferChars - 1);
    return result;
  }

  UINT GetPrivateProfileIntW(const std::wstring& section, const std::wstring& key, INT defaultValue,
                             const std::wstring& path) override {
    const std::wstring missing = L"\x1F<none>";
    std::wstring text = GetPrivateProfileStringW(section, key, missing, 260, path);
    if (text == missing) return static_cast<UINT>(defaultValue);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    int base = 10;
    if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
      base = 16;
      i += 2;
    }
    uint32_t value = 0;
    for (; i < text.size(); ++i) {
      int digit;
      wchar_t c = text[i];
      if (c >= L'0' && c <= L'9') digit = c - L'0';
      else if (base == 16 && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
      else if (base == 16 && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
      else break;
      value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    return negative ? static_cast<UINT>(0u - value) : value;
  }

  BOOL WritePrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& value, const std::wstring& path) override {
    SimFileSystem& files = machine_.SimFiles();
    std::lock_guard<std::mutex> lock(mutex_);
    std::string host = files.HostPath(path);
    std::wstring folder = path.substr(0, path.find_last_of(L"\\/") == std::wstring::npos
                                             ? 0
                                             : path.find_last_of(L"\\/"));
    if (host.empty() || !files.IsWritable(path) || !IsExistingFolder(files, folder)) {
      SimLastError() = host.empty() || !files.IsWritable(path) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
      return FALSE;
    }
    std::vector<std::wstring> lines;
    if (auto bytes = files.GetFile(path, SimFileSystem::View::kProgram)) {
      IniText ini(*bytes);
      lines.assign(ini.Lines().begin(), ini.Lines().end());
    }
    std::wstring newLine = key + L"=" + value;
    bool inSection = false;
    bool sectionFound = false;
    size_t insertAt = lines.size();
    bool done = false;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
      std::wstring_view name;
      if (IsSection(lines[i], &name)) {
        if (inSection) break;
        inSection = EqualsNoCase(name, section);
        if (inSection) {
          sectionFound = true;
          insertAt = i + 1;
        }
        continue;
      }
      if (!inSection) continue;
      if (IsKey(lines[i], key, nullptr)) {
        lines[i] = newLine;
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        insertAt = i + 1;
      }
    }
    if (!done) {
      if (sectionFound) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
      } else {
        lines.push_back(L"[" + section + L"]");
        lines.push_back(newLine);
      }
    }
    std::wstring text;
    for (const auto& line : lines) text += line + L"\r\n";
    std::string bytes = Utf8FromWide(text);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      SimLastError() = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    machine_.Journal().Record("ini_write", path, section + L"/" + key);
    return TRUE;
  }

 private:
  // The file last read, decoded: callers read several keys of one file in a row, and each
  // call would decode and split the whole file again. Kept by its bytes, so a file changed
  // in between (by the program or anyone else) is decoded afresh.
  const IniText& Decoded(const std::string& bytes) {
    if (!decoded_ || bytes != decodedBytes_) {
      decoded_ = std::make_unique<IniText>(bytes);
      decodedBytes_ = bytes;
    }
    return *decoded_;
  }

  SimMachine& machine_;
  std::mutex mutex_;
  std::string decodedBytes_;
  std::unique_ptr<IniText> decoded_;
};

}  // namespace

std::unique_ptr<IProfile> CreateSimProfile(SimMachine& machine) {
  return std::make_unique<SimProfile>(machine);
}

}  // namespace rundix
