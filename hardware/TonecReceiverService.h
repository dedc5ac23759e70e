#pragma once

#include "runtime/loop/Event.h"
#include "schemas/LGCP.h"
#include "schemas/TERM.h"

#include <cstddef>
#include <cstdint>

namespace Hardware {

class TonecReceiver;

// The single owner of the DTMF/tone device: sends every request for the
// receivers and reads the device's detector events, handing each to the
// receiver of its timeslot. The device opens at the first use and stays open;
// a failed open, or a device that hung up, is opened again by the next
// configure request.
class TonecReceiverService {
 public:
  // The detector event record: code, timeslot, timestamp, id.
  static constexpr size_t kEventSize = 16;

  static TonecReceiverService& instance();

  // (Re)opens the device and polls it; false with an error line when it cannot be opened.
  bool init();
  bool configureDTMF(unsigned timeslot, const LGCP::DTMFParams& params);
  bool enableDTMF(TonecReceiver& receiver, bool on);
  bool echoCancel(unsigned timeslot, bool on);
  bool enableDTMFReject(unsigned timeslot, bool on);
  bool enableToneGenerator(unsigned timeslot, uint16_t freq1, uint16_t freq2, uint16_t level1, uint16_t level2);
  bool configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params);
  bool enableIVA(TonecReceiver& receiver, bool on);
  bool translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command);

  // The registration's callback.
  void OnEvent(int fd, short revents);
  // Hands one whole event record to the receiver of its timeslot.
  void Dispatch(const uint8_t* record);

  bool is_open() const { return static_cast<bool>(event_.GetFd()); }

 private:
  TonecReceiverService();

  bool EnsureOpen();
  bool Switch(const char* name, unsigned long on_request, unsigned long off_request, bool on, unsigned timeslot);

  Event event_;
  uint32_t last_id_ = 0;
};

}  // namespace Hardware
