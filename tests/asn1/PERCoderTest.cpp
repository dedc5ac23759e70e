#include "TestSchema.h"

#include "asn1/PERDecoder.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ASN1::ConstraintType;

constexpr ASN1::ConstrainedInfo IntegerRange(ConstraintType type, int32_t lower, uint32_t upper) {
  return {{&ASN1::INTEGER::create, ASN1::kUniversalInteger}, type, lower, upper};
}
constexpr ASN1::ConstrainedInfo OctetsSize(ConstraintType type, int32_t lower, uint32_t upper) {
  return {{&ASN1::OCTET_STRING::create, ASN1::kUniversalOctetString}, type, lower, upper};
}

const ASN1::ConstrainedInfo kByte = IntegerRange(ConstraintType::FixedConstraint, -128, 127);
const ASN1::ConstrainedInfo kFull32 = IntegerRange(ConstraintType::FixedConstraint, 0, 0xFFFFFFFF);
const ASN1::ConstrainedInfo kSingle = IntegerRange(ConstraintType::FixedConstraint, 5, 5);
const ASN1::ConstrainedInfo kWide = IntegerRange(ConstraintType::FixedConstraint, 112000, 399975);
const ASN1::ConstrainedInfo kExtendable = IntegerRange(ConstraintType::ExtendableConstraint, 0, 7);
const ASN1::ConstrainedInfo kLowerOnly = IntegerRange(ConstraintType::PartiallyConstrained, -5, 0xFFFFFFFF);
const ASN1::ConstrainedInfo kFourOctets = OctetsSize(ConstraintType::FixedConstraint, 4, 4);
const ASN1::ConstrainedInfo kExtendableOctets = OctetsSize(ConstraintType::ExtendableConstraint, 0, 2);
const ASN1::ConstrainedInfo kShortBits = {
    {&ASN1::BIT_STRING::create, ASN1::kUniversalBitString}, ConstraintType::FixedConstraint, 0, 20};
const ASN1::StringInfo kName = {
    {{&ASN1::AbstractString::create, ASN1::kUniversalIA5String}, ConstraintType::FixedConstraint, 1, 64},
    ASN1::IA5StringSet,
    128,
    7,
    7,
    8};
const ASN1::StringInfo kTwoPrintable = {
    {{&ASN1::AbstractString::create, ASN1::kUniversalPrintableString}, ConstraintType::FixedConstraint, 2, 2},
    ASN1::PrintableStringSet,
    74,
    7,
    7,
    8};
const ASN1::BMPStringInfo kSmallBmp = {
    {{&ASN1::BMPString::create, ASN1::kUniversalBMPString}, ConstraintType::FixedConstraint, 1, 1}, 0, 0xFFFF, 16, 16};

// ExtChoice ::= CHOICE { a INTEGER, b BOOLEAN, ..., c IA5String }
const ASN1::TypeInfo* const kExtChoiceInfos[] = {&ASN1::INTEGER::theInfo, &ASN1::BOOLEAN::theInfo,
                                                 &ASN1::IA5String::theInfo};
const char* const kExtChoiceNames[] = {"a", "b", "c"};
const ASN1::ChoiceInfo kExtChoice = {{&ASN1::CHOICE::create, 0}, true, kExtChoiceInfos, 2, 3, nullptr, kExtChoiceNames};
// OneChoice ::= CHOICE { a NULL }
const ASN1::TypeInfo* const kOneChoiceInfos[] = {&ASN1::Null::theInfo};
const char* const kOneChoiceNames[] = {"a"};
const ASN1::ChoiceInfo kOneChoice = {
    {&ASN1::CHOICE::create, 0}, false, kOneChoiceInfos, 1, 1, nullptr, kOneChoiceNames};
const ASN1::SequenceOfInfo kIntegers = {
    {{&ASN1::SEQUENCE_OF_Base::create, ASN1::kUniversalSequence}, ConstraintType::Unconstrained, 0, 0xFFFFFFFF},
    &ASN1::INTEGER::theInfo};
const ASN1::OpenTypeInfo kIntegerOpenType = {{&ASN1::TypeConstrainedOpenData::create, 0}, &ASN1::INTEGER::theInfo};

