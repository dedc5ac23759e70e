#include "runtime/protocol/ProtocolsList.h"

ProtocolsList::~ProtocolsList() {
  while (Protocol* layer = remove_from_tail()) {
    layer->owner_ = nullptr;
    delete layer;
  }
}

void ProtocolsList::on_activated(Protocol*) {}

void ProtocolsList::on_deactivated(Protocol*, Smart_pointer<Internal_protocol_status>) {}

Protocol* ProtocolsList::add_protocol_head(Protocol* layer) {
  insert_to_head(layer);
  layer->owner_ = this;
  return layer;
}

Protocol* ProtocolsList::add_protocol_tail(Protocol* layer) {
  insert_to_tail(layer);
  layer->owner_ = this;
  return layer;
}

Protocol* ProtocolsList::search(const Protocol_name& name) const {
  for (Protocol& layer : *this) {
    if (layer.compare_name(name)) {
      return &layer;
    }
  }
  return nullptr;
}
