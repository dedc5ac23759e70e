#include "slots/DspModemSlot.h"

#include "hardware/DeviceNames.h"
#include "platform/BoardPath.h"
#include "platform/ByteOrder.h"
#include "platform/Device.h"
#include "runtime/log/Ext.h"
#include "slots/ModemFactory.h"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iostream>

namespace {

constexpr unsigned long kAllocate = 0xbb0b;
constexpr unsigned long kTimeslot = 0xbb15;
constexpr unsigned long kModes = 0xbb16;
constexpr unsigned long kReset = 0xbb3a;
constexpr unsigned long kParameter = 0xbb38;
constexpr unsigned long kAnswer = 0xbb03;
constexpr unsigned long kOriginate = 0xbb04;
constexpr unsigned long kFaxOriginate = 0xbb40;

constexpr const char* kFaxSender = "/usr/local/sbin/fax";
constexpr const char* kFaxReceiver = "/usr/local/bin/fax";
constexpr size_t kMaxExtraArguments = 62;
// The modem needs a moment after the server let go of it.
constexpr unsigned kReceiverDelayUs = 1000000;

// Mode bits of the digital data modes; V.120 sets none.
uint32_t ModeBits(const ASN1::SEQUENCE_OF<TERM::DigitalDataModeEnum>& modes) {
  uint32_t bits = 0;
  for (const TERM::DigitalDataModeEnum& mode : modes) {
    switch (mode.getValue()) {
      case TERM::DigitalDataModeEnum::ddmV110:
        bits |= 0x1;
        break;
      case TERM::DigitalDataModeEnum::ddm8BIT:
        bits |= 0x2;
        break;
      case TERM::DigitalDataModeEnum::ddm7BIT:
        bits |= 0x4;
        break;
      default:
        break;
    }
  }
  return bits;
}

// A request whose record is the given words.
int Request(const Fd& device, unsigned long request, std::initializer_list<int32_t> words) {
  std::array<uint8_t, 12> record{};
  platform::BeWriter writer(record.data(), record.size());
  for (int32_t word : words) {
    writer.I32(word);
  }
  return platform::Ioctl(device.get(), request, record.data());
}

// The received pages' file: the date, the time and the modem, so receivers in
// the same second or at the same time of another day never share one.
std::string FaxFileName(int modem) {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char stamp[64];
  strftime(stamp, sizeof stamp, "%Y-%m-%d-%H-%M-%S", &local);
  return platform::BoardPath("/var/fax-" + std::string(stamp) + "-m" + std::to_string(modem) + ".g3");
}

}  // namespace

void DspModemSlot::unbind() {
  GetSlotFactory().ReleaseModemSlot(this);
}

void DspModemSlot::FailSetUp(const char* what) {
  const int error = errno;
  std::cerr << ext::header(this) << what << std::strerror(error) << std::endl;
  OnAbort(error);
}

bool DspModemSlot::InitModem() {
  if (modem_ >= 0) {
    return true;
  }
  // Only the PPP daemon and the fax sender run the program the controller
  // names: a fax receiver or originator never reads it.
  const bool runs_execfile = !params().has_fax() || params().has_execargs();
  if (runs_execfile && !ProgramAllowed()) {
    return false;
  }
  Fd device(platform::Open(GetModemDevName(), O_RDONLY | O_CLOEXEC));
  if (!device) {
    FailSetUp("fail to open device: ");
    return false;
  }
  const int modem = platform::IoctlValue(device.get(), kAllocate, 0);
  if (modem < 0) {
    FailSetUp("insufficient resources : ");
    return false;
  }
  const int channel = platform::IoctlValue(device.get(), kTimeslot, 0);
  if (channel < 0) {
    FailSetUp("get timeslot fail : ");
    return false;
  }
  if (params().has_ddm() && Request(device, kModes, {modem, static_cast<int32_t>(ModeBits(params().get_ddm()))}) < 0) {
    FailSetUp("set DDM failed : ");
    return false;
  }
  SetParameters(device, modem);
  channel_ = channel;
  modem_ = modem;
  control_ = device;
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
  if (params().has_fax()) {
    StartFax(device);
  } else {
    StartCall(device);
  }
  return true;
}

