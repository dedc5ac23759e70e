#include "platform/ServicePort.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace platform {

uint16_t ServicePort(const char* variable, uint16_t board_port) {
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
  return error == std::errc() && last == end && last != text ? port : board_port;
#endif
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
