// libFuzzer target: arbitrary bytes as a received LEMZ packet, all the way to the controller's report.
//
// A packet that unpacks becomes a state and then an rtpExt request beside the status of a created radio. Unless the
// receive path's check names a field the messages cannot carry, the request encodes in PER and decodes back equal.
#include "tests/support/LemzGolden.h"

#include "asn1/CoderEnv.h"
#include "radio/LemzRadioControl.h"
#include "radio/sig_proto.h"

#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

const RTPSignalling::LemzRadioState& CreatedRadio() {
  static const RTPSignalling::LemzRadioState radio = [] {
    TERM::LemzRadioStatus status;
    RTPSignalling::LemzRadioState state;
    if (!status.setFromValueNotation(test::kLemzCreateStatus) ||
        RTPSignalling::LemzRadioControl::DecodeASN(status, state) != 0) {
      std::abort();
    }
    return state;
  }();
  return radio;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using RTPSignalling::LemzRadioControl;
  sig_proto packet{};
  if (sig_proto_unpack(&packet, data, size) != 0) {
    return 0;
  }
  RTPSignalling::LemzRadioState state;
  static_cast<void>(LemzRadioControl::DecodeProto(packet, state));
  TERM::RtpRadioRequest request;
  LemzRadioControl::EncodeASN(CreatedRadio(), state, request);
  ASN1::CoderEnv env;
  std::vector<char> bytes;
  const bool encoded = ASN1::encode(request, &env, std::back_inserter(bytes));
  if (LemzRadioControl::FindUnreportableField(packet) != nullptr) {
    return 0;
  }
  TERM::RtpRadioRequest decoded;
  if (!encoded || !ASN1::decode(bytes.data(), bytes.data() + bytes.size(), &env, decoded, true) ||
      decoded.compare(request) != 0) {
    std::abort();
  }
  return 0;
}
