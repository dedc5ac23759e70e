#pragma once

#include "runtime/net/Fd.h"
#include "slots/ModemSlot.h"

// An analog modem of the board's DSP modem device ("/dev/mctl"), allocated
// when the slot is first connected. It answers or originates a data call with
// the PPP daemon on its serial port "/dev/mdm<index>", or with fax: sends
// with the fax program, originates, or receives into a file under "/var/".
class DspModemSlot : public ModemSlot {
 public:
  using ModemSlot::ModemSlot;
  ~DspModemSlot() override = default;

  void IAfterCreate() override {}
  // True once the modem is set up.
  bool IOnOutputStream() override { return InitModem(); }
  bool IOnInputStream() override { return InitModem(); }
  int IGetTransmitChannel() const override { return channel_; }
  int IGetReceiveChannel() const override { return channel_; }
  const char* GetName() const override { return "dsp-modem"; }
  int modem_id() const override { return modem_; }
  void unbind() override;

 private:
  // Allocates and sets the modem up, then starts the call; repeated after a failure.
  bool InitModem();
  // Tells the controller of the failed step; the modem stays unset.
  void FailSetUp(const char* what);
  void SetParameters(const Fd& device, int modem);
  void StartCall(const Fd& device);
  void StartFax(Fd& device);
  void RunFaxSender(Fd& device);
  void RunFaxReceiver();
  void on_fax_terminate(int status);
  // Sends the ended fax sender's page count as accounting.
  void AccountPages(int pages);
  void on_fax_receiver_terminate(int status);

  Fd control_;
  // The running fax sender's exec-status pipe, read once it has ended.
  Fd exec_status_;
  int channel_ = -1;
  int modem_ = -1;
};
