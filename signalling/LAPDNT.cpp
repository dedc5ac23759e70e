// The network side of a basic-rate D channel: TEI management (Q.921 5.3,
// network side) and the routing of layer-3 messages to the terminals.
#include "signalling/LAPDNT.h"

#include "runtime/log/Ext.h"
#include "runtime/protocol/Internal_protocol_status.h"
#include "signalling/LAPDFrame.h"
#include "signalling/Q931FrameLog.h"
#include "signalling/TeiMessage.h"

#include <iostream>

namespace ISDN {
namespace {

using namespace Tei;

constexpr unsigned kFirstAutomaticTei = 64;
constexpr uint8_t kSetup = 0x05;

}  // namespace

LAPD_NT::LAPD_NT() : entries_{{this}, {this}, {this}, {this}, {this}, {this}, {this}, {this}} {}

void LAPD_NT::PutHeader(std::ostream& os) const {
  os << "LAPD(NT BRI):";
}

void LAPD_NT::local_prepare_head(Packet& packet) {
  packet.reserve_head(4);
}

void LAPD_NT::local_prepare_tail(Packet& packet) {
  packet.reserve_tail(0);
}

void LAPD_NT::set_log(unsigned level) {
  trace_level_ = level;
  for (auto& entry : entries_) {
    entry.set_log(level);
  }
}

void LAPD_NT::local_activate() {
  if (trace_level_ != 0) {
    std::clog << ext::header(this) << " activate" << std::endl;
  }
  active_ = true;
  check_all_Tei();
  on_activate();
}

void LAPD_NT::local_deactivate() {
  if (trace_level_ != 0) {
    std::clog << ext::header(this) << " deactivate" << std::endl;
  }
  active_ = false;
  check_timer_.reset();
  repeat_timer_.reset();
  for (auto& entry : entries_) {
    if (entry.state() != LAPD_NT_user::kUnassigned) {
      entry.unassign();
    }
  }
}

void LAPD_NT::on_hdlc_error() {
  std::cerr << ext::header(this) << " hdlc error" << std::endl;
  const bool was_active = active_;
  local_deactivate();
  if (was_active) {
    on_deactivate(Smart_pointer<Internal_protocol_status>(new Protocol_status_error(this, "error (HDLC failure)")));
  }
}

void LAPD_NT::send(Packet& frame) {
  if (trace_level_ > 2) {
    char text[1024];
    dlogframe(frame.data(), frame.length(), 1, text, sizeof text);
    std::clog << ext::header(this) << " tx: " << text << std::endl;
  }
  transmit(frame);
}

void LAPD_NT::message(Packet& packet) {
  if (packet.length() <= 3) {
    return;
  }
  if (packet[3] == kSetup) {
    // To every terminal at once: UI, SAPI 0, command, TEI 127.
    Packet frame;
    frame.reserve_head(3);
    frame.put(packet);
    frame.push8(LAPDFrame::kUI);
    LAPDFrame::PushAddress(frame, 0, kGroupTei, true);
    send(frame);
    return;
  }
  for (auto& entry : entries_) {
    if (entry.message(packet)) {
      return;
    }
  }
}

void LAPD_NT::receive(Packet& packet) {
  if (packet.length() <= 2 || (packet[0] & 1) != 0 || (packet[1] & 1) == 0) {
    return;
  }
  if (trace_level_ > 2) {
    char text[1024];
    dlogframe(packet.data(), packet.length(), 0, text, sizeof text);
    std::clog << ext::header(this) << " rx: " << text << std::endl;
  }
  const unsigned sapi = packet[0] >> 2;
  const bool response = (packet[0] & 2) != 0;
  const unsigned tei = packet[1] >> 1;
  if (tei == kGroupTei) {
    if (packet[2] != LAPDFrame::kUI) {
      return;
    }
    if (sapi == 63) {
      on_tei_procedure(packet);
    } else {
      Packet info = packet.sub(packet.length() - 3, 3);
      on_message(info);
    }
    return;
  }
  // The entries speak SAPI 0 only.
  if (sapi != 0) {
    return;
  }
  LAPD_NT_user* entry = find_Tei(tei);
  if (entry == nullptr) {
    unsigned ignored = 0;
    entry = find_free_Tei(tei, ignored);
    if (entry == nullptr) {
      if (trace_level_ != 0) {
        std::clog << ext::header(this) << " recieved packet with unassigned TEI=" << tei << ",removed" << std::endl;
      }
      remove_tei(tei);
      return;
    }
    if (trace_level_ != 0) {
      std::clog << ext::header(this) << " Warning:recieved packet with unassigned TEI=" << tei << std::endl;
    }
    entry->assign(tei);
  }
  entry->receive(packet, response);
}

LAPD_NT_user* LAPD_NT::find_Tei(unsigned tei) {
  for (auto& entry : entries_) {
    if (entry.state() != LAPD_NT_user::kUnassigned && entry.tei() == tei) {
      return &entry;
    }
  }
  return nullptr;
}

LAPD_NT_user* LAPD_NT::find_free_Tei(unsigned ai, unsigned& tei) {
  LAPD_NT_user* free = nullptr;
  for (auto& entry : entries_) {
    if (entry.state() == LAPD_NT_user::kUnassigned) {
      free = &entry;
      break;
    }
  }
  if (free == nullptr || ai != kGroupTei) {
    tei = ai;
    return free;
  }
  for (tei = kFirstAutomaticTei; tei < kGroupTei; ++tei) {
    if (find_Tei(tei) == nullptr) {
      return free;
    }
  }
  return nullptr;
}

void LAPD_NT::tx_tei(uint16_t ri, uint8_t type, unsigned ai) {
  Packet frame;
  PutMessage(frame, true, ri, type, ai);
  send(frame);
}

void LAPD_NT::remove_tei(unsigned ai) {
  tx_tei(0, kIdentityRemove, ai);
  tx_tei(0, kIdentityRemove, ai);
}

void LAPD_NT::check_all_Tei() {
  if (trace_level_ != 0) {
    std::clog << ext::header(this) << " Checking Tei values...." << std::endl;
  }
  bool any = false;
  for (auto& entry : entries_) {
    if (entry.state() != LAPD_NT_user::kUnassigned) {
      entry.checking();
      any = true;
    }
  }
  tx_tei(0, kIdentityCheckRequest, kGroupTei);
  // A lost request or answer must not cost a live terminal its TEI: ask again.
  if (any) {
    repeat_timer_.set(kCheckRepeat, &LAPD_NT::OnCheckRepeat, this);
  }
  check_timer_.set(kCheckCycle, &LAPD_NT::OnCheckTimer, this);
}

void LAPD_NT::OnCheckTimer() {
  check_all_Tei();
}

void LAPD_NT::OnCheckRepeat() {
  for (const auto& entry : entries_) {
    if (entry.is_checking()) {
      tx_tei(0, kIdentityCheckRequest, kGroupTei);
      return;
    }
  }
}

void LAPD_NT::on_tei_procedure(const Packet& frame) {
  if (frame.length() < 8 || frame[3] != kManagementEntity) {
    return;
  }
  const uint16_t ri = static_cast<uint16_t>(frame[4] | frame[5] << 8);
  const uint8_t type = frame[6];
  const unsigned ai = frame[7] >> 1;
  auto trace = [this](const auto&... parts) {
    if (trace_level_ != 0) {
      ((std::clog << ext::header(this) << " ") << ... << parts) << std::endl;
    }
  };
  switch (type) {
    case kIdentityRequest: {
      if (ai < kFirstAutomaticTei) {
        trace("recieved identity request with wrong Ai=", ai, ",ignored");
        return;
      }
      if (ai < kGroupTei) {
        trace("recieved identity request with wrong Ai=", ai, ",denied");
        tx_tei(ri, kIdentityDenied, ai);
        return;
      }
      unsigned tei = 0;
      LAPD_NT_user* entry = find_free_Tei(kGroupTei, tei);
      if (entry == nullptr) {
        trace("recieved identity request, but all TEI values is ussigned");
        tx_tei(ri, kIdentityDenied, kGroupTei);
        return;
      }
      trace("recieved identity request,TEI assigned:", tei);
      tx_tei(ri, kIdentityAssigned, tei);
      entry->assign(tei);
      // The terminal answers checks with the reference of its request.
      entry->set_ri(ri);
      return;
    }
    case kIdentityCheckResponse: {
      LAPD_NT_user* entry = ai == kGroupTei ? nullptr : find_Tei(ai);
      if (entry == nullptr) {
        unsigned tei = 0;
        entry = ai == kGroupTei ? nullptr : find_free_Tei(ai, tei);
        if (entry == nullptr) {
          trace("recieved check response with wrong Ai=", ai, ",removed");
          remove_tei(ai);
          return;
        }
        entry->assign(ai);
        entry->set_ri(ri);
        return;
      }
      if (!entry->is_checking()) {
        if (!entry->ri() || *entry->ri() == ri) {
          entry->set_ri(ri);
          return;
        }
        trace("recieved check response with dublicated Ai=", ai, ",removed");
        entry->unassign();
        remove_tei(ai);
        return;
      }
      trace("TEI ", ai, " checked");
      entry->assign(ai);
      entry->set_ri(ri);
      return;
    }
    case kIdentityVerify:
      trace("recieved verify request");
      check_all_Tei();
      return;
    default:
      return;
  }
}

}  // namespace ISDN
