#include "platform/sim/MaintenanceDriver.h"

#include "platform/BoardPath.h"
#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace sim {
namespace {

// The HDLC driver's words for the framer states, as the controller numbers them.
const char* StateWord(int32_t state) {
  static const char* const kWords[] = {"Synchronized", "FAS Loss", "No Carrier", "AIS", "RAI"};
  return state >= 0 && state < 5 ? kWords[state] : "Unknown";
}

// The framer's status file of the HDLC driver, from the same status as the record.
void WriteStatusFile(int trunk, const MaintenanceDriver::FramerStatus& framer) {
  const std::filesystem::path path = platform::BoardPath("/proc/driver/hdlc/peb22554/" + std::to_string(trunk));
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::ofstream(path) << "Current state           : " << StateWord(framer.state) << "\n"
                      << "Loss of Signal          : " << (framer.loss_carrier != 0 ? "yes" : "no") << "\n"
                      << "Loss of Frame Alignment : " << (framer.loss_bf != 0 ? "yes" : "no") << "\n"
                      << "Receive Slip Negative   : " << framer.slips << "\n"
                      << "Receive Slip Positive   : 0\n";
}

}  // namespace

MaintenanceDriver::MaintenanceDriver() : Driver(kPath) {
  HandleRecord(0xc0504d03, 80, [this](OpenFile&, Record& r) { return FillStatus(r); });
  HandleValue(0xc0044d0b, [this](OpenFile&, unsigned long mask) {
    tclk_writes_.push_back(mask);
    return 0L;
  });
  // Clock source: the number itself is the argument; Requests() keeps it.
  HandleValue(0xc0044d0a, [](OpenFile&, unsigned long) { return 0L; });
  // framer <trunk> <state> <slips> <lossBF> <lossCarrier> <lossAIS> <lossRAI>: the
  // device record and the status file "/proc/driver/hdlc/peb22554/<trunk>".
  AddCommand("framer", [this](const std::vector<std::string>& args) {
    static const char* const kNames[] = {"state", "slips", "lossBF", "lossCarrier", "lossAIS", "lossRAI"};
    ControlArgs in(args, "framer <trunk> <state> <slips> <lossBF> <lossCarrier> <lossAIS> <lossRAI>", 7);
    const int trunk = in.Int("trunk", 0, kTrunks - 1).value_or(0);
    int32_t values[6] = {};
    for (size_t i = 0; i < 6; ++i) {
      values[i] = in.Int(kNames[i], 0, INT32_MAX).value_or(0);
    }
    if (in.Refused()) {
      return in.Refusal();
    }
    framers_[trunk] = FramerStatus{values[0], values[1], values[2], values[3], values[4], values[5]};
    WriteStatusFile(trunk, framers_[trunk]);
    return Reply{true, ""};
  });
  // tclk: the last transmit-clock mask written, or "none".
  AddCommand("tclk", [this](const std::vector<std::string>& args) {
    if (!args.empty()) {
      return Reply{false, "usage: tclk"};
    }
    return Reply{true, tclk_writes_.empty() ? "none" : std::to_string(tclk_writes_.back())};
  });
}

long MaintenanceDriver::FillStatus(Record& record) const {
  // Record: int32 trunk at 0 going in; counters at 36..52 and the state at 76 coming back.
  const int32_t trunk = record.I32(0);
  if (trunk < 0 || trunk >= kTrunks) {
    return -EINVAL;
  }
  const FramerStatus& framer = framers_[trunk];
  record.SetI32(36, framer.slips)
      .SetI32(40, framer.loss_bf)
      .SetI32(44, framer.loss_carrier)
      .SetI32(48, framer.loss_ais)
      .SetI32(52, framer.loss_rai)
      .SetI32(76, framer.state);
  return 0;
}

void MaintenanceDriver::SetStatus(int trunk, const FramerStatus& status) {
  auto lock = Board::Lock();
  framers_.at(trunk) = status;
}

std::vector<unsigned long> MaintenanceDriver::TclkWrites() const {
  auto lock = Board::Lock();
  return tclk_writes_;
}

}  // namespace sim
