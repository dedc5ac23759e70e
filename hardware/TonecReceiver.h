#pragma once

#include "runtime/containers/CyclicList.h"
#include "runtime/loop/Timer.h"
#include "schemas/LGCP.h"
#include "schemas/TERM.h"

#include <cstdint>

namespace Hardware {

class TonecReceiverService;

// A client of the DTMF/tone device for one TDM timeslot, inherited by the slot
// kinds that detect digits on their channel or play tones into it. It holds
// what it switched on (so that CleanBeforeDestroy can switch it off again),
// the id of its detector enable that tells its events from stale ones, and the
// tone cadences it drives on its own timer: the wait tone and the sending of a
// digit string. Every receiver is on one process-wide list, oldest first,
// which the service walks to deliver an event.
class TonecReceiver {
 public:
  // What a detector event gives the receiver.
  struct Params {
    uint32_t code;
    uint32_t timestamp;
  };

  TonecReceiver();
  TonecReceiver(const TonecReceiver&) = delete;
  TonecReceiver& operator=(const TonecReceiver&) = delete;
  virtual ~TonecReceiver();

  virtual void tonec_event(const Params& params) = 0;
  virtual unsigned tonec_timeslot() const = 0;
  // A digit string has been sent completely.
  virtual void tone_gen_complete() {}

  // Each forwards to the service with this receiver's timeslot; true on success.
  bool configureDTMF(const LGCP::DTMFParams& params);
  bool enableDTMF(bool on);
  bool disableDTMF();
  bool echoCancel(bool on);
  bool enableDTMFReject(bool on);
  bool configureIVA(const LGCP::IVAParams& params);
  // Shares the events-enabled flag with the DTMF detector.
  bool enableIVA(bool on);
  bool translateSelcal(const TERM::SelcalCommand& command);
  bool enableToneGenerator(uint16_t freq1, uint16_t freq2, uint16_t level1, uint16_t level2);
  bool enableSilence();
  // Unforced, only a digit string being sent is stopped; forced, the
  // generator goes off in any case.
  bool disableToneGenerator(bool force);

  // Starts the wait tone: 1 s of 425 Hz, 3 s of silence, again and again.
  void activateAudibleCall();
  // Stops the wait tone, unless a digit string is being sent.
  void cancelAudibleCall();
  // Sends the digits, each as a tone and a pause; a string sent meanwhile
  // takes over from the next step.
  void translateDTMF(const LGCP::TranslateDtmfParams& params);
  // Switches off what this receiver switched on; its owner calls it before
  // destroying it.
  void CleanBeforeDestroy();

  bool events_enabled() const { return events_enabled_; }
  bool sending() const { return sending_; }
  uint32_t id() const { return id_; }

  // Every receiver, oldest first.
  static Containers::CyclicList& All();

 private:
  friend class TonecReceiverService;

  struct Link : Containers::CyclicList {
    explicit Link(TonecReceiver* owner) : owner(owner) {}
    TonecReceiver* owner;
  };

  void ToneStep();
  void SilenceStep();
  void DigitStep();
  void PauseStep();
  // The controller's lengths, or 70 ms.
  unsigned ToneLength() const;
  unsigned PauseLength() const;

  bool events_enabled_ = false;
  Timer timer_;
  bool sending_ = false;
  uint32_t id_ = 0;
  LGCP::TranslateDtmfParams digits_;
  Link link_{this};
  bool iva_on_ = false;
  bool dtmf_on_ = false;
  bool reject_on_ = false;
};

}  // namespace Hardware