Bytes Encode(const ASN1::AbstractData& value, bool* ok = nullptr) {
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  std::vector<char> out;
  const bool encoded = ASN1::encode(value, &env, std::back_inserter(out));
  if (ok != nullptr) {
    *ok = encoded;
  }
  return Bytes(out.begin(), out.end());
}

bool Decode(const Bytes& bytes, ASN1::AbstractData& value, size_t length = SIZE_MAX) {
  // A copy of its own, so that reading past the given length is an over-read.
  const Bytes input(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  const char* begin = reinterpret_cast<const char*>(input.data());
  return ASN1::decode(begin, begin + input.size(), &env, value, true);
}

std::unique_ptr<ASN1::AbstractData> Fresh(const ASN1::AbstractData& like) {
  const ASN1::TypeInfo* info = like.typeInfo();
  return std::unique_ptr<ASN1::AbstractData>(info->create(info));
}

std::unique_ptr<ASN1::AbstractData> Integer(const ASN1::ConstrainedInfo& info, int value) {
  return std::make_unique<ASN1::INTEGER>(value, &info);
}

std::unique_ptr<ASN1::AbstractData> Octets(size_t count,
                                           const ASN1::ConstrainedInfo& info = ASN1::OCTET_STRING::theInfo) {
  auto value = std::make_unique<ASN1::OCTET_STRING>(&info);
  for (size_t i = 0; i < count; ++i) {
    value->push_back(static_cast<char>(i * 7));
  }
  return value;
}

std::unique_ptr<ASN1::AbstractData> Enumerated(int value) {
  auto cause = std::make_unique<test::ErrorCause>();
  cause->setValue(value);
  return cause;
}

// The value once `set` has filled it in.
template <class T, class Set>
std::unique_ptr<ASN1::AbstractData> With(std::unique_ptr<T> value, Set set) {
  set(*value);
  return value;
}

struct Golden {
  const char* name;
  std::function<std::unique_ptr<ASN1::AbstractData>()> make;
  Bytes bytes;
};

Bytes WithOctets(Bytes head, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    head.push_back(static_cast<uint8_t>(i * 7));
  }
  return head;
}

