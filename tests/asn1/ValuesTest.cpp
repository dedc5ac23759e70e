#include "TestSchema.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

TEST(CountBits, WidthsOfRanges) {
  const struct {
    uint64_t n;
    unsigned bits;
  } kCases[] = {{1, 0}, {2, 1}, {3, 2}, {256, 8}, {257, 9}, {65536, 16}, {uint64_t{1} << 32, 32}, {0, 32}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.n);
    EXPECT_EQ(ASN1::CountBits(c.n), c.bits);
  }
}

TEST(LexicographicCompareBytes, OrdersAsUnsignedWithPrefixSmaller) {
  const struct {
    std::vector<uint8_t> a, b;
    int result;
  } kCases[] = {{{}, {}, 0}, {{1, 2}, {1, 2}, 0}, {{0x80}, {0x7F}, 1}, {{1}, {1, 0}, -1}, {{2}, {1, 9}, 1}};
  for (const auto& c : kCases) {
    EXPECT_EQ(
        ASN1::lexicographic_compare_bytes(c.a.data(), c.a.data() + c.a.size(), c.b.data(), c.b.data() + c.b.size()),
        c.result);
  }
}

TEST(ObjectIdentifier, ContentsRoundTrip) {
  const struct {
    std::vector<uint32_t> arcs;
    std::vector<char> contents;
  } kCases[] = {
      {{1, 2, 840}, {0x2A, char(0x86), 0x48}},
      {{2, 0xFFFFFFFF}, {char(0x90), char(0x80), char(0x80), char(0x80), 0x4F}},
      {{1, 3, 0xFFFFFFFF}, {0x2B, char(0x8F), char(0xFF), char(0xFF), char(0xFF), 0x7F}},
  };
  for (const auto& c : kCases) {
    ASN1::OBJECT_IDENTIFIER oid;
    oid.arcs() = c.arcs;
    std::vector<char> contents;
    oid.encodeCommon(contents);
    EXPECT_EQ(contents, c.contents);
    ASN1::OBJECT_IDENTIFIER back;
    ASSERT_TRUE(back.decodeCommon(c.contents.data(), static_cast<unsigned>(c.contents.size())));
    EXPECT_EQ(back.arcs(), c.arcs);
  }
}

TEST(ObjectIdentifier, RejectsCutOffAndOversizedArcs) {
  const std::vector<char> kBad[] = {{0x2A, char(0x86)}, {0x2A, char(0x90), char(0x80), char(0x80), char(0x80), 0x00}};
  for (const auto& bytes : kBad) {
    ASN1::OBJECT_IDENTIFIER oid;
    oid.arcs() = {9};
    EXPECT_FALSE(oid.decodeCommon(bytes.data(), static_cast<unsigned>(bytes.size())));
    EXPECT_EQ(oid.arcs(), std::vector<uint32_t>{9});
  }
}

// Past either end of a contiguous table there is no name (the value notation tests read and print names).
TEST(Enumerated, HasNoNameOutsideItsTable) {
  ASN1::ENUMERATED value(&test::ErrorCause::theInfo);
  for (const int number : {13, -1}) {
    value.setValue(number);
    EXPECT_EQ(value.getName(), nullptr) << number;
  }
}

// A name that is no enumerator leaves a value outside the root, which the validity checks catch.
TEST(Enumerated, UnknownNameSetsTheValueAboveTheRoot) {
  test::ErrorCause cause;
  EXPECT_TRUE(cause.setFromName("internal"));
  EXPECT_EQ(cause.getValue(), test::ErrorCause::internal);
  EXPECT_FALSE(cause.setFromName("busy"));
  EXPECT_EQ(cause.getValue(), 13);
  EXPECT_FALSE(cause.isStrictlyValid());

  test::Sparse sparse;
  EXPECT_FALSE(sparse.setFromName("far=40"));
  EXPECT_EQ(sparse.getValue(), 41);
  EXPECT_FALSE(sparse.isValid());
}

