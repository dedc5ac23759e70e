#pragma once

#include "runtime/loop/Event.h"
#include "runtime/loop/Timer.h"
#include "runtime/net/Fd.h"
#include "server/CtrlSrv.h"

#include <cstdint>
#include <ostream>

// Watches and drives the four E1 framers. From the first controller connect on
// it reports the synchronisation status of every trunk once a second as a
// trunkStatus signal; it sets which trunks take the transmit clock from the
// line (trunkCfg); and it carries channel-associated signalling: opens and
// closes CAS per trunk, configures, sets and reads the bits of single
// timeslots (the slot-less ioctl), and reports every change of received bits
// as a cas signal. It owns the maintenance and CAS descriptors, the status
// timer and the CAS read registration; nothing is opened at construction.
class E1Ctl : public CtrlSrv::Service {
 public:
  static constexpr int kTrunks = 4;
  static constexpr unsigned kStatusPeriodMs = 1000;

  static E1Ctl& instance();

  E1Ctl() = default;

  // Reports the status at once and starts the cycle, resets the transmit
  // clock mask and opens CAS.
  void OnConnect() override;
  // Closes CAS on every trunk that has it open.
  void OnDisconnect() override;
  // Takes the slot-less ioctl and trunkCfg.
  bool OnCommand(const LGCP::Command& command) override;
  void PutHeader(std::ostream& os) const;

  // Selects the board clock source through the maintenance device; false
  // (logged) when the device cannot be opened or refuses the source.
  [[nodiscard]] bool select_source(uint32_t source);
  // Copies trunk and timeslot of a 12-byte CAS channel record (the layout of
  // the set, get and event records) into the channel value.
  static void Assign(LGCP::CasChannel& channel, const uint8_t* record);

 private:
  struct Bits {
    int result;
    int rx;
    int tx;
  };

  void OnCheckStatus();
  // One trunkStatus signal per trunk whose status could be read.
  void SendStatus();
  void SetMode(const LGCP::TrunkCfg& config);
  // Writes the mask, or keeps it pending until the maintenance device opens.
  void UpdateTclk();
  // Opens the maintenance device unless it is open, writing a pending mask; false while it cannot be opened.
  bool OpenMaintenance();
  // Opens the CAS device unless it is open; a failure is retried at the next call.
  void CheckOpenCas();
  void OnUpdateCas(int fd, short revents);

  // A cas command that cannot be carried out (no CAS device, a trunk outside
  // the board, a trunk without CAS) is reported failed in a cas signal.
  void HandleCas(const LGCP::IoctlParams& params);
  void HandleCasOpen(int trunk, int timeslot, int value);
  void HandleCasClose(int trunk, int timeslot);
  void HandleCasSet(int trunk, int timeslot, int value);
  void HandleCasGet(int trunk, int timeslot);
  // The configure request of one channel; its result.
  int Configure(int trunk, int timeslot, int bits, int mode);
  // A set or get request on the channel record: its result and the bits the driver gave back.
  Bits RequestBits(unsigned long request, int trunk, int timeslot, int tx);
  // Reads the channel's bits and reports them, or the failed result.
  void SendBits(int trunk, int timeslot);
  void SendCas(int trunk, int timeslot, int rx, int tx);
  void SendCasFailure(int trunk, int timeslot) { SendCas(trunk, timeslot, kCasFailed, 0); }

  // The rx of a cas signal that reports a failure without a request result of its own.
  static constexpr int kCasFailed = -1;

  Fd maintenance_;
  Timer status_timer_;
  Fd cas_;
  Event cas_event_;
  bool cas_open_[kTrunks] = {};
  // Bit n set: trunk n takes its transmit clock from the line.
  uint32_t tclk_ = 0;
  bool tclk_pending_ = false;
};
