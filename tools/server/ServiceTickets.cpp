#include "tools/server/ServiceTickets.h"

#include <openssl/rand.h>

#include <random>
#include <vector>

namespace rundix::server {

LoginTicketBook::LoginTicketBook(int lifetimeSeconds, size_t capacity)
    : lifetime_(std::chrono::seconds(lifetimeSeconds)), capacity_(capacity) {}

std::string LoginTicketBook::RandomHex(size_t digits) {
  static const char kHex[] = "0123456789abcdef";
  std::vector<unsigned char> bytes((digits + 1) / 2);
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    std::random_device device;
    for (auto& b : bytes) b = static_cast<unsigned char>(device());
  }
  std::string out;
  for (unsigned char b : bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xF]);
  }
  out.resize(digits);
  return out;
}

bool LoginTicketBook::Expired(const Entry& entry, Clock::time_point now) const {
  Clock::time_point start = entry.confirmed ? *entry.confirmed : entry.created;
  return now - start > lifetime_;
}

std::optional<std::string> LoginTicketBook::Create(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (entries_.size() >= capacity_) {
    for (auto it = entries_.begin(); it != entries_.end();) {
      it = Expired(it->second, now) ? entries_.erase(it) : std::next(it);
    }
    if (entries_.size() >= capacity_) return std::nullopt;
  }
  std::string ticket;
  do {
    ticket = RandomHex(32);
  } while (entries_.count(ticket) != 0);
  entries_[ticket] = Entry{now, std::nullopt, std::string()};
  return ticket;
}

LoginTicketBook::State LoginTicketBook::Lookup(const std::string& ticket, Clock::time_point now, Entry** entry) {
  auto it = entries_.find(ticket);
  if (it == entries_.end()) return State::kUnknown;
  *entry = &it->second;
  if (Expired(it->second, now)) return State::kExpired;
  return it->second.confirmed ? State::kConfirmed : State::kPending;
}

LoginTicketBook::State LoginTicketBook::Confirm(const std::string& ticket, const std::string& openid,
                                                Clock::time_point now, std::string* assigned) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* entry = nullptr;
  State state = Lookup(ticket, now, &entry);
  if (state == State::kPending) {
    entry->confirmed = now;
    entry->openid = openid;
    if (entry->openid.empty()) {
      entry->openid = RandomHex(28);
      entry->openid[0] = 'o';  // account ids start with a letter
    }
    state = State::kConfirmed;
  }
  if (state == State::kConfirmed && assigned) *assigned = entry->openid;
  return state;
}

LoginTicketBook::State LoginTicketBook::Query(const std::string& ticket, Clock::time_point now,
                                              std::string* openid) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry* entry = nullptr;
  State state = Lookup(ticket, now, &entry);
  if (state == State::kConfirmed && openid) *openid = entry->openid;
  return state;
}

}  // namespace rundix::server
