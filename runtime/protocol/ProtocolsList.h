#pragma once

#include "runtime/containers/F_dual_list.h"
#include "runtime/protocol/Protocol.h"

// Owner of a protocol stack: the list's head is the bottom layer, its tail
// the top one. It deletes its layers, top first, when it goes.
class ProtocolsList : public Protocol, protected F_dual_list<Protocol> {
 public:
  ProtocolsList() = default;
  ~ProtocolsList() override;

  // The top layer came up.
  virtual void on_activated(Protocol* layer);
  // A layer reported the stack down, with why.
  virtual void on_deactivated(Protocol* layer, Smart_pointer<Internal_protocol_status> status);
  // Adds a layer below the others / above the others and takes ownership.
  virtual Protocol* add_protocol_head(Protocol* layer);
  virtual Protocol* add_protocol_tail(Protocol* layer);

  // The first layer, bottom up, that answers to the name; null when none.
  Protocol* search(const Protocol_name& name) const;

  Protocol* bottom() const { return first(); }
  Protocol* top() const { return last(); }

 private:
  friend class Protocol;
};
