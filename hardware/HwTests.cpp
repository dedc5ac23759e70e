#include "hardware/HwTests.h"

#include "hardware/HwMux.h"
#include "platform/Clock.h"
#include "runtime/log/Ext.h"

#include <cstdlib>
#include <iostream>
#include <optional>

namespace {

// Time the switch needs to put the written bytes on the bus, or to let them go.
constexpr uint32_t kWriteSettleUs = 500;
constexpr uint32_t kDisconnectSettleUs = 250;

uint8_t NextPatternByte() {
  return static_cast<uint8_t>(random() & 0xFF);
}

}  // namespace

HwTests& HwTests::instance() {
  static HwTests service(HwMux::instance());
  return service;
}

bool HwTests::OnCommand(const LGCP::Command& command) {
  if (!command.is_testBpc()) {
    return false;
  }
  OnTestBpc(command.get_testBpc());
  return true;
}

void HwTests::PutHeader(std::ostream& os) const {
  os << "bus " << bus_ << ": ";
}

bool HwTests::CheckPattern(const char* failure, const char* expected_word, const char* actual_word) {
  for (int channel = first_; channel < end_; ++channel) {
    const uint8_t expected = NextPatternByte();
    const std::optional<uint8_t> actual = mux_.Read(channel);
    if (!actual) {
      // The switch said why; a byte that was never read must not pass as 0xFF.
      std::cerr << ext::header(this) << "read failed on channel " << (channel & 127) << std::endl;
      Error(LGCP::ErrorCause::busError);
      return false;
    }
    if (*actual != expected) {
      std::cerr << ext::header(this) << failure << " on channel " << (channel & 127) << " " << expected_word << " "
                << ext::OutUnsignedInHex(expected, 2) << " " << actual_word << " " << ext::OutUnsignedInHex(*actual, 2)
                << std::endl;
      Error(LGCP::ErrorCause::busError);
      return false;
    }
  }
  return true;
}

void HwTests::OnTestBpc(const LGCP::BpcTestParams& params) {
  const int start = static_cast<int>(params.get_timeslot_start().getValue());
  const int length = static_cast<int>(params.get_timeslot_length().getValue());
  // A run past the end of its bus would write onto the next bus's live channels.
  if (start + length > kBusTimeslots) {
    Error(LGCP::ErrorCause::invalidParams);
    return;
  }
  bus_ = static_cast<int>(params.get_bus().getValue());
  first_ = HwMux::kFirstOutput + (bus_ << 7) + start;
  end_ = first_ + length;
  seed_ = params.get_seed().getValue();
  srandom(static_cast<unsigned>(seed_));

  switch (params.get_mode().alternative()) {
    case LGCP::BpcTestMode::Alternative::read:
      if (!CheckPattern("test failed", "expected", "read")) {
        return;
      }
      break;
    case LGCP::BpcTestMode::Alternative::write:
      for (int channel = first_; channel < end_; ++channel) {
        // A failed write shows up as a mismatch below.
        (void)mux_.Write(channel, NextPatternByte());
      }
      platform::SleepMicroseconds(kWriteSettleUs);
      srandom(static_cast<unsigned>(seed_));
      if (!CheckPattern("write failed", "write", "written")) {
        return;
      }
      break;
    case LGCP::BpcTestMode::Alternative::disconnect:
      for (int channel = first_; channel < end_; ++channel) {
        (void)mux_.Disable(channel);
      }
      platform::SleepMicroseconds(kDisconnectSettleUs);
      break;
    default:
      Error(LGCP::ErrorCause::invalidParams);
      return;
  }
  Success();
}
