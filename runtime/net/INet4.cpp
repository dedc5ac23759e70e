#include "runtime/net/INet4.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>
#include <sstream>

namespace INet4 {
namespace {

// The whole text must be a decimal 0..65535: strtol would turn "70000" into a
// wrapped port and accept trailing junk.
bool ParsePort(const std::string& text, uint16_t& port) {
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [rest, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || rest != end || value > 65535) {
    return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

void Addr::Reset() {
  std::memset(&address_, 0, sizeof address_);
  address_.sin_family = AF_INET;
}

bool Addr::Assign(const char* text, int* port) {
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr) {
    if (port != nullptr) {
      *port = -1;
    }
    in_addr parsed{};
    if (inet_aton(text, &parsed) == 0) {
      return false;
    }
    address_.sin_addr = parsed;
    return true;
  }
  uint16_t port_value = 0;
  in_addr parsed{};
  if (!ParsePort(colon + 1, port_value) || inet_aton(std::string(text, colon).c_str(), &parsed) == 0) {
    return false;
  }
  address_.sin_addr = parsed;
  address_.sin_port = htons(port_value);
  if (port != nullptr) {
    *port = port_value;
  }
  return true;
}

bool Addr::Assign(const std::string& text, int* port) {
  return Assign(text.c_str(), port);
}

void Addr::Assign(unsigned long address) {
  address_.sin_addr.s_addr = static_cast<in_addr_t>(address);
}

bool Addr::IsEqual(const Addr& other) const {
  return address_.sin_addr.s_addr == other.address_.sin_addr.s_addr && address_.sin_port == other.address_.sin_port;
}

void Addr::Put(std::ostream& os) const {
  char text[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &address_.sin_addr, text, sizeof text);
  os << text << ':' << ntohs(address_.sin_port);
}

std::string Addr::GetString() const {
  std::ostringstream os;
  Put(os);
  return os.str();
}

std::vector<uint8_t> Addr::GetVector() const {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&address_.sin_addr.s_addr);
  return std::vector<uint8_t>(bytes, bytes + 4);
}

}  // namespace INet4