void DspModemSlot::SetParameters(const Fd& device, int modem) {
  if (Request(device, kReset, {modem, -1}) < 0) {
    std::cerr << ext::header(this) << "reset dmp parameters failed : " << std::strerror(errno) << std::endl;
  }
  if (!params().has_dmp()) {
    return;
  }
  for (const TERM::DDModemParam& parameter : params().get_dmp()) {
    const int offset = parameter.get_offset().getValue();
    const int value = parameter.get_value().getValue();
    if (Request(device, kParameter, {modem, offset, value}) < 0) {
      std::cerr << ext::header(this) << "set dmp parameter index=" << offset << " value=" << value
                << " failed : " << std::strerror(errno) << std::endl;
    }
  }
}

void DspModemSlot::StartCall(const Fd& device) {
  const std::string port = "/dev/mdm" + std::to_string(modem_);
  if (!params().has_originate()) {
    if (Request(device, kAnswer, {modem_, -1}) < 0) {
      FailSetUp("answer failed : ");
      return;
    }
    static_cast<void>(pppd_exec(port.c_str(), "/usr/local/etc/ppp/aoptions"));
    return;
  }
  if (Request(device, kOriginate, {modem_, -1}) < 0) {
    FailSetUp("originate failed : ");
    return;
  }
  static_cast<void>(pppd_exec(port.c_str(), "/usr/local/etc/ppp/coptions"));
}

void DspModemSlot::StartFax(Fd& device) {
  if (params().has_execargs()) {
    RunFaxSender(device);
    return;
  }
  if (params().has_originate()) {
    if (Request(device, kFaxOriginate, {modem_, -1}) < 0) {
      FailSetUp("originate failed : ");
    }
    return;
  }
  RunFaxReceiver();
}

void DspModemSlot::RunFaxSender(Fd& device) {
  const std::string program = Program(kFaxSender);
  ChildProgram::Launch launch{program, {program, "-m", std::to_string(modem_)}, "executing fax transfer"};
  for (size_t i = 0; i < params().get_execargs().size() && i < kMaxExtraArguments; ++i) {
    launch.argv.push_back(params().get_execargs()[i]);
  }
  // The fax program has the modem to itself.
  static_cast<void>(control_.close());
  static_cast<void>(device.close());
  if (!StartChild(launch, static_cast<void (ModemSlot::*)(int)>(&DspModemSlot::on_fax_terminate), &exec_status_)) {
    return;
  }
  std::clog << ext::header(this) << "fax transfer executed modem=" << modem_ << " ts=" << channel_ << std::endl;
}

void DspModemSlot::RunFaxReceiver() {
  static_cast<void>(control_.close());
  const std::string program = platform::BoardPath(kFaxReceiver);
  const ChildProgram::Launch launch{
      program, {program, "-m", std::to_string(modem_), "receive", FaxFileName(modem_)}, "executing", kReceiverDelayUs};
  if (!StartChild(launch, static_cast<void (ModemSlot::*)(int)>(&DspModemSlot::on_fax_receiver_terminate))) {
    return;
  }
  std::clog << ext::header(this) << "fax receiver executed modem=" << modem_ << " ts=" << channel_ << std::endl;
}

void DspModemSlot::on_fax_terminate(int status) {
  std::clog << ext::header(this) << "fax terminated with code " << status << std::endl;
  pid_ = -1;
  // The sender has ended: its pipe is read without waiting.
  const int exec_error = ChildProgram::ExecError(exec_status_);
  static_cast<void>(exec_status_.close());
  int pages = (status >> 8) & 0xff;
  if (exec_error != 0) {
    std::cerr << ext::header(this) << "fail to exec " << ext::quoted(Program(kFaxSender)) << ": "
              << std::strerror(exec_error) << std::endl;
    // Its exit code is the failed exec's, not a count: no page went out.
    pages = 0;
  } else if ((status & 0xff) != 0) {
    std::cerr << ext::header(this) << "fax transfer failed" << std::endl;
  }
  AccountPages(pages);
  if (IsDestroying()) {
    CompleteDestroy();
    return;
  }
  OnAbort(status);
}

void DspModemSlot::AccountPages(int pages) {
  std::cerr << ext::header(this) << "pages received: " << pages << std::endl;
  TERM::ModemProceeding proceeding;
  TERM::MdmAccounting& acct = proceeding.select_acct();
  acct.get_octetsIn().set_low(pages);
  acct.get_octetsIn().set_high(0);
  OnModem(proceeding);
}

void DspModemSlot::on_fax_receiver_terminate(int status) {
  std::clog << ext::header(this) << "fax receiver terminated with code " << status << std::endl;
  pid_ = -1;
  CompleteDestroy();
}
