#include "platform/sim/HalDriver.h"

#include "platform/sim/Board.h"
#include "platform/sim/ControlArgs.h"

#include <string>

namespace sim {
namespace {

std::string Describe(const TdmSwitch::Output& output) {
  switch (output.carries) {
    case TdmSwitch::Carries::nothing:
      return "nothing";
    case TdmSwitch::Carries::source:
      return "source " + std::to_string(output.value);
    case TdmSwitch::Carries::constant:
      return "constant " + std::to_string(output.value);
  }
  return "";
}

const char* Name(TdmSwitch::Operation operation) {
  switch (operation) {
    case TdmSwitch::Operation::connect:
      return "connect";
    case TdmSwitch::Operation::disable:
      return "disable";
    case TdmSwitch::Operation::write:
      return "write";
    case TdmSwitch::Operation::read:
      return "read";
  }
  return "";
}

constexpr int kLastSwitchChannel = TdmSwitch::kChannelEnd - 1;

}  // namespace

HalDriver::HalDriver() : Driver(kPath) {
  // Switch records: {int32 output or channel, int32 source or value}.
  HandleRecord(0x80084d02, 8, [this](OpenFile&, Record& r) { return switch_.Connect(r.I32(0), r.I32(4)); });
  HandleRecord(0x80044d03, 4, [this](OpenFile&, Record& r) { return switch_.Disable(r.I32(0)); });
  HandleRecord(0xc0084d04, 8, [this](OpenFile&, Record& r) { return switch_.Write(r.I32(0), r.I32(4)); });
  HandleRecord(0xc0084d05, 8, [this](OpenFile&, Record& r) {
    const long value = switch_.Read(r.I32(0));
    if (value < 0) {
      return value;
    }
    r.SetI32(4, static_cast<int32_t>(value));
    return 0L;
  });
  // Line-chip records: {uint8 channel, uint8 register, uint8 data}.
  HandleRecord(0xc0034204, 3, [this](OpenFile&, Record& r) { return chips_.Write(r.U8(0), r.U8(1), r.U8(2)); });
  HandleRecord(0xc0034203, 3, [this](OpenFile&, Record& r) { return chips_.Read(r.U8(0), r.U8(1)); });
  // Clock select: {int32 source}, passed on whatever its value.
  HandleRecord(0x80044301, 4, [this](OpenFile&, Record& r) {
    clock_selections_.Add(r.I32(0));
    return 0L;
  });
  // One-byte registers: {uint8 value}.
  HandleRecord(0xc0014205, 1, [this](OpenFile&, Record& r) {
    r.SetU8(0, dip_);
    return 0L;
  });
  HandleRecord(0xc0014206, 1, [this](OpenFile&, Record& r) {
    r.SetU8(0, power_);
    return 0L;
  });
  HandleRecord(0xc0014207, 1, [this](OpenFile&, Record& r) {
    led_writes_.Add(r.U8(0));
    return 0L;
  });
  AddSwitchCommands();
  AddChipCommands();
  AddRegisterCommands();
}

void HalDriver::SetDip(uint8_t value) {
  auto lock = Board::Lock();
  dip_ = value;
}

void HalDriver::SetPower(uint8_t value) {
  auto lock = Board::Lock();
  power_ = value;
}

std::vector<uint8_t> HalDriver::LedWrites() const {
  auto lock = Board::Lock();
  return led_writes_.Items();
}

std::vector<int> HalDriver::ClockSelections() const {
  auto lock = Board::Lock();
  return clock_selections_.Items();
}

void HalDriver::AddSwitchCommands() {
  // output <channel>: "nothing", "source <channel>" or "constant <byte>".
  AddCommand("output", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "output <channel>", 1);
    const std::optional<int> channel = in.Int("channel", 0, kLastSwitchChannel);
    if (in.Refused()) {
      return in.Refusal();
    }
    return Reply{true, Describe(switch_.OutputOf(*channel))};
  });
  // switch: the switch requests without the refresh, "<operation>:<channel>:<value>" each.
  AddCommand("switch", [this](const std::vector<std::string>& args) {
    if (!args.empty()) {
      return Reply{false, "usage: switch"};
    }
    std::string text;
    for (const auto& request : switch_.Requests()) {
      text += (text.empty() ? "" : " ") + std::string(Name(request.operation)) + ":" + std::to_string(request.channel) +
              ":" + std::to_string(request.value);
    }
    return Reply{true, text};
  });
  // read-value <channel> <byte>: what a read of the channel gives from now on.
  AddCommand("read-value", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "read-value <channel> <byte>", 2);
    const std::optional<int> channel = in.Int("channel", 0, kLastSwitchChannel);
    const std::optional<int> byte = in.Int("byte", 0, 255);
    if (in.Refused()) {
      return in.Refusal();
    }
    switch_.SetReadValue(*channel, static_cast<uint8_t>(*byte));
    return Reply{true, ""};
  });
  // clock: the last clock source selected, or "none".
  AddCommand("clock", [this](const std::vector<std::string>& args) {
    if (!args.empty()) {
      return Reply{false, "usage: clock"};
    }
    const auto selections = ClockSelections();
    return Reply{true, selections.empty() ? "none" : std::to_string(selections.back())};
  });
}

void HalDriver::AddChipCommands() {
  // line-status <channel> <byte>: sets a line chip's status register.
  AddCommand("line-status", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "line-status <channel 0-7> <byte>", 2);
    const std::optional<int> channel = in.Int("channel", 0, LineChips::kChannels - 1);
    const std::optional<int> byte = in.Int("byte", 0, 255);
    if (in.Refused()) {
      return in.Refusal();
    }
    chips_.SetRegister(*channel, LineChips::kStatusRegister, static_cast<uint8_t>(*byte));
    return Reply{true, ""};
  });
  // carrier <channel> on|off
  AddCommand("carrier", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "carrier <channel 0-7> on|off", 2);
    const std::optional<int> channel = in.Int("channel", 0, LineChips::kChannels - 1);
    const std::optional<bool> on = in.OnOff("setting");
    if (in.Refused()) {
      return in.Refusal();
    }
    chips_.SetCarrier(*channel, *on);
    return Reply{true, ""};
  });
  // spi on|off: off makes every line-chip request fail with ENODEV.
  AddCommand("spi", [this](const std::vector<std::string>& args) {
    ControlArgs in(args, "spi on|off", 1);
    const std::optional<bool> on = in.OnOff("setting");
    if (in.Refused()) {
      return in.Refusal();
    }
    chips_.SetPresent(*on);
    return Reply{true, ""};
  });
}

void HalDriver::AddRegisterCommands() {
  // dip <byte>, power <byte>: what the next reads give.
  for (const char* name : {"dip", "power"}) {
    uint8_t& value = std::string(name) == "dip" ? dip_ : power_;
    AddCommand(name, [&value, name](const std::vector<std::string>& args) {
      ControlArgs in(args, std::string(name) + " <byte>", 1);
      const std::optional<int> byte = in.Int("byte", 0, 255);
      if (in.Refused()) {
        return in.Refusal();
      }
      value = static_cast<uint8_t>(*byte);
      return Reply{true, ""};
    });
  }
  // leds: every LED byte written, oldest first, two hex digits each.
  AddCommand("leds", [this](const std::vector<std::string>& args) {
    if (!args.empty()) {
      return Reply{false, "usage: leds"};
    }
    return Reply{true, HexBytes(led_writes_.Items())};
  });
}

}  // namespace sim
