#pragma once

#include "runtime/protocol/ProtocolsList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// The smallest owner of a link layer: it owns the layer and writes down what
// the layer reports, as a slot would turn it into signals.
class LinkOwner : public ProtocolsList {
 public:
  // Takes ownership of the layer.
  explicit LinkOwner(Protocol* layer) { add_protocol_tail(layer); }

  void on_activated(Protocol*) override { events.push_back("activated"); }
  void on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status> status) override {
    events.push_back("deactivated " + status->message());
  }
  void on_status(Smart_pointer<Internal_protocol_status> status) override {
    events.push_back("status " + status->message());
  }
  void on_message(Packet& packet) override { messages.emplace_back(packet.data(), packet.data() + packet.length()); }

  std::vector<std::string> TakeEvents() {
    std::vector<std::string> taken;
    taken.swap(events);
    return taken;
  }

  std::vector<std::string> events;
  std::vector<std::vector<uint8_t>> messages;
};

}  // namespace test_support
