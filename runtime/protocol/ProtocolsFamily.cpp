#include "runtime/protocol/ProtocolsFamily.h"

void ProtocolsFamily::local_prepare_head(Packet& packet) {
  if (top() != nullptr) {
    top()->prepare_head(packet);
  }
}

void ProtocolsFamily::local_prepare_tail(Packet& packet) {
  if (top() != nullptr) {
    top()->prepare_tail(packet);
  }
}

Smart_pointer<Internal_protocol_status> ProtocolsFamily::local_initialize() {
  if (top() == nullptr) {
    return Smart_pointer<Internal_protocol_status>(new Protocol_initialize_error(this, "error"));
  }
  return top()->initialize();
}

void ProtocolsFamily::local_activate() {
  if (top() != nullptr) {
    top()->activate();
  }
}

void ProtocolsFamily::local_deactivate() {
  if (top() != nullptr) {
    top()->deactivate();
  }
}

void ProtocolsFamily::message(Packet& packet) {
  if (top() != nullptr) {
    top()->message(packet);
  }
}

void ProtocolsFamily::receive(Packet& packet) {
  if (bottom() != nullptr) {
    bottom()->receive(packet);
  }
}

void ProtocolsFamily::on_activated(Protocol* layer) {
  if (layer == top()) {
    on_activate();
  }
}

void ProtocolsFamily::on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status> status) {
  on_deactivate(status);
}