TEST(GeneralizedTime, TextRoundTrips) {
  const struct {
    const char* text;
    int millisec, mindiff;
    bool utc;
  } kCases[] = {{"20240131235959.250Z", 250, 0, true},
                {"20240131235959", 0, 0, false},
                {"20240131235959+0130", 0, 90, false},
                {"20240131235959.5-0200", 500, -120, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    ASN1::GeneralizedTime time;
    ASSERT_TRUE(time.set(c.text));
    EXPECT_EQ(time.millisec, c.millisec);
    EXPECT_EQ(time.mindiff, c.mindiff);
    EXPECT_EQ(time.utc, c.utc);
    EXPECT_EQ(time.year, 2024);
    EXPECT_EQ(time.second, 59);
  }
  ASN1::GeneralizedTime time;
  ASSERT_TRUE(time.set("20240131235959.250Z"));
  EXPECT_EQ(time.get(), "20240131235959.250Z");
  ASSERT_TRUE(time.set("20240131235959+0130"));
  EXPECT_EQ(time.get(), "20240131235959+0130");
  EXPECT_FALSE(time.set("2024013123"));
  EXPECT_FALSE(time.set("20240131235959+1"));
}

TEST(Choice, CreateSelectionOutsideTheTableMarksUnknown) {
  test::PDU pdu;
  pdu.setSelection(3, nullptr);
  EXPECT_FALSE(pdu.createSelection());
  EXPECT_EQ(pdu.currentSelection(), ASN1::CHOICE::kUnknownExtension);
  EXPECT_EQ(pdu.getSelection(), nullptr);
  EXPECT_TRUE(pdu.select(test::PDU::response));
  EXPECT_EQ(typeid(*pdu.getSelection()), typeid(test::Response));
}

// Accessors downcast; every copy must therefore keep the generated class.
TEST(Clone, KeepsTheGeneratedClassAtEveryLevel) {
  test::Message message = test::MakeCommand(1, 5, test::Command::connect);
  std::unique_ptr<ASN1::AbstractData> copy(message.clone());
  EXPECT_EQ(typeid(*copy), typeid(test::Message));
  auto& cloned = static_cast<test::Message&>(*copy);
  EXPECT_EQ(typeid(cloned.get_slot()), typeid(test::Slot));
  EXPECT_EQ(typeid(*cloned.get_pdu().getSelection()), typeid(test::Command));
  EXPECT_EQ(copy->compare(message), 0);

  ASN1::SEQUENCE_OF<test::Message> list;
  list.push_back(message);
  EXPECT_EQ(typeid(list[0]), typeid(test::Message));
  EXPECT_EQ(list[0].get_slot().getValue(), 5u);
}

std::vector<unsigned> SlotValues(const ASN1::SEQUENCE_OF<test::Slot>& list) {
  std::vector<unsigned> values;
  for (const test::Slot& slot : list) {
    values.push_back(slot.getValue());
  }
  return values;
}

TEST(SequenceOf, InsertsCopiesOfARange) {
  ASN1::SEQUENCE_OF<test::Slot> list;
  ASN1::SEQUENCE_OF<test::Slot> other;
  test::Slot slot;
  for (const unsigned value : {1u, 2u}) {
    slot = value;
    list.push_back(slot);
  }
  slot = 9;
  other.push_back(slot);
  list.insert(1, other.begin(), other.end());
  other[0] = 5;
  EXPECT_EQ(SlotValues(list), (std::vector<unsigned>{1, 9, 2}));
  // A range of the list itself, and the count form beside it.
  list.insert(list.size(), list.begin(), list.end());
  list.insert(0, 1, other[0]);
  EXPECT_EQ(SlotValues(list), (std::vector<unsigned>{5, 1, 9, 2, 1, 9, 2}));
  EXPECT_EQ(typeid(list[0]), typeid(test::Slot));

  // The range form belongs to every list, typed or not.
  ASN1::SEQUENCE_OF_Base untyped(&ASN1::SEQUENCE_OF<test::Slot>::theInfo);
  untyped.insert(0, other.begin(), other.end());
  untyped.insert(1, list.begin(), list.end());
  ASSERT_EQ(untyped.size(), 8u);
  EXPECT_EQ(untyped.at(0).compare(other[0]), 0);
  EXPECT_EQ(untyped.at(7).compare(list[6]), 0);
}

TEST(Compare, DiffersWithoutLookingIntoForeignLayouts) {
  test::Message message;
  test::Tone tone;
  test::PDU no_selection;
  test::PDU other_no_selection;
  test::ErrorCause cause;
  ASN1::INTEGER integer;
  EXPECT_NE(message.compare(tone), 0);
  EXPECT_EQ(message.compare(tone), -tone.compare(message));
  EXPECT_NE(cause.compare(integer), 0);
  EXPECT_EQ(no_selection.compare(other_no_selection), 0);
  other_no_selection.setSelection(test::PDU::signal, nullptr);
  EXPECT_LT(no_selection.compare(other_no_selection), 0);

  // Sequences differing in the first extension only.
  test::Tone a;
  test::Tone b;
  a.include_more();
  b.include_more();
  a.include_done().setValue(true);
  b.include_done();
  EXPECT_GT(a.compare(b), 0);
  b.get_done().setValue(true);
  EXPECT_EQ(a.compare(b), 0);
  b.omit_done();
  EXPECT_GT(a.compare(b), 0);
}

}  // namespace
