#include "runtime/protocol/Protocol.h"

#include "runtime/protocol/ProtocolsList.h"

#include <cstring>

namespace {

Smart_pointer<Internal_protocol_status> Success(Protocol* source) {
  return Smart_pointer<Internal_protocol_status>(new Protocol_status_success(source, "success"));
}

}  // namespace

bool Protocol_name_str::compare(const Protocol_name& other) const {
  return other.kind() == 1 && std::strcmp(other.name(), name()) == 0;
}

Protocol::~Protocol() {
  if (owner_ != nullptr) {
    owner_->remove(this);
  }
}

void Protocol::local_prepare_head(Packet& packet) {
  packet.reserve_head(0);
}

void Protocol::local_prepare_tail(Packet& packet) {
  packet.reserve_tail(0);
}

Smart_pointer<Internal_protocol_status> Protocol::local_initialize() {
  return Success(this);
}

void Protocol::local_activate() {
  on_activate();
}

void Protocol::local_deactivate() {
  on_deactivate(Success(this));
}

void Protocol::transmit(Packet& packet) {
  if (lower() != nullptr) {
    lower()->message(packet);
    return;
  }
  if (owner_ != nullptr) {
    owner_->transmit(packet);
  }
}

void Protocol::on_message(Packet& packet) {
  if (upper() != nullptr) {
    upper()->receive(packet);
    return;
  }
  if (owner_ != nullptr) {
    owner_->on_message(packet);
  }
}

void Protocol::on_activate() {
  if (upper() != nullptr) {
    upper()->local_activate();
    return;
  }
  if (owner_ != nullptr) {
    owner_->on_activated(this);
  }
}

void Protocol::on_deactivate(Smart_pointer<Internal_protocol_status> status) {
  if (status->success()) {
    if (lower() != nullptr) {
      lower()->deactivate();
      return;
    }
  } else if (upper() != nullptr) {
    upper()->on_deactivate(status);
    return;
  }
  if (owner_ != nullptr) {
    owner_->on_deactivated(this, status);
  }
}

void Protocol::on_status(Smart_pointer<Internal_protocol_status> status) {
  if (upper() != nullptr) {
    upper()->on_status(status);
    return;
  }
  if (owner_ != nullptr) {
    owner_->on_status(status);
  }
}

void Protocol::message(Packet&) {}

void Protocol::receive(Packet&) {}

void Protocol::activate() {
  if (lower() != nullptr) {
    lower()->activate();
    return;
  }
  local_activate();
}

void Protocol::deactivate() {
  local_deactivate();
}

void Protocol::protocol_info(std::ostream&) {}

void Protocol::prepare_head(Packet& packet) {
  if (lower() != nullptr) {
    lower()->prepare_head(packet);
  }
  local_prepare_head(packet);
}

void Protocol::prepare_tail(Packet& packet) {
  if (lower() != nullptr) {
    lower()->prepare_tail(packet);
  }
  local_prepare_tail(packet);
}

Smart_pointer<Internal_protocol_status> Protocol::initialize() {
  if (lower() != nullptr) {
    Smart_pointer<Internal_protocol_status> status = lower()->initialize();
    if (!status->success()) {
      return status;
    }
  }
  return local_initialize();
}
