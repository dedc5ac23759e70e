#include "platform/sim/ModemDriver.h"

#include "platform/sim/Board.h"

#include <cerrno>

namespace sim {
namespace {

// The device's requests: raw numbers without direction or size bits.
constexpr unsigned long kEnumerate = 0xbb0c;  // value: previous index; answers the next
constexpr unsigned long kAllocate = 0xbb0b;   // value 0; answers the index
constexpr unsigned long kTimeslot = 0xbb15;   // value 0; answers the switch channel
constexpr unsigned long kModes = 0xbb16;      // {index, mode bits}
constexpr unsigned long kReset = 0xbb3a;      // {index, -1}
constexpr unsigned long kParameter = 0xbb38;  // {index, offset, value}
constexpr unsigned long kAnswer = 0xbb03;     // {index, -1}
constexpr unsigned long kOriginate = 0xbb04;  // {index, -1}
constexpr unsigned long kFax = 0xbb40;        // {index, -1}

}  // namespace

ModemDriver::ModemDriver() : Driver(kPath), modems_(4) {
  HandleValue(kEnumerate, [this](OpenFile&, unsigned long previous) -> long {
    const long next = static_cast<long>(static_cast<int32_t>(previous)) + 1;
    return next >= 0 && next < static_cast<long>(modems_.size()) ? next : -ENODEV;
  });
  HandleValue(kAllocate, [this](OpenFile& file, unsigned long) { return Allocate(file); });
  HandleValue(kTimeslot, [](OpenFile& file, unsigned long) -> long {
    const int modem = file.StateAs<OpenState>().modem;
    return modem < 0 ? -EINVAL : kFirstSwitchChannel + modem;
  });
  HandleRecord(kModes, 8, [this](OpenFile& file, Record& r) -> long {
    Modem* modem = Held(file, r);
    if (modem == nullptr) {
      return -EINVAL;
    }
    modem->modes = r.U32(4);
    return 0;
  });
  HandleRecord(kReset, 8, [this](OpenFile& file, Record& r) -> long {
    Modem* modem = Held(file, r);
    if (modem == nullptr) {
      return -EINVAL;
    }
    modem->reset = true;
    modem->parameters.clear();
    return 0;
  });
  HandleRecord(kParameter, 12, [this](OpenFile& file, Record& r) -> long {
    Modem* modem = Held(file, r);
    if (modem == nullptr) {
      return -EINVAL;
    }
    modem->parameters.emplace_back(r.I32(4), r.I32(8));
    return 0;
  });
  HandleCall(kAnswer, "answer");
  HandleCall(kOriginate, "originate");
  HandleCall(kFax, "fax-originate");
}

void ModemDriver::HandleCall(unsigned long request, const char* call) {
  HandleRecord(request, 8, [this, call](OpenFile& file, Record& r) -> long {
    Modem* modem = Held(file, r);
    if (modem == nullptr) {
      return -EINVAL;
    }
    modem->call = call;
    return 0;
  });
}

void ModemDriver::SetModemCount(int count) {
  auto lock = Board::Lock();
  modems_.resize(static_cast<size_t>(count));
}

ModemDriver::Modem ModemDriver::ModemAt(int index) const {
  auto lock = Board::Lock();
  Board::instance().Sweep();
  return modems_.at(static_cast<size_t>(index));
}

long ModemDriver::OnOpen(OpenFile& file) {
  file.state = std::make_unique<OpenState>();
  return 0;
}

void ModemDriver::OnRelease(OpenFile& file) {
  const int modem = file.StateAs<OpenState>().modem;
  if (modem >= 0 && modem < static_cast<int>(modems_.size())) {
    modems_[static_cast<size_t>(modem)].allocated = false;
  }
}

long ModemDriver::Allocate(OpenFile& file) {
  OpenState& state = file.StateAs<OpenState>();
  if (state.modem >= 0) {
    return -EBUSY;
  }
  for (size_t i = 0; i < modems_.size(); ++i) {
    if (!modems_[i].allocated) {
      modems_[i] = Modem{};
      modems_[i].allocated = true;
      state.modem = static_cast<int>(i);
      return state.modem;
    }
  }
  return -EBUSY;
}

ModemDriver::Modem* ModemDriver::Held(OpenFile& file, const Record& record) {
  const int32_t index = record.I32(0);
  if (index < 0 || index != file.StateAs<OpenState>().modem || index >= static_cast<int32_t>(modems_.size())) {
    return nullptr;
  }
  return &modems_[static_cast<size_t>(index)];
}

}  // namespace sim
