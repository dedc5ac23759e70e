#include "TestSchema.h"
#include "tests/support/BerVectors.h"

#include "asn1/BERDecoder.h"
#include "asn1/BEREncoder.h"
#include "asn1/BERTags.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ASN1::ConstraintType;

// The rest of the probe module of data/Probe.asn (Message, PDU, Command, Response and ErrorCause are TestSchema's).
const ASN1::NamedValue kDscpNames[] = {{-1, "notUse"}, {0, "cs0"}, {8, "cs1"}, {10, "af11"}, {46, "ef"}};
const ASN1::EnumeratedInfo kDscp = {{&ASN1::ENUMERATED::create, ASN1::kUniversalEnumerated}, false, 46, kDscpNames, 5};
const ASN1::ConstrainedInfo kFull32 = {
    {&ASN1::INTEGER::create, ASN1::kUniversalInteger}, ConstraintType::FixedConstraint, 0, 0xFFFFFFFF};
const ASN1::ConstrainedInfo kSmall = {
    {&ASN1::INTEGER::create, ASN1::kUniversalInteger}, ConstraintType::FixedConstraint, -128, 127};
const ASN1::TypeInfo* const kKindsInfos[] = {&kFull32,
                                             &kSmall,
                                             &kDscp,
                                             &ASN1::BIT_STRING::theInfo,
                                             &ASN1::OCTET_STRING::theInfo,
                                             &ASN1::IA5String::theInfo,
                                             &ASN1::BMPString::theInfo,
                                             &ASN1::OBJECT_IDENTIFIER::theInfo,
                                             &ASN1::GeneralizedTime::theInfo,
                                             &ASN1::INTEGER::theInfo,
                                             &ASN1::SEQUENCE_OF<ASN1::INTEGER>::theInfo,
                                             &test::PDU::theInfo,
                                             &ASN1::OpenData::theInfo,
                                             &ASN1::BOOLEAN::theInfo};
// A DEFAULT field is an optional one here.
const int32_t kKindsIds[] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, 0, -1, -1, -1};
const char* const kKindsNames[] = {"wide", "small", "dscp",  "flags", "data", "name", "label",
                                   "oid",  "when",  "level", "list",  "pdu",  "any",  "more"};
const ASN1::SequenceInfo kKinds = {{&ASN1::SEQUENCE::create, ASN1::kUniversalSequence},
                                   true,
                                   kKindsInfos,
                                   kKindsIds,
                                   13,
                                   1,
                                   1,
                                   nullptr,
                                   nullptr,
                                   kKindsNames};
enum KindsField {
  kWide,
  kSmallField,
  kDscpField,
  kFlags,
  kData,
  kName,
  kLabel,
  kOid,
  kWhen,
  kLevel,
  kList,
  kPdu,
  kAny,
  kMore
};

template <class T>
T& Field(ASN1::SEQUENCE& sequence, int index) {
  return *dynamic_cast<T*>(sequence.getField(static_cast<uint32_t>(index)));
}

ASN1::AbstractData* ErrorAnswer(int cause) {
  auto* response = new test::Response;
  response->select(test::Response::error);
  static_cast<ASN1::ENUMERATED*>(response->getSelection())->setValue(cause);
  return response;
}

