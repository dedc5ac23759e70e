#include "platform/sim/EventDeviceDriver.h"

#include "platform/sim/Board.h"

#include <optional>
#include <utility>

namespace sim {

EventDeviceDriver::EventDeviceDriver(std::string path, size_t record_size)
    : Driver(std::move(path)), record_size_(record_size) {
  // short <n>: delivers a record of only n bytes, fewer than a whole one.
  AddCommand("short", [this](const std::vector<std::string>& args) {
    const auto size = args.size() == 1 ? ParseNumber(args[0]) : std::nullopt;
    if (!size || *size == 0 || *size >= record_size_) {
      return Reply{false, "usage: short <bytes, fewer than " + std::to_string(record_size_) + ">"};
    }
    if (!DeliverRaw(std::vector<uint8_t>(*size))) {
      return Reply{false, "nobody has the device open"};
    }
    return Reply{true, ""};
  });
}

bool EventDeviceDriver::DeliverRaw(const std::vector<uint8_t>& record) {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  bool taken = false;
  for (OpenFile* file : Opens()) {
    taken = Deliver(*file, record) || taken;
  }
  return taken;
}

}  // namespace sim