std::vector<Golden> GoldenCases() {
  auto message = [](std::optional<int> seq, std::optional<int> slot, int command) {
    return [=] { return std::make_unique<test::Message>(test::MakeCommand(seq, slot, command)); };
  };
  return {
      {"ping, seq 1, no slot", message(1, std::nullopt, test::Command::ping), {0x80, 0x01, 0x01, 0x18}},
      {"success answer",
       [] {
         auto* response = new test::Response;
         response->select(test::Response::success);
         return std::make_unique<test::Message>(test::MakeMessage(1, std::nullopt, test::PDU::response, response));
       },
       {0x80, 0x01, 0x01, 0x40}},
      {"destroy with slot 5", message(1, 5, test::Command::destroy), {0xC0, 0x01, 0x01, 0x00, 0x05, 0x0A}},
      {"query, no seq, no slot", message(std::nullopt, std::nullopt, test::Command::query), {0x00, 0x00}},
      {"integer -1", [] { return Integer(ASN1::INTEGER::theInfo, -1); }, {0x01, 0xFF}},
      {"integer -129", [] { return Integer(ASN1::INTEGER::theInfo, -129); }, {0x02, 0xFF, 0x7F}},
      {"integer 128", [] { return Integer(ASN1::INTEGER::theInfo, 128); }, {0x02, 0x00, 0x80}},
      {"integer 0", [] { return Integer(ASN1::INTEGER::theInfo, 0); }, {0x01, 0x00}},
      {"integer max", [] { return Integer(ASN1::INTEGER::theInfo, INT_MAX); }, {0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
      {"integer min", [] { return Integer(ASN1::INTEGER::theInfo, INT_MIN); }, {0x04, 0x80, 0x00, 0x00, 0x00}},
      {"(-128..127) -128", [] { return Integer(kByte, -128); }, {0x00}},
      {"(-128..127) 127", [] { return Integer(kByte, 127); }, {0xFF}},
      {"(0..1023) 5", [] { return Integer(test::Slot::theInfo, 5); }, {0x00, 0x05}},
      {"(0..4294967295) 0", [] { return Integer(kFull32, 0); }, {0x00, 0x00}},
      {"(0..4294967295) max", [] { return Integer(kFull32, -1); }, {0xC0, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"(0..4294967295) 65536", [] { return Integer(kFull32, 65536); }, {0x80, 0x01, 0x00, 0x00}},
      {"(112000..399975) top", [] { return Integer(kWide, 399975); }, {0x80, 0x04, 0x64, 0xE7}},
      {"(5..5)", [] { return Integer(kSingle, 5); }, {}},
      {"(0..7,...) inside", [] { return Integer(kExtendable, 3); }, {0x30}},
      {"(0..7,...) outside", [] { return Integer(kExtendable, -1); }, {0x80, 0x01, 0xFF}},
      {"(-5..MAX) -3", [] { return Integer(kLowerOnly, -3); }, {0x01, 0xFD}},
      {"enumerated 3", [] { return Enumerated(3); }, {0x18}},
      {"enumerated extension 20", [] { return Enumerated(20); }, {0x95, 0xA0}},
      {"choice of 15, index 4",
       [] { return With(std::make_unique<test::Command>(), [](auto& c) { c.select(test::Command::create); }); },
       {0x20}},
      {"choice extension alternative",
       [] {
         auto choice = std::make_unique<ASN1::CHOICE>(&kExtChoice);
         choice->select(2);
         static_cast<ASN1::IA5String&>(*choice->getSelection()) = "A";
         return choice;
       },
       {0x80, 0x02, 0x01, 0x41}},
      {"empty sequence of", [] { return std::make_unique<ASN1::SEQUENCE_OF_Base>(&kIntegers); }, {0x00}},
      {"octet string of 200", [] { return Octets(200); }, WithOctets({0x80, 0xC8}, 200)},
      {"octet string of 2, not aligned", [] { return Octets(2); }, {0x02, 0x00, 0x07}},
      {"octet string of size 4", [] { return Octets(4, kFourOctets); }, {0x00, 0x07, 0x0E, 0x15}},
      {"extendable octet size, outside", [] { return Octets(3, kExtendableOctets); }, {0x80, 0x03, 0x00, 0x07, 0x0E}},
      {"tone with the first extension",
       [] {
         auto tone = std::make_unique<test::Tone>();
         tone->get_a().setValue(1);
         tone->include_done().setValue(true);
         return tone;
       },
       {0x80, 0x01, 0x01, 0x01, 0x01, 0x80}},
      {"tone whose extension was removed",
       [] {
         auto tone = std::make_unique<test::Tone>();
         tone->get_a().setValue(1);
         tone->include_done();
         tone->omit_done();
         return tone;
       },
       {0x00, 0x01, 0x01}},
      {"object identifier",
       [] { return With(std::make_unique<ASN1::OBJECT_IDENTIFIER>(), [](auto& oid) {
              oid.arcs() = {1, 2, 840};
            }); },
       {0x03, 0x2A, 0x86, 0x48}},
      {"numeric string", [] { return std::make_unique<ASN1::NumericString>("1 9"); }, {0x03, 0x20, 0xA0}},
      {"fixed printable pair",
       [] { return std::make_unique<ASN1::AbstractString>(&kTwoPrintable, "AB"); },
       {0x41, 0x42}},
      {"name of size 1..64", [] { return std::make_unique<ASN1::AbstractString>(&kName, "ab"); }, {0x04, 0x61, 0x62}},
      {"open type of an integer",
       [] {
         auto open = std::make_unique<ASN1::TypeConstrainedOpenData>(&kIntegerOpenType);
         static_cast<ASN1::INTEGER*>(open->get_data())->setValue(5);
         return open;
       },
       {0x02, 0x01, 0x05}},
      {"open type without data", [] { return std::make_unique<ASN1::OpenData>(); }, {0x01, 0x00}},
  };
}

// Each value encodes to its bytes; the bytes decode to the same value and encode again to themselves. Every
// proper prefix of a message fails; other prefixes need not (trailing padding), but are read safely.
TEST(PERCoder, GoldenBytesBothWays) {
  for (const auto& c : GoldenCases()) {
    SCOPED_TRACE(c.name);
    auto original = c.make();
    bool ok = false;
    EXPECT_EQ(Encode(*original, &ok), c.bytes);
    EXPECT_TRUE(ok);
    auto decoded = Fresh(*original);
    ASSERT_TRUE(Decode(c.bytes, *decoded));
    if (dynamic_cast<ASN1::OpenData*>(original.get()) == nullptr ||
        dynamic_cast<ASN1::TypeConstrainedOpenData*>(original.get()) != nullptr) {
      EXPECT_EQ(decoded->compare(*original), 0) << decoded->asValueNotation();
    }
    EXPECT_EQ(Encode(*decoded), c.bytes);
    const bool message = dynamic_cast<test::Message*>(original.get()) != nullptr;
    for (size_t length = 0; length < c.bytes.size(); ++length) {
      SCOPED_TRACE(length);
      auto partial = Fresh(*original);
      const bool decodes = Decode(c.bytes, *partial, length);
      EXPECT_FALSE(message && decodes);
    }
  }
}

TEST(PERDecoder, RejectsMalformedInput) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<ASN1::AbstractData>()> make;
    Bytes bytes;
  } kCases[] = {
      {"fragmented length", [] { return Octets(0); }, {0xC0, 0x00}},
      {"integer of five octets", [] { return Integer(ASN1::INTEGER::theInfo, 0); }, {0x05, 1, 2, 3, 4, 5}},
      {"length past the end", [] { return Octets(0); }, {0x05, 0x01, 0x02}},
      {"root index beyond the roots", [] { return std::make_unique<test::Message>(); }, {0x30}},
      {"extension index aliasing a root",
       [] { return std::make_unique<test::Command>(); },
       {0xC0, 0x04, 0xFF, 0xFF, 0xFF, 0xF2, 0x01, 0x00}},
      {"unknown extension alternative", [] { return std::make_unique<test::Command>(); }, {0x80, 0x01, 0x00}},
      {"extension bitmap of 129 bits",
       [] { return std::make_unique<test::Tone>(); },
       {0x80, 0x01, 0x01, 0x80, 0x01, 0x80}},
      {"extension bitmap size wrapping to 0",
       [] { return std::make_unique<test::Tone>(); },
       {0x80, 0x01, 0x01, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"extension longer than the input",
       [] { return std::make_unique<test::Tone>(); },
       {0x80, 0x01, 0x01, 0x01, 0x05, 0x80}},
      {"extension reading beyond its octets",
       [] { return std::make_unique<test::Tone>(); },
       {0x80, 0x01, 0x01, 0x03, 0x80, 0x00, 0x01, 0x41}},
      {"character outside the set", [] { return std::make_unique<ASN1::NumericString>(); }, {0x01, 0xB0}},
      {"sequence of 129", [] { return std::make_unique<ASN1::SEQUENCE_OF_Base>(&kIntegers); }, {0x80, 0x81}},
      {"string longer than the input", [] { return std::make_unique<ASN1::IA5String>(); }, {0xBF, 0xFF, 0x41}},
      {"open type longer than the input", [] { return std::make_unique<ASN1::OpenData>(); }, {0x03, 0x00}},
      {"bad time text", [] { return std::make_unique<ASN1::GeneralizedTime>(); }, {0x02, 0x31, 0x32}},
      {"choice of one alternative at the end", [] { return std::make_unique<ASN1::CHOICE>(&kOneChoice); }, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    auto value = c.make();
    EXPECT_FALSE(Decode(c.bytes, *value));
  }
}

// [ext 1|small 0|000000] announces no extension value: the root value in 0..12 follows in 4 bits.
TEST(PERDecoder, ReadsTheRootFormAfterAnEmptyEnumerationExtension) {
  test::ErrorCause cause;
  ASSERT_TRUE(Decode({0x80, 0xC0}, cause));
  EXPECT_EQ(cause.getValue(), test::ErrorCause::destroyInProgress);
}

TEST(PERDecoder, KnownExtensionConsumesExactlyItsOctets) {
  // done is announced with two octets of which a BOOLEAN reads one bit; more follows.
  test::Tone tone;
  ASSERT_TRUE(Decode({0x80, 0x01, 0x01, 0x03, 0x80, 0x02, 0x80, 0xFF, 0x02, 0x01, 0x41}, tone));
  EXPECT_TRUE(tone.get_done().getValue());
  EXPECT_EQ(static_cast<std::string>(tone.get_more()), "A");
}

TEST(PERDecoder, SkipsUnknownExtensions) {
  // Bitmap of three bits, the third unknown; a trailing octet after the message is ignored.
  test::Tone tone;
  ASSERT_TRUE(Decode({0x80, 0x01, 0x07, 0x05, 0x40, 0x01, 0x80, 0x02, 0x12, 0x34, 0x99}, tone));
  EXPECT_EQ(tone.get_a().getValue(), 7);
  EXPECT_TRUE(tone.has_done());
  EXPECT_FALSE(tone.has_more());
}

TEST(PERDecoder, HonoursTheLimits) {
  ASN1::SEQUENCE_OF_Base list(&kIntegers);
  Bytes at_limit = {0x80, 0x80};
  for (int i = 0; i < 128; ++i) {
    at_limit.insert(at_limit.end(), {0x01, 0x01});
  }
  ASSERT_TRUE(Decode(at_limit, list));
  EXPECT_EQ(list.size(), 128u);

  ASN1::SEQUENCE_OF_Base over(&kIntegers);
  at_limit[1] = 0x81;
  at_limit.insert(at_limit.end(), {0x01, 0x01});
  EXPECT_FALSE(Decode(at_limit, over));
  EXPECT_EQ(over.size(), 0u);

  ASN1::MaximumStringSize = 4;
  ASN1::IA5String text;
  EXPECT_TRUE(Decode({0x04, 'a', 'b', 'c', 'd'}, text));
  EXPECT_FALSE(Decode({0x05, 'a', 'b', 'c', 'd', 'e'}, text));
  ASN1::MaximumStringSize = 16384;
}

// [1|index 0 in 6 bits] [length 2] ["A"] then a trailing octet: the memento points past the extension's octets.
// The decoder is given all but the last octet, so a position beyond its end still lies in the array.
TEST(PERDecoder, ChoicePreambleSelectsAndTellsWhereTheChoiceEnds) {
  const Bytes bytes = {0x80, 0x02, 0x01, 0x41, 0x99, 0x00};
  const char* begin = reinterpret_cast<const char*>(bytes.data());
  ASN1::PERDecoder decoder(begin, begin + 5, nullptr);
  ASN1::CHOICE choice(&kExtChoice);
  const char* memento = nullptr;
  ASSERT_TRUE(decoder.decodeChoicePreamle(choice, memento));
  EXPECT_EQ(choice.currentSelection(), 2);
  EXPECT_NE(dynamic_cast<ASN1::IA5String*>(choice.getSelection()), nullptr);
  EXPECT_EQ(memento, begin + 4);
  decoder.setPosition(memento);
  EXPECT_EQ(decoder.getBitsLeft(), 8u);
  decoder.setPosition(begin + 6);
  EXPECT_EQ(decoder.getBitsLeft(), 0u);

  // [0|index 1|...]: a root alternative leaves no memento.
  const uint8_t root[] = {0x40};
  ASN1::PERDecoder root_decoder(reinterpret_cast<const char*>(root), reinterpret_cast<const char*>(root) + 1, nullptr);
  ASSERT_TRUE(root_decoder.decodeChoicePreamle(choice, memento));
  EXPECT_EQ(choice.currentSelection(), 1);
  EXPECT_EQ(memento, nullptr);
  EXPECT_EQ(root_decoder.getBitsLeft(), 6u);
}

TEST(PERDecoder, RevisitsAnOpenType) {
  ASN1::OpenData open;
  ASSERT_TRUE(Decode({0x02, 0x01, 0x2A}, open));
  ASSERT_TRUE(open.has_buf());
  open.set_data(new ASN1::INTEGER);
  ASN1::PERDecoder decoder(nullptr, nullptr, nullptr);
  ASSERT_TRUE(decoder.do_revisit(open));
  EXPECT_EQ(static_cast<const ASN1::INTEGER*>(open.get_data())->getValue(), 42);
}

// Values beyond the golden examples, each encoded, decoded into a fresh value and compared.
TEST(PERCoder, RoundTripsEveryKind) {
  std::vector<std::function<std::unique_ptr<ASN1::AbstractData>()>> makers = {
      [] { return Integer(kExtendable, 100); },
      [] { return Integer(kLowerOnly, 100000); },
      [] { return Integer(kFull32, 0x12345); },
      [] { return Octets(16383); },
      [] { return std::make_unique<ASN1::BOOLEAN>(true, &ASN1::BOOLEAN::theInfo); },
      [] { return std::make_unique<ASN1::Null>(); },
      [] { return With(std::make_unique<test::Sparse>(), [](auto& sparse) { sparse.setValue(40); }); },
      [] {
        auto bits = std::make_unique<ASN1::BIT_STRING>();
        bits->resize(17);
        bits->set(0, true);
        bits->set(16, true);
        return bits;
      },
      [] {
        auto bits = std::make_unique<ASN1::BIT_STRING>(&kShortBits);
        bits->resize(5);
        bits->set(4, true);
        return bits;
      },
      [] { return std::make_unique<ASN1::IA5String>(std::string(300, 'x')); },
      [] { return std::make_unique<ASN1::AbstractString>(&kName, std::string(64, 'q')); },
      [] { return std::make_unique<ASN1::PrintableString>("Hello, World?"); },
      [] { return std::make_unique<ASN1::VisibleString>("~tilde~"); },
      [] { return std::make_unique<ASN1::BMPString>(L"h\u00e9llo \u20ac", &ASN1::BMPString::theInfo); },
      [] { return std::make_unique<ASN1::BMPString>(L"\u20ac", &kSmallBmp); },
      [] { return std::make_unique<ASN1::GeneralizedTime>("20240131235959.250Z"); },
      [] { return With(std::make_unique<ASN1::CHOICE>(&kExtChoice), [](auto& choice) { choice.select(1); }); },
      [] {
        auto list = std::make_unique<ASN1::SET_OF<test::Message>>();
        list->push_back(test::MakeCommand(3, 1023, test::Command::query));
        list->push_back(test::MakeCommand(std::nullopt, 0, test::Command::ping));
        return list;
      },
      [] {
        auto tone = std::make_unique<test::Tone>();
        tone->include_b();
        tone->include_more() = std::string(200, 'z');
        return tone;
      },
      [] {
        auto* command = new test::Command;
        command->select(test::Command::userData);
        static_cast<ASN1::OCTET_STRING&>(*command->getSelection()).assign(3, 'u');
        return std::make_unique<test::Message>(test::MakeMessage(INT_MIN, 1023, test::PDU::command, command));
      },
  };
  for (size_t i = 0; i < makers.size(); ++i) {
    SCOPED_TRACE(i);
    auto original = makers[i]();
    bool ok = false;
    const Bytes bytes = Encode(*original, &ok);
    ASSERT_TRUE(ok);
    auto decoded = Fresh(*original);
    ASSERT_TRUE(Decode(bytes, *decoded));
    EXPECT_EQ(decoded->compare(*original), 0) << decoded->asValueNotation();
    for (size_t length = 0; length < bytes.size(); ++length) {
      auto partial = Fresh(*original);
      static_cast<void>(Decode(bytes, *partial, length));
    }
  }
}

TEST(PEREncoder, RefusesValuesOutsideTheirTypes) {
  const struct {
    const char* name;
    std::function<std::unique_ptr<ASN1::AbstractData>()> make;
  } kCases[] = {
      {"range exceeded", [] { return Integer(test::Slot::theInfo, 1024); }},
      {"below a negative range", [] { return Integer(kByte, -129); }},
      {"negative enumeration", [] { return Enumerated(-1); }},
      {"choice without selection", [] { return std::make_unique<test::PDU>(); }},
      {"choice index beyond the table",
       [] {
         auto pdu = std::make_unique<test::PDU>();
         pdu->setSelection(3, new ASN1::Null);
         return pdu;
       }},
      {"octet string of 16384", [] { return Octets(16384); }},
      {"size below the constraint", [] { return std::make_unique<ASN1::AbstractString>(&kName, ""); }},
      {"character outside the set", [] { return std::make_unique<ASN1::NumericString>("12a"); }},
      {"code beyond 16 bits",
       [] { return std::make_unique<ASN1::BMPString>(L"\U0001F600", &ASN1::BMPString::theInfo); }},
      {"missing mandatory field",
       [] {
         auto message = std::make_unique<test::Message>();
         message->include_seq();
         message->get_pdu().setSelection(test::PDU::signal, nullptr);
         return message;
       }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASN1::CoderEnv env;
    std::vector<char> out = {'k', 'e', 'e', 'p'};
    EXPECT_FALSE(ASN1::encode(*c.make(), &env, std::back_inserter(out)));
    EXPECT_EQ(out, (std::vector<char>{'k', 'e', 'e', 'p'}));
  }
}

}  // namespace
