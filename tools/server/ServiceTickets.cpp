#include "tools/server/ServiceTickets.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <random>
#include <vector>

namespace rundix::server {
namespace {

// Ticket bytes: making time in milliseconds since the book's start (5), serial (3),
// signature over those eight (8).
constexpr size_t kTimeBytes = 5;
constexpr size_t kSerialBytes = 3;
constexpr size_t kSignedBytes = kTimeBytes + kSerialBytes;
constexpr size_t kMacBytes = 8;
constexpr size_t kTicketDigits = 2 * (kSignedBytes + kMacBytes);

void RandomBytes(unsigned char* out, size_t size) {
  if (RAND_bytes(out, static_cast<int>(size)) != 1) {
    std::random_device device;
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(device());
  }
}

std::string Hex(const unsigned char* bytes, size_t size) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kHex[bytes[i] >> 4]);
    out.push_back(kHex[bytes[i] & 0xF]);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

LoginTicketBook::LoginTicketBook(int lifetimeSeconds, size_t maxConfirmations)
    : lifetime_(std::chrono::seconds(lifetimeSeconds)), maxConfirmations_(maxConfirmations), epoch_(Clock::now()) {
  RandomBytes(key_.data(), key_.size());
}

std::string LoginTicketBook::RandomHex(size_t digits) {
  std::vector<unsigned char> bytes((digits + 1) / 2);
  RandomBytes(bytes.data(), bytes.size());
  std::string out = Hex(bytes.data(), bytes.size());
  out.resize(digits);
  return out;
}

std::string LoginTicketBook::Sign(uint64_t madeMs, uint32_t serial) const {
  unsigned char bytes[kSignedBytes + EVP_MAX_MD_SIZE];
  for (size_t i = 0; i < kTimeBytes; ++i) bytes[i] = static_cast<unsigned char>(madeMs >> (8 * (kTimeBytes - 1 - i)));
  for (size_t i = 0; i < kSerialBytes; ++i) {
    bytes[kTimeBytes + i] = static_cast<unsigned char>(serial >> (8 * (kSerialBytes - 1 - i)));
  }
  unsigned int macLength = 0;
  HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()), bytes, kSignedBytes, bytes + kSignedBytes,
       &macLength);
  return Hex(bytes, kSignedBytes + kMacBytes);
}

bool LoginTicketBook::Verify(const std::string& ticket, Clock::time_point* made) const {
  if (ticket.size() != kTicketDigits) return false;
  unsigned char bytes[kSignedBytes + kMacBytes];
  for (size_t i = 0; i < sizeof(bytes); ++i) {
    int hi = HexDigit(ticket[2 * i]);
    int lo = HexDigit(ticket[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
  }
  uint64_t madeMs = 0;
  for (size_t i = 0; i < kTimeBytes; ++i) madeMs = (madeMs << 8) | bytes[i];
  uint32_t serial = 0;
  for (size_t i = 0; i < kSerialBytes; ++i) serial = (serial << 8) | bytes[kTimeBytes + i];
  std::string expected = Sign(madeMs, serial);
  if (CRYPTO_memcmp(expected.data(), ticket.data(), kTicketDigits) != 0) return false;
  *made = epoch_ + std::chrono::milliseconds(madeMs);
  return true;
}

std::string LoginTicketBook::Create(Clock::time_point now) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - epoch_).count();
  uint64_t madeMs = ms < 0 ? 0 : static_cast<uint64_t>(ms) & ((uint64_t{1} << (8 * kTimeBytes)) - 1);
  uint32_t serial = serial_.fetch_add(1, std::memory_order_relaxed) & ((1u << (8 * kSerialBytes)) - 1);
  return Sign(madeMs, serial);
}

void LoginTicketBook::Prune(Clock::time_point now) {
  while (!order_.empty()) {
    auto it = confirmed_.find(order_.front());
    bool stale = it == confirmed_.end() || now - it->second.when > lifetime_;
    if (!stale && confirmed_.size() < maxConfirmations_) break;
    if (it != confirmed_.end()) confirmed_.erase(it);
    order_.pop_front();
  }
}

LoginTicketBook::State LoginTicketBook::Lookup(const std::string& ticket, Clock::time_point now,
                                               Confirmation** confirmation) {
  Clock::time_point made;
  if (!Verify(ticket, &made)) return State::kUnknown;
  auto it = confirmed_.find(ticket);
  if (it != confirmed_.end()) {
    *confirmation = &it->second;
    return now - it->second.when > lifetime_ ? State::kExpired : State::kConfirmed;
  }
  return now - made > lifetime_ ? State::kExpired : State::kPending;
}

LoginTicketBook::State LoginTicketBook::Confirm(const std::string& ticket, const std::string& openid,
                                                Clock::time_point now, std::string* assigned) {
  std::lock_guard<std::mutex> lock(mutex_);
  Confirmation* confirmation = nullptr;
  State state = Lookup(ticket, now, &confirmation);
  if (state == State::kPending) {
    Prune(now);
    if (maxConfirmations_ == 0) return State::kExpired;
    std::string id = openid;
    if (id.empty()) {
      id = RandomHex(28);
      id[0] = 'o';  // account ids start with a letter
    }
    confirmation = &(confirmed_[ticket] = Confirmation{now, id});
    order_.push_back(ticket);
    state = State::kConfirmed;
  }
  if (state == State::kConfirmed && assigned) *assigned = confirmation->openid;
  return state;
}

LoginTicketBook::State LoginTicketBook::Query(const std::string& ticket, Clock::time_point now,
                                              std::string* openid) {
  std::lock_guard<std::mutex> lock(mutex_);
  Confirmation* confirmation = nullptr;
  State state = Lookup(ticket, now, &confirmation);
  if (state == State::kConfirmed && openid) *openid = confirmation->openid;
  return state;
}

size_t LoginTicketBook::ConfirmationCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return confirmed_.size();
}

}  // namespace rundix::server
