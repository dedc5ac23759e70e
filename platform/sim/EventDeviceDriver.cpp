#include "platform/sim/EventDeviceDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <optional>
#include <utility>

namespace sim {

EventDeviceDriver::EventDeviceDriver(std::string path, size_t record_size)
    : Driver(std::move(path)), record_size_(record_size) {
  // short <n>: delivers a record of only n bytes, fewer than a whole one.
  AddCommand("short", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "short <bytes, fewer than " + std::to_string(record_size_) + ">", 1);
    const std::optional<unsigned long> size = in.Number("size", 1, record_size_ - 1);
    if (in.Refused()) {
      return in.Refusal();
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
