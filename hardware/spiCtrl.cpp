#include "hardware/spiCtrl.h"

#include "schemas/ACP.h"

namespace {

ACP::TrunkState::NamedNumber ToTrunkState(SpiLineChips::LineState state) {
  switch (state) {
    case SpiLineChips::LineState::normal:
      return ACP::TrunkState::normal;
    case SpiLineChips::LineState::lossBF:
      return ACP::TrunkState::lossBF;
    case SpiLineChips::LineState::lossCarrier:
      return ACP::TrunkState::lossCarrier;
    case SpiLineChips::LineState::ais:
      return ACP::TrunkState::ais;
    case SpiLineChips::LineState::rai:
      return ACP::TrunkState::rai;
  }
  return ACP::TrunkState::unknown;
}

}  // namespace

spiCtrl& spiCtrl::instance() {
  static spiCtrl service;
  return service;
}

void spiCtrl::OnConnect() {
  if (chips_.IsOpen() && chips_.IsPresent()) {
    status_timer_.set(kStatusPeriodMs, &spiCtrl::status, this);
  }
}

void spiCtrl::OnDisconnect() {
  status_timer_.reset();
}

bool spiCtrl::OnCommand(const LGCP::Command&) {
  return false;
}

void spiCtrl::clock(int channel) {
  chips_.clock(channel);
  StopWhenAbsent();
}

void spiCtrl::StopWhenAbsent() {
  if (!chips_.IsPresent()) {
    status_timer_.reset();
  }
}

void spiCtrl::status() {
  if (!chips_.IsPresent()) {
    return;
  }
  for (int channel = 0; channel < SpiLineChips::kChannels; ++channel) {
    const auto line = chips_.ReadStatus(channel);
    if (!line) {
      // A failed read says nothing about the line; without SPI nothing more will answer.
      if (!chips_.IsPresent()) {
        StopWhenAbsent();
        return;
      }
      continue;
    }
    LGCP::Signal signal;
    ACP::TrunkStatus& trunk = signal.select_trunkStatus();
    trunk.set_trunk(channel);
    trunk.set_state(ToTrunkState(line->state));
    trunk.set_slips(line->slips);
    trunk.set_type(ACP::TrunkType::bri);
    SendSignal(signal);
  }
  status_timer_.set(kStatusPeriodMs, &spiCtrl::status, this);
}
