#pragma once

#include "hardware/GenericHDLC.h"
#include "runtime/loop/Event.h"

#include <cstdint>
#include <ostream>
#include <vector>

class Packet;

// One framed HDLC link channel on the MCC controller, owned by a signalling
// slot: the owner sets the line binding, the mode and its notify sink, calls
// activate() whenever the binding changes, and hands the channel to its link
// layer as the GenericHDLC below it. The channel owns its "/dev/mcc/ctl"
// descriptor (through its loop registration) and the switch connections it
// made; it idles those that still carry its path when it lets the channel go,
// so a released MCC channel never keeps feeding a line timeslot, and an output
// since given to another source keeps it.
class HDLC : public GenericHDLC {
 public:
  // Where the channel's received frames and events go.
  class Notify {
   public:
    struct Cause {
      enum Type { receive = 0 };
    };
    virtual ~Notify() = default;
    virtual void on_hdlc_receive(Packet& packet) = 0;
    virtual void on_hdlc_error(Cause::Type cause) = 0;
    // The device takes frames: after activation and after it pushed back.
    virtual void on_hdlc_ready() = 0;
  };

  // What the owner reports as the link's counters, in this order.
  struct Counters {
    uint32_t txSU = 0;        // frames written
    uint32_t txDiscard = 0;   // transmit attempts while closed
    uint32_t txError = 0;     // writes that failed
    uint32_t txOverflow = 0;  // never counted into
    uint32_t rxSU = 0;        // frames received
  };

  // Modes an owner sets.
  static constexpr int32_t kModeSs7 = 0;
  static constexpr int32_t kModeData = 1;  // a data link on one trunk timeslot
  static constexpr int32_t kModeBri = 2;   // BRI D channel, separate transmit channel

  HDLC();
  ~HDLC() override;
  HDLC(const HDLC&) = delete;
  HDLC& operator=(const HDLC&) = delete;

  // Points notify at a sink that ignores everything.
  void unbind();
  // (Re)opens the channel with the fields as set; an active channel is first
  // let go. False (with an error line) when the device refuses.
  [[nodiscard]] bool activate();
  // Lets the channel go: closes the descriptor and idles the switch outputs it
  // joined that still carry what it joined them to.
  void deactivate();

  bool hdlc_transmit(Packet& packet) override;
  bool is_open() const override;
  bool is_ready() const override { return ready_; }

  const Counters& counters() const { return counters_; }
  // "hdlc [link/timeslot]: "
  void PutHeader(std::ostream& os) const;

  // The registration's callback with the poll results.
  void OnEvent(int fd, short revents);

  // Set by the owner before activate().
  uint32_t trunk = 0;
  uint32_t timeslot = 0;
  int32_t rx_channel = -1;  // the line timeslot's switch channel
  int32_t tx_channel = -1;  // mode 2: the switch channel taking the channel's output
  int32_t mode = kModeSs7;
  int32_t log = 0;
  uint32_t link = 0;
  Notify* notify = nullptr;

 private:
  void ReceivePass();
  void Join(int source, int output);
  void IdleJoinedOutputs();
  // Releases the descriptor and idles the outputs, without the trace line.
  void Release();

  bool ready_ = false;
  // Counts the descriptors let go: an owner that reopens the channel from inside
  // on_hdlc_receive makes the poll results being served stale.
  uint32_t released_ = 0;
  Counters counters_;
  Event event_;
  struct Path {
    int source;
    int output;
  };
  std::vector<Path> joined_;
};
