// rundix-server's request parsing: the query of a report or login call, its parameters as
// they are stored (they must read back as the same bytes), a Range header against a file
// size, and a ticket checked by the ticket book.
#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/server/DownloadRanges.h"
#include "tools/server/ServiceReportStore.h"
#include "tools/server/ServiceTickets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace rundix::server;
  std::string text(reinterpret_cast<const char*>(data), size);

  for (const auto& [name, value] : ParseQuery(text)) {
    std::string backName, backValue;
    if (!ParamFromJson(ParamJson(name, value), &backName, &backValue)) std::abort();
    if (backName != name || backValue != value) std::abort();
  }

  for (uint64_t fileSize : {uint64_t{0}, uint64_t{1}, uint64_t{100000}, UINT64_MAX / 2}) {
    ByteRange range = ParseByteRange(text, fileSize);
    if (range.kind == ByteRange::kPart && (range.first > range.last || range.last >= fileSize)) std::abort();
  }

  static LoginTicketBook book(300, 16);
  auto now = LoginTicketBook::Clock::now();
  std::string openid;
  book.Query(text, now, &openid);
  if (book.Confirm(text, "fuzz", now, &openid) == LoginTicketBook::State::kConfirmed) std::abort();
  return 0;
}
