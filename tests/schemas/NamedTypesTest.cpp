// The types the modules declare but no message carries: each has a generated class and descriptor of the kind its
// module gives, open to extension. GeneratedTypes.EveryTypeRoundTripsInEveryVariant walks the same list of generated
// types, so a value of each of them also goes through aligned PER and BER there.

#include "schemas/GeneratedTypes.h"

#include "asn1/Choice.h"
#include "asn1/Enumerated.h"
#include "asn1/Sequence.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <typeinfo>

namespace {

enum class Kind { kSequence, kChoice, kEnumerated };

struct NamedTypes {
  const char* module;
  Kind kind;
  const char* names;  // separated by spaces
};

const NamedTypes kNamedTypes[] = {
    {"TERM", Kind::kSequence,
     "AKParams BRIOperator BoardChannelResource CAS_NumberType Capabilities DTMFDigitParams DTMFParams "
     "DTMFParams_level DTMFParams_threshold ED137Params ED137PhoneRecorderParams ED137PhoneSignaling "
     "ED137RadioRecorderParams ED137RadioSignaling H323Params ISDN_NumberType InbandSignalParams "
     "LEMZGWParams PDParams PacketParams PlayerParams_file RadioChannelResource RecorderParams "
     "RequestModeVariant RtpCapabilitySet RtpConnectionDescriptor RtpInfo RtpStreamDescriptor SDParams "
     "SIPParams SS7_NumberType SelcalEvent SignallingParams SpyParams TdmInfo TermError TermInformation "
     "TermPDU TermParams TimeVal ToneParams TransferParams TrunkParams TrunkRadioParams TrunkSlotResource "
     "VADParams"},
    {"TERM", Kind::kChoice,
     "DebugParams ED137Signaling ExtendedParameters ManualChannelSubState ManualModifier "
     "MediaInfoProceeding NumberType PacketParamsDetails PhoneRecorderParams PlayerParams RadioCommand "
     "RadioRecorderParams RequestMode RequestModeAck RequestModeInfo Resource SignallingProceeding "
     "TermAbortCause TermActiveState TermCommand TermControl TermProceeding TermReference TermResponse "
     "TermResult TermSignal TermState TermType ToneDescription TrunkSignallingParams"},
    {"TERM", Kind::kEnumerated,
     "CAS_NumberType_type CallState ED137CallPriority ED137Direction ED137Priority ED137RadioSQUFunction "
     "ED137Subject ISDN_NumberType_screeningInd ISDN_NumberType_type ManualGapReason MediaSpec MediaType "
     "RecorderMediaMode RecorderSpec SignallingSpec TMR TermErrorCode"},
    {"ACP", Kind::kSequence,
     "AcpError AcpResult BoardInfo BoardNotification BoardVersion ChannelParams DspResource ExtensionBoard "
     "GroupAssociation GroupParams H323EndpointInfo H323GatekeeperInfo LinkInfo ResourceId ResourceStatus "
     "SS7LinkParams TrunkNotification"},
    {"ACP", Kind::kChoice, "AcpCommand AcpPDU AcpResponse AcpSignal ExtLinkInfo ExtResourceID Notification"},
    {"ACP", Kind::kEnumerated,
     "AbortCause BoardState ExtensionState H323GatekeeperStatus LinkState NotifierState ResourceState "
     "ResourceType"},
    {"HSP", Kind::kSequence,
     "AkChannelConfig AkChannelState ControllerState HspCommand HspInfoAddress HspServiceMonState "
     "RadioChannelCommandRadioOwnerState RadioChannelCommandRadioState RadioChannelCommandRadioStateExt "
     "RadioChannelConfig RadioChannelState"},
    {"HSP", Kind::kChoice, "HspInfoState HspPDU HspSignal RadioChannelCommand"},
    {"HSP", Kind::kEnumerated, "ServiceState StandbyCommand StandbyMode StandbyState StateCall"},
    {"MEDIA", Kind::kSequence, "ContextUnit MediaPDU MediaTermError"},
    {"MEDIA", Kind::kChoice,
     "MediaCommand MediaControl MediaErrorCause MediaInfoResult MediaResponse MediaResult MediaSignal"},
    {"MEDIA", Kind::kEnumerated, "MediaError"},
    {"LEMZGW", Kind::kEnumerated,
     "ProtoLemzAnalogGainV1 ProtoLemzAnalogGainV2 ProtoLemzCountersNSizes ProtoLemzDconError "
     "ProtoLemzGgsError"},
    {"BASE", Kind::kEnumerated, "Stream TermLinkSpec"},
    {"CCP", Kind::kSequence, "Message"},
    {"CCP", Kind::kChoice, "MessageBody"},
    // Its kind is not given anywhere; it stands in as an enumeration.
    {"MON", Kind::kEnumerated, "ErrorCause"},
};

// Extendable, of the kind, and made as a class of its own (the base class alone would mean no generated class).
template <class Base, class Info>
void ExpectOfKind(const ASN1::TypeInfo* info, const ASN1::AbstractData& value, decltype(ASN1::TypeInfo::tag) tag) {
  ASSERT_NE(dynamic_cast<const Base*>(&value), nullptr);
  EXPECT_NE(typeid(value), typeid(Base));
  EXPECT_EQ(info->tag, tag);
  EXPECT_TRUE(static_cast<const Info*>(info)->extendable);
}

void ExpectKind(const ASN1::TypeInfo* info, Kind kind) {
  std::unique_ptr<ASN1::AbstractData> value(info->create(info));
  switch (kind) {
    case Kind::kSequence:
      return ExpectOfKind<ASN1::SEQUENCE, ASN1::SequenceInfo>(info, *value, ASN1::kUniversalSequence);
    case Kind::kChoice:
      return ExpectOfKind<ASN1::CHOICE, ASN1::ChoiceInfo>(info, *value, 0);
    case Kind::kEnumerated:
      return ExpectOfKind<ASN1::ENUMERATED, ASN1::EnumeratedInfo>(info, *value, ASN1::kUniversalEnumerated);
  }
}

TEST(NamedTypes, EachIsGeneratedWithItsKindAndExtendable) {
  std::map<std::string, const ASN1::TypeInfo*> generated;
  for (size_t i = 0; i < Schemas::kGeneratedTypeCount; ++i) {
    generated.emplace(Schemas::kGeneratedTypes[i].name, Schemas::kGeneratedTypes[i].info);
  }
  size_t count = 0;
  for (const NamedTypes& group : kNamedTypes) {
    std::istringstream names(group.names);
    for (std::string name; names >> name; ++count) {
      const std::string qualified = std::string(group.module) + "." + name;
      SCOPED_TRACE(qualified);
      const auto found = generated.find(qualified);
      ASSERT_NE(found, generated.end());
      ExpectKind(found->second, group.kind);
    }
  }
  EXPECT_EQ(count, 166u);
}

}  // namespace
