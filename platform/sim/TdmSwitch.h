#pragma once

#include "platform/sim/History.h"

#include <cstdint>
#include <map>
#include <vector>

namespace sim {

// The TDM switch of the simulated "/dev/hal": what each output carries, what a
// read of a channel gives back, and the requests that changed something.
// Outputs start disabled, as the server's opening pass leaves them.
class TdmSwitch {
 public:
  // One past the highest channel of the board's switch.
  static constexpr int kChannelEnd = 10240;

  enum class Carries { nothing, source, constant };
  struct Output {
    Carries carries = Carries::nothing;
    int value = 0;  // the source channel or the constant byte
    bool operator==(const Output& other) const { return carries == other.carries && value == other.value; }
  };
  enum class Operation { connect, disable, write, read };
  struct Request {
    Operation operation;
    int channel;
    int value;  // source channel, constant byte or byte read; 0 for a disable
    bool operator==(const Request& other) const {
      return operation == other.operation && channel == other.channel && value == other.value;
    }
  };

  // The switch requests; each returns 0 (a read: the byte) or -errno.
  long Connect(int output, int source);
  long Disable(int output);
  long Write(int output, int value);
  long Read(int channel);

  Output OutputOf(int output) const;
  // The outputs that carry the source channel.
  std::vector<int> OutputsCarrying(int source) const;
  // Connects, writes and reads, and the disables of outputs that were not
  // already off: the repeated disables of the refresh are left out.
  std::vector<Request> Requests() const;
  void ClearRequests();
  // Every disable request an output got, refresh included.
  unsigned DisableCount(int output) const;
  // A read of the channel gives this byte from now on (another board's
  // pattern, or a bad byte on the bus), whatever the output sends.
  void SetReadValue(int channel, uint8_t value);

 private:
  std::map<int, Output> outputs_;
  // By channel: the refresh disables outputs by the thousand, and a lookup
  // per request should cost the server's figures as little as the board's.
  std::vector<unsigned> disable_counts_ = std::vector<unsigned>(kChannelEnd);
  std::map<int, uint8_t> read_values_;
  History<Request> requests_;
};

}  // namespace sim