std::unique_ptr<ASN1::AbstractData> FullKinds() {
  auto kinds = std::make_unique<ASN1::SEQUENCE>(&kKinds);
  Field<ASN1::INTEGER>(*kinds, kWide).setValue(-1);  // 4294967295
  Field<ASN1::INTEGER>(*kinds, kSmallField).setValue(-128);
  Field<ASN1::ENUMERATED>(*kinds, kDscpField).setValue(-1);
  auto& flags = Field<ASN1::BIT_STRING>(*kinds, kFlags);
  flags.resize(3);
  flags.set(0, true);
  flags.set(2, true);
  Field<ASN1::OCTET_STRING>(*kinds, kData).assign({'\x01', '\xAB', '\xFF'});
  Field<ASN1::AbstractString>(*kinds, kName).assign("gw");
  Field<ASN1::BMPString>(*kinds, kLabel).assign(L"A\u20AC");
  Field<ASN1::OBJECT_IDENTIFIER>(*kinds, kOid).arcs() = {1, 2, 840};
  static_cast<void>(Field<ASN1::GeneralizedTime>(*kinds, kWhen).set("20240102030405.250Z"));
  kinds->includeOptionalField(0, kLevel);
  Field<ASN1::INTEGER>(*kinds, kLevel).setValue(7);
  auto& list = Field<ASN1::SEQUENCE_OF_Base>(*kinds, kList);
  list.resize(2);
  static_cast<ASN1::INTEGER&>(list.at(0)).setValue(1);
  static_cast<ASN1::INTEGER&>(list.at(1)).setValue(-1);
  Field<ASN1::CHOICE>(*kinds, kPdu).setSelection(test::PDU::response, ErrorAnswer(12));
  // Undecoded octets of an open type hold a whole encoding, here a primitive INTEGER.
  Field<ASN1::OpenData>(*kinds, kAny).set_buf(new std::vector<char>{'\x02', '\x01', '\x05'});
  kinds->includeOptionalField(1, kMore);
  Field<ASN1::BOOLEAN>(*kinds, kMore).setValue(true);
  return kinds;
}

std::unique_ptr<ASN1::AbstractData> SparseKinds() {
  auto kinds = std::make_unique<ASN1::SEQUENCE>(&kKinds);
  Field<ASN1::INTEGER>(*kinds, kWide).setValue(0x7FFFFFFF);
  Field<ASN1::ENUMERATED>(*kinds, kDscpField).setValue(8);
  Field<ASN1::OBJECT_IDENTIFIER>(*kinds, kOid).arcs() = {2, 999, 3};
  static_cast<void>(Field<ASN1::GeneralizedTime>(*kinds, kWhen).set("20240102030405Z"));
  Field<ASN1::CHOICE>(*kinds, kPdu).setSelection(test::PDU::signal, new ASN1::INTEGER(128, &ASN1::INTEGER::theInfo));
  // ... and here a constructed SEQUENCE.
  Field<ASN1::OpenData>(*kinds, kAny).set_buf(new std::vector<char>{'\x30', '\x03', '\x02', '\x01', '\x05'});
  return kinds;
}

std::unique_ptr<ASN1::AbstractData> Message(std::optional<int> seq, std::optional<int> slot, int pdu,
                                            ASN1::AbstractData* selection) {
  return std::make_unique<test::Message>(test::MakeMessage(seq, slot, pdu, selection));
}

// The values of the vectors in data/ber-vectors.txt, by name.
const std::map<std::string, std::function<std::unique_ptr<ASN1::AbstractData>()>>& VectorValues() {
  static const std::map<std::string, std::function<std::unique_ptr<ASN1::AbstractData>()>> kValues = {
      {"success-answer",
       [] {
         auto* response = new test::Response;
         response->select(test::Response::success);
         return Message(std::nullopt, std::nullopt, test::PDU::response, response);
       }},
      {"destroy-seq-1-slot-5",
       [] { return std::make_unique<test::Message>(test::MakeCommand(1, 5, test::Command::destroy)); }},
      {"error-seq-minus-129", [] { return Message(-129, std::nullopt, test::PDU::response, ErrorAnswer(12)); }},
      {"signal-128",
       [] {
         return Message(std::nullopt, std::nullopt, test::PDU::signal, new ASN1::INTEGER(128, &ASN1::INTEGER::theInfo));
       }},
      {"user-data-200-octets",
       [] {
         auto* command = new test::Command;
         command->select(test::Command::userData);
         static_cast<ASN1::OCTET_STRING*>(command->getSelection())->assign(200, '\x5A');
         return Message(0x7FFFFFFF, 1023, test::PDU::command, command);
       }},
      {"kinds-full", FullKinds},
      {"kinds-sparse", SparseKinds},
      {"dscp-cs1",
       [] {
         auto dscp = std::make_unique<ASN1::ENUMERATED>(&kDscp);
         dscp->setValue(8);
         return dscp;
       }},
  };
  return kValues;
}

