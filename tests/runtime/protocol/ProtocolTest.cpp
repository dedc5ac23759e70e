#include "runtime/protocol/Protocol.h"

#include "runtime/protocol/ProtocolsFamily.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Status = Smart_pointer<Internal_protocol_status>;
using Log = std::vector<std::string>;

// A default layer that notes what reaches it. It puts a one-byte header
// (its tag) on the way down and takes it off on the way up.
class Layer : public Protocol {
 public:
  Layer(std::string tag, Log& log) : tag_(std::move(tag)), log_(log) {}
  ~Layer() override { log_.push_back(tag_ + " deleted"); }

  void local_prepare_head(Packet& packet) override { packet.reserve_head(1); }
  Status local_initialize() override {
    log_.push_back(tag_ + " initialize");
    if (fail_initialize) {
      return Status(new Protocol_initialize_error(this, tag_ + " failed"));
    }
    return Protocol::local_initialize();
  }
  void local_activate() override {
    log_.push_back(tag_ + " activate");
    Protocol::local_activate();
  }
  void local_deactivate() override {
    log_.push_back(tag_ + " deactivate");
    Protocol::local_deactivate();
  }
  void message(Packet& packet) override {
    packet.push8(static_cast<uint8_t>(tag_[0]));
    if (lower() == nullptr) {
      log_.push_back("wire " + packet.text());
      return;
    }
    transmit(packet);
  }
  void receive(Packet& packet) override {
    log_.push_back(tag_ + " strips " + std::string(1, static_cast<char>(packet.pull8())));
    on_message(packet);
  }

  bool fail_initialize = false;

 private:
  std::string tag_;
  Log& log_;
};

class Owner : public ProtocolsFamily {
 public:
  explicit Owner(Log& log) : log_(log) {}
  Layer* Add(const std::string& tag) { return static_cast<Layer*>(add_protocol_tail(new Layer(tag, log_))); }

  void on_message(Packet& packet) override { log_.push_back("owner message " + packet.text()); }
  void on_activated(Protocol* layer) override {
    log_.push_back(std::string("owner activated by ") + (layer == top() ? "top" : "another layer"));
    ProtocolsFamily::on_activated(layer);
  }
  void on_deactivated(Protocol* layer, Status status) override {
    last_status = status;
    log_.push_back(std::string("owner deactivated by ") + (layer == top() ? "top" : "bottom") + ": " +
                   status->message() + (status->success() ? " (success)" : " (failure)"));
  }
  void on_status(Status status) override { log_.push_back("owner status " + status->message()); }

  Status last_status;

 private:
  Log& log_;
};

TEST(Protocol, ActivationClimbsFromTheBottomAndDeletionStartsAtTheTop) {
  Log log;
  {
    Owner owner(log);
    for (const char* tag : {"A", "B", "C"}) {
      owner.Add(tag);
    }
    owner.activate();
    log.push_back("end");
  }
  EXPECT_EQ(log, (Log{"A activate", "B activate", "C activate", "owner activated by top", "end", "C deleted",
                      "B deleted", "A deleted"}));
}

TEST(Protocol, DeactivationGoesDownAndFailureClimbs) {
  Log log;
  Owner owner(log);
  Layer* bottom = owner.Add("A");
  owner.Add("B");

  owner.deactivate();
  EXPECT_EQ(log, (Log{"B deactivate", "A deactivate", "owner deactivated by bottom: success (success)"}));
  EXPECT_EQ(owner.last_status->source(), bottom);

  log.clear();
  const Status failure(new Protocol_status_error(bottom, "read error: gone"));
  bottom->on_deactivate(failure);
  EXPECT_EQ(log, (Log{"owner deactivated by top: read error: gone (failure)"}));
  EXPECT_EQ(owner.last_status, failure) << "the same status object reaches the owner";

  log.clear();
  bottom->on_status(Status(new Protocol_status_success(bottom, "fine")));
  EXPECT_EQ(log, (Log{"owner status fine"}));
}

TEST(Protocol, PacketsGainAndLoseEveryHeader) {
  Log log;
  Owner owner(log);
  owner.Add("A");
  owner.Add("B");

  Packet packet;
  owner.prepare_head(packet);
  std::ostringstream room;
  packet.dump(room);
  EXPECT_EQ(room.str(), "head=2, data=0, tail=65534") << "each layer's header room, bottom first";
  packet.put8(0x01);
  owner.message(packet);

  Packet wire;
  wire.reserve_head(0);
  const uint8_t bytes[] = {'A', 'B', 0x01};
  wire.put(bytes, sizeof bytes);
  owner.receive(wire);
  EXPECT_EQ(log, (Log{"wire 41 42 01", "A strips A", "B strips B", "owner message 01"}));
}

}  // namespace
