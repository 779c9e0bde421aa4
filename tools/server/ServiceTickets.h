// The QR login tickets: made by loginqrcode, confirmed by the phone's scan, answered by
// loginquery. A ticket carries its own making time and a keyed signature, so making one
// stores nothing: only confirmations are kept, and those only for the ticket lifetime and up
// to a bound. A ticket lives for the configured lifetime from its making, a confirmed one as
// long again from its confirmation, and an expired one never confirms. Tickets are valid for
// the process that signed them.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace rundix::server {

class LoginTicketBook {
 public:
  using Clock = std::chrono::steady_clock;
  enum class State { kUnknown, kExpired, kPending, kConfirmed };

  // At most `maxConfirmations` confirmed tickets are kept; past that the oldest goes.
  LoginTicketBook(int lifetimeSeconds, size_t maxConfirmations);

  // A new ticket (32 hexadecimal digits).
  std::string Create(Clock::time_point now);
  // Confirms a pending ticket with `openid` (a fresh random one when empty); a confirmed
  // ticket keeps the id it has. *assigned receives the ticket's id when confirmed.
  State Confirm(const std::string& ticket, const std::string& openid, Clock::time_point now,
                std::string* assigned);
  State Query(const std::string& ticket, Clock::time_point now, std::string* openid);

  size_t ConfirmationCount();

  // Random lower-case hexadecimal digits.
  static std::string RandomHex(size_t digits);

 private:
  struct Confirmation {
    Clock::time_point when;
    std::string openid;
  };
  // The making time of a well-signed ticket; false for anything else.
  bool Verify(const std::string& ticket, Clock::time_point* made) const;
  std::string Sign(uint64_t madeMs, uint32_t serial) const;
  void Prune(Clock::time_point now);
  State Lookup(const std::string& ticket, Clock::time_point now, Confirmation** confirmation);

  Clock::duration lifetime_;
  size_t maxConfirmations_;
  Clock::time_point epoch_;
  std::array<unsigned char, 32> key_{};
  std::atomic<uint32_t> serial_{0};

  std::mutex mutex_;
  std::map<std::string, Confirmation> confirmed_;
  std::deque<std::string> order_;  // confirmed tickets, oldest first
};

}  // namespace rundix::server
