#pragma once

// The signalling slots on the slot table's test harness: builders of their
// create commands and ioctls, a clock moved in steps, the simulated MCC and
// DSP data devices.
#include "platform/sim/Board.h"
#include "platform/sim/DspDataDriver.h"
#include "platform/sim/MccDriver.h"
#include "signalling/HdlcSlotFactory.h"
#include "signalling/IsdnFactory.h"
#include "signalling/PstnFactory.h"
#include "tests/slots/SlotsHarness.h"
#include "tests/support/ControlLoop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace signalling_slots_test {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
using sim::MccDriver;

inline size_t Count(const Lines& lines, const std::string& part) {
  return static_cast<size_t>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& line) { return line.find(part) != std::string::npos; }));
}

class SignallingSlotsTest : public SlotsTest {
 protected:
  void SetUp() override {
    SlotsTest::SetUp();
    mcc_ = sim::Board::instance().Find<MccDriver>(MccDriver::kPath);
    ASSERT_NE(mcc_, nullptr);
    dsp_data_ = sim::Board::instance().Find<sim::DspDataDriver>(sim::DspDataDriver::kPath);
    ASSERT_NE(dsp_data_, nullptr);
    (void)PstnFactory::instance();
    (void)IsdnFactory::instance();
    (void)HdlcSlotFactory::instance();
  }

  using PstnFill = std::function<void(LGCP::PstnParams&)>;
  using CreateFill = std::function<void(LGCP::CreateParams&)>;
  Lines Create(unsigned slot, const CreateFill& fill) {
    return Send(slot, [&](LGCP::Command& command) { fill(command.select_create()); });
  }
  Lines CreatePstn(unsigned slot, const PstnFill& fill) {
    return Create(slot, [&](LGCP::CreateParams& create) { fill(create.select_pstn()); });
  }
  static PstnFill Ss7(int trunk) {
    return [trunk](LGCP::PstnParams& params) {
      LGCP::SS7Params& ss7 = params.select_ss7();
      ss7.set_trunk(trunk);
      ss7.set_slc(1);
      ss7.set_dpc(2);
      ss7.set_opc(3);
      ss7.set_emergency(true);
    };
  }
  static void FillIsdn(LGCP::IsdnParams& isdn, LGCP::IsdnType::NamedNumber type, bool network, int trunk) {
    isdn.set_type(type);
    isdn.set_trunk(trunk);
    isdn.set_log(0);
    if (network) {
      isdn.get_side().select_network();
    } else {
      isdn.get_side().select_user();
    }
  }
  static PstnFill Isdn(LGCP::IsdnType::NamedNumber type, bool network, int trunk = 1) {
    return [=](LGCP::PstnParams& params) { FillIsdn(params.select_isdn(), type, network, trunk); };
  }
  // The ISDN D-channel slot.
  static CreateFill IsdnD(bool network, LGCP::IsdnType::NamedNumber type = LGCP::IsdnType::pri) {
    return [=](LGCP::CreateParams& create) { FillIsdn(create.select_isdn(), type, network, 1); };
  }
  static CreateFill AtsQsig(bool network) {
    return [=](LGCP::CreateParams& create) {
      LGCP::AtsQsigParams& params = create.select_ats_qsig();
      params.set_log(0);
      if (network) {
        params.get_side().select_network();
      } else {
        params.get_side().select_user();
      }
    };
  }
  Lines CreateHdlc(unsigned slot, int address) {
    return Send(slot, [&](LGCP::Command& command) {
      LGCP::HdlcParams& hdlc = command.select_create().select_hdlcParams();
      hdlc.set_trunk(1);
      hdlc.set_log(0);
      hdlc.set_address(address);
    });
  }
  Lines Ioctl(unsigned slot, const std::function<void(LGCP::IoctlParams&)>& fill) {
    return Send(slot, [&](LGCP::Command& command) { fill(command.select_ioctl()); });
  }
  Lines SendPackages(unsigned slot, const std::vector<Bytes>& bodies) {
    return Ioctl(slot, [&](LGCP::IoctlParams& params) {
      auto& packages = params.select_hdlcPackages();
      for (const Bytes& body : bodies) {
        LGCP::HdlcPackage package;
        package.get_body().assign(body.begin(), body.end());
        packages.push_back(package);
      }
    });
  }
  Lines UserData(unsigned slot, const Bytes& bytes) {
    return Send(slot, [&](LGCP::Command& command) { command.select_userData().assign(bytes.begin(), bytes.end()); });
  }
  // Moves the clock on in steps, keeping what came back.
  Lines Run(unsigned ms, unsigned step = 100) {
    Lines lines;
    for (unsigned done = 0; done < ms; done += step) {
      clock_.Advance(step);
      control_test::RunPasses(3);
      for (std::string& line : Received()) {
        lines.push_back(std::move(line));
      }
    }
    return lines;
  }
  // The MCC channel of the only channel allocated since the test began.
  int OnlyChannel() {
    const std::vector<MccDriver::Channel> channels = mcc_->Channels();
    return channels.size() == 1 ? channels[0].switch_channel : -1;
  }

  // Slot 10, a BRI network side, joined both ways to trunk slot 1: its channel.
  int BriNetworkChannel() {
    CreatePstn(10, Isdn(LGCP::IsdnType::bri, true));
    CreateTrunk(1, 0, 1, true);
    Connect(1, 10);
    Connect(10, 1);
    return OnlyChannel();
  }

  control_test::FrozenClock clock_;
  MccDriver* mcc_ = nullptr;
  sim::DspDataDriver* dsp_data_ = nullptr;
};

}  // namespace signalling_slots_test
