// The state table of the LAPD link (Q.921 annex B): primitives, received
// frames and timer expiries by state.
#include "runtime/log/Ext.h"
#include "signalling/LAPD.h"
#include "signalling/LAPDFrame.h"

#include <iostream>

namespace ISDN {
namespace {

using namespace LAPDFrame;

constexpr bool kCommand = true;
constexpr bool kResponse = false;

const char* ErrorText(unsigned code) {
  switch (code) {
    case 1:
      return "Supervisory (F = 1)";
    case 2:
      return "DM (F = 1)";
    case 4:
      return "UA (F = 1)";
    case 8:
      return "UA (F = 0)";
    case 16:
      return "Receipt of DM response (F = 0)";
    case 32:
      return "Peer initiated re-establishment - SABME";
    case 64:
      return "Unsuccessful retransmission (N200 times) - SABME";
    case 128:
      return "Unsuccessful retransmission (N200 times) - DISC";
    case 256:
      return "Unsuccessful retransmission (N200 times) - Status enquiry";
    case 512:
      return "Other - N(R) error";
    case 1024:
      return "Other - Receipt of FRMR response";
    case 2048:
      return "Other - Receipt of undefined frame";
    case 4096:
      return "Other - Receipt of I field not permitted";
    case 8192:
      return "Other - Receipt of frame with wrong size";
    case 16384:
      return "Other - N201 error";
    case 32768:
      return "Tei Assign - Tei denied";
    default:
      return "Other - Unknown";
  }
}

Smart_pointer<Internal_protocol_status> Success(Protocol* link, const char* text) {
  return Smart_pointer<Internal_protocol_status>(new Protocol_status_success(link, text));
}

}  // namespace

// ---- Common steps.

void LAPD::on_error(unsigned code) {
  Report(ErrorText(code));
}

void LAPD::Report(const std::string& text) {
  on_status(Smart_pointer<Internal_protocol_status>(new Status(this, text)));
}

void LAPD::Released(Smart_pointer<Internal_protocol_status> why) {
  on_deactivate(why);
}

void LAPD::ReleasedWithError(const char* text) {
  Released(Smart_pointer<Internal_protocol_status>(new Status(this, text)));
}

void LAPD::ClearExceptions() {
  peer_busy = false;
  own_busy = false;
  reject_exception = false;
  acknowledge_request = false;
}

void LAPD::Establish(bool by_layer3) {
  ClearExceptions();
  rc = 0;
  (void)tx_U(kSABME, kCommand, true);
  StopTimer(TimerId::t203);
  StartTimer(TimerId::t200);
  l3_initiated = by_layer3;
  NextState(kAwaitingEstablishment);
}

void LAPD::TxEnquiry() {
  if (trace_level > 3) {
    std::clog << ext::header(this) << "tx_enquiry, ownBusy=" << own_busy << std::endl;
  }
  (void)tx_S(own_busy ? kRNR : kRR, kCommand, true);
  acknowledge_request = false;
  StartTimer(TimerId::t200);
}

void LAPD::TxEnquiryResponse() {
  if (trace_level > 3) {
    std::clog << ext::header(this) << "tx_enquiry_response" << std::endl;
  }
  (void)tx_S(own_busy ? kRNR : kRR, kResponse, true);
  acknowledge_request = false;
}

void LAPD::nr_recovery() {
  ++stats_.badconfirm;
  on_error(512);
  Establish(false);
}

void LAPD::Retransmission(Sequence nr) {
  va = nr;
  retransmission_request = true;
  queued_up = true;
}

bool LAPD::InWindow(Sequence nr) const {
  return va <= nr <= vs;
}

// ---- Primitives.

void LAPD::local_activate() {
  if (trace_level > 0) {
    std::clog << ext::header(this) << "DL-ESTABLISH" << std::endl;
  }
  switch (state) {
    case kTeiUnassigned:
      rc = 0;
      // Established as soon as the TEI comes.
      if (BeginTeiAssignProcedure()) {
        NextState(kEstablishAwaitingTei);
      }
      return;
    case kAssignAwaitingTei:
      NextState(kEstablishAwaitingTei);
      return;
    case kTeiAssigned:
      Establish(true);
      return;
    case kAwaitingEstablishment:
      DiscardQueues();
      l3_initiated = true;
      return;
    case kMultipleFrameEstablished:
    case kTimerRecovery:
      DiscardQueues();
      Establish(true);
      return;
    default:
      return;
  }
}

void LAPD::local_deactivate() {
  if (trace_level > 1) {
    std::clog << ext::header(this) << "DL-RELEASE" << std::endl;
  }
  switch (state) {
    case kTeiAssigned:
      Released(Success(this, "success (deactivated locally)"));
      return;
    case kAwaitingEstablishment:
      DiscardQueues();
      rc = 0;
      (void)tx_U(kDISC, kCommand, true);
      StopTimer(TimerId::t203);
      StopTimer(TimerId::t202);
      StartTimer(TimerId::t200);
      NextState(kTeiAssigned);
      Released(Success(this, "success (deactivated locally)"));
      return;
    case kMultipleFrameEstablished:
    case kTimerRecovery:
      DiscardQueues();
      rc = 0;
      (void)tx_U(kDISC, kCommand, true);
      StopTimer(TimerId::t203);
      StartTimer(TimerId::t200);
      NextState(kAwaitingRelease);
      return;
    default:
      return;
  }
}

void LAPD::mdl_assign(unsigned tei) {
  if (trace_level > 1) {
    std::clog << ext::header(this) << "MDL-ASSIGN (tei=" << tei << ")" << std::endl;
  }
  if (tei != own_tei) {
    // They answer frames made for the old TEI, which another terminal may get.
    waiting_responses_.clear();
  }
  own_tei = tei;
  if (state != kEstablishAwaitingTei) {
    NextState(kTeiAssigned);
    return;
  }
  Establish(true);
}

void LAPD::mdl_remove() {
  std::clog << ext::header(this) << "MDL-REMOVE" << std::endl;
  // The TEI they carry is no longer ours.
  waiting_responses_.clear();
  const uint32_t was = state;
  switch (was) {
    case kTeiAssigned:
      DiscardQueues();
      break;
    case kAwaitingEstablishment:
    case kTimerRecovery:
      DiscardQueues();
      StopTimer(TimerId::t200);
      break;
    case kAwaitingRelease:
      StopTimer(TimerId::t200);
      break;
    case kMultipleFrameEstablished:
      DiscardQueues();
      StopTimer(TimerId::t200);
      StopTimer(TimerId::t203);
      break;
    default:
      return;
  }
  NextState(kTeiUnassigned);
  if (was != kTeiAssigned) {
    ReleasedWithError("error (MDL-REMOVE received)");
  }
}

// ---- Unnumbered frames.

void LAPD::OnSABME(const Frame& f) {
  vs = va = vr = 0;
  EmptyAckQueue();
  switch (state) {
    case kTeiAssigned:
      if (!establishable) {
        (void)tx_U(kDM, kResponse, f.pf);
        return;
      }
      (void)tx_U(kUA, kResponse, f.pf);
      ClearExceptions();
      StartTimer(TimerId::t203);
      NextState(kMultipleFrameEstablished);
      on_activate();
      return;
    case kAwaitingEstablishment:
      (void)tx_U(kUA, kResponse, f.pf);
      return;
    case kAwaitingRelease:
      (void)tx_U(kDM, kResponse, f.pf);
      return;
    case kMultipleFrameEstablished:
    case kTimerRecovery:
      (void)tx_U(kUA, kResponse, f.pf);
      ClearExceptions();
      on_error(32);
      NextState(kMultipleFrameEstablished);
      on_activate();
      StopTimer(TimerId::t200);
      StartTimer(TimerId::t203);
      return;
    default:
      return;
  }
}

void LAPD::OnDISC(const Frame& f) {
  switch (state) {
    case kTeiAssigned:
    case kAwaitingEstablishment:
      (void)tx_U(kDM, kResponse, f.pf);
      return;
    case kAwaitingRelease:
      (void)tx_U(kUA, kResponse, f.pf);
      return;
    case kMultipleFrameEstablished:
    case kTimerRecovery:
      DiscardQueues();
      (void)tx_U(kUA, kResponse, f.pf);
      StopTimer(TimerId::t200);
      StopTimer(TimerId::t203);
      NextState(kTeiAssigned);
      ReleasedWithError("remote error (DISC received)");
      return;
    default:
      return;
  }
}

void LAPD::OnUA(const Frame& f) {
  // Unasked for, a UA is only a management error: the link and its
  // unacknowledged messages stay as they are.
  if (state == kTeiAssigned || state == kMultipleFrameEstablished || state == kTimerRecovery) {
    if (trace_level > 0) {
      std::clog << ext::header(this) << "unsolicited UA, F=" << f.pf << std::endl;
    }
    on_error(12);
    return;
  }
  vs = va = vr = 0;
  EmptyAckQueue();
  switch (state) {
    case kAwaitingEstablishment:
      if (!f.pf) {
        on_error(8);
        return;
      }
      NextState(kMultipleFrameEstablished);
      StopTimer(TimerId::t200);
      StartTimer(TimerId::t203);
      on_activate();
      return;
    case kAwaitingRelease:
      if (!f.pf) {
        on_error(8);
        return;
      }
      StopTimer(TimerId::t200);
      NextState(kTeiAssigned);
      Released(Success(this, "success (UA received)"));
      return;
    default:
      return;
  }
}

void LAPD::OnDM(const Frame& f) {
  const bool final_response = !f.command && f.pf;
  switch (state) {
    case kTeiAssigned:
      if (!f.command && !f.pf && establishable) {
        Establish(true);
      }
      return;
    case kAwaitingEstablishment:
    case kAwaitingRelease:
      if (!final_response) {
        return;
      }
      if (state == kAwaitingEstablishment) {
        DiscardQueues();
      }
      StopTimer(TimerId::t200);
      NextState(kTeiAssigned);
      ReleasedWithError("error (DM received)");
      return;
    case kMultipleFrameEstablished:
      if (final_response) {
        on_error(2);
        return;
      }
      on_error(16);
      break;
    case kTimerRecovery:
      on_error(final_response ? 2 : 16);
      break;
    default:
      return;
  }
  Establish(false);
}

void LAPD::OnFRMR() {
  if (state != kMultipleFrameEstablished && state != kTimerRecovery) {
    return;
  }
  on_error(1024);
  Establish(false);
}

// ---- Supervisory frames.

// What RR, REJ and RNR share: the timer-recovery path, the peer busy flag, the answer to an
// enquiry and the N(R) check. True when the frame goes on to its own N(R) handling.
bool LAPD::SupervisoryInMfe(const Frame& f) {
  const bool rnr = f.kind == Frame::kRNR;
  if (state == kTimerRecovery) {
    OnSupervisoryIn7(f, rnr);
    return false;
  }
  if (state != kMultipleFrameEstablished) {
    return false;
  }
  peer_busy = rnr;
  if (f.command && f.pf) {
    TxEnquiryResponse();
  } else if (!f.command && f.pf) {
    if (f.kind != Frame::kRR) {
      on_error(1);
    } else if (trace_level > 3) {
      std::clog << ext::header(this) << "receive RR (solicited response) in MFE_EST" << std::endl;
    }
  }
  if (!InWindow(f.nr)) {
    if (f.kind == Frame::kRR && trace_level > 3) {
      std::clog << ext::header(this) << "receive RR with out of order N(R)" << std::endl;
    }
    nr_recovery();
    return false;
  }
  return true;
}

void LAPD::OnRR(const Frame& f) {
  if (!SupervisoryInMfe(f)) {
    return;
  }
  if (f.nr == vs) {
    va = f.nr;
    StopTimer(TimerId::t200);
    StartTimer(TimerId::t203);
  } else if (f.nr != va) {
    va = f.nr;
    StartTimer(TimerId::t200);
  }
}

void LAPD::OnREJ(const Frame& f) {
  if (!SupervisoryInMfe(f)) {
    return;
  }
  StopTimer(TimerId::t200);
  StartTimer(TimerId::t203);
  Retransmission(f.nr);
}

void LAPD::OnRNR(const Frame& f) {
  if (!SupervisoryInMfe(f)) {
    return;
  }
  va = f.nr;
  StopTimer(TimerId::t203);
  StartTimer(TimerId::t200);
}

void LAPD::OnSupervisoryIn7(const Frame& f, bool rnr) {
  peer_busy = rnr;
  if (f.command && f.pf) {
    TxEnquiryResponse();
  }
  if (!InWindow(f.nr)) {
    nr_recovery();
    return;
  }
  if (f.command || !f.pf) {
    va = f.nr;
    return;
  }
  // The answer to our enquiry: resume from what the peer has.
  if (rnr) {
    StartTimer(TimerId::t200);
  } else {
    StopTimer(TimerId::t200);
    StartTimer(TimerId::t203);
  }
  Retransmission(f.nr);
  NextState(kMultipleFrameEstablished);
}

// ---- I frames.

void LAPD::OnI(const Frame& f, Packet& info) {
  if (state != kMultipleFrameEstablished && state != kTimerRecovery) {
    return;
  }
  if (trace_level > 3) {
    std::clog << ext::header(this) << "I-Command pf=" << f.pf << std::endl;
  }
  bool in_sequence = false;
  if (own_busy) {
    if (f.pf) {
      (void)tx_S(kRNR, kResponse, true);
      acknowledge_request = false;
    }
  } else if (f.ns != vr) {
    ++stats_.rejected;
    if (!reject_exception) {
      reject_exception = true;
      (void)tx_S(kREJ, kResponse, f.pf);
      acknowledge_request = false;
    } else if (f.pf) {
      (void)tx_S(kRR, kResponse, true);
      acknowledge_request = false;
    }
  } else {
    in_sequence = true;
    ++vr;
    reject_exception = false;
    ++stats_.rx;
    if (f.pf) {
      acknowledge_request = false;
      (void)tx_S(kRR, kResponse, true);
    } else {
      acknowledge_request = true;
    }
  }
  if (!InWindow(f.nr)) {
    nr_recovery();
  } else {
    if (!peer_busy && state == kMultipleFrameEstablished) {
      if (f.nr == vs) {
        StopTimer(TimerId::t200);
        StartTimer(TimerId::t203);
      } else if (f.nr != va) {
        StartTimer(TimerId::t200);
      }
    }
    va = f.nr;
  }
  // Last, as layer 3 may answer at once.
  if (in_sequence) {
    on_message(info);
  }
}

// ---- Timer expiries.

void LAPD::OnT200() {
  switch (state) {
    case kAwaitingEstablishment:
      if (rc == kN200) {
        DiscardQueues();
        on_error(64);
        NextState(kTeiAssigned);
        ReleasedWithError("link error (T200 expired N200 times)");
        return;
      }
      ++rc;
      (void)tx_U(kSABME, kCommand, true);
      StartTimer(TimerId::t200);
      return;
    case kAwaitingRelease:
      if (rc == kN200) {
        on_error(128);
        NextState(kTeiAssigned);
        ReleasedWithError("link error (T200 expired N200 times)");
        return;
      }
      ++rc;
      (void)tx_U(kDISC, kCommand, true);
      StartTimer(TimerId::t200);
      return;
    case kMultipleFrameEstablished:
      rc = 0;
      TxEnquiry();
      rc = 1;
      if (trace_level > 1) {
        std::clog << ext::header(this) << "ack expired" << std::endl;
      }
      NextState(kTimerRecovery);
      return;
    case kTimerRecovery:
      if (rc == kN200) {
        if (trace_level > 1) {
          std::clog << ext::header(this) << "ack error !!!" << std::endl;
        }
        on_error(256);
        Establish(false);
        return;
      }
      if (trace_level > 1) {
        std::clog << ext::header(this) << "ack timeout expired RC=" << rc << std::endl;
      }
      TxEnquiry();
      ++rc;
      return;
    default:
      return;
  }
}

void LAPD::OnT203() {
  std::clog << ext::header(this) << "T203." << std::endl;
  if (state != kMultipleFrameEstablished) {
    return;
  }
  TxEnquiry();
  rc = 0;
  NextState(kTimerRecovery);
}

}  // namespace ISDN
