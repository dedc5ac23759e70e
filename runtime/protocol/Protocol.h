#pragma once

#include "runtime/containers/F_dual_list.h"
#include "runtime/containers/Smart_pointer.h"
#include "runtime/protocol/Internal_protocol_status.h"
#include "runtime/protocol/Packet.h"

#include <iosfwd>
#include <string>

class ProtocolsList;

// The name a layer can be searched by.
class Protocol_name {
 public:
  virtual ~Protocol_name() = default;
  virtual int kind() const = 0;
  virtual const char* name() const = 0;
  virtual bool compare(const Protocol_name& other) const = 0;
};

class Protocol_name_null : public Protocol_name {
 public:
  int kind() const override { return 0; }
  const char* name() const override { return "(no name)"; }
  bool compare(const Protocol_name& other) const override { return other.kind() == 0; }
};

class Protocol_name_str : public Protocol_name {
 public:
  // A null text is taken as "(no name)".
  explicit Protocol_name_str(const char* text) : text_(text != nullptr ? text : "(no name)") {}
  int kind() const override { return 1; }
  const char* name() const override { return text_.c_str(); }
  bool compare(const Protocol_name& other) const override;

 private:
  std::string text_;
};

// What a layer tells about itself. No layer overrides it, so every layer is
// named "(no name)" and a search by name finds nothing.
class Protocol_info {
 public:
  virtual ~Protocol_info() = default;
  virtual bool compare_name(const Protocol_name&) const { return false; }
  virtual const Protocol_name& name() const { return name_; }

 private:
  Protocol_name_null name_;
};

// One layer of a protocol stack owned by a ProtocolsList. Packets go down
// through message() and up through receive(); activation, deactivation,
// initialisation and status reports travel along the same chain. Every
// default only forwards to the neighbour layer or to the owner, so a layer
// overrides just what it does. The list links are the neighbours: next is the
// layer above, prev the layer below.
class Protocol : public Protocol_info, public F_dual_list_item<Protocol> {
 public:
  Protocol() = default;
  Protocol(const Protocol&) = delete;
  Protocol& operator=(const Protocol&) = delete;
  // Leaves the owner's list.
  ~Protocol() override;

  virtual void local_prepare_head(Packet& packet);
  virtual void local_prepare_tail(Packet& packet);
  virtual Smart_pointer<Internal_protocol_status> local_initialize();
  virtual void local_activate();
  virtual void local_deactivate();
  // Hands a packet to the layer below, or to the owner at the bottom.
  virtual void transmit(Packet& packet);
  // Hands a packet to the layer above, or to the owner at the top.
  virtual void on_message(Packet& packet);
  // This layer is up: the layer above comes up next, or the owner hears of it.
  virtual void on_activate();
  // This layer is down. A success goes on down (the next layer deactivates);
  // a failure climbs to the owner without deactivating the layers above.
  virtual void on_deactivate(Smart_pointer<Internal_protocol_status> status);
  virtual void on_status(Smart_pointer<Internal_protocol_status> status);
  // A packet sent into this layer from above.
  virtual void message(Packet& packet);
  // A packet handed to this layer from below.
  virtual void receive(Packet& packet);
  // Walks down: the bottom layer starts the real work.
  virtual void activate();
  virtual void deactivate();
  virtual void protocol_info(std::ostream& os);

  // Reserves the header room of this layer and of every layer below it,
  // bottom first; the bottom layer creates the buffer.
  void prepare_head(Packet& packet);
  void prepare_tail(Packet& packet);
  // Bottom up; stops at the first failure and returns it.
  Smart_pointer<Internal_protocol_status> initialize();

  Protocol* upper() const { return next; }
  Protocol* lower() const { return prev; }
  ProtocolsList* owner() const { return owner_; }

 private:
  friend class ProtocolsList;

  ProtocolsList* owner_ = nullptr;
};