Bytes Encode(const ASN1::AbstractData& value, bool* ok = nullptr) {
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  std::vector<char> out;
  const bool encoded = ASN1::encode(value, &env, std::back_inserter(out));
  if (ok != nullptr) {
    *ok = encoded;
  }
  return Bytes(out.begin(), out.end());
}

// Reads from a copy of exactly `bytes`, so reading past them is an over-read.
bool Decode(const Bytes& bytes, ASN1::AbstractData& value) {
  const std::vector<char> input(bytes.begin(), bytes.end());
  ASN1::CoderEnv env(ASN1::CoderEnv::ber);
  return ASN1::decode(input.data(), input.data() + input.size(), &env, value, true);
}

std::unique_ptr<ASN1::AbstractData> Fresh(const ASN1::AbstractData& like) {
  const ASN1::TypeInfo* info = like.typeInfo();
  return std::unique_ptr<ASN1::AbstractData>(info->create(info));
}

// The vectors that asn1c and openssl check in the tool test: each value encodes to our bytes, and both our bytes
// and the X.690 form decode to it. Every proper prefix fails.
TEST(BERCoder, IndependentVectorsBothWays) {
  const std::vector<test::BerVector> vectors = test::ReadBerVectors(BER_VECTORS_PATH);
  ASSERT_EQ(vectors.size(), VectorValues().size());
  for (const test::BerVector& vector : vectors) {
    SCOPED_TRACE(vector.name);
    ASSERT_EQ(VectorValues().count(vector.name), 1u);
    const auto original = VectorValues().at(vector.name)();
    bool ok = false;
    EXPECT_EQ(Encode(*original, &ok), vector.ours);
    EXPECT_TRUE(ok);
    for (const Bytes& form : {vector.ours, vector.x690}) {
      if (form.empty()) {
        continue;
      }
      auto decoded = Fresh(*original);
      ASSERT_TRUE(Decode(form, *decoded));
      EXPECT_EQ(decoded->compare(*original), 0) << decoded->asValueNotation();
      EXPECT_EQ(Encode(*decoded), vector.ours);
      for (size_t length = 0; length < form.size(); ++length) {
        auto partial = Fresh(*original);
        EXPECT_FALSE(Decode(Bytes(form.begin(), form.begin() + static_cast<std::ptrdiff_t>(length)), *partial))
            << length;
      }
    }
  }
}

const uint32_t kTag40[] = {ASN1::kContextSpecific | 40};
const int32_t kMandatory[] = {-1};
const char* const kXName[] = {"x"};
const ASN1::TypeInfo* const kIntegerField[] = {&ASN1::INTEGER::theInfo};
const ASN1::TypeInfo* const kListField[] = {&ASN1::SEQUENCE_OF<ASN1::INTEGER>::theInfo};
const ASN1::SequenceInfo kTaggedInteger = {{&ASN1::SEQUENCE::create, ASN1::kUniversalSequence},
                                           false,
                                           kIntegerField,
                                           kMandatory,
                                           1,
                                           0,
                                           0,
                                           nullptr,
                                           kTag40,
                                           kXName};
const ASN1::SequenceInfo kTaggedList = {{&ASN1::SEQUENCE::create, ASN1::kUniversalSequence},
                                        false,
                                        kListField,
                                        kMandatory,
                                        1,
                                        0,
                                        0,
                                        nullptr,
                                        kTag40,
                                        kXName};

// Outer ::= CHOICE { inner Inner, number [5] INTEGER, nothing [7] NULL } with a tag table, where
// Inner ::= CHOICE { number INTEGER, flag BOOLEAN } is untagged and keeps its automatic tags.
const ASN1::TypeInfo* const kInnerInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo};
const char* const kInnerNames[] = {"number", "flag"};
const ASN1::ChoiceInfo kInner = {{&ASN1::CHOICE::create, 0}, false, kInnerInfos, 2, 2, nullptr, kInnerNames};
const ASN1::TypeInfo* const kOuterInfos[] = {&kInner, &ASN1::INTEGER::theInfo, &ASN1::Null::theInfo};
const uint32_t kOuterTags[] = {0, ASN1::kContextSpecific | 5, ASN1::kContextSpecific | 7};
const char* const kOuterNames[] = {"inner", "number", "nothing"};
const ASN1::ChoiceInfo kOuter = {{&ASN1::CHOICE::create, 0}, false, kOuterInfos, 3, 3, kOuterTags, kOuterNames};

