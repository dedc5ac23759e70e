#include "platform/ServicePort.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

std::optional<uint16_t> ServicePort(const char* variable, uint16_t board_port) {
#ifdef GATEWAY_BOARD
  static_cast<void>(variable);
  return board_port;
#else
  const char* text = std::getenv(variable);
  if (text == nullptr) {
    return board_port;
  }
  uint16_t port = 0;
  const char* end = text + std::strlen(text);
  const auto [last, error] = std::from_chars(text, end, port);
  if (error != std::errc() || last != end || last == text) {
    return std::nullopt;
  }
  return port;
#endif
}

std::string ServicePortRefusal(const char* variable) {
  const char* text = std::getenv(variable);
  return std::string("invalid ") + variable + " '" + (text == nullptr ? "" : text) +
         "' (a whole number 0 to 65535, 0 for any free port)";
}

std::string ServicePortHint(const char* variable) {
#ifdef GATEWAY_BOARD
  static_cast<void>(variable);
  return std::string();
#else
  return std::string(" (") + variable + " gives another port, 0 any free one)";
#endif
}

}  // namespace platform
