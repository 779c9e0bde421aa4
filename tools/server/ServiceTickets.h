// The QR login tickets: made by loginqrcode, confirmed by the phone's scan, answered by
// loginquery. In memory; a ticket lives for the configured lifetime from its making, a
// confirmed one as long again from its confirmation, and an expired one never confirms.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace rundix::server {

class LoginTicketBook {
 public:
  using Clock = std::chrono::steady_clock;
  enum class State { kUnknown, kExpired, kPending, kConfirmed };

  LoginTicketBook(int lifetimeSeconds, size_t capacity);

  // A new random ticket (32 hexadecimal digits); nothing when the book is full of live ones.
  std::optional<std::string> Create(Clock::time_point now);
  // Confirms a pending ticket with `openid` (a fresh random one when empty); a confirmed
  // ticket keeps the id it has. *assigned receives the ticket's id when confirmed.
  State Confirm(const std::string& ticket, const std::string& openid, Clock::time_point now,
                std::string* assigned);
  State Query(const std::string& ticket, Clock::time_point now, std::string* openid);

  // Random lower-case hexadecimal digits.
  static std::string RandomHex(size_t digits);

 private:
  struct Entry {
    Clock::time_point created;
    std::optional<Clock::time_point> confirmed;
    std::string openid;
  };
  bool Expired(const Entry& entry, Clock::time_point now) const;
  State Lookup(const std::string& ticket, Clock::time_point now, Entry** entry);

  std::mutex mutex_;
  Clock::duration lifetime_;
  size_t capacity_;
  std::map<std::string, Entry> entries_;
};

}  // namespace rundix::server