std::unique_ptr<ASN1::AbstractData> Outer(int id, ASN1::AbstractData* selection) {
  return std::make_unique<ASN1::CHOICE>(&kOuter, id, selection);
}

template <class T, class... Args>
std::unique_ptr<ASN1::AbstractData> Make(std::function<void(T&)> set, Args... args) {
  auto value = std::make_unique<T>(args...);
  set(*value);
  return value;
}

std::unique_ptr<ASN1::AbstractData> Integer(int value, const ASN1::ConstrainedInfo& info = ASN1::INTEGER::theInfo) {
  return std::make_unique<ASN1::INTEGER>(value, &info);
}

std::unique_ptr<ASN1::AbstractData> Octets(size_t count) {
  return std::make_unique<ASN1::OCTET_STRING>(count, '\x11', &ASN1::OCTET_STRING::theInfo);
}

Bytes OctetsForm(Bytes head, size_t count) {
  head.insert(head.end(), count, 0x11);
  return head;
}

// The coder's own forms the independent vectors do not hold: each value encodes to its bytes, and they decode
// back to it.
TEST(BERCoder, GoldenBytes) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<ASN1::AbstractData>()> make;
    Bytes bytes;
  } kCases[] = {
      {"integer 0", [] { return Integer(0); }, {0x02, 0x01, 0x00}},
      {"integer 127", [] { return Integer(127); }, {0x02, 0x01, 0x7F}},
      {"integer min", [] { return Integer(INT32_MIN); }, {0x02, 0x04, 0x80, 0x00, 0x00, 0x00}},
      {"length 127", [] { return Octets(127); }, OctetsForm({0x04, 0x7F}, 127)},
      {"length 256", [] { return Octets(256); }, OctetsForm({0x04, 0x82, 0x01, 0x00}, 256)},
      {"bit string of 8 bits",
       [] {
         return Make<ASN1::BIT_STRING>([](auto& bits) {
           bits.resize(8);
           bits.set(7, true);
         });
       },
       {0x03, 0x02, 0x00, 0x01}},
      {"empty bit string", [] { return std::make_unique<ASN1::BIT_STRING>(); }, {0x03, 0x01, 0x00}},
      {"tag 40, primitive",
       [] { return Make<ASN1::SEQUENCE>([](auto&) {}, &kTaggedInteger); },
       {0x30, 0x04, 0x9F, 0x28, 0x01, 0x00}},
      {"tag 40, constructed",
       [] { return Make<ASN1::SEQUENCE>([](auto&) {}, &kTaggedList); },
       {0x30, 0x03, 0xBF, 0x28, 0x00}},
      {"alternative under its listed tag",
       [] { return Outer(1, new ASN1::INTEGER(3, &ASN1::INTEGER::theInfo)); },
       {0x85, 0x01, 0x03}},
      {"alternative of an untagged CHOICE alternative",
       [] { return Outer(0, new ASN1::CHOICE(&kInner, 1, new ASN1::BOOLEAN(true, &ASN1::BOOLEAN::theInfo))); },
       {0x81, 0x01, 0xFF}},
      {"untagged open type keeps the whole encoding",
       [] { return Make<ASN1::OpenData>([](auto& o) {
              o.set_buf(new std::vector<char>{2, 1, 5});
            }); },
       {0x02, 0x01, 0x05}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto original = c.make();
    EXPECT_EQ(Encode(*original), c.bytes);
    auto decoded = Fresh(*original);
    ASSERT_TRUE(Decode(c.bytes, *decoded));
    EXPECT_EQ(decoded->compare(*original), 0) << decoded->asValueNotation();
  }
}

