// TEI management on the user side of a basic-rate interface (Q.921 5.3),
// and the UI frames that carry layer 3.
#include "runtime/log/Ext.h"
#include "signalling/LAPD.h"
#include "signalling/TeiMessage.h"

#include <iostream>

namespace ISDN {
namespace {

using namespace Tei;

// Requests repeated after this many T202 expiries give up.
constexpr unsigned kN202Repeats = 3;

}  // namespace

uint16_t LAPD::NewRi() {
  return static_cast<uint16_t>(ri_source_());
}

bool LAPD::BeginTeiAssignProcedure() {
  if (!bri_ || side != Side::user) {
    return false;
  }
  // A restart while an establishment waits for the TEI keeps it waiting.
  if (state != kEstablishAwaitingTei) {
    NextState(kAssignAwaitingTei);
  }
  on_mdl_assign();
  ri_ = NewRi();
  tx_identity(ri_, kGroupTei, kIdentityRequest);
  rc = 0;
  StopTimer(TimerId::t200);
  StopTimer(TimerId::t203);
  StartTimer(TimerId::t202);
  return true;
}

void LAPD::tx_identity(uint16_t ri, unsigned ai, uint8_t type) {
  if (!bri_) {
    return;
  }
  Packet frame;
  PutMessage(frame, side != Side::user, ri, type, ai);
  (void)Transmit(frame, false);
}

void LAPD::OnT202() {
  if (state != kAssignAwaitingTei && state != kEstablishAwaitingTei) {
    return;
  }
  if (rc > kN202Repeats) {
    state = kTeiUnassigned;
    ReleasedWithError("link error (T202 expired N202 times)");
    return;
  }
  ri_ = NewRi();
  tx_identity(ri_, kGroupTei, kIdentityRequest);
  StartTimer(TimerId::t202);
  ++rc;
}

void LAPD::on_UI(Packet& info) {
  if (!bri_ || info.length() == 0) {
    return;
  }
  if (trace_level > 3) {
    std::clog << ext::header(this) << "on_UI()" << std::endl;
  }
  if (info[0] != kManagementEntity) {
    // A broadcast for layer 3: the link comes up to answer it.
    if (side == Side::user) {
      if (state == kAwaitingEstablishment) {
        NextState(kTeiAssigned);
      }
      if (state == kTeiAssigned) {
        local_activate();
      }
    }
    on_message(info);
    return;
  }
  if (info.length() < 5) {
    return;
  }
  const uint16_t ri = static_cast<uint16_t>(info[1] | info[2] << 8);
  const uint8_t type = info[3];
  const unsigned ai = info[4] >> 1;
  if (trace_level > 3) {
    std::clog << ext::header(this) << "on_UI() type=" << unsigned{type} << " Ai=" << ai << std::endl;
  }
  const bool awaiting = state == kAssignAwaitingTei || state == kEstablishAwaitingTei;
  switch (type) {
    case kIdentityAssigned:
      // 127 is the group TEI, never one of ours.
      if (awaiting && ri == ri_ && ai != kGroupTei) {
        mdl_assign(ai);
        StopTimer(TimerId::t202);
        StartTimer(TimerId::t200);
      }
      return;
    case kIdentityDenied:
      if (state != kAssignAwaitingTei || ri != ri_) {
        return;
      }
      if (ai == kGroupTei) {
        std::clog << ext::header(this) << "ASP returned: All TEI's used" << std::endl;
      } else {
        std::clog << ext::header(this) << "ASP returned: TEI " << ai << " denied" << std::endl;
      }
      on_error(32768);
      return;
    case kIdentityCheckRequest:
      if (state >= kTeiAssigned && (ai == kGroupTei || ai == own_tei)) {
        tx_identity(ri_, own_tei, kIdentityCheckResponse);
      }
      return;
    case kIdentityRemove:
      if (ai >= kGroupTei || ai == own_tei) {
        mdl_remove();
        (void)BeginTeiAssignProcedure();
      }
      return;
    default:
      return;
  }
}

}  // namespace ISDN
