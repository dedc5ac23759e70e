#include "TestSchema.h"

namespace test {
namespace {

const ASN1::NamedValue kErrorCauseNames[] = {{0, "invalidParams"},     {1, "insufficientResources"},
                                             {2, "invalidSlot"},       {3, "slotNotExists"},
                                             {4, "unexpectedMsgType"}, {5, "internal"},
                                             {6, "unsupported"},       {7, "reconnectionFail"},
                                             {8, "disconnectFail"},    {9, "connectFail"},
                                             {10, "busError"},         {11, "slotIdBusy"},
                                             {12, "destroyInProgress"}};
const ASN1::NamedValue kSparseNames[] = {{-1, "low"}, {1, "one"}, {40, "far"}};

const ASN1::TypeInfo* const kResponseInfos[] = {&ASN1::Null::theInfo, &ErrorCause::theInfo};
const char* const kResponseNames[] = {"success", "error"};

const ASN1::TypeInfo* const kCommandInfos[] = {&ASN1::Null::theInfo, &ASN1::Null::theInfo, &Slot::theInfo,
                                               &ASN1::Null::theInfo, &ASN1::Null::theInfo, &ASN1::Null::theInfo,
                                               &ASN1::Null::theInfo, &ASN1::Null::theInfo, &ASN1::OCTET_STRING::theInfo,
                                               &ASN1::Null::theInfo, &ASN1::Null::theInfo, &ASN1::Null::theInfo,
                                               &ASN1::Null::theInfo, &ASN1::Null::theInfo, &ASN1::Null::theInfo};
const char* const kCommandNames[] = {"query",    "testBpc",  "connect",    "disconnect", "create",
                                     "destroy",  "activate", "deactivate", "userData",   "ioctl",
                                     "trunkCfg", "clockCfg", "ping",       "display",    "protoLemz"};

const ASN1::TypeInfo* const kPduInfos[] = {&Command::theInfo, &Response::theInfo, &ASN1::INTEGER::theInfo};
const char* const kPduNames[] = {"command", "response", "signal"};

const ASN1::TypeInfo* const kMessageInfos[] = {&ASN1::INTEGER::theInfo, &Slot::theInfo, &PDU::theInfo};
const int32_t kMessageIds[] = {0, 1, -1};
const char* const kMessageNames[] = {"seq", "slot", "pdu"};

const ASN1::TypeInfo* const kToneInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo, &ASN1::BOOLEAN::theInfo,
                                            &ASN1::IA5String::theInfo};
const int32_t kToneIds[] = {-1, 0};
const char* const kToneNames[] = {"a", "b", "done", "more"};

}  // namespace

const ASN1::EnumeratedInfo ErrorCause::theInfo = {
    {&ASN1::CreateAs<ErrorCause>, ASN1::kUniversalEnumerated}, true, 12, kErrorCauseNames, 13};
const ASN1::EnumeratedInfo Sparse::theInfo = {
    {&ASN1::CreateAs<Sparse>, ASN1::kUniversalEnumerated}, false, 40, kSparseNames, 3};
const ASN1::ChoiceInfo Response::theInfo = {
    {&ASN1::CreateAs<Response>, 0}, false, kResponseInfos, 2, 2, nullptr, kResponseNames};
const ASN1::ChoiceInfo Command::theInfo = {
    {&ASN1::CreateAs<Command>, 0}, true, kCommandInfos, 15, 15, nullptr, kCommandNames};
const ASN1::ChoiceInfo PDU::theInfo = {{&ASN1::CreateAs<PDU>, 0}, false, kPduInfos, 3, 3, nullptr, kPduNames};
const ASN1::SequenceInfo Message::theInfo = {{&ASN1::CreateAs<Message>, ASN1::kUniversalSequence},
                                             false,
                                             kMessageInfos,
                                             kMessageIds,
                                             3,
                                             0,
                                             2,
                                             nullptr,
                                             nullptr,
                                             kMessageNames};
const ASN1::SequenceInfo Tone::theInfo = {{&ASN1::CreateAs<Tone>, ASN1::kUniversalSequence},
                                          true,
                                          kToneInfos,
                                          kToneIds,
                                          2,
                                          2,
                                          1,
                                          nullptr,
                                          nullptr,
                                          kToneNames};

Message MakeMessage(std::optional<int> seq, std::optional<int> slot, int pdu_index, ASN1::AbstractData* selection) {
  Message message;
  if (seq) {
    message.include_seq().setValue(*seq);
  }
  if (slot) {
    message.include_slot() = static_cast<unsigned>(*slot);
  }
  message.get_pdu().setSelection(pdu_index, selection);
  return message;
}

Message MakeCommand(std::optional<int> seq, std::optional<int> slot, int command) {
  auto* choice = new Command;
  choice->select(command);
  return MakeMessage(seq, slot, PDU::command, choice);
}

}  // namespace test