TEST(BERDecoder, ReadsOtherFormsAndRefusesMalformedOnes) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<ASN1::AbstractData>()> make;
    Bytes bytes;
    std::string read;  // value notation of the result; empty when it must fail
  } kCases[] = {
      {"integer of X.690 unsigned form",
       [] { return Integer(0, kFull32); },
       {0x02, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF},
       "4294967295"},
      {"five octets for a signed integer", [] { return Integer(0); }, {0x02, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}, ""},
      {"five octets not led by zero", [] { return Integer(0, kFull32); }, {0x02, 0x05, 0x01, 0, 0, 0, 0}, ""},
      {"empty integer", [] { return Integer(0); }, {0x02, 0x00}, ""},
      {"constructed integer", [] { return Integer(0); }, {0x22, 0x03, 0x02, 0x01, 0x05}, ""},
      {"enumerated 0xFF", [] { return std::make_unique<ASN1::ENUMERATED>(&kDscp); }, {0x0A, 0x01, 0xFF}, "notUse"},
      {"enumerated of five octets",
       [] { return std::make_unique<ASN1::ENUMERATED>(&kDscp); },
       {0x0A, 0x05, 0x00, 0x00, 0x00, 0x00, 0x08},
       ""},
      {"bit string 11", [] { return std::make_unique<ASN1::BIT_STRING>(); }, {0x03, 0x02, 0x06, 0xC0}, "'11'B"},
      {"unused-bit octet 8", [] { return std::make_unique<ASN1::BIT_STRING>(); }, {0x03, 0x02, 0x08, 0x00}, ""},
      {"unused bits without octets", [] { return std::make_unique<ASN1::BIT_STRING>(); }, {0x03, 0x01, 0x03}, ""},
      {"empty bit string contents", [] { return std::make_unique<ASN1::BIT_STRING>(); }, {0x03, 0x00}, ""},
      {"odd BMPString", [] { return std::make_unique<ASN1::BMPString>(); }, {0x1E, 0x01, 0x41}, ""},
      {"time read by its length only",
       [] { return std::make_unique<ASN1::GeneralizedTime>(); },
       {0x18, 0x0E, '2', '0', '2', '4', '0', '1', '0', '2', '0', '3', '0', '4', '0', '5'},
       "\"20240102030405\""},
      {"alternative beyond the alternatives", [] { return std::make_unique<test::Response>(); }, {0x82, 0x00}, ""},
      {"alternative of another class", [] { return std::make_unique<test::Response>(); }, {0x40, 0x00}, ""},
      {"tag in neither tag table", [] { return Outer(-1, nullptr); }, {0x86, 0x00}, ""},
      {"field longer than its SEQUENCE",
       [] { return std::make_unique<test::Message>(); },
       {0x30, 0x03, 0x82, 0x02, 0x81, 0x00, 0x00},
       ""},
      {"unknown trailing field skipped",
       [] { return std::make_unique<test::Message>(); },
       {0x30, 0x09, 0x82, 0x04, 0x81, 0x02, 0x80, 0x00, 0x9F, 0x30, 0x00},
       "{\n  pdu response : success : NULL\n}"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto value = c.make();
    const bool read = Decode(c.bytes, *value);
    EXPECT_EQ(read, !c.read.empty());
    if (read) {
      EXPECT_EQ(value->asValueNotation(), c.read);
    }
  }
}

