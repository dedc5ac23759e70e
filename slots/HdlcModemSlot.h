#pragma once

#include "slots/ModemSlot.h"

#include <string>

// A digital modem: one of the board's point-to-point HDLC interfaces
// ("hdlc<n>"), switched to PPP for the daemon while the slot lives and back
// to raw HDLC, down, when it goes. The interface is the slot's alone until the
// slot is unbound.
class HdlcModemSlot : public ModemSlot {
 public:
  HdlcModemSlot(ModemFactory& factory, const TERM::ModemParams& params, std::string interface);
  ~HdlcModemSlot() override;

  void IAfterCreate() override {}
  // True once the interface is switched to PPP and the daemon runs.
  bool IOnOutputStream() override { return initModem(); }
  bool IOnInputStream() override { return initModem(); }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "digital-modem"; }
  int modem_id() const override { return -1; }
  void unbind() override;

  const std::string& interface() const { return interface_; }

 private:
  bool initModem();
  void RestoreHdlc();

  int channel_ = -1;
  std::string interface_;
};
