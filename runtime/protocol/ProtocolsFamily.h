#pragma once

#include "runtime/protocol/ProtocolsList.h"

// A whole stack acting as one layer: it enters at the top layer going down
// and at the bottom layer going up, is up when its top layer is up, and is
// down when any of its layers reports down.
class ProtocolsFamily : public ProtocolsList {
 public:
  void local_prepare_head(Packet& packet) override;
  void local_prepare_tail(Packet& packet) override;
  Smart_pointer<Internal_protocol_status> local_initialize() override;
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& packet) override;
  void receive(Packet& packet) override;
  void on_activated(Protocol* layer) override;
  void on_deactivated(Protocol* layer, Smart_pointer<Internal_protocol_status> status) override;
};