// Lengths are counted before anything is written: a header's length octets and the contents behind them agree.
TEST(BEREncoder, CountsLengthsBeforeWritingHeaders) {
  const auto success = [] {
    return VectorValues().at("success-answer")();  // 30 06 82 04 81 02 80 00
  };
  const auto bare_success = [] { return Make<test::Response>([](auto& r) { r.select(test::Response::success); }); };
  const struct {
    const char* name;
    std::function<std::unique_ptr<ASN1::AbstractData>()> make;
    uint32_t tag;
    unsigned data_length;
    unsigned object_length;
    Bytes header;  // what encodeHeader writes under the value's own tag
  } kCases[] = {
      {"message", success, ASN1::kOwnTag, 6, 8, {0x30, 0x06}},
      {"long length", [] { return Octets(256); }, ASN1::kOwnTag, 256, 260, {0x04, 0x82, 0x01, 0x00}},
      {"tag 40", [] { return Octets(128); }, ASN1::kContextSpecific | 40, 128, 132, {0x04, 0x81, 0x80}},
      {"no tag", [] { return Octets(3); }, 0, 3, 3, {0x04, 0x03}},
      {"untagged CHOICE", bare_success, ASN1::kOwnTag, 2, 2, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const auto value = c.make();
    EXPECT_EQ(ASN1::getDataLength(*value), c.data_length);
    EXPECT_EQ(ASN1::getObjectLength(*value, c.tag), c.object_length);
    std::vector<char> header;
    ASN1::BEREncoder encoder(header);
    encoder.encodeHeader(*value);
    EXPECT_EQ(Bytes(header.begin(), header.end()), c.header);
  }
}

TEST(Choice, SetIDSelectsTheAlternativeOfATag) {
  const struct {
    const char* name;
    const ASN1::ChoiceInfo* info;
    unsigned number;
    unsigned tag_class;
    int id;        // -2 when no alternative carries the tag
    int inner_id;  // the alternative selected inside an untagged CHOICE alternative, or -1
  } kCases[] = {
      {"automatic", &test::Response::theInfo, 1, 0x80, test::Response::error, -1},
      {"automatic, beyond the alternatives", &test::Response::theInfo, 2, 0x80, -2, -1},
      {"automatic, another class", &test::Response::theInfo, 0, 0x40, -2, -1},
      {"listed tag", &kOuter, 5, 0x80, 1, -1},
      {"listed number of another class", &kOuter, 5, 0x40, -2, -1},
      {"tag of the untagged CHOICE", &kOuter, 1, 0x80, 0, 1},
      {"tag in neither table", &kOuter, 6, 0x80, -2, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASN1::CHOICE choice(c.info);
    EXPECT_EQ(choice.setID(c.number, c.tag_class), c.id >= 0);
    EXPECT_EQ(choice.currentSelection(), c.id);
    EXPECT_EQ(choice.getSelection() != nullptr, c.id >= 0);
    if (c.inner_id >= 0 && choice.getSelection() != nullptr) {
      EXPECT_EQ(choice.selectionAs<ASN1::CHOICE>().currentSelection(), c.inner_id);
    }
  }
}

TEST(BERDecoder, StepsThroughHeadersBlocksAndChoicePreambles) {
  const std::vector<char> input = {'\x04', '\x03', 'a', 'b', 'c', '\x81', '\x01', '\xFF'};
  ASN1::BERDecoder decoder(input.data(), input.data() + input.size(), nullptr);
  uint32_t length = 0;
  EXPECT_FALSE(decoder.decodeHeader(ASN1::INTEGER(), length));  // another type's tag; nothing is consumed
  ASSERT_TRUE(decoder.decodeHeader(ASN1::OCTET_STRING(), length));
  EXPECT_EQ(length, 3u);
  char octets[4] = {};
  EXPECT_EQ(decoder.decodeBlock(octets, 2), 2u);
  EXPECT_EQ(decoder.decodeBlock(octets + 2, 1), 1u);
  EXPECT_STREQ(octets, "abc");

  ASN1::CHOICE outer(&kOuter);
  const char* end_of_alternative = nullptr;
  ASSERT_TRUE(decoder.decodeChoicePreamle(outer, end_of_alternative));
  EXPECT_EQ(end_of_alternative, input.data() + input.size());
  EXPECT_EQ(outer.selectionAs<ASN1::CHOICE>().currentSelection(), 1);
  // The position is left on the alternative's header, and a block stops at the end of the input.
  EXPECT_EQ(decoder.decodeBlock(octets, 4), 3u);
  EXPECT_EQ(octets[0], '\x81');
  EXPECT_EQ(decoder.decodeBlock(octets, 4), 0u);
}

}  // namespace
