// The two WinINet request operations the program shares: downloading a file (installers,
// the login window's QR image) and requesting a URL whose reply is not read (usage reports).
#pragma once

#include <string>

namespace rundix {

class Machine;

// True when the whole body was written to `localPath`.
bool DownloadUrlToFile(Machine& machine, const std::wstring& url, const std::wstring& localPath);
// True when the request got a response handle; the reply is not looked at. `url` is in the
// ANSI code page.
bool RequestUrl(Machine& machine, const std::string& url);

}  // namespace rundix
